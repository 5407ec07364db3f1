// Points the user's configuration folder (XDG_CONFIG_HOME) at a fresh
// temporary folder for the life of the object, so that each test starts
// from a clean machine.
#pragma once

#include <QFile>
#include <QTemporaryDir>

class ConfigHome {
 public:
  ConfigHome() : m_saved(qgetenv("XDG_CONFIG_HOME")) { point(m_dir.path() + QStringLiteral("/config")); }
  ~ConfigHome() { qputenv("XDG_CONFIG_HOME", m_saved); }
  ConfigHome(const ConfigHome&) = delete;
  ConfigHome& operator=(const ConfigHome&) = delete;

  // Redirects to another folder, e.g. one that cannot be used.
  void point(const QString& folder) { qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder)); }
  // A scratch folder beside the configuration folder.
  QString root() const { return m_dir.path(); }

 private:
  QTemporaryDir m_dir;
  QByteArray m_saved;
};

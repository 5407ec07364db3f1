// Which picture the user chose for each monitor, kept in the value store, so
// that desktops which forget it (the bare X server's root window, a
// background surface of this program's) get it back when monitors come and
// go and when the session starts, and so that the desktops that keep one
// picture for all can be given one of the whole desktop.
#pragma once

#include <QMap>
#include <QString>

#include "platform/Monitors.h"

struct MonitorChoices {
  QString everyMonitor;              // the picture last set on all monitors
  QMap<QString, QString> byMonitor;  // monitor name -> the picture set on it since

  bool isEmpty() const { return everyMonitor.isEmpty() && byMonitor.isEmpty(); }
  // What the monitor shows: its own picture, else the one set on all; empty for none.
  QString pictureOf(const QString& monitor) const { return byMonitor.value(monitor, everyMonitor); }
  // The choice once `path` is set on `target`: a picture for all (or one
  // across the whole desktop) replaces every monitor's own.
  void choose(const QString& path, const WallpaperTarget& target);
};

class MonitorChoiceStore {
 public:
  // The value store file that holds the choices (ValueStore::defaultFilePath() for the user's).
  explicit MonitorChoiceStore(QString storeFile) : m_storeFile(std::move(storeFile)) {}

  MonitorChoices load() const;
  // False when the store could not be written; the choices there stay as they were.
  bool save(const MonitorChoices& choices) const;

 private:
  QString m_storeFile;
};

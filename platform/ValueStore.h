// The per-user typed value store: integer and text values under key paths,
// kept as one text file in the style of a registry export, so that a value's
// type survives and a value of the wrong type can be told apart and repaired.
//
//   ; Nimbra-Wallpaper settings
//
//   [Software\Nimbra-Wallpaper]
//   "current"=dword:00000001
//   "Lasttime"="12/7/2025 10:12:03 PM"
//
// Every open reads the file afresh and every change rewrites it at once
// (temporary file renamed into place), so two running copies of the program
// see each other's last write.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, otherwise $HOME/.config. Read from the environment at every call.
QString UserConfigFolder();

class ValueStore {
 public:
  enum class Kind {
    Integer,  // dword:
    Text,     // "..."
    Other,    // any other type (hex:, hex(2):, ...), kept as written
  };

  struct Value {
    Kind kind = Kind::Text;
    int32_t integer = 0;
    QString text;  // the text of a Text value; the raw data of an Other value
  };

  enum class Availability {
    Open,        // the file was read, or there is none yet
    Corrupt,     // the file is not in the store's format; it is set aside before the first write
    Unavailable  // the folder or the file cannot be read: loads give defaults, saves write nothing
  };

  // The store file of this user: <config folder>/Nimbra-Wallpaper/values.reg.
  static QString DefaultFilePath();

  // Opens the store at DefaultFilePath(), creating its folder when missing.
  static ValueStore Open();
  // Opens the store kept in the given file.
  static ValueStore OpenFile(const QString& filePath);

  Availability availability() const { return m_availability; }
  // Whether values can be read and written at all.
  bool isOpen() const { return m_availability != Availability::Unavailable; }
  const QString& filePath() const { return m_filePath; }
  // Where the broken file was copied to, once a write has set it aside.
  const QString& setAsidePath() const { return m_setAsidePath; }

  std::optional<Value> value(const QString& keyPath, const QString& name) const;

  // Each change rewrites the file; false when the store is unavailable or the
  // file could not be written (the file on disk is then unchanged).
  bool setInteger(const QString& keyPath, const QString& name, int32_t value);
  bool setText(const QString& keyPath, const QString& name, const QString& text);
  // Removing a value that does not exist succeeds without writing.
  bool remove(const QString& keyPath, const QString& name);

  struct Entry {
    QString name;
    Value value;
  };
  struct Key {
    QString path;
    QList<Entry> entries;
  };

  // The file format, exposed for tests: nullopt when the text is not a store.
  static std::optional<QList<Key>> Parse(const QByteArray& content);
  static QByteArray Serialize(const QList<Key>& keys);

 private:
  explicit ValueStore(const QString& filePath) : m_filePath(filePath) {}
  void load();
  bool write();
  bool setAsideBrokenFile();
  Entry* findEntry(const QString& keyPath, const QString& name);
  bool store(const QString& keyPath, const QString& name, const Value& value);

  QString m_filePath;
  Availability m_availability = Availability::Open;
  QList<Key> m_keys;
  QString m_setAsidePath;
};

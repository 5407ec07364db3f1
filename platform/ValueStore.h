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
//
// Reading takes every line it can: a line that cannot be read (a hand-edited
// value such as "AutoChange"=2, text that is not UTF-8, a value outside any
// key) is passed over alone, so the values around it keep theirs. A file may
// start with a UTF-8 or UTF-16 byte-order mark and a registry editor's header
// line ("Windows Registry Editor Version 5.00" or "REGEDIT4"). Binary data
// ("hex:" or "hex(N):") may go on over the next lines when its line ends in a
// backslash, at the very end; no other value continues.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, otherwise $HOME/.config. Read from the environment at every call.
QString userConfigFolder();

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
    Open,         // the file was read whole, or there is none yet
    Damaged,      // lines of the file could not be read (the readable values are used); a copy of the
                  // file is set aside before the first write, which leaves those lines out
    Unavailable,  // the folder or the file cannot be read: loads give defaults, saves write nothing
  };

  // The store file of this user: <config folder>/Nimbra-Wallpaper/values.reg.
  static QString defaultFilePath();

  // Opens the store at defaultFilePath(), creating its folder when missing.
  static ValueStore open();
  // Opens the store kept in the given file.
  static ValueStore openFile(const QString& filePath);

  Availability availability() const { return m_availability; }
  // Whether values can be read and written at all.
  bool isOpen() const { return m_availability != Availability::Unavailable; }
  const QString& filePath() const { return m_filePath; }
  // Where the damaged file was copied to, once a write has set it aside.
  const QString& setAsidePath() const { return m_setAsidePath; }

  std::optional<Value> value(const QString& keyPath, const QString& name) const;

  // Each change rewrites the file; false when the store is unavailable, the
  // key path could not be read back (empty, blanks around it or a line
  // break), or the file could not be written or may not be (a read-only file):
  // the file on disk is then unchanged.
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
  // Every value under the key path, in the file's order.
  QList<Entry> entries(const QString& keyPath) const;

  // The file format, exposed for tests. Serialize writes what Parse reads
  // back as the same values.
  struct Parsed {
    QList<Key> keys;
    QList<int> unreadableLines;  // 1-based; a continued value counts at its first line
  };
  static Parsed parse(const QByteArray& content);
  static QByteArray serialize(const QList<Key>& keys);

 private:
  explicit ValueStore(const QString& filePath) : m_filePath(filePath) {}
  void load();
  bool write();
  bool setAsideDamagedFile();
  bool store(const QString& keyPath, const QString& name, const Value& value);
  bool holds(const QString& keyPath, const QString& name, const Value& wanted) const;

  QString m_filePath;
  Availability m_availability = Availability::Open;
  QList<Key> m_keys;
  QList<int> m_unreadableLines;
  QString m_setAsidePath;
};

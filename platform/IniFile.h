// INI files read and written one value at a time. The files were first made
// by the Windows private-profile functions, and files written by one version
// of the program must stay readable by another, so the reading rules are
// theirs:
//  - section and key names match without regard to ASCII case, blanks around
//    a name (in the file and in the call) are ignored;
//  - a section head is "[" name "]" after optional blanks, the rest of its
//    line is ignored (a line starting with "[" is always a head; without "]"
//    its name runs to the line's end); only the first block of a repeated
//    section is used, and the first of repeated keys wins;
//  - a line starting with ";" is a comment;
//  - the value is the rest of the line after the first "=", trimmed, with one
//    enclosing pair of matching quotes removed, at most 2047 bytes;
//  - CR LF, LF and CR all end a line; a leading UTF-8 byte-order mark is
//    skipped.
// Writes edit the file's bytes in place (everything else stays as it was),
// end new lines with CR LF and replace the file atomically (a temporary file
// beside it, then a rename); a file the user may not write is not replaced
// (platform/AtomicFile.h) and the write fails. CR and LF are removed from sections, keys and
// values before writing, so no caller can split a line of the file.
//
// Nothing is cached: every call reads the file afresh.
#pragma once

#include <QString>
#include <stdexcept>
#include <string>

// A write that could not be carried out. what() is the text the user sees,
// "Unable to write to <path>"; reason() says why, for standard error.
class IniWriteError : public std::runtime_error {
 public:
  IniWriteError(const QString& path, const QString& reason);
  const QString& path() const { return m_path; }
  const QString& reason() const { return m_reason; }
  // What the user is told: the text above and, when known, the reason.
  QString report() const;

 private:
  QString m_path;
  QString m_reason;
};

class IniFile {
 public:
  explicit IniFile(const QString& fileName) : m_fileName(fileName) {}
  const QString& fileName() const { return m_fileName; }

  // The stored value, or defaultValue when the file, section or key is
  // missing or the file cannot be read. Never creates or changes the file.
  // A value is decoded as UTF-8 when the whole file is valid UTF-8, and from
  // GBK otherwise (files of the Chinese Windows versions).
  QString ReadIniText(const QString& section, const QString& key, const QString& defaultValue) const;
  // Creates the folder, file, section and key as needed; the value is
  // written as UTF-8. Throws IniWriteError when the file cannot be replaced
  // or the section or key name cannot be stored (empty, or one that would
  // read back as something else: a key with "=" or starting with ";" or "[",
  // a section with "]").
  void WriteIniText(const QString& section, const QString& key, const QString& value) const;
  // Removes the key's line (every line of that key in the section's first
  // block). A missing file, section or key, and any failure, is ignored.
  void DeleteIniKey(const QString& section, const QString& key) const;

 private:
  QString m_fileName;
};

// Many edits of one file, written with a single atomic replacement. It reads
// the file when made and works on that copy: a write by another process
// between the batch's creation and Commit() is overwritten.
class IniBatch {
 public:
  explicit IniBatch(const IniFile& file);
  explicit IniBatch(const QString& fileName) : IniBatch(IniFile(fileName)) {}

  QString ReadIniText(const QString& section, const QString& key, const QString& defaultValue) const;
  // Throws IniWriteError for a section or key name that cannot be stored,
  // and when the file exists but could not be read.
  void WriteIniText(const QString& section, const QString& key, const QString& value);
  void DeleteIniKey(const QString& section, const QString& key);
  // Replaces the file once, flushed to the disk before the rename, when
  // anything changed. Throws IniWriteError when it cannot.
  void commit();

 private:
  QString m_fileName;
  std::string m_content;
  bool m_readFailed = false;
  bool m_changed = false;
};

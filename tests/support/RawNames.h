// Files whose names are bytes that need not be UTF-8, which QFile and QDir
// cannot name: made, renamed and removed through the system calls.
#pragma once

#include <ftw.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>

// Writes `content` to the file named by exactly these bytes; whether it could.
inline bool writeRawFile(const QByteArray& path, const QByteArray& content = {}) {
  FILE* file = std::fopen(path.constData(), "wb");
  if (!file) return false;
  const bool written =
      std::fwrite(content.constData(), 1, size_t(content.size()), file) == size_t(content.size());
  return std::fclose(file) == 0 && written;
}

// Gives the file at `from` (a name Qt can address) the name `to`.
inline bool renameRaw(const QString& from, const QByteArray& to) {
  return std::rename(QFile::encodeName(from).constData(), to.constData()) == 0;
}

// Empties a temporary folder at the end of a test: QTemporaryDir leaves
// behind every entry whose name Qt cannot address. Declare it after the
// folder, so that it runs first.
class RawNamesCleanup {
 public:
  explicit RawNamesCleanup(QString folder) : m_folder(std::move(folder)) {}
  ~RawNamesCleanup() {
    const QByteArray root = QFile::encodeName(m_folder);
    ::nftw(
        root.constData(),
        [](const char* path, const struct stat*, int, FTW* where) {
          if (where->level > 0) std::remove(path);
          return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
  }
  RawNamesCleanup(const RawNamesCleanup&) = delete;
  RawNamesCleanup& operator=(const RawNamesCleanup&) = delete;

 private:
  QString m_folder;
};

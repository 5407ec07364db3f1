// What the fuzz targets share: a broken property aborts with its name, so
// that the fuzzer keeps the input that broke it, and a scratch folder for the
// parsers that read files.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "fuzz: property broken: %s\n", property);
  std::abort();
}

// One folder for the whole run, removed when the process ends.
inline QString scratchFile(const QString& name) {
  static const QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/nimbra-fuzz-XXXXXX"));
  return folder.filePath(name);
}

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void putFileBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
          "the scratch file can be written");
}

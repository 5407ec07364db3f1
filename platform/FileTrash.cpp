#include "platform/FileTrash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

bool moveFileToTrash(const QString& path) {
  QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
  QString inTrash;
  if (!QFile::moveToTrash(path, &inTrash)) return false;
  if (QFileInfo(inTrash).isAbsolute() && inTrash.contains(QLatin1String("Trash"))) return true;
  QFile::rename(inTrash, path);
  return false;
}

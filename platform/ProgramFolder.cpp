#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
// The one seam tests have into the folder; the program itself never sets it.
QString& FolderOverride() {
  static QString folder;
  return folder;
}
}  // namespace

QString ExeFolder() {
  if (!FolderOverride().isEmpty()) return FolderOverride();
  // /proc/self/exe names the real file even when started through a link.
  const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
  QString folder = exe.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(exe).path();
  if (!folder.endsWith('/')) folder += '/';
  return folder;
}

void SetExeFolderForTesting(const QString& folder) {
  FolderOverride() = folder;
  if (!folder.isEmpty() && !folder.endsWith('/')) FolderOverride() += '/';
}

QString HomeHost() { return QStringLiteral(NIMBRA_HOME_HOST); }

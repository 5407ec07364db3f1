#include "app/UnitGlobal.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
QString g_exeFolderOverride;
}

QString ExePath;
bool WideScreen = false;
int ChangeMode = 3;
int32_t CurrentIndex = 1;
QDateTime LastTime;

#define NIMBRA_DEFINE_TEXT(name) QString name;
NIMBRA_LANGUAGE_KEYS(NIMBRA_DEFINE_TEXT)
#undef NIMBRA_DEFINE_TEXT

QString ExeFolder() {
  if (!g_exeFolderOverride.isEmpty()) return g_exeFolderOverride;
  // /proc/self/exe names the real file even when started through a link.
  const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
  QString folder = exe.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(exe).path();
  if (!folder.endsWith('/')) folder += '/';
  return folder;
}

void SetExeFolderForTesting(const QString& folder) {
  g_exeFolderOverride = folder;
  if (!g_exeFolderOverride.isEmpty() && !g_exeFolderOverride.endsWith('/')) g_exeFolderOverride += '/';
}

QString HomeHost() { return QStringLiteral(NIMBRA_HOME_HOST); }

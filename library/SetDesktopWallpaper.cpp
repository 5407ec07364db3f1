#include "library/SetDesktopWallpaper.h"

#include <QFileInfo>
#include <cstdio>
#include <stdexcept>

#include "platform/FileNames.h"
#include "platform/WallpaperSetter.h"

namespace {

void LogNotApplied(const QString& why) {
  std::fprintf(stderr, "NimbraWallpaper: the wallpaper was not changed: %s\n", why.toLocal8Bit().constData());
  std::fflush(stderr);
}

}  // namespace

void SetDesktopWallpaper(const QString& path) {
  WallpaperSetter& setter = DesktopWallpaperSetter();
  // A desktop told to show a missing file shows a blank background from then
  // on; refusing it keeps the wallpaper the user had. The file is looked at
  // by its name's own bytes, which need not be UTF-8.
  if (path.isEmpty() || !IsReadableFile(path)) {
    LogNotApplied(QStringLiteral("\"%1\" is not a readable file").arg(path));
    return;
  }
  // Made absolute as text only, so that the name's bytes stay as they are.
  const SetResult result = setter.setWallpaper(QFileInfo(path).absoluteFilePath());
  switch (result.status) {
    case SetStatus::Applied:
      return;
    case SetStatus::Failed:
      LogNotApplied(QStringLiteral("%1: %2").arg(setter.name(), result.detail));
      return;
    case SetStatus::Unavailable:
      break;
  }
  throw std::runtime_error(QStringLiteral("The desktop wallpaper cannot be set on this desktop: %1")
                               .arg(result.detail)
                               .toStdString());
}

#include "library/SetDesktopWallpaper.h"

#include <QFileInfo>
#include <cstdio>
#include <stdexcept>

#include "picture/ScreenPictureLoad.h"
#include "platform/FileNames.h"

SetResult TrySetDesktopWallpaper(const QString& path) {
  WallpaperSetter& setter = DesktopWallpaperSetter(loadScreenPicture);
  // A desktop told to show a missing file shows a blank background from then
  // on; refusing it keeps the wallpaper the user had. The file is looked at
  // by its name's own bytes, which need not be UTF-8.
  if (path.isEmpty() || !IsReadableFile(path))
    return SetResult::failed(QStringLiteral("\"%1\" is not a readable file").arg(path));
  // Made absolute as text only, so that the name's bytes stay as they are.
  SetResult result = setter.setWallpaper(QFileInfo(path).absoluteFilePath());
  if (result.status == SetStatus::Failed)
    result.detail = QStringLiteral("%1: %2").arg(setter.name(), result.detail);
  return result;
}

QString NotAppliedText(const SetResult& result) {
  if (result.status == SetStatus::Unavailable)
    return QStringLiteral("The desktop wallpaper cannot be set on this desktop: %1").arg(result.detail);
  return QStringLiteral("the wallpaper was not changed: %1").arg(result.detail);
}

void ReportWallpaperResult(const SetResult& result) {
  switch (result.status) {
    case SetStatus::Applied:
      return;
    case SetStatus::Failed:
      std::fprintf(stderr, "NimbraWallpaper: %s\n", NotAppliedText(result).toLocal8Bit().constData());
      std::fflush(stderr);
      return;
    case SetStatus::Unavailable:
      break;
  }
  throw std::runtime_error(NotAppliedText(result).toStdString());
}

void SetDesktopWallpaper(const QString& path) { ReportWallpaperResult(TrySetDesktopWallpaper(path)); }

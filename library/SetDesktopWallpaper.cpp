#include "library/SetDesktopWallpaper.h"

#include <QFileInfo>
#include <cstdio>

#include "platform/FileNames.h"

SetResult SetDesktopWallpaper(WallpaperSetter& setter, const QString& path, const CancelToken& cancel) {
  return SetDesktopWallpaper(setter, path, WallpaperTarget::allMonitors(), cancel);
}

SetResult SetDesktopWallpaper(WallpaperSetter& setter, const QString& path, const WallpaperTarget& target,
                              const CancelToken& cancel) {
  // A desktop told to show a missing file shows a blank background from then
  // on; refusing it keeps the wallpaper the user had. The file is looked at
  // by its name's own bytes, which need not be UTF-8.
  if (path.isEmpty() || !isReadableFile(path))
    return SetResult::failed(QStringLiteral("\"%1\" is not a readable file").arg(path));
  // Made absolute as text only, so that the name's bytes stay as they are.
  SetResult result = setter.setWallpaperOn(QFileInfo(path).absoluteFilePath(), target, cancel);
  if (result.status == SetStatus::Failed || result.status == SetStatus::TimedOut)
    result.detail = QStringLiteral("%1: %2").arg(setter.name(), result.detail);
  return result;
}

QString notAppliedText(const SetResult& result) {
  if (result.status == SetStatus::Unavailable)
    return QStringLiteral("The desktop wallpaper cannot be set on this desktop: %1").arg(result.detail);
  return QStringLiteral("the wallpaper was not changed: %1").arg(result.detail);
}

bool needsUserReport(const SetResult& result) {
  return result.status == SetStatus::Unavailable || result.status == SetStatus::TimedOut ||
         result.status == SetStatus::NotRunning;
}

void logWallpaperResult(const SetResult& result) {
  if (result.status == SetStatus::Applied) return;
  std::fprintf(stderr, "NimbraWallpaper: %s\n", notAppliedText(result).toLocal8Bit().constData());
  std::fflush(stderr);
}

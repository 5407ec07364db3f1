// The one operation that changes the desktop wallpaper.
#pragma once

#include <QString>

#include "platform/WallpaperSetter.h"

// Makes the picture file the desktop wallpaper, stretched to the screen, kept
// by the desktop and shown at once. A desktop that refuses it, or a file that
// is not there, leaves the wallpaper as it was with a line on standard error.
// Throws std::runtime_error when this desktop offers no way to set a wallpaper
// at all.
void SetDesktopWallpaper(const QString& path);

// The same attempt, for callers that tell the outcome themselves (the
// command line): it neither prints nor throws. The detail of a refusal names
// the desktop's setter.
SetResult TrySetDesktopWallpaper(const QString& path);
// Tells an outcome as SetDesktopWallpaper does: a line for a refusal, an
// exception for a desktop without any way.
void ReportWallpaperResult(const SetResult& result);
// The one line that says why a wallpaper was not set.
QString NotAppliedText(const SetResult& result);

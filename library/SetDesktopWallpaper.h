// The one operation that changes the desktop wallpaper.
#pragma once

#include <QString>

#include "platform/WallpaperSetter.h"

// Makes the picture file the desktop wallpaper, stretched to the screen, kept
// by the desktop and shown at once, through the desktop's setter. A file that
// is not there is refused before the desktop hears of it. The outcome is a
// value: it never throws, and the detail of a refusal names the setter. Slow
// (desktop tools, D-Bus, decoding): WallpaperWorker runs it off the window's
// thread.
SetResult SetDesktopWallpaper(WallpaperSetter& setter, const QString& path, const CancelToken& cancel);
// The same on the monitors `target` names.
SetResult SetDesktopWallpaper(WallpaperSetter& setter, const QString& path, const WallpaperTarget& target,
                              const CancelToken& cancel);

// The one line that says why a wallpaper was not set.
QString notAppliedText(const SetResult& result);
// Whether the user must hear of the outcome (a box on the window): the
// desktop has no way at all, the part of it that takes the picture is not
// running, or it did not answer in time. A desktop that refused the picture
// is passed over with a line on standard error.
bool needsUserReport(const SetResult& result);
// The line on standard error for an outcome that did not apply the picture.
void logWallpaperResult(const SetResult& result);

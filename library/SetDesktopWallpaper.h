// The one operation that changes the desktop wallpaper.
#pragma once

#include <QString>

// Makes the picture file the desktop wallpaper, stretched to the screen, kept
// by the desktop and shown at once. A desktop that refuses it, or a file that
// is not there, leaves the wallpaper as it was with a line on standard error.
// Throws std::runtime_error when this desktop offers no way to set a wallpaper
// at all.
void SetDesktopWallpaper(const QString& path);

// Network pictures on "Set as Desktop Wallpaper": a slot of a network
// category holds the address of its large picture, which must be stored
// locally before it can be applied.
#pragma once

#include <QString>

// A stored network picture smaller than this counts as broken.
constexpr qint64 kSmallestStoredPicture = 20000;

// Whether a slot's large-picture path is an address rather than a file.
bool isNetworkPicture(const QString& path);

// Whether a stored copy can be applied as it is: at least 20000 bytes, and a
// picture that decodes.
bool isUsableStoredPicture(const QString& file);

// JPEG encoding, for the pictures the publisher makes.
#pragma once

#include <QByteArray>
#include <QImage>

// JPEG has no transparency; a transparent part shows the black a desktop
// has behind its wallpaper. The result is Format_RGB32.
QImage flattenOverBlack(const QImage& picture);

// The picture as a baseline JPEG at `quality` (0 to 100), transparency
// flattened over black; empty when it cannot be encoded (a null picture).
QByteArray encodeJpeg(const QImage& picture, int quality);

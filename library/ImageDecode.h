// Picture decoding for the grid, the preview and the wallpaper setter.
// JPEG goes through libjpeg-turbo with DCT scaling, so a thumbnail box never
// pays for a full-size decode; every other format goes through Qt's reader.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Decodes `file` and scales it smoothly to exactly `box` (stretched, as the
// grid's and the preview's images show their pictures). Returns a null image
// and a reason in `error` (when given) for a missing, corrupt, truncated or
// oversized file; it never aborts the program.
QImage LoadPictureForBox(const QString& file, QSize box, QString* error = nullptr);

// Decodes `file` at its own size, with the same guards.
QImage LoadPicture(const QString& file, QString* error = nullptr);

// Whether `file` is decoded as JPEG: chosen by the extension, in any case.
bool HasJpegExtension(const QString& file);

// Pictures larger than this many bytes once decoded are refused, so that a
// tiny file claiming huge dimensions cannot exhaust memory.
constexpr qint64 kMaxDecodedPictureBytes = 256LL * 1024 * 1024;

// Picture decoding for the grid, the preview and the wallpaper setter.
// JPEG goes through libjpeg-turbo with DCT scaling, so a thumbnail box never
// pays for a full-size decode; every other format goes through Qt's reader.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

// Decodes `file` and scales it smoothly to exactly `box` (stretched, as the
// grid's and the preview's images show their pictures). Returns a null image
// and a reason in `error` (when given) for a missing, corrupt, truncated or
// oversized file; it never aborts the program.
QImage LoadPictureForBox(const QString& file, QSize box, QString* error = nullptr);

// Decodes several pictures for one box at once, each on a thread of its own,
// so that a page of thumbnails costs about the slowest one. The results
// follow the order of `files`: a null image where a file failed, with its
// reason at the same place in `errors` (empty where it succeeded).
std::vector<QImage> LoadPicturesForBox(const QStringList& files, QSize box, QStringList* errors = nullptr);

// Decodes `file` at its own size, with the same guards.
QImage LoadPicture(const QString& file, QString* error = nullptr);

// Whether `file` is decoded as JPEG: chosen by the extension, in any case.
bool HasJpegExtension(const QString& file);

// Pictures larger than this many bytes once decoded are refused, so that a
// tiny file claiming huge dimensions cannot exhaust memory.
constexpr qint64 kMaxDecodedPictureBytes = 256LL * 1024 * 1024;

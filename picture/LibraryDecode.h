// AVIF, HEIC/HEIF and JPEG XL, which Qt's readers do not take: decoded
// through libavif, libheif and libjxl, each opened on first use. HEIF and
// JPEG XL turn the picture upright themselves; their sizes are given as
// shown.
#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

#include "picture/DecodeBudget.h"
#include "picture/PictureFormat.h"

// Whether the format is one of these three.
bool isLibraryFormat(PictureFormat format);

// Whether the format's library is installed (it is opened to find out).
bool libraryAvailable(PictureFormat format);

// The picture's size from its header alone, without decoding a pixel; an
// invalid size, with the reason in `why`, when the header cannot be read or
// the library is missing.
QSize libraryPictureSize(PictureFormat format, QByteArrayView bytes, QString* why);

// The whole picture at its own size. A picture larger than `maxBytes` once
// decoded is refused before its pixels are allocated, and so is one whose
// memory `reservation` cannot take. A null image with the reason in `why`
// when the library is missing or the file is damaged or cut short.
QImage decodeWithLibrary(PictureFormat format, QByteArrayView bytes, qint64 maxBytes,
                         DecodeReservation& reservation, QString* why);

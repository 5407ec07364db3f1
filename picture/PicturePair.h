// What the store and a published catalogue keep of a picture: a large
// picture and its thumbnail, both JPEG. The import and the publisher make
// them here, so a picture comes out the same whichever way it came.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <optional>

#include "picture/ImageDecode.h"

inline constexpr int kLargePictureQuality = 92;
inline constexpr int kThumbnailQuality = 90;

struct PicturePair {
  QByteArray large;
  QByteArray thumbnail;
};

// Whether the large picture is the file's own bytes: a JPEG, where it needs
// no turning to be shown as asked (as stored, or upright by its Exif
// orientation).
bool keepsOwnBytes(const QByteArray& bytes, Orientation orientation);

// The pair for a picture file's bytes and the thumbnail's box. A JPEG that
// keepsOwnBytes is the large picture as it is, its thumbnail decoded at the
// smallest DCT scale that covers the box; any other picture is decoded
// whole (turned as `options` say), encoded as the large picture and
// stretched to the box for the thumbnail. nullopt with the reason when it
// cannot be decoded or encoded.
std::optional<PicturePair> makePicturePair(const QByteArray& bytes, QSize box, const DecodeOptions& options,
                                           QString* problem);

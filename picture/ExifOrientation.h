// Cameras store a photo as the sensor saw it and note in its Exif data how
// it must be turned to stand upright. Reading that note and turning the
// decoded picture is a step of its own, so that a caller that needs the
// picture as stored (to publish its bytes unchanged) can leave it out.
#pragma once

#include <QByteArrayView>
#include <QIODevice>
#include <QImage>
#include <QImageIOHandler>

// The values of the orientation tag: how the stored picture is shown.
enum class ExifOrientation {
  Normal = 1,
  MirrorHorizontal = 2,
  Rotate180 = 3,
  MirrorVertical = 4,
  Transpose = 5,   // mirrored, then turned a quarter anticlockwise
  Rotate90 = 6,    // turned a quarter clockwise
  Transverse = 7,  // mirrored, then turned a quarter clockwise
  Rotate270 = 8,   // turned a quarter anticlockwise
};

// Whether a picture is wanted as it is stored or as it is meant to be seen.
enum class Orientation { AsStored, Upright };

// The orientation a JPEG's Exif segment (APP1) gives; Normal when the bytes
// hold none, or hold it damaged. Only the bytes before the picture data are
// looked at.
ExifOrientation readExifOrientation(QByteArrayView jpeg);
// The same for a JPEG being read from `source`, which is only peeked at.
ExifOrientation peekExifOrientation(QIODevice& source);
// What Qt's readers report for formats they read the tag of themselves.
ExifOrientation exifOrientationOf(QImageIOHandler::Transformations transformation);

// Whether the orientation exchanges width and height.
bool swapsAxes(ExifOrientation orientation);

// The picture turned and mirrored as the orientation says; the image
// itself (no copy) when it says Normal.
QImage applyExifOrientation(QImage picture, ExifOrientation orientation);

#include "picture/PicturePair.h"

#include <QBuffer>

#include "picture/JpegEncode.h"

bool keepsOwnBytes(const QByteArray& bytes, Orientation orientation) {
  QByteArray copy = bytes;  // shares the bytes; the buffer only reads them
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  if (probePictureFormat(buffer) != PictureFormat::Jpeg) return false;
  return orientation == Orientation::AsStored || readExifOrientation(bytes) == ExifOrientation::Normal;
}

std::optional<PicturePair> makePicturePair(const QByteArray& bytes, QSize box, const DecodeOptions& options,
                                           QString* problem) {
  const bool ownBytes = keepsOwnBytes(bytes, options.orientation);
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  QString why;
  const QImage decoded = decodeForSize(buffer, ownBytes ? box : QSize(), options, &why);
  if (decoded.isNull()) {
    *problem = why;
    return std::nullopt;
  }
  PicturePair pair;
  pair.large = ownBytes ? bytes : encodeJpeg(decoded, kLargePictureQuality);
  pair.thumbnail = encodeJpeg(scaleToBox(decoded, box), kThumbnailQuality);
  if (pair.large.isEmpty() || pair.thumbnail.isEmpty()) {
    *problem = QStringLiteral("could not be encoded as JPEG");
    return std::nullopt;
  }
  return pair;
}

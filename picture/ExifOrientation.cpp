#include "picture/ExifOrientation.h"

#include <QTransform>
#include <QtEndian>

namespace {

// The Exif segment comes before the picture data, normally right after the
// start marker and a JFIF segment; a segment is at most 64 KiB long.
constexpr qint64 kExifSearchBytes = 256 * 1024;
constexpr quint16 kOrientationTag = 0x0112;
constexpr quint16 kShortType = 3;

// Bounds-checked reads in the byte order the TIFF header names.
class TiffReader {
 public:
  TiffReader(QByteArrayView bytes, bool bigEndian) : m_bytes(bytes), m_bigEndian(bigEndian) {}

  bool has(qint64 at, qint64 count) const { return at >= 0 && count >= 0 && at + count <= m_bytes.size(); }

  quint16 read16(qint64 at) const {
    const auto* p = reinterpret_cast<const uchar*>(m_bytes.data() + at);
    return m_bigEndian ? qFromBigEndian<quint16>(p) : qFromLittleEndian<quint16>(p);
  }
  quint32 read32(qint64 at) const {
    const auto* p = reinterpret_cast<const uchar*>(m_bytes.data() + at);
    return m_bigEndian ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p);
  }

 private:
  QByteArrayView m_bytes;
  bool m_bigEndian;
};

ExifOrientation validOrientation(quint32 value) {
  if (value < 1 || value > 8) return ExifOrientation::Normal;
  return ExifOrientation(value);
}

// The orientation entry of the first directory of a TIFF structure.
ExifOrientation orientationInTiff(QByteArrayView tiff) {
  if (tiff.size() < 8) return ExifOrientation::Normal;
  const bool bigEndian = tiff.startsWith("MM");
  if (!bigEndian && !tiff.startsWith("II")) return ExifOrientation::Normal;
  const TiffReader reader(tiff, bigEndian);
  if (reader.read16(2) != 42) return ExifOrientation::Normal;
  const qint64 directory = reader.read32(4);
  if (!reader.has(directory, 2)) return ExifOrientation::Normal;
  const int entries = reader.read16(directory);
  for (int i = 0; i < entries; ++i) {
    const qint64 entry = directory + 2 + qint64(i) * 12;
    if (!reader.has(entry, 12)) break;
    if (reader.read16(entry) != kOrientationTag) continue;
    if (reader.read16(entry + 2) != kShortType) return ExifOrientation::Normal;
    return validOrientation(reader.read16(entry + 8));
  }
  return ExifOrientation::Normal;
}

}  // namespace

ExifOrientation readExifOrientation(QByteArrayView jpeg) {
  const auto byteAt = [&](qint64 at) { return uchar(jpeg[at]); };
  if (jpeg.size() < 4 || byteAt(0) != 0xFF || byteAt(1) != 0xD8) return ExifOrientation::Normal;
  qint64 at = 2;
  while (at + 4 <= jpeg.size()) {
    if (byteAt(at) != 0xFF) return ExifOrientation::Normal;
    const uchar marker = byteAt(at + 1);
    if (marker == 0xFF) {  // padding before a marker
      ++at;
      continue;
    }
    // The picture data starts at SOS; an end, or a marker without length, ends the search.
    if (marker == 0xDA || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01)
      return ExifOrientation::Normal;
    const qint64 length = (qint64(byteAt(at + 2)) << 8) | byteAt(at + 3);
    if (length < 2) return ExifOrientation::Normal;
    const qint64 body = at + 4;
    const qint64 end = at + 2 + length;
    if (marker == 0xE1 && end <= jpeg.size() && length >= 8 &&
        jpeg.sliced(body, 6) == QByteArrayView("Exif\0\0", 6))
      return orientationInTiff(jpeg.sliced(body + 6, end - body - 6));
    at = end;
  }
  return ExifOrientation::Normal;
}

ExifOrientation peekExifOrientation(QIODevice& source) {
  return readExifOrientation(source.peek(kExifSearchBytes));
}

ExifOrientation exifOrientationOf(QImageIOHandler::Transformations transformation) {
  switch (transformation.toInt()) {
    case QImageIOHandler::TransformationMirror:
      return ExifOrientation::MirrorHorizontal;
    case QImageIOHandler::TransformationRotate180:
      return ExifOrientation::Rotate180;
    case QImageIOHandler::TransformationFlip:
      return ExifOrientation::MirrorVertical;
    case QImageIOHandler::TransformationFlipAndRotate90:
      return ExifOrientation::Transpose;
    case QImageIOHandler::TransformationRotate90:
      return ExifOrientation::Rotate90;
    case QImageIOHandler::TransformationMirrorAndRotate90:
      return ExifOrientation::Transverse;
    case QImageIOHandler::TransformationRotate270:
      return ExifOrientation::Rotate270;
    default:
      return ExifOrientation::Normal;
  }
}

bool swapsAxes(ExifOrientation orientation) { return int(orientation) >= int(ExifOrientation::Transpose); }

QImage applyExifOrientation(QImage picture, ExifOrientation orientation) {
  if (picture.isNull()) return picture;
  const auto turned = [](const QImage& image, int degrees) {
    return image.transformed(QTransform().rotate(degrees));
  };
  switch (orientation) {
    case ExifOrientation::Normal:
      return picture;
    case ExifOrientation::MirrorHorizontal:
      return picture.mirrored(true, false);
    case ExifOrientation::Rotate180:
      return picture.mirrored(true, true);
    case ExifOrientation::MirrorVertical:
      return picture.mirrored(false, true);
    case ExifOrientation::Transpose:
      return turned(picture.mirrored(true, false), 270);
    case ExifOrientation::Rotate90:
      return turned(picture, 90);
    case ExifOrientation::Transverse:
      return turned(picture.mirrored(true, false), 90);
    case ExifOrientation::Rotate270:
      return turned(picture, 270);
  }
  return picture;
}

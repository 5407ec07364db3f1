#include "picture/ScreenPictureLoad.h"

#include <QFile>
#include <QSysInfo>
#include <QtEndian>
#include <limits>
#include <memory>

#include "picture/ImageDecode.h"
#include "platform/FileNames.h"

namespace {

// The largest decoded picture accepted: a JPEG is decoded no larger than
// about twice the screen each way, so even an 8K screen stays well inside.
constexpr qint64 kMaxDecodedBytes = 512LL * 1024 * 1024;

// --- uncompressed bitmaps, read in place

struct BitmapLayout {
  qint64 pixelOffset = 0;
  QSize size;
  bool bottomUp = true;
  int bitsPerPixel = 0;
  qint64 bytesPerLine = 0;
  QImage::Format format = QImage::Format_RGB32;
};

quint32 read32(const QByteArray& bytes, int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); }
quint16 read16(const QByteArray& bytes, int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); }

// Qt's formats that hold a bitmap's little-endian pixels as they lie.
std::optional<QImage::Format> bitmapPixelFormat(const QByteArray& header, int bitsPerPixel,
                                                quint32 compression) {
  constexpr quint32 kPlainRgb = 0;
  constexpr quint32 kBitFields = 3;
  if (compression == kPlainRgb) {
    if (bitsPerPixel == 32) return QImage::Format_RGB32;
    if (bitsPerPixel == 24) return QImage::Format_BGR888;
    if (bitsPerPixel == 16) return QImage::Format_RGB555;
    return std::nullopt;
  }
  if (compression != kBitFields || header.size() < 66) return std::nullopt;
  const quint32 red = read32(header, 54);
  const quint32 green = read32(header, 58);
  const quint32 blue = read32(header, 62);
  if (bitsPerPixel == 32 && red == 0xff0000 && green == 0xff00 && blue == 0xff) return QImage::Format_RGB32;
  if (bitsPerPixel == 16 && red == 0xf800 && green == 0x07e0 && blue == 0x1f) return QImage::Format_RGB16;
  if (bitsPerPixel == 16 && red == 0x7c00 && green == 0x03e0 && blue == 0x1f) return QImage::Format_RGB555;
  return std::nullopt;
}

// The layout of a bitmap file whose pixels can be drawn where they lie:
// uncompressed true colour, every row inside the file. Anything else (a
// palette, run-length coding, a cut-off file) goes through Qt's reader.
std::optional<BitmapLayout> inPlaceBitmapLayout(QFile& file) {
  if (QSysInfo::ByteOrder != QSysInfo::LittleEndian) return std::nullopt;
  const QByteArray header = file.peek(66);
  if (header.size() < 54 || !header.startsWith("BM") || read32(header, 14) < 40) return std::nullopt;
  BitmapLayout layout;
  layout.pixelOffset = read32(header, 10);
  const auto width = qint32(read32(header, 18));
  const auto height = qint32(read32(header, 22));
  layout.bitsPerPixel = read16(header, 28);
  if (read16(header, 26) != 1 || width <= 0 || height == 0 || height == std::numeric_limits<qint32>::min())
    return std::nullopt;
  layout.size = QSize(width, height < 0 ? -height : height);
  layout.bottomUp = height > 0;
  const auto format = bitmapPixelFormat(header, layout.bitsPerPixel, read32(header, 30));
  if (!format || !fitsScreenPicture(layout.size)) return std::nullopt;
  layout.format = *format;
  // pixman reads whole pixels through aligned pointers.
  const int alignment = layout.bitsPerPixel == 24 ? 1 : layout.bitsPerPixel / 8;
  if (layout.pixelOffset % alignment != 0) return std::nullopt;
  layout.bytesPerLine = (qint64(width) * layout.bitsPerPixel + 31) / 32 * 4;
  if (layout.pixelOffset + layout.bytesPerLine * layout.size.height() > file.size()) return std::nullopt;
  return layout;
}

void closeMappedFile(void* file) { delete static_cast<QFile*>(file); }

// The bitmap's pixels where they lie in the mapped file, which the image
// owns from then on.
std::optional<ScreenPicture> mapBitmap(std::unique_ptr<QFile> file, const BitmapLayout& layout) {
  const uchar* pixels = file->map(layout.pixelOffset, layout.bytesPerLine * layout.size.height());
  if (!pixels) return std::nullopt;
  QImage image(pixels, layout.size.width(), layout.size.height(), layout.bytesPerLine, layout.format,
               closeMappedFile, file.get());
  if (image.isNull()) return std::nullopt;
  file.release();
  return ScreenPicture{std::move(image), layout.bottomUp ? RowOrder::BottomUp : RowOrder::TopDown};
}

// In place where the depth allows it; a palette or grey picture is smaller
// than its true-colour copy anyway.
void makeDrawable(QImage& picture) {
  if (isScreenPixelFormat(picture.format())) return;
  picture.convertTo(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

}  // namespace

std::optional<ScreenPicture> loadScreenPicture(const QString& path, QSize box, QString& why) {
  std::unique_ptr<QFile> file = openFileForReading(path);
  if (!file) {
    why = QStringLiteral("cannot open the picture %1").arg(path);
    return std::nullopt;
  }
  if (const std::optional<BitmapLayout> layout = inPlaceBitmapLayout(*file)) {
    if (std::optional<ScreenPicture> mapped = mapBitmap(std::move(file), *layout)) return mapped;
    why = QStringLiteral("cannot map the picture %1").arg(path);
    return std::nullopt;
  }
  QString reason;
  QImage decoded = decodeForSize(*file, box, {Orientation::Upright, kMaxDecodedBytes}, &reason);
  if (decoded.isNull()) {
    why = QStringLiteral("cannot read the picture %1: %2").arg(path, reason);
    return std::nullopt;
  }
  makeDrawable(decoded);
  if (!fitsScreenPicture(decoded.size())) {
    why = QStringLiteral("the picture %1 is too large").arg(path);
    return std::nullopt;
  }
  return ScreenPicture{std::move(decoded), RowOrder::TopDown};
}

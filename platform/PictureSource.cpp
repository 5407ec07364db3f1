#include "platform/PictureSource.h"

#include <pixman.h>

#include <QImageReader>
#include <QSysInfo>
#include <QtEndian>
#include <limits>
#include <optional>

#include "platform/FileNames.h"
#include "platform/JpegDecode.h"

namespace {

// The largest decoded picture accepted: a JPEG is decoded no larger than
// about twice the screen each way, so even an 8K screen stays well inside.
constexpr qint64 kMaxDecodedBytes = 512LL * 1024 * 1024;

// pixman addresses pixels in 16.16 fixed point.
constexpr int kMaxSide = 32767;

bool FitsPixman(QSize size) {
  return size.width() > 0 && size.height() > 0 && size.width() <= kMaxSide && size.height() <= kMaxSide;
}

// The pixman format that reads a Qt image's memory as it is, if there is one.
std::optional<pixman_format_code_t> PixmanFormatOf(QImage::Format format) {
  const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
  switch (format) {
    case QImage::Format_RGB32:
      return PIXMAN_x8r8g8b8;
    case QImage::Format_ARGB32_Premultiplied:
      return PIXMAN_a8r8g8b8;
    case QImage::Format_RGB16:
      return PIXMAN_r5g6b5;
    case QImage::Format_RGB888:  // bytes R, G, B
      return little ? PIXMAN_b8g8r8 : PIXMAN_r8g8b8;
    case QImage::Format_BGR888:
      return little ? PIXMAN_r8g8b8 : PIXMAN_b8g8r8;
    case QImage::Format_RGBX8888:  // bytes R, G, B, X
      return little ? PIXMAN_x8b8g8r8 : PIXMAN_r8g8b8x8;
    case QImage::Format_RGBA8888_Premultiplied:
      return little ? PIXMAN_a8b8g8r8 : PIXMAN_r8g8b8a8;
    default:
      return std::nullopt;
  }
}

// --- uncompressed bitmaps, read in place

struct BitmapLayout {
  qint64 pixelOffset = 0;
  QSize size;
  bool bottomUp = true;
  int bitsPerPixel = 0;
  qint64 bytesPerLine = 0;
  pixman_format_code_t format = PIXMAN_x8r8g8b8;
};

quint32 Read32(const QByteArray& bytes, int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); }
quint16 Read16(const QByteArray& bytes, int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); }

std::optional<pixman_format_code_t> BitmapPixelFormat(const QByteArray& header, int bitsPerPixel,
                                                      quint32 compression) {
  constexpr quint32 kPlainRgb = 0;
  constexpr quint32 kBitFields = 3;
  if (compression == kPlainRgb) {
    if (bitsPerPixel == 32) return PIXMAN_x8r8g8b8;
    if (bitsPerPixel == 24) return PIXMAN_r8g8b8;
    if (bitsPerPixel == 16) return PIXMAN_x1r5g5b5;
    return std::nullopt;
  }
  if (compression != kBitFields || header.size() < 66) return std::nullopt;
  const quint32 red = Read32(header, 54);
  const quint32 green = Read32(header, 58);
  const quint32 blue = Read32(header, 62);
  if (bitsPerPixel == 32 && red == 0xff0000 && green == 0xff00 && blue == 0xff) return PIXMAN_x8r8g8b8;
  if (bitsPerPixel == 16 && red == 0xf800 && green == 0x07e0 && blue == 0x1f) return PIXMAN_r5g6b5;
  if (bitsPerPixel == 16 && red == 0x7c00 && green == 0x03e0 && blue == 0x1f) return PIXMAN_x1r5g5b5;
  return std::nullopt;
}

// The layout of a bitmap file whose pixels pixman can read where they lie:
// uncompressed true colour, every row inside the file. Anything else (a
// palette, run-length coding, a cut-off file) goes through Qt's reader.
std::optional<BitmapLayout> InPlaceBitmapLayout(QFile& file) {
  if (QSysInfo::ByteOrder != QSysInfo::LittleEndian) return std::nullopt;
  const QByteArray header = file.peek(66);
  if (header.size() < 54 || !header.startsWith("BM") || Read32(header, 14) < 40) return std::nullopt;
  BitmapLayout layout;
  layout.pixelOffset = Read32(header, 10);
  const auto width = qint32(Read32(header, 18));
  const auto height = qint32(Read32(header, 22));
  layout.bitsPerPixel = Read16(header, 28);
  if (Read16(header, 26) != 1 || width <= 0 || height == 0 || height == std::numeric_limits<qint32>::min())
    return std::nullopt;
  layout.size = QSize(width, height < 0 ? -height : height);
  layout.bottomUp = height > 0;
  const auto format = BitmapPixelFormat(header, layout.bitsPerPixel, Read32(header, 30));
  if (!format || !FitsPixman(layout.size)) return std::nullopt;
  layout.format = *format;
  // pixman reads whole pixels through aligned pointers.
  const int alignment = layout.bitsPerPixel == 24 ? 1 : layout.bitsPerPixel / 8;
  if (layout.pixelOffset % alignment != 0) return std::nullopt;
  layout.bytesPerLine = (qint64(width) * layout.bitsPerPixel + 31) / 32 * 4;
  if (layout.pixelOffset + layout.bytesPerLine * layout.size.height() > file.size()) return std::nullopt;
  return layout;
}

QImage DecodeWithQt(QFile& file, QString& why) {
  if (BitmapIsCut(file)) {
    why = QStringLiteral("the file is cut short");
    return {};
  }
  QImageReader reader(&file);
  QImage picture = reader.read();
  if (picture.isNull()) {
    why = reader.errorString();
    return picture;
  }
  if (PixmanFormatOf(picture.format())) return picture;
  // In place where the depth allows it; a palette or grey picture is smaller
  // than its true-colour copy anyway.
  picture.convertTo(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  return picture;
}

pixman_image_t* WrapPixels(pixman_format_code_t format, QSize size, const uchar* bits, qint64 bytesPerLine) {
  // pixman reads these pixels only, but takes them as writable.
  return pixman_image_create_bits(format, size.width(), size.height(),
                                  reinterpret_cast<uint32_t*>(const_cast<uchar*>(bits)), int(bytesPerLine));
}

}  // namespace

std::unique_ptr<PictureSource> PictureSource::load(const QString& path, QSize box, QString& why) {
  std::unique_ptr<QFile> file = OpenFileForReading(path);
  if (!file) {
    why = QStringLiteral("cannot open the picture %1").arg(path);
    return nullptr;
  }
  std::unique_ptr<PictureSource> source(new PictureSource);
  if (InPlaceBitmapLayout(*file)) {
    if (source->adoptMappedBitmap(std::move(file))) return source;
    why = QStringLiteral("cannot map the picture %1").arg(path);
    return nullptr;
  }
  QString reason;
  QImage decoded = HasJpegExtension(path)
                       ? DecodeJpegStream(*file, JpegScale::CoverBox, box, kMaxDecodedBytes, &reason)
                       : DecodeWithQt(*file, reason);
  if (decoded.isNull()) {
    why = QStringLiteral("cannot read the picture %1: %2").arg(path, reason);
    return nullptr;
  }
  if (!source->adoptDecoded(std::move(decoded))) {
    why = QStringLiteral("the picture %1 is too large").arg(path);
    return nullptr;
  }
  return source;
}

PictureSource::~PictureSource() {
  if (m_image) pixman_image_unref(m_image);
}

bool PictureSource::adoptDecoded(QImage decoded) {
  const auto format = PixmanFormatOf(decoded.format());
  if (!format || !FitsPixman(decoded.size())) return false;
  m_decoded = std::move(decoded);
  m_size = m_decoded.size();
  m_image = WrapPixels(*format, m_size, m_decoded.constBits(), m_decoded.bytesPerLine());
  return m_image != nullptr;
}

bool PictureSource::adoptMappedBitmap(std::unique_ptr<QFile> file) {
  const auto layout = InPlaceBitmapLayout(*file);
  if (!layout) return false;
  const uchar* pixels = file->map(layout->pixelOffset, layout->bytesPerLine * layout->size.height());
  if (!pixels) return false;
  m_mappedFile = std::move(file);
  m_size = layout->size;
  m_bottomUp = layout->bottomUp;
  m_image = WrapPixels(layout->format, m_size, pixels, layout->bytesPerLine);
  return m_image != nullptr;
}

void PictureSource::stretchOnto(pixman_image_t* target, const std::vector<QRect>& areas) const {
  pixman_region32_t uncovered;
  pixman_region32_init_rect(&uncovered, 0, 0, unsigned(pixman_image_get_width(target)),
                            unsigned(pixman_image_get_height(target)));
  // Pixels at the picture's edges are sampled against copies of themselves,
  // not against black.
  pixman_image_set_repeat(m_image, PIXMAN_REPEAT_PAD);
  pixman_image_set_filter(m_image, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  for (const QRect& area : areas) {
    if (area.isEmpty()) continue;
    // Maps the area's pixel centres onto the picture; a bottom-up picture is
    // read upside down.
    const double scaleX = double(m_size.width()) / area.width();
    const double scaleY = double(m_size.height()) / area.height();
    pixman_f_transform stretch{};
    pixman_f_transform_init_identity(&stretch);
    stretch.m[0][0] = scaleX;
    stretch.m[1][1] = m_bottomUp ? -scaleY : scaleY;
    stretch.m[1][2] = m_bottomUp ? m_size.height() : 0;
    pixman_transform_t fixed;
    pixman_transform_from_pixman_f_transform(&fixed, &stretch);
    pixman_image_set_transform(m_image, &fixed);
    pixman_image_composite32(PIXMAN_OP_SRC, m_image, nullptr, target, 0, 0, 0, 0, area.x(), area.y(),
                             area.width(), area.height());
    pixman_region32_t covered;
    pixman_region32_init_rect(&covered, area.x(), area.y(), unsigned(area.width()), unsigned(area.height()));
    pixman_region32_subtract(&uncovered, &uncovered, &covered);
    pixman_region32_fini(&covered);
  }
  pixman_image_set_transform(m_image, nullptr);
  int count = 0;
  const pixman_box32_t* boxes = pixman_region32_rectangles(&uncovered, &count);
  const pixman_color_t black{0, 0, 0, 0xffff};
  if (count > 0) pixman_image_fill_boxes(PIXMAN_OP_SRC, target, &black, count, boxes);
  pixman_region32_fini(&uncovered);
}

bool BitmapIsCut(QFile& stream) {
  const QByteArray header = stream.peek(6);
  if (header.size() < 6 || !header.startsWith("BM")) return false;
  return qint64(Read32(header, 2)) > stream.size();
}

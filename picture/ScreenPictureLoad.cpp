#include "picture/ScreenPictureLoad.h"

#include <QFile>
#include <QSysInfo>
#include <QtEndian>
#include <cstring>
#include <limits>
#include <memory>

#include "picture/ExifOrientation.h"
#include "picture/ImageDecode.h"
#include "picture/JpegDecode.h"
#include "picture/PictureFormat.h"
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

// A JPEG decoded band by band into a window of rows that moves down the
// picture: a screen's worth of stretching touches a few hundred kilobytes
// of the picture instead of all of it.
class JpegScreenRows : public ScreenPictureRows {
 public:
  JpegScreenRows(const QString& path, std::unique_ptr<QFile> file, std::unique_ptr<JpegRows> reader)
      : m_path(path), m_file(std::move(file)), m_reader(std::move(reader)) {}

  QSize size() const override { return m_reader->size(); }

  const ScreenPicture* rows(int first, int last, int& top, QString& why) override {
    if (first < m_top || first >= last || last > size().height()) {
      why = QStringLiteral("rows %1 to %2 were asked for after row %3").arg(first).arg(last).arg(m_top);
      return nullptr;
    }
    // Rows skipped over are decoded into the window too, and dropped below.
    dropRowsAbove(std::min(first, m_top + m_held));
    if (last > m_top + m_held && !readUpTo(last, why)) return nullptr;
    dropRowsAbove(first);
    top = m_top;
    m_view.pixels =
        QImage(m_window.constBits(), m_window.width(), m_held, m_window.bytesPerLine(), m_window.format());
    return &m_view;
  }

 private:
  void dropRowsAbove(int row) {
    const int dropped = row - m_top;
    if (dropped <= 0) return;
    const qsizetype line = m_window.bytesPerLine();
    std::memmove(m_window.bits(), m_window.constBits() + dropped * line, (m_held - dropped) * line);
    m_top = row;
    m_held -= dropped;
  }

  bool readUpTo(int last, QString& why) {
    if (!holdRows(last - m_top)) {
      why = QStringLiteral("not enough memory for the rows of the picture");
      return false;
    }
    const qsizetype line = m_window.bytesPerLine();
    const int count = last - m_top - m_held;
    QString reason;
    if (!m_reader->read(m_window.bits() + m_held * line, count, line, &reason)) {
      why = QStringLiteral("cannot read the picture %1: %2").arg(m_path, reason);
      return false;
    }
    m_held += count;
    return true;
  }

  // Grows the window, keeping the rows it holds, to hold `rows` rows.
  bool holdRows(int rows) {
    if (m_window.height() >= rows) return true;
    QImage larger(size().width(), rows, QImage::Format_RGB32);
    if (larger.isNull()) return false;
    if (m_held > 0) std::memcpy(larger.bits(), m_window.constBits(), m_held * m_window.bytesPerLine());
    m_window = std::move(larger);
    return true;
  }

  QString m_path;
  // Declared before the reader that reads it, so it is closed after.
  std::unique_ptr<QFile> m_file;
  std::unique_ptr<JpegRows> m_reader;
  QImage m_window;
  int m_top = 0;   // the picture's row at the top of the window
  int m_held = 0;  // the rows the window holds from there
  ScreenPicture m_view;
};

std::unique_ptr<QFile> openPicture(const QString& path, QString& why) {
  std::unique_ptr<QFile> file = openFileForReading(path);
  if (!file) why = QStringLiteral("cannot open the picture %1").arg(path);
  return file;
}

std::optional<ScreenPicture> loadOpenedPicture(std::unique_ptr<QFile> file, const QString& path, QSize box,
                                               QString& why) {
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

// A JPEG that is shown as it is stored can be read in bands; one that its
// Exif data turns is turned whole.
bool readsInBands(QFile& file) {
  return probePictureFormat(file) == PictureFormat::Jpeg && file.size() <= kMaxDecodedBytes &&
         peekExifOrientation(file) == ExifOrientation::Normal;
}

}  // namespace

std::optional<ScreenPicture> loadScreenPicture(const QString& path, QSize box, QString& why) {
  std::unique_ptr<QFile> file = openPicture(path, why);
  if (!file) return std::nullopt;
  return loadOpenedPicture(std::move(file), path, box, why);
}

std::unique_ptr<ScreenPictureRows> openScreenPicture(const QString& path, QSize box, QString& why) {
  std::unique_ptr<QFile> file = openPicture(path, why);
  if (!file) return nullptr;
  if (readsInBands(*file)) {
    QString reason;
    std::unique_ptr<JpegRows> reader = JpegRows::open(*file, box, kMaxDecodedBytes, &reason);
    if (!reader || !fitsScreenPicture(reader->size())) {
      why = QStringLiteral("cannot read the picture %1: %2")
                .arg(path, reader ? QStringLiteral("it is too large") : reason);
      return nullptr;
    }
    return std::make_unique<JpegScreenRows>(path, std::move(file), std::move(reader));
  }
  std::optional<ScreenPicture> whole = loadOpenedPicture(std::move(file), path, box, why);
  if (!whole) return nullptr;
  return wholePictureRows(std::move(*whole));
}

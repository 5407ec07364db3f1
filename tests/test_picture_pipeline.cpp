// The picture pipeline's steps: telling the format by the content, decoding
// for a size, standing a photo upright by its Exif orientation, and encoding
// JPEG.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <array>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "picture/DecodeBudget.h"
#include "picture/ExifOrientation.h"
#include "picture/ImageDecode.h"
#include "picture/JpegEncode.h"
#include "picture/PictureFormat.h"
#include "picture/ScreenPictureLoad.h"
#include "support/TestPictures.h"

namespace {

QByteArray encode(const QImage& image, const char* format) { return encodePicture(image, format, 95); }

// A TIFF field of `value` in the byte order the header names.
template <typename Value>
QByteArray field(Value value, bool bigEndian) {
  QByteArray bytes(sizeof(Value), '\0');
  if (bigEndian)
    qToBigEndian(value, bytes.data());
  else
    qToLittleEndian(value, bytes.data());
  return bytes;
}

QByteArray field16(quint16 value, bool bigEndian) { return field(value, bigEndian); }
QByteArray field32(quint32 value, bool bigEndian) { return field(value, bigEndian); }

// An Exif segment whose first directory holds `entries` (tag, type, value).
QByteArray exifSegment(const std::vector<std::array<quint16, 3>>& entries, bool bigEndian) {
  QByteArray tiff = bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
  tiff += field32(8, bigEndian);
  tiff += field16(quint16(entries.size()), bigEndian);
  for (const auto& [tag, type, value] : entries)
    tiff += field16(tag, bigEndian) + field16(type, bigEndian) + field32(1, bigEndian) +
            field16(value, bigEndian) + field16(0, bigEndian);
  tiff += field32(0, bigEndian);
  const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
  return QByteArray("\xFF\xE1", 2) + field16(quint16(body.size() + 2), true) + body;
}

// The JPEG with an Exif segment after the JFIF one, where cameras put it.
QByteArray withSegment(const QByteArray& jpeg, const QByteArray& segment) {
  const int jfifEnd = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
  return jpeg.left(jfifEnd) + segment + jpeg.mid(jfifEnd);
}

QByteArray withOrientation(const QByteArray& jpeg, int orientation, bool bigEndian = true) {
  // A tag before the orientation, as cameras write their make first.
  return withSegment(jpeg, exifSegment({{0x010F, 2, 0}, {0x0112, 3, quint16(orientation)}}, bigEndian));
}

void expectColourNear(QRgb actual, QRgb expected) {
  EXPECT_NEAR(qRed(actual), qRed(expected), 24);
  EXPECT_NEAR(qGreen(actual), qGreen(expected), 24);
  EXPECT_NEAR(qBlue(actual), qBlue(expected), 24);
}

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);

class PictureFolder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  QString write(const QString& name, const QByteArray& bytes) const {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }

  QTemporaryDir m_dir;
};

}  // namespace

TEST(PictureFormatTest, TheFirstBytesTellTheFormatAndAreLeftToRead) {
  const QImage image = halves(QSize(16, 8));
  const struct {
    QByteArray bytes;
    PictureFormat format;
  } cases[] = {
      {encode(image, "jpeg"), PictureFormat::Jpeg},
      {encode(image, "png"), PictureFormat::Png},
      {encode(image, "bmp"), PictureFormat::Bmp},
      {QByteArray("GIF89a\x10\0\x08\0", 10), PictureFormat::Gif},
      {QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16), PictureFormat::WebP},
      {QByteArray("II*\0\x08\0\0\0", 8), PictureFormat::Tiff},
      {QByteArray("MM\0*\0\0\0\x08", 8), PictureFormat::Tiff},
      {QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16), PictureFormat::Unknown},
      {QByteArray("<html>not found</html>"), PictureFormat::Unknown},
      {QByteArray("\xFF\xD8"), PictureFormat::Unknown},
      {QByteArray(), PictureFormat::Unknown},
  };
  for (const auto& one : cases) {
    QByteArray bytes = one.bytes;
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    EXPECT_EQ(probePictureFormat(buffer), one.format) << one.bytes.left(12).toHex().constData();
    EXPECT_EQ(buffer.pos(), 0);
  }
  EXPECT_EQ(qtFormatName(PictureFormat::Png), QByteArray("png"));
  EXPECT_TRUE(qtFormatName(PictureFormat::Unknown).isEmpty());
}

TEST_F(PictureFolder, PicturesDecodeByTheirContentWhateverTheirName) {
  const QString pngAsJpeg = write(QStringLiteral("photo.jpg"), encode(halves(QSize(64, 32)), "png"));
  const QString jpegAsPng = write(QStringLiteral("photo.png"), encode(halves(QSize(64, 32)), "jpeg"));
  const QString jpegAsText = write(QStringLiteral("photo.txt"), encode(halves(QSize(64, 32)), "jpeg"));
  for (const QString& file : {pngAsJpeg, jpegAsPng, jpegAsText}) {
    SCOPED_TRACE(file.toStdString());
    QString error;
    const QImage picture = loadPictureForBox(file, QSize(32, 16), &error);
    ASSERT_FALSE(picture.isNull()) << qPrintable(error);
    expectColourNear(picture.pixel(4, 8), kRed);
    expectColourNear(picture.pixel(28, 8), kBlue);
    EXPECT_TRUE(isPictureFile(file));
  }
  QFile png(pngAsJpeg);
  ASSERT_TRUE(png.open(QIODevice::ReadOnly));
  const PictureHeader header = readPictureHeader(png);
  EXPECT_EQ(header.format, PictureFormat::Png);
  EXPECT_EQ(header.size, QSize(64, 32));

  const QString text = write(QStringLiteral("notes.jpg"), "these are notes, not a picture");
  QString error;
  EXPECT_TRUE(loadPictureForBox(text, QSize(32, 16), &error).isNull());
  EXPECT_TRUE(error.contains(QStringLiteral("notes.jpg"))) << qPrintable(error);
  EXPECT_FALSE(isPictureFile(text));
  EXPECT_FALSE(isPictureFile(m_dir.filePath(QStringLiteral("missing.png"))));
  // A pipe named like a picture is not opened, so it cannot block.
  ASSERT_EQ(mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("pipe.png"))).constData(), 0600), 0);
  EXPECT_FALSE(isPictureFile(m_dir.filePath(QStringLiteral("pipe.png"))));
}

TEST_F(PictureFolder, AJpegHeaderTellsTheStoredSizeAndADamagedOneNone) {
  QByteArray bytes = encode(halves(QSize(1600, 1200)), "jpeg");
  QBuffer whole(&bytes);
  ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
  const PictureHeader header = readPictureHeader(whole);
  EXPECT_EQ(header.format, PictureFormat::Jpeg);
  EXPECT_EQ(header.size, QSize(1600, 1200));

  // The signature alone, with the header cut off.
  QByteArray cut = bytes.left(6);
  QBuffer truncated(&cut);
  ASSERT_TRUE(truncated.open(QIODevice::ReadOnly));
  const PictureHeader damaged = readPictureHeader(truncated);
  EXPECT_EQ(damaged.format, PictureFormat::Jpeg);
  EXPECT_FALSE(damaged.size.isValid());
  EXPECT_FALSE(damaged.problem.isEmpty());
}

TEST_F(PictureFolder, AJpegIsDecodedAtTheSmallestScaleThatCoversTheTarget) {
  QByteArray bytes = encode(halves(QSize(1600, 1200)), "jpeg");
  QBuffer buffer(&bytes);
  ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
  QString why;
  // An eighth (200 x 150) covers 145 x 110; a target of 300 x 100 needs a quarter.
  EXPECT_EQ(decodeForSize(buffer, QSize(145, 110), {}, &why).size(), QSize(200, 150)) << qPrintable(why);
  buffer.seek(0);
  EXPECT_EQ(decodeForSize(buffer, QSize(300, 100), {}, &why).size(), QSize(400, 300)) << qPrintable(why);
  buffer.seek(0);
  EXPECT_EQ(decodeForSize(buffer, QSize(), {}, &why).size(), QSize(1600, 1200)) << qPrintable(why);
  // The bound applies to the picture as decoded, at its scale.
  buffer.seek(0);
  EXPECT_TRUE(decodeForSize(buffer, QSize(), {Orientation::Upright, 1024 * 1024}, &why).isNull());
  EXPECT_TRUE(why.contains(QStringLiteral("too large"))) << qPrintable(why);
  buffer.seek(0);
  EXPECT_FALSE(decodeForSize(buffer, QSize(145, 110), {Orientation::Upright, 1024 * 1024}, &why).isNull());
}

// Decodes running at once share a budget: a picture takes its pixels from it
// before it allocates them and gives them back once done. One that needs more
// than the whole budget is refused at once, since nothing given back could
// make room for it; one that finds the budget held waits for it.
TEST(DecodeBudgetTest, ADecodeTakesItsPixelsFromTheBudgetAndGivesThemBack) {
  QByteArray jpeg = encode(halves(QSize(1600, 1200)), "jpeg");  // an eighth: 200 x 150, 120000 bytes
  QByteArray bitmap = encode(halves(QSize(100, 100)), "bmp");   // 40000 bytes
  const auto decode = [](QByteArray& bytes, DecodeBudget& budget) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QString why;
    const DecodeOptions options{Orientation::Upright, kMaxDecodedPictureBytes, &budget};
    QImage picture = decodeForSize(buffer, QSize(145, 110), options, &why);
    EXPECT_TRUE(picture.isNull() == why.contains(QStringLiteral("too large"))) << qPrintable(why);
    return picture;
  };
  DecodeBudget tooSmall(119999);
  EXPECT_TRUE(decode(jpeg, tooSmall).isNull());
  EXPECT_FALSE(decode(bitmap, tooSmall).isNull());
  DecodeBudget tooSmallForTheBitmap(39999);
  EXPECT_TRUE(decode(bitmap, tooSmallForTheBitmap).isNull());

  DecodeBudget exact(120000);
  EXPECT_FALSE(decode(jpeg, exact).isNull());
  auto held = std::make_unique<DecodeReservation>(&exact);
  ASSERT_TRUE(held->take(1));  // given back by the decode before, or this would wait
  std::future<QImage> waiting = std::async(std::launch::async, [&] { return decode(jpeg, exact); });
  held.reset();
  EXPECT_FALSE(waiting.get().isNull());
}

TEST(ExifOrientationTest, TheTagIsFoundInEitherByteOrderAndDamageMeansNormal) {
  const QByteArray jpeg = encode(halves(QSize(16, 8)), "jpeg");
  EXPECT_EQ(readExifOrientation(jpeg), ExifOrientation::Normal);
  EXPECT_EQ(readExifOrientation(withOrientation(jpeg, 6, true)), ExifOrientation::Rotate90);
  EXPECT_EQ(readExifOrientation(withOrientation(jpeg, 3, false)), ExifOrientation::Rotate180);
  EXPECT_EQ(readExifOrientation(withOrientation(jpeg, 8, false)), ExifOrientation::Rotate270);
  // Values outside 1 to 8, a tag of the wrong type, a segment cut short, a
  // directory pointing outside the segment, and no JPEG at all.
  EXPECT_EQ(readExifOrientation(withOrientation(jpeg, 9)), ExifOrientation::Normal);
  EXPECT_EQ(readExifOrientation(withOrientation(jpeg, 0)), ExifOrientation::Normal);
  EXPECT_EQ(readExifOrientation(withSegment(jpeg, exifSegment({{0x0112, 4, 6}}, true))),
            ExifOrientation::Normal);
  const QByteArray segment = exifSegment({{0x0112, 3, 6}}, true);
  const QByteArray tagged = withSegment(jpeg, segment);
  const qsizetype segmentEnd = tagged.indexOf(segment) + segment.size();
  for (qsizetype cut = 0; cut < segmentEnd; ++cut)
    EXPECT_EQ(readExifOrientation(QByteArrayView(tagged).first(cut)), ExifOrientation::Normal) << cut;
  EXPECT_EQ(readExifOrientation(QByteArrayView(tagged).first(segmentEnd)), ExifOrientation::Rotate90);
  QByteArray stray = exifSegment({{0x0112, 3, 6}}, true);
  stray[14] = char(0x7F);  // the directory's offset, far beyond the segment
  EXPECT_EQ(readExifOrientation(withSegment(jpeg, stray)), ExifOrientation::Normal);
  QByteArray many = exifSegment({{0x0112, 3, 6}}, true);
  many[18] = many[19] = char(0xFF);  // 65535 entries claimed, one there
  EXPECT_EQ(readExifOrientation(withSegment(jpeg, many)), ExifOrientation::Rotate90);
  EXPECT_EQ(readExifOrientation(encode(halves(QSize(16, 8)), "png")), ExifOrientation::Normal);
  EXPECT_EQ(readExifOrientation(QByteArrayView()), ExifOrientation::Normal);
}

TEST(ExifOrientationTest, EachOrientationMovesEveryPixelWhereItBelongs) {
  const int w = 3, h = 2;
  QImage stored(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) stored.setPixel(x, y, qRgb(x * 50, y * 50, 7));
  // Where each shown pixel (x, y) comes from in the stored picture.
  const std::function<QPoint(int, int)> sources[] = {
      [&](int x, int y) { return QPoint(x, y); },
      [&](int x, int y) { return QPoint(w - 1 - x, y); },
      [&](int x, int y) { return QPoint(w - 1 - x, h - 1 - y); },
      [&](int x, int y) { return QPoint(x, h - 1 - y); },
      [&](int x, int y) { return QPoint(y, x); },
      [&](int x, int y) { return QPoint(y, h - 1 - x); },
      [&](int x, int y) { return QPoint(w - 1 - y, h - 1 - x); },
      [&](int x, int y) { return QPoint(w - 1 - y, x); },
  };
  for (int value = 1; value <= 8; ++value) {
    SCOPED_TRACE(value);
    const auto orientation = ExifOrientation(value);
    const QImage shown = applyExifOrientation(stored, orientation);
    ASSERT_EQ(shown.size(), swapsAxes(orientation) ? QSize(h, w) : QSize(w, h));
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x) {
        const QPoint from = sources[value - 1](x, y);
        EXPECT_EQ(shown.pixel(x, y), stored.pixel(from)) << x << "," << y;
      }
  }
  EXPECT_EQ(applyExifOrientation(stored, ExifOrientation::Normal).constBits(), stored.constBits());
  EXPECT_EQ(exifOrientationOf(QImageIOHandler::TransformationRotate90), ExifOrientation::Rotate90);
  EXPECT_EQ(exifOrientationOf(QImageIOHandler::TransformationFlipAndRotate90), ExifOrientation::Transpose);
  EXPECT_EQ(exifOrientationOf(QImageIOHandler::TransformationNone), ExifOrientation::Normal);
}

TEST_F(PictureFolder, PhotosStandUprightForShowingAndStayAsStoredWhenAsked) {
  const QByteArray plain = encode(halves(QSize(1600, 800)), "jpeg");
  const QString turned = write(QStringLiteral("turned.jpg"), withOrientation(plain, 6));
  const QString upsideDown = write(QStringLiteral("upside-down.jpg"), withOrientation(plain, 3, false));
  QString error;

  // Turned a quarter clockwise, the left half (red) is on top.
  const QImage upright = loadPicture(turned, &error);
  ASSERT_EQ(upright.size(), QSize(800, 1600)) << qPrintable(error);
  expectColourNear(upright.pixel(400, 200), kRed);
  expectColourNear(upright.pixel(400, 1400), kBlue);
  // The box is covered as shown: 100 x 200 upright is 200 x 100 stored, an eighth.
  QFile file(turned);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(decodeForSize(file, QSize(100, 200), {}, &error).size(), QSize(100, 200)) << qPrintable(error);
  const QImage thumbnail = loadPictureForBox(turned, QSize(50, 100), &error);
  ASSERT_FALSE(thumbnail.isNull()) << qPrintable(error);
  expectColourNear(thumbnail.pixel(25, 10), kRed);
  expectColourNear(thumbnail.pixel(25, 90), kBlue);

  const QImage rotated = loadPictureForBox(upsideDown, QSize(100, 50), &error);
  ASSERT_FALSE(rotated.isNull()) << qPrintable(error);
  expectColourNear(rotated.pixel(10, 25), kBlue);
  expectColourNear(rotated.pixel(90, 25), kRed);

  const QImage stored = decodeFileForSize(turned, QSize(), {Orientation::AsStored}, &error);
  ASSERT_EQ(stored.size(), QSize(1600, 800)) << qPrintable(error);
  expectColourNear(stored.pixel(200, 400), kRed);

  // The desktop background stands upright too.
  const std::optional<ScreenPicture> screen = loadScreenPicture(turned, QSize(400, 800), error);
  ASSERT_TRUE(screen) << qPrintable(error);
  EXPECT_EQ(screen->size(), QSize(400, 800));
  expectColourNear(screen->pixels.pixel(200, 100), kRed);
}

TEST(JpegEncodeTest, PicturesComeBackAsJpegsOfTheirQualityOverBlack) {
  QImage noisy(96, 64, QImage::Format_RGB32);
  for (int y = 0; y < noisy.height(); ++y)
    for (int x = 0; x < noisy.width(); ++x)
      noisy.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, 90));
  const QByteArray fine = encodeJpeg(noisy, 95);
  const QByteArray coarse = encodeJpeg(noisy, 20);
  ASSERT_FALSE(fine.isEmpty());
  ASSERT_FALSE(coarse.isEmpty());
  EXPECT_GT(fine.size(), coarse.size());
  QByteArray bytes = fine;
  QBuffer buffer(&bytes);
  ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
  EXPECT_EQ(probePictureFormat(buffer), PictureFormat::Jpeg);
  QString why;
  const QImage decoded = decodeForSize(buffer, QSize(), {}, &why);
  ASSERT_EQ(decoded.size(), noisy.size()) << qPrintable(why);

  // A transparent part shows black, a half-transparent one its colour over black.
  QImage clear(32, 16, QImage::Format_ARGB32);
  clear.fill(Qt::transparent);
  for (int y = 0; y < 16; ++y)
    for (int x = 16; x < 32; ++x) clear.setPixel(x, y, qRgba(255, 255, 255, 128));
  const QImage flat = flattenOverBlack(clear);
  EXPECT_EQ(flat.format(), QImage::Format_RGB32);
  EXPECT_EQ(flat.pixel(3, 3), qRgb(0, 0, 0));
  expectColourNear(flat.pixel(24, 8), qRgb(128, 128, 128));
  QByteArray overBlack = encodeJpeg(clear, 90);
  QBuffer overBlackBuffer(&overBlack);
  ASSERT_TRUE(overBlackBuffer.open(QIODevice::ReadOnly));
  const QImage shown = decodeForSize(overBlackBuffer, QSize(), {}, &why);
  ASSERT_FALSE(shown.isNull()) << qPrintable(why);
  expectColourNear(shown.pixel(3, 8), qRgb(0, 0, 0));
  expectColourNear(shown.pixel(28, 8), qRgb(128, 128, 128));

  EXPECT_TRUE(encodeJpeg(QImage(), 90).isEmpty());
}

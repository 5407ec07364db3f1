// Decoding pictures for the grid and the wallpaper: sizes, colours, and
// broken or hostile files that must fail cleanly.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

#include "library/SlotDecoding.h"
#include "picture/ImageDecode.h"
#include "platform/FileNames.h"
#include "support/RawNames.h"
#include "support/WaitUntil.h"

namespace {

const QSize kNormalBox(145, 110);

class DecodeFolder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  QString path(const QString& name) const { return m_dir.path() + "/" + name; }

  QString writeBytes(const QString& name, const QByteArray& bytes) const {
    QFile file(path(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path(name);
  }

  static QByteArray jpegBytes(QSize size, const QColor& color, bool progressive = false) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return encode(image, "jpeg", progressive);
  }

  static QByteArray encode(const QImage& image, const char* format, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image)) << qPrintable(writer.errorString());
    return bytes;
  }

  QTemporaryDir m_dir;
};

// Within the loss of JPEG coding.
void expectColourNear(QRgb actual, const QColor& expected) {
  EXPECT_NEAR(qRed(actual), expected.red(), 12);
  EXPECT_NEAR(qGreen(actual), expected.green(), 12);
  EXPECT_NEAR(qBlue(actual), expected.blue(), 12);
}

// Puts other dimensions into the frame header of a baseline JPEG.
QByteArray withDimensions(QByteArray jpeg, int width, int height) {
  const qsizetype frame = jpeg.indexOf("\xff\xc0");
  EXPECT_GT(frame, 0);
  jpeg[frame + 5] = char(height >> 8);
  jpeg[frame + 6] = char(height & 0xff);
  jpeg[frame + 7] = char(width >> 8);
  jpeg[frame + 8] = char(width & 0xff);
  return jpeg;
}

// A mid-grey JPEG of any size in which every block takes two bits (code
// tables of one symbol each: a DC difference of 0, then the end of the
// block), so a picture of a billion pixels is a file of a few megabytes.
QByteArray greyJpeg(int width, int height) {
  QByteArray jpeg("\xff\xd8", 2);
  const auto segment = [&jpeg](char marker, const QByteArray& body) {
    const int length = int(body.size()) + 2;
    jpeg += char(0xff);
    jpeg += marker;
    jpeg += char(length >> 8);
    jpeg += char(length & 0xff);
    jpeg += body;
  };
  segment(char(0xdb), QByteArray(1, 0) + QByteArray(64, 1));
  QByteArray frame(1, 8);
  for (const int value : {height, width}) {
    frame += char(value >> 8);
    frame += char(value & 0xff);
  }
  segment(char(0xc0), frame + QByteArray("\x01\x01\x11\x00", 4));
  QByteArray oneSymbol(17, 0);
  oneSymbol[0] = 1;
  segment(char(0xc4), QByteArray(1, 0x00) + oneSymbol + QByteArray(1, 0x10) + oneSymbol);
  segment(char(0xda), QByteArray("\x01\x01\x00\x00\x3f\x00", 6));
  const qint64 blocks = qint64((width + 7) / 8) * ((height + 7) / 8);
  jpeg += QByteArray((blocks * 2 + 7) / 8, 0);
  jpeg += "\xff\xd9";
  return jpeg;
}

// What a page of slots shows once it has been decoded.
std::optional<BrowseState> decodedPage(std::vector<SlotFill> fills, QSize box) {
  QObject context;
  std::optional<BrowseState> shown;
  decodeIntoSlots(&context, std::move(fills), box, [&shown](const PageLoad::Edit& edit) {
    BrowseState state;
    edit(state);
    shown = state;
  });
  waitUntil([&shown] { return shown.has_value(); });
  return shown;
}

// Qt writes no CMYK JPEG, so this one is made with libjpeg, stored inverted
// as the Adobe marker that libjpeg adds announces to readers.
QByteArray invertedCmykJpeg(QSize size, const unsigned char cmyk[4]) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  jpeg_mem_dest(&cinfo, &buffer, &length);
  cinfo.image_width = size.width();
  cinfo.image_height = size.height();
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(size.width() * 4);
  for (int x = 0; x < size.width(); ++x) std::copy(cmyk, cmyk + 4, row.begin() + x * 4);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rowPointer = row.data();
    jpeg_write_scanlines(&cinfo, &rowPointer, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(length));
  std::free(buffer);
  return bytes;
}

}  // namespace

TEST_F(DecodeFolder, JpegIsScaledToExactlyTheBox) {
  const QString file = writeBytes("s_sea.jpg", jpegBytes(QSize(1600, 1200), QColor(200, 30, 40)));
  QString error;
  const QImage picture = loadPictureForBox(file, kNormalBox, &error);
  ASSERT_FALSE(picture.isNull()) << qPrintable(error);
  EXPECT_EQ(picture.size(), kNormalBox);
  expectColourNear(picture.pixel(70, 50), QColor(200, 30, 40));

  EXPECT_EQ(loadPicture(file, &error).size(), QSize(1600, 1200));
  const QString small = writeBytes("s_small.jpg", jpegBytes(QSize(40, 30), Qt::blue));
  EXPECT_EQ(loadPictureForBox(small, QSize(160, 100)).size(), QSize(160, 100));  // stretched up
}

TEST_F(DecodeFolder, ExtensionInCapitalsAndProgressiveFilesDecode) {
  const QString file = writeBytes("S_SEA.JPG", jpegBytes(QSize(800, 600), QColor(20, 180, 60), true));
  QString error;
  const QImage picture = loadPictureForBox(file, kNormalBox, &error);
  ASSERT_FALSE(picture.isNull()) << qPrintable(error);
  expectColourNear(picture.pixel(10, 10), QColor(20, 180, 60));
}

TEST_F(DecodeFolder, GreyAndCmykJpegsComeOutInRgb) {
  QImage grey(64, 48, QImage::Format_Grayscale8);
  grey.fill(QColor(128, 128, 128));
  const QString greyFile = writeBytes("grey.jpg", encode(grey, "jpeg"));
  expectColourNear(loadPicture(greyFile).pixel(5, 5), QColor(128, 128, 128));

  const unsigned char redInverted[4] = {255, 0, 0, 255};  // no cyan, full magenta and yellow, no black
  const QString cmykFile = writeBytes("cmyk.jpg", invertedCmykJpeg(QSize(64, 48), redInverted));
  QString error;
  const QImage cmyk = loadPictureForBox(cmykFile, QSize(32, 24), &error);
  ASSERT_FALSE(cmyk.isNull()) << qPrintable(error);
  expectColourNear(cmyk.pixel(5, 5), Qt::red);
}

TEST_F(DecodeFolder, BitmapsGoThroughQtInAnyCase) {
  QImage image(200, 100, QImage::Format_RGB32);
  image.fill(QColor(10, 20, 250));
  const QString file = writeBytes("L_SEA.BMP", encode(image, "bmp"));
  QString error;
  const QImage picture = loadPictureForBox(file, kNormalBox, &error);
  ASSERT_FALSE(picture.isNull()) << qPrintable(error);
  EXPECT_EQ(picture.size(), kNormalBox);
  EXPECT_EQ(picture.pixel(3, 3), QColor(10, 20, 250).rgb());
  EXPECT_EQ(loadPicture(file).size(), QSize(200, 100));
}

TEST_F(DecodeFolder, BrokenFilesAreErrors) {
  const QByteArray good = jpegBytes(QSize(640, 480), Qt::green);
  QByteArray garbage(5000, '\0');
  for (int i = 0; i < garbage.size(); ++i) garbage[i] = char((i * 7919) % 251);
  const struct {
    const char* name;
    QByteArray bytes;
  } cases[] = {
      {"empty.jpg", QByteArray()},
      {"garbage.jpg", garbage},
      {"header-only.jpg", good.left(100)},
      {"truncated.jpg", good.left(good.size() / 2)},
      {"no-end.jpg", good.left(good.size() - 2) + QByteArray(64, '\0')},
      {"png-cut-short.jpg", encode(QImage(64, 64, QImage::Format_RGB32), "png").left(60)},
      {"garbage.bmp", garbage},
      {"truncated.bmp", encode(QImage(300, 300, QImage::Format_RGB32), "bmp").left(2000)},
  };
  for (const auto& broken : cases) {
    const QString file = writeBytes(broken.name, broken.bytes);
    QString error;
    EXPECT_TRUE(loadPictureForBox(file, kNormalBox, &error).isNull()) << broken.name;
    EXPECT_FALSE(error.isEmpty()) << broken.name;
    EXPECT_TRUE(loadPicture(file).isNull()) << broken.name;
  }
}

TEST_F(DecodeFolder, HugeDimensionsAreRefusedOrFailWithoutExhaustingMemory) {
  const QByteArray small = jpegBytes(QSize(64, 64), Qt::red);
  const QString huge = writeBytes("huge.jpg", withDimensions(small, 65000, 65000));
  QString error;
  EXPECT_TRUE(loadPicture(huge, &error).isNull());
  EXPECT_TRUE(error.contains("too large")) << qPrintable(error);
  // Decodable at an eighth of the size, but the data behind the header is missing.
  EXPECT_TRUE(loadPictureForBox(huge, kNormalBox, &error).isNull());
  EXPECT_FALSE(error.contains("too large")) << qPrintable(error);
  const QString claimed = writeBytes("claimed.jpg", withDimensions(small, 20000, 15000));
  EXPECT_TRUE(loadPictureForBox(claimed, kNormalBox).isNull());
  EXPECT_TRUE(loadPicture(claimed).isNull());
  const QString zero = writeBytes("zero.jpg", withDimensions(small, 0, 64));
  EXPECT_TRUE(loadPicture(zero).isNull());
  QImage image(100, 100, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray bitmap = encode(image, "bmp");
  bitmap[18] = bitmap[19] = bitmap[20] = char(0xff);  // width 16 million
  const QString wide = writeBytes("wide.bmp", bitmap);
  EXPECT_TRUE(loadPicture(wide).isNull());
  EXPECT_TRUE(loadPictureForBox(wide, kNormalBox).isNull());
}

// At its smallest scale this picture still decodes to 4100 x 4100, 67 MB; a
// page of six such thumbnails took over a gigabyte at once. A slot refuses it
// before decoding, and the rest of the page still shows.
TEST_F(DecodeFolder, ASlotRefusesAPictureWhoseSmallestDecodeIsStillHuge) {
  const QString huge = writeBytes("s_huge.jpg", greyJpeg(32800, 32800));
  QString error;
  ASSERT_FALSE(loadPictureForBox(huge, kNormalBox, &error).isNull())
      << "a whole picture: " << qPrintable(error);
  const QString plain = writeBytes("s_plain.jpg", jpegBytes(QSize(300, 200), Qt::red));
  const std::optional<BrowseState> shown =
      decodedPage({{{huge, huge}, huge, QString()}, {{plain, plain}, plain, QString()}}, kNormalBox);
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->pictures[0], brokenPictureMark(kNormalBox));
  expectColourNear(shown->pictures[1].pixel(1, 1), Qt::red);
}

TEST_F(DecodeFolder, MissingFilesFoldersAndPipesAreErrorsNotHangs) {
  QString error;
  EXPECT_TRUE(loadPictureForBox(path("missing.jpg"), kNormalBox, &error).isNull());
  EXPECT_FALSE(error.isEmpty());
  ASSERT_TRUE(QDir().mkpath(path("folder.jpg")));
  EXPECT_TRUE(loadPicture(path("folder.jpg")).isNull());
  ASSERT_EQ(mkfifo(QFile::encodeName(path("pipe.jpg")).constData(), 0600), 0);
  EXPECT_TRUE(loadPictureForBox(path("pipe.jpg"), kNormalBox).isNull());
  const QString file = writeBytes("ok.jpg", jpegBytes(QSize(10, 10), Qt::red));
  EXPECT_TRUE(loadPictureForBox(file, QSize(0, 10), &error).isNull());
}

TEST_F(DecodeFolder, PageDecodedAtOnceKeepsOrderAndReportsEachFailure) {
  const QStringList files = {writeBytes("a.jpg", jpegBytes(QSize(300, 200), Qt::red)), path("missing.jpg"),
                             writeBytes("c.jpg", jpegBytes(QSize(300, 200), Qt::blue))};
  QStringList errors;
  const std::vector<QImage> pictures = loadPicturesForBox(files, kNormalBox, &errors);
  ASSERT_EQ(pictures.size(), 3u);
  ASSERT_EQ(errors.size(), 3);
  expectColourNear(pictures[0].pixel(1, 1), Qt::red);
  EXPECT_TRUE(pictures[1].isNull());
  EXPECT_FALSE(errors[1].isEmpty());
  expectColourNear(pictures[2].pixel(1, 1), Qt::blue);
  EXPECT_TRUE(errors[2].isEmpty());
}

TEST_F(DecodeFolder, AFileWhoseNameIsNotUtf8IsDecodedByItsBytes) {
  const RawNamesCleanup cleanup(m_dir.path());
  const QString plainJpeg = writeBytes("plain.jpg", jpegBytes(QSize(300, 200), Qt::red));
  const QString plainBitmap = writeBytes("plain.bmp", encode(QImage(20, 10, QImage::Format_RGB32), "bmp"));
  const QByteArray folder = QFile::encodeName(m_dir.path()) + '/';
  ASSERT_TRUE(renameRaw(plainJpeg, folder + "caf\xE9.jpg"));
  ASSERT_TRUE(renameRaw(plainBitmap, folder + "\xBA\xA3.bmp"));

  QString error;
  const QImage thumbnail = loadPictureForBox(decodeFileName(folder + "caf\xE9.jpg"), kNormalBox, &error);
  ASSERT_FALSE(thumbnail.isNull()) << qPrintable(error);
  expectColourNear(thumbnail.pixel(10, 10), Qt::red);
  EXPECT_EQ(loadPicture(decodeFileName(folder + "\xBA\xA3.bmp"), &error).size(), QSize(20, 10))
      << qPrintable(error);
  // Another name with the same text as Qt decodes it is not the file.
  EXPECT_TRUE(loadPicture(decodeFileName(folder + "caf\xEF\xBF\xBD.jpg")).isNull());
}

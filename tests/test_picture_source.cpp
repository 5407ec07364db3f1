// Pictures read for a screen: decoded no larger than the screen needs, and
// stretched onto each monitor's rectangle with black between them.
#include <gtest/gtest.h>
#include <pixman.h>

#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include "picture/ScreenPictureLoad.h"
#include "platform/ScreenPicture.h"

namespace {

class ScreenPictureTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  // Red and blue above, green and white below.
  QString writeQuarters(const QString& name, QSize size, const char* format) {
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x) picture.setPixel(x, y, quarterColour(x, y, size));
    const QString path = m_dir.filePath(name);
    QImageWriter writer(path, format);
    writer.setQuality(95);
    EXPECT_TRUE(writer.write(picture)) << writer.errorString().toStdString();
    return path;
  }

  static QRgb quarterColour(int x, int y, QSize size) {
    const bool right = x >= size.width() / 2;
    if (y < size.height() / 2) return right ? qRgb(0, 0, 255) : qRgb(255, 0, 0);
    return right ? qRgb(255, 255, 255) : qRgb(0, 255, 0);
  }

  QTemporaryDir m_dir;
};

// A screen-sized target that pixman draws into, read back as a QImage.
class Target {
 public:
  explicit Target(QSize size) : m_image(size, QImage::Format_RGB32) {
    m_image.fill(qRgb(1, 2, 3));
    m_pixman =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, size.width(), size.height(),
                                 reinterpret_cast<uint32_t*>(m_image.bits()), int(m_image.bytesPerLine()));
  }
  ~Target() { pixman_image_unref(m_pixman); }
  pixman_image_t* pixman() const { return m_pixman; }
  QRgb at(int x, int y) const { return m_image.pixel(x, y) | 0xff000000; }

 private:
  QImage m_image;
  pixman_image_t* m_pixman;
};

void expectNear(QRgb actual, QRgb expected) {
  EXPECT_NEAR(qRed(actual), qRed(expected), 10);
  EXPECT_NEAR(qGreen(actual), qGreen(expected), 10);
  EXPECT_NEAR(qBlue(actual), qBlue(expected), 10);
}

}  // namespace

TEST_F(ScreenPictureTest, AJpegIsDecodedAtTheSmallestScaleThatCoversTheLargestMonitor) {
  const QString path = writeQuarters(QStringLiteral("photo.JPG"), QSize(4000, 3000), "jpeg");
  QString why;
  // An eighth would be 500 x 375, too small for 640 x 400; a quarter covers it.
  const auto forScreen = loadScreenPicture(path, QSize(640, 400), why);
  ASSERT_TRUE(forScreen) << why.toStdString();
  EXPECT_EQ(forScreen->size(), QSize(1000, 750));
  // A monitor larger than the photo gets the photo whole.
  const auto whole = loadScreenPicture(path, QSize(5000, 3000), why);
  ASSERT_TRUE(whole) << why.toStdString();
  EXPECT_EQ(whole->size(), QSize(4000, 3000));
}

TEST_F(ScreenPictureTest, EachAreaGetsTheWholePictureAndTheRestIsBlack) {
  for (const char* format : {"bmp", "png", "jpeg"}) {
    SCOPED_TRACE(format);
    const QString path = writeQuarters(QStringLiteral("quarters.") + format, QSize(80, 50), format);
    QString why;
    const auto picture = loadScreenPicture(path, QSize(320, 200), why);
    ASSERT_TRUE(picture) << why.toStdString();
    Target screen(QSize(480, 200));
    // The second monitor is smaller and leaves the corner below it uncovered.
    ASSERT_TRUE(stretchOnto(*picture, screen.pixman(), {QRect(0, 0, 320, 200), QRect(320, 0, 160, 100)}));
    for (const QRect& monitor : {QRect(0, 0, 320, 200), QRect(320, 0, 160, 100)}) {
      for (int quarter = 0; quarter < 4; ++quarter) {
        const int x = monitor.x() + monitor.width() * (1 + 2 * (quarter % 2)) / 4;
        const int y = monitor.y() + monitor.height() * (1 + 2 * (quarter / 2)) / 4;
        expectNear(screen.at(x, y), quarterColour(quarter % 2, quarter / 2, QSize(2, 2)));
      }
      // The edges are the picture's own, not mixed with what lies beyond.
      expectNear(screen.at(monitor.left(), monitor.top()), qRgb(255, 0, 0));
      expectNear(screen.at(monitor.right(), monitor.bottom()), qRgb(255, 255, 255));
    }
    EXPECT_EQ(screen.at(400, 150), qRgb(0, 0, 0));
    EXPECT_EQ(screen.at(479, 100), qRgb(0, 0, 0));
  }
}

TEST_F(ScreenPictureTest, FilesThatAreNoPictureAreRefusedWithTheirName) {
  const QString text = m_dir.filePath(QStringLiteral("notes.bmp"));
  QFile file(text);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("BM this is not a bitmap at all");
  file.close();
  QString why;
  EXPECT_FALSE(loadScreenPicture(text, QSize(320, 200), why));
  EXPECT_TRUE(why.contains(QStringLiteral("notes.bmp"))) << why.toStdString();
  EXPECT_FALSE(loadScreenPicture(m_dir.filePath(QStringLiteral("missing.jpg")), QSize(320, 200), why));
  EXPECT_TRUE(why.contains(QStringLiteral("missing.jpg"))) << why.toStdString();
}

TEST_F(ScreenPictureTest, BitmapsAreDrawnFromTheFileAsTheirRowsLie) {
  const QString path = writeQuarters(QStringLiteral("rows.bmp"), QSize(80, 50), "bmp");
  QString why;
  const auto picture = loadScreenPicture(path, QSize(320, 200), why);
  ASSERT_TRUE(picture) << why.toStdString();
  // The file's first row is the picture's last: green on the left.
  EXPECT_EQ(picture->rows, RowOrder::BottomUp);
  EXPECT_TRUE(isScreenPixelFormat(picture->pixels.format()));
  expectNear(picture->pixels.pixel(0, 0) | 0xff000000, qRgb(0, 255, 0));
  Target screen(QSize(160, 100));
  ASSERT_TRUE(stretchOnto(*picture, screen.pixman(), {QRect(0, 0, 160, 100)}));
  expectNear(screen.at(10, 10), qRgb(255, 0, 0));
  expectNear(screen.at(10, 90), qRgb(0, 255, 0));
}

TEST_F(ScreenPictureTest, PixelsPixmanCannotReadLeaveTheScreenAlone) {
  QImage palette(8, 8, QImage::Format_Indexed8);
  palette.fill(0);
  Target screen(QSize(16, 16));
  EXPECT_FALSE(
      stretchOnto(ScreenPicture{palette, RowOrder::TopDown}, screen.pixman(), {QRect(0, 0, 16, 16)}));
  EXPECT_FALSE(
      stretchOnto(ScreenPicture{QImage(), RowOrder::TopDown}, screen.pixman(), {QRect(0, 0, 16, 16)}));
  EXPECT_EQ(screen.at(5, 5), qRgb(1, 2, 3));
}

// --- band by band

namespace {

// Noise that every misplaced row or sample shows in.
QImage noise(QSize size) {
  QImage picture(size, QImage::Format_RGB32);
  quint32 seed = 12345;
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x) {
      seed = seed * 1664525 + 1013904223;
      picture.setPixel(x, y, qRgb(int(seed >> 24), int(seed >> 16) & 0xff, (x * 7 + y * 3) & 0xff));
    }
  return picture;
}

// The picture stretched onto an area of `areaSize`, drawn in bands of
// `bandRows` rows the way the root window draws it.
QImage stretchedInBands(ScreenPictureRows& rows, QSize areaSize, int bandRows, QString& why) {
  QImage area(areaSize, QImage::Format_RGB32);
  for (int top = 0; top < areaSize.height(); top += bandRows) {
    const int count = std::min(bandRows, areaSize.height() - top);
    pixman_image_t* band =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, areaSize.width(), count,
                                 reinterpret_cast<uint32_t*>(area.scanLine(top)), int(area.bytesPerLine()));
    const bool drawn = drawStretchedBand(rows, areaSize, top, band, why);
    pixman_image_unref(band);
    if (!drawn) return {};
  }
  return area;
}

QImage stretchedWhole(const ScreenPicture& picture, QSize areaSize) {
  Target whole(areaSize);
  EXPECT_TRUE(stretchOnto(picture, whole.pixman(), {QRect(QPoint(0, 0), areaSize)}));
  QImage area(areaSize, QImage::Format_RGB32);
  for (int y = 0; y < areaSize.height(); ++y)
    for (int x = 0; x < areaSize.width(); ++x) area.setPixel(x, y, whole.at(x, y));
  return area;
}

}  // namespace

// Bands sample exactly where a whole stretch does, whether the rows come
// from a JPEG decoded a band at a time or from a picture in memory, smaller
// or larger than the area, in any band height.
TEST_F(ScreenPictureTest, BandsDrawTheSamePixelsAsAWholeStretch) {
  const QString jpeg = m_dir.filePath(QStringLiteral("noise.jpg"));
  const QString bitmap = m_dir.filePath(QStringLiteral("noise.bmp"));
  ASSERT_TRUE(noise(QSize(161, 121)).save(jpeg, "JPEG", 90));
  ASSERT_TRUE(noise(QSize(161, 121)).save(bitmap, "BMP"));
  for (const QString& path : {jpeg, bitmap}) {
    for (const QSize area : {QSize(97, 61), QSize(250, 170), QSize(161, 300)}) {
      for (const int bandRows : {1, 7, 64, 1000}) {
        SCOPED_TRACE(qPrintable(QStringLiteral("%1 onto %2x%3 in bands of %4")
                                    .arg(path.section(u'/', -1))
                                    .arg(area.width())
                                    .arg(area.height())
                                    .arg(bandRows)));
        QString why;
        const auto whole = loadScreenPicture(path, area, why);
        const auto rows = openScreenPicture(path, area, why);
        ASSERT_TRUE(whole && rows) << why.toStdString();
        EXPECT_EQ(stretchedInBands(*rows, area, bandRows, why), stretchedWhole(*whole, area))
            << why.toStdString();
      }
    }
  }
}

TEST_F(ScreenPictureTest, AJpegCutShortFailsInTheBandThatReachesTheCut) {
  const QString path = m_dir.filePath(QStringLiteral("cut.jpg"));
  ASSERT_TRUE(noise(QSize(400, 300)).save(path, "JPEG", 90));
  QFile file(path);
  ASSERT_TRUE(file.resize(file.size() / 2));
  QString why;
  const auto rows = openScreenPicture(path, QSize(400, 300), why);
  ASSERT_TRUE(rows) << "the header is whole: " << why.toStdString();
  EXPECT_TRUE(stretchedInBands(*rows, QSize(400, 300), 32, why).isNull());
  EXPECT_FALSE(why.isEmpty());
  // Rows above those already dropped are never handed out again.
  const auto again = openScreenPicture(path, QSize(400, 300), why);
  int top = 0;
  ASSERT_TRUE(again->rows(10, 20, top, why));
  EXPECT_EQ(top, 10);
  EXPECT_FALSE(again->rows(5, 20, top, why));
}

// The window on a screen scaled to 200 % (the test runs with
// QT_SCALE_FACTOR=2): every skin bitmap has its twice-as-large twin, the
// controls draw that twin pixel for pixel instead of blowing up the small
// one, the layout keeps its logical size, and the thumbnails are decoded for
// the slots' device pixels.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "app/Main.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"

namespace {
QImage bitmap(const QString& name) {
  return QImage(QStringLiteral(":/skin/%1.png").arg(name))
      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The share of pixels that differ by more than a rounding step.
double differingShare(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 1;
  qint64 differing = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      const int step =
          qMax(qMax(qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q))), qAbs(qBlue(p) - qBlue(q)));
      differing += step > 2 ? 1 : 0;
    }
  }
  return double(differing) / (qint64(a.width()) * a.height());
}

// What a control shows, in device pixels, on an opaque ground.
QImage shown(QWidget* control) {
  return control->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

class HighDensityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(qApp->devicePixelRatio(), 2.0) << "run with QT_SCALE_FACTOR=2";
    folder.copyEnglishLanguage();
    const QString base = QStringLiteral("wallpaper/normal/local/1/");
    folder.writePicture(base + "s_a.jpg", QSize(145, 110), Qt::blue);
    folder.writePicture(base + "l_a.jpg", QSize(1450, 1100), Qt::red);
    window = makeMainWindow(folder);
    window->show();
  }

  ProgramFolder folder;
  std::unique_ptr<TfrmMain> window;
};
}  // namespace

TEST_F(HighDensityTest, EverySkinBitmapHasATwinOfTwiceItsSize) {
  const QStringList names = QDir(QStringLiteral(":/skin")).entryList({QStringLiteral("*.png")});
  ASSERT_FALSE(names.isEmpty());
  int singles = 0;
  for (const QString& file : names) {
    if (file.endsWith(QLatin1String("@2x.png"))) continue;
    ++singles;
    const QString name = file.chopped(4);
    const QImage single = bitmap(name);
    const QImage twin = bitmap(name + "@2x");
    EXPECT_EQ(twin.size(), single.size() * 2) << qPrintable(name);
  }
  EXPECT_EQ(names.size(), 2 * singles);
}

TEST_F(HighDensityTest, ControlsDrawTheSharpBitmapAndKeepTheirLogicalLayout) {
  EXPECT_EQ(window->size(), QSize(799, 599));
  EXPECT_EQ(window->devicePixelRatioF(), 2.0);

  const QImage background = shown(ui(window).imgMain);
  ASSERT_EQ(background.size(), QSize(1598, 1198));
  const QImage sharp = bitmap("main_bg@2x");
  const QImage blownUp =
      bitmap("main_bg").scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  EXPECT_LT(differingShare(background, sharp), 0.001);
  EXPECT_GT(differingShare(blownUp, sharp), 0.01);  // so the check above can tell them apart

  // A picture button on its ground: the window's background under it.
  const QImage button = window->grab(ui(window).btnClose->geometry())
                            .toImage()
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  ASSERT_EQ(button.size(), QSize(48, 48));
  QImage expected = background.copy(QRect(ui(window).btnClose->pos() * 2, QSize(48, 48)));
  {
    QPainter painter(&expected);
    painter.drawImage(0, 0, bitmap("btn_close_normal@2x"));
  }
  EXPECT_LT(differingShare(button, expected), 0.01);
}

TEST_F(HighDensityTest, ThumbnailsAreDecodedForTheSlotsDevicePixels) {
  const QImage thumbnail = window->browse().state().pictures[0];
  EXPECT_EQ(thumbnail.size(), QSize(290, 220));
  // The stored thumbnail is too small for that; the large picture is at hand.
  const QRgb centre = thumbnail.pixel(145, 110);
  EXPECT_GT(qRed(centre), 200);
  EXPECT_LT(qBlue(centre), 80);
}

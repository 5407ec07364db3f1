// One page of six thumbnails on a screen of one and of two device pixels a
// pixel: the thumbnails are stored at the slot's logical size, so on the
// dense screen each slot decodes its large picture (1920 x 1200, DCT-scaled)
// instead. Prints the median time from a page turn to the page shown.
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/Median.h"
#include "library/BrowseController.h"
#include "support/ProgramFolder.h"

namespace {
constexpr int kPictures = 120;  // twenty pages

QByteArray jpeg(QSize size) {
  QImage picture(size, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.setPixel(x, y, qRgb(x & 255, (y * 2) & 255, (x * y) & 255));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "JPG", 85);
  return bytes;
}

void fillCategory(const ProgramFolder& folder) {
  const QByteArray thumbnail = jpeg(QSize(145, 110));
  const QByteArray large = jpeg(QSize(1920, 1200));
  for (int i = 0; i < kPictures; ++i) {
    const QString tail = QString("pic%1.jpg").arg(i, 3, 10, QChar('0'));
    folder.writeFile("wallpaper/normal/local/1/s_" + tail, thumbnail);
    folder.writeFile("wallpaper/normal/local/1/l_" + tail, large);
  }
}

double medianPageTurn(const ProgramFolder& folder, qreal devicePixelRatio) {
  LanguageTexts texts;
  BrowseController controller(texts, folder.path(), {});
  controller.setDevicePixelRatio(devicePixelRatio);
  const auto settle = [&] { return waitUntil([&] { return !controller.loading(); }); };
  controller.openLocalCategory(1);
  settle();
  std::vector<double> turns;
  for (int page = 2; page <= 20; ++page) {
    QElapsedTimer timer;
    timer.start();
    controller.turnToPage(page);
    settle();
    turns.push_back(timer.nsecsElapsed() / 1e6);
  }
  return median(turns);
}
}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ProgramFolder folder;
  fillCategory(folder);
  const double single = medianPageTurn(folder, 1);
  const double dense = medianPageTurn(folder, 2);
  std::printf(
      "page turn, six slots (medians of 19): %.1f ms at 1 device pixel a pixel (145x110 thumbnails), "
      "%.1f ms at 2 (290x220 from 1920x1200 large pictures)\n",
      single, dense);
  return 0;
}

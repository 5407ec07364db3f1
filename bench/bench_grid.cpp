// A local category of 10,000 thumbnail pairs: the time from a category click
// to the first page fully shown, and of one page turn (six thumbnails).
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/Main.h"
#include "bench/Median.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"

namespace {
constexpr int kPictures = 10000;

void fillCategory(const ProgramFolder& folder) {
  QImage thumbnail(145, 110, QImage::Format_RGB32);
  for (int y = 0; y < thumbnail.height(); ++y)
    for (int x = 0; x < thumbnail.width(); ++x) thumbnail.setPixel(x, y, qRgb(x, y * 2, (x * y) & 255));
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    thumbnail.save(&buffer, "JPG", 85);
  }
  for (int i = 0; i < kPictures; ++i) {
    const QString tail = QString("pic%1.jpg").arg(i, 5, 10, QChar('0'));
    folder.writeFile("wallpaper/normal/local/1/s_" + tail, bytes);
    folder.writeFile("wallpaper/normal/local/1/l_" + tail, "large");
  }
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ProgramFolder folder;
  fillCategory(folder);
  auto window = makeMainWindow(folder);

  std::vector<double> coldClicks, clicks, turns;
  for (int round = 0; round < 15; ++round) {
    // A folder whose entries changed is listed afresh. A listing taken in
    // the same few milliseconds as a change is not kept (platform/FolderStamp.h);
    // a click comes later than that.
    window->lblL1Click(ui(window).lblL[1]);  // an empty category, so category 1 is not current
    waitForPage(*window);
    folder.writeFile("wallpaper/normal/local/1/touch.txt", "x");
    QFile::remove(folder.file("wallpaper/normal/local/1/touch.txt"));
    QThread::msleep(100);
    QElapsedTimer timer;
    timer.start();
    window->lblL1Click(ui(window).lblL[0]);
    waitForPage(*window);
    coldClicks.push_back(timer.nsecsElapsed() / 1e6);
    window->lblL1Click(ui(window).lblL[1]);
    waitForPage(*window);
    timer.restart();
    window->lblL1Click(ui(window).lblL[0]);
    waitForPage(*window);
    clicks.push_back(timer.nsecsElapsed() / 1e6);
    timer.restart();
    window->lblWPage1Click(2 + round % 19);
    waitForPage(*window);
    turns.push_back(timer.nsecsElapsed() / 1e6);
  }
  std::printf(
      "local category of %d pictures (medians of %zu): click to first page %.1f ms with the folder read "
      "afresh, %.1f ms when unchanged since it was last listed; page turn %.1f ms\n",
      kPictures, clicks.size(), median(coldClicks), median(clicks), median(turns));
  return 0;
}

// The Downloaded view's page of six 3840x2160 JPEG pictures, and a network
// page whose six thumbnails are all missing, fetched from a local server.
#include <QApplication>
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/Main.h"
#include "bench/Median.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"
#include "support/TestHttpServer.h"

namespace {
QByteArray jpeg(QSize size, int seed) {
  QImage picture(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < size.width(); ++x) line[x] = qRgb((x + seed) & 255, (y * 3) & 255, (x ^ y) & 255);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "JPG", 85);
  return bytes;
}

double downloadedPage(const ProgramFolder& folder, TfrmMain& window) {
  for (int i = 0; i < 6; ++i)
    folder.writeFile(QString("wallpaper/normal/network/1/l_big%1.jpg").arg(i), jpeg(QSize(3840, 2160), i));
  std::vector<double> times;
  for (int round = 0; round < 7; ++round) {
    window.lblL1Click(ui(window).lblL[0]);
    waitForPage(window);
    QElapsedTimer timer;
    timer.start();
    window.lblN6Click();
    waitForPage(window);
    times.push_back(timer.nsecsElapsed() / 1e6);
  }
  return median(times);
}

double missingThumbnailsPage(const ProgramFolder& folder, TfrmMain& window, TestHttpServer& server) {
  QByteArray ini = "[checkupdate]\r\ndate=" + QDate::currentDate().toString("MM-dd-yyyy").toLatin1() +
                   "\r\n[wallpaper-normal]\r\n";
  for (int i = 1; i <= 6; ++i) {
    const QString path = QString("/pics/2/s_%1.jpg").arg(i);
    server.serve(path, jpeg(QSize(145, 110), i));
    ini += QByteArray::number(i) + "=http://pics.test" + path.toUtf8() + "\r\n";
  }
  folder.writeFile("setting.ini", ini);
  std::vector<double> times;
  for (int round = 0; round < 7; ++round) {
    QDir(folder.file("wallpaper/normal/network/2")).removeRecursively();
    window.lblL1Click(ui(window).lblL[0]);
    waitForPage(window);
    QElapsedTimer timer;
    timer.start();
    window.lblN1Click(ui(window).lblN[1]);
    waitForPage(window);
    times.push_back(timer.nsecsElapsed() / 1e6);
  }
  return median(times);
}
}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ProgramFolder folder;
  TestHttpServer server;
  server.mapHost("pics.test");
  auto window = makeMainWindowWith(contextWithEndpoints(folder, server.endpoints()));
  std::printf("Downloaded view, page of six 3840x2160 JPEG pictures: %.1f ms (median of 7)\n",
              downloadedPage(folder, *window));
  std::printf(
      "network page, six missing thumbnails fetched from a local server and shown: %.1f ms (median of 7)\n",
      missingThumbnailsPage(folder, *window, server));
  return 0;
}

// How long the bare-X11 backend takes to put a picture on the root window:
// decoding, stretching to the screen, converting to the screen's pixels and
// sending them to the server. It runs while the main window is hidden, so it
// should stay well under the second the window waits anyway.
//   bench_wallpaper [RUNS]
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "picture/ScreenPictureLoad.h"
#include "platform/WallpaperSetter.h"

namespace {

// A virtual X server of the given size; empty display when it did not start.
class Server {
 public:
  explicit Server(const QString& size) {
    m_process.start(
        QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
         size, QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    while (m_process.waitForReadyRead(10000) && !m_process.canReadLine()) {
    }
    const QByteArray number = m_process.readLine().trimmed();
    if (!number.isEmpty()) display = ":" + number;
  }
  ~Server() {
    m_process.terminate();
    m_process.waitForFinished(5000);
  }
  QByteArray display;

 private:
  QProcess m_process;
};

QString writePicture(const QTemporaryDir& dir) {
  QImage picture(1600, 1200, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x % 256, y % 256, (x ^ y) % 256));
  const QString path = dir.filePath(QStringLiteral("picture.jpg"));
  picture.save(path, "JPG", 90);
  return path;
}

void measure(const QString& screenSize, const QString& picture, int runs) {
  Server server(screenSize + QStringLiteral("x24"));
  if (server.display.isEmpty()) {
    std::printf("%-10s Xvfb did not start\n", qPrintable(screenSize));
    return;
  }
  qputenv("DISPLAY", server.display);
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    QElapsedTimer timer;
    timer.start();
    const SetResult result = makeX11RootSetter(openScreenPicture)->setWallpaper(picture);
    times.push_back(timer.nsecsElapsed() / 1e6);
    if (result.status != SetStatus::Applied) {
      std::printf("%-10s failed: %s\n", qPrintable(screenSize), qPrintable(result.detail));
      return;
    }
  }
  std::sort(times.begin(), times.end());
  std::printf("%-10s picture 1600x1200 JPEG  median %7.1f ms  best %7.1f ms  worst %7.1f ms  (%d runs)\n",
              qPrintable(screenSize), times[times.size() / 2], times.front(), times.back(), runs);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  QTemporaryDir dir;
  const QString picture = writePicture(dir);
  for (const char* size : {"1024x768", "1920x1080", "3840x2160"})
    measure(QString::fromLatin1(size), picture, runs);
  return 0;
}

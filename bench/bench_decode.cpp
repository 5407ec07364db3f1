// Thumbnail decoding for one grid page: six thumbnails from 1600x1200 JPEGs
// (a page turn, target < 25 ms) and six 3840x2160 JPEGs scaled into the
// thumbnail boxes (a Downloaded page, target < 150 ms).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "library/ImageDecode.h"

namespace {

constexpr int kRuns = 15;
constexpr int kPage = 6;

// Photograph-like content: broad gradients with fine grain, which costs the
// entropy decoder about what a real picture does.
QImage PhotoLike(QSize size, int seed) {
  QImage image(size, QImage::Format_RGB32);
  QRandomGenerator random(seed);
  for (int y = 0; y < size.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < size.width(); ++x) {
      const int grain = int(random.bounded(24)) - 12;
      const int r = int(128 + 100 * std::sin((x + seed * 50) / 170.0)) + grain;
      const int g = int(128 + 100 * std::sin(y / 130.0 + seed)) + grain;
      const int b = int(128 + 90 * std::cos((x + y) / 250.0)) + grain;
      row[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
    }
  }
  return image;
}

QStringList WritePictures(const QString& folder, const char* prefix, QSize size) {
  QStringList files;
  for (int i = 0; i < kPage; ++i) {
    const QString file = QString("%1/%2%3.jpg").arg(folder, prefix).arg(i);
    QImageWriter writer(file, "jpeg");
    writer.setQuality(90);
    if (!writer.write(PhotoLike(size, i))) std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    files << file;
  }
  return files;
}

void ReportPage(const char* what, const QStringList& files, QSize box, double targetMs) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files) {
      QString error;
      if (LoadPictureForBox(file, box, &error).isNull()) std::fprintf(stderr, "%s\n", qPrintable(error));
    }
    times.push_back(timer.nsecsElapsed() / 1e6);
  }
  std::sort(times.begin(), times.end());
  const double median = times[times.size() / 2];
  std::printf("%-58s median %7.2f ms  min %7.2f ms  target < %.0f ms  %s\n", what, median, times.front(),
              targetMs, median < targetMs ? "ok" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const QStringList thumbnails = WritePictures(dir.path(), "s_", QSize(1600, 1200));
  const QStringList large = WritePictures(dir.path(), "l_", QSize(3840, 2160));
  std::printf("1600x1200 file: %lld bytes, 3840x2160 file: %lld bytes\n",
              static_cast<long long>(QFileInfo(thumbnails.first()).size()),
              static_cast<long long>(QFileInfo(large.first()).size()));

  ReportPage("page of six 1600x1200 into 145x110 (normal)", thumbnails, QSize(145, 110), 25);
  ReportPage("page of six 1600x1200 into 160x100 (widescreen)", thumbnails, QSize(160, 100), 25);
  ReportPage("Downloaded page: six 3840x2160 into 145x110", large, QSize(145, 110), 150);
  ReportPage("Downloaded page: six 3840x2160 into 160x100", large, QSize(160, 100), 150);

  std::vector<double> full;
  for (int run = 0; run < 5; ++run) {
    QElapsedTimer timer;
    timer.start();
    LoadPicture(large.first());
    full.push_back(timer.nsecsElapsed() / 1e6);
  }
  std::sort(full.begin(), full.end());
  std::printf("%-58s median %7.2f ms  (no target)\n", "full-size decode of one 3840x2160",
              full[full.size() / 2]);
  return 0;
}

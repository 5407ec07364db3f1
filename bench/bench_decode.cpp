// Thumbnail decoding for one grid page: six thumbnails from 1600x1200 JPEGs
// (a page turn, target < 25 ms; the store's own "s_" files are 145x110, also
// measured) and six 3840x2160 JPEGs scaled into the thumbnail boxes (a
// Downloaded page, target < 150 ms).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "bench/Median.h"
#include "picture/ImageDecode.h"

namespace {

// The machine is shared, so wall time swings with other work; the process's
// CPU time shows what the work itself costs.
double cpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

constexpr int kRuns = 15;
constexpr int kPage = 6;

// Photograph-like content: broad gradients with fine grain, which costs the
// entropy decoder about what a real picture does.
QImage photoLike(QSize size, int seed) {
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

QStringList writePictures(const QString& folder, const char* prefix, QSize size) {
  QStringList files;
  for (int i = 0; i < kPage; ++i) {
    const QString file = QString("%1/%2%3.jpg").arg(folder, prefix).arg(i);
    QImageWriter writer(file, "jpeg");
    writer.setQuality(90);
    if (!writer.write(photoLike(size, i))) std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    files << file;
  }
  return files;
}

enum class Decoding { OneByOne, AllAtOnce };

void decodePage(const QStringList& files, QSize box, Decoding decoding) {
  if (decoding == Decoding::AllAtOnce) {
    QStringList errors;
    for (const QImage& picture : loadPicturesForBox(files, box, &errors))
      if (picture.isNull()) std::fprintf(stderr, "%s\n", qPrintable(errors.join(' ')));
    return;
  }
  for (const QString& file : files) {
    QString error;
    if (loadPictureForBox(file, box, &error).isNull()) std::fprintf(stderr, "%s\n", qPrintable(error));
  }
}

void reportPage(const char* what, const QStringList& files, QSize box, Decoding decoding, double targetMs) {
  std::vector<double> wall;
  std::vector<double> cpu;
  for (int run = 0; run < kRuns; ++run) {
    QElapsedTimer timer;
    const double cpuStart = cpuMs();
    timer.start();
    decodePage(files, box, decoding);
    wall.push_back(timer.nsecsElapsed() / 1e6);
    cpu.push_back(cpuMs() - cpuStart);
  }
  std::printf("%-56s wall median %7.2f min %7.2f | cpu median %7.2f min %7.2f | target < %.0f ms\n", what,
              median(wall), *std::min_element(wall.begin(), wall.end()), median(cpu),
              *std::min_element(cpu.begin(), cpu.end()), targetMs);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const QStringList thumbnails = writePictures(dir.path(), "s_", QSize(1600, 1200));
  const QStringList large = writePictures(dir.path(), "l_", QSize(3840, 2160));
  const QStringList stored = writePictures(dir.path(), "t_", QSize(145, 110));
  std::printf("1600x1200 file: %lld bytes, 3840x2160 file: %lld bytes\n",
              static_cast<long long>(QFileInfo(thumbnails.first()).size()),
              static_cast<long long>(QFileInfo(large.first()).size()));

  reportPage("six 145x110 thumbnails (the store's own size)", stored, QSize(145, 110), Decoding::OneByOne,
             25);
  reportPage("six 1600x1200 into 145x110, one by one", thumbnails, QSize(145, 110), Decoding::OneByOne, 25);
  reportPage("six 1600x1200 into 145x110, all at once", thumbnails, QSize(145, 110), Decoding::AllAtOnce, 25);
  reportPage("six 1600x1200 into 160x100, one by one", thumbnails, QSize(160, 100), Decoding::OneByOne, 25);
  reportPage("Downloaded: six 3840x2160 into 145x110, one by one", large, QSize(145, 110), Decoding::OneByOne,
             150);
  reportPage("Downloaded: six 3840x2160 into 145x110, all at once", large, QSize(145, 110),
             Decoding::AllAtOnce, 150);
  reportPage("Downloaded: six 3840x2160 into 160x100, one by one", large, QSize(160, 100), Decoding::OneByOne,
             150);

  std::vector<double> full;
  for (int run = 0; run < 5; ++run) {
    const double cpuStart = cpuMs();
    loadPicture(large.first());
    full.push_back(cpuMs() - cpuStart);
  }
  std::printf("%-56s cpu median %7.2f ms (no target)\n", "full-size decode of one 3840x2160", median(full));
  return 0;
}

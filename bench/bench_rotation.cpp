// Rotation list timings: a rebuild over a shape folder of 10,000 pictures in
// nested folders (target < 200 ms), and a start-up load of a 10,000-line
// "list.dat" with its existence checks and write-back (target < 100 ms).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "library/RotationRules.h"

namespace {

// The machine is shared, so wall time swings with other work; the process's
// CPU time shows what the work itself costs.
double cpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

constexpr int kRuns = 15;

void touch(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
}

// A store as users fill it: both sides, five categories each, every category
// with 20 subfolders of 50 picture pairs ("s_" thumbnails beside "l_" pictures).
void fillShapeFolder(const QString& shape) {
  int made = 0;
  for (const char* side : {"local", "network"}) {
    for (int category = 1; category <= 5; ++category) {
      for (int sub = 0; sub < 20; ++sub) {
        const QString folder = QString("%1%2/%3/Album %4/").arg(shape, side).arg(category).arg(sub);
        QDir().mkpath(folder);
        for (int i = 0; i < 50; ++i, ++made) {
          touch(folder + QString("l_Picture%1.jpg").arg(made));
          touch(folder + QString("s_Picture%1.jpg").arg(made));
        }
      }
    }
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void report(const char* what, const std::function<void()>& run, double targetMs) {
  std::vector<double> wall;
  std::vector<double> cpu;
  for (int i = 0; i < kRuns; ++i) {
    QElapsedTimer timer;
    const double cpuStart = cpuMs();
    timer.start();
    run();
    wall.push_back(timer.nsecsElapsed() / 1e6);
    cpu.push_back(cpuMs() - cpuStart);
  }
  const double cpuMedian = median(cpu);
  std::printf("%-50s wall median %7.2f ms min %7.2f ms | cpu median %7.2f ms | target < %.0f ms %s\n", what,
              median(wall), *std::min_element(wall.begin(), wall.end()), cpuMedian, targetMs,
              cpuMedian < targetMs ? "ok" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const QString shape = dir.path() + "/wallpaper/normal/";
  fillShapeFolder(shape);
  const QString listFile = dir.path() + "/list.dat";

  QStringList scanned;
  report(
      "rebuild: scan 10,000 pictures + write list.dat",
      [&] {
        scanned.clear();
        CollectLargePictures(shape, scanned);
        writeRotationFile(listFile, scanned);
      },
      200);
  std::printf("  (%lld pictures found)\n", static_cast<long long>(scanned.size()));

  report(
      "start-up load: read, check, write 10,000 lines",
      [&] {
        QStringList rows = readRotationFile(listFile).value_or(QStringList());
        int current = 5000;
        dropMissingEntries(rows, current);
        writeRotationFile(listFile, rows);
      },
      100);
  QStringList rows = readRotationFile(listFile).value_or(QStringList());
  report(
      "  of which: read and parse", [&] { rows = readRotationFile(listFile).value_or(QStringList()); }, 100);
  report(
      "  of which: existence checks",
      [&] {
        QStringList checked = rows;
        int current = 5000;
        dropMissingEntries(checked, current);
      },
      100);
  report(
      "  of which: write", [&] { writeRotationFile(listFile, rows); }, 100);
  return 0;
}

// INI speed: the network view reads up to 1000 catalogue keys one at a time,
// each read going to the file afresh; the catalogue refresh deletes and
// rewrites 2000 keys. Target: 1000 reads in under 30 ms, with no stale read.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/IniFile.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kKeys = 1000;
constexpr double kReadTargetMs = 30.0;
const char* const kSections[] = {"wallpaper-normal", "wallpaper-widescreen"};

QString address(const char* section, int key) {
  return QStringLiteral("http://wallpaper.nimbra.example/wallpaper/%1/%2/s_%3_%4.jpg")
      .arg(QString::fromLatin1(section).mid(10))
      .arg(1 + key % 5)
      .arg(20080000 + key)
      .arg(key * 7919 % 100000, 5, 10, QLatin1Char('0'));
}

QByteArray settingFile() {
  QByteArray text = "[checkupdate]\r\ndate=03-18-2008\r\nindexver=12\r\n";
  for (const char* section : kSections) {
    text += "[" + QByteArray(section) + "]\r\n";
    for (int key = 1; key <= kKeys; ++key)
      text += QByteArray::number(key) + "=" + address(section, key).toLatin1() + "\r\n";
  }
  return text;
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

double milliseconds(Clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

double threadCpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Best and median wall-clock time of several runs of an action, and the
// median processor time: the machine may be shared, and the processor time
// shows what the code itself costs.
struct Timing {
  double best;
  double median;
  double cpuMedian;
};

Timing measure(int runs, const std::function<void()>& action) {
  std::vector<double> times;
  std::vector<double> cpuTimes;
  for (int run = 0; run < runs; ++run) {
    const double cpuStart = threadCpuMilliseconds();
    const auto start = Clock::now();
    action();
    times.push_back(milliseconds(Clock::now() - start));
    cpuTimes.push_back(threadCpuMilliseconds() - cpuStart);
  }
  std::sort(times.begin(), times.end());
  std::sort(cpuTimes.begin(), cpuTimes.end());
  return {times.front(), times[times.size() / 2], cpuTimes[cpuTimes.size() / 2]};
}

// Reads keys 1..1000 of a section as the network view does; counts the
// values that are not the expected address.
int readCatalogue(const IniFile& ini, const char* section, const QStringList& keys,
                  const QStringList& expected) {
  const QString sectionName = QString::fromLatin1(section);
  int wrong = 0;
  for (int k = 0; k < kKeys; ++k)
    if (ini.ReadIniText(sectionName, keys[k], QString()) != expected[k]) ++wrong;
  return wrong;
}

// A write by another process between two reads must be seen by the second:
// once through the INI module (a rename), once in place at the same size.
bool noStaleRead(const QString& path) {
  const IniFile ini(path);
  ini.WriteIniText("checkupdate", "date", "01-01-2001");
  if (ini.ReadIniText("checkupdate", "date", QString()) != "01-01-2001") return false;
  const pid_t child = fork();
  if (child == 0) {
    IniFile(path).WriteIniText("checkupdate", "date", "02-02-2002");
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (ini.ReadIniText("checkupdate", "date", QString()) != "02-02-2002") return false;
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite)) return false;
  QByteArray bytes = file.readAll();
  bytes.replace("02-02-2002", "03-03-2003");
  file.seek(0);
  file.write(bytes);
  file.close();
  return ini.ReadIniText("checkupdate", "date", QString()) == "03-03-2003";
}

// The catalogue refresh: delete keys 1..1000 of both sections, then write them again.
template <typename Target>
void rewriteCatalogue(Target& target) {
  for (const char* section : kSections)
    for (int key = 1; key <= kKeys; ++key) target.DeleteIniKey(section, QString::number(key));
  for (const char* section : kSections)
    for (int key = 1; key <= kKeys; ++key)
      target.WriteIniText(section, QString::number(key), address(section, key));
}

}  // namespace

int main() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("setting.ini"));
  const QByteArray original = settingFile();
  writeFile(path, original);
  const IniFile ini(path);
  std::printf("setting.ini: %lld bytes, %d addresses in each of 2 catalogue sections\n",
              static_cast<long long>(original.size()), kKeys);

  QStringList keys;
  QStringList expected[2];
  for (int key = 1; key <= kKeys; ++key) {
    keys << QString::number(key);
    for (int s = 0; s < 2; ++s) expected[s] << address(kSections[s], key);
  }
  int wrong = readCatalogue(ini, kSections[1], keys, expected[1]);  // warm the page cache
  Timing reads[2];
  for (int s = 0; s < 2; ++s)
    reads[s] = measure(7, [&] { wrong += readCatalogue(ini, kSections[s], keys, expected[s]); });
  for (int s = 0; s < 2; ++s)
    std::printf("1000 ReadIniText on [%s]: best %.2f ms, median %.2f ms (processor time %.2f ms)\n",
                kSections[s], reads[s].best, reads[s].median, reads[s].cpuMedian);

  const bool fresh = noStaleRead(path);
  std::printf("stale read check: %s\n", fresh ? "every change seen" : "STALE READ");

  writeFile(path, original);
  const Timing single = measure(1, [&] { rewriteCatalogue(ini); });
  QFile singleFile(path);
  singleFile.open(QIODevice::ReadOnly);
  const QByteArray singleResult = singleFile.readAll();
  std::printf(
      "catalogue rewrite, 2000 DeleteIniKey + 2000 WriteIniText, each an atomic replace: %.1f ms (processor "
      "time %.1f ms)\n",
      single.best, single.cpuMedian);

  writeFile(path, original);
  const Timing batched = measure(1, [&] {
    IniBatch batch(ini);
    rewriteCatalogue(batch);
    batch.commit();
  });
  QFile batchFile(path);
  batchFile.open(QIODevice::ReadOnly);
  const bool same = batchFile.readAll() == singleResult;
  std::printf("the same through one IniBatch and Commit: %.1f ms (%s)\n", batched.best,
              same ? "same bytes" : "DIFFERENT BYTES");

  const double worst = std::max(reads[0].median, reads[1].median);
  const bool met = worst < kReadTargetMs && wrong == 0 && fresh && same;
  std::printf("read target %.0f ms: %s (median of the slower section %.2f ms, %d wrong values)\n",
              kReadTargetMs, met ? "met" : "MISSED", worst, wrong);
  return met ? 0 : 1;
}

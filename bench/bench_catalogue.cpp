// Times a catalogue refresh: 1000 addresses per shape written into a
// "setting.ini" that already holds a full catalogue. Target: under 1 s.
//
//   bench_catalogue [--runs N] [--single-writes]
//
// --single-writes also times the same refresh done one atomic write at a time
// through IniFile, for comparison.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "catalogue/CatalogueCheck.h"
#include "platform/IniFile.h"
#include "platform/TextCodec.h"

namespace {

CatalogueEntries fullCatalogue(const QByteArray& generation) {
  CatalogueEntries entries;
  for (int n = 1; n <= kCatalogueKeyCount; ++n) {
    const QByteArray tail =
        "/" + QByteArray::number(n % 5 + 1) + "/s_" + generation + "_" + QByteArray::number(n) + ".jpg";
    entries.normal.append("http://wallpaper.nimbra.example/pictures/normal" + tail);
    entries.widescreen.append("http://wallpaper.nimbra.example/pictures/widescreen" + tail);
  }
  return entries;
}

void storeOneWriteAtATime(const QString& file, const CatalogueEntries& entries, const QString& version) {
  const IniFile ini(file);
  for (int k = 1; k <= kCatalogueKeyCount; ++k) {
    ini.DeleteIniKey(kNormalSection, QString::number(k));
    ini.DeleteIniKey(kWidescreenSection, QString::number(k));
  }
  for (int k = 0; k < entries.normal.size(); ++k)
    ini.WriteIniText(kNormalSection, QString::number(k + 1), decodeText(entries.normal[k]));
  for (int k = 0; k < entries.widescreen.size(); ++k)
    ini.WriteIniText(kWidescreenSection, QString::number(k + 1), decodeText(entries.widescreen[k]));
  ini.WriteIniText(kCheckSection, QStringLiteral("indexver"), version);
}

// A settings file with the start-up keys and a full catalogue of another
// generation, as a refresh finds it.
QString preparedSettings(const QTemporaryDir& dir) {
  const QString file = dir.filePath(QStringLiteral("setting.ini"));
  QFile::remove(file);
  const IniFile ini(file);
  ini.WriteIniText(kCheckSection, QStringLiteral("date"), QStringLiteral("03-18-2008"));
  storeCatalogue(file, fullCatalogue("old"), QStringLiteral("1"));
  return file;
}

bool verify(const QString& file, const CatalogueEntries& expected) {
  const IniFile ini(file);
  for (int k : {1, 500, 1000}) {
    if (ini.ReadIniText(kNormalSection, QString::number(k), {}).toUtf8() != expected.normal[k - 1])
      return false;
    if (ini.ReadIniText(kWidescreenSection, QString::number(k), {}).toUtf8() != expected.widescreen[k - 1])
      return false;
  }
  return ini.ReadIniText(kCheckSection, QStringLiteral("indexver"), {}) == QLatin1String("2");
}

template <typename Refresh>
void measure(const char* name, int runs, Refresh refresh) {
  QTemporaryDir dir;
  const CatalogueEntries fresh = fullCatalogue("new");
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    const QString file = preparedSettings(dir);
    QElapsedTimer clock;
    clock.start();
    refresh(file, fresh, QStringLiteral("2"));
    times.push_back(clock.nsecsElapsed() / 1e6);
    if (!verify(file, fresh)) {
      std::printf("%s: the refreshed file does not hold the new catalogue\n", name);
      return;
    }
  }
  std::sort(times.begin(), times.end());
  std::printf("%-28s runs %2d  median %8.1f ms  best %8.1f ms  worst %8.1f ms  (file %lld bytes)\n", name,
              runs, times[times.size() / 2], times.front(), times.back(),
              static_cast<long long>(QFile(dir.filePath(QStringLiteral("setting.ini"))).size()));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  const qsizetype runsAt = arguments.indexOf(QStringLiteral("--runs"));
  const int runs = runsAt >= 0 ? std::max(1, arguments.value(runsAt + 1).toInt()) : 10;
  std::printf("catalogue refresh: 1000 addresses per shape over a full catalogue (target < 1000 ms)\n");
  measure("one atomic batch", runs, storeCatalogue);
  if (arguments.contains(QStringLiteral("--single-writes")))
    measure("one atomic write per key", 1, storeOneWriteAtATime);
  return 0;
}

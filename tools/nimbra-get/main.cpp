// nimbra-get: fetches one file with the program's download engine.
//   nimbra-get [--segment-size BYTES] [--quiet] URL FILE
// Exit status 0 when FILE holds the whole file, 1 otherwise; a failed or
// interrupted download leaves no FILE behind. There is no overall time limit:
// a download fails when it stalls (fewer than 1024 bytes in 60 s), and an
// interrupt ends it at once in every phase, the host name's lookup included.
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "download/MultiThreadDown.h"

namespace {

// The split size that aria2c is usually given (-k1M). The program's own
// callers pass their hints (80000 for a picture, 100000 for a thumbnail);
// --segment-size reproduces them.
constexpr int32_t kDefaultSegmentSize = 1024 * 1024;
constexpr int kProgressIntervalMs = 200;

struct GetOptions {
  int32_t SegmentSize = kDefaultSegmentSize;
  bool Quiet = false;
  QString Url;
  QString File;
};

// The running download's Cancel flag, for the interrupt handler.
std::atomic<int32_t>* InterruptTarget = nullptr;

void cancelOnInterrupt(int) {
  if (InterruptTarget != nullptr) InterruptTarget->store(1);
}

void printUsage() {
  std::fputs(
      "usage: nimbra-get [--segment-size BYTES] [--quiet] URL FILE\n"
      "  Fetches the http:// or https:// URL (port 80 or 443 unless it names one) into\n"
      "  FILE in up to 20 parallel ranges of about BYTES each (default 1048576), or in\n"
      "  one piece from a server that cannot serve ranges. Certificates are checked\n"
      "  against the system's (or SSL_CERT_FILE's) authorities. A download that\n"
      "  receives fewer than 1024 bytes in 60 s fails. Exit status 0 on success,\n"
      "  1 on failure.\n",
      stderr);
}

std::optional<int32_t> positiveInt32(const QString& text) {
  bool ok = false;
  const qlonglong value = text.toLongLong(&ok);
  if (!ok || value < 1 || value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<GetOptions> parseArguments(const QStringList& arguments) {
  GetOptions options;
  QStringList positional;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--quiet")) {
      options.Quiet = true;
    } else if (argument == QLatin1String("--segment-size") && i + 1 < arguments.size()) {
      const auto size = positiveInt32(arguments[++i]);
      if (!size) return std::nullopt;
      options.SegmentSize = *size;
    } else if (argument.startsWith(QLatin1String("--"))) {
      return std::nullopt;
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() != 2) return std::nullopt;
  options.Url = positional[0];
  options.File = positional[1];
  return options;
}

void printProgress(const DownloadVars& vars) {
  const int64_t total = vars.TotalSize.load();
  const int64_t received = vars.Received.load();
  if (total > 0)
    std::fprintf(stderr, "\r%lld of %lld bytes (%lld%%)", static_cast<long long>(received),
                 static_cast<long long>(total), static_cast<long long>(received * 100 / total));
  else
    std::fprintf(stderr, "\r%lld bytes", static_cast<long long>(received));
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const std::optional<GetOptions> options = parseArguments(QCoreApplication::arguments());
  if (!options) {
    printUsage();
    return 1;
  }

  DownloadVars vars;
  prepareDownloadVars(vars, options->SegmentSize);
  auto down = std::make_unique<TMultiThreadDown>(options->Url, options->File, vars);
  InterruptTarget = &vars.Cancel;
  std::signal(SIGINT, cancelOnInterrupt);
  std::signal(SIGTERM, cancelOnInterrupt);

  QTimer progress;
  if (!options->Quiet) {
    QObject::connect(&progress, &QTimer::timeout, [&vars] { printProgress(vars); });
    progress.start(kProgressIntervalMs);
  }
  down->setOnTerminate([] { QCoreApplication::quit(); });
  down->start();
  QCoreApplication::exec();
  const std::string reason = down->failureReason();
  down.reset();
  InterruptTarget = nullptr;

  const bool succeeded = vars.Status.load() == kDownloadSucceeded && vars.Cancel.load() == 0;
  if (!options->Quiet) {
    printProgress(vars);
    std::fputc('\n', stderr);
  }
  if (!succeeded) {
    QFile::remove(options->File);
    if (reason.empty())
      std::fprintf(stderr, "nimbra-get: download of %s failed\n", qPrintable(options->Url));
    else
      std::fprintf(stderr, "nimbra-get: download of %s failed: %s\n", qPrintable(options->Url),
                   reason.c_str());
    return 1;
  }
  return 0;
}

// sway: the compositor's own background command, sent with swaymsg. sway
// draws the background with swaybg, which it starts anew for each picture;
// a file it cannot open it passes over while swaymsg still reports success,
// so the picture counts as set once a swaybg of this user shows it.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "platform/FileNames.h"
#include "platform/RunProgram.h"
#include "platform/WallpaperSetter.h"

namespace {

const QString kSwaymsg = QStringLiteral("swaymsg");
// sway starts swaybg after it has answered; a swaybg opens its picture
// within moments of its start.
constexpr std::chrono::milliseconds kSwaybgWait{5000};

bool takenAsItIs(QChar c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'/' ||
         c == u'.' || c == u'_' || c == u'-';
}

// sway's command parser splits at blanks, commas and semicolons and drops
// quotes, but leaves every backslash in place; the background's file name
// is then expanded like a shell word. A backslash before each character
// that means something to either keeps the name one word and brings it
// back as it is. Quotes would not do: sway turns two blanks in a row into
// " \ " first, which inside quotes stays a backslash.
QString swayWord(const QString& path) {
  QString escaped;
  escaped.reserve(path.size() * 2);
  for (const QChar c : path) {
    // The second half of a pair stands with its first.
    if (!takenAsItIs(c) && !c.isLowSurrogate()) escaped += u'\\';
    escaped += c;
  }
  return escaped;
}

bool holdsLineBreak(const QString& path) { return path.contains(u'\n') || path.contains(u'\r'); }

QByteArray readProcFile(const QByteArray& process, const char* name) {
  const QByteArray path = "/proc/" + process + '/' + name;
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  QByteArray content;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, got);
  ::close(fd);
  return content;
}

bool ownProcess(const QByteArray& process) {
  struct stat info {};
  return ::stat(("/proc/" + process).constData(), &info) == 0 && info.st_uid == ::getuid();
}

bool showsPicture(const QList<QByteArray>& arguments, const QByteArray& picture) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QByteArray& option = arguments.at(i - 1);
    if ((option == "-i" || option == "--image") && arguments.at(i) == picture) return true;
  }
  return false;
}

bool swaybgShows(const QByteArray& picture) {
  for (const FolderEntry& entry : readFolder(QStringLiteral("/proc"))) {
    const QByteArray process = entry.name.toLatin1();
    bool isNumber = false;
    process.toUInt(&isNumber);
    if (!isNumber || !ownProcess(process) || readProcFile(process, "comm") != "swaybg\n") continue;
    if (showsPicture(readProcFile(process, "cmdline").split('\0'), picture)) return true;
  }
  return false;
}

// Tells when a process opens the file: swaybg reads its picture at its
// start, so each opening is a moment to look whether it shows the picture.
class OpenWatch {
 public:
  explicit OpenWatch(const QByteArray& file) : m_fd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (m_fd >= 0 && ::inotify_add_watch(m_fd, file.constData(), IN_OPEN) < 0) {
      ::close(m_fd);
      m_fd = -1;
    }
  }
  ~OpenWatch() {
    if (m_fd >= 0) ::close(m_fd);
  }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  // False when the time passed with no opening (or the file cannot be watched).
  bool awaitOpening(std::chrono::milliseconds patience) {
    if (m_fd < 0) return false;
    pollfd ready{m_fd, POLLIN, 0};
    if (::poll(&ready, 1, int(patience.count())) <= 0) return false;
    char events[4096];
    while (::read(m_fd, events, sizeof events) > 0) {
    }
    return true;
  }

 private:
  int m_fd;
};

bool awaitSwaybg(const QByteArray& picture, OpenWatch& watch, const CancelToken& cancel) {
  const auto end = std::chrono::steady_clock::now() + std::min(kSwaybgWait, cancel.remaining());
  while (!swaybgShows(picture)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (cancel.isCancelled() || left.count() <= 0) return false;
    if (!watch.awaitOpening(left)) return swaybgShows(picture);
  }
  return true;
}

class SwaySetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    // Program arguments go out as UTF-8: such a name would arrive as another one.
    if (holdsForeignBytes(path)) return SetResult::failed(foreignBytesReason(path, kSwaymsg));
    // sway's word expansion drops a backslash and a line break together.
    if (holdsLineBreak(path))
      return SetResult::failed(
          QStringLiteral("sway cannot take a file name with a line break: \"%1\"").arg(path));
    const QByteArray picture = encodeFileName(path);
    OpenWatch watch(picture);
    const ProgramRun run = runProgram(kSwaymsg, swayBackgroundArguments(path), cancel);
    if (run.outcome == RunOutcome::NotFound) return SetResult::unavailable(run.describeFailure(kSwaymsg));
    if (!run.succeeded()) {
      SetResult failure = SetResult::failed(run.describeFailure(kSwaymsg));
      // swaymsg reports a refused command on standard output.
      if (run.errors.trimmed().isEmpty()) failure.detail += u' ' + QString::fromUtf8(run.output).trimmed();
      return failure;
    }
    if (awaitSwaybg(picture, watch, cancel)) return SetResult::applied();
    return SetResult::failed(
        QStringLiteral("sway took the command, but no swaybg shows \"%1\" (sway passes over a file it cannot "
                       "open; its log says why)")
            .arg(path));
  }

  QString name() const override { return QStringLiteral("sway (swaymsg)"); }
};

}  // namespace

QStringList swayBackgroundArguments(const QString& path) {
  return {QStringLiteral("output"), QStringLiteral("*"), QStringLiteral("bg"), swayWord(path),
          QStringLiteral("stretch")};
}

std::unique_ptr<WallpaperSetter> makeSwaySetter() { return std::make_unique<SwaySetter>(); }

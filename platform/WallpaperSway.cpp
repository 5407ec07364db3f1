// sway: the compositor's own background command, sent with swaymsg. sway
// draws the background with swaybg, which it starts anew for each picture;
// a file it cannot open it passes over while swaymsg still reports success,
// so the picture counts as set once a swaybg of this user shows it.
#include <algorithm>
#include <chrono>

#include "platform/FileNames.h"
#include "platform/OwnProcesses.h"
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

bool showsPicture(const QList<QByteArray>& arguments, const QByteArray& picture) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QByteArray& option = arguments.at(i - 1);
    if ((option == "-i" || option == "--image") && arguments.at(i) == picture) return true;
  }
  return false;
}

bool swaybgShows(const QByteArray& picture) {
  for (const QByteArray& process : ownProcessesNamed("swaybg"))
    if (showsPicture(readProcFile(process, "cmdline").split('\0'), picture)) return true;
  return false;
}

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

class SwaySetter : public MonitorSetter {
 public:
  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    // Program arguments go out as UTF-8: such a name would arrive as another one.
    if (holdsForeignBytes(path)) return SetResult::failed(foreignBytesReason(path, kSwaymsg));
    // sway's word expansion drops a backslash and a line break together.
    if (holdsLineBreak(path))
      return SetResult::failed(
          QStringLiteral("sway cannot take a file name with a line break: \"%1\"").arg(path));
    const QByteArray picture = encodeFileName(path);
    OpenWatch watch(picture);
    const ProgramRun run = runProgram(kSwaymsg, swayBackgroundArguments(path, target), cancel);
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

QStringList swayBackgroundArguments(const QString& path, const WallpaperTarget& target) {
  const QString output = target.isOneMonitor() ? swayWord(target.monitor.name) : QStringLiteral("*");
  return {QStringLiteral("output"), output, QStringLiteral("bg"), swayWord(path), QStringLiteral("stretch")};
}

std::unique_ptr<WallpaperSetter> makeSwaySetter() { return std::make_unique<SwaySetter>(); }

// sway: the compositor's own background command, sent with swaymsg.
#include "platform/FileNames.h"
#include "platform/RunProgram.h"
#include "platform/WallpaperSetter.h"

namespace {

const QString kSwaymsg = QStringLiteral("swaymsg");

// sway expands the background's file name like a shell word, so the name
// goes in single quotes, with a quote inside written as '\''.
QString shellWord(const QString& text) {
  QString quoted = text;
  quoted.replace(u'\'', QLatin1String("'\\''"));
  return u'\'' + quoted + u'\'';
}

// Before that, sway's command parser splits the joined arguments at blanks,
// commas and semicolons outside double quotes and then undoes backslash escapes.
QString swayArgument(const QString& text) {
  QString escaped = text;
  escaped.replace(u'\\', QLatin1String("\\\\")).replace(u'"', QLatin1String("\\\""));
  return u'"' + escaped + u'"';
}

class SwaySetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    // Program arguments go out as UTF-8: such a name would arrive as another one.
    if (holdsForeignBytes(path)) return SetResult::failed(foreignBytesReason(path, kSwaymsg));
    const ProgramRun run = runProgram(kSwaymsg, swayBackgroundArguments(path), cancel);
    if (run.outcome == RunOutcome::NotFound) return SetResult::unavailable(run.describeFailure(kSwaymsg));
    if (run.succeeded()) return SetResult::applied();
    SetResult failure = SetResult::failed(run.describeFailure(kSwaymsg));
    // swaymsg reports a refused command on standard output.
    if (run.errors.trimmed().isEmpty()) failure.detail += u' ' + QString::fromUtf8(run.output).trimmed();
    return failure;
  }

  QString name() const override { return QStringLiteral("sway (swaymsg)"); }
};

}  // namespace

QStringList swayBackgroundArguments(const QString& path) {
  return {QStringLiteral("output"), QStringLiteral("*"), QStringLiteral("bg"), swayArgument(shellWord(path)),
          QStringLiteral("stretch")};
}

std::unique_ptr<WallpaperSetter> makeSwaySetter() { return std::make_unique<SwaySetter>(); }

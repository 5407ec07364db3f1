// LXQt and LXDE: their file managers draw the desktop and take the wallpaper
// on the command line, handing it to the running instance.
#include "platform/FileNames.h"
#include "platform/RunProgram.h"
#include "platform/WallpaperSetter.h"

namespace {

class PcmanfmSetter : public WallpaperSetter {
 public:
  explicit PcmanfmSetter(PcmanfmFlavour flavour)
      : m_program(flavour == PcmanfmFlavour::Qt ? QStringLiteral("pcmanfm-qt") : QStringLiteral("pcmanfm")) {}

  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    // Program arguments go out as UTF-8: such a name would arrive as another one.
    if (holdsForeignBytes(path)) return SetResult::failed(foreignBytesReason(path, m_program));
    // The "=" form keeps the file name one argument whatever it starts with.
    const ProgramRun run = runProgram(
        m_program, {QStringLiteral("--set-wallpaper=") + path, QStringLiteral("--wallpaper-mode=stretch")},
        cancel);
    if (run.outcome == RunOutcome::NotFound) return SetResult::unavailable(run.describeFailure(m_program));
    return run.succeeded() ? SetResult::applied() : SetResult::failed(run.describeFailure(m_program));
  }

  QString name() const override { return m_program; }

 private:
  QString m_program;
};

}  // namespace

std::unique_ptr<WallpaperSetter> makePcmanfmSetter(PcmanfmFlavour flavour) {
  return std::make_unique<PcmanfmSetter>(flavour);
}

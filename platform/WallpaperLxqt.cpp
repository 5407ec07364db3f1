// LXQt and LXDE: their file managers draw the desktop and take the wallpaper
// on the command line, handing it to the running instance.
#include <QSettings>
#include <QStandardPaths>

#include "platform/FileNames.h"
#include "platform/IniFile.h"
#include "platform/RunProgram.h"
#include "platform/WallpaperSetter.h"

namespace {

const QString kStretch = QStringLiteral("stretch");
const QString kDesktopGroup = QStringLiteral("Desktop");

// pcmanfm-qt keeps one settings file per profile (LXQt runs the profile
// "lxqt", a plain start "default").
QString pcmanfmQtProfilesFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/pcmanfm-qt/");
}

// The settings files of the profiles whose desktop has taken the picture:
// the running desktop saves the new picture before the command ends, and a
// pcmanfm-qt that draws no desktop takes it nowhere, yet ends well.
QStringList settingsHolding(const QString& path) {
  QStringList holders;
  const QString folder = pcmanfmQtProfilesFolder();
  for (const FolderEntry& profile : readFolder(folder)) {
    if (profile.kind != EntryKind::Folder) continue;
    const QString file = folder + profile.name + QStringLiteral("/settings.conf");
    // QSettings reads the value as pcmanfm-qt wrote it, escapes and all.
    const QSettings settings(file, QSettings::IniFormat);
    if (settings.value(kDesktopGroup + QStringLiteral("/Wallpaper")).toString() == path) holders << file;
  }
  return holders;
}

// pcmanfm-qt 1.2 draws the mode it is given but saves the mode it had, and
// starts the next time with that one (a black desktop for "none").
SetResult keepStretched(const QString& settingsFile) {
  if (QSettings(settingsFile, QSettings::IniFormat).value(kDesktopGroup + QStringLiteral("/WallpaperMode")) ==
      kStretch)
    return SetResult::applied();
  try {
    IniBatch batch(settingsFile);
    batch.WriteIniText(kDesktopGroup, QStringLiteral("WallpaperMode"), kStretch);
    batch.commit();
  } catch (const IniWriteError& error) {
    return SetResult::failed(
        QStringLiteral("pcmanfm-qt shows the picture, but the stretch mode could not be kept in %1: %2")
            .arg(error.path(), error.reason()));
  }
  return SetResult::applied();
}

SetResult recordedByPcmanfmQt(const QString& path) {
  const QStringList holders = settingsHolding(path);
  if (holders.isEmpty())
    return SetResult::failed(
        QStringLiteral("pcmanfm-qt did not take the picture: no profile in %1 names it (it takes "
                       "a wallpaper only while it draws the desktop, \"pcmanfm-qt --desktop\")")
            .arg(pcmanfmQtProfilesFolder()));
  for (const QString& file : holders) {
    const SetResult kept = keepStretched(file);
    if (kept.status != SetStatus::Applied) return kept;
  }
  return SetResult::applied();
}

class PcmanfmSetter : public WallpaperSetter {
 public:
  explicit PcmanfmSetter(PcmanfmFlavour flavour)
      : m_flavour(flavour),
        m_program(flavour == PcmanfmFlavour::Qt ? QStringLiteral("pcmanfm-qt") : QStringLiteral("pcmanfm")) {}

  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    // Program arguments go out as UTF-8: such a name would arrive as another one.
    if (holdsForeignBytes(path)) return SetResult::failed(foreignBytesReason(path, m_program));
    // The "=" form keeps the file name one argument whatever it starts with.
    const ProgramRun run = runProgram(
        m_program, {QStringLiteral("--set-wallpaper=") + path, QStringLiteral("--wallpaper-mode=stretch")},
        cancel);
    if (run.outcome == RunOutcome::NotFound) return SetResult::unavailable(run.describeFailure(m_program));
    if (!run.succeeded()) return SetResult::failed(run.describeFailure(m_program));
    return m_flavour == PcmanfmFlavour::Qt ? recordedByPcmanfmQt(path) : SetResult::applied();
  }

  // pcmanfm-qt draws one desktop over all monitors: a picture of the whole
  // desktop, stretched, lies across them as it was composed.
  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    if (target.kind == TargetKind::WholeDesktop && m_flavour == PcmanfmFlavour::Qt)
      return setWallpaper(path, cancel);
    return WallpaperSetter::setWallpaperOn(path, target, cancel);
  }

  QString name() const override { return m_program; }

 private:
  PcmanfmFlavour m_flavour;
  QString m_program;
};

}  // namespace

std::unique_ptr<WallpaperSetter> makePcmanfmSetter(PcmanfmFlavour flavour) {
  return std::make_unique<PcmanfmSetter>(flavour);
}

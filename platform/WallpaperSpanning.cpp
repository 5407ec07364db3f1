// GNOME, Cinnamon, MATE and LXQt keep one picture for all monitors. A
// picture for one monitor reaches them as one picture of the whole desktop,
// each monitor's choice stretched onto its rectangle, shown across all
// monitors as one ("spanned").
#include <unistd.h>

#include <QUuid>

#include "platform/AtomicFile.h"
#include "platform/DesktopComposition.h"
#include "platform/FileNames.h"
#include "platform/WallpaperSetter.h"

namespace {

class SpanningSetter : public WallpaperSetter {
 public:
  SpanningSetter(std::unique_ptr<WallpaperSetter> desktop, CompositionTools tools)
      : m_desktop(std::move(desktop)), m_tools(std::move(tools)) {
    if (!m_tools.folder.endsWith(u'/')) m_tools.folder += u'/';
  }

  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    return m_desktop->setWallpaper(path, cancel);
  }

  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    if (!target.isOneMonitor()) return m_desktop->setWallpaperOn(path, target, cancel);
    if (!m_tools.load || !m_tools.encode || !m_tools.monitors)
      return SetResult::unavailable(
          QStringLiteral("no way to compose a picture of the whole desktop was given"));
    const MonitorList monitors = m_tools.monitors(cancel);
    const std::optional<Monitor> monitor = targetMonitor(monitors, target);
    if (!monitor)
      return SetResult::failed(QStringLiteral("the desktop has no monitor \"%1\" (it has %2)")
                                   .arg(target.monitor.name, monitors.isEmpty()
                                                                 ? QStringLiteral("none")
                                                                 : describeMonitors(monitors)));
    MonitorChoices choices = m_tools.choices ? m_tools.choices->load() : MonitorChoices();
    choices.choose(path, WallpaperTarget::oneMonitor(*monitor));
    QString why;
    const std::optional<QImage> desktop = composeDesktop(monitors, choices, m_tools.load, why);
    if (!desktop) return SetResult::failed(why);
    if (cancel.isCancelled())
      return SetResult::timedOut(QStringLiteral("stopped before the picture was shown"));
    const QByteArray encoded = m_tools.encode(*desktop);
    if (encoded.isEmpty())
      return SetResult::failed(QStringLiteral("the picture of the whole desktop cannot be encoded"));
    // The desktop is handed a copy of its own of this file; the file itself
    // is only the way there.
    const QString composed = m_tools.folder + QStringLiteral("desktop-") +
                             QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".jpg");
    if (!writeFileAtomically(composed, encoded, Durability::RenameOnly, &why))
      return SetResult::failed(QStringLiteral("cannot keep the picture of the whole desktop: %1").arg(why));
    const SetResult result = m_desktop->setWallpaperOn(composed, WallpaperTarget::wholeDesktop(), cancel);
    ::unlink(encodeFileName(composed).constData());
    return result;
  }

  QString name() const override { return m_desktop->name(); }

 private:
  std::unique_ptr<WallpaperSetter> m_desktop;
  CompositionTools m_tools;
};

}  // namespace

std::unique_ptr<WallpaperSetter> makeSpanningSetter(std::unique_ptr<WallpaperSetter> desktop,
                                                    CompositionTools tools) {
  return std::make_unique<SpanningSetter>(std::move(desktop), std::move(tools));
}

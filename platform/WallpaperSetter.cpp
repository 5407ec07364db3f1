// The one place that decides which wallpaper backend the running desktop gets.
#include "platform/WallpaperSetter.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <cstdio>
#include <utility>

namespace {

QString env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

// Names a desktop uses for itself in XDG_CURRENT_DESKTOP or DESKTOP_SESSION.
DesktopFamily familyOfName(const QString& name) {
  static const std::pair<const char*, DesktopFamily> kNames[] = {
      {"gnome", DesktopFamily::Gnome},
      {"gnome-classic", DesktopFamily::Gnome},
      {"gnome-flashback", DesktopFamily::Gnome},
      {"ubuntu", DesktopFamily::Gnome},
      {"budgie", DesktopFamily::Gnome},
      {"budgie-desktop", DesktopFamily::Gnome},
      {"unity", DesktopFamily::Gnome},
      {"x-cinnamon", DesktopFamily::Cinnamon},
      {"cinnamon", DesktopFamily::Cinnamon},
      {"mate", DesktopFamily::Mate},
      {"xfce", DesktopFamily::Xfce},
      {"xfce4", DesktopFamily::Xfce},
      {"xubuntu", DesktopFamily::Xfce},
      {"kde", DesktopFamily::Kde},
      {"plasma", DesktopFamily::Kde},
      {"plasmawayland", DesktopFamily::Kde},
      {"lxqt", DesktopFamily::Lxqt},
      {"lxde", DesktopFamily::Lxde},
      {"lubuntu", DesktopFamily::Lxqt},
      {"sway", DesktopFamily::Sway},
      {"hyprland", DesktopFamily::Hyprland},
      {"cosmic", DesktopFamily::Cosmic},
      {"niri", DesktopFamily::LayerShell},
      {"labwc", DesktopFamily::LayerShell},
      {"river", DesktopFamily::LayerShell},
      {"wayfire", DesktopFamily::LayerShell},
  };
  const QString lower = name.trimmed().toLower();
  for (const auto& [known, family] : kNames) {
    if (lower == QLatin1String(known)) return family;
  }
  return DesktopFamily::Unsupported;
}

// XDG_CURRENT_DESKTOP lists names, most specific first ("Budgie:GNOME").
// DESKTOP_SESSION is one name, sometimes given as a path to the session file.
QStringList desktopNames(const DesktopSession& session) {
  if (!session.currentDesktop.trimmed().isEmpty())
    return session.currentDesktop.split(u':', Qt::SkipEmptyParts);
  if (session.desktopSession.trimmed().isEmpty()) return {};
  return {QFileInfo(session.desktopSession.trimmed()).fileName()};
}

QString describeSession(const DesktopSession& session) {
  return QStringLiteral("XDG_CURRENT_DESKTOP=\"%1\", DESKTOP_SESSION=\"%2\", %3")
      .arg(session.currentDesktop, session.desktopSession,
           session.isWayland()
               ? QStringLiteral("a Wayland session")
               : (session.hasX11() ? QStringLiteral("an X11 session") : QStringLiteral("no display")));
}

QStringList monitorNames() {
  QStringList names;
  for (const QScreen* screen : QGuiApplication::screens()) names << screen->name();
  return names;
}

class RememberingSetter : public WallpaperSetter {
 public:
  RememberingSetter(std::unique_ptr<WallpaperSetter> desktop,
                    std::shared_ptr<const MonitorChoiceStore> choices, MonitorLister monitors)
      : m_desktop(std::move(desktop)), m_choices(std::move(choices)), m_monitors(std::move(monitors)) {}

  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    return setWallpaperOn(path, WallpaperTarget::allMonitors(), cancel);
  }
  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& wanted,
                           const CancelToken& cancel) override {
    WallpaperTarget target = wanted;
    if (target.naming == MonitorNaming::User && !m_desktop->looksUpMonitors()) {
      QString problem;
      const std::optional<WallpaperTarget> found =
          resolveTarget(target, m_monitors ? m_monitors(cancel) : MonitorList(), &problem);
      if (!found) return SetResult::failed(problem);
      target = *found;
    }
    const SetResult result = m_desktop->setWallpaperOn(path, target, cancel);
    if (result.status != SetStatus::Applied || !m_choices) return result;
    if (!result.monitor.isEmpty()) target = WallpaperTarget::oneMonitor({result.monitor, {}});
    MonitorChoices choices = m_choices->load();
    choices.choose(path, asTheDesktopNamesIt(target, cancel));
    // The desktop shows the picture; only a later restore would miss it.
    if (!m_choices->save(choices))
      std::fprintf(stderr, "NimbraWallpaper: the monitors' pictures could not be kept in the value store\n");
    return result;
  }
  SetResult restoreChoices(const CancelToken& cancel) override { return m_desktop->restoreChoices(cancel); }
  QString name() const override { return m_desktop->name(); }

 private:
  // The window names monitors as Qt does, which need not be the desktop's
  // name; the choice is kept under the desktop's, which a restore goes by.
  WallpaperTarget asTheDesktopNamesIt(const WallpaperTarget& target, const CancelToken& cancel) const {
    if (!target.isOneMonitor() || target.naming != MonitorNaming::Screens || !m_monitors) return target;
    const std::optional<Monitor> monitor = matchMonitor(m_monitors(cancel), target.monitor);
    return monitor ? WallpaperTarget::oneMonitor(*monitor) : target;
  }

  std::unique_ptr<WallpaperSetter> m_desktop;
  std::shared_ptr<const MonitorChoiceStore> m_choices;
  MonitorLister m_monitors;
};

class UnsupportedSetter : public WallpaperSetter {
 public:
  explicit UnsupportedSetter(QString why) : m_why(std::move(why)) {}
  SetResult setWallpaper(const QString&, const CancelToken&) override {
    return SetResult::unavailable(m_why);
  }
  QString name() const override { return QStringLiteral("none"); }

 private:
  QString m_why;
};

}  // namespace

DesktopSession DesktopSession::fromEnvironment() {
  return {env("XDG_CURRENT_DESKTOP"), env("DESKTOP_SESSION"), env("WAYLAND_DISPLAY"),
          env("XDG_SESSION_TYPE"),    env("DISPLAY"),         env("SWAYSOCK")};
}

bool DesktopSession::isWayland() const {
  return !waylandDisplay.isEmpty() || sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
}

DesktopFamily detectDesktopFamily(const DesktopSession& session) {
  for (const QString& name : desktopNames(session)) {
    const DesktopFamily family = familyOfName(name);
    if (family != DesktopFamily::Unsupported) return family;
  }
  if (!session.swaySocket.isEmpty()) return DesktopFamily::Sway;
  // The root window is what shows on a plain X server; under Wayland nothing sees it.
  if (session.isWayland() || !session.hasX11()) return DesktopFamily::Unsupported;
  return DesktopFamily::BareX11;
}

SetResult WallpaperSetter::setWallpaperOn(const QString& path, const WallpaperTarget& target,
                                          const CancelToken& cancel) {
  if (target.kind == TargetKind::AllMonitors) return setWallpaper(path, cancel);
  return SetResult::unavailable(
      QStringLiteral("%1 sets one picture on all monitors, not one for each").arg(name()));
}

std::unique_ptr<WallpaperSetter> makeRememberingSetter(std::unique_ptr<WallpaperSetter> desktop,
                                                       std::shared_ptr<const MonitorChoiceStore> choices,
                                                       MonitorLister monitors) {
  return std::make_unique<RememberingSetter>(std::move(desktop), std::move(choices), std::move(monitors));
}

std::unique_ptr<WallpaperSetter> makeUnsupportedSetter(const QString& why) {
  return std::make_unique<UnsupportedSetter>(why);
}

namespace {
// The backends that hand the desktop a path; the root-window backend and the
// background holder draw the picture themselves.
std::unique_ptr<WallpaperSetter> makePathSetter(DesktopFamily family) {
  switch (family) {
    case DesktopFamily::Gnome:
      return makeGsettingsSetter(GsettingsDesktop::Gnome);
    case DesktopFamily::Cinnamon:
      return makeGsettingsSetter(GsettingsDesktop::Cinnamon);
    case DesktopFamily::Mate:
      return makeGsettingsSetter(GsettingsDesktop::Mate);
    case DesktopFamily::Xfce:
      return makeXfceSetter(monitorNames());
    case DesktopFamily::Kde:
      return makeKdeSetter();
    case DesktopFamily::Lxqt:
      return makePcmanfmSetter(PcmanfmFlavour::Qt);
    case DesktopFamily::Lxde:
      return makePcmanfmSetter(PcmanfmFlavour::Gtk);
    case DesktopFamily::Sway:
      return makeSwaySetter();
    case DesktopFamily::Cosmic:
      return makeCosmicSetter(cosmicBackgroundFolder());
    case DesktopFamily::Hyprland:
    case DesktopFamily::LayerShell:
    case DesktopFamily::BareX11:
    case DesktopFamily::Unsupported:
      break;
  }
  return nullptr;
}

// The desktops that keep one picture for all monitors.
bool keepsOnePicture(DesktopFamily family) {
  return family == DesktopFamily::Gnome || family == DesktopFamily::Cinnamon ||
         family == DesktopFamily::Mate || family == DesktopFamily::Lxqt;
}

std::unique_ptr<WallpaperSetter> makeDesktopSetter(DesktopFamily family, const DesktopSession& session,
                                                   const BackendServices& services) {
  if (std::unique_ptr<WallpaperSetter> desktop = makePathSetter(family)) {
    desktop = makeFreshCopySetter(std::move(desktop), services.copyFolder);
    if (!keepsOnePicture(family)) return desktop;
    return makeSpanningSetter(std::move(desktop), {services.loadPicture, services.encodePicture,
                                                   services.monitors, services.choices, services.copyFolder});
  }
  switch (family) {
    case DesktopFamily::BareX11:
      return makeX11RootSetter(services.openPicture, services.choices);
    case DesktopFamily::LayerShell:
      return makeLayerShellSetter(services.choices, services.runtimeFolder);
    case DesktopFamily::Hyprland:
      return makeHyprpaperSetter(makeLayerShellSetter(services.choices, services.runtimeFolder));
    default:
      break;
  }
  return makeUnsupportedSetter(QStringLiteral("no way is known to set the wallpaper on this desktop (%1)")
                                   .arg(describeSession(session)));
}
}  // namespace

std::unique_ptr<WallpaperSetter> makeWallpaperSetter(DesktopFamily family, const DesktopSession& session,
                                                     const BackendServices& services) {
  return makeRememberingSetter(makeDesktopSetter(family, session, services), services.choices,
                               services.monitors);
}

MonitorLister makeMonitorLister(DesktopFamily family, const DesktopSession& session,
                                const MonitorList& screens) {
  switch (family) {
    case DesktopFamily::Sway:
      return swayOutputs;
    case DesktopFamily::Hyprland:
      return hyprlandMonitors;
    default:
      break;
  }
  if (session.isWayland()) return waylandOutputs;
  if (session.hasX11()) return [](const CancelToken&) { return x11Monitors(); };
  return [screens](const CancelToken&) { return orderedMonitors(screens); };
}

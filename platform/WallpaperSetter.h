// Setting the desktop wallpaper, stretched, on the desktop the user runs.
// Every desktop keeps its wallpaper in its own place, so there is one setter
// per desktop family; which one applies is decided here and nowhere else.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <utility>

#include "platform/CancelToken.h"
#include "platform/MonitorChoices.h"
#include "platform/Monitors.h"
#include "platform/ScreenPicture.h"

enum class SetStatus {
  Applied,      // the desktop took the picture
  Failed,       // the desktop's tool is there but refused or broke
  Unavailable,  // this desktop offers no way that works (tool or service missing)
  TimedOut,     // the desktop did not answer in time; its tool was stopped
  NotRunning,   // this desktop's way is known, but the part of it that takes the picture is not running
};

struct SetResult {
  SetStatus status = SetStatus::Failed;
  QString detail;  // why, for a line on standard error; empty when applied
  // The monitor the picture went on, as the desktop names it, when the
  // setter looked up a monitor the user named; empty otherwise.
  QString monitor;

  SetResult() = default;
  SetResult(SetStatus what, QString why, QString shownOn = {})
      : status(what), detail(std::move(why)), monitor(std::move(shownOn)) {}

  static SetResult applied() { return {SetStatus::Applied, {}}; }
  static SetResult failed(const QString& why) { return {SetStatus::Failed, why}; }
  static SetResult unavailable(const QString& why) { return {SetStatus::Unavailable, why}; }
  static SetResult timedOut(const QString& why) { return {SetStatus::TimedOut, why}; }
  static SetResult notRunning(const QString& why) { return {SetStatus::NotRunning, why}; }
};

class WallpaperSetter {
 public:
  virtual ~WallpaperSetter() = default;
  // path is an absolute path of an existing picture file. This may take
  // long and runs off the window's thread; once cancel says so, the setter
  // stops the tools it runs and returns.
  virtual SetResult setWallpaper(const QString& path, const CancelToken& cancel) = 0;
  // For a caller that waits as long as it takes (a benchmark, a check).
  SetResult setWallpaper(const QString& path) { return setWallpaper(path, CancelToken()); }
  // The picture on the monitors `target` names. A desktop that sets
  // monitors one by one, or that takes one picture across the desktop,
  // overrides this; any other takes a picture for all monitors only.
  virtual SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                                   const CancelToken& cancel);
  // Puts back the pictures chosen for the monitors, where the desktop
  // forgets them (monitors that came or went, a new session); Applied at
  // once where the desktop keeps them itself.
  virtual SetResult restoreChoices(const CancelToken&) { return SetResult::applied(); }
  // Whether the setter looks up a monitor the user named itself, as it asks
  // the desktop for its monitors anyway; else it is looked up before.
  virtual bool looksUpMonitors() const { return false; }
  virtual QString name() const = 0;
};

// A setter that sets monitors one by one: a picture for all is one more target.
class MonitorSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path, const CancelToken& cancel) final {
    return setWallpaperOn(path, WallpaperTarget::allMonitors(), cancel);
  }
  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override = 0;
};

// What the session tells about itself through its environment.
struct DesktopSession {
  QString currentDesktop;  // XDG_CURRENT_DESKTOP, e.g. "ubuntu:GNOME"
  QString desktopSession;  // DESKTOP_SESSION, e.g. "xfce"
  QString waylandDisplay;  // WAYLAND_DISPLAY
  QString sessionType;     // XDG_SESSION_TYPE
  QString x11Display;      // DISPLAY
  QString swaySocket;      // SWAYSOCK

  static DesktopSession fromEnvironment();
  bool isWayland() const;
  bool hasX11() const { return !x11Display.isEmpty(); }
};

enum class DesktopFamily {
  Gnome,
  Cinnamon,
  Mate,
  Xfce,
  Kde,
  Lxqt,
  Lxde,
  Sway,
  Hyprland,
  Cosmic,
  LayerShell,  // a Wayland compositor with no settings of its own (niri, labwc, river, wayfire)
  BareX11,
  Unsupported
};

DesktopFamily detectDesktopFamily(const DesktopSession& session);

// --- the backends, one per desktop family
enum class GsettingsDesktop { Gnome, Cinnamon, Mate };
enum class PcmanfmFlavour { Qt, Gtk };

std::unique_ptr<WallpaperSetter> makeGsettingsSetter(GsettingsDesktop desktop);
// monitorNames: the outputs that get a backdrop when the desktop has none yet.
std::unique_ptr<WallpaperSetter> makeXfceSetter(const QStringList& monitorNames);
std::unique_ptr<WallpaperSetter> makeKdeSetter();
std::unique_ptr<WallpaperSetter> makeSwaySetter();
std::unique_ptr<WallpaperSetter> makePcmanfmSetter(PcmanfmFlavour flavour);
// Reads its pictures through `openPicture`, which the picture layer gives;
// `choices` has what each monitor showed, for a screen drawn anew.
std::unique_ptr<WallpaperSetter> makeX11RootSetter(ScreenPictureOpener openPicture,
                                                   std::shared_ptr<const MonitorChoiceStore> choices = {});
// For a desktop that keeps one picture for all monitors: a picture for one
// monitor becomes one picture of the whole desktop (each monitor's choice
// stretched onto its rectangle), written into `folder` under a name of its
// own and handed to `desktop` for the whole desktop.
struct CompositionTools {
  ScreenPictureLoader load;
  PictureEncoder encode;
  MonitorLister monitors;
  std::shared_ptr<const MonitorChoiceStore> choices;
  QString folder;
};
std::unique_ptr<WallpaperSetter> makeSpanningSetter(std::unique_ptr<WallpaperSetter> desktop,
                                                    CompositionTools tools);
// Hyprland with hyprpaper running; `fallback` for one without it.
std::unique_ptr<WallpaperSetter> makeHyprpaperSetter(std::unique_ptr<WallpaperSetter> fallback);
// COSMIC: the background settings in configFolder (the user's is
// cosmicBackgroundFolder()), which cosmic-bg watches.
std::unique_ptr<WallpaperSetter> makeCosmicSetter(const QString& configFolder);
QString cosmicBackgroundFolder();
// A compositor with zwlr_layer_shell_v1 and no settings: swaybg, started on
// its own for the choices of all monitors; its process id is kept in
// runtimeFolder so that the next picture replaces it.
std::unique_ptr<WallpaperSetter> makeLayerShellSetter(std::shared_ptr<const MonitorChoiceStore> choices,
                                                      const QString& runtimeFolder);
// Keeps each picture set as the monitors' choice in `choices` once the
// desktop took it, a monitor under the name `monitors` gives it.
std::unique_ptr<WallpaperSetter> makeRememberingSetter(std::unique_ptr<WallpaperSetter> desktop,
                                                       std::shared_ptr<const MonitorChoiceStore> choices,
                                                       MonitorLister monitors = {});
// What the root-window backend left on the X server, for checks: the pixmap
// _XROOTPMAP_ID names (0 when none), and whether a pixmap still exists.
unsigned long x11RootPixmapId();
bool x11PixmapExists(unsigned long id);
// For a desktop no backend knows: every call answers Unavailable with why.
std::unique_ptr<WallpaperSetter> makeUnsupportedSetter(const QString& why);

// A desktop that is handed a path it already holds keeps the picture it has,
// even when the file has new content since. This setter hands `desktop` a
// copy of each picture under a name of its own, in `copyFolder` (created
// when missing), and removes the older copies once the desktop has taken the
// new one; a copy the desktop refused goes too.
std::unique_ptr<WallpaperSetter> makeFreshCopySetter(std::unique_ptr<WallpaperSetter> desktop,
                                                     const QString& copyFolder);
// Where the copies of the data folder (ending with "/") go, ending with "/".
QString wallpaperCopyFolder(const QString& dataFolder);

// What the backends are given from above: the picture layer's reader and
// writer, where the copies go, and the choices of the monitors.
struct BackendServices {
  ScreenPictureLoader loadPicture;
  ScreenPictureOpener openPicture;  // the same pictures, read in bands
  PictureEncoder encodePicture;
  QString copyFolder;
  std::shared_ptr<const MonitorChoiceStore> choices;
  QString runtimeFolder;  // for what lives as long as the session (a background holder's id)
  MonitorLister monitors;
};

// Whatever a backend needs to know of the screens is gathered here, so this
// runs on the GUI thread; the setter it gives may then run on any thread.
// Every backend that hands the desktop a path gets its pictures as copies in
// copyFolder (see makeFreshCopySetter).
std::unique_ptr<WallpaperSetter> makeWallpaperSetter(DesktopFamily family, const DesktopSession& session,
                                                     const BackendServices& services);
// The monitors as the desktop of that family names them; QScreen's list
// (taken now, on the GUI thread) where the desktop cannot be asked.
MonitorLister makeMonitorLister(DesktopFamily family, const DesktopSession& session,
                                const MonitorList& screens);

// The Plasma shell script that gives every desktop the picture, stretched.
QString plasmaWallpaperScript(const QString& path, const WallpaperTarget& target = {});
// The arguments of swaymsg that give every output the picture, stretched.
// path holds no line break (sway's parser would drop it).
QStringList swayBackgroundArguments(const QString& path, const WallpaperTarget& target = {});
// hyprctl's arguments for hyprpaper 0.8: "wallpaper" "MON,PATH,fit", MON empty for all.
QStringList hyprpaperArguments(const QString& path, const WallpaperTarget& target);
// The COSMIC background entry (RON) for `output` ("all" or a name), stretched.
QString cosmicBackgroundEntry(const QString& output, const QString& path);
// The swaybg command line that shows the choices (the one for all as "*").
QStringList swaybgArguments(const MonitorChoices& choices);

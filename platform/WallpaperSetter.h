// Setting the desktop wallpaper, stretched, on the desktop the user runs.
// Every desktop keeps its wallpaper in its own place, so there is one setter
// per desktop family; which one applies is decided here and nowhere else.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "platform/CancelToken.h"
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
  virtual QString name() const = 0;
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

enum class DesktopFamily { Gnome, Cinnamon, Mate, Xfce, Kde, Lxqt, Lxde, Sway, BareX11, Unsupported };

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
// Reads its pictures through `loadPicture`, which the picture layer gives.
std::unique_ptr<WallpaperSetter> makeX11RootSetter(ScreenPictureLoader loadPicture);
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

// Whatever a backend needs to know of the screens is gathered here, so this
// runs on the GUI thread; the setter it gives may then run on any thread.
// Every backend that hands the desktop a path gets its pictures as copies in
// copyFolder (see makeFreshCopySetter).
std::unique_ptr<WallpaperSetter> makeWallpaperSetter(DesktopFamily family, const DesktopSession& session,
                                                     ScreenPictureLoader loadPicture,
                                                     const QString& copyFolder);

// The Plasma shell script that gives every desktop the picture, stretched.
QString plasmaWallpaperScript(const QString& path);
// The arguments of swaymsg that give every output the picture, stretched.
// path holds no line break (sway's parser would drop it).
QStringList swayBackgroundArguments(const QString& path);

// The services through which the program reaches its surroundings: the
// desktop, the user, the clock, the network and its data folder. The
// program's entry builds one from the real session and hands it down; a test
// builds its own. Nothing looks a service up anywhere else.
#pragma once

#include <QString>
#include <memory>

#include "platform/Clock.h"
#include "platform/Monitors.h"

class DesktopControl;
class EndpointMap;
class UserDialogs;
class WallpaperSetter;

struct AppContext {
  // Where lang.ini, setting.ini, list.dat and wallpaper/ live, ending with "/".
  QString dataFolder;
  // The executable the autostart entry runs.
  QString programFile;
  // The home site's address at start ("http://host", "https://host:port/folder").
  QString homeSite;
  std::shared_ptr<WallpaperSetter> wallpaperSetter;
  // The desktop's monitors as it names them, for --monitor.
  MonitorLister monitors;
  std::shared_ptr<DesktopControl> desktopControl;
  std::shared_ptr<UserDialogs> dialogs;
  std::shared_ptr<const Clock> clock = systemClock();
  // Where the tests' host names really go; none in the program.
  std::shared_ptr<const EndpointMap> endpoints;
};

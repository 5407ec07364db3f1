// "Show desktop": before the wallpaper changes, every window steps aside so
// that the user sees the new picture appear.
#pragma once

#include <memory>

class DesktopControl {
 public:
  virtual ~DesktopControl() = default;
  virtual void showDesktop() = 0;
};

// Asks the window manager of the X display in DISPLAY.
std::unique_ptr<DesktopControl> makeX11DesktopControl();

struct DesktopSession;
// The control for the session: the window manager's on X11, none on Wayland.
std::unique_ptr<DesktopControl> makeDesktopControl(const DesktopSession& session);

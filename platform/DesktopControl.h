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
std::unique_ptr<DesktopControl> MakeX11DesktopControl();

// The control for the running session. A control installed for testing wins.
DesktopControl& TheDesktopControl();
// Tests count the requests; nullptr goes back to the real session.
void InstallDesktopControlForTesting(std::unique_ptr<DesktopControl> control);

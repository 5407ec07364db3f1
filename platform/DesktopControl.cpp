// On X11 the window manager hides every window when asked through the EWMH
// _NET_SHOWING_DESKTOP message. Wayland lets no client do that, so there the
// request does nothing.
#include "platform/DesktopControl.h"

#include "platform/WallpaperSetter.h"

// Xlib defines macros (None, Status, Bool...) that break Qt headers, so it
// comes after every other header.
// clang-format off
#include <X11/Xlib.h>
// clang-format on

namespace {

class X11DesktopControl : public DesktopControl {
 public:
  void showDesktop() override {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    const Window root = DefaultRootWindow(display);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = root;
    event.xclient.message_type = XInternAtom(display, "_NET_SHOWING_DESKTOP", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XCloseDisplay(display);  // flushes the request
  }
};

class NoDesktopControl : public DesktopControl {
 public:
  void showDesktop() override {}
};

std::unique_ptr<DesktopControl>& InstalledControl() {
  static std::unique_ptr<DesktopControl> control;
  return control;
}

}  // namespace

std::unique_ptr<DesktopControl> MakeX11DesktopControl() { return std::make_unique<X11DesktopControl>(); }

DesktopControl& TheDesktopControl() {
  if (InstalledControl()) return *InstalledControl();
  static const std::unique_ptr<DesktopControl> real = []() -> std::unique_ptr<DesktopControl> {
    const DesktopSession session = DesktopSession::fromEnvironment();
    if (session.isWayland() || !session.hasX11()) return std::make_unique<NoDesktopControl>();
    return MakeX11DesktopControl();
  }();
  return *real;
}

void InstallDesktopControlForTesting(std::unique_ptr<DesktopControl> control) {
  InstalledControl() = std::move(control);
}

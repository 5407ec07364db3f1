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

}  // namespace

std::unique_ptr<DesktopControl> makeX11DesktopControl() { return std::make_unique<X11DesktopControl>(); }

std::unique_ptr<DesktopControl> makeDesktopControl(const DesktopSession& session) {
  if (session.isWayland() || !session.hasX11()) return std::make_unique<NoDesktopControl>();
  return makeX11DesktopControl();
}

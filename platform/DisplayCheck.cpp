#include "platform/DisplayCheck.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace {
bool environmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}
}  // namespace

bool graphicalSessionAvailable(QString* why) {
  // An explicit platform (offscreen, a test's choice) is taken as it stands.
  if (environmentSet("QT_QPA_PLATFORM") || environmentSet("WAYLAND_DISPLAY")) return true;
  if (!environmentSet("DISPLAY")) {
    *why = QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
    return false;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    *why = QStringLiteral("cannot open display %1").arg(QString::fromLocal8Bit(std::getenv("DISPLAY")));
    return false;
  }
  XCloseDisplay(display);
  return true;
}

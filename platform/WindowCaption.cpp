#include "platform/WindowCaption.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QWindow>

// Xlib defines macros (None, Status, Bool...) that break Qt headers, so it
// comes after every other header.
// clang-format off
#include <X11/Xlib.h>
// clang-format on

#if QT_CONFIG(xcb)
void showTitleAsCaption(QWindow* window) {
  // Without a native window Qt has written no caption yet; it writes one
  // when the window is made, and the caller comes back then.
  if (window == nullptr || window->handle() == nullptr) return;
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  Display* display = x11 != nullptr ? x11->display() : nullptr;
  if (display == nullptr) return;
  // Qt's own connection, so this comes after the caption Qt wrote and wins.
  const QByteArray caption = window->title().toUtf8();
  XChangeProperty(display, static_cast<::Window>(window->winId()),
                  XInternAtom(display, "_NET_WM_NAME", False), XInternAtom(display, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(caption.constData()),
                  static_cast<int>(caption.size()));
  XFlush(display);
}
#else
void showTitleAsCaption(QWindow*) {}
#endif

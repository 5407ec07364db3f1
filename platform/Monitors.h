// The monitors of the desktop, named as the desktop names them, and which of
// them a wallpaper is for. Users count monitors as they stand on the desk:
// left to right, then top to bottom, from 1.
#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>

#include "platform/CancelToken.h"

struct Monitor {
  QString name;    // the output's name, as the desktop's own tools take it ("DP-1", "HEADLESS-2")
  QRect geometry;  // in the desktop's coordinates

  bool operator==(const Monitor&) const = default;
};
using MonitorList = QList<Monitor>;

// Left to right, then top to bottom; a monitor of no size is left out.
MonitorList orderedMonitors(MonitorList monitors);
// The monitor of that name, or the n-th of the ordered list for a number.
std::optional<Monitor> findMonitor(const MonitorList& monitors, const QString& nameOrNumber);
// The monitor of the desktop's list that `wanted` names, or failing its
// name, that lies where it lies: the window's list of screens may name a
// monitor otherwise than the desktop does (Xinerama's heads have no names).
std::optional<Monitor> matchMonitor(const MonitorList& monitors, const Monitor& wanted);
// "1 DP-1 (1920x1080), 2 HDMI-1 (1280x1024)": what a user may name.
QString describeMonitors(const MonitorList& monitors);
// "DP-1 (1920x1080)"
QString monitorLabel(const Monitor& monitor);
// The rectangle that holds every monitor: the size of the whole desktop.
QRect desktopArea(const MonitorList& monitors);

// Asks the desktop for its monitors; none when it cannot be asked. May run
// a desktop's tool, so it runs off the window's thread.
using MonitorLister = std::function<MonitorList(const CancelToken& cancel)>;

// The monitors of the X server the session shows (RandR 1.5 monitors,
// Xinerama heads where RandR knows fewer), ordered.
MonitorList x11Monitors();
// sway's outputs, from `swaymsg -t get_outputs`; Hyprland's monitors, from
// `hyprctl monitors -j`. Both answer in JSON, read here.
MonitorList swayOutputs(const CancelToken& cancel);
MonitorList hyprlandMonitors(const CancelToken& cancel);
// Any other Wayland compositor's outputs, from its wl_output globals (those
// that tell their name).
MonitorList waylandOutputs(const CancelToken& cancel);
MonitorList monitorsFromJson(const QByteArray& json);

enum class TargetKind {
  AllMonitors,   // the picture on every monitor, stretched onto each
  OneMonitor,    // the picture on `monitor` only; the others keep theirs
  WholeDesktop,  // one picture laid across all monitors as one ("spanned")
};

// Who named a monitor: the desktop's own list; Qt's screens, whose names
// may differ from the desktop's (Xinerama's heads have none); or the user,
// by a name or a number not looked up yet.
enum class MonitorNaming { Desktop, Screens, User };

struct WallpaperTarget {
  TargetKind kind = TargetKind::AllMonitors;
  Monitor monitor;  // OneMonitor only
  MonitorNaming naming = MonitorNaming::Desktop;

  static WallpaperTarget allMonitors() { return {}; }
  static WallpaperTarget oneMonitor(const Monitor& monitor) {
    return {TargetKind::OneMonitor, monitor, MonitorNaming::Desktop};
  }
  // A monitor of Qt's screens.
  static WallpaperTarget oneScreen(const Monitor& monitor) {
    return {TargetKind::OneMonitor, monitor, MonitorNaming::Screens};
  }
  // The monitor as the user gave it (--monitor): looked up where the
  // picture is set, by whoever asks the desktop for its monitors anyway.
  static WallpaperTarget named(const QString& nameOrNumber) {
    return {TargetKind::OneMonitor, {nameOrNumber, {}}, MonitorNaming::User};
  }
  static WallpaperTarget wholeDesktop() { return {TargetKind::WholeDesktop, {}, MonitorNaming::Desktop}; }
  bool isOneMonitor() const { return kind == TargetKind::OneMonitor; }
};

// The monitor of the list that the target means: by name or number for one
// the user named, else as matchMonitor finds it.
std::optional<Monitor> targetMonitor(const MonitorList& monitors, const WallpaperTarget& target);
// The target with its monitor looked up in the desktop's list; nothing,
// with a reason that lists the monitors there are, when it has no such.
std::optional<WallpaperTarget> resolveTarget(const WallpaperTarget& target, const MonitorList& monitors,
                                             QString* problem);

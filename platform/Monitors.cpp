#include "platform/Monitors.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "platform/RunProgram.h"

MonitorList orderedMonitors(MonitorList monitors) {
  monitors.removeIf([](const Monitor& monitor) { return monitor.geometry.isEmpty(); });
  std::stable_sort(monitors.begin(), monitors.end(), [](const Monitor& a, const Monitor& b) {
    if (a.geometry.x() != b.geometry.x()) return a.geometry.x() < b.geometry.x();
    return a.geometry.y() < b.geometry.y();
  });
  return monitors;
}

std::optional<Monitor> findMonitor(const MonitorList& monitors, const QString& nameOrNumber) {
  // A name goes first: an output may be called "1".
  for (const Monitor& monitor : monitors)
    if (monitor.name == nameOrNumber) return monitor;
  bool isNumber = false;
  const int number = nameOrNumber.toInt(&isNumber);
  if (isNumber && number >= 1 && number <= monitors.size()) return monitors.at(number - 1);
  return std::nullopt;
}

std::optional<Monitor> matchMonitor(const MonitorList& monitors, const Monitor& wanted) {
  for (const Monitor& monitor : monitors)
    if (monitor.name == wanted.name) return monitor;
  for (const Monitor& monitor : monitors)
    if (monitor.geometry == wanted.geometry) return monitor;
  return std::nullopt;
}

std::optional<Monitor> targetMonitor(const MonitorList& monitors, const WallpaperTarget& target) {
  if (target.naming == MonitorNaming::User) return findMonitor(monitors, target.monitor.name);
  return matchMonitor(monitors, target.monitor);
}

std::optional<WallpaperTarget> resolveTarget(const WallpaperTarget& target, const MonitorList& monitors,
                                             QString* problem) {
  if (!target.isOneMonitor()) return target;
  if (const std::optional<Monitor> monitor = targetMonitor(monitors, target))
    return WallpaperTarget::oneMonitor(*monitor);
  *problem = monitors.isEmpty()
                 ? QStringLiteral("no monitor \"%1\": the desktop tells no monitors").arg(target.monitor.name)
                 : QStringLiteral("no monitor \"%1\"; the monitors are: %2")
                       .arg(target.monitor.name, describeMonitors(monitors));
  return std::nullopt;
}

QString monitorLabel(const Monitor& monitor) {
  return QStringLiteral("%1 (%2x%3)")
      .arg(monitor.name)
      .arg(monitor.geometry.width())
      .arg(monitor.geometry.height());
}

QString describeMonitors(const MonitorList& monitors) {
  QStringList described;
  for (qsizetype n = 0; n < monitors.size(); ++n)
    described << QStringLiteral("%1 %2").arg(n + 1).arg(monitorLabel(monitors.at(n)));
  return described.join(QStringLiteral(", "));
}

QRect desktopArea(const MonitorList& monitors) {
  QRect area;
  for (const Monitor& monitor : monitors) area = area.united(monitor.geometry);
  return area;
}

namespace {
QRect rectOf(const QJsonObject& object) {
  return {object.value(QLatin1String("x")).toInt(), object.value(QLatin1String("y")).toInt(),
          object.value(QLatin1String("width")).toInt(), object.value(QLatin1String("height")).toInt()};
}

MonitorList monitorsFromTool(const QString& program, const QStringList& arguments,
                             const CancelToken& cancel) {
  const ProgramRun run = runProgram(program, arguments, cancel);
  return run.succeeded() ? monitorsFromJson(run.output) : MonitorList();
}
}  // namespace

// sway nests the rectangle in "rect" and lists disabled outputs as
// inactive; Hyprland gives the rectangle's fields on the monitor itself.
MonitorList monitorsFromJson(const QByteArray& json) {
  MonitorList monitors;
  for (const QJsonValue& entry : QJsonDocument::fromJson(json).array()) {
    const QJsonObject output = entry.toObject();
    if (output.value(QLatin1String("active")) == QJsonValue(false)) continue;
    const QString name = output.value(QLatin1String("name")).toString();
    const QJsonValue rect = output.value(QLatin1String("rect"));
    if (name.isEmpty()) continue;
    monitors.append({name, rect.isObject() ? rectOf(rect.toObject()) : rectOf(output)});
  }
  return orderedMonitors(monitors);
}

MonitorList swayOutputs(const CancelToken& cancel) {
  return monitorsFromTool(QStringLiteral("swaymsg"),
                          {QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_outputs")},
                          cancel);
}

MonitorList hyprlandMonitors(const CancelToken& cancel) {
  return monitorsFromTool(QStringLiteral("hyprctl"), {QStringLiteral("monitors"), QStringLiteral("-j")},
                          cancel);
}

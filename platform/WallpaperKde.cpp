// KDE Plasma: the shell's scripting call over D-Bus gives every desktop
// containment the picture, the way the desktop's own settings page does.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

#include "platform/FileNames.h"
#include "platform/WallpaperSetter.h"

namespace {

constexpr int kCallTimeLimitMs = 10000;
const QString kShellService = QStringLiteral("org.kde.plasmashell");

// A JSON string is a valid JavaScript string literal with every quote,
// backslash and control character escaped.
QString scriptStringLiteral(const QString& text) {
  const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
  return QString::fromUtf8(json.mid(1, json.size() - 2));
}

int callTimeLimitMs(const CancelToken& cancel) {
  return int(std::min<std::chrono::milliseconds::rep>(kCallTimeLimitMs, cancel.remaining().count()));
}

bool shellIsAbsent(const QDBusMessage& reply) {
  const QString error = reply.errorName();
  return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
         error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

class KdeSetter : public MonitorSetter {
 public:
  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
      return SetResult::unavailable(QStringLiteral("no D-Bus session bus to reach plasmashell"));
    QDBusMessage call = QDBusMessage::createMethodCall(kShellService, QStringLiteral("/PlasmaShell"),
                                                       QStringLiteral("org.kde.PlasmaShell"),
                                                       QStringLiteral("evaluateScript"));
    call << plasmaWallpaperScript(path, target);
    // The call cannot be stopped once sent, so it waits no longer than the caller does.
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeLimitMs(cancel));
    if (reply.type() != QDBusMessage::ErrorMessage) return SetResult::applied();
    // A Plasma session whose shell has quit or crashed: the desktop is there, its shell is not.
    if (shellIsAbsent(reply))
      return SetResult::notRunning(
          QStringLiteral("plasmashell is not running (nothing owns the D-Bus name %1)").arg(kShellService));
    return SetResult::failed(
        QStringLiteral("plasmashell: %1 %2").arg(reply.errorName(), reply.errorMessage()));
  }

  QString name() const override { return QStringLiteral("KDE Plasma (D-Bus)"); }
};

}  // namespace

namespace {
// The screen's rectangle the desktop is looked for by: Plasma numbers its
// screens in an order of its own, but their geometry is the desktop's.
QString screenOf(const WallpaperTarget& target) {
  if (!target.isOneMonitor()) return QStringLiteral("null");
  const QRect& area = target.monitor.geometry;
  return QStringLiteral("{x: %1, y: %2, width: %3, height: %4}")
      .arg(area.x())
      .arg(area.y())
      .arg(area.width())
      .arg(area.height());
}
}  // namespace

QString plasmaWallpaperScript(const QString& path, const WallpaperTarget& target) {
  // The URI names the file's bytes even where they are not UTF-8.
  const QString uri = scriptStringLiteral(QString::fromLatin1(fileUri(path)));
  // FillMode 0 is "Stretch"; the mode goes first so the picture is drawn once.
  return QStringLiteral(
             "var picture = %1;\n"
             "var only = %2;\n"
             "var all = desktops();\n"
             "var found = 0;\n"
             "for (var i = 0; i < all.length; ++i) {\n"
             "  var desktop = all[i];\n"
             "  if (only) {\n"
             "    var g = screenGeometry(desktop.screen);\n"
             "    if (g.x != only.x || g.y != only.y || g.width != only.width || g.height != only.height) "
             "continue;\n"
             "  }\n"
             "  ++found;\n"
             "  desktop.wallpaperPlugin = \"org.kde.image\";\n"
             "  desktop.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
             "  desktop.writeConfig(\"FillMode\", 0);\n"
             "  desktop.writeConfig(\"Image\", picture);\n"
             "}\n"
             "if (only && found == 0) throw new Error(\"no desktop lies on that screen\");\n")
      .arg(uri, screenOf(target));
}

std::unique_ptr<WallpaperSetter> makeKdeSetter() { return std::make_unique<KdeSetter>(); }

#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <optional>

#include "platform/IniFile.h"

namespace {
// The one seam tests have into the folder; the program itself never sets it.
QString& FolderOverride() {
  static QString folder;
  return folder;
}
}  // namespace

QString ExeFolder() {
  if (!FolderOverride().isEmpty()) return FolderOverride();
  // /proc/self/exe names the real file even when started through a link.
  const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
  QString folder = exe.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(exe).path();
  if (!folder.endsWith('/')) folder += '/';
  return folder;
}

void SetExeFolderForTesting(const QString& folder) {
  FolderOverride() = folder;
  if (!folder.isEmpty() && !folder.endsWith('/')) FolderOverride() += '/';
}

QString BuiltInHomeHost() { return QStringLiteral(NIMBRA_HOME_HOST); }

bool IsUsableHomeHost(const QString& host) {
  static const QRegularExpression kHost(QStringLiteral("^[a-z0-9]([a-z0-9.-]*[a-z0-9])?$"));
  return host.size() <= 200 && !host.contains(QLatin1String("..")) && kHost.match(host).hasMatch();
}

namespace {

// Host names are case-insensitive, and the catalogue lower-cases every
// address it stores, so a host given in capitals is taken in lower case.
std::optional<QString> UsableOverride(const QString& value, const char* origin) {
  const QString host = value.trimmed().toLower();
  if (host.isEmpty()) return std::nullopt;
  if (IsUsableHomeHost(host)) return host;
  qWarning("%s: \"%s\" is not a host name or IPv4 address without a port; it is not used", origin,
           qPrintable(value));
  return std::nullopt;
}

}  // namespace

QString HomeHost() {
  if (const auto host = UsableOverride(qEnvironmentVariable("NIMBRA_HOME_HOST"), "NIMBRA_HOME_HOST"))
    return *host;
  const IniFile settings(ExeFolder() + QStringLiteral("setting.ini"));
  const QString configured = settings.ReadIniText(QStringLiteral("home"), QStringLiteral("host"), QString());
  if (const auto host = UsableOverride(configured, "setting.ini [home] host")) return *host;
  return BuiltInHomeHost();
}

#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <optional>

#include "platform/AtomicFile.h"
#include "platform/IniFile.h"

QString ExeFolder() {
  // /proc/self/exe names the real file even when started through a link.
  const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
  QString folder = exe.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(exe).path();
  if (!folder.endsWith('/')) folder += '/';
  return folder;
}

namespace {
const QString kDataFolderName = QStringLiteral("nimbra-wallpaper");

// <prefix>/bin beside <prefix>/share/nimbra-wallpaper: the program was
// installed. Root may write /usr/bin, yet an installed program must not
// keep its files there.
bool IsInstalledLayout(const QString& exeFolder) {
  return QDir(exeFolder).dirName() == QLatin1String("bin") && QFileInfo(InstalledShareFolder()).isDir();
}

// The copy belongs to the user, who may change it as any file of the store,
// although the shipped file may be read-only.
bool CopyAsOwnFile(const QString& from, const QString& to) {
  return QFile::copy(from, to) && QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner);
}

bool CopyFolderTree(const QString& from, const QString& to, QString* error) {
  QDirIterator walk(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
  if (!QDir().mkpath(to)) {
    *error = QStringLiteral("cannot create %1").arg(to);
    return false;
  }
  while (walk.hasNext()) {
    const QFileInfo entry = walk.nextFileInfo();
    const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(entry.filePath());
    const bool copied = entry.isDir() ? QDir().mkpath(target) : CopyAsOwnFile(entry.filePath(), target);
    if (!copied) {
      *error = QStringLiteral("cannot copy %1 to %2").arg(entry.filePath(), target);
      return false;
    }
  }
  return true;
}

// The store is copied beside its place and renamed into it, so that a start
// cut short leaves no half store that a later start would take as complete.
bool SeedStore(const QString& dataFolder, const QString& shareFolder, QString* error) {
  const QString store = dataFolder + QStringLiteral("wallpaper");
  const QString samples = shareFolder + QStringLiteral("wallpaper");
  if (QFileInfo::exists(store) || !QFileInfo(samples).isDir()) return true;
  const QString part = dataFolder + QStringLiteral(".wallpaper.seeding");
  QDir(part).removeRecursively();
  if (!CopyFolderTree(samples, part, error)) {
    QDir(part).removeRecursively();
    return false;
  }
  if (QDir().rename(part, store)) return true;
  *error = QStringLiteral("cannot rename %1 to %2").arg(part, store);
  QDir(part).removeRecursively();
  return false;
}

bool SeedLanguage(const QString& dataFolder, const QString& shareFolder, const QString& localeName,
                  QString* error) {
  const QString target = dataFolder + QStringLiteral("lang.ini");
  if (QFileInfo::exists(target)) return true;
  // A portable folder on a medium that cannot be written holds its one
  // language file beside the executable.
  QString sourcePath = shareFolder + QStringLiteral("lang/") + LanguageFolderForLocale(localeName) +
                       QStringLiteral("/lang.ini");
  if (!QFileInfo::exists(sourcePath) && QFileInfo::exists(shareFolder + QStringLiteral("lang.ini")))
    sourcePath = shareFolder + QStringLiteral("lang.ini");
  QFile source(sourcePath);
  if (!source.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot read %1: %2").arg(source.fileName(), source.errorString());
    return false;
  }
  QString why;
  if (WriteFileAtomically(target, source.readAll(), Durability::RenameOnly, &why)) return true;
  *error = QStringLiteral("cannot write %1: %2").arg(target, why);
  return false;
}
}  // namespace

DataFolderKind ChooseDataFolderKind() {
  const QString exeFolder = ExeFolder();
  if (IsInstalledLayout(exeFolder) || !MayReplaceFile(exeFolder)) return DataFolderKind::PerUser;
  return DataFolderKind::Portable;
}

QString DataFolder() {
  // Decided once: the folder must not change under a running program.
  static const DataFolderKind kind = ChooseDataFolderKind();
  return kind == DataFolderKind::Portable ? ExeFolder() : UserDataFolder();
}

QString UserDataFolder() {
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  if (!QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.local/share");
  return QDir::cleanPath(base) + QLatin1Char('/') + kDataFolderName + QLatin1Char('/');
}

QString InstalledShareFolder() {
  return QDir::cleanPath(ExeFolder() + QStringLiteral("../share/") + kDataFolderName) + QLatin1Char('/');
}

QString LanguageFolderForLocale(const QString& localeName) {
  return localeName.startsWith(QLatin1String("zh_CN")) ? QStringLiteral("zh_CN") : QStringLiteral("en");
}

bool SeedDataFolder(const QString& dataFolder, const QString& shareFolder, const QString& localeName,
                    QString* error) {
  if (!QDir().mkpath(dataFolder)) {
    *error = QStringLiteral("cannot create %1").arg(dataFolder);
    return false;
  }
  QStringList problems;
  QString problem;
  if (!SeedStore(dataFolder, shareFolder, &problem)) problems << problem;
  if (!SeedLanguage(dataFolder, shareFolder, localeName, &problem)) problems << problem;
  *error = problems.join(QLatin1String("; "));
  return problems.isEmpty();
}

bool PrepareDataFolder(QString* error) {
  if (ChooseDataFolderKind() == DataFolderKind::Portable) return true;
  // A portable folder that cannot be written is its own set of samples.
  const QString source = QFileInfo(InstalledShareFolder()).isDir() ? InstalledShareFolder() : ExeFolder();
  return SeedDataFolder(DataFolder(), source, QLocale::system().name(), error);
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

QString HomeHost(const QString& dataFolder) {
  if (const auto host = UsableOverride(qEnvironmentVariable("NIMBRA_HOME_HOST"), "NIMBRA_HOME_HOST"))
    return *host;
  const IniFile settings(dataFolder + QStringLiteral("setting.ini"));
  const QString configured = settings.ReadIniText(QStringLiteral("home"), QStringLiteral("host"), QString());
  if (const auto host = UsableOverride(configured, "setting.ini [home] host")) return *host;
  return BuiltInHomeHost();
}

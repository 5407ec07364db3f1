#include "platform/ProgramFolder.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <optional>

#include "platform/AtomicFile.h"
#include "platform/FileNames.h"
#include "platform/IniFile.h"

namespace {
// The link's target as the system keeps it, byte for byte.
QByteArray linkTarget(const char* link) {
  QByteArray target(4096, Qt::Uninitialized);
  const ssize_t length = ::readlink(link, target.data(), size_t(target.size()));
  if (length <= 0 || length >= target.size()) return {};
  target.truncate(length);
  return target;
}
}  // namespace

QString exeFolder() {
  // /proc/self/exe names the real file even when started through a link.
  const QByteArray exe = linkTarget("/proc/self/exe");
  const qsizetype slash = exe.lastIndexOf('/');
  QString folder =
      slash < 0 ? QCoreApplication::applicationDirPath() : decodeFileName(QByteArrayView(exe).first(slash));
  if (!folder.endsWith('/')) folder += '/';
  return folder;
}

namespace {
const QString kDataFolderName = QStringLiteral("nimbra-wallpaper");

// <prefix>/bin beside <prefix>/share/nimbra-wallpaper: the program was
// installed. Root may write /usr/bin, yet an installed program must not
// keep its files there.
bool isInstalledLayout(const QString& exeFolder) {
  return QDir(exeFolder).dirName() == QLatin1String("bin") && QFileInfo(installedShareFolder()).isDir();
}

// The copy belongs to the user, who may change it as any file of the store,
// although the shipped file may be read-only.
bool copyAsOwnFile(const QString& from, const QString& to) {
  return QFile::copy(from, to) && QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner);
}

bool copyFolderTree(const QString& from, const QString& to, QString* error) {
  QDirIterator walk(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
  if (!QDir().mkpath(to)) {
    *error = QStringLiteral("cannot create %1").arg(to);
    return false;
  }
  while (walk.hasNext()) {
    const QFileInfo entry = walk.nextFileInfo();
    const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(entry.filePath());
    const bool copied = entry.isDir() ? QDir().mkpath(target) : copyAsOwnFile(entry.filePath(), target);
    if (!copied) {
      *error = QStringLiteral("cannot copy %1 to %2").arg(entry.filePath(), target);
      return false;
    }
  }
  return true;
}

// The store is copied beside its place and renamed into it, so that a start
// cut short leaves no half store that a later start would take as complete.
bool seedStore(const QString& dataFolder, const QString& shareFolder, QString* error) {
  const QString store = dataFolder + QStringLiteral("wallpaper");
  const QString samples = shareFolder + QStringLiteral("wallpaper");
  if (QFileInfo::exists(store) || !QFileInfo(samples).isDir()) return true;
  const QString part = dataFolder + QStringLiteral(".wallpaper.seeding");
  QDir(part).removeRecursively();
  if (!copyFolderTree(samples, part, error)) {
    QDir(part).removeRecursively();
    return false;
  }
  if (QDir().rename(part, store)) return true;
  *error = QStringLiteral("cannot rename %1 to %2").arg(part, store);
  QDir(part).removeRecursively();
  return false;
}

bool seedLanguage(const QString& dataFolder, const QString& shareFolder, const QStringList& languages,
                  QString* error) {
  const QString target = dataFolder + QStringLiteral("lang.ini");
  if (QFileInfo::exists(target)) return true;
  // A portable folder on a medium that cannot be written holds its one
  // language file beside the executable.
  const QString shipped = shareFolder + QStringLiteral("lang/");
  QString sourcePath = shipped + languageFolderFor(languages, shipped) + QStringLiteral("/lang.ini");
  if (!QFileInfo::exists(sourcePath) && QFileInfo::exists(shareFolder + QStringLiteral("lang.ini")))
    sourcePath = shareFolder + QStringLiteral("lang.ini");
  QFile source(sourcePath);
  if (!source.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot read %1: %2").arg(source.fileName(), source.errorString());
    return false;
  }
  QString why;
  if (writeFileAtomically(target, source.readAll(), Durability::RenameOnly, &why)) return true;
  *error = QStringLiteral("cannot write %1: %2").arg(target, why);
  return false;
}

// "pt_BR.UTF-8@euro", "pt-br" or "PT_BR" as the folder name "pt_BR"; empty
// for the C locale, which asks for no language.
QString languageName(const QString& entry) {
  QString name = entry.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0).trimmed();
  name.replace(QLatin1Char('-'), QLatin1Char('_'));
  if (name == QLatin1String("C") || name == QLatin1String("POSIX")) return {};
  const QString language = name.section(QLatin1Char('_'), 0, 0).toLower();
  const QString territory = name.section(QLatin1Char('_'), 1);
  return territory.isEmpty() ? language : language + QLatin1Char('_') + territory.toUpper();
}
}  // namespace

DataFolderKind chooseDataFolderKind() {
  const QString folder = exeFolder();
  if (isInstalledLayout(folder) || !mayReplaceFile(folder)) return DataFolderKind::PerUser;
  return DataFolderKind::Portable;
}

QString dataFolder() {
  // Decided once: the folder must not change under a running program.
  static const DataFolderKind kind = chooseDataFolderKind();
  return kind == DataFolderKind::Portable ? exeFolder() : userDataFolder();
}

QString userDataFolder() {
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  if (!QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.local/share");
  return QDir::cleanPath(base) + QLatin1Char('/') + kDataFolderName + QLatin1Char('/');
}

QString installedShareFolder() {
  return QDir::cleanPath(exeFolder() + QStringLiteral("../share/") + kDataFolderName) + QLatin1Char('/');
}

QStringList desktopLanguages(const QProcessEnvironment& environment) {
  QStringList wanted =
      environment.value(QStringLiteral("LANGUAGE")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const QString locale = environment.value(QLatin1String(variable));
    if (locale.isEmpty()) continue;
    wanted.append(locale);
    break;
  }
  QStringList languages;
  for (const QString& entry : std::as_const(wanted)) {
    const QString name = languageName(entry);
    if (!name.isEmpty() && !languages.contains(name)) languages.append(name);
  }
  return languages;
}

QString languageFolderFor(const QStringList& languages, const QString& languagesFolder) {
  for (const QString& language : languages) {
    for (const QString& name : {language, language.section(QLatin1Char('_'), 0, 0)}) {
      if (!name.isEmpty() && QFileInfo::exists(languagesFolder + name + QStringLiteral("/lang.ini")))
        return name;
    }
  }
  return QStringLiteral("en");
}

bool seedDataFolder(const QString& dataFolder, const QString& shareFolder, const QStringList& languages,
                    QString* error) {
  if (!QDir().mkpath(dataFolder)) {
    *error = QStringLiteral("cannot create %1").arg(dataFolder);
    return false;
  }
  QStringList problems;
  QString problem;
  if (!seedStore(dataFolder, shareFolder, &problem)) problems << problem;
  if (!seedLanguage(dataFolder, shareFolder, languages, &problem)) problems << problem;
  *error = problems.join(QLatin1String("; "));
  return problems.isEmpty();
}

bool prepareDataFolder(QString* error) {
  if (chooseDataFolderKind() == DataFolderKind::Portable) return true;
  // A portable folder that cannot be written is its own set of samples.
  const QString source = QFileInfo(installedShareFolder()).isDir() ? installedShareFolder() : exeFolder();
  return seedDataFolder(dataFolder(), source, desktopLanguages(QProcessEnvironment::systemEnvironment()),
                        error);
}

QString builtInHomeHost() { return QStringLiteral(NIMBRA_HOME_HOST); }

bool isUsableHomeHost(const QString& host) {
  static const QRegularExpression kHost(QStringLiteral("^[a-z0-9]([a-z0-9.-]*[a-z0-9])?$"));
  return host.size() <= 200 && !host.contains(QLatin1String("..")) && kHost.match(host).hasMatch();
}

std::optional<QString> homeSiteAddress(const QString& text) {
  QString rest = text.trimmed();
  QString scheme = QStringLiteral("http");
  if (const qsizetype mark = rest.indexOf(QLatin1String("://")); mark >= 0) {
    scheme = rest.left(mark).toLower();
    rest = rest.mid(mark + 3);
  }
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return std::nullopt;
  const qsizetype slash = rest.indexOf(QLatin1Char('/'));
  QString authority = (slash < 0 ? rest : rest.left(slash)).toLower();
  QString folder = slash < 0 ? QString() : rest.mid(slash);
  while (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
  static const QRegularExpression kFolder(QStringLiteral("^(/[A-Za-z0-9._~%!$&'()*+,;=:@-]+)*$"));
  if (!kFolder.match(folder).hasMatch() || folder.contains(QLatin1String("/./")) ||
      folder.contains(QLatin1String("/../")) || folder.endsWith(QLatin1String("/..")))
    return std::nullopt;
  QString port;
  if (const qsizetype colon = authority.indexOf(QLatin1Char(':')); colon >= 0) {
    port = authority.mid(colon + 1);
    authority = authority.left(colon);
    bool number = false;
    const int value = port.toInt(&number);
    if (!number || value < 1 || value > 65535 || port.startsWith(QLatin1Char('+')) ||
        port.startsWith(QLatin1Char('0')))
      return std::nullopt;
    const int schemesOwn = scheme == QLatin1String("https") ? 443 : 80;
    if (value == schemesOwn) port.clear();
  }
  if (!isUsableHomeHost(authority)) return std::nullopt;
  return scheme + QLatin1String("://") + authority + (port.isEmpty() ? QString() : QLatin1Char(':') + port) +
         folder;
}

namespace {

std::optional<QString> usableOverride(const QString& value, const char* origin) {
  if (value.trimmed().isEmpty()) return std::nullopt;
  if (const std::optional<QString> address = homeSiteAddress(value)) return address;
  qWarning("%s: \"%s\" is not a host or an http:// or https:// address; it is not used", origin,
           qPrintable(value));
  return std::nullopt;
}

QString settingsFileOf(const QString& dataFolder) { return dataFolder + QStringLiteral("setting.ini"); }

}  // namespace

QString homeSite(const QString& dataFolder) {
  if (const auto site = usableOverride(qEnvironmentVariable("NIMBRA_HOME_HOST"), "NIMBRA_HOME_HOST"))
    return *site;
  const IniFile settings(settingsFileOf(dataFolder));
  const QString configured = settings.ReadIniText(QStringLiteral("home"), QStringLiteral("host"), QString());
  if (const auto site = usableOverride(configured, "setting.ini [home] host")) return *site;
  return QStringLiteral("http://") + builtInHomeHost();
}

void storeHomeSite(const QString& dataFolder, const QString& address) {
  IniFile(settingsFileOf(dataFolder)).WriteIniText(QStringLiteral("home"), QStringLiteral("host"), address);
}

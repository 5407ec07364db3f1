#include "tools/publish/SiteStaging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>

#include "platform/AtomicFile.h"

namespace publish {

namespace {

enum class EntryKind { Missing, Folder, File, Link, Other };

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

// The entry itself, never what a link points at.
EntryKind entryKind(const QString& path) {
  struct stat info {};
  if (::lstat(encoded(path).constData(), &info) != 0) return EntryKind::Missing;
  if (S_ISLNK(info.st_mode)) return EntryKind::Link;
  if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
  if (S_ISREG(info.st_mode)) return EntryKind::File;
  return EntryKind::Other;
}

// The folders from the site down to the one `relative` lies in, outermost
// first: "pictures", "pictures/normal", "pictures/normal/1".
QStringList foldersOnTheWay(const QString& relative) {
  const QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
  QStringList folders;
  for (qsizetype i = 1; i < parts.size(); ++i) folders << parts.first(i).join(u'/');
  return folders;
}

bool isRealEntry(const QString& site, const QString& relative, EntryKind kind) {
  for (const QString& folder : foldersOnTheWay(relative))
    if (entryKind(site + u'/' + folder) != EntryKind::Folder) return false;
  return entryKind(site + u'/' + relative) == kind;
}

// A link, even one to a folder, goes as a link: QDir::removeRecursively
// never follows one.
void removeEntry(const QString& path) {
  if (entryKind(path) == EntryKind::Folder)
    QDir(path).removeRecursively();
  else
    ::unlink(encoded(path).constData());
}

// A replaced file keeps its permissions, as with writeFileAtomically.
void keepMode(const QString& from, const QString& to) {
  struct stat info {};
  if (::stat(encoded(from).constData(), &info) == 0) ::chmod(encoded(to).constData(), info.st_mode & 07777);
}

bool failWith(QString* error, const QString& text) {
  if (error) *error = text;
  return false;
}

QString cannotWrite(const QString& path, const QString& reason) {
  return QStringLiteral("cannot write %1: %2").arg(path, reason);
}

QString cannotCreate(const QString& path, int code) {
  return QStringLiteral("cannot create %1: %2").arg(path, errnoText(code));
}

}  // namespace

bool isRealFile(const QString& site, const QString& relative) {
  return isRealEntry(site, relative, EntryKind::File);
}

bool isRealFolder(const QString& site, const QString& relative) {
  return isRealEntry(site, relative, EntryKind::Folder);
}

SiteStaging::SiteStaging(const QString& site)
    : m_site(site), m_folder(site + u'/' + QLatin1String(kStagingFolderName)) {}

SiteStaging::~SiteStaging() { removeEntry(m_folder); }

bool SiteStaging::prepare(QString* error) {
  removeEntry(m_folder);
  for (const QString& folder : {m_folder, m_folder + QStringLiteral("/old")})
    if (::mkdir(encoded(folder).constData(), 0777) != 0) return failWith(error, cannotCreate(folder, errno));
  return true;
}

QString SiteStaging::stagedPath(const QString& relative) const {
  return m_folder + QStringLiteral("/new/") + relative;
}

// Looked at for every target before anything moves, so that the usual
// causes of failure (a file where a folder must go, a page made read-only)
// leave the site untouched. A link on the way is no problem: it is put
// aside for a real folder, and nothing below it is looked at.
QString SiteStaging::problemWith(const QString& target) const {
  const QString path = m_site + u'/' + target;
  for (const QString& folder : foldersOnTheWay(target)) {
    const EntryKind kind = entryKind(m_site + u'/' + folder);
    if (kind == EntryKind::Missing || kind == EntryKind::Link) return {};
    if (kind != EntryKind::Folder)
      return cannotWrite(path, QStringLiteral("%1 is not a folder").arg(m_site + u'/' + folder));
  }
  int code = 0;
  switch (entryKind(path)) {
    case EntryKind::Folder:
      return cannotWrite(path, QStringLiteral("a folder is in its place"));
    case EntryKind::File:
    case EntryKind::Other:
      return mayReplaceFile(path, &code) ? QString() : cannotWrite(path, errnoText(code));
    case EntryKind::Missing:
    case EntryKind::Link:
      break;
  }
  return {};
}

// The old entry moves into the staging folder, to come back should the
// commit fail. A file gets a second name there instead, so that readers
// find it in its place until the new one replaces it in one rename; only
// where the file system has no such names is there a moment without it.
QString SiteStaging::putAside(const QString& path, bool folder) {
  const QString aside = m_folder + QStringLiteral("/old/") + QString::number(m_asideCount++);
  const QByteArray from = encoded(path), to = encoded(aside);
  if (!folder && ::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 0) == 0) return aside;
  return ::rename(from.constData(), to.constData()) == 0 ? aside : QString();
}

bool SiteStaging::makeFoldersFor(const QString& target, QString* error) {
  for (const QString& folder : foldersOnTheWay(target)) {
    const QString path = m_site + u'/' + folder;
    const EntryKind kind = entryKind(path);
    if (kind == EntryKind::Folder) continue;
    if (kind == EntryKind::Link) {
      const QString aside = putAside(path, true);
      if (aside.isEmpty()) return failWith(error, cannotCreate(path, errno));
      m_done.push_back({Undo::Kind::BringBack, path, aside});
    }
    if (::mkdir(encoded(path).constData(), 0777) != 0) return failWith(error, cannotCreate(path, errno));
    m_done.push_back({Undo::Kind::RemoveFolder, path, {}});
  }
  return true;
}

bool SiteStaging::place(const QString& target, QString* error) {
  const QString path = m_site + u'/' + target;
  const QString staged = stagedPath(target);
  const EntryKind kind = entryKind(path);
  if (kind == EntryKind::Folder)
    return failWith(error, cannotWrite(path, QStringLiteral("a folder is in its place")));
  if (kind == EntryKind::File) keepMode(path, staged);
  if (kind != EntryKind::Missing) {
    const QString aside = putAside(path, false);
    if (aside.isEmpty()) return failWith(error, cannotWrite(path, errnoText(errno)));
    m_done.push_back({Undo::Kind::BringBack, path, aside});
  }
  if (!moveIntoPlace(encoded(staged).toStdString(), encoded(path).toStdString()))
    return failWith(error, cannotWrite(path, errnoText(errno)));
  if (kind == EntryKind::Missing) m_done.push_back({Undo::Kind::RemovePlaced, path, {}});
  return true;
}

QString SiteStaging::rollBack() {
  QStringList unrestored;
  for (auto step = m_done.rbegin(); step != m_done.rend(); ++step) {
    const QByteArray path = encoded(step->path);
    bool undone = false;
    switch (step->kind) {
      case Undo::Kind::RemovePlaced:
        undone = ::unlink(path.constData()) == 0;
        break;
      case Undo::Kind::RemoveFolder:
        undone = ::rmdir(path.constData()) == 0;
        break;
      case Undo::Kind::BringBack:
        undone = ::rename(encoded(step->aside).constData(), path.constData()) == 0;
        break;
    }
    if (!undone) unrestored << step->path;
  }
  m_done.clear();
  return unrestored.join(QStringLiteral(", "));
}

// The caller orders the targets so that the site stays whole should even
// the rollback fail part way (Publisher.cpp).
bool SiteStaging::commit(const QStringList& targets, QString* error) {
  const QString untouched = QStringLiteral("; the site is left as it was");
  for (const QString& target : targets)
    if (const QString problem = problemWith(target); !problem.isEmpty())
      return failWith(error, problem + untouched);
  for (const QString& target : targets) {
    QString problem;
    if (makeFoldersFor(target, &problem) && place(target, &problem)) continue;
    const QString unrestored = rollBack();
    return failWith(
        error,
        problem + (unrestored.isEmpty() ? untouched : QStringLiteral("; could not put back ") + unrestored));
  }
  m_done.clear();
  return true;
}

}  // namespace publish

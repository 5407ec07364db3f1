// Desktops remember the wallpaper by its path: GNOME, Plasma and pcmanfm-qt
// keep what they drew (or a scaled copy of it) and pass over a path they
// already hold, so a file that was overwritten and set again would not show.
// Each picture reaches the desktop as a copy under a name the folder does
// not hold yet, so never the one the desktop shows now; the name carries
// the content's digest, so even a name used before, when the folder was
// emptied behind the program's back, names the same picture as it did then.
#include <unistd.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/AtomicFile.h"
#include "platform/FileNames.h"
#include "platform/WallpaperSetter.h"

namespace {

const QString kCopyPrefix = QStringLiteral("wallpaper-");

// The picture's own suffix, so that a desktop that goes by it reads the
// copy as the same kind of file; none when it is anything but a plain one.
QString copySuffix(const QString& path) {
  static const QRegularExpression kPlainSuffix(QStringLiteral("^[a-z0-9]{1,5}$"));
  const QString suffix = QFileInfo(path).suffix().toLower();
  return kPlainSuffix.match(suffix).hasMatch() ? u'.' + suffix : QString();
}

// A copy for one monitor carries the monitor's name (in hexadecimal, which
// any file system takes), so that the copies the other monitors show stay.
QString copyPrefix(const WallpaperTarget& target) {
  if (!target.isOneMonitor()) return kCopyPrefix;
  return kCopyPrefix + u'm' + QString::fromLatin1(target.monitor.name.toUtf8().toHex()) + u'-';
}

QString freshCopyPath(const QString& folder, const QByteArray& content, const QString& path,
                      const WallpaperTarget& target) {
  const QString digest =
      QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex().left(16));
  for (int n = 1;; ++n) {
    const QString copy = folder + copyPrefix(target) + digest + u'-' + QString::number(n) + copySuffix(path);
    if (kindOfPath(copy) == PathKind::Missing) return copy;
  }
}

void removeFile(const QString& path) { ::unlink(encodeFileName(path).constData()); }

class FreshCopySetter : public WallpaperSetter {
 public:
  FreshCopySetter(std::unique_ptr<WallpaperSetter> desktop, QString copyFolder)
      : m_desktop(std::move(desktop)), m_folder(std::move(copyFolder)) {
    if (!m_folder.endsWith(u'/')) m_folder += u'/';
  }

  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    return setWallpaperOn(path, WallpaperTarget::allMonitors(), cancel);
  }
  SetResult restoreChoices(const CancelToken& cancel) override { return m_desktop->restoreChoices(cancel); }

  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    QString why;
    const QByteArray content = readPicture(path, &why);
    if (!why.isEmpty()) return SetResult::failed(why);
    const QString copy = freshCopyPath(m_folder, content, path, target);
    if (!writeFileAtomically(copy, content, Durability::FlushBeforeRename, &why))
      return SetResult::failed(QStringLiteral("cannot keep a copy for the desktop: %1").arg(why));

    const SetResult result = m_desktop->setWallpaperOn(copy, target, cancel);
    switch (result.status) {
      case SetStatus::Applied:
        removeCopiesBut(copy, target);
        break;
      case SetStatus::TimedOut:
        // The desktop may have taken it after all; the next picture set clears it away.
        break;
      case SetStatus::Failed:
      case SetStatus::Unavailable:
      case SetStatus::NotRunning:
        // The desktop still shows the copy it had.
        removeFile(copy);
        break;
    }
    return result;
  }

  QString name() const override { return m_desktop->name(); }

 private:
  static QByteArray readPicture(const QString& path, QString* why) {
    const std::unique_ptr<QFile> file = openFileForReading(path);
    QByteArray content;
    if (file) content = file->readAll();
    if (!file || file->error() != QFileDevice::NoError)
      *why = QStringLiteral("cannot read \"%1\" to copy it for the desktop").arg(path);
    return content;
  }

  // The copies that no monitor shows any more: all but the new one after a
  // picture for all, the monitor's older ones after a picture for one.
  void removeCopiesBut(const QString& kept, const WallpaperTarget& target) const {
    const QString replaced = copyPrefix(target);
    for (const FolderEntry& entry : readFolder(m_folder)) {
      const QString path = m_folder + entry.name;
      if (entry.kind == EntryKind::File && entry.name.startsWith(replaced) && path != kept) removeFile(path);
    }
  }

  std::unique_ptr<WallpaperSetter> m_desktop;
  QString m_folder;
};

}  // namespace

std::unique_ptr<WallpaperSetter> makeFreshCopySetter(std::unique_ptr<WallpaperSetter> desktop,
                                                     const QString& copyFolder) {
  return std::make_unique<FreshCopySetter>(std::move(desktop), copyFolder);
}

QString wallpaperCopyFolder(const QString& dataFolder) {
  return dataFolder + QStringLiteral("wallpaper-cache/");
}

// A run's new files, made in a hidden folder inside the site and moved into
// place together at the end, so that a run that fails anywhere leaves the
// site as it was. Only real entries below the site are written or removed: a
// link met on the way is put aside and a real file or folder takes its place,
// so that what it points at is never touched.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace publish {

inline constexpr char kStagingFolderName[] = ".nimbra-catalogue.staging";

// Whether `relative` below `site` is a regular file, or a folder, that the
// site itself holds: no link on the way to it, nor the entry itself.
bool isRealFile(const QString& site, const QString& relative);
bool isRealFolder(const QString& site, const QString& relative);

class SiteStaging {
 public:
  // `site` is the site folder as the run resolved it once.
  explicit SiteStaging(const QString& site);
  // Whatever is still staged goes, and with it the old files that a commit
  // replaced.
  ~SiteStaging();
  SiteStaging(const SiteStaging&) = delete;
  SiteStaging& operator=(const SiteStaging&) = delete;

  // Clears what a killed run left and makes the staging folder afresh.
  bool prepare(QString* error);
  // Where the new version of the site's file `relative` is to be written.
  QString stagedPath(const QString& relative) const;

  // Puts the staged files in their place in the site, in the order given:
  // all of them, or, when one cannot go, none. Every target is looked at
  // before the first one is moved; should a move fail anyway, those done
  // are undone in reverse order. False, with the reason in `error`.
  bool commit(const QStringList& targets, QString* error);

 private:
  // What a done step of a commit left, to be undone should a later one fail.
  struct Undo {
    enum class Kind { RemovePlaced, RemoveFolder, BringBack };
    Kind kind;
    QString path;
    QString aside;  // BringBack: where the old entry waits
  };

  QString problemWith(const QString& target) const;
  bool makeFoldersFor(const QString& target, QString* error);
  bool place(const QString& target, QString* error);
  QString putAside(const QString& path, bool folder);
  QString rollBack();

  QString m_site;
  QString m_folder;
  int m_asideCount = 0;
  std::vector<Undo> m_done;
};

}  // namespace publish

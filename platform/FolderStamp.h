// Whether a folder's entries can have changed, told without reading them.
// Adding, removing or renaming an entry sets the folder's change time
// (st_ctime) to the present, and so does setting its modification time back,
// which cp -a, tar and rsync -a do; nothing sets the change time back. So a
// folder whose change time, modification time and identity are the same as
// before still has the entries it had.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

struct FolderStamp {
  quint64 device = 0;
  quint64 inode = 0;
  qint64 modifiedSeconds = 0;
  qint64 modifiedNanoseconds = 0;
  qint64 changedSeconds = 0;
  qint64 changedNanoseconds = 0;
  quint64 links = 0;
  qint64 size = 0;

  bool operator==(const FolderStamp&) const = default;
};

enum class StampTrust {
  // Any later change of the entries gives another stamp.
  Reliable,
  // A change could leave the stamp as it is: the folder changed within the
  // last tick of the file system's clock, or its file system lets a change
  // time be set back (FAT) or takes it from another machine's clock.
  Unreliable,
};

struct FolderStampReading {
  FolderStamp stamp;
  StampTrust trust = StampTrust::Unreliable;
};

// The folder's stamp now; none when there is no such folder.
std::optional<FolderStampReading> readFolderStamp(const QString& folder);

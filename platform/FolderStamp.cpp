#include "platform/FolderStamp.h"

#include <sys/stat.h>
#include <sys/vfs.h>

#include <ctime>

#include "platform/FileNames.h"

namespace {

// The local file systems that keep a change time of their own with every
// change. Any other (FAT, whose change time is its modification time; network
// and FUSE file systems, whose times come from elsewhere) is read afresh.
bool keepsItsOwnChangeTime(const QString& folder) {
  struct statfs system {};
  if (::statfs(encodeFileName(folder).constData(), &system) != 0) return false;
  switch (static_cast<unsigned long>(system.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // f2fs
    case 0x794C7630:  // overlayfs
    case 0x2FC12FC1:  // zfs
    case 0xCA451A4E:  // bcachefs
    case 0x52654973:  // reiserfs
    case 0x3153464A:  // jfs
      return true;
    default:
      return false;
  }
}

qint64 nanoseconds(qint64 seconds, qint64 nanoseconds) { return seconds * 1'000'000'000 + nanoseconds; }

// File systems take change times from a clock that advances a tick (10 ms at
// most) at a time, so a change made in the tick the stamp was read in could
// leave the change time as it was. When the stamp is read well after the last
// change (five of the slowest ticks), any later change gets a later time.
// Whole seconds in both times mean a file system that keeps only seconds.
bool longSettled(const FolderStamp& stamp, const timespec& readAt) {
  const bool wholeSeconds = stamp.changedNanoseconds == 0 && stamp.modifiedNanoseconds == 0;
  const qint64 settle = wholeSeconds ? 2'000'000'000 : 50'000'000;
  const qint64 age = nanoseconds(readAt.tv_sec, readAt.tv_nsec) -
                     nanoseconds(stamp.changedSeconds, stamp.changedNanoseconds);
  return age > settle;
}

}  // namespace

std::optional<FolderStampReading> readFolderStamp(const QString& folder) {
  timespec readAt{};
  ::clock_gettime(CLOCK_REALTIME, &readAt);
  struct stat info {};
  if (::stat(encodeFileName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  FolderStampReading reading;
  FolderStamp& stamp = reading.stamp;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.modifiedSeconds = info.st_mtim.tv_sec;
  stamp.modifiedNanoseconds = info.st_mtim.tv_nsec;
  stamp.changedSeconds = info.st_ctim.tv_sec;
  stamp.changedNanoseconds = info.st_ctim.tv_nsec;
  stamp.links = info.st_nlink;
  stamp.size = info.st_size;
  const bool reliable = longSettled(stamp, readAt) && keepsItsOwnChangeTime(folder);
  reading.trust = reliable ? StampTrust::Reliable : StampTrust::Unreliable;
  return reading;
}

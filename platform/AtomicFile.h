// The one way the program rewrites a file: a temporary file beside it,
// renamed over it, so that a crash leaves the old file or the new one and
// never half of either.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <string>

enum class Durability {
  RenameOnly,         // atomic for every other process; ext4, XFS and btrfs order the rename after the data
  FlushBeforeRename,  // also survives a power cut, at the price of a disk flush
};

// Replaces `path` by `content`, creating its folder when missing. A symbolic
// link stays a link (its target is replaced) and an existing file keeps its
// permissions. A file the user may not write (see mayReplaceFile) is not
// replaced, although the rename would be allowed by the folder. False, with
// the reason in `error`, leaves the old file as it was.
bool writeFileAtomically(const QString& path, QByteArrayView content, Durability durability,
                         QString* error = nullptr);

// Whether writeFileAtomically may replace `path` (a link: its target): yes
// when there is no such file; otherwise whether the user may write it, as the
// file system decides for a process without privileges. For root, whom the
// file system lets write anything, the permission bits of the class root
// falls in (owner, group or other) decide, so that a file made read-only, or
// another user's file, is not taken over. False sets `errorCode` (an errno
// value) when given.
bool mayReplaceFile(const QString& path, int* errorCode = nullptr);

// The last step of every replacement: `from`, written in full beside `to`,
// takes its place in one rename, replacing any file there.
bool moveIntoPlace(const std::string& from, const std::string& to);

// The system's text for an errno value.
QString errnoText(int error);

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
// permissions. False, with the reason in `error`, leaves the old file as it was.
bool WriteFileAtomically(const QString& path, QByteArrayView content, Durability durability,
                         QString* error = nullptr);

// The last step of every replacement: `from`, written in full beside `to`,
// takes its place in one rename, replacing any file there.
bool MoveIntoPlace(const std::string& from, const std::string& to);

// The system's text for an errno value.
QString ErrnoText(int error);

// File names as the system keeps them. A Linux name is a string of bytes in no
// particular encoding; Qt decodes names as UTF-8 and turns every byte outside
// valid UTF-8 into U+FFFD, which names a file that does not exist. Here a
// byte that is not part of valid UTF-8 becomes the lone surrogate U+DC80 +
// byte (as Python's "surrogateescape" does), and encoding gives the very same
// bytes back, so such a name can be listed, opened and stored. A name that is
// valid UTF-8 decodes to the text Qt would give it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QStringView>
#include <memory>
#include <vector>

QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(QStringView name);

// Whether a decoded name holds bytes that are not UTF-8. Such a name cannot
// pass through anything that takes text (program arguments, D-Bus, GSettings
// strings) without turning into another name.
bool holdsForeignBytes(QStringView name);

// The name folded for comparison without regard to case, as
// QString::toCaseFolded does it, but for the characters that stand for bytes
// that are not UTF-8: Qt would make each of them U+FFFD, and so two names one.
QString foldFileNameCase(const QString& name);

// A file:// URI that names the file's bytes exactly: every byte other than
// letters, digits, "-._~", "/" and the characters a URI path allows as they
// are is percent-encoded. `absolutePath` starts with "/".
QByteArray fileUri(const QString& absolutePath);

// --- reading folders and opening files by their bytes

enum class EntryKind { File, Folder, Other };  // links are followed: a broken link is Other

struct FolderEntry {
  QString name;
  EntryKind kind = EntryKind::Other;
  bool isLink = false;
};

// The entries of a folder but "." and "..", in the order the system gives
// them; none for a missing or unreadable folder.
std::vector<FolderEntry> readFolder(const QString& folder);

// The path with every link and "." or ".." resolved; empty when it does not exist.
QString realPath(const QString& path);

// What a path names, links followed.
// Other: something that is not a file or folder (a pipe, a device, a socket,
// links that lead round in a circle).
enum class PathKind { Missing, File, Folder, Other };
PathKind kindOfPath(const QString& path);

// Whether the path is a regular file (or a link to one) that this user may read.
bool isReadableFile(const QString& path);

enum class OpenFailure { None, Missing, NotAFile, Unreadable };

// Opens a regular file for reading. A pipe or device is never opened for
// reading, as reading one could block for ever. Null, with the reason in
// `failure` when given, when it cannot be opened.
std::unique_ptr<QFile> openFileForReading(const QString& path, OpenFailure* failure = nullptr);

// Why a desktop tool that takes file names as text cannot be given `path`,
// which holds bytes that are not UTF-8 (see holdsForeignBytes).
QString foreignBytesReason(const QString& path, const QString& tool);

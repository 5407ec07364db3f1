// The rotation list's rules: the "list.dat" format, the scan of a shape
// folder, and the position arithmetic of Next, Previous and Advance. No
// widget is involved here.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "library/StoreRules.h"

// --- "list.dat"

// Entries of the file's text: CR, LF or CR LF end a line, text after the last
// line end is a last entry, a zero byte ends the text, an empty line is an
// empty entry. UTF-8 when valid; a line that is not is the file its bytes
// name (platform/FileNames.h), or else text in the legacy code page. A UTF-8
// byte-order mark is one only at the very start of the file.
QStringList parseRotationText(const QByteArray& bytes);
// CR LF after every entry, the last one included; each path's own bytes
// (UTF-8 for a name that is), with a byte-order mark first when the first
// entry starts with U+FEFF, so that it reads back.
// Entries must be listable (canBeListed).
QByteArray formatRotationText(const QStringList& entries);

// Whether the file can hold a path: one with a line break would split into
// lines that name no file.
bool canBeListed(const QString& path);

// Reads a list file; std::nullopt when it does not exist or cannot be read.
std::optional<QStringList> readRotationFile(const QString& path);
// Writes a list file through a temporary file renamed into place, creating
// its folder when missing. False (with a reason) leaves the old file intact.
bool writeRotationFile(const QString& path, const QStringList& entries, QString* error = nullptr);

// --- the scan

// Whether a file name is a rotation picture: its extension from the last
// "." is ".jpg" or ".bmp" and it starts with "l", both in any case.
bool isRotationPicture(const QString& fileName);

// Appends every rotation picture below `folder` (ending with "/"), depth
// first in case-insensitive name order: a subfolder's pictures come at the
// subfolder's place. A symbolic link to a folder that the scan is already
// inside is not followed. Pictures whose path cannot be listed are left out
// and returned.
QStringList CollectLargePictures(const QString& folder, QStringList& list);

// --- positions (1-based, as CurrentIndex)

using ExistsFn = std::function<bool(const QString&)>;
// The file-system existence test used by default.
bool fileExists(const QString& path);

// CurrentIndex after removing the entry at `removed`, `countLeft` entries
// remaining.
int positionAfterRemoval(int current, int removed, int countLeft);

// Removes the entries whose file is missing, adjusting `current` for each.
void dropMissingEntries(QStringList& entries, int& current, const ExistsFn& exists = fileExists);

// The row Next makes current: the first existing row after `current`,
// wrapping to the start, never `current` itself. None when no other row exists.
std::optional<int> nextPosition(const QStringList& rows, int current, const ExistsFn& exists = fileExists);
// The row Previous makes current: the first existing row before `current`,
// wrapping to the end.
std::optional<int> previousPosition(const QStringList& rows, int current,
                                    const ExistsFn& exists = fileExists);

// The row AdvanceRotation applies: the one after `current`, or row 1 at the
// end. None for an empty list.
std::optional<int> advanceTarget(int current, int count);

// A stored CurrentIndex brought into 1..count + 1: anything outside becomes
// count + 1 (one past the end), so the next step starts again at row 1. An
// empty list leaves it unchanged.
int positionInRange(int current, int count);

// Whether at least one whole day (24 hours) lies between the two times, in
// either direction.
bool dayHasPassed(const QDateTime& previous, const QDateTime& now);

// The preview picture's place on the settings page for the screen's shape.
QRect previewGeometry(Shape screenShape);

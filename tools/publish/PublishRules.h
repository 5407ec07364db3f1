// The rules of a published catalogue that need no file: which source folders
// are categories, which files are pictures, the shape of a picture, the names
// pictures get in the site, and the site's address.
#pragma once

#include <QByteArrayView>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

#include "library/PictureNaming.h"

namespace publish {

// Shared with the import into the program's store.
using ::categoryOfFolder;
using ::contentHash;
using ::hashFromText;
using ::hashText;
using ::kCategoryCaptions;
using ::pictureTail;
using ::safeStem;
using ::shapeOfPicture;

enum class SourceKind { Jpeg, OtherPicture, NotAPicture };
// By the extension, in any case: JPEG (.jpg, .jpeg, .jpe), PNG and BMP files
// are the pictures of a catalogue, the rest are passed over. Which of them
// is published as it is and which converted is told by the content: a JPEG
// goes out as it is, every other picture is converted.
SourceKind kindOfSourceFile(const QString& fileName);

// The box the program shows a thumbnail of that shape in.
QSize thumbnailSize(Shape shape);
// "normal" or "widescreen": the shape's folder in the site.
QString shapeFolderName(Shape shape);

// Orders source paths as people number their files: runs of digits by their
// value ("2" before "10"), everything else without regard to ASCII case, and
// exact text last, so the order never depends on the locale.
bool naturalLess(const QString& a, const QString& b);

// The address the site is served at, as every address of the index starts:
// "http://" + host + an optional path of lower-case letters, digits, ".",
// "-", "_" and "~", ending with "/" (added when missing). The host follows the
// program's rule for its home host (no port: the program talks to port 80).
// The path may hold neither "/s_" nor "/l_", which the program takes for a
// picture's name. Empty, with the reason in problem, when text is not such
// an address.
QString siteBaseUrl(const QString& text, QString* problem);
// "http://" + host + "/".
QString baseUrlOfHost(const QString& host);

}  // namespace publish

// The rules of a published catalogue that need no file: which source folders
// are categories, which files are pictures, the shape of a picture, the names
// pictures get in the site, and the site's address.
#pragma once

#include <QByteArrayView>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

#include "library/StoreRules.h"

namespace publish {

// The English captions of categories 1 to 5, as the program shows them.
inline constexpr const char* kCategoryCaptions[kCategoryCount] = {"Nature", "Cartoon", "Holiday",
                                                                  "Game and Movies", "Art & illustrator"};

// The category a source folder stands for: its number ("1" to "5") or its
// caption in any letter case; 0 for any other name.
int categoryOfFolder(const QString& name);

enum class SourceKind { Jpeg, OtherPicture, NotAPicture };
// By the extension, in any case: JPEG (.jpg, .jpeg, .jpe), PNG and BMP files
// are the pictures of a catalogue, the rest are passed over. Which of them
// is published as it is and which converted is told by the content: a JPEG
// goes out as it is, every other picture is converted.
SourceKind kindOfSourceFile(const QString& fileName);

// The program's own rule: wider than 3:2 is widescreen.
Shape shapeOfPicture(QSize size);
// The box the program shows a thumbnail of that shape in.
QSize thumbnailSize(Shape shape);
// "normal" or "widescreen": the shape's folder in the site.
QString shapeFolderName(Shape shape);

// A file name reduced to what survives every server, the catalogue's
// lower-casing and the program's safe-name test: ASCII letters (lower-cased,
// accents dropped), digits and single hyphens, at most 48 characters; never
// empty. The extension is left off.
QString safeStem(const QString& fileName);

// The name shared by a picture's "s_" thumbnail and "l_" large picture:
// stem + "-" + 8 hex digits of the content hash, + "-" + clash number from 2
// on when another picture of the same shape and category would take the same
// name, + ".jpg". The content hash makes a changed picture a new name, so a
// program that keeps the old one under its name never shows it in place of
// the new one.
QString pictureTail(const QString& stem, std::uint64_t contentHash, int clashNumber);

// A fast 64-bit hash of a file's bytes (XXH64, seed 0); the same on every
// machine, so that names stay the same wherever the site is published from.
std::uint64_t contentHash(QByteArrayView bytes);
QString hashText(std::uint64_t hash);
std::optional<std::uint64_t> hashFromText(const QString& text);

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

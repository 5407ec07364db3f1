// How a picture that comes into the store or into a published catalogue is
// named and sorted in: its category by name, its shape by its proportions,
// and the tail its "s_" and "l_" files share. The publisher and the import
// name pictures alike, so a picture keeps its name whichever way it came.
#pragma once

#include <QByteArrayView>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

#include "library/StoreRules.h"

// The English captions of categories 1 to 5, as the program shows them.
inline constexpr const char* kCategoryCaptions[kCategoryCount] = {"Nature", "Cartoon", "Holiday",
                                                                  "Game and Movies", "Art & illustrator"};

// The category a name stands for: its number ("1" to "5") or its English
// caption in any letter case; 0 for any other name.
int categoryOfFolder(const QString& name);

// The program's own rule: wider than 3:2 is widescreen.
Shape shapeOfPicture(QSize size);

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

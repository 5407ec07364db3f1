// The picture store: its folders beside the executable, the naming of its
// picture pairs ("s_" thumbnail, "l_" large picture) and the paging of a
// picture list into the six-slot grid. No widget is involved here.
#pragma once

#include <QString>
#include <QStringList>

enum class Shape { Normal, Widescreen };
enum class StoreSide { Local, Network };
enum class NetworkFile { Thumbnail, LargePicture };

constexpr int kCategoryCount = 5;
constexpr int kSlotsPerPage = 6;
constexpr int kPageLinkCount = 20;

// "wallpaper/normal/" or "wallpaper/widescreen/" below the data folder
// (which ends with "/").
QString shapeFolder(const QString& dataFolder, Shape shape);
// The shape folder + "local/" or "network/".
QString sideFolder(const QString& dataFolder, Shape shape, StoreSide side);
// The side folder + N + "/" for category N (1..5).
QString categoryFolder(const QString& dataFolder, Shape shape, StoreSide side, int category);

// The category of the n-th local or network category link (1..5); any other
// link counts as category 1.
int categoryOfLink(int linkNumber);

// --- paging

// Pages needed for `count` pictures, six a page (0 for none). More than
// twenty pages can result; only twenty page links exist.
int pageCount(int count);

// The part of a list that one page shows.
struct PageSlice {
  int page = 1;              // the page shown: the requested one, or 1 when the list is shorter
  bool markPageOne = false;  // the list is empty or the requested page does not exist
  int first = 0;             // 0-based index of the page's first entry
  int size = 0;              // entries on the page, 0..6
};
PageSlice sliceOfPage(int count, int requestedPage);

// --- local categories

// A local category's thumbnails and, for each, its large picture's path.
struct CategoryListing {
  QStringList thumbnails;
  QStringList larges;
};

// Lists `folder` (ending with "/"): regular files whose names start with
// "s_" in any case and end in ".jpg" or ".bmp" in any case, in
// case-insensitive name order. A missing folder lists nothing. A name that
// is not UTF-8 keeps its bytes (platform/FileNames.h).
CategoryListing listLocalCategory(const QString& folder);

// The large picture belonging to a thumbnail path: the file in the same folder
// named "l_" + the thumbnail's tail without regard to case; when there is
// none, the folder + "l_" + the tail lower-cased, so that applying it fails.
QString largePicturePath(const QString& thumbnailPath);

// --- network categories and the downloaded view

// Every stored large picture of a shape's network categories 1..5, in
// category order and case-insensitive name order within a category: "l_"
// names in any case ending in ".jpg" or ".bmp" in any case.
QStringList listDownloadedPictures(const QString& dataFolder, Shape shape);

// Whether a catalogue address belongs to category N: "/N/s_" occurs in it
// after its first character.
bool addressInCategory(const QString& address, int category);

// The large picture's address of a thumbnail address: every "/s_" becomes "/l_".
QString largeAddressOf(const QString& thumbnailAddress);

// Where the local copy of a network file is kept: the shape's network folder
// + the category digit before the first "/s_" (or "/l_") + "/" + the name from
// that "s_" (or "l_") on. Empty when the address has no such part, the digit
// is not a category, or the name is not a safe file name.
QString storedNetworkPath(const QString& dataFolder, Shape shape, const QString& address, NetworkFile kind);

// A name that stays inside its folder: not empty, no "/", no "..", no NUL or
// other control character, and nothing the download engine names its
// segment files with.
bool isSafeFileName(const QString& name);

// Sorts file names without regard to case; names equal but for case keep a
// fixed order, so pages stay stable whatever order the folder returns.
void sortNamesCaseInsensitive(QStringList& names);
bool nameLessCaseInsensitive(const QString& a, const QString& b);

// ASCII-only lower-casing (A..Z), as the store's rules use it.
QString asciiLower(const QString& text);

#include "library/StoreRules.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <utility>
#include <vector>

#include "download/DownloadRules.h"
#include "platform/FileNames.h"

namespace {

bool hasPictureExtension(const QString& name) {
  return name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive) ||
         name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive);
}

bool isCategory(int category) { return category >= 1 && category <= kCategoryCount; }

// Regular files of a folder (links to regular files included), sorted.
// Folders, broken links and special files are left out: opening a pipe named
// like a picture would hang the grid. Names keep their bytes, UTF-8 or not.
QStringList sortedFileNames(const QString& folder) {
  QStringList names;
  for (FolderEntry& entry : readFolder(folder)) {
    if (entry.kind == EntryKind::File) names.append(std::move(entry.name));
  }
  sortNamesCaseInsensitive(names);
  return names;
}

QString folderOf(const QString& path) { return path.left(path.lastIndexOf('/') + 1); }

// The "l_" files of a folder: their exact names, and the real name of each
// keyed by its case-folded name; where names differ only in case, the first
// in sorted order stands for all of them.
struct LargeIndex {
  QSet<QString> exact;
  QHash<QString, QString> byFolded;
};

LargeIndex indexLargeNames(const QStringList& sortedNames) {
  LargeIndex index;
  for (const QString& name : sortedNames) {
    if (!name.startsWith(QLatin1String("l_"), Qt::CaseInsensitive)) continue;
    index.exact.insert(name);
    const QString folded = foldFileNameCase(name);
    if (!index.byFolded.contains(folded)) index.byFolded.insert(folded, name);
  }
  return index;
}

QString largeNameFor(const QString& thumbnailName, const LargeIndex& index) {
  const QString tail = thumbnailName.mid(2);
  const QString exact = QLatin1String("l_") + tail;
  if (index.exact.contains(exact)) return exact;
  const QString found = index.byFolded.value(foldFileNameCase(exact));
  return found.isEmpty() ? QLatin1String("l_") + asciiLower(tail) : found;
}

}  // namespace

bool nameLessCaseInsensitive(const QString& a, const QString& b) {
  const int byFolded = a.compare(b, Qt::CaseInsensitive);
  return byFolded != 0 ? byFolded < 0 : a < b;
}

void sortNamesCaseInsensitive(QStringList& names) {
  // Folding each name once, not at every comparison, keeps a folder of
  // thousands of pictures quick to list.
  std::vector<std::pair<QString, QString>> keyed;
  keyed.reserve(names.size());
  for (const QString& name : names) keyed.emplace_back(foldFileNameCase(name), name);
  std::sort(keyed.begin(), keyed.end());
  for (qsizetype i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].second);
}

QString asciiLower(const QString& text) {
  QString lower = text;
  for (QChar& c : lower) {
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + ('a' - 'A'));
  }
  return lower;
}

QString shapeFolder(const QString& dataFolder, Shape shape) {
  return dataFolder + (shape == Shape::Widescreen ? QLatin1String("wallpaper/widescreen/")
                                                  : QLatin1String("wallpaper/normal/"));
}

QString sideFolder(const QString& dataFolder, Shape shape, StoreSide side) {
  return shapeFolder(dataFolder, shape) +
         (side == StoreSide::Network ? QLatin1String("network/") : QLatin1String("local/"));
}

QString categoryFolder(const QString& dataFolder, Shape shape, StoreSide side, int category) {
  return sideFolder(dataFolder, shape, side) + QString::number(category) + QLatin1Char('/');
}

int categoryOfLink(int linkNumber) { return isCategory(linkNumber) ? linkNumber : 1; }

int pageCount(int count) { return count <= 0 ? 0 : (count + kSlotsPerPage - 1) / kSlotsPerPage; }

PageSlice sliceOfPage(int count, int requestedPage) {
  PageSlice slice;
  if (count <= 0) {
    slice.markPageOne = true;
    return slice;
  }
  const bool exists = requestedPage >= 1 && requestedPage <= pageCount(count);
  slice.page = exists ? requestedPage : 1;
  slice.markPageOne = !exists;
  slice.first = (slice.page - 1) * kSlotsPerPage;
  slice.size = std::min(kSlotsPerPage, count - slice.first);
  return slice;
}

CategoryListing listLocalCategory(const QString& folder) {
  CategoryListing listing;
  const QStringList names = sortedFileNames(folder);
  const LargeIndex largeIndex = indexLargeNames(names);
  for (const QString& name : names) {
    if (!name.startsWith(QLatin1String("s_"), Qt::CaseInsensitive) || !hasPictureExtension(name)) continue;
    listing.thumbnails << folder + name;
    listing.larges << folder + largeNameFor(name, largeIndex);
  }
  return listing;
}

QString largePicturePath(const QString& thumbnailPath) {
  const QString folder = folderOf(thumbnailPath);
  const QString name = thumbnailPath.mid(folder.size());
  return folder + largeNameFor(name, indexLargeNames(sortedFileNames(folder)));
}

QStringList listDownloadedPictures(const QString& dataFolder, Shape shape) {
  QStringList pictures;
  for (int category = 1; category <= kCategoryCount; ++category) {
    const QString folder = categoryFolder(dataFolder, shape, StoreSide::Network, category);
    for (const QString& name : sortedFileNames(folder)) {
      if (name.startsWith(QLatin1String("l_"), Qt::CaseInsensitive) && hasPictureExtension(name))
        pictures << folder + name;
    }
  }
  return pictures;
}

bool addressInCategory(const QString& address, int category) {
  return address.indexOf(QLatin1Char('/') + QString::number(category) + QLatin1String("/s_")) > 0;
}

QString largeAddressOf(const QString& thumbnailAddress) {
  QString large = thumbnailAddress;
  return large.replace(QLatin1String("/s_"), QLatin1String("/l_"));
}

QString storedNetworkPath(const QString& dataFolder, Shape shape, const QString& address, NetworkFile kind) {
  const QLatin1String marker(kind == NetworkFile::Thumbnail ? "/s_" : "/l_");
  const qsizetype slash = address.indexOf(marker);
  if (slash < 1) return {};
  const int category = address.at(slash - 1).digitValue();
  const QString name = address.mid(slash + 1);
  if (!isCategory(category) || !isSafeFileName(name)) return {};
  return categoryFolder(dataFolder, shape, StoreSide::Network, category) + name;
}

bool isSafeFileName(const QString& name) {
  if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1String(".."))) return false;
  // Such a name could be another download's segment file.
  if (name.contains(QLatin1String(kSegmentFileMarker))) return false;
  return std::none_of(name.cbegin(), name.cend(),
                      [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

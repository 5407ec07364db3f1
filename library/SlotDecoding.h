// Putting pictures into the grid's slots: decoded off the GUI thread, shown
// together once all are ready.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "library/BrowseController.h"
#include "picture/DecodeBudget.h"

// What becomes of a thumbnail file that cannot be decoded: the user's own
// stays; a downloaded one goes, so that it is fetched again next time
// instead of showing broken for good.
enum class UndecodableThumbnail { Keep, Remove };

// A slot to fill: the paths it stands for, the file its thumbnail is read
// from, and the file of its large picture where one may be stored (empty
// where none can be).
struct SlotFill {
  SlotPaths paths;
  QString file;
  QString largeFile;
  UndecodableThumbnail ifUndecodable = UndecodableThumbnail::Keep;
};

// A slot's picture is refused when even its smallest decode is larger than
// this, 16 megapixels. The box is a few hundred pixels a side, and a photo of
// a hundred megapixels decodes at an eighth to under two, so only a hostile
// file comes near it; without it, six claiming 65000 x 65000 took 264 MB each.
constexpr qint64 kMaxSlotDecodeBytes = 64LL * 1024 * 1024;
// What the slot decodes of every page still decoding hold at once: two of
// the largest; an honest page needs a few megabytes.
constexpr qint64 kSlotDecodeBudgetBytes = 2 * kMaxSlotDecodeBytes;

// Decodes the files for `box`, in device pixels, and hands `whenDecoded` the
// edit that puts them into slots 1..n (n = fills.size(), at most six), with
// the broken-picture mark where a file cannot be decoded. A thumbnail smaller
// than the box is replaced by the large picture where that is stored and
// decodes, so a screen with more device pixels shows sharp pictures. Nothing
// is handed over once `context` is gone. The decodes take their memory from
// `budget`, shared with other pages' (none: each page bounds only its own).
void decodeIntoSlots(QObject* context, std::vector<SlotFill> fills, QSize box,
                     std::function<void(const PageLoad::Edit&)> whenDecoded,
                     std::shared_ptr<DecodeBudget> budget = {});

// Shown in place of a thumbnail that cannot be decoded, so the rest of the
// page still shows and the slot keeps its place.
QImage brokenPictureMark(QSize box);

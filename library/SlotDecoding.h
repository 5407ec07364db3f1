// Putting pictures into the grid's slots: decoded off the GUI thread, shown
// together once all are ready.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

#include "library/BrowseController.h"

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

// Decodes the files for `box`, in device pixels, and hands `whenDecoded` the
// edit that puts them into slots 1..n (n = fills.size(), at most six), with
// the broken-picture mark where a file cannot be decoded. A thumbnail smaller
// than the box is replaced by the large picture where that is stored and
// decodes, so a screen with more device pixels shows sharp pictures. Nothing
// is handed over once `context` is gone.
void decodeIntoSlots(QObject* context, std::vector<SlotFill> fills, QSize box,
                     std::function<void(const PageLoad::Edit&)> whenDecoded);

// Shown in place of a thumbnail that cannot be decoded, so the rest of the
// page still shows and the slot keeps its place.
QImage brokenPictureMark(QSize box);

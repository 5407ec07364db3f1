// Putting pictures into the grid's slots: decoded off the GUI thread, shown
// together once all are ready.
#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

#include "library/BrowseController.h"

// A slot to fill: the paths it stands for and the file its thumbnail is read from.
struct SlotFill {
  SlotPaths paths;
  QString file;
};

// Decodes the files for `box` and hands `whenDecoded` the edit that puts them
// into slots 1..n (n = fills.size(), at most six), with the broken-picture
// mark where a file cannot be decoded. Nothing is handed over once `context`
// is gone.
void DecodeIntoSlots(QObject* context, std::vector<SlotFill> fills, QSize box,
                     std::function<void(const PageLoad::Edit&)> whenDecoded);

// Shown in place of a thumbnail that cannot be decoded, so the rest of the
// page still shows and the slot keeps its place.
QImage BrokenPictureMark(QSize box);

// What the wallpaper pages show: the tab, the view and its page, the six
// slots and their pictures. The window draws this value and never reads it
// back from its controls.
#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <optional>

#include "library/StoreRules.h"

enum class Tab { Normal, Widescreen, Setting };

enum class ViewKind { None, LocalCategory, NetworkCategory, Downloaded };

struct BrowseView {
  ViewKind kind = ViewKind::None;
  int category = 0;  // 1..5 for the two kinds of category, 0 otherwise
  bool operator==(const BrowseView&) const = default;
};

// What a slot shows: the thumbnail it was loaded from (or its address) and
// the large picture that "Set as Desktop Wallpaper" applies.
struct SlotPaths {
  QString thumbnail;
  QString large;
};

struct BrowseState {
  Tab tab = Tab::Normal;
  Shape gridShape = Shape::Normal;  // the slots' layout, kept while the settings tab is open
  BrowseView view;                  // the highlighted link
  int page = 1;                     // the marked page link
  int pageLinks = 0;                // page links shown, 0..20
  int shownSlots = 0;               // slots 1..shownSlots are shown
  std::array<SlotPaths, kSlotsPerPage> slotPaths;
  std::array<QImage, kSlotsPerPage> pictures;
  std::optional<int> selectedSlot;  // 0-based
  QString errorTip;                 // shown when not empty
  QString waitingText;              // the waiting panel, shown when not empty
  bool busy = false;                // a network view is at work: most clicks wait

  // The store's shape that the grid browses: the wide tab's, and normal on
  // any other tab.
  Shape shape() const { return tab == Tab::Widescreen ? Shape::Widescreen : Shape::Normal; }
  // The slot size the grid's thumbnails are decoded for.
  QSize thumbnailBox() const;
  // Empties the grid for a new view or page: no slot, frame, link or tip.
  void clearGrid();
};

// Where the grid's parts stand, for each shape: one table that the window
// draws from and the tests check against.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include "library/StoreRules.h"

struct GridGeometry {
  int lefts[3];
  int tops[2];
  QSize slot;       // the slot panel
  QPoint image;     // the thumbnail inside its slot
  QSize imageSize;  // the thumbnail's box
};

inline constexpr GridGeometry kNormalGrid{{18, 197, 376}, {29, 205}, {164, 140}, {9, 18}, {145, 110}};
inline constexpr GridGeometry kWideGrid{{8, 191, 374}, {32, 208}, {175, 133}, {7, 20}, {160, 100}};

inline const GridGeometry& gridOf(Shape shape) {
  return shape == Shape::Widescreen ? kWideGrid : kNormalGrid;
}

// Slot n (0..5) inside the grid panel.
inline QRect slotRect(Shape shape, int n) {
  const GridGeometry& g = gridOf(shape);
  return {QPoint(g.lefts[n % 3], g.tops[n / 3]), g.slot};
}

// Page link k (0..19) inside the page bar.
inline QRect pageLinkRect(int k) { return {3 + 26 * k, 2, 20, 15}; }

// Category link k of the local (0..4) and network (0..6) rows inside the
// category column; the highlight bar stands 5 pixels above the current one.
inline QRect localLinkRect(int k) { return {61, 46 + 27 * k, 115, 16}; }
inline QRect networkLinkRect(int k) { return {61, 239 + 27 * k, 115, 16}; }
inline constexpr int kHighlightAboveLink = 5;

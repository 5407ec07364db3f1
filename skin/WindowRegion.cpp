#include "skin/WindowRegion.h"

#include <QRegion>
#include <QWidget>

namespace {
// A rectangle from (left, top) to (right, bottom), exclusive, with corners
// rounded by a 20 by 20 ellipse.
QRegion roundRect(int left, int top, int right, int bottom) {
  const int d = 20;
  QRegion region(left, top + d / 2, right - left, bottom - top - d);
  region += QRegion(left + d / 2, top, right - left - d, bottom - top);
  region += QRegion(left, top, d, d, QRegion::Ellipse);
  region += QRegion(right - d, top, d, d, QRegion::Ellipse);
  region += QRegion(left, bottom - d, d, d, QRegion::Ellipse);
  region += QRegion(right - d, bottom - d, d, d, QRegion::Ellipse);
  return region;
}
}  // namespace

QRegion windowOutline(int width, int height) {
  // Three overlapping rounded rectangles: the top corners come from the first,
  // the bottom-left from the third, the bottom-right from the second.
  const QRegion r1 = roundRect(0, 0, width + 1, height - 49);
  const QRegion r2 = roundRect(31, 101, width + 1, height + 1);
  const QRegion r3 = roundRect(0, height - 100, width - 99, height + 1);
  return r1.united(r2.united(r3));
}

void ApplyWindowRegion(QWidget* window) {
  window->setMask(windowOutline(window->width(), window->height()));
  window->update();
}

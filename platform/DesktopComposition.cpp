#include "platform/DesktopComposition.h"

#include <algorithm>

#include "platform/PixmanCalls.h"

QSize PicturePlacement::box() const {
  QSize largest;
  for (const QRect& area : areas) largest = largest.expandedTo(area.size());
  return largest;
}

std::vector<PicturePlacement> planComposition(const MonitorList& monitors, const MonitorChoices& choices,
                                              QPoint origin) {
  std::vector<PicturePlacement> placements;
  for (const Monitor& monitor : monitors) {
    const QString path = choices.pictureOf(monitor.name);
    if (path.isEmpty()) continue;
    const QRect area = monitor.geometry.translated(-origin);
    const auto same = std::find_if(placements.begin(), placements.end(),
                                   [&](const PicturePlacement& placement) { return placement.path == path; });
    if (same != placements.end())
      same->areas.push_back(area);
    else
      placements.push_back({path, {area}});
  }
  return placements;
}

bool drawComposition(const std::vector<PicturePlacement>& placements, const ScreenPictureLoader& load,
                     pixman_image_t* target, QString& why) {
  std::vector<QRect> covered;
  for (const PicturePlacement& placement : placements) {
    // One picture in memory at a time.
    const std::optional<ScreenPicture> picture = load(placement.path, placement.box(), why);
    if (!picture) return false;
    if (!drawStretched(*picture, target, placement.areas)) {
      why = QStringLiteral("the pixels of \"%1\" cannot be drawn").arg(placement.path);
      return false;
    }
    covered.insert(covered.end(), placement.areas.begin(), placement.areas.end());
  }
  if (fillOutside(target, covered)) return true;
  why = QStringLiteral("the pixman library cannot be opened");
  return false;
}

std::optional<QImage> composeDesktop(const MonitorList& monitors, const MonitorChoices& choices,
                                     const ScreenPictureLoader& load, QString& why) {
  const QRect area = desktopArea(monitors);
  const PixmanCalls* pixman = pixmanCalls();
  if (!pixman) {
    why = QStringLiteral("the pixman library cannot be opened");
    return std::nullopt;
  }
  if (!fitsScreenPicture(area.size())) {
    why = QStringLiteral("the desktop's monitors give no picture size (%1x%2)")
              .arg(area.width())
              .arg(area.height());
    return std::nullopt;
  }
  QImage desktop(area.size(), QImage::Format_RGB32);
  if (desktop.isNull()) {
    why = QStringLiteral("not enough memory for a picture of the whole desktop");
    return std::nullopt;
  }
  pixman_image_t* target =
      pixman->imageCreateBits(PIXMAN_x8r8g8b8, desktop.width(), desktop.height(),
                              reinterpret_cast<uint32_t*>(desktop.bits()), int(desktop.bytesPerLine()));
  const bool drawn =
      target && drawComposition(planComposition(monitors, choices, area.topLeft()), load, target, why);
  if (target) pixman->imageUnref(target);
  if (!drawn) return std::nullopt;
  return desktop;
}

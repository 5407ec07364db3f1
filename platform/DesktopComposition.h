// The pictures of several monitors drawn as one: for the root window of a
// bare X server, and for the desktops that keep one picture for all
// monitors, which are handed one picture of the whole desktop.
#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <optional>
#include <vector>

#include "platform/MonitorChoices.h"
#include "platform/ScreenPicture.h"

// One picture and the rectangles it is stretched onto, relative to the target.
struct PicturePlacement {
  QString path;
  std::vector<QRect> areas;
  QSize box() const;  // what the picture must cover: its largest rectangle
};

// Each monitor's chosen picture on its rectangle, moved by -origin; a
// monitor with no choice gets none (it stays black).
std::vector<PicturePlacement> planComposition(const MonitorList& monitors, const MonitorChoices& choices,
                                              QPoint origin);
// Decodes each picture in turn and stretches it onto its rectangles, black
// elsewhere. False, with why, when a picture cannot be read or drawn.
bool drawComposition(const std::vector<PicturePlacement>& placements, const ScreenPictureLoader& load,
                     pixman_image_t* target, QString& why);
// The whole desktop's picture, the size of all monitors together.
std::optional<QImage> composeDesktop(const MonitorList& monitors, const MonitorChoices& choices,
                                     const ScreenPictureLoader& load, QString& why);

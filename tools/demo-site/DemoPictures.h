// The pictures of the demo home site: which ones each category holds and how
// they are painted. They are painted by the sample store's own painter
// (tools/picture-painting), so they keep to its colour families and a test
// tells a category by the colour of any pixel, but their patterns are their
// own, so no demo picture looks like a local sample.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <vector>

namespace demo {

enum class Shape { Normal, Widescreen };

// The publisher tells the shapes apart by the pictures' proportions.
struct ShapeInfo {
  Shape shape;
  const char* folder;
  QSize large;
};

inline constexpr ShapeInfo kShapes[] = {{Shape::Normal, "normal", {1600, 1200}},
                                        {Shape::Widescreen, "widescreen", {1920, 1200}}};

enum class Pattern { Waves, Tiles, Burst, Dunes, Ripples, Dots, Tunnel, Weave };

struct DemoPicture {
  int category;
  const char* stem;  // the picture's name in the site starts with it
  Pattern pattern;
  int hueOffset;  // degrees from the family hue
  unsigned seed;
};

// In catalogue order. Category 1 fills more than one page of six.
const std::vector<DemoPicture>& demoPictures();

// The picture at full size: every pixel within its family's hue spread, with
// a fine grain that gives the JPEG file a realistic size.
QImage paintLarge(const DemoPicture& picture, const ShapeInfo& shape);

}  // namespace demo

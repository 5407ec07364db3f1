// The sample picture store that the build stages beside the program: which
// pictures each local category holds and the colour family they are painted
// in. Every pixel of a picture of category N has a hue near kFamilyHue[N] and
// a clear saturation, so a test can tell the categories apart by the colour
// of any pixel of a thumbnail, of the settings preview or of the wallpaper.
#pragma once

#include <QColor>
#include <cmath>
#include <cstdlib>

namespace samples {

constexpr int kCategoryCount = 5;

struct Family {
  int category;
  const char* name;  // the category's caption in the shipped language file
  int hue;           // degrees
};

constexpr Family kFamilies[kCategoryCount] = {
    {1, "green", 125}, {2, "amber", 45}, {3, "blue", 205}, {4, "purple", 275}, {5, "crimson", 350}};

// Hues of a picture stay within this many degrees of its family's hue;
// neighbouring families are at least 55 degrees apart.
constexpr int kHueSpread = 15;
// Every pixel is at least this saturated and this bright (0..1), so its hue
// survives JPEG rounding.
constexpr double kMinSaturation = 0.45;
constexpr double kMinValue = 0.30;

enum class Style { Hills, Cells, Plasma, Spiral, Rings, Stripes, Julia, Mandelbrot };
enum class Shape { Normal, Widescreen };
enum class BmpIn { Neither, Normal, Widescreen };  // the shape whose copy is a BMP pair

struct Picture {
  int category;
  const char* stem;  // the tail without its extension: s_<stem>.jpg, l_<stem>.jpg
  Style style;
  int hueOffset;  // degrees from the family hue; the picture's own tint
  unsigned seed;
  BmpIn bmpIn;
};

// Four pictures in category 1, three in each other category, in both shapes.
constexpr Picture kPictures[] = {
    {1, "nature-meadow", Style::Hills, -6, 11, BmpIn::Neither},
    {1, "nature-leaves", Style::Cells, 5, 12, BmpIn::Neither},
    {1, "nature-moss", Style::Plasma, -2, 13, BmpIn::Neither},
    {1, "nature-fern", Style::Spiral, 8, 14, BmpIn::Neither},
    {2, "cartoon-bubbles", Style::Rings, -5, 21, BmpIn::Neither},
    {2, "cartoon-candy", Style::Stripes, 4, 22, BmpIn::Neither},
    {2, "cartoon-patchwork", Style::Cells, 0, 23, BmpIn::Neither},
    {3, "holiday-seaside", Style::Hills, 6, 31, BmpIn::Neither},
    {3, "holiday-lagoon", Style::Plasma, -6, 32, BmpIn::Widescreen},
    {3, "holiday-frost", Style::Julia, 0, 33, BmpIn::Neither},
    {4, "game-nebula", Style::Mandelbrot, 0, 41, BmpIn::Neither},
    {4, "game-neon", Style::Stripes, -6, 42, BmpIn::Neither},
    {4, "game-crystal", Style::Cells, 6, 43, BmpIn::Neither},
    {5, "art-ember", Style::Julia, 3, 51, BmpIn::Neither},
    {5, "art-swirl", Style::Spiral, -5, 52, BmpIn::Neither},
    {5, "art-ripples", Style::Rings, 6, 53, BmpIn::Normal},
};

constexpr int pictureCount(int category) {
  int count = 0;
  for (const Picture& picture : kPictures) count += picture.category == category ? 1 : 0;
  return count;
}

constexpr bool isBmp(const Picture& picture, Shape shape) {
  return (picture.bmpIn == BmpIn::Normal && shape == Shape::Normal) ||
         (picture.bmpIn == BmpIn::Widescreen && shape == Shape::Widescreen);
}

inline int hueDistance(int a, int b) {
  const int d = std::abs(a - b) % 360;
  return d > 180 ? 360 - d : d;
}

// The category whose family the colour belongs to, or 0 when it belongs to
// none (too grey, too dark, or a hue between the families).
inline int categoryOfColour(const QColor& colour) {
  const QColor hsv = colour.toHsv();
  if (hsv.hsvHue() < 0 || hsv.hsvSaturationF() < kMinSaturation * 0.6 || hsv.valueF() < kMinValue * 0.6)
    return 0;
  for (const Family& family : kFamilies)
    if (hueDistance(hsv.hsvHue(), family.hue) <= kHueSpread + 12) return family.category;
  return 0;
}

}  // namespace samples

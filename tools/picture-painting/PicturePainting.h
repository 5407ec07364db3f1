// Procedural pictures in the colour families of the sample store. The sample
// store and the demo home site paint with this same code, so a test that
// tells a category by the colour of a pixel holds for the pictures of both.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>

namespace painting {

// Noise from a hash rather than a random engine: the pictures, and so the
// files, must come out the same on every run and every machine.
std::uint32_t hash(std::uint32_t x);
double random01(std::uint32_t seed, std::uint32_t index);

// A pattern answers, for a point (x from 0 to the aspect ratio, y from 0 at
// the top to 1), a brightness t and a tint u, both about 0..1; the painter
// alone decides the colours, so no pattern can leave its family.
struct Sample {
  double t;
  double u;
};

using PatternFunction = Sample (*)(double x, double y, double aspect, std::uint32_t seed);

struct Look {
  PatternFunction pattern;
  std::uint32_t seed;
  int category;   // picks the family hue
  int hueOffset;  // degrees from the family hue; the picture's own tint
};

// The picture at the given size. The pattern is worked out on a coarse field
// and scaled up smoothly: the patterns are soft, and painting stays quick.
QImage paintPicture(const Look& look, QSize size);

}  // namespace painting

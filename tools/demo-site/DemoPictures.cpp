#include "DemoPictures.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "tools/picture-painting/PicturePainting.h"

namespace demo {

namespace {

using painting::random01;
using painting::Sample;

// The grain is added at full size, after the smooth scaling that would
// blur it away.
constexpr int kGrainLevels = 6;  // each pixel moves by up to this much either way
constexpr double kPi = 3.14159265358979323846;

double fraction(double v) { return v - std::floor(v); }

Sample waves(double x, double y, double, std::uint32_t seed) {
  const double phase = random01(seed, 1) * 2 * kPi;
  const double v = std::sin(x * (9 + 4 * random01(seed, 2)) + 1.8 * std::sin(y * 7 + phase));
  return {0.5 + 0.45 * v, y};
}

Sample tiles(double x, double y, double, std::uint32_t seed) {
  const double angle = 0.3 + 0.5 * random01(seed, 1);
  const double rx = (x * std::cos(angle) - y * std::sin(angle)) * 6;
  const double ry = (x * std::sin(angle) + y * std::cos(angle)) * 6;
  const int cell = int(std::floor(rx)) * 31 + int(std::floor(ry));
  const double edge = std::min({fraction(rx), 1 - fraction(rx), fraction(ry), 1 - fraction(ry)});
  const double face = 0.45 + 0.45 * random01(seed, std::uint32_t(cell) & 0xffff);
  return {edge < 0.06 ? 0.15 : face, random01(seed + 7, std::uint32_t(cell) & 0xffff)};
}

Sample burst(double x, double y, double aspect, std::uint32_t seed) {
  const double cx = aspect * (0.3 + 0.4 * random01(seed, 1)), cy = 0.35 + 0.3 * random01(seed, 2);
  const double r = std::hypot(x - cx, y - cy);
  const double angle = std::atan2(y - cy, x - cx);
  const int rays = 9 + int(random01(seed, 3) * 8);
  return {0.55 + 0.4 * std::sin(angle * rays + r * 4) * std::min(1.0, r * 3), std::min(1.0, r)};
}

Sample dunes(double x, double y, double, std::uint32_t seed) {
  const double phase = random01(seed, 1) * 2 * kPi;
  const double v = y * 7 + 0.6 * std::sin(x * 3 + phase) + 0.25 * std::sin(x * 11 - phase);
  const double band = fraction(v);
  return {0.3 + 0.65 * band * band, std::floor(v) / 7};
}

Sample ripples(double x, double y, double aspect, std::uint32_t seed) {
  const double cx = aspect * (0.25 + 0.5 * random01(seed, 1)), cy = 0.3 + 0.4 * random01(seed, 2);
  const double r = std::hypot(x - cx, y - cy);
  return {0.45 + 0.45 * std::cos(r * 55) * std::exp(-r * 1.5),
          0.5 + 0.5 * std::cos(std::atan2(y - cy, x - cx))};
}

Sample dots(double x, double y, double aspect, std::uint32_t seed) {
  const double pitch = 0.06 + 0.03 * random01(seed, 1);
  const double gx = x / pitch, gy = y / pitch;
  const double d = std::hypot(fraction(gx) - 0.5, fraction(gy) - 0.5);
  const double radius = 0.12 + 0.33 * (x / aspect);
  return {d < radius ? 0.9 : 0.4, y};
}

Sample tunnel(double x, double y, double aspect, std::uint32_t seed) {
  const double r = std::hypot(x - aspect / 2, y - 0.5) + 1e-3;
  const double angle = std::atan2(y - 0.5, x - aspect / 2) + random01(seed, 1);
  const int ring = int(std::floor(1.2 / r));
  const int sector = int(std::floor((angle + kPi) / (2 * kPi) * 16));
  const double shade = std::min(1.0, r * 2.2);
  return {((ring + sector) % 2 == 0 ? 0.35 : 0.95) * (0.5 + 0.5 * shade), fraction(ring * 0.13)};
}

Sample weave(double x, double y, double, std::uint32_t seed) {
  const double f = 20 + 10 * random01(seed, 1);
  const double over = std::sin(x * f) * std::sin(y * f);
  const double strand = int(std::floor(x * f / kPi) + std::floor(y * f / kPi)) % 2 == 0 ? 0.25 : -0.25;
  return {0.55 + 0.3 * over + strand * std::abs(over), 0.5 + 0.5 * std::sin(x * 2)};
}

// Indexed by Pattern, so the order is the enum's.
constexpr painting::PatternFunction kPatterns[] = {waves, tiles, burst, dunes, ripples, dots, tunnel, weave};
static_assert(std::size(kPatterns) == std::size_t(Pattern::Weave) + 1);

int clamp255(int v) { return std::clamp(v, 0, 255); }

// The same offset on all three channels keeps the hue where it was.
void addGrain(QImage& image, std::uint32_t seed) {
  for (int row = 0; row < image.height(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
    for (int column = 0; column < image.width(); ++column) {
      const std::uint32_t h =
          painting::hash(seed ^ (std::uint32_t(row) * 4099U + std::uint32_t(column) * 131U));
      const int grain = int(h % (2 * kGrainLevels + 1)) - kGrainLevels;
      const QRgb p = line[column];
      line[column] = qRgb(clamp255(qRed(p) + grain), clamp255(qGreen(p) + grain), clamp255(qBlue(p) + grain));
    }
  }
}

}  // namespace

const std::vector<DemoPicture>& demoPictures() {
  static const std::vector<DemoPicture> pictures = {
      {1, "dawn-waves", Pattern::Waves, -8, 101},     {1, "fern-tiles", Pattern::Tiles, 4, 102},
      {1, "sun-burst", Pattern::Burst, 0, 103},       {1, "dune-grass", Pattern::Dunes, 8, 104},
      {1, "pond-ripples", Pattern::Ripples, -4, 105}, {1, "seed-dots", Pattern::Dots, 6, 106},
      {1, "forest-tunnel", Pattern::Tunnel, -6, 107}, {1, "reed-weave", Pattern::Weave, 2, 108},
      {2, "jelly-dots", Pattern::Dots, -4, 201},      {2, "candy-burst", Pattern::Burst, 4, 202},
      {2, "comic-tiles", Pattern::Tiles, 0, 203},     {3, "lagoon-waves", Pattern::Waves, 5, 301},
      {3, "snow-ripples", Pattern::Ripples, -5, 302}, {3, "beach-dunes", Pattern::Dunes, 0, 303},
      {4, "warp-tunnel", Pattern::Tunnel, 0, 401},    {4, "arcade-tiles", Pattern::Tiles, -5, 402},
      {4, "laser-weave", Pattern::Weave, 5, 403},     {5, "ink-ripples", Pattern::Ripples, 3, 501},
      {5, "glass-burst", Pattern::Burst, -3, 502},    {5, "silk-waves", Pattern::Waves, 6, 503},
  };
  return pictures;
}

QImage paintLarge(const DemoPicture& picture, const ShapeInfo& shape) {
  QImage large = painting::paintPicture(
      {kPatterns[int(picture.pattern)], picture.seed, picture.category, picture.hueOffset}, shape.large);
  addGrain(large, picture.seed * 2 + (shape.shape == Shape::Widescreen ? 1 : 0));
  return large;
}

}  // namespace demo

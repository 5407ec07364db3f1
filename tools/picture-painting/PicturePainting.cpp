#include "PicturePainting.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "tools/make-samples/SamplePictures.h"

namespace painting {

namespace {

constexpr int kFieldScale = 4;

int familyHue(int category) {
  for (const samples::Family& family : samples::kFamilies)
    if (family.category == category) return family.hue;
  return 0;
}

// Hue within the family's spread, saturation and value never down to grey or
// black, so the hue survives JPEG rounding.
QRgb colourOf(int category, int hueOffset, Sample sample) {
  const double t = std::clamp(sample.t, 0.0, 1.0);
  const double u = std::clamp(sample.u, 0.0, 1.0);
  const int room = samples::kHueSpread - std::abs(hueOffset);
  const double hue = familyHue(category) + hueOffset + (u - 0.5) * 2 * room;
  const double saturation =
      samples::kMinSaturation + 0.05 + (1 - samples::kMinSaturation - 0.1) * (1 - 0.6 * t);
  const double value = samples::kMinValue + 0.05 + (1 - samples::kMinValue - 0.05) * t;
  return QColor::fromHsvF(std::fmod(hue + 360, 360) / 360.0, saturation, value).rgb();
}

}  // namespace

std::uint32_t hash(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

double random01(std::uint32_t seed, std::uint32_t index) {
  return hash(seed * 0x9e3779b9U + index * 0x85ebca6bU + 1) / 4294967295.0;
}

QImage paintPicture(const Look& look, QSize size) {
  const QSize field = size / kFieldScale;
  const double aspect = double(size.width()) / size.height();
  QImage image(field, QImage::Format_RGB32);
  for (int row = 0; row < field.height(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
    const double y = (row + 0.5) / field.height();
    for (int column = 0; column < field.width(); ++column) {
      // Divided by the height on both axes, so a pattern is not stretched
      // across a wide picture.
      const double x = (column + 0.5) / field.height();
      line[column] = colourOf(look.category, look.hueOffset, look.pattern(x, y, aspect, look.seed));
    }
  }
  return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace painting

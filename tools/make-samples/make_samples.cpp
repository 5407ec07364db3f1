// Paints the sample picture store, procedurally, so the program has real
// pictures to show without shipping any:
//   make-samples STAGE/wallpaper
// writes wallpaper/{normal,widescreen}/local/1..5/ with "s_" thumbnail and
// "l_" large picture pairs, the empty network category folders, and the
// manifest STAGE/samples-manifest.txt that says what every file looks like.
// Running it again over a complete store changes nothing.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "SamplePictures.h"
#include "tools/picture-painting/PicturePainting.h"

using painting::random01;
using painting::Sample;
using samples::Picture;
using samples::Shape;
using samples::Style;

namespace {

// Bump when the pictures change, so an older store is painted again.
const char* const kManifestVersion = "# nimbra sample store 2";

constexpr int kJpegQuality = 85;

struct ShapeInfo {
  Shape shape;
  const char* folder;
  QSize large;
  QSize thumbnail;  // the slot picture size of the shape
};

constexpr ShapeInfo kShapes[] = {{Shape::Normal, "normal", {1600, 1200}, {145, 110}},
                                 {Shape::Widescreen, "widescreen", {1920, 1200}, {160, 100}}};

// --- small deterministic noise

double smooth(double t) { return t * t * (3 - 2 * t); }

double valueNoise1(double x, std::uint32_t seed) {
  const double cell = std::floor(x);
  const double f = x - cell;
  const auto i = static_cast<std::uint32_t>(static_cast<std::int64_t>(cell) & 0xffffff);
  return random01(seed, i) + (random01(seed, i + 1) - random01(seed, i)) * smooth(f);
}

double fractal1(double x, std::uint32_t seed) {
  double sum = 0, amplitude = 0.5, frequency = 1;
  for (int octave = 0; octave < 4; ++octave) {
    sum += amplitude * valueNoise1(x * frequency, seed + octave * 101);
    amplitude *= 0.5;
    frequency *= 2.1;
  }
  return sum;  // about 0..0.94
}

// --- the pattern of each style

Sample hills(double x, double y, double aspect, std::uint32_t seed) {
  const double sunX = aspect * (0.25 + 0.5 * random01(seed, 7));
  const double sunDistance = std::hypot(x - sunX, (y - 0.22) * 1.1);
  constexpr int kLayers = 4;
  for (int layer = kLayers - 1; layer >= 0; --layer) {
    const double base = 0.45 + 0.13 * layer;
    const double ridge = base - 0.22 * fractal1(x * (1.4 + layer) + layer * 7.3, seed + layer);
    if (y >= ridge) {
      const double depth = (y - ridge) / (1 - ridge + 1e-9);
      return {0.85 - 0.15 * layer - 0.2 * depth, 0.25 + 0.2 * layer};
    }
  }
  const double glow = std::max(0.0, 1 - sunDistance / 0.12);
  return {std::min(1.0, 0.62 + 0.38 * y + glow), 0.85 - 0.3 * y};
}

Sample cells(double x, double y, double aspect, std::uint32_t seed) {
  constexpr int kPoints = 28;
  double nearest = 1e9, second = 1e9;
  int owner = 0;
  for (int i = 0; i < kPoints; ++i) {
    const double px = random01(seed, 2 * i) * aspect;
    const double py = random01(seed, 2 * i + 1);
    const double d = std::hypot(x - px, y - py);
    if (d < nearest) {
      second = nearest;
      nearest = d;
      owner = i;
    } else if (d < second) {
      second = d;
    }
  }
  const double edge = std::min(1.0, (second - nearest) * 14);
  return {0.35 + 0.6 * edge * (0.55 + 0.45 * random01(seed, 100 + owner)), random01(seed, 200 + owner)};
}

Sample plasma(double x, double y, double, std::uint32_t seed) {
  const double phase = random01(seed, 1) * 6.28;
  const double v = std::sin(x * 7 + phase) + std::sin(y * 9 - phase) + std::sin((x + y) * 6) +
                   std::sin(std::hypot(x - 0.7, y - 0.4) * 14);
  return {0.5 + 0.125 * v, 0.5 + 0.5 * std::sin(v * 1.7)};
}

Sample spiral(double x, double y, double aspect, std::uint32_t seed) {
  const double cx = aspect * 0.5, cy = 0.5;
  const double r = std::hypot(x - cx, y - cy) + 1e-6;
  const double angle = std::atan2(y - cy, x - cx);
  const double arms = 3 + static_cast<int>(random01(seed, 3) * 3);
  const double v = std::sin(arms * angle + std::log(r) * 9);
  return {0.45 + 0.3 * v + 0.25 * std::max(0.0, 1 - r * 1.6), 0.5 + 0.5 * std::cos(angle * 2)};
}

Sample rings(double x, double y, double aspect, std::uint32_t seed) {
  const double d1 = std::hypot(x - aspect * (0.2 + 0.3 * random01(seed, 1)), y - 0.3);
  const double d2 = std::hypot(x - aspect * (0.55 + 0.3 * random01(seed, 2)), y - 0.7);
  const double v = std::sin(d1 * 48) + std::sin(d2 * 40);
  return {0.55 + 0.22 * v, 0.5 + 0.5 * std::sin(d1 * 6)};
}

Sample stripes(double x, double y, double, std::uint32_t seed) {
  const double wobble = 0.08 * std::sin(y * 9 + random01(seed, 1) * 6.28);
  const double v = std::sin((x + y * 0.6 + wobble) * 34);
  return {0.55 + 0.35 * v * v * (v > 0 ? 1 : -0.6), 0.5 + 0.5 * std::sin(x * 3)};
}

// Smooth escape count of z -> z^2 + c, scaled to 0..1; 1 inside the set.
double escape(double zx, double zy, double cx, double cy, int limit) {
  for (int n = 0; n < limit; ++n) {
    const double x2 = zx * zx, y2 = zy * zy;
    if (x2 + y2 > 64) return (n + 1 - std::log2(std::log2(x2 + y2) * 0.5)) / limit;
    zy = 2 * zx * zy + cy;
    zx = x2 - y2 + cx;
  }
  return 1;
}

Sample julia(double x, double y, double aspect, std::uint32_t seed) {
  const double cx = -0.8 + 0.06 * random01(seed, 1), cy = 0.156;
  const double e = escape((x - aspect / 2) * 2.3, (y - 0.5) * 2.3, cx, cy, 90);
  const double glow = std::sqrt(std::min(1.0, e * 3));
  return {0.32 + 0.68 * glow, 0.5 + 0.5 * std::sin(e * 30)};
}

Sample mandelbrot(double x, double y, double aspect, std::uint32_t) {
  const double e = escape(0, 0, -0.62 + (x - aspect / 2) * 2.7, (y - 0.5) * 2.7, 160);
  const double glow = e >= 1 ? 0.18 : std::pow(std::min(1.0, e * 5), 0.6);
  return {0.3 + 0.7 * glow, 0.5 + 0.5 * std::sin(e * 25)};
}

// Indexed by Style, so the order is the enum's.
constexpr painting::PatternFunction kStylePatterns[] = {hills, cells,   plasma, spiral,
                                                        rings, stripes, julia,  mandelbrot};
static_assert(std::size(kStylePatterns) == std::size_t(Style::Mandelbrot) + 1);

QImage paint(const Picture& picture, const ShapeInfo& shape) {
  return painting::paintPicture(
      {kStylePatterns[int(picture.style)], picture.seed, picture.category, picture.hueOffset}, shape.large);
}

// --- files

QString extension(const Picture& picture, const ShapeInfo& shape) {
  return samples::isBmp(picture, shape.shape) ? "bmp" : "jpg";
}

bool write(const QImage& image, const QString& path, const QString& extension) {
  // Written beside and renamed into place, so an interrupted run never
  // leaves a half picture that looks complete.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  const bool jpeg = extension == "jpg";
  if (!image.save(&file, jpeg ? "JPG" : "BMP", jpeg ? kJpegQuality : -1)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

QColor meanColour(const QImage& image) {
  std::uint64_t red = 0, green = 0, blue = 0;
  for (int row = 0; row < image.height(); ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(row));
    for (int column = 0; column < image.width(); ++column) {
      red += qRed(line[column]);
      green += qGreen(line[column]);
      blue += qBlue(line[column]);
    }
  }
  const std::uint64_t n = std::uint64_t(image.width()) * image.height();
  return QColor(int(red / n), int(green / n), int(blue / n));
}

QString manifestLine(const ShapeInfo& shape, const Picture& picture, const QString& name,
                     const QImage& image) {
  const QColor mean = meanColour(image);
  const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
  return QString("%1 %2 %3 %4 %5 %6,%7,%8 %9,%10,%11\n")
      .arg(shape.folder)
      .arg(picture.category)
      .arg(name)
      .arg(image.width())
      .arg(image.height())
      .arg(mean.red())
      .arg(mean.green())
      .arg(mean.blue())
      .arg(centre.red())
      .arg(centre.green())
      .arg(centre.blue());
}

QString manifestHeader() {
  QString text = QString(kManifestVersion) + "\n";
  text +=
      "# Every picture of local category N is painted in hues within 15 degrees of\n"
      "# the family hue of N, saturation >= 0.45, value >= 0.30.\n"
      "# family CATEGORY NAME HUE\n";
  for (const samples::Family& family : samples::kFamilies)
    text += QString("family %1 %2 %3\n").arg(family.category).arg(family.name).arg(family.hue);
  text += "# SHAPE CATEGORY FILE WIDTH HEIGHT MEAN_RGB CENTRE_RGB (before JPEG rounding)\n";
  return text;
}

QString categoryFolder(const QString& store, const ShapeInfo& shape, const char* kind, int category) {
  return QString("%1/%2/%3/%4").arg(store, shape.folder, kind).arg(category);
}

bool makeFolders(const QString& store) {
  for (const ShapeInfo& shape : kShapes)
    for (const char* kind : {"local", "network"})
      for (int category = 1; category <= samples::kCategoryCount; ++category)
        if (!QDir().mkpath(categoryFolder(store, shape, kind, category))) return false;
  return true;
}

// A store is complete when the manifest of this version lists files that all
// exist; then nothing needs painting again.
bool storeIsComplete(const QString& store, const QString& manifestPath) {
  QFile manifest(manifestPath);
  if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  QTextStream in(&manifest);
  if (in.readLine() != kManifestVersion) return false;
  int files = 0;
  while (!in.atEnd()) {
    const QStringList fields = in.readLine().split(' ');
    if (fields.size() != 7 || fields[0].startsWith('#') || fields[0] == "family") continue;
    const QFileInfo file(QString("%1/%2/local/%3/%4").arg(store, fields[0], fields[1], fields[2]));
    if (!file.isFile() || file.size() == 0) return false;
    ++files;
  }
  return files == 2 * 2 * int(std::size(samples::kPictures));
}

bool paintStore(const QString& store, QString& manifest) {
  for (const ShapeInfo& shape : kShapes) {
    for (const Picture& picture : samples::kPictures) {
      const QString folder = categoryFolder(store, shape, "local", picture.category);
      const QString tail = QString("%1.%2").arg(picture.stem, extension(picture, shape));
      const QImage large = paint(picture, shape);
      const QImage thumbnail = large.scaled(shape.thumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      for (const auto& [name, image] : {std::pair{"s_" + tail, thumbnail}, std::pair{"l_" + tail, large}}) {
        if (!write(image, folder + '/' + name, extension(picture, shape))) {
          std::fprintf(stderr, "make-samples: cannot write %s\n", qPrintable(folder + '/' + name));
          return false;
        }
        manifest += manifestLine(shape, picture, name, image);
      }
    }
  }
  return true;
}

bool writeText(const QString& path, const QString& text) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  file.write(text.toUtf8());
  return file.commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-samples STAGE/wallpaper\n");
    return 2;
  }
  const QString store = QDir::cleanPath(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
  const QString manifestPath = QFileInfo(store).dir().filePath("samples-manifest.txt");
  if (!makeFolders(store)) {
    std::fprintf(stderr, "make-samples: cannot create the folders under %s\n", qPrintable(store));
    return 1;
  }
  if (storeIsComplete(store, manifestPath)) return 0;
  QString manifest = manifestHeader();
  if (!paintStore(store, manifest)) return 1;
  if (!writeText(manifestPath, manifest)) {
    std::fprintf(stderr, "make-samples: cannot write %s\n", qPrintable(manifestPath));
    return 1;
  }
  return 0;
}

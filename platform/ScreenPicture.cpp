#include "platform/ScreenPicture.h"

#include <QSysInfo>
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/PixmanCalls.h"

namespace {

// pixman addresses pixels in 16.16 fixed point.
constexpr int kMaxSide = 32767;

// The pixman format that reads a Qt image's memory as it is, if there is one.
std::optional<pixman_format_code_t> pixmanFormatOf(QImage::Format format) {
  const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
  switch (format) {
    case QImage::Format_RGB32:
      return PIXMAN_x8r8g8b8;
    case QImage::Format_ARGB32_Premultiplied:
      return PIXMAN_a8r8g8b8;
    case QImage::Format_RGB16:
      return PIXMAN_r5g6b5;
    case QImage::Format_RGB555:
      return PIXMAN_x1r5g5b5;
    case QImage::Format_RGB888:  // bytes R, G, B
      return little ? PIXMAN_b8g8r8 : PIXMAN_r8g8b8;
    case QImage::Format_BGR888:
      return little ? PIXMAN_r8g8b8 : PIXMAN_b8g8r8;
    case QImage::Format_RGBX8888:  // bytes R, G, B, X
      return little ? PIXMAN_x8b8g8r8 : PIXMAN_r8g8b8x8;
    case QImage::Format_RGBA8888_Premultiplied:
      return little ? PIXMAN_a8b8g8r8 : PIXMAN_r8g8b8a8;
    default:
      return std::nullopt;
  }
}

// pixman reads these pixels only, but takes them as writable.
pixman_image_t* wrapPixels(const PixmanCalls& pixman, const QImage& pixels) {
  const auto format = pixmanFormatOf(pixels.format());
  if (!format || !fitsScreenPicture(pixels.size())) return nullptr;
  return pixman.imageCreateBits(*format, pixels.width(), pixels.height(),
                                reinterpret_cast<uint32_t*>(const_cast<uchar*>(pixels.constBits())),
                                int(pixels.bytesPerLine()));
}

}  // namespace

bool isScreenPixelFormat(QImage::Format format) { return pixmanFormatOf(format).has_value(); }

bool fitsScreenPicture(QSize size) {
  return size.width() > 0 && size.height() > 0 && size.width() <= kMaxSide && size.height() <= kMaxSide;
}

namespace {

// One source image, filtered and edge-padded, for the stretches of one picture.
class StretchSource {
 public:
  StretchSource(const PixmanCalls& pixman, const ScreenPicture& picture)
      : m_pixman(pixman), m_image(wrapPixels(pixman, picture.pixels)), m_rows(picture.rows) {
    if (!m_image) return;
    // Pixels at the picture's edges are sampled against copies of themselves,
    // not against black.
    m_pixman.imageSetRepeat(m_image, PIXMAN_REPEAT_PAD);
    m_pixman.imageSetFilter(m_image, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  }
  ~StretchSource() {
    if (m_image) m_pixman.imageUnref(m_image);
  }
  StretchSource(const StretchSource&) = delete;
  StretchSource& operator=(const StretchSource&) = delete;

  explicit operator bool() const { return m_image != nullptr; }

  // Draws the picture, `pictureSize` as a whole of which this image holds the
  // rows from `top` on, stretched to `areaSize`, into `destination` of
  // `target`; `fromRow` is the area's row that lands on the destination's top.
  // The scale is the same fixed-point factor however the area is cut into
  // bands, and the shift to the held rows a whole number, so every band
  // samples exactly where a whole stretch does.
  void draw(QSize pictureSize, int top, QSize areaSize, int fromRow, pixman_image_t* target,
            QRect destination) const {
    const double scaleX = double(pictureSize.width()) / areaSize.width();
    const double scaleY = double(pictureSize.height()) / areaSize.height();
    // A bottom-up picture is read upside down.
    const bool bottomUp = m_rows == RowOrder::BottomUp;
    pixman_f_transform stretch{};
    m_pixman.fTransformInitIdentity(&stretch);
    stretch.m[0][0] = scaleX;
    stretch.m[1][1] = bottomUp ? -scaleY : scaleY;
    stretch.m[1][2] = bottomUp ? pictureSize.height() - top : -top;
    pixman_transform_t fixed;
    m_pixman.transformFromFTransform(&fixed, &stretch);
    m_pixman.imageSetTransform(m_image, &fixed);
    m_pixman.imageComposite32(PIXMAN_OP_SRC, m_image, nullptr, target, 0, fromRow, 0, 0, destination.x(),
                              destination.y(), destination.width(), destination.height());
  }

 private:
  const PixmanCalls& m_pixman;
  pixman_image_t* m_image;
  RowOrder m_rows;
};

class WholePictureRows : public ScreenPictureRows {
 public:
  explicit WholePictureRows(ScreenPicture picture) : m_picture(std::move(picture)) {}
  QSize size() const override { return m_picture.size(); }
  const ScreenPicture* rows(int, int, int& top, QString&) override {
    top = 0;
    return &m_picture;
  }

 private:
  ScreenPicture m_picture;
};

}  // namespace

std::pair<int, int> sampledRows(int pictureHeight, int areaHeight, int firstRow, int rowCount) {
  // One more row on each side for the rounding of fixed-point positions.
  const double scale = double(pictureHeight) / areaHeight;
  const auto sampled = [scale](int row) { return int(std::floor(scale * (row + 0.5) - 0.5)); };
  const int first = std::clamp(sampled(firstRow) - 1, 0, pictureHeight - 1);
  const int last = std::min(pictureHeight, sampled(firstRow + rowCount - 1) + 3);
  return {first, std::max(first + 1, last)};
}

std::unique_ptr<ScreenPictureRows> wholePictureRows(ScreenPicture picture) {
  return std::make_unique<WholePictureRows>(std::move(picture));
}

ScreenPictureOpener wholePictureOpener(ScreenPictureLoader load) {
  return [load = std::move(load)](const QString& path, QSize box,
                                  QString& why) -> std::unique_ptr<ScreenPictureRows> {
    std::optional<ScreenPicture> picture = load(path, box, why);
    if (!picture) return nullptr;
    return wholePictureRows(std::move(*picture));
  };
}

bool drawStretched(const ScreenPicture& picture, pixman_image_t* target, const std::vector<QRect>& areas) {
  const PixmanCalls* calls = pixmanCalls();
  if (!calls) return false;
  const StretchSource source(*calls, picture);
  if (!source) return false;
  for (const QRect& area : areas) {
    if (!area.isEmpty()) source.draw(picture.size(), 0, area.size(), 0, target, area);
  }
  return true;
}

bool drawStretchedBand(ScreenPictureRows& picture, QSize areaSize, int bandTop, pixman_image_t* band,
                       QString& why) {
  const PixmanCalls* calls = pixmanCalls();
  if (!calls) {
    why = QStringLiteral("the pixman library cannot be opened");
    return false;
  }
  const QSize bandSize(calls->imageGetWidth(band), calls->imageGetHeight(band));
  const QSize size = picture.size();
  const auto [first, last] = sampledRows(size.height(), areaSize.height(), bandTop, bandSize.height());
  int top = 0;
  const ScreenPicture* rows = picture.rows(first, last, top, why);
  if (!rows) return false;
  const StretchSource source(*calls, *rows);
  if (!source) {
    why = QStringLiteral("the picture's pixels cannot be drawn");
    return false;
  }
  source.draw(size, top, areaSize, bandTop, band, QRect(QPoint(0, 0), bandSize));
  return true;
}

std::vector<QRect> uncoveredAreas(QSize size, const std::vector<QRect>& areas) {
  const PixmanCalls* calls = pixmanCalls();
  if (!calls) return {QRect(QPoint(0, 0), size)};
  const PixmanCalls& pixman = *calls;
  pixman_region32_t uncovered;
  pixman.region32InitRect(&uncovered, 0, 0, unsigned(size.width()), unsigned(size.height()));
  for (const QRect& area : areas) {
    if (area.isEmpty()) continue;
    pixman_region32_t covered;
    pixman.region32InitRect(&covered, area.x(), area.y(), unsigned(area.width()), unsigned(area.height()));
    pixman.region32Subtract(&uncovered, &uncovered, &covered);
    pixman.region32Fini(&covered);
  }
  int count = 0;
  const pixman_box32_t* boxes = pixman.region32Rectangles(&uncovered, &count);
  std::vector<QRect> rectangles;
  for (int i = 0; i < count; ++i)
    rectangles.emplace_back(QPoint(boxes[i].x1, boxes[i].y1), QPoint(boxes[i].x2 - 1, boxes[i].y2 - 1));
  pixman.region32Fini(&uncovered);
  return rectangles;
}

bool fillOutside(pixman_image_t* target, const std::vector<QRect>& areas) {
  const PixmanCalls* calls = pixmanCalls();
  if (!calls) return false;
  const PixmanCalls& pixman = *calls;
  std::vector<pixman_box32_t> boxes;
  for (const QRect& rectangle :
       uncoveredAreas(QSize(pixman.imageGetWidth(target), pixman.imageGetHeight(target)), areas))
    boxes.push_back({rectangle.left(), rectangle.top(), rectangle.right() + 1, rectangle.bottom() + 1});
  const pixman_color_t black{0, 0, 0, 0xffff};
  if (!boxes.empty()) pixman.imageFillBoxes(PIXMAN_OP_SRC, target, &black, int(boxes.size()), boxes.data());
  return true;
}

bool stretchOnto(const ScreenPicture& picture, pixman_image_t* target, const std::vector<QRect>& areas) {
  return drawStretched(picture, target, areas) && fillOutside(target, areas);
}

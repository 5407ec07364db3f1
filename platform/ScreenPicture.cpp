#include "platform/ScreenPicture.h"

#include <QSysInfo>

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

bool drawStretched(const ScreenPicture& picture, pixman_image_t* target, const std::vector<QRect>& areas) {
  const PixmanCalls* calls = pixmanCalls();
  if (!calls) return false;
  const PixmanCalls& pixman = *calls;
  pixman_image_t* source = wrapPixels(pixman, picture.pixels);
  if (!source) return false;
  const QSize size = picture.size();
  const bool bottomUp = picture.rows == RowOrder::BottomUp;
  // Pixels at the picture's edges are sampled against copies of themselves,
  // not against black.
  pixman.imageSetRepeat(source, PIXMAN_REPEAT_PAD);
  pixman.imageSetFilter(source, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  for (const QRect& area : areas) {
    if (area.isEmpty()) continue;
    // Maps the area's pixel centres onto the picture; a bottom-up picture is
    // read upside down.
    const double scaleX = double(size.width()) / area.width();
    const double scaleY = double(size.height()) / area.height();
    pixman_f_transform stretch{};
    pixman.fTransformInitIdentity(&stretch);
    stretch.m[0][0] = scaleX;
    stretch.m[1][1] = bottomUp ? -scaleY : scaleY;
    stretch.m[1][2] = bottomUp ? size.height() : 0;
    pixman_transform_t fixed;
    pixman.transformFromFTransform(&fixed, &stretch);
    pixman.imageSetTransform(source, &fixed);
    pixman.imageComposite32(PIXMAN_OP_SRC, source, nullptr, target, 0, 0, 0, 0, area.x(), area.y(),
                            area.width(), area.height());
  }
  pixman.imageUnref(source);
  return true;
}

bool fillOutside(pixman_image_t* target, const std::vector<QRect>& areas) {
  const PixmanCalls* calls = pixmanCalls();
  if (!calls) return false;
  const PixmanCalls& pixman = *calls;
  pixman_region32_t uncovered;
  pixman.region32InitRect(&uncovered, 0, 0, unsigned(pixman.imageGetWidth(target)),
                          unsigned(pixman.imageGetHeight(target)));
  for (const QRect& area : areas) {
    if (area.isEmpty()) continue;
    pixman_region32_t covered;
    pixman.region32InitRect(&covered, area.x(), area.y(), unsigned(area.width()), unsigned(area.height()));
    pixman.region32Subtract(&uncovered, &uncovered, &covered);
    pixman.region32Fini(&covered);
  }
  int count = 0;
  const pixman_box32_t* boxes = pixman.region32Rectangles(&uncovered, &count);
  const pixman_color_t black{0, 0, 0, 0xffff};
  if (count > 0) pixman.imageFillBoxes(PIXMAN_OP_SRC, target, &black, count, boxes);
  pixman.region32Fini(&uncovered);
  return true;
}

bool stretchOnto(const ScreenPicture& picture, pixman_image_t* target, const std::vector<QRect>& areas) {
  return drawStretched(picture, target, areas) && fillOutside(target, areas);
}

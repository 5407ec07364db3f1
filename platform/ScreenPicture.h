// A picture read for a screen rather than for itself: no larger than the
// screen needs where the format allows it, and in memory once at most, so
// that a photo of a hundred megapixels becomes a background without a copy
// of a hundred megapixels. pixman stretches it straight into the screen's
// own pixel format.
//
// The root-window backend draws such pictures but does not read them: the
// picture layer above hands it a loader, so that every picture the program
// reads goes through the one pipeline.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

using pixman_image_t = union pixman_image;

enum class RowOrder { TopDown, BottomUp };

struct ScreenPicture {
  // In a format isScreenPixelFormat accepts. It may share the pages of a
  // mapped file, which it keeps mapped while any copy of it lives.
  QImage pixels;
  // Bitmap files keep their rows last first; such rows are drawn as they lie.
  RowOrder rows = RowOrder::TopDown;

  QSize size() const { return pixels.size(); }
};

// Reads `path` so that it still covers `box`; nothing, with the reason in
// `why`, when the file cannot be read as a picture.
using ScreenPictureLoader =
    std::function<std::optional<ScreenPicture>(const QString& path, QSize box, QString& why)>;

// A picture handed out a band of rows at a time, top row first, so that
// drawing it onto a screen needs neither the whole picture nor the whole
// screen in memory: each fresh megabyte of a buffer costs page faults and
// zeroing that take longer than stretching into memory already in cache.
class ScreenPictureRows {
 public:
  virtual ~ScreenPictureRows() = default;
  virtual QSize size() const = 0;
  // A picture that holds rows [first, last) of the whole, with `top` set to
  // the row of the whole that is its first row; valid until the next call.
  // Rows above `first` may be dropped: no later call asks for them. Nothing,
  // with the reason in `why`, when the rows cannot be read.
  virtual const ScreenPicture* rows(int first, int last, int& top, QString& why) = 0;
};

// Opens `path` for reading so that it still covers `box`; nothing, with the
// reason in `why`, when the file cannot be read as a picture.
using ScreenPictureOpener =
    std::function<std::unique_ptr<ScreenPictureRows>(const QString& path, QSize box, QString& why)>;

// A picture that is whole in memory, handed out as rows.
std::unique_ptr<ScreenPictureRows> wholePictureRows(ScreenPicture picture);
// An opener that loads each picture whole through `load`.
ScreenPictureOpener wholePictureOpener(ScreenPictureLoader load);

// Whether pixman reads pixels of this format as they lie in memory.
bool isScreenPixelFormat(QImage::Format format);
// Whether pixman can address a picture of this size.
bool fitsScreenPicture(QSize size);

// Stretches the whole picture, filtered bilinearly, onto each rectangle of
// `target` in `areas`, and makes the rest of `target` black. False, with
// `target` untouched, when the picture's pixels cannot be drawn.
bool stretchOnto(const ScreenPicture& picture, pixman_image_t* target, const std::vector<QRect>& areas);
// The two halves of stretchOnto, for a target that shows several pictures:
// the picture onto `areas` alone, and black wherever no area lies.
bool drawStretched(const ScreenPicture& picture, pixman_image_t* target, const std::vector<QRect>& areas);
bool fillOutside(pixman_image_t* target, const std::vector<QRect>& areas);
// The rectangles of a target of `size` that no area covers.
std::vector<QRect> uncoveredAreas(QSize size, const std::vector<QRect>& areas);
// The picture's rows [first, last) that a stretch onto `rowCount` rows of an
// area of `areaHeight`, from its row `firstRow`, samples.
std::pair<int, int> sampledRows(int pictureHeight, int areaHeight, int firstRow, int rowCount);
// Rows [bandTop, bandTop + the band's height) of the picture stretched to
// `areaSize`, drawn into `band` from its top left; the same pixels as the
// area's rows in a whole stretch. False, with the reason in `why`, when the
// rows cannot be read or drawn.
bool drawStretchedBand(ScreenPictureRows& picture, QSize areaSize, int bandTop, pixman_image_t* band,
                       QString& why);

// Encodes a composed picture as a file a desktop can show (JPEG); empty
// when it cannot. The picture layer gives it, as it gives the loader.
using PictureEncoder = std::function<QByteArray(const QImage& picture)>;

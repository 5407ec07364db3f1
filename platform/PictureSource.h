// A picture read for a screen rather than for itself: no larger than the
// screen needs where the format allows it, and in memory once at most, so
// that a photo of a hundred megapixels becomes a background without a copy
// of a hundred megapixels. pixman stretches it straight into the screen's
// own pixel format.
#pragma once

#include <QFile>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>
#include <vector>

using pixman_image_t = union pixman_image;

class PictureSource {
 public:
  // Reads `path` so that it still covers `box`: a JPEG at the smallest DCT
  // scale that does, an uncompressed bitmap straight from the mapped file
  // without decoding, any other picture through Qt's reader at its own size.
  // Null with the reason in `why` when the file cannot be read as a picture.
  static std::unique_ptr<PictureSource> load(const QString& path, QSize box, QString& why);

  ~PictureSource();
  PictureSource(const PictureSource&) = delete;
  PictureSource& operator=(const PictureSource&) = delete;

  QSize size() const { return m_size; }

  // Stretches the whole picture, filtered bilinearly, onto each rectangle of
  // `target` in `areas`, and makes the rest of `target` black.
  void stretchOnto(pixman_image_t* target, const std::vector<QRect>& areas) const;

 private:
  PictureSource() = default;
  bool adoptDecoded(QImage decoded);
  bool adoptMappedBitmap(std::unique_ptr<QFile> file);

  QImage m_decoded;
  std::unique_ptr<QFile> m_mappedFile;
  pixman_image_t* m_image = nullptr;
  QSize m_size;
  bool m_bottomUp = false;  // rows stored last first, as bitmap files keep them
};

// Whether a bitmap file holds fewer bytes than its header says. Qt's reader
// shows such a file with its missing rows blank.
bool BitmapIsCut(QFile& stream);

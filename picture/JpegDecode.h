// JPEG decoding through libjpeg-turbo with DCT scaling, shared by the grid's
// thumbnails and the desktop backgrounds: a picture wanted for a box smaller
// than itself is decoded at the smallest of the scales 1/8, 1/4 and 1/2 that
// still covers the box, which costs a fraction of a full-size decode in time
// and memory.
#pragma once

#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>
#include <memory>

#include "picture/DecodeBudget.h"

enum class JpegScale { Full, CoverBox };

// The stored size from the JPEG's header alone; invalid when the header is
// damaged, and then libjpeg's reason in `why`. Reads `source` up to the first scan.
QSize readJpegSize(QIODevice& source, QString* why = nullptr);

// Decodes the JPEG that `source` reads into Format_RGB32 (CMYK and grey
// included): at its own size, or at the smallest of those scales whose output
// covers `box` (the picture's own size when the box is larger). The file is read in
// chunks as the decoder asks for them. A result of more than `maxBytes` is
// refused before decoding ("picture too large (W x H)", the file's own size),
// and so is one whose memory `reservation` cannot take.
// On any failure: a null image and the reason in `why`; it never aborts.
QImage decodeJpegStream(QIODevice& source, JpegScale scale, QSize box, qint64 maxBytes,
                        DecodeReservation& reservation, QString* why);

// A JPEG read a few rows at a time, top row first, into Format_RGB32 (CMYK
// and grey included), at the smallest of those scales whose output covers
// the box: a picture drawn in bands never needs all its rows at once.
class JpegRows {
 public:
  ~JpegRows();
  JpegRows(const JpegRows&) = delete;
  JpegRows& operator=(const JpegRows&) = delete;

  // Reads the header from `source`, which must outlive the result. Nothing,
  // with the reason in `why`, for a damaged header or an output of more than
  // `maxBytes`.
  static std::unique_ptr<JpegRows> open(QIODevice& source, QSize box, qint64 maxBytes, QString* why);
  QSize size() const;
  // The next `count` rows into `rows`, each `bytesPerLine` after the one
  // before; false, with the reason in `why`, when the data is damaged or cut.
  bool read(uchar* rows, int count, qsizetype bytesPerLine, QString* why);

 private:
  struct Decoding;
  explicit JpegRows(std::unique_ptr<Decoding> decoding);
  std::unique_ptr<Decoding> m_decoding;
};

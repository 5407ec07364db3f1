// Picture decoding for the grid, the preview, the wallpaper and the
// publisher. The format is told by the content; JPEG goes through
// libjpeg-turbo with DCT scaling, so a thumbnail box never pays for a
// full-size decode; every other format goes through Qt's reader.
#pragma once

#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

#include "picture/DecodeBudget.h"
#include "picture/ExifOrientation.h"
#include "picture/PictureFormat.h"

// Pictures larger than this many bytes once decoded are refused, so that a
// tiny file claiming huge dimensions cannot exhaust memory.
constexpr qint64 kMaxDecodedPictureBytes = 256LL * 1024 * 1024;

struct DecodeOptions {
  Orientation orientation = Orientation::Upright;
  // Larger results are refused before decoding; so is a JPEG file larger
  // than this.
  qint64 maxDecodedBytes = kMaxDecodedPictureBytes;
  // Shared with the decodes that run beside this one: its pixels are taken
  // from it before they are allocated, and given back once the call is done
  // with them. None: only the bound above.
  DecodeBudget* budget = nullptr;
};

// Decodes what `source` holds no larger than needed to cover `target` (as
// shown, after orientation) where the format can decode smaller: JPEG at the
// smallest DCT scale that covers it, a format whose Qt reader scales while
// decoding at the smallest size that covers it, anything else at its own
// size. An empty target asks for the picture's own size. The result may be
// larger than the target; scaleToBox makes it fit. A null image with the
// reason in `why` for a picture that is corrupt, truncated or too large.
QImage decodeForSize(QIODevice& source, QSize target, const DecodeOptions& options = {},
                     QString* why = nullptr);

// The same for a file, opened by its name's own bytes (which need not be
// UTF-8); a pipe or device named like a picture, which would block the
// reader for ever, is refused. The reason starts with the file's name.
QImage decodeFileForSize(const QString& file, QSize target, const DecodeOptions& options = {},
                         QString* error = nullptr);

// Stretched smoothly to exactly `box`, as the grid's and the preview's
// images show their pictures.
QImage scaleToBox(const QImage& picture, QSize box);

struct PictureHeader {
  PictureFormat format = PictureFormat::Unknown;
  // As stored, but for HEIF and JPEG XL, whose decoders turn the picture
  // upright themselves: as shown. Invalid when the header cannot be read,
  // with the reason in `problem`.
  QSize size;
  ExifOrientation orientation = ExifOrientation::Normal;  // what the decode applies
  QString problem;
  bool decoderMissing = false;  // the problem is a library or plugin that is not installed
};
// The format, size and orientation, from the header alone. The device is
// only peeked at.
PictureHeader readPictureHeader(QIODevice& source);

// Decodes `file` (upright unless `options` say otherwise) and scales it
// smoothly to exactly `box`; a budget is held until the scaling is done.
// Returns a null image and a reason in `error` (when given) for a missing,
// corrupt, truncated or oversized file; it never aborts the program.
QImage loadPictureForBox(const QString& file, QSize box, QString* error = nullptr,
                         const DecodeOptions& options = {});

// Decodes several pictures for one box at once, each on a thread of its own,
// so that a page of thumbnails costs about the slowest one. The results
// follow the order of `files`: a null image where a file failed, with its
// reason at the same place in `errors` (empty where it succeeded).
std::vector<QImage> loadPicturesForBox(const QStringList& files, QSize box, QStringList* errors = nullptr,
                                       const DecodeOptions& options = {});

// Decodes `file` upright at its own size, with the same guards.
QImage loadPicture(const QString& file, QString* error = nullptr);

// Whether a file decodes as a picture at all; what a server sends instead of
// a picture (an error page) does not.
bool decodesAsPicture(const QString& file);

#include "picture/ImageDecode.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <future>
#include <memory>

#include "picture/JpegDecode.h"
#include "picture/LibraryDecode.h"
#include "platform/FileNames.h"

namespace {

bool setError(QString* error, const QString& text) {
  if (error) *error = text;
  return false;
}

QImage refuse(QString* error, const QString& text) {
  setError(error, text);
  return {};
}

QSize targetAsStored(QSize target, ExifOrientation orientation) {
  return swapsAxes(orientation) ? target.transposed() : target;
}

// Whether a bitmap holds fewer bytes than its header says. Qt's reader
// shows such a file with its missing rows blank.
bool bitmapIsCut(QIODevice& source) {
  const QByteArray header = source.peek(6);
  if (header.size() < 6 || !header.startsWith("BM")) return false;
  return qint64(qFromLittleEndian<quint32>(header.constData() + 2)) > source.size();
}

QImage decodeJpeg(QIODevice& source, QSize target, const DecodeOptions& options,
                  DecodeReservation& reservation, QString* why) {
  if (source.size() > options.maxDecodedBytes) return refuse(why, QStringLiteral("file too large"));
  const ExifOrientation orientation =
      options.orientation == Orientation::Upright ? peekExifOrientation(source) : ExifOrientation::Normal;
  const JpegScale scale = target.isEmpty() ? JpegScale::Full : JpegScale::CoverBox;
  QString reason;
  QImage picture = decodeJpegStream(source, scale, targetAsStored(target, orientation),
                                    options.maxDecodedBytes, reservation, &reason);
  if (picture.isNull()) return refuse(why, reason);
  return applyExifOrientation(std::move(picture), orientation);
}

// The smallest size of the picture's shape that covers `target`.
QSize coverSize(QSize size, QSize target) {
  return size.scaled(target, Qt::KeepAspectRatioByExpanding).boundedTo(size);
}

QString tooLarge(QSize size) {
  return QStringLiteral("picture too large (%1 x %2)").arg(size.width()).arg(size.height());
}

QImage decodeWithQt(QIODevice& source, PictureFormat format, QSize target, const DecodeOptions& options,
                    DecodeReservation& reservation, QString* why) {
  if (bitmapIsCut(source)) return refuse(why, QStringLiteral("the file is cut short"));
  QImageReader reader(&source, qtFormatName(format));
  reader.setAutoTransform(false);
  // Where the header tells no size, Qt's own bound is the only one.
  reader.setAllocationLimit(int(qMax<qint64>(1, options.maxDecodedBytes >> 20)));
  const QSize size = reader.size();
  if (size.isValid() && !fitsDecodeLimit(size, options.maxDecodedBytes)) return refuse(why, tooLarge(size));
  // These readers decode at the stored size, whatever they scale to after.
  const qint64 needed = size.isValid() ? decodedBytes(size) : options.maxDecodedBytes;
  if (!reservation.take(needed)) return refuse(why, tooLarge(size));
  const ExifOrientation orientation = options.orientation == Orientation::Upright
                                          ? exifOrientationOf(reader.transformation())
                                          : ExifOrientation::Normal;
  if (!target.isEmpty() && size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize))
    reader.setScaledSize(coverSize(size, targetAsStored(target, orientation)));
  QImage picture = reader.read();
  if (picture.isNull()) return refuse(why, reader.errorString());
  return applyExifOrientation(std::move(picture), orientation);
}

// Qt reads WebP and TIFF through plugins of a package of their own.
bool qtReaderMissing(PictureFormat format) {
  const bool plugin = format == PictureFormat::WebP || format == PictureFormat::Tiff;
  return plugin && !QImageReader::supportedImageFormats().contains(qtFormatName(format));
}

QString readerProblem(PictureFormat format, const QImageReader& reader) {
  if (qtReaderMissing(format))
    return QStringLiteral(
               "%1 pictures need Qt's image format plugins (Debian package qt6-image-formats-plugins), "
               "which are not installed")
        .arg(format == PictureFormat::WebP ? QStringLiteral("WebP") : QStringLiteral("TIFF"));
  return reader.errorString();
}

// These libraries read from memory and decode at the picture's own size,
// turned upright where the format says how.
QImage decodeThroughLibrary(QIODevice& source, PictureFormat format, const DecodeOptions& options,
                            DecodeReservation& reservation, QString* why) {
  if (source.size() > options.maxDecodedBytes) return refuse(why, QStringLiteral("file too large"));
  const QByteArray bytes = source.readAll();
  return decodeWithLibrary(format, bytes, options.maxDecodedBytes, reservation, why);
}

QString describeOpenFailure(OpenFailure failure, const QString& file) {
  switch (failure) {
    case OpenFailure::Missing:
      return QStringLiteral("%1: no such file").arg(file);
    case OpenFailure::NotAFile:
      return QStringLiteral("%1: not a regular file").arg(file);
    case OpenFailure::Unreadable:
    case OpenFailure::None:
      break;
  }
  return QStringLiteral("%1: cannot be opened").arg(file);
}

QImage decodeWithin(QIODevice& source, QSize target, const DecodeOptions& options,
                    DecodeReservation& reservation, QString* why) {
  const PictureFormat format = probePictureFormat(source);
  if (format == PictureFormat::Jpeg) return decodeJpeg(source, target, options, reservation, why);
  if (isLibraryFormat(format)) return decodeThroughLibrary(source, format, options, reservation, why);
  return decodeWithQt(source, format, target, options, reservation, why);
}

QImage decodeFileWithin(const QString& file, QSize target, const DecodeOptions& options,
                        DecodeReservation& reservation, QString* error) {
  OpenFailure failure = OpenFailure::None;
  const std::unique_ptr<QFile> stream = openFileForReading(file, &failure);
  if (!stream) return refuse(error, describeOpenFailure(failure, file));
  QString why;
  QImage picture = decodeWithin(*stream, target, options, reservation, &why);
  if (picture.isNull()) setError(error, file + QStringLiteral(": ") + why);
  return picture;
}

}  // namespace

QImage decodeForSize(QIODevice& source, QSize target, const DecodeOptions& options, QString* why) {
  DecodeReservation reservation(options.budget);
  return decodeWithin(source, target, options, reservation, why);
}

QImage decodeFileForSize(const QString& file, QSize target, const DecodeOptions& options, QString* error) {
  DecodeReservation reservation(options.budget);
  return decodeFileWithin(file, target, options, reservation, error);
}

QImage scaleToBox(const QImage& picture, QSize box) {
  return picture.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

PictureHeader readPictureHeader(QIODevice& source) {
  PictureHeader header;
  header.format = probePictureFormat(source);
  if (isLibraryFormat(header.format)) {
    header.size = libraryPictureSize(header.format, source.peek(source.size()), &header.problem);
    header.decoderMissing = !libraryAvailable(header.format);
    return header;
  }
  // The common case needs no image plugins: Qt's reader would list and load
  // them all first, which costs a thumbnail page more than its decoding.
  if (header.format == PictureFormat::Jpeg) {
    header.orientation = peekExifOrientation(source);
    header.size = readJpegSize(source, &header.problem);
    return header;
  }
  QImageReader reader(&source, qtFormatName(header.format));
  reader.setAutoTransform(false);
  header.size = reader.size();
  if (header.format != PictureFormat::Jpeg) header.orientation = exifOrientationOf(reader.transformation());
  if (!header.size.isValid()) {
    header.problem = readerProblem(header.format, reader);
    header.decoderMissing = qtReaderMissing(header.format);
  }
  return header;
}

QImage loadPictureForBox(const QString& file, QSize box, QString* error, const DecodeOptions& options) {
  if (box.isEmpty()) return refuse(error, QStringLiteral("%1: empty picture box").arg(file));
  DecodeReservation reservation(options.budget);
  const QImage picture = decodeFileWithin(file, box, options, reservation, error);
  if (picture.isNull()) return picture;
  return scaleToBox(picture, box);
}

QImage loadPicture(const QString& file, QString* error) {
  return decodeFileForSize(file, QSize(), {}, error);
}

std::vector<QImage> loadPicturesForBox(const QStringList& files, QSize box, QStringList* errors,
                                       const DecodeOptions& options) {
  std::vector<std::future<QImage>> pending;
  std::vector<QString> reasons(files.size());
  for (qsizetype i = 0; i < files.size(); ++i)
    pending.push_back(std::async(std::launch::async,
                                 [&, i] { return loadPictureForBox(files[i], box, &reasons[i], options); }));
  std::vector<QImage> pictures;
  for (auto& picture : pending) pictures.push_back(picture.get());
  if (errors) {
    errors->clear();
    for (const QString& reason : reasons) errors->append(reason);
  }
  return pictures;
}

bool decodesAsPicture(const QString& file) {
  // Decoding to a tiny box is enough to tell a picture from an error page, and
  // cheap for JPEG thanks to DCT scaling.
  return !loadPictureForBox(file, QSize(8, 8)).isNull();
}

#include "picture/ImageDecode.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <future>
#include <memory>

#include "picture/JpegDecode.h"
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

bool fitsDecodeLimit(QSize size, qint64 maxBytes) {
  return size.width() > 0 && size.height() > 0 && qint64(size.width()) * size.height() * 4 <= maxBytes;
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

QImage decodeJpeg(QIODevice& source, QSize target, const DecodeOptions& options, QString* why) {
  if (source.size() > options.maxDecodedBytes) return refuse(why, QStringLiteral("file too large"));
  const ExifOrientation orientation =
      options.orientation == Orientation::Upright ? peekExifOrientation(source) : ExifOrientation::Normal;
  const JpegScale scale = target.isEmpty() ? JpegScale::Full : JpegScale::CoverBox;
  QString reason;
  QImage picture =
      decodeJpegStream(source, scale, targetAsStored(target, orientation), options.maxDecodedBytes, &reason);
  if (picture.isNull()) return refuse(why, reason);
  return applyExifOrientation(std::move(picture), orientation);
}

// The smallest size of the picture's shape that covers `target`.
QSize coverSize(QSize size, QSize target) {
  return size.scaled(target, Qt::KeepAspectRatioByExpanding).boundedTo(size);
}

QImage decodeWithQt(QIODevice& source, PictureFormat format, QSize target, const DecodeOptions& options,
                    QString* why) {
  if (bitmapIsCut(source)) return refuse(why, QStringLiteral("the file is cut short"));
  QImageReader reader(&source, qtFormatName(format));
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  if (size.isValid() && !fitsDecodeLimit(size, options.maxDecodedBytes))
    return refuse(why, QStringLiteral("picture too large (%1 x %2)").arg(size.width()).arg(size.height()));
  const ExifOrientation orientation = options.orientation == Orientation::Upright
                                          ? exifOrientationOf(reader.transformation())
                                          : ExifOrientation::Normal;
  if (!target.isEmpty() && size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize))
    reader.setScaledSize(coverSize(size, targetAsStored(target, orientation)));
  QImage picture = reader.read();
  if (picture.isNull()) return refuse(why, reader.errorString());
  return applyExifOrientation(std::move(picture), orientation);
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

}  // namespace

QImage decodeForSize(QIODevice& source, QSize target, const DecodeOptions& options, QString* why) {
  const PictureFormat format = probePictureFormat(source);
  if (format == PictureFormat::Jpeg) return decodeJpeg(source, target, options, why);
  return decodeWithQt(source, format, target, options, why);
}

QImage decodeFileForSize(const QString& file, QSize target, const DecodeOptions& options, QString* error) {
  OpenFailure failure = OpenFailure::None;
  const std::unique_ptr<QFile> stream = openFileForReading(file, &failure);
  if (!stream) return refuse(error, describeOpenFailure(failure, file));
  QString why;
  QImage picture = decodeForSize(*stream, target, options, &why);
  if (picture.isNull()) setError(error, file + QStringLiteral(": ") + why);
  return picture;
}

QImage scaleToBox(const QImage& picture, QSize box) {
  return picture.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

PictureHeader readPictureHeader(QIODevice& source) {
  PictureHeader header;
  header.format = probePictureFormat(source);
  QImageReader reader(&source, qtFormatName(header.format));
  reader.setAutoTransform(false);
  header.size = reader.size();
  return header;
}

QImage loadPictureForBox(const QString& file, QSize box, QString* error) {
  if (box.isEmpty()) return refuse(error, QStringLiteral("%1: empty picture box").arg(file));
  const QImage picture = decodeFileForSize(file, box, {}, error);
  if (picture.isNull()) return picture;
  return scaleToBox(picture, box);
}

QImage loadPicture(const QString& file, QString* error) {
  return decodeFileForSize(file, QSize(), {}, error);
}

std::vector<QImage> loadPicturesForBox(const QStringList& files, QSize box, QStringList* errors) {
  std::vector<std::future<QImage>> pending;
  std::vector<QString> reasons(files.size());
  for (qsizetype i = 0; i < files.size(); ++i)
    pending.push_back(
        std::async(std::launch::async, [&, i] { return loadPictureForBox(files[i], box, &reasons[i]); }));
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

#include "picture/ImageDecode.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <future>
#include <memory>

#include "picture/JpegDecode.h"
#include "platform/FileNames.h"

namespace {

bool SetError(QString* error, const QString& text) {
  if (error) *error = text;
  return false;
}

QImage Refuse(QString* error, const QString& text) {
  SetError(error, text);
  return {};
}

bool FitsDecodeLimit(QSize size, qint64 maxBytes) {
  return size.width() > 0 && size.height() > 0 && qint64(size.width()) * size.height() * 4 <= maxBytes;
}

QSize TargetAsStored(QSize target, ExifOrientation orientation) {
  return swapsAxes(orientation) ? target.transposed() : target;
}

// Whether a bitmap holds fewer bytes than its header says. Qt's reader
// shows such a file with its missing rows blank.
bool BitmapIsCut(QIODevice& source) {
  const QByteArray header = source.peek(6);
  if (header.size() < 6 || !header.startsWith("BM")) return false;
  return qint64(qFromLittleEndian<quint32>(header.constData() + 2)) > source.size();
}

QImage DecodeJpeg(QIODevice& source, QSize target, const DecodeOptions& options, QString* why) {
  if (source.size() > options.maxDecodedBytes) return Refuse(why, QStringLiteral("file too large"));
  const ExifOrientation orientation =
      options.orientation == Orientation::Upright ? peekExifOrientation(source) : ExifOrientation::Normal;
  const JpegScale scale = target.isEmpty() ? JpegScale::Full : JpegScale::CoverBox;
  QString reason;
  QImage picture =
      DecodeJpegStream(source, scale, TargetAsStored(target, orientation), options.maxDecodedBytes, &reason);
  if (picture.isNull()) return Refuse(why, reason);
  return applyExifOrientation(std::move(picture), orientation);
}

// The smallest size of the picture's shape that covers `target`.
QSize CoverSize(QSize size, QSize target) {
  return size.scaled(target, Qt::KeepAspectRatioByExpanding).boundedTo(size);
}

QImage DecodeWithQt(QIODevice& source, PictureFormat format, QSize target, const DecodeOptions& options,
                    QString* why) {
  if (BitmapIsCut(source)) return Refuse(why, QStringLiteral("the file is cut short"));
  QImageReader reader(&source, qtFormatName(format));
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  if (size.isValid() && !FitsDecodeLimit(size, options.maxDecodedBytes))
    return Refuse(why, QStringLiteral("picture too large (%1 x %2)").arg(size.width()).arg(size.height()));
  const ExifOrientation orientation = options.orientation == Orientation::Upright
                                          ? exifOrientationOf(reader.transformation())
                                          : ExifOrientation::Normal;
  if (!target.isEmpty() && size.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize))
    reader.setScaledSize(CoverSize(size, TargetAsStored(target, orientation)));
  QImage picture = reader.read();
  if (picture.isNull()) return Refuse(why, reader.errorString());
  return applyExifOrientation(std::move(picture), orientation);
}

QString DescribeOpenFailure(OpenFailure failure, const QString& file) {
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
  if (format == PictureFormat::Jpeg) return DecodeJpeg(source, target, options, why);
  return DecodeWithQt(source, format, target, options, why);
}

QImage decodeFileForSize(const QString& file, QSize target, const DecodeOptions& options, QString* error) {
  OpenFailure failure = OpenFailure::None;
  const std::unique_ptr<QFile> stream = OpenFileForReading(file, &failure);
  if (!stream) return Refuse(error, DescribeOpenFailure(failure, file));
  QString why;
  QImage picture = decodeForSize(*stream, target, options, &why);
  if (picture.isNull()) SetError(error, file + QStringLiteral(": ") + why);
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

QImage LoadPictureForBox(const QString& file, QSize box, QString* error) {
  if (box.isEmpty()) return Refuse(error, QStringLiteral("%1: empty picture box").arg(file));
  const QImage picture = decodeFileForSize(file, box, {}, error);
  if (picture.isNull()) return picture;
  return scaleToBox(picture, box);
}

QImage LoadPicture(const QString& file, QString* error) {
  return decodeFileForSize(file, QSize(), {}, error);
}

std::vector<QImage> LoadPicturesForBox(const QStringList& files, QSize box, QStringList* errors) {
  std::vector<std::future<QImage>> pending;
  std::vector<QString> reasons(files.size());
  for (qsizetype i = 0; i < files.size(); ++i)
    pending.push_back(
        std::async(std::launch::async, [&, i] { return LoadPictureForBox(files[i], box, &reasons[i]); }));
  std::vector<QImage> pictures;
  for (auto& picture : pending) pictures.push_back(picture.get());
  if (errors) {
    errors->clear();
    for (const QString& reason : reasons) errors->append(reason);
  }
  return pictures;
}

bool DecodesAsPicture(const QString& file) {
  // Decoding to a tiny box is enough to tell a picture from an error page, and
  // cheap for JPEG thanks to DCT scaling.
  return !LoadPictureForBox(file, QSize(8, 8)).isNull();
}

#include "library/ImageDecode.h"

#include <QFile>
#include <QImageReader>
#include <future>
#include <memory>

#include "platform/FileNames.h"
#include "platform/JpegDecode.h"
#include "platform/PictureSource.h"

namespace {

bool SetError(QString* error, const QString& text) {
  if (error) *error = text;
  return false;
}

QImage Refuse(QString* error, const QString& text) {
  SetError(error, text);
  return {};
}

QImage RefuseTooLarge(QString* error, const QString& file, QSize size) {
  return Refuse(
      error,
      QStringLiteral("%1: picture too large (%2 x %3)").arg(file).arg(size.width()).arg(size.height()));
}

bool FitsDecodeLimit(qint64 width, qint64 height) {
  return width > 0 && height > 0 && width * height * 4 <= kMaxDecodedPictureBytes;
}

QImage DecodeJpeg(QFile& stream, const QString& file, JpegScale scale, QSize box, QString* error) {
  if (stream.size() > kMaxDecodedPictureBytes)
    return Refuse(error, QStringLiteral("%1: file too large").arg(file));
  QString why;
  QImage image = DecodeJpegStream(stream, scale, box, kMaxDecodedPictureBytes, &why);
  if (image.isNull()) SetError(error, file + QStringLiteral(": ") + why);
  return image;
}

QImage DecodeWithQt(QFile& stream, const QString& file, QString* error) {
  if (BitmapIsCut(stream)) return Refuse(error, QStringLiteral("%1: the file is cut short").arg(file));
  QImageReader reader(&stream);
  const QSize size = reader.size();
  if (size.isValid() && !FitsDecodeLimit(size.width(), size.height()))
    return RefuseTooLarge(error, file, size);
  QImage image = reader.read();
  if (image.isNull()) SetError(error, file + QStringLiteral(": ") + reader.errorString());
  return image;
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

// Opened by the name's own bytes, which need not be UTF-8; a pipe or device
// named like a picture, which would block the reader for ever, is refused.
QImage Decode(const QString& file, JpegScale scale, QSize box, QString* error) {
  OpenFailure failure = OpenFailure::None;
  const std::unique_ptr<QFile> stream = OpenFileForReading(file, &failure);
  if (!stream) return Refuse(error, DescribeOpenFailure(failure, file));
  return HasJpegExtension(file) ? DecodeJpeg(*stream, file, scale, box, error)
                                : DecodeWithQt(*stream, file, error);
}

}  // namespace

QImage LoadPictureForBox(const QString& file, QSize box, QString* error) {
  if (box.isEmpty()) return Refuse(error, QStringLiteral("%1: empty picture box").arg(file));
  const QImage picture = Decode(file, JpegScale::CoverBox, box, error);
  if (picture.isNull()) return picture;
  return picture.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage LoadPicture(const QString& file, QString* error) {
  return Decode(file, JpegScale::Full, QSize(), error);
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

#include "picture/PictureFormat.h"

#include <QFile>
#include <QImageReader>
#include <memory>

#include "platform/FileNames.h"

namespace {

constexpr qint64 kSignatureBytes = 12;

bool isWebP(const QByteArray& head) {
  return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == QByteArrayLiteral("WEBP");
}

}  // namespace

PictureFormat probePictureFormat(QIODevice& source) {
  const QByteArray head = source.peek(kSignatureBytes);
  if (head.startsWith(QByteArrayLiteral("\xFF\xD8\xFF"))) return PictureFormat::Jpeg;
  if (head.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1A\n"))) return PictureFormat::Png;
  if (head.startsWith("BM")) return PictureFormat::Bmp;
  if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) return PictureFormat::Gif;
  if (isWebP(head)) return PictureFormat::WebP;
  if (head.startsWith(QByteArrayLiteral("II*\0")) || head.startsWith(QByteArrayLiteral("MM\0*")))
    return PictureFormat::Tiff;
  return PictureFormat::Unknown;
}

QByteArray qtFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Jpeg:
      return QByteArrayLiteral("jpeg");
    case PictureFormat::Png:
      return QByteArrayLiteral("png");
    case PictureFormat::Bmp:
      return QByteArrayLiteral("bmp");
    case PictureFormat::Gif:
      return QByteArrayLiteral("gif");
    case PictureFormat::WebP:
      return QByteArrayLiteral("webp");
    case PictureFormat::Tiff:
      return QByteArrayLiteral("tiff");
    case PictureFormat::Unknown:
      break;
  }
  return {};
}

bool isPictureFile(const QString& file) {
  const std::unique_ptr<QFile> stream = openFileForReading(file);
  if (!stream) return false;
  if (probePictureFormat(*stream) != PictureFormat::Unknown) return true;
  return QImageReader(stream.get()).canRead();
}

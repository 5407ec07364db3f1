#include "picture/PictureFormat.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <memory>

#include "platform/FileNames.h"

namespace {

constexpr qint64 kSignatureBytes = 40;

bool isWebP(const QByteArray& head) {
  return head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == QByteArrayLiteral("WEBP");
}

// ISO base media files (AVIF, HEIC) name their kind in the "ftyp" box that
// opens them: a major brand, then compatible brands.
PictureFormat isoMediaFormat(const QByteArray& head) {
  if (head.size() < 16 || head.mid(4, 4) != QByteArrayLiteral("ftyp")) return PictureFormat::Unknown;
  const qsizetype boxSize = qsizetype(qFromBigEndian<quint32>(head.constData()));
  const qsizetype end = qMin(head.size(), qMax<qsizetype>(boxSize, 16));
  bool heif = false;
  for (qsizetype at = 8; at + 4 <= end; at += 4) {
    if (at == 12) continue;  // the minor version
    const QByteArray brand = head.mid(at, 4);
    if (brand == "avif" || brand == "avis") return PictureFormat::Avif;
    if (brand == "heic" || brand == "heix" || brand == "hevc" || brand == "hevx" || brand == "heim" ||
        brand == "heis" || brand == "mif1" || brand == "msf1")
      heif = true;
  }
  return heif ? PictureFormat::Heif : PictureFormat::Unknown;
}

bool isJpegXl(const QByteArray& head) {
  return head.startsWith(QByteArrayLiteral("\xFF\x0A")) ||
         head.startsWith(QByteArrayLiteral("\0\0\0\x0CJXL \r\n\x87\n"));
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
  if (isJpegXl(head)) return PictureFormat::JpegXl;
  return isoMediaFormat(head);
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
    case PictureFormat::Avif:
    case PictureFormat::Heif:
    case PictureFormat::JpegXl:
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

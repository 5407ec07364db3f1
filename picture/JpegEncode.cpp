#include "picture/JpegEncode.h"

#include <QBuffer>
#include <QImageWriter>

QImage flattenOverBlack(const QImage& picture) {
  if (!picture.hasAlphaChannel()) return picture.convertToFormat(QImage::Format_RGB32);
  // A premultiplied colour is that colour over black already, so only the
  // alpha byte has to go.
  QImage flat = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < flat.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(flat.scanLine(y));
    for (int x = 0; x < flat.width(); ++x) line[x] |= 0xff000000U;
  }
  flat.reinterpretAsFormat(QImage::Format_RGB32);
  return flat;
}

QByteArray encodeJpeg(const QImage& picture, int quality) {
  if (picture.isNull()) return {};
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setQuality(quality);
  return writer.write(flattenOverBlack(picture)) ? bytes : QByteArray();
}

#include "library/StoredPicture.h"

#include <QFileInfo>
#include <QSize>

#include "library/ImageDecode.h"

bool IsNetworkPicture(const QString& path) {
  return path.left(4).compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
}

bool DecodesAsPicture(const QString& file) {
  // Decoding to a tiny box is enough to tell a picture from an error page, and
  // cheap for JPEG thanks to DCT scaling.
  return !LoadPictureForBox(file, QSize(8, 8)).isNull();
}

bool IsUsableStoredPicture(const QString& file) {
  const QFileInfo info(file);
  return info.isFile() && info.size() >= kSmallestStoredPicture && DecodesAsPicture(file);
}

#include "library/StoredPicture.h"

#include <QFileInfo>

#include "picture/ImageDecode.h"

bool isNetworkPicture(const QString& path) {
  return path.left(4).compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
}

bool isUsableStoredPicture(const QString& file) {
  const QFileInfo info(file);
  return info.isFile() && info.size() >= kSmallestStoredPicture && decodesAsPicture(file);
}

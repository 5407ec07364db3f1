// Pictures of any bytes decoded into a small box, upright: a picture comes
// out at exactly the box's size, or not at all with a reason; the
// decoded-size guard keeps a tiny file from claiming a huge picture. The
// format is told by the bytes, so a JPEG signature reaches libjpeg and the
// Exif reader whatever the name; the names only vary what Qt's reader
// guesses from when no signature is known.
#include <fuzzer/FuzzedDataProvider.h>

#include <QImage>

#include "FuzzCheck.h"
#include "picture/ImageDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool asJpeg = provider.ConsumeBool();
  const QSize box(provider.ConsumeIntegralInRange(1, 160), provider.ConsumeIntegralInRange(1, 120));
  const std::string bytes = provider.ConsumeRemainingBytesAsString();
  const QString file = scratchFile(asJpeg ? QStringLiteral("l_fuzz.jpg") : QStringLiteral("l_fuzz.bmp"));
  putFileBytes(file, QByteArray(bytes.data(), qsizetype(bytes.size())));
  QString error;
  const QImage picture = loadPictureForBox(file, box, &error);
  if (picture.isNull())
    require(!error.isEmpty(), "a picture that is not decoded has a reason");
  else
    require(picture.size() == box, "a decoded picture fills the box exactly");
  return 0;
}

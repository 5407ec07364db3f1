// Pictures of any bytes, as JPEG and as BMP, decoded into a small box: a
// picture comes out at exactly the box's size, or not at all with a reason;
// the decoded-size guard keeps a tiny file from claiming a huge picture.
#include <fuzzer/FuzzedDataProvider.h>

#include <QImage>

#include "FuzzCheck.h"
#include "library/ImageDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool asJpeg = provider.ConsumeBool();
  const QSize box(provider.ConsumeIntegralInRange(1, 160), provider.ConsumeIntegralInRange(1, 120));
  const std::string bytes = provider.ConsumeRemainingBytesAsString();
  const QString file = ScratchFile(asJpeg ? QStringLiteral("l_fuzz.jpg") : QStringLiteral("l_fuzz.bmp"));
  PutFileBytes(file, QByteArray(bytes.data(), qsizetype(bytes.size())));
  QString error;
  const QImage picture = LoadPictureForBox(file, box, &error);
  if (picture.isNull())
    Require(!error.isEmpty(), "a picture that is not decoded has a reason");
  else
    Require(picture.size() == box, "a decoded picture fills the box exactly");
  return 0;
}

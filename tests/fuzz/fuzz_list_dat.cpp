// "list.dat" of any bytes: what is read, written and read again is the same
// list, and writing it again gives the same bytes.
#include "FuzzCheck.h"
#include "library/RotationRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QStringList entries = parseRotationText(bytes);
  for (const QString& entry : entries) require(canBeListed(entry), "a read entry can be listed");
  const QByteArray written = formatRotationText(entries);
  require(parseRotationText(written) == entries, "a written list reads back the same");
  require(formatRotationText(parseRotationText(written)) == written,
          "writing a read list gives the same bytes");
  return 0;
}

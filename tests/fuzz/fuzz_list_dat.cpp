// "list.dat" of any bytes: what is read, written and read again is the same
// list, and writing it again gives the same bytes.
#include "FuzzCheck.h"
#include "library/RotationRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QStringList entries = ParseRotationText(bytes);
  for (const QString& entry : entries) Require(CanBeListed(entry), "a read entry can be listed");
  const QByteArray written = FormatRotationText(entries);
  Require(ParseRotationText(written) == entries, "a written list reads back the same");
  Require(FormatRotationText(ParseRotationText(written)) == written,
          "writing a read list gives the same bytes");
  return 0;
}

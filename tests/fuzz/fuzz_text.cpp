// 8-bit text of any bytes, decoded as UTF-8 and as GBK and cut to a byte
// limit: a cut never splits a character, so the two pieces decode to the
// whole text's characters.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "platform/TextCodec.h"

namespace {

void checkCut(QByteArrayView bytes, qsizetype maxBytes, TextEncoding encoding) {
  const qsizetype cut = characterBoundary(bytes, maxBytes, encoding);
  require(cut >= 0 && cut <= std::max<qsizetype>(maxBytes, 0) && cut <= bytes.size(),
          "a cut lies within the limit");
  if (maxBytes >= bytes.size()) require(cut == bytes.size(), "a text within the limit is not cut");
  require(decodeText(bytes.first(cut), encoding) + decodeText(bytes.sliced(cut), encoding) ==
              decodeText(bytes, encoding),
          "a cut never splits a character");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const qsizetype maxBytes = provider.ConsumeIntegralInRange<qsizetype>(0, 4096);
  const std::string rest = provider.ConsumeRemainingBytesAsString();
  const QByteArrayView bytes(rest.data(), qsizetype(rest.size()));
  const TextEncoding detected = detectTextEncoding(bytes);
  require((detected == TextEncoding::Utf8) == isValidUtf8(bytes), "valid UTF-8 is taken as UTF-8");
  if (detected == TextEncoding::Utf8)
    require(decodeText(bytes).toUtf8() == bytes, "valid UTF-8 decodes as itself, a leading U+FEFF too");
  for (const TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Gbk}) {
    checkCut(bytes, maxBytes, encoding);
    checkCut(bytes, bytes.size() / 2, encoding);
  }
  return 0;
}

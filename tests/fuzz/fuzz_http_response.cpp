// The response reader, fed the same bytes whole, in random pieces and one
// byte at a time: the head, its outcome and the body must not depend on how
// the receives cut the bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <random>
#include <string>

#include "FuzzCheck.h"
#include "download/ResponseReader.h"

namespace {

struct Outcome {
  ResponseReader::Progress progress = ResponseReader::Progress::NeedMore;
  ResponseHead head;
  std::string body;  // the body start, then every byte fed after the head
  bool operator==(const Outcome&) const = default;
};

template <typename NextPieceSize>
Outcome readInPieces(std::string_view bytes, NextPieceSize nextPieceSize) {
  ResponseReader reader;
  while (!bytes.empty() && reader.progress() == ResponseReader::Progress::NeedMore) {
    const size_t size = std::min(nextPieceSize(), bytes.size());
    reader.feed(bytes.substr(0, size));
    bytes.remove_prefix(size);
  }
  Outcome outcome{reader.progress(), reader.head(), {}};
  if (reader.progress() == ResponseReader::Progress::Complete)
    outcome.body = reader.bodyStart() + std::string(bytes);
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  std::minstd_rand cuts(provider.ConsumeIntegral<uint32_t>());
  const std::string bytes = provider.ConsumeRemainingBytesAsString();

  const Outcome whole = readInPieces(bytes, [&] { return bytes.size(); });
  const Outcome random = readInPieces(bytes, [&] { return size_t(cuts() % 64); });
  const Outcome byByte = readInPieces(bytes, [] { return size_t(1); });
  require(whole == random, "random pieces give the same head and body");
  require(whole == byByte, "single bytes give the same head and body");

  if (whole.progress == ResponseReader::Progress::Complete) {
    const size_t headLength = bytes.size() - whole.body.size();
    require(std::string_view(bytes).substr(0, headLength).ends_with("\r\n\r\n"),
            "the head ends with a blank line");
    require(bytes.ends_with(whole.body), "the body is what follows the head");
    require(whole.head.status >= 0 && whole.head.status <= 999, "the status has three digits");
  }
  if (whole.head.contentLength) require(*whole.head.contentLength >= 0, "a length is never negative");
  // The checks take any head.
  const int32_t first = provider.ConsumeIntegral<int32_t>();
  isExactRangeAnswer(whole.head, first, first + 9, 1000);
  announcedLength(whole.head);
  return 0;
}

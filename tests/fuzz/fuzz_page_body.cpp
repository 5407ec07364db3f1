// A page body as a hostile server may send it: chunked coding fed whole, in
// random pieces and one byte at a time must decode alike and never past its
// limit, and gzip data must either undo whole within its limit or be refused.
#include <fuzzer/FuzzedDataProvider.h>

#include <random>
#include <string>

#include "FuzzCheck.h"
#include "download/ChunkedBody.h"
#include "download/GzipBody.h"

namespace {

constexpr size_t kLimit = 64 * 1024;

struct Outcome {
  ChunkedBody::Progress progress = ChunkedBody::Progress::NeedMore;
  std::string body;
  bool operator==(const Outcome&) const = default;
};

template <typename NextPieceSize>
Outcome decodeInPieces(std::string_view bytes, NextPieceSize nextPieceSize) {
  ChunkedBody body(kLimit);
  std::string taken;
  while (!bytes.empty() && body.progress() == ChunkedBody::Progress::NeedMore) {
    const size_t size = std::min(nextPieceSize(), bytes.size());
    body.feed(bytes.substr(0, size));
    bytes.remove_prefix(size);
    // Handing out the bytes as they come must not change what arrives.
    if (size % 2 == 0) taken += body.takeBody();
  }
  return {body.progress(), taken + body.takeBody()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  std::minstd_rand cuts(provider.ConsumeIntegral<uint32_t>());
  const std::string bytes = provider.ConsumeRemainingBytesAsString();

  const Outcome whole = decodeInPieces(bytes, [&] { return bytes.size(); });
  const Outcome random = decodeInPieces(bytes, [&] { return size_t(1 + cuts() % 64); });
  const Outcome byByte = decodeInPieces(bytes, [] { return size_t(1); });
  require(whole == random, "random pieces decode alike");
  require(whole == byByte, "single bytes decode alike");
  require(whole.body.size() <= kLimit, "a chunked body stays within its limit");
  require(whole.body.size() <= bytes.size(), "a chunked body is never longer than its coding");

  if (const std::optional<std::string> unpacked = gunzip(bytes, kLimit))
    require(unpacked->size() <= kLimit, "gzip data undoes within its limit");
  return 0;
}

// The segment plan for any length, start and segment size: the ranges cover
// exactly what remains, in order, without overlap, each at least one byte.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "download/DownloadRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const int32_t total = provider.ConsumeIntegral<int32_t>();
  const int32_t existing = provider.ConsumeIntegral<int32_t>();
  const int32_t hint = provider.ConsumeIntegral<int32_t>();
  const std::vector<SegmentRange> plan = planSegments(total, existing, hint);
  if (existing < 0 || existing >= total) {
    require(plan.empty(), "nothing is planned when nothing remains");
    return 0;
  }
  const int64_t remaining = int64_t{total} - existing;
  require(!plan.empty(), "what remains is planned");
  require(plan.size() <= size_t(kMaxSegments), "at most the segment limit");
  require(int64_t(plan.size()) <= remaining, "never more segments than bytes");
  int64_t next = existing;
  for (const SegmentRange& range : plan) {
    require(range.RangeStart == next, "each range starts where the one before ended");
    require(range.RangeEnd >= range.RangeStart, "each range holds a byte");
    next = int64_t{range.RangeEnd} + 1;
  }
  require(next == total, "the last range ends at the last byte");
  return 0;
}

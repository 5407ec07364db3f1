#include "platform/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {

constexpr std::size_t kHugePage = 2 * 1024 * 1024;

}  // namespace

void* allocateLargeBuffer(std::size_t bytes) {
  if (bytes < kHugePage) return std::malloc(bytes);
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* buffer = std::aligned_alloc(kHugePage, rounded);
  if (buffer) madvise(buffer, rounded, MADV_HUGEPAGE);
  return buffer;
}

QImage makeLargeImage(QSize size) {
  if (size.isEmpty()) return {};
  const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
  void* pixels = allocateLargeBuffer(std::size_t(bytesPerLine) * std::size_t(size.height()));
  if (!pixels) return {};
  return QImage(static_cast<uchar*>(pixels), size.width(), size.height(), bytesPerLine, QImage::Format_RGB32,
                std::free, pixels);
}

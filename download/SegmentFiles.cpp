#include "download/SegmentFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Large enough that the write calls cost little next to the receives.
constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kCopyBufferSize = 1024 * 1024;

bool WriteAll(int descriptor, const char* data, size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(descriptor, data, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

// The copy runs inside the kernel where the file system allows it.
bool CopyInKernel(int from, int to, int64_t length, bool& unsupported) {
  bool first = true;
  while (length > 0) {
    const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(length), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && first &&
        (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
      unsupported = true;
      return false;
    }
    first = false;
    if (copied <= 0) return false;
    length -= copied;
  }
  return true;
}

bool CopyThroughBuffer(int from, int to) {
  std::vector<char> buffer(kCopyBufferSize);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(to, buffer.data(), static_cast<size_t>(got))) return false;
  }
}

bool AppendOne(int to, const std::string& part) {
  const int from = ::open(part.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) return false;
  struct stat info {};
  bool copied = false;
  if (::fstat(from, &info) == 0) {
    bool unsupported = false;
    copied = CopyInKernel(from, to, info.st_size, unsupported);
    // Nothing was copied when the kernel refuses outright, so the plain copy
    // can start from the beginning.
    if (!copied && unsupported) copied = CopyThroughBuffer(from, to);
  }
  ::close(from);
  return copied;
}

}  // namespace

SegmentWriter::~SegmentWriter() {
  if (Descriptor >= 0) ::close(Descriptor);
}

bool SegmentWriter::Create(const std::string& path, size_t expectedLength) {
  RemoveFileIfPresent(path);
  Descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  BlockSize = std::min(kBlockSize, expectedLength + kReceiveSize);
  Block = std::make_unique_for_overwrite<char[]>(BlockSize);
  return Descriptor >= 0;
}

char* SegmentWriter::ReceiveWindow() {
  if (BlockSize - Pending < kReceiveSize) Flush();
  char* window = Block.get() + Pending;
  std::memset(window, 0, kReceiveSize);
  return window;
}

bool SegmentWriter::Commit(size_t count) {
  Pending += count;
  return !Failed;
}

bool SegmentWriter::Flush() {
  if (Pending > 0 && !WriteAll(Descriptor, Block.get(), Pending)) Failed = true;
  Pending = 0;
  return !Failed;
}

bool SegmentWriter::Finish() {
  if (Descriptor < 0) return false;
  Flush();
  if (::close(Descriptor) != 0) Failed = true;
  Descriptor = -1;
  return !Failed;
}

std::optional<int64_t> FileLength(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<int64_t>(info.st_size);
}

bool RemoveFileIfPresent(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool CreateEmptyFile(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) return false;
  return ::close(descriptor) == 0;
}

FileJoiner::~FileJoiner() { Close(); }

bool FileJoiner::Open(const std::string& base) {
  Close();
  // Not O_APPEND: the in-kernel copy refuses such a target.
  Descriptor = ::open(base.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  return Descriptor >= 0 && ::lseek(Descriptor, 0, SEEK_END) >= 0;
}

bool FileJoiner::Append(const std::string& part) {
  return Descriptor >= 0 && AppendOne(Descriptor, part) && RemoveFileIfPresent(part);
}

bool FileJoiner::Close() {
  if (Descriptor < 0) return true;
  const bool closed = ::close(Descriptor) == 0;
  Descriptor = -1;
  return closed;
}

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

bool writeAll(int descriptor, const char* data, size_t count) {
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
bool copyInKernel(int from, int to, int64_t length, bool& unsupported) {
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

bool copyThroughBuffer(int from, int to) {
  std::vector<char> buffer(kCopyBufferSize);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!writeAll(to, buffer.data(), static_cast<size_t>(got))) return false;
  }
}

bool appendOne(int to, const std::string& part) {
  const int from = ::open(part.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) return false;
  struct stat info {};
  bool copied = false;
  if (::fstat(from, &info) == 0) {
    bool unsupported = false;
    copied = copyInKernel(from, to, info.st_size, unsupported);
    // Nothing was copied when the kernel refuses outright, so the plain copy
    // can start from the beginning.
    if (!copied && unsupported) copied = copyThroughBuffer(from, to);
  }
  ::close(from);
  return copied;
}

}  // namespace

SegmentWriter::~SegmentWriter() {
  if (m_descriptor >= 0) ::close(m_descriptor);
}

bool SegmentWriter::create(const std::string& path, size_t expectedLength) {
  removeFileIfPresent(path);
  m_descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  m_blockSize = std::min(kBlockSize, expectedLength + kReceiveSize);
  m_block = std::make_unique_for_overwrite<char[]>(m_blockSize);
  return m_descriptor >= 0;
}

char* SegmentWriter::receiveWindow() {
  if (m_blockSize - m_pending < kReceiveSize) flush();
  char* window = m_block.get() + m_pending;
  std::memset(window, 0, kReceiveSize);
  return window;
}

bool SegmentWriter::commit(size_t count) {
  m_pending += count;
  return !m_failed;
}

bool SegmentWriter::flush() {
  if (m_pending > 0 && !writeAll(m_descriptor, m_block.get(), m_pending)) m_failed = true;
  m_pending = 0;
  return !m_failed;
}

bool SegmentWriter::finish() {
  if (m_descriptor < 0) return false;
  flush();
  if (::close(m_descriptor) != 0) m_failed = true;
  m_descriptor = -1;
  return !m_failed;
}

std::optional<int64_t> fileLength(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<int64_t>(info.st_size);
}

bool removeFileIfPresent(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool createEmptyFile(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) return false;
  return ::close(descriptor) == 0;
}

FileJoiner::~FileJoiner() { close(); }

bool FileJoiner::open(const std::string& base) {
  close();
  // Not O_APPEND: the in-kernel copy refuses such a target.
  m_descriptor = ::open(base.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  return m_descriptor >= 0 && ::lseek(m_descriptor, 0, SEEK_END) >= 0;
}

bool FileJoiner::append(const std::string& part) {
  return m_descriptor >= 0 && appendOne(m_descriptor, part) && removeFileIfPresent(part);
}

bool FileJoiner::close() {
  if (m_descriptor < 0) return true;
  const bool closed = ::close(m_descriptor) == 0;
  m_descriptor = -1;
  return closed;
}

// The files of a download: each worker's segment file, and the join that
// turns the segments into the target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Collects a worker's received bytes and writes them to its segment file in
// large blocks. Bytes are received 4096 at a time into a zeroed window at the
// end of the pending block, so no copy is made between socket and file.
class SegmentWriter {
 public:
  static constexpr size_t kReceiveSize = 4096;

  SegmentWriter() = default;
  ~SegmentWriter();
  SegmentWriter(const SegmentWriter&) = delete;
  SegmentWriter& operator=(const SegmentWriter&) = delete;

  // Replaces any file at path with an empty one, for about expectedLength bytes.
  bool create(const std::string& path, size_t expectedLength);
  // kReceiveSize zeroed bytes to receive into.
  char* receiveWindow();
  // Takes the first count bytes of the window; false when a write failed.
  bool commit(size_t count);
  // Writes what is pending and closes; false when any write failed.
  bool finish();

 private:
  bool flush();

  int m_descriptor = -1;
  // Not zeroed as a whole: only the windows that receive bytes are.
  std::unique_ptr<char[]> m_block;
  size_t m_blockSize = 0;
  size_t m_pending = 0;
  bool m_failed = false;
};

std::optional<int64_t> fileLength(const std::string& path);
// True when nothing is left at path (a missing file counts as removed).
bool removeFileIfPresent(const std::string& path);
// Creates path empty, replacing any file there.
bool createEmptyFile(const std::string& path);

// Grows a file by appending other files to it, each deleted once it is in.
class FileJoiner {
 public:
  FileJoiner() = default;
  ~FileJoiner();
  FileJoiner(const FileJoiner&) = delete;
  FileJoiner& operator=(const FileJoiner&) = delete;

  // Opens base for appending, creating it empty when it does not exist.
  bool open(const std::string& base);
  bool append(const std::string& part);
  // Closes base; false when closing failed.
  bool close();

 private:
  int m_descriptor = -1;
};

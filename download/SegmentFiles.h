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
  bool Create(const std::string& path, size_t expectedLength);
  // kReceiveSize zeroed bytes to receive into.
  char* ReceiveWindow();
  // Takes the first count bytes of the window; false when a write failed.
  bool Commit(size_t count);
  // Writes what is pending and closes; false when any write failed.
  bool Finish();

 private:
  bool Flush();

  int Descriptor = -1;
  // Not zeroed as a whole: only the windows that receive bytes are.
  std::unique_ptr<char[]> Block;
  size_t BlockSize = 0;
  size_t Pending = 0;
  bool Failed = false;
};

std::optional<int64_t> FileLength(const std::string& path);
// True when nothing is left at path (a missing file counts as removed).
bool RemoveFileIfPresent(const std::string& path);
// Creates path empty, replacing any file there.
bool CreateEmptyFile(const std::string& path);

// Grows a file by appending other files to it, each deleted once it is in.
class FileJoiner {
 public:
  FileJoiner() = default;
  ~FileJoiner();
  FileJoiner(const FileJoiner&) = delete;
  FileJoiner& operator=(const FileJoiner&) = delete;

  // Opens base for appending, creating it empty when it does not exist.
  bool Open(const std::string& base);
  bool Append(const std::string& part);
  // Closes base; false when closing failed.
  bool Close();

 private:
  int Descriptor = -1;
};

#include "download/SocketLine.h"

#include <algorithm>

#include "platform/BlockingSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, kHeaderLineLimitMs));
}

}  // namespace

std::string ReadSocketLine(TBlockingSocket& socket, int limitMilliseconds, std::string_view delimiter,
                           size_t maxLength) {
  // The limit covers the whole line: a peer that drips one byte just inside
  // a per-byte limit must not hold the reader forever.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMilliseconds);
  const int savedLimit = socket.WaitLimit();
  std::string line;
  bool complete = false;
  while (!complete && socket.IsOpen() && line.size() < maxLength) {
    const int left = MillisecondsUntil(deadline);
    if (left <= 0) break;
    socket.SetWaitLimit(left);
    char byte = 0;
    if (socket.Read(&byte, 1) != 1) break;
    line.push_back(byte);
    complete = line.ends_with(delimiter);
  }
  socket.SetWaitLimit(savedLimit);
  return complete ? line : std::string();
}

bool ReadResponseHeaders(TBlockingSocket& socket, Clock::time_point deadline, int expectedStatus,
                         const std::function<bool()>& stop,
                         const std::function<bool(std::string_view line)>& takeLine) {
  for (int count = 0; count < kMaxHeaderLines; ++count) {
    if (stop() || !socket.IsOpen()) return false;
    const int limit = MillisecondsUntil(deadline);
    if (limit <= 0) return false;
    const std::string line = ReadSocketLine(socket, limit, "\r\n");
    if (line.empty()) return false;
    if (count == 0) {
      // An error answer's own length or body must never be taken for the file's.
      if (ResponseStatusCode(line) != expectedStatus) return false;
      continue;
    }
    if (IsHeaderEnd(line)) return true;
    if (!takeLine(line)) return false;
  }
  return false;
}

#include "download/SocketResponse.h"

#include <algorithm>

#include "platform/BlockingSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, kHeaderLineLimitMs));
}

// Feeds the reader until the head is complete or refused; false when the
// time runs out or the stream ends first. The line limit covers a whole
// line: a peer that drips one byte just inside a per-read limit must not
// hold the reader forever.
bool feedFromSocket(TBlockingSocket& socket, ResponseReader& reader, Clock::time_point deadline,
                    const std::function<bool()>& stop) {
  char buffer[4096];
  int linesSeen = -1;
  Clock::time_point lineDeadline;
  while (reader.progress() == ResponseReader::Progress::NeedMore) {
    if (stop() || !socket.isOpen()) return false;
    if (reader.linesRead() != linesSeen) {
      linesSeen = reader.linesRead();
      lineDeadline = Clock::now() + std::chrono::milliseconds(kHeaderLineLimitMs);
    }
    const int limit = millisecondsUntil(std::min(deadline, lineDeadline));
    if (limit <= 0) return false;
    socket.setWaitLimit(limit);
    const int count = socket.read(buffer, sizeof buffer);
    if (count <= 0) return false;
    reader.feed({buffer, static_cast<size_t>(count)});
  }
  return true;
}

}  // namespace

std::optional<ReceivedHead> readResponseHead(TBlockingSocket& socket, Clock::time_point deadline,
                                             const std::function<bool()>& stop) {
  const int savedLimit = socket.waitLimit();
  ResponseReader reader;
  const bool fed = feedFromSocket(socket, reader, deadline, stop);
  socket.setWaitLimit(savedLimit);
  if (!fed || reader.progress() != ResponseReader::Progress::Complete) return std::nullopt;
  return ReceivedHead{reader.head(), reader.bodyStart()};
}

#include "download/ResponseBody.h"

#include <string>

#include "download/ChunkedBody.h"
#include "platform/BlockingSocket.h"

namespace {

enum class Arrival { Bytes, StreamEnd, Failed };

Arrival receiveSome(TBlockingSocket& socket, const BodyReading& reading, std::string& bytes) {
  char buffer[16384];
  const int limit = reading.NextWait();
  if (limit <= 0) return Arrival::Failed;
  socket.setWaitLimit(limit);
  const int count = socket.read(buffer, sizeof buffer);
  if (count > 0) {
    bytes.assign(buffer, static_cast<size_t>(count));
    return Arrival::Bytes;
  }
  return socket.isOpen() ? Arrival::Failed : Arrival::StreamEnd;
}

bool readChunked(TBlockingSocket& socket, const ReceivedHead& received, const BodyReading& reading) {
  ChunkedBody body(static_cast<size_t>(reading.MaximumBytes));
  std::string bytes = received.bodyStart;
  for (;;) {
    const ChunkedBody::Progress progress = body.feed(bytes);
    if (!body.body().empty() && !reading.Take(body.takeBody())) return false;
    if (progress == ChunkedBody::Progress::Complete) return true;
    if (progress == ChunkedBody::Progress::Refused) return false;
    if (receiveSome(socket, reading, bytes) != Arrival::Bytes) return false;
  }
}

bool readToLength(TBlockingSocket& socket, const ReceivedHead& received, const BodyReading& reading,
                  int64_t length) {
  if (length > reading.MaximumBytes) return false;
  int64_t left = length;
  std::string bytes = received.bodyStart;
  for (;;) {
    const std::string_view piece = std::string_view(bytes).substr(0, static_cast<size_t>(left));
    if (!piece.empty() && !reading.Take(piece)) return false;
    left -= static_cast<int64_t>(piece.size());
    if (left == 0) return true;
    if (receiveSome(socket, reading, bytes) != Arrival::Bytes) return false;
  }
}

bool readToClose(TBlockingSocket& socket, const ReceivedHead& received, const BodyReading& reading) {
  int64_t taken = 0;
  std::string bytes = received.bodyStart;
  for (;;) {
    taken += static_cast<int64_t>(bytes.size());
    if (taken > reading.MaximumBytes) return false;
    if (!bytes.empty() && !reading.Take(bytes)) return false;
    const Arrival arrival = receiveSome(socket, reading, bytes);
    if (arrival == Arrival::StreamEnd) return true;
    if (arrival == Arrival::Failed) return false;
  }
}

}  // namespace

bool readResponseBody(TBlockingSocket& socket, const ReceivedHead& received, const BodyReading& reading) {
  const ResponseHead& head = received.head;
  if (head.lengthUnreadable) return false;
  if (head.transferEncoding) return readChunked(socket, received, reading);
  if (head.contentLength) return readToLength(socket, received, reading, *head.contentLength);
  return readToClose(socket, received, reading);
}

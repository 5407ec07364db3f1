// Reading a response's head off a socket: the bytes of each receive go to a
// ResponseReader, and the body bytes that came with the head are handed on.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "download/ResponseReader.h"

class TBlockingSocket;

// Longest wait for one header line.
constexpr int kHeaderLineLimitMs = 60000;

struct ReceivedHead {
  ResponseHead head;
  std::string bodyStart;
};

// The head of the response on socket, read whole by the deadline with no
// line taking longer than kHeaderLineLimitMs; nothing when it is refused,
// the time runs out, the peer closes first, or stop() says so.
std::optional<ReceivedHead> readResponseHead(TBlockingSocket& socket,
                                             std::chrono::steady_clock::time_point deadline,
                                             const std::function<bool()>& stop);

// Reading a response's header lines from a socket, one byte at a time, so
// that no byte after the headers is taken from the socket.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "download/DownloadRules.h"

class TBlockingSocket;

// One line, delimiter included, that arrived whole within limitMilliseconds;
// "" when the time ran out, the peer closed, or maxLength bytes came without
// the delimiter. Bytes of an unfinished line are dropped.
std::string ReadSocketLine(TBlockingSocket& socket, int limitMilliseconds, std::string_view delimiter,
                           size_t maxLength = kMaxHeaderLineLength);

// Longest wait for one header line.
constexpr int kHeaderLineLimitMs = 60000;

// Reads a response's status line, which must carry expectedStatus, and its
// header lines up to and including the blank line that ends them, handing
// each header line to takeLine, which returns false to refuse the response.
// False as well when the headers do not end by the deadline, a line or the
// line count is too long, the peer closes, or stop() says so.
bool ReadResponseHeaders(TBlockingSocket& socket, std::chrono::steady_clock::time_point deadline,
                         int expectedStatus, const std::function<bool()>& stop,
                         const std::function<bool(std::string_view line)>& takeLine);

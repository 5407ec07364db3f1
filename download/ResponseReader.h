// Reading an HTTP response's head from bytes as they arrive, apart from any
// socket: the socket code feeds it whatever one receive returned, so every
// rule here can be tried with bytes made up on the spot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "download/DownloadRules.h"

// What a response's head says about its body.
struct ResponseHead {
  int status = 0;
  std::optional<int32_t> contentLength;
  std::optional<ContentRange> contentRange;
  // A Content-Length or Content-Range line that could not be read, or two
  // that disagree: nothing the response says about its body can be trusted.
  bool lengthUnreadable = false;
  bool rangeUnreadable = false;
  bool transferEncoding = false;
  // The first Location line's value, blanks around it removed.
  std::string location;
  // The first Content-Encoding line's value, likewise; empty when none came.
  std::string contentEncoding;
  bool operator==(const ResponseHead&) const = default;
};

// Lines end with CR LF only (a bare LF stays inside its line); a line may be
// kMaxHeaderLineLength bytes long, its CR LF included, and the head
// kMaxHeaderLines lines, the status line and the blank line included.
class ResponseReader {
 public:
  enum class Progress { NeedMore, Complete, Refused };

  // Takes the next bytes of the response. Once the head is complete, the
  // bytes after it are the start of the body; once complete or refused,
  // further bytes are ignored.
  Progress feed(std::string_view bytes);

  Progress progress() const { return m_progress; }
  const ResponseHead& head() const { return m_head; }
  // The body bytes that came with the head's last bytes.
  const std::string& bodyStart() const { return m_bodyStart; }
  // Whole lines read so far, the status line included.
  int linesRead() const { return m_linesRead; }

 private:
  bool takeLine(std::string_view line);
  void takeHeader(std::string_view line);

  Progress m_progress = Progress::NeedMore;
  ResponseHead m_head;
  std::string m_line;
  std::string m_bodyStart;
  int m_linesRead = 0;
};

// The body is sent in a content coding (gzip, br, ...), not as the file's
// own bytes; "identity" says it is not.
bool hasContentCoding(const ResponseHead& head);

// A ranged GET's answer holds exactly the asked range of a file of total
// bytes, as plain bytes: status 206, a Content-Range of that range and total,
// a Content-Length (when given) of the range's length, no transfer or
// content coding.
bool isExactRangeAnswer(const ResponseHead& head, int32_t rangeStart, int32_t rangeEnd, int32_t total);

// The file length a HEAD answer announces: status 200 and one readable
// Content-Length; nothing otherwise.
std::optional<int32_t> announcedLength(const ResponseHead& head);

#include "download/ResponseReader.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr int kOk = 200;
constexpr int kPartialContent = 206;

// Keeps the first value of a repeated header; a later one that is unreadable
// or says something else spoils it.
template <typename Value>
void takeValue(std::optional<Value>& kept, bool& unreadable, const std::optional<Value>& value) {
  if (!value || (kept && *kept != *value)) unreadable = true;
  if (!kept) kept = value;
}

}  // namespace

ResponseReader::Progress ResponseReader::feed(std::string_view bytes) {
  while (m_progress == Progress::NeedMore && !bytes.empty()) {
    const size_t lineFeed = bytes.find('\n');
    const size_t take = lineFeed == std::string_view::npos ? bytes.size() : lineFeed + 1;
    if (m_line.size() + take > kMaxHeaderLineLength) {
      m_progress = Progress::Refused;
      break;
    }
    m_line.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (!m_line.ends_with(kLineEnd)) {
      // A full-length line without its end can only grow too long.
      if (m_line.size() == kMaxHeaderLineLength) m_progress = Progress::Refused;
      continue;
    }
    const std::string line = std::move(m_line);
    m_line.clear();
    if (!takeLine(line)) m_progress = Progress::Refused;
    if (m_progress == Progress::Complete) m_bodyStart.assign(bytes);
  }
  return m_progress;
}

bool ResponseReader::takeLine(std::string_view line) {
  ++m_linesRead;
  if (m_linesRead == 1) {
    const std::optional<int> status = responseStatusCode(line);
    if (!status) return false;
    m_head.status = *status;
    return true;
  }
  if (isHeaderEnd(line)) {
    m_progress = Progress::Complete;
    return true;
  }
  // The blank line must still fit within the line count.
  if (m_linesRead >= kMaxHeaderLines) return false;
  takeHeader(line);
  return true;
}

void ResponseReader::takeHeader(std::string_view line) {
  if (isHeaderLine(line, kContentLengthName))
    takeValue(m_head.contentLength, m_head.lengthUnreadable, contentLengthValue(line));
  else if (isHeaderLine(line, kContentRangeName))
    takeValue(m_head.contentRange, m_head.rangeUnreadable, contentRangeValue(line));
  else if (isHeaderLine(line, kTransferEncodingName))
    m_head.transferEncoding = true;
  else if (isHeaderLine(line, kLocationName) && m_head.location.empty())
    m_head.location = headerValue(line, kLocationName);
  else if (isHeaderLine(line, kContentEncodingName) && m_head.contentEncoding.empty())
    m_head.contentEncoding = headerValue(line, kContentEncodingName);
}

bool hasContentCoding(const ResponseHead& head) {
  return !head.contentEncoding.empty() && !isHeaderLine(head.contentEncoding, "identity");
}

bool isExactRangeAnswer(const ResponseHead& head, int32_t rangeStart, int32_t rangeEnd, int32_t total) {
  if (head.status != kPartialContent || head.transferEncoding || hasContentCoding(head)) return false;
  if (head.rangeUnreadable || !head.contentRange) return false;
  if (!contentRangeMatches(*head.contentRange, rangeStart, rangeEnd, total)) return false;
  const int64_t length = int64_t{rangeEnd} - rangeStart + 1;
  return !head.lengthUnreadable && (!head.contentLength || *head.contentLength == length);
}

std::optional<int32_t> announcedLength(const ResponseHead& head) {
  if (head.status != kOk || head.lengthUnreadable) return std::nullopt;
  return head.contentLength;
}

#include "download/ChunkedBody.h"

#include <charconv>
#include <utility>

#include "download/DownloadRules.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The hexadecimal size at the start of a size line, before any extension.
bool readChunkSize(std::string_view line, size_t& size) {
  line.remove_suffix(kLineEnd.size());
  const std::string_view digits = line.substr(0, line.find_first_of("; \t"));
  if (digits.empty()) return false;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
  return error == std::errc() && end == digits.data() + digits.size();
}

}  // namespace

ChunkedBody::Progress ChunkedBody::feed(std::string_view bytes) {
  while (m_progress == Progress::NeedMore && !bytes.empty()) {
    if (m_part == Part::Data) {
      takeData(bytes);
      continue;
    }
    if (!collectLine(bytes)) continue;
    switch (m_part) {
      case Part::SizeLine:
        takeSizeLine();
        break;
      case Part::DataEnd:
        takeDataEnd();
        break;
      case Part::TrailerLine:
        takeTrailerLine();
        break;
      case Part::Data:
        break;
    }
    m_line.clear();
  }
  return m_progress;
}

bool ChunkedBody::collectLine(std::string_view& bytes) {
  const size_t lineFeed = bytes.find('\n');
  const size_t take = lineFeed == std::string_view::npos ? bytes.size() : lineFeed + 1;
  if (m_line.size() + take > kMaxHeaderLineLength) {
    m_progress = Progress::Refused;
    return false;
  }
  m_line.append(bytes.substr(0, take));
  bytes.remove_prefix(take);
  if (lineFeed == std::string_view::npos) return false;
  if (!m_line.ends_with(kLineEnd)) m_progress = Progress::Refused;
  return m_progress == Progress::NeedMore;
}

void ChunkedBody::takeSizeLine() {
  size_t size = 0;
  if (!readChunkSize(m_line, size) || size > m_maximumBytes - m_body.size() - m_taken) {
    m_progress = Progress::Refused;
    return;
  }
  m_chunkLeft = size;
  m_part = size == 0 ? Part::TrailerLine : Part::Data;
}

std::string ChunkedBody::takeBody() {
  m_taken += m_body.size();
  return std::exchange(m_body, {});
}

void ChunkedBody::takeData(std::string_view& bytes) {
  const size_t take = std::min(m_chunkLeft, bytes.size());
  m_body.append(bytes.substr(0, take));
  bytes.remove_prefix(take);
  m_chunkLeft -= take;
  if (m_chunkLeft == 0) m_part = Part::DataEnd;
}

void ChunkedBody::takeDataEnd() {
  if (m_line != kLineEnd) {
    m_progress = Progress::Refused;
    return;
  }
  m_part = Part::SizeLine;
}

void ChunkedBody::takeTrailerLine() {
  // Trailer fields say nothing a page needs; the blank line ends the body.
  if (m_line == kLineEnd)
    m_progress = Progress::Complete;
  else if (++m_trailerLines >= kMaxHeaderLines)
    m_progress = Progress::Refused;
}

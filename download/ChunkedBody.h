// Decoding a body sent in chunked transfer coding, from bytes as they arrive
// and apart from any socket, so that every rule can be tried with bytes made
// up on the spot: "SIZE[;extension]" CR LF, SIZE bytes, CR LF, ..., "0" CR LF,
// trailer lines, CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class ChunkedBody {
 public:
  enum class Progress { NeedMore, Complete, Refused };

  // A body that would grow past maximumBytes is refused.
  explicit ChunkedBody(size_t maximumBytes) : m_maximumBytes(maximumBytes) {}

  // Takes the next bytes; once complete or refused, further bytes are ignored.
  Progress feed(std::string_view bytes);

  Progress progress() const { return m_progress; }
  // The decoded bytes not yet taken.
  const std::string& body() const { return m_body; }
  // Hands out the decoded bytes so far; the limit still counts them.
  std::string takeBody();

 private:
  enum class Part { SizeLine, Data, DataEnd, TrailerLine };

  // Bytes up to and including the next line feed go into m_line; true once
  // the line is whole.
  bool collectLine(std::string_view& bytes);
  void takeSizeLine();
  void takeData(std::string_view& bytes);
  void takeDataEnd();
  void takeTrailerLine();

  size_t m_maximumBytes;
  Progress m_progress = Progress::NeedMore;
  Part m_part = Part::SizeLine;
  std::string m_line;
  size_t m_chunkLeft = 0;
  int m_trailerLines = 0;
  std::string m_body;
  size_t m_taken = 0;
};

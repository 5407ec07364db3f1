#include "download/GzipBody.h"

#include <zlib.h>

#include <climits>

namespace {

// windowBits 15 + 16: the gzip wrapper, not zlib's own.
constexpr int kGzipWindowBits = 15 + 16;

class Inflater {
 public:
  Inflater() { m_ready = inflateInit2(&m_stream, kGzipWindowBits) == Z_OK; }
  ~Inflater() {
    if (m_ready) inflateEnd(&m_stream);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool ready() const { return m_ready; }
  z_stream& stream() { return m_stream; }

 private:
  z_stream m_stream{};
  bool m_ready = false;
};

}  // namespace

std::optional<std::string> gunzip(std::string_view compressed, size_t maximumBytes) {
  if (compressed.empty() || compressed.size() > UINT_MAX) return std::nullopt;
  Inflater inflater;
  if (!inflater.ready()) return std::nullopt;
  z_stream& stream = inflater.stream();
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  std::string output;
  char buffer[16384];
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    const int result = inflate(&stream, Z_NO_FLUSH);
    output.append(buffer, sizeof buffer - stream.avail_out);
    if (output.size() > maximumBytes) return std::nullopt;
    if (result == Z_STREAM_END) {
      if (stream.avail_in == 0) return output;
      // Another member follows, as concatenated gzip files do.
      if (inflateReset(&stream) != Z_OK) return std::nullopt;
      continue;
    }
    if (result != Z_OK) return std::nullopt;
    if (stream.avail_in == 0 && stream.avail_out != 0) return std::nullopt;  // cut short
  }
}

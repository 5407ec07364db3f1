#include "platform/TextCodec.h"

#include <iconv.h>

#include <QStringDecoder>
#include <cerrno>
#include <string>

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the UTF-8 sequence at text[i], or 0 when it is not valid.
qsizetype utf8SequenceLength(const unsigned char* text, qsizetype size, qsizetype i) {
  const unsigned char lead = text[i];
  if (lead < 0x80) return 1;
  qsizetype length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + length > size) return 0;
  if (text[i + 1] < low || text[i + 1] > high) return 0;
  for (qsizetype k = 2; k < length; ++k)
    if (!isContinuation(text[i + k])) return 0;
  return length;
}

bool isGbkLead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
bool isGbkTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }
bool isGb18030Digit(unsigned char byte) { return byte >= 0x30 && byte <= 0x39; }

// Length of the character at text[i] by its shape alone: two bytes for a lead
// and a trail, four for GB18030's lead, digit, lead, digit; 1 for anything
// else, which is either a single-byte character or a byte that cannot start
// one.
qsizetype gbkSequenceLength(const unsigned char* text, qsizetype size, qsizetype i) {
  if (!isGbkLead(text[i]) || i + 1 >= size) return 1;
  if (isGbkTrail(text[i + 1])) return 2;
  const bool fourBytes =
      isGb18030Digit(text[i + 1]) && i + 3 < size && isGbkLead(text[i + 2]) && isGb18030Digit(text[i + 3]);
  return fourBytes ? 4 : 1;
}

// The Windows code page gave the single byte 0x80 the euro sign, which
// GB18030 has elsewhere.
constexpr char kCp936Euro[] = "\xE2\x82\xAC";
constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Without a GBK converter the ASCII part is still readable.
QString decodeAsciiOnly(QByteArrayView bytes) {
  QString text;
  text.reserve(bytes.size());
  for (char byte : bytes) text += static_cast<unsigned char>(byte) < 0x80 ? QChar(byte) : QChar(0xFFFD);
  return text;
}

QString decodeGbk(QByteArrayView bytes) {
  iconv_t converter = iconv_open("UTF-8", "GB18030");
  if (converter == reinterpret_cast<iconv_t>(-1)) return decodeAsciiOnly(bytes);
  const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
  std::string out;
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = static_cast<size_t>(bytes.size());
  char chunk[4096];
  while (inLeft > 0) {
    char* outPos = chunk;
    size_t outLeft = sizeof chunk;
    const size_t result = iconv(converter, &in, &inLeft, &outPos, &outLeft);
    const int error = errno;
    out.append(chunk, static_cast<size_t>(outPos - chunk));
    if (result != static_cast<size_t>(-1) || error == E2BIG) continue;
    // A character that cannot be decoded is passed over whole, so that its
    // second byte does not start a character of its own; a byte that cannot
    // begin one is passed over alone.
    const qsizetype at = in - bytes.data();
    const auto skipped = static_cast<size_t>(gbkSequenceLength(text, bytes.size(), at));
    out += text[at] == 0x80 ? kCp936Euro : kReplacement;
    in += skipped;
    inLeft -= skipped;
  }
  iconv_close(converter);
  return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

QString decodeUtf8(QByteArrayView bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8,
                         QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  return decoder.decode(bytes);
}

}  // namespace

bool isValidUtf8(QByteArrayView bytes) {
  const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
  const qsizetype size = bytes.size();
  for (qsizetype i = 0; i < size;) {
    if (text[i] < 0x80) {
      ++i;
      continue;
    }
    const qsizetype length = utf8SequenceLength(text, size, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

TextEncoding detectTextEncoding(QByteArrayView bytes) {
  return isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Gbk;
}

QString decodeText(QByteArrayView bytes, TextEncoding encoding) {
  return encoding == TextEncoding::Utf8 ? decodeUtf8(bytes) : decodeGbk(bytes);
}

QString decodeText(QByteArrayView bytes) { return decodeText(bytes, detectTextEncoding(bytes)); }

qsizetype characterBoundary(QByteArrayView bytes, qsizetype maxBytes, TextEncoding encoding) {
  if (maxBytes >= bytes.size()) return bytes.size();
  if (maxBytes <= 0) return 0;
  const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
  if (encoding == TextEncoding::Utf8) {
    qsizetype end = maxBytes;
    while (end > 0 && maxBytes - end < 3 && isContinuation(text[end])) --end;
    return isContinuation(text[end]) ? maxBytes : end;
  }
  qsizetype end = 0;
  while (end < maxBytes) {
    const qsizetype length = gbkSequenceLength(text, bytes.size(), end);
    if (end + length > maxBytes) break;
    end += length;
  }
  return end;
}

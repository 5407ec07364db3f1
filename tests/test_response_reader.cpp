// A response's head read from canned bytes: the line rules, the limits, the
// checks of a ranged answer and of a HEAD answer, and that the same bytes
// give the same head and body however the receives cut them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "download/ChunkedBody.h"
#include "download/GzipBody.h"
#include "download/ResponseReader.h"

namespace {

using Progress = ResponseReader::Progress;

const std::string kRangeAnswer =
    "HTTP/1.1 206 Partial Content\r\n"
    "Server: test\r\n"
    "Content-Range: bytes 100-109/1000\r\n"
    "content-length: 10\r\n"
    "\r\n"
    "0123456789";

struct Outcome {
  Progress progress = Progress::NeedMore;
  ResponseHead head;
  std::string body;  // the body start, then every byte fed after the head
  bool operator==(const Outcome&) const = default;
};

// Feeds the pieces in turn, the way the socket code hands over each receive.
Outcome read(const std::vector<std::string>& pieces) {
  ResponseReader reader;
  Outcome outcome;
  bool headDone = false;
  for (const std::string& piece : pieces) {
    if (headDone) {
      outcome.body += piece;
      continue;
    }
    reader.feed(piece);
    headDone = reader.progress() != Progress::NeedMore;
    if (reader.progress() == Progress::Complete) outcome.body = reader.bodyStart();
  }
  outcome.progress = reader.progress();
  outcome.head = reader.head();
  return outcome;
}

Outcome read(const std::string& bytes) { return read(std::vector<std::string>{bytes}); }

ResponseHead headOf(const std::string& bytes) {
  const Outcome outcome = read(bytes);
  EXPECT_EQ(outcome.progress, Progress::Complete) << bytes;
  return outcome.head;
}

std::string withHeaders(const std::string& statusLine, const std::string& headers) {
  return statusLine + "\r\n" + headers + "\r\n";
}

}  // namespace

TEST(ResponseReader, ReadsTheHeadAndHandsOnTheBodyBytesThatCameWithIt) {
  const Outcome whole = read(kRangeAnswer);
  ASSERT_EQ(whole.progress, Progress::Complete);
  EXPECT_EQ(whole.head.status, 206);
  EXPECT_EQ(whole.head.contentLength, 10);
  ASSERT_TRUE(whole.head.contentRange);
  EXPECT_EQ(whole.head.contentRange->First, 100);
  EXPECT_EQ(whole.head.contentRange->Last, 109);
  EXPECT_EQ(whole.head.contentRange->Total, 1000);
  EXPECT_FALSE(whole.head.transferEncoding);
  EXPECT_EQ(whole.body, "0123456789");
}

TEST(ResponseReader, EverySplitGivesTheSameHeadAndBody) {
  const Outcome whole = read(kRangeAnswer);
  for (size_t at = 0; at <= kRangeAnswer.size(); ++at) {
    for (size_t second = at; second <= kRangeAnswer.size(); ++second) {
      const std::vector<std::string> pieces{kRangeAnswer.substr(0, at), kRangeAnswer.substr(at, second - at),
                                            kRangeAnswer.substr(second)};
      ASSERT_EQ(read(pieces), whole) << "cut at " << at << " and " << second;
    }
  }
  std::vector<std::string> bytes;
  for (char c : kRangeAnswer) bytes.emplace_back(1, c);
  EXPECT_EQ(read(bytes), whole);
}

TEST(ResponseReader, OnlyCrLfEndsALine) {
  // LF alone stays inside the line: such a head never ends, and grows until
  // a line is too long.
  const std::string lineFeedOnly = "HTTP/1.1 200 OK\nContent-Length: 5\n\n";
  EXPECT_EQ(read(lineFeedOnly).progress, Progress::NeedMore);
  EXPECT_EQ(read(lineFeedOnly + std::string(kMaxHeaderLineLength, '\n')).progress, Progress::Refused);
  // A lone CR neither.
  EXPECT_EQ(read("HTTP/1.1 200 OK\rContent-Length: 5\r\r").progress, Progress::NeedMore);
  // A bare LF inside a header line is part of its value, which then does not read.
  const ResponseHead head = headOf(withHeaders("HTTP/1.1 200 OK", "Content-Length: 5\nX: y\r\n"));
  EXPECT_TRUE(head.lengthUnreadable);
}

TEST(ResponseReader, ALineMayBeEightKibibytesWithItsLineEnd) {
  const auto headerOfLength = [](size_t length) { return "X: " + std::string(length - 5, 'a') + "\r\n"; };
  EXPECT_EQ(read(withHeaders("HTTP/1.1 200 OK", headerOfLength(kMaxHeaderLineLength))).progress,
            Progress::Complete);
  EXPECT_EQ(read(withHeaders("HTTP/1.1 200 OK", headerOfLength(kMaxHeaderLineLength + 1))).progress,
            Progress::Refused);
  // Refused as soon as the line is too long, without waiting for its end.
  EXPECT_EQ(read("HTTP/1.1 200 OK\r\n" + std::string(kMaxHeaderLineLength, 'a')).progress, Progress::Refused);
  EXPECT_EQ(read("HTTP/1.1 200 OK\r\n" + std::string(kMaxHeaderLineLength - 1, 'a')).progress,
            Progress::NeedMore);
}

TEST(ResponseReader, AHeadMayHoldAHundredLinesWithTheStatusAndTheBlankLine) {
  const auto headers = [](int count) {
    std::string lines;
    for (int n = 0; n < count; ++n) lines += "X-" + std::to_string(n) + ": y\r\n";
    return lines;
  };
  EXPECT_EQ(read(withHeaders("HTTP/1.1 200 OK", headers(kMaxHeaderLines - 2))).progress, Progress::Complete);
  EXPECT_EQ(read(withHeaders("HTTP/1.1 200 OK", headers(kMaxHeaderLines - 1))).progress, Progress::Refused);
  EXPECT_EQ(read("HTTP/1.1 200 OK\r\n" + headers(kMaxHeaderLines - 1)).progress, Progress::Refused);
}

TEST(ResponseReader, AStatusLineThatDoesNotReadRefusesTheResponse) {
  for (const std::string statusLine : {"", "HTTP/2 200 OK", "HTTP/1.1 20 OK", "ICY 200 OK", "HTTP/1.1 2000"})
    EXPECT_EQ(read(withHeaders(statusLine, "Content-Length: 5\r\n")).progress, Progress::Refused)
        << statusLine;
  EXPECT_EQ(headOf(withHeaders("HTTP/1.0 404 Not Found", "")).status, 404);
}

TEST(ResponseReader, BytesAfterTheEndAreIgnored) {
  ResponseReader reader;
  EXPECT_EQ(reader.feed("HTTP/1.1 200 OK\r\n\r\nab"), Progress::Complete);
  EXPECT_EQ(reader.feed("Content-Length: 5\r\n\r\n"), Progress::Complete);
  EXPECT_EQ(reader.bodyStart(), "ab");
  EXPECT_FALSE(reader.head().contentLength);
}

// --- The checks of a ranged answer ---------------------------------------------

TEST(RangeAnswer, OnlyExactlyTheAskedRangeAsPlainBytesIsTaken) {
  const auto answer = [](const std::string& statusLine, const std::string& headers) {
    return isExactRangeAnswer(headOf(withHeaders(statusLine, headers)), 100, 109, 1000);
  };
  const std::string partial = "HTTP/1.1 206 Partial Content";
  EXPECT_TRUE(answer(partial, "Content-Range: bytes 100-109/1000\r\nContent-Length: 10\r\n"));
  EXPECT_TRUE(answer(partial, "Content-Range: bytes 100-109/1000\r\n"));
  EXPECT_TRUE(answer(partial, "Content-Range: bytes 100-109/*\r\n"));
  EXPECT_TRUE(answer(partial, "content-range: bytes 100-109/1000\r\nContent-Range: bytes 100-109/1000\r\n"));
  // A server that ignores the range.
  EXPECT_FALSE(answer("HTTP/1.1 200 OK", "Content-Range: bytes 100-109/1000\r\n"));
  EXPECT_FALSE(answer(partial, "Content-Length: 10\r\n"));
  // Another range, or another file.
  EXPECT_FALSE(answer(partial, "Content-Range: bytes 100-110/1000\r\n"));
  EXPECT_FALSE(answer(partial, "Content-Range: bytes 99-108/1000\r\n"));
  EXPECT_FALSE(answer(partial, "Content-Range: bytes 100-109/1001\r\n"));
  EXPECT_FALSE(answer(partial, "Content-Range: bytes 100-109/1000\r\nContent-Range: bytes 0-9/1000\r\n"));
  EXPECT_FALSE(answer(partial, "Content-Range: bytes 100-109/1000\r\nContent-Range: bytes 1-\r\n"));
  EXPECT_FALSE(answer(partial, "Content-Range: bytes 100-109/1000\r\nContent-Length: 11\r\n"));
  EXPECT_FALSE(
      answer(partial, "Content-Range: bytes 100-109/1000\r\nContent-Length: 10\r\nContent-Length: 9\r\n"));
  EXPECT_FALSE(answer(partial, "Content-Range: bytes 100-109/1000\r\nContent-Length: -10\r\n"));
  // An encoded body is not the range's bytes.
  EXPECT_FALSE(answer(partial, "Content-Range: bytes 100-109/1000\r\nTransfer-Encoding: chunked\r\n"));
  EXPECT_FALSE(answer(partial, "Transfer-Encoding: identity\r\nContent-Range: bytes 100-109/1000\r\n"));
}

TEST(HeadAnswer, OnlyAnOkAnswerWithOneReadableLengthAnnouncesIt) {
  const auto announced = [](const std::string& statusLine, const std::string& headers) {
    return announcedLength(headOf(withHeaders(statusLine, headers)));
  };
  const std::string ok = "HTTP/1.1 200 OK";
  EXPECT_EQ(announced(ok, "Content-Length: 500000\r\n"), 500000);
  EXPECT_EQ(announced(ok, "Content-Length: 0\r\nContent-Length: 0\r\n"), 0);
  EXPECT_EQ(announced(ok, "Content-Length: 2147483647\r\n"), 2147483647);
  EXPECT_FALSE(announced(ok, ""));
  EXPECT_FALSE(announced(ok, "Transfer-Encoding: chunked\r\n"));
  EXPECT_FALSE(announced(ok, "Content-Length: 2147483648\r\n"));
  EXPECT_FALSE(announced(ok, "Content-Length: -500000\r\n"));
  EXPECT_FALSE(announced(ok, "Content-Length: 500000abc\r\n"));
  EXPECT_FALSE(announced(ok, "Content-Length: 5\r\nContent-Length: 6\r\n"));
  EXPECT_FALSE(announced("HTTP/1.1 206 Partial Content", "Content-Length: 5\r\n"));
  EXPECT_FALSE(announced("HTTP/1.1 404 Not Found", "Content-Length: 5\r\n"));
}

// --- a chunked body, however the receives cut it

namespace {

struct ChunkedOutcome {
  ChunkedBody::Progress progress;
  std::string body;
  bool operator==(const ChunkedOutcome&) const = default;
};

ChunkedOutcome decodeInPieces(const std::string& bytes, size_t pieceSize, size_t maximum = 1000) {
  ChunkedBody body(maximum);
  for (size_t at = 0; at < bytes.size(); at += pieceSize)
    body.feed(std::string_view(bytes).substr(at, pieceSize));
  return {body.progress(), body.body()};
}

}  // namespace

TEST(ChunkedBody, GivesTheSameBodyHoweverTheBytesAreCut) {
  const std::string encoded =
      "5;name=value\r\nhello\r\n"
      "A\r\n, chunked!\r\n"
      "0\r\nExpires: never\r\n\r\n"
      "after the body";
  const ChunkedOutcome whole = decodeInPieces(encoded, encoded.size());
  EXPECT_EQ(whole, (ChunkedOutcome{ChunkedBody::Progress::Complete, "hello, chunked!"}));
  for (size_t piece = 1; piece < 12; ++piece) EXPECT_EQ(decodeInPieces(encoded, piece), whole) << piece;
}

TEST(ChunkedBody, RefusesWhatIsNotChunkedOrTooLarge) {
  const auto refused = [](const std::string& bytes, size_t maximum = 1000) {
    return decodeInPieces(bytes, 3, maximum).progress == ChunkedBody::Progress::Refused;
  };
  EXPECT_TRUE(refused("zz\r\nhello\r\n0\r\n\r\n"));       // no hexadecimal size
  EXPECT_TRUE(refused("\r\n"));                           // no size at all
  EXPECT_TRUE(refused("5\r\nhelloX\r\n0\r\n\r\n"));       // data longer than its size
  EXPECT_TRUE(refused("5\nhello\n0\n\n"));                // bare line feeds
  EXPECT_TRUE(refused("ffffffffffffffffff\r\n"));         // a size beyond any number
  EXPECT_TRUE(refused("8\r\n12345678\r\n0\r\n\r\n", 7));  // past the maximum
  EXPECT_TRUE(refused(std::string(kMaxHeaderLineLength + 1, '1')));
  EXPECT_EQ(decodeInPieces("5\r\nhel", 2).progress, ChunkedBody::Progress::NeedMore);
}

TEST(ChunkedBody, HandsOutTheBodyInPiecesWithinTheMaximum) {
  ChunkedBody body(12);
  EXPECT_EQ(body.feed("5\r\nhello\r\n"), ChunkedBody::Progress::NeedMore);
  EXPECT_EQ(body.takeBody(), "hello");
  EXPECT_EQ(body.body(), "");
  EXPECT_EQ(body.feed("7\r\n, world\r\n"), ChunkedBody::Progress::NeedMore);
  EXPECT_EQ(body.takeBody(), ", world");
  // Bytes handed out still count against the maximum.
  EXPECT_EQ(body.feed("1\r\n!\r\n"), ChunkedBody::Progress::Refused);
}

TEST(ResponseReader, KeepsTheFirstContentCoding) {
  ResponseReader reader;
  reader.feed("HTTP/1.1 200 OK\r\nContent-Encoding:  gzip \r\ncontent-encoding: br\r\n\r\n");
  EXPECT_EQ(reader.head().contentEncoding, "gzip");
  EXPECT_TRUE(hasContentCoding(reader.head()));
  ResponseHead identity;
  identity.contentEncoding = "Identity";
  EXPECT_FALSE(hasContentCoding(identity));
  EXPECT_FALSE(hasContentCoding(ResponseHead{}));
}

TEST(RangeAnswer, AnEncodedRangeIsNotTheFilesBytes) {
  ResponseHead head;
  head.status = 206;
  head.contentRange = ContentRange{0, 99, 1000};
  head.contentLength = 100;
  EXPECT_TRUE(isExactRangeAnswer(head, 0, 99, 1000));
  head.contentEncoding = "gzip";
  EXPECT_FALSE(isExactRangeAnswer(head, 0, 99, 1000));
}

namespace {

std::string gzipOf(const std::string& text) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, text.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace

TEST(GzipBody, UndoesGzipAndRefusesWhatIsNotWhole) {
  const std::string page = "<html>" + std::string(100000, 'w') + "</html>";
  const std::string packed = gzipOf(page);
  EXPECT_EQ(gunzip(packed, page.size()), page);
  // Two members one after the other are one body.
  EXPECT_EQ(gunzip(gzipOf("ab") + gzipOf("cd"), 100), "abcd");
  EXPECT_FALSE(gunzip(packed.substr(0, packed.size() / 2), page.size()));
  EXPECT_FALSE(gunzip(packed, page.size() - 1));
  EXPECT_FALSE(gunzip("not gzip at all", 100));
  EXPECT_FALSE(gunzip("", 100));
}

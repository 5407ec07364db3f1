// The rules of the download engine that need no network: splitting an
// address, the request texts, recognising response headers, cutting a file
// into byte ranges, and telling a stalled download from a slow one.
#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// --- Addresses ---------------------------------------------------------------

// The host of an "http://host/path" address, with its ":port" when it names
// one ("HTTP://", "https://" and no prefix work too).
QString GetUrlHost(const QString& url);
// The path after the host, without its leading "/"; empty when there is none.
QString GetUrlPath(const QString& url);
// Host and path go into request lines verbatim: a blank or a control
// character in them would split the request, so such an address is refused.
bool isSafeRequestText(std::string_view text);

enum class UrlScheme { Http, Https };

// An address the engine can fetch: "http://" (or no prefix) and "https://",
// in any case, then a host, an optional ":port" (80 and 443 by default), and
// the path.
struct DownloadAddress {
  UrlScheme Scheme = UrlScheme::Http;
  std::string Host;  // as it is looked up: without brackets or port
  uint16_t Port = 80;
  std::string Path;  // without its leading "/"
  // What the Host line names: the host, and the port when it is not the scheme's own.
  std::string hostLine() const;
  // The address written out again, "scheme://host[:port]/path".
  std::string text() const;
  bool operator==(const DownloadAddress&) const = default;
};

// Nothing for an address with an empty host, a port that is not 1 to 65535,
// another scheme, or a blank or control character in host or path.
std::optional<DownloadAddress> splitDownloadUrl(const QString& url);

// --- Redirects ---------------------------------------------------------------

constexpr int kMaxRedirects = 5;

bool isRedirectStatus(int status);

// Where a redirect from `from` to `location` (absolute, "//host/...",
// "/path" or relative) leads. An error text instead when the location is not
// an address to fetch, or when it leaves https for http: a page or picture
// asked for over TLS is never fetched in the clear.
struct RedirectTarget {
  std::optional<DownloadAddress> Address;
  std::string Refusal;
};
RedirectTarget followRedirect(const DownloadAddress& from, const std::string& location);

// --- Requests ----------------------------------------------------------------

std::string headRequest(std::string_view path, std::string_view host);
std::string rangeRequest(std::string_view path, std::string_view host, int32_t rangeStart, int32_t rangeEnd);
// The ranged GET without its range line: the whole body, for a server that
// cannot serve ranges.
std::string wholeRequest(std::string_view path, std::string_view host);

// --- Response headers --------------------------------------------------------

// A single header line longer than this fails the response.
constexpr size_t kMaxHeaderLineLength = 8192;
// A response with more header lines than this (the status line included) fails.
constexpr int kMaxHeaderLines = 100;

inline constexpr std::string_view kContentLengthName = "Content-Length: ";
inline constexpr std::string_view kContentRangeName = "Content-Range:";
inline constexpr std::string_view kTransferEncodingName = "Transfer-Encoding:";
inline constexpr std::string_view kLocationName = "Location:";
inline constexpr std::string_view kContentEncodingName = "Content-Encoding:";

// The line names the header when it starts with name, compared without case.
bool isHeaderLine(std::string_view line, std::string_view name);
// What follows name on a header line, without the blanks around it and the line end.
std::string headerValue(std::string_view line, std::string_view name);
// The blank line that ends the headers.
bool isHeaderEnd(std::string_view line);
// The status code of a status line "HTTP/1.x NNN ...".
std::optional<int> responseStatusCode(std::string_view line);

// The value of a "Content-Length: " line: a plain decimal below 2^31, else
// nothing (a sign, a fraction, an empty or an oversized value).
std::optional<int32_t> contentLengthValue(std::string_view line);

struct ContentRange {
  int64_t First = 0;
  int64_t Last = 0;
  std::optional<int64_t> Total;  // absent for "*"
  bool operator==(const ContentRange&) const = default;
};
// The value of a "Content-Range:" line of the form "bytes FIRST-LAST/TOTAL".
std::optional<ContentRange> contentRangeValue(std::string_view line);
// True when the answer covers exactly the asked range of a file of total bytes.
bool contentRangeMatches(const ContentRange& range, int32_t rangeStart, int32_t rangeEnd, int32_t total);

// --- Segment plan ------------------------------------------------------------

constexpr int kMaxSegments = 20;

struct SegmentRange {
  int32_t RangeStart = 0;
  int32_t RangeEnd = 0;  // inclusive
  int32_t length() const { return RangeEnd - RangeStart + 1; }
  bool operator==(const SegmentRange&) const = default;
};

// Cuts the bytes from existing to totalSize - 1 into at most 20 ranges of
// about hint bytes each (one more range than the quotient; the last takes the
// remainder), never more ranges than bytes. Empty when nothing remains to
// fetch or existing is negative; a hint below 1 counts as 1.
std::vector<SegmentRange> planSegments(int32_t totalSize, int32_t existing, int32_t segmentSizeHint);

// --- Progress ----------------------------------------------------------------

// A download that receives fewer than Bytes within Time is stalled; a slow
// one that keeps up that pace runs to its end, however long it takes. A rule
// with no bytes or no time stalls nothing.
struct LowSpeedLimit {
  int64_t Bytes = 1024;
  std::chrono::milliseconds Time{60000};
};

// Judges the bytes a download has received so far against a LowSpeedLimit.
// The window starts anew as soon as Bytes more have arrived, so a download
// that stops fails no later than Time after its last progress.
class ProgressWatch {
 public:
  using Clock = std::chrono::steady_clock;

  ProgressWatch(LowSpeedLimit limit, int64_t received, Clock::time_point now);

  // True, from then on, once the window has run out before Bytes more than
  // at its start were received.
  bool stalled(int64_t received, Clock::time_point now);
  // When the current window runs out unless enough bytes arrive first.
  Clock::time_point windowEnd() const { return m_windowStart + m_limit.Time; }

 private:
  bool active() const { return m_limit.Bytes > 0 && m_limit.Time.count() > 0; }

  LowSpeedLimit m_limit;
  Clock::time_point m_windowStart;
  int64_t m_receivedAtStart = 0;
  bool m_stalled = false;
};

// What the engine puts between a target's name and a segment's number.
inline constexpr char kSegmentFileMarker[] = ".$$$.temp.";

// Segment n (1 to 20) of a target lives beside it as target + ".$$$.temp." + n.
std::string segmentFileName(const std::string& saveFile, int n);

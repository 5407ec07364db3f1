#include "download/DownloadRules.h"

#include <QUrl>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace {

constexpr std::string_view kUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; .NET CLR 1.0.3705)";
constexpr std::string_view kLineEnd = "\r\n";

bool isControlOrBlank(QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7F; }

QString trimControlsAndBlanks(const QString& text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && isControlOrBlank(text[first])) ++first;
  while (last > first && isControlOrBlank(text[last - 1])) --last;
  return text.mid(first, last - first);
}

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpsPort = 443;

QString withoutScheme(const QString& url, UrlScheme* scheme = nullptr) {
  const QString trimmed = trimControlsAndBlanks(url);
  if (scheme != nullptr) *scheme = UrlScheme::Http;
  if (trimmed.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) return trimmed.mid(7);
  if (trimmed.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
    if (scheme != nullptr) *scheme = UrlScheme::Https;
    return trimmed.mid(8);
  }
  return trimmed;
}

uint16_t defaultPort(UrlScheme scheme) { return scheme == UrlScheme::Https ? kHttpsPort : kHttpPort; }

// "host", "host:port", "[v6]" or "[v6]:port" into address; false when malformed.
bool splitAuthority(const std::string& authority, DownloadAddress& address) {
  std::string host = authority;
  std::string port;
  if (host.starts_with('[')) {
    const size_t close = host.find(']');
    if (close == std::string::npos) return false;
    const std::string rest = host.substr(close + 1);
    host = host.substr(1, close - 1);
    if (!rest.empty() && !rest.starts_with(':')) return false;
    if (!rest.empty()) port = rest.substr(1);
    if (rest == ":") return false;
  } else if (const size_t colon = host.rfind(':'); colon != std::string::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
    if (port.empty()) return false;
  }
  const bool bracketed = authority.starts_with('[');
  if (host.empty() || (!bracketed && host.find_first_of("[]:@") != std::string::npos)) return false;
  address.Host = host;
  address.Port = defaultPort(address.Scheme);
  if (port.empty()) return true;
  if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const int value = std::stoi(port);
  if (value < 1 || value > 65535) return false;
  address.Port = static_cast<uint16_t>(value);
  return true;
}

bool isOptionalWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimHeaderValue(std::string_view value) {
  while (!value.empty() && isOptionalWhiteSpace(value.front())) value.remove_prefix(1);
  while (!value.empty() && isOptionalWhiteSpace(value.back())) value.remove_suffix(1);
  return value;
}

// Digits only, no sign, no blank, nothing after; values above the limit fail.
std::optional<int64_t> plainDecimal(std::string_view text, int64_t maximum) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > maximum) return std::nullopt;
  return value;
}

// Splits "left<separator>right" at the first separator.
bool splitAt(std::string_view text, char separator, std::string_view& left, std::string_view& right) {
  const size_t at = text.find(separator);
  if (at == std::string_view::npos) return false;
  left = text.substr(0, at);
  right = text.substr(at + 1);
  return true;
}

}  // namespace

QString GetUrlHost(const QString& url) {
  const QString rest = withoutScheme(url);
  const qsizetype slash = rest.indexOf(QLatin1Char('/'));
  return slash < 0 ? rest : rest.left(slash);
}

QString GetUrlPath(const QString& url) {
  const QString rest = withoutScheme(url);
  const qsizetype slash = rest.indexOf(QLatin1Char('/'));
  return slash < 0 ? QString() : rest.mid(slash + 1);
}

std::optional<DownloadAddress> splitDownloadUrl(const QString& url) {
  DownloadAddress address;
  const QString rest = withoutScheme(url, &address.Scheme);
  if (rest.contains(QLatin1String("://"))) return std::nullopt;  // a scheme the engine does not speak
  const qsizetype slash = rest.indexOf(QLatin1Char('/'));
  const std::string authority = (slash < 0 ? rest : rest.left(slash)).toUtf8().toStdString();
  address.Path = slash < 0 ? std::string() : rest.mid(slash + 1).toUtf8().toStdString();
  if (!isSafeRequestText(authority) || !isSafeRequestText(address.Path)) return std::nullopt;
  if (!splitAuthority(authority, address)) return std::nullopt;
  return address;
}

std::string DownloadAddress::hostLine() const {
  const std::string name = Host.find(':') == std::string::npos ? Host : "[" + Host + "]";
  return Port == defaultPort(Scheme) ? name : name + ":" + std::to_string(Port);
}

std::string DownloadAddress::text() const {
  return (Scheme == UrlScheme::Https ? "https://" : "http://") + hostLine() + "/" + Path;
}

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

RedirectTarget followRedirect(const DownloadAddress& from, const std::string& location) {
  const QUrl base(QString::fromStdString(from.text()));
  const QUrl next = base.resolved(QUrl(QString::fromStdString(location)));
  const QString scheme = next.scheme().toLower();
  if (location.empty() || !next.isValid() || (scheme != "http" && scheme != "https"))
    return {std::nullopt, "a redirect to an address that cannot be fetched: " + location};
  if (from.Scheme == UrlScheme::Https && scheme == "http")
    return {std::nullopt, "a redirect from https to http is refused: " + location};
  QUrl withoutFragment = next;
  withoutFragment.setFragment(QString());
  const std::optional<DownloadAddress> address =
      splitDownloadUrl(withoutFragment.toString(QUrl::FullyEncoded));
  if (!address) return {std::nullopt, "a redirect to an address that cannot be fetched: " + location};
  return {address, {}};
}

bool isSafeRequestText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
}

std::string headRequest(std::string_view path, std::string_view host) {
  std::string request;
  request.append("HEAD /").append(path).append(" HTTP/1.1").append(kLineEnd);
  request.append("Pragma: no-cache").append(kLineEnd);
  request.append("Cache-Control: no-cache").append(kLineEnd);
  request.append("User-Agent: ").append(kUserAgent).append(kLineEnd);
  request.append("Host: ").append(host).append(kLineEnd);
  request.append(kLineEnd);
  return request;
}

std::string wholeRequest(std::string_view path, std::string_view host) {
  std::string request;
  request.append("GET /").append(path).append(" HTTP/1.1").append(kLineEnd);
  request.append("Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*").append(kLineEnd);
  request.append("User-Agent: ").append(kUserAgent).append(kLineEnd);
  request.append("Host: ").append(host).append(kLineEnd);
  request.append("Connection: close").append(kLineEnd);
  request.append(kLineEnd);
  return request;
}

std::string rangeRequest(std::string_view path, std::string_view host, int32_t rangeStart, int32_t rangeEnd) {
  std::string request;
  request.append("GET /").append(path).append(" HTTP/1.1").append(kLineEnd);
  request.append("Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*").append(kLineEnd);
  request.append("User-Agent: ").append(kUserAgent).append(kLineEnd);
  request.append("RANGE: bytes=")
      .append(std::to_string(rangeStart))
      .append("-")
      .append(std::to_string(rangeEnd))
      .append(" ")
      .append(kLineEnd);
  request.append("Host: ").append(host).append(kLineEnd);
  request.append(kLineEnd);
  return request;
}

bool isHeaderLine(std::string_view line, std::string_view name) {
  if (line.size() < name.size()) return false;
  return std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

std::string headerValue(std::string_view line, std::string_view name) {
  std::string_view value = line.substr(std::min(name.size(), line.size()));
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t first = value.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  value = value.substr(first, value.find_last_not_of(kBlanks) - first + 1);
  return std::string(value);
}

bool isHeaderEnd(std::string_view line) { return line == kLineEnd; }

std::optional<int> responseStatusCode(std::string_view line) {
  constexpr std::string_view kVersion = "HTTP/1.";
  if (!line.starts_with(kVersion) || line.size() < kVersion.size() + 5) return std::nullopt;
  if (line[kVersion.size()] < '0' || line[kVersion.size()] > '9') return std::nullopt;
  const std::string_view rest = line.substr(kVersion.size() + 1);
  if (rest[0] != ' ' || (rest.size() > 4 && rest[4] != ' ' && rest[4] != '\r')) return std::nullopt;
  const auto code = plainDecimal(rest.substr(1, 3), 999);
  if (!code) return std::nullopt;
  return static_cast<int>(*code);
}

std::optional<int32_t> contentLengthValue(std::string_view line) {
  if (!isHeaderLine(line, kContentLengthName)) return std::nullopt;
  const auto value = plainDecimal(trimHeaderValue(line.substr(kContentLengthName.size())),
                                  std::numeric_limits<int32_t>::max());
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::optional<ContentRange> contentRangeValue(std::string_view line) {
  if (!isHeaderLine(line, kContentRangeName)) return std::nullopt;
  std::string_view value = trimHeaderValue(line.substr(kContentRangeName.size()));
  constexpr std::string_view kUnit = "bytes ";
  if (!isHeaderLine(value, kUnit)) return std::nullopt;
  value = trimHeaderValue(value.substr(kUnit.size()));
  std::string_view span, total, first, last;
  if (!splitAt(value, '/', span, total) || !splitAt(span, '-', first, last)) return std::nullopt;
  constexpr int64_t kLargest = std::numeric_limits<int64_t>::max() / 2;
  ContentRange range;
  const auto firstValue = plainDecimal(first, kLargest);
  const auto lastValue = plainDecimal(last, kLargest);
  if (!firstValue || !lastValue) return std::nullopt;
  range.First = *firstValue;
  range.Last = *lastValue;
  if (total != "*") {
    range.Total = plainDecimal(total, kLargest);
    if (!range.Total) return std::nullopt;
  }
  return range;
}

bool contentRangeMatches(const ContentRange& range, int32_t rangeStart, int32_t rangeEnd, int32_t total) {
  if (range.First != rangeStart || range.Last != rangeEnd) return false;
  return !range.Total || *range.Total == total;
}

// In 64 bits: the quotient plus one, and the range ends, overflow 32 bits
// for a length near 2^31 and a hint of one byte.
std::vector<SegmentRange> planSegments(int32_t totalSize, int32_t existing, int32_t segmentSizeHint) {
  if (existing < 0 || totalSize <= existing) return {};
  const int64_t remaining = int64_t{totalSize} - existing;
  const int64_t hint = std::max<int64_t>(segmentSizeHint, 1);
  // Never more ranges than bytes: a range of no bytes cannot be asked for.
  const int64_t count = std::min({remaining / hint + 1, int64_t{kMaxSegments}, remaining});
  const int64_t size = remaining / count;
  std::vector<SegmentRange> plan;
  plan.reserve(static_cast<size_t>(count));
  for (int64_t n = 1; n <= count; ++n) {
    const int64_t rangeStart = (n - 1) * size + existing;
    const int64_t rangeEnd = n == count ? int64_t{totalSize} - 1 : n * size + existing - 1;
    plan.push_back({static_cast<int32_t>(rangeStart), static_cast<int32_t>(rangeEnd)});
  }
  return plan;
}

ProgressWatch::ProgressWatch(LowSpeedLimit limit, int64_t received, Clock::time_point now)
    : m_limit(limit), m_windowStart(now), m_receivedAtStart(received) {}

bool ProgressWatch::stalled(int64_t received, Clock::time_point now) {
  if (m_stalled || !active()) return m_stalled;
  if (received - m_receivedAtStart >= m_limit.Bytes) {
    m_windowStart = now;
    m_receivedAtStart = received;
  } else if (now >= windowEnd()) {
    m_stalled = true;
  }
  return m_stalled;
}

std::string segmentFileName(const std::string& saveFile, int n) {
  return saveFile + kSegmentFileMarker + std::to_string(n);
}

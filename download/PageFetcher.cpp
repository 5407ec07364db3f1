#include "download/PageFetcher.h"

#include <QMetaObject>
#include <QUrl>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "download/ChunkedBody.h"
#include "download/SocketResponse.h"
#include "platform/BlockingSocket.h"

// What a fetch's thread shares with its fetcher. The thread holds it to the
// end, so it outlives a fetcher that has already gone.
struct PageJob {
  std::mutex mutex;
  PageFetcher* receiver = nullptr;  // cleared under the mutex once the fetcher lets go
  std::atomic<bool> stopped{false};
};

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOk = 200;

struct PageAddress {
  std::string host;
  uint16_t port = 80;
  std::string target;
  std::string hostHeader;
};

std::optional<PageAddress> pageAddress(const QUrl& url) {
  if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) return std::nullopt;
  const int port = url.port(80);
  if (port <= 0 || port > 65535) return std::nullopt;
  PageAddress address;
  address.host = url.host(QUrl::FullyEncoded).toStdString();
  address.port = static_cast<uint16_t>(port);
  // Put together as text and converted once.
  QString target = url.path(QUrl::FullyEncoded);
  if (target.isEmpty()) target = QStringLiteral("/");
  if (url.hasQuery()) target += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
  address.target = target.toStdString();
  QString hostHeader = url.host(QUrl::FullyEncoded);
  if (url.port() != -1) hostHeader += QLatin1Char(':') + QString::number(port);
  address.hostHeader = hostHeader.toStdString();
  return address;
}

std::string pageRequest(const PageAddress& address) {
  return "GET " + address.target + " HTTP/1.1\r\nHost: " + address.hostHeader +
         "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
}

bool isRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<decltype(left)>(left, 0));
}

enum class Received { Bytes, StreamEnd, Failed };

// The next bytes of the body, the end of the stream, or a failure (the time
// ran out, the connection broke, the fetch was stopped).
Received receiveSome(TBlockingSocket& socket, Clock::time_point deadline, std::string& bytes) {
  char buffer[16384];
  const int limit = millisecondsUntil(deadline);
  if (limit <= 0) return Received::Failed;
  socket.setWaitLimit(limit);
  const int count = socket.read(buffer, sizeof buffer);
  if (count > 0) {
    bytes.assign(buffer, static_cast<size_t>(count));
    return Received::Bytes;
  }
  return socket.isOpen() ? Received::Failed : Received::StreamEnd;
}

std::optional<std::string> readChunkedBody(TBlockingSocket& socket, const std::string& bodyStart,
                                           Clock::time_point deadline) {
  ChunkedBody body(PageFetcher::kMaximumPageBytes);
  std::string bytes = bodyStart;
  for (;;) {
    if (body.feed(bytes) != ChunkedBody::Progress::NeedMore) break;
    if (receiveSome(socket, deadline, bytes) != Received::Bytes) return std::nullopt;
  }
  if (body.progress() != ChunkedBody::Progress::Complete) return std::nullopt;
  return body.body();
}

// A body of the announced length, or, without one, all the server sends
// before it closes.
std::optional<std::string> readPlainBody(TBlockingSocket& socket, const ReceivedHead& received,
                                         Clock::time_point deadline) {
  const std::optional<int32_t> length = received.head.contentLength;
  const size_t limit = length ? static_cast<size_t>(*length) : size_t(PageFetcher::kMaximumPageBytes) + 1;
  if (limit > size_t(PageFetcher::kMaximumPageBytes) + (length ? 0 : 1)) return std::nullopt;
  std::string body = received.bodyStart;
  std::string bytes;
  while (body.size() < limit) {
    const Received got = receiveSome(socket, deadline, bytes);
    if (got == Received::Failed) return std::nullopt;
    if (got == Received::StreamEnd) break;
    body += bytes;
  }
  if (length ? body.size() < limit : body.size() >= limit) return std::nullopt;
  body.resize(std::min(body.size(), limit));
  return body;
}

struct PageAnswer {
  int status = 0;
  std::string location;
  std::optional<std::string> body;
};

std::optional<PageAnswer> askForPage(const PageAddress& address,
                                     const std::shared_ptr<const EndpointMap>& endpoints,
                                     const std::shared_ptr<PageJob>& job, Clock::time_point deadline) {
  TBlockingSocket socket;
  socket.setEndpoints(endpoints);
  socket.setStopCheck([job] { return job->stopped.load(); });
  socket.setWaitLimit(std::max(1, millisecondsUntil(deadline)));
  try {
    socket.open(address.host, address.port);
    socket.sendText(pageRequest(address));
  } catch (const SocketError&) {
    return std::nullopt;
  }
  const std::optional<ReceivedHead> received =
      readResponseHead(socket, deadline, [job] { return job->stopped.load(); });
  if (!received) return std::nullopt;
  PageAnswer answer{received->head.status, received->head.location, std::nullopt};
  if (answer.status != kOk || received->head.lengthUnreadable) return answer;
  answer.body = received->head.transferEncoding ? readChunkedBody(socket, received->bodyStart, deadline)
                                                : readPlainBody(socket, *received, deadline);
  return answer;
}

// The page at url, after at most kMaximumRedirects redirects; nothing when
// any step fails.
std::optional<std::string> fetchPage(QUrl url, const std::shared_ptr<const EndpointMap>& endpoints,
                                     const std::shared_ptr<PageJob>& job, Clock::time_point deadline) {
  for (int hop = 0; hop <= PageFetcher::kMaximumRedirects; ++hop) {
    const std::optional<PageAddress> address = pageAddress(url);
    if (!address) return std::nullopt;
    const std::optional<PageAnswer> answer = askForPage(*address, endpoints, job, deadline);
    if (!answer) return std::nullopt;
    if (!isRedirect(answer->status)) return answer->body;
    if (answer->location.empty()) return std::nullopt;
    url = url.resolved(QUrl(QString::fromStdString(answer->location)));
  }
  return std::nullopt;
}

}  // namespace

PageFetcher::PageFetcher(QObject* parent) : QObject(parent) {
  m_deadline.setSingleShot(true);
  connect(&m_deadline, &QTimer::timeout, this, [this] { finish({}); });
}

PageFetcher::~PageFetcher() { cancel(); }

void PageFetcher::navigate(const QString& address) {
  cancel();
  if (address == QLatin1String("about:blank")) return;
  const quint64 fetch = ++m_fetch;
  m_beginAnnounced = false;
  QMetaObject::invokeMethod(
      this, [this, fetch] { announceBegin(fetch); }, Qt::QueuedConnection);

  const QUrl url(address);
  if (!pageAddress(url)) {
    finishLater(fetch);
    return;
  }
  m_job = std::make_shared<PageJob>();
  m_job->receiver = this;
  const Clock::time_point deadline = Clock::now() + m_timeout;
  std::thread([job = m_job, url, endpoints = m_endpoints, deadline, fetch] {
    const std::optional<std::string> page = fetchPage(url, endpoints, job, deadline);
    const std::lock_guard lock(job->mutex);
    if (job->receiver == nullptr) return;
    PageFetcher* receiver = job->receiver;
    const QByteArray bytes = page ? QByteArray::fromStdString(*page) : QByteArray();
    QMetaObject::invokeMethod(
        receiver, [receiver, fetch, bytes] { receiver->jobEnded(fetch, bytes); }, Qt::QueuedConnection);
  }).detach();
  m_deadline.start(m_timeout);
}

void PageFetcher::cancel() {
  m_deadline.stop();
  m_finishPending = false;
  ++m_fetch;  // drops the begin and finish events still queued for the old fetch
  if (m_job == nullptr) return;
  {
    const std::lock_guard lock(m_job->mutex);
    m_job->receiver = nullptr;
  }
  m_job->stopped = true;
  m_job.reset();
}

void PageFetcher::announceBegin(quint64 fetch) {
  if (fetch != m_fetch || m_beginAnnounced) return;
  m_beginAnnounced = true;
  emit downloadBegin();
}

void PageFetcher::jobEnded(quint64 fetch, const QByteArray& page) {
  if (fetch == m_fetch && m_job != nullptr) finish(page);
}

void PageFetcher::finishLater(quint64 fetch) {
  m_finishPending = true;
  QMetaObject::invokeMethod(
      this,
      [this, fetch] {
        if (fetch == m_fetch) finish({});
      },
      Qt::QueuedConnection);
}

// Ends the running fetch and reports it. The state is settled before the
// signals go out, so a handler may start the next fetch at once.
void PageFetcher::finish(QByteArray page) {
  const bool announceBeginNow = !m_beginAnnounced;
  cancel();
  m_beginAnnounced = true;
  const quint64 ended = m_fetch;
  if (announceBeginNow) emit downloadBegin();
  if (ended == m_fetch) emit downloadComplete(page);
}

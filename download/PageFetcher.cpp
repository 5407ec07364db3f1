#include "download/PageFetcher.h"

#include <QMetaObject>
#include <QUrl>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "download/DownloadRules.h"
#include "download/GzipBody.h"
#include "download/ResponseBody.h"
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

std::optional<DownloadAddress> pageAddress(const QString& address) {
  QUrl url(address);
  if (url.scheme().isEmpty()) return splitDownloadUrl(address);
  url.setFragment(QString());
  return splitDownloadUrl(url.toString(QUrl::FullyEncoded));
}

std::string pageRequest(const DownloadAddress& address) {
  return "GET /" + address.Path + " HTTP/1.1\r\nHost: " + address.hostLine() +
         "\r\nAccept: */*\r\nAccept-Encoding: gzip\r\nConnection: close\r\n\r\n";
}

int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<decltype(left)>(left, 0));
}

// The page as the server sent it, gzip undone; nothing for a coding the
// fetcher did not ask for.
std::optional<std::string> decodedPage(const ResponseHead& head, std::string body) {
  if (!hasContentCoding(head)) return body;
  if (!isHeaderLine(head.contentEncoding, "gzip") || head.contentEncoding.size() != 4) return std::nullopt;
  return gunzip(body, PageFetcher::kMaximumPageBytes);
}

std::optional<std::string> readPageBody(TBlockingSocket& socket, const ReceivedHead& received,
                                        Clock::time_point deadline) {
  std::string page;
  BodyReading reading;
  reading.MaximumBytes = PageFetcher::kMaximumPageBytes;
  reading.NextWait = [deadline] { return millisecondsUntil(deadline); };
  reading.Take = [&page](std::string_view bytes) {
    page.append(bytes);
    return true;
  };
  if (!readResponseBody(socket, received, reading)) return std::nullopt;
  return decodedPage(received.head, std::move(page));
}

struct PageAnswer {
  int status = 0;
  std::string location;
  std::optional<std::string> body;
};

std::optional<PageAnswer> askForPage(const DownloadAddress& address,
                                     const std::shared_ptr<const EndpointMap>& endpoints,
                                     const std::shared_ptr<PageJob>& job, Clock::time_point deadline) {
  TBlockingSocket socket;
  socket.setEndpoints(endpoints);
  socket.setStopCheck([job] { return job->stopped.load(); });
  socket.setWaitLimit(std::max(1, millisecondsUntil(deadline)));
  try {
    const SocketSecurity security =
        address.Scheme == UrlScheme::Https ? SocketSecurity::Tls : SocketSecurity::Plain;
    socket.open(address.Host, address.Port, security);
    socket.sendText(pageRequest(address));
  } catch (const SocketError& error) {
    if (!job->stopped) std::fprintf(stderr, "nimbra: page %s: %s\n", address.text().c_str(), error.what());
    return std::nullopt;
  }
  const std::optional<ReceivedHead> received =
      readResponseHead(socket, deadline, [job] { return job->stopped.load(); });
  if (!received) return std::nullopt;
  PageAnswer answer{received->head.status, received->head.location, std::nullopt};
  if (answer.status != kOk) return answer;
  answer.body = readPageBody(socket, *received, deadline);
  return answer;
}

// The page at address, after at most kMaximumRedirects redirects, never from
// https to http; nothing when any step fails.
std::optional<std::string> fetchPage(DownloadAddress address,
                                     const std::shared_ptr<const EndpointMap>& endpoints,
                                     const std::shared_ptr<PageJob>& job, Clock::time_point deadline) {
  for (int hop = 0; hop <= PageFetcher::kMaximumRedirects; ++hop) {
    const std::optional<PageAnswer> answer = askForPage(address, endpoints, job, deadline);
    if (!answer) return std::nullopt;
    if (!isRedirectStatus(answer->status)) return answer->body;
    const RedirectTarget next = followRedirect(address, answer->location);
    if (!next.Address) {
      std::fprintf(stderr, "nimbra: page %s: %s\n", address.text().c_str(), next.Refusal.c_str());
      return std::nullopt;
    }
    address = *next.Address;
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

  const std::optional<DownloadAddress> url = pageAddress(address);
  if (!url) {
    finishLater(fetch);
    return;
  }
  m_job = std::make_shared<PageJob>();
  m_job->receiver = this;
  const Clock::time_point deadline = Clock::now() + m_timeout;
  std::thread([job = m_job, url = *url, endpoints = m_endpoints, deadline, fetch] {
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

#include "platform/PageFetcher.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <optional>

#include "platform/EndpointMap.h"

namespace {

bool isWebAddress(const QUrl& address) {
  return address.isValid() &&
         (address.scheme() == QLatin1String("http") || address.scheme() == QLatin1String("https")) &&
         !address.host().isEmpty();
}

// The request for address. A test may have mapped the host to a server of its
// own; the request then goes there and still names the original host.
QNetworkRequest requestFor(const QUrl& address, const EndpointMap* endpoints) {
  const std::optional<SocketEndpoint> endpoint =
      endpoints
          ? endpoints->endpointFor(address.host().toStdString(), static_cast<uint16_t>(address.port(80)))
          : std::nullopt;
  if (!endpoint) return QNetworkRequest(address);
  QUrl redirected = address;
  redirected.setHost(QString::fromStdString(endpoint->Host));
  redirected.setPort(endpoint->Port);
  QNetworkRequest request(redirected);
  QString host = address.host(QUrl::FullyEncoded);
  if (address.port() != -1) host += QLatin1Char(':') + QString::number(address.port());
  request.setRawHeader("Host", host.toLatin1());
  return request;
}

}  // namespace

PageFetcher::PageFetcher(QObject* parent) : QObject(parent), m_network(new QNetworkAccessManager(this)) {
  m_deadline.setSingleShot(true);
  connect(&m_deadline, &QTimer::timeout, this, [this] { finish({}); });
}

PageFetcher::~PageFetcher() { cancel(); }

void PageFetcher::navigate(const QString& address) {
  cancel();
  if (address == QLatin1String("about:blank")) return;
  const quint64 fetch = ++m_fetch;
  m_beginAnnounced = false;
  m_page.clear();
  QMetaObject::invokeMethod(
      this, [this, fetch] { announceBegin(fetch); }, Qt::QueuedConnection);

  const QUrl url(address);
  if (!isWebAddress(url)) {
    finishLater(fetch);
    return;
  }
  QNetworkRequest request = requestFor(url, m_endpoints.get());
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  m_reply = m_network->get(request);
  connect(m_reply, &QNetworkReply::readyRead, this, &PageFetcher::collectArrivedBytes);
  connect(m_reply, &QNetworkReply::finished, this, &PageFetcher::replyFinished);
  m_deadline.start(m_timeout);
}

void PageFetcher::cancel() {
  m_deadline.stop();
  m_finishPending = false;
  ++m_fetch;  // drops the begin and finish events still queued for the old fetch
  if (m_reply == nullptr) return;
  QNetworkReply* reply = m_reply;
  m_reply = nullptr;
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
}

void PageFetcher::announceBegin(quint64 fetch) {
  if (fetch != m_fetch || m_beginAnnounced) return;
  m_beginAnnounced = true;
  emit downloadBegin();
}

void PageFetcher::collectArrivedBytes() {
  m_page += m_reply->readAll();
  if (m_page.size() > kMaximumPageBytes) finish({});
}

void PageFetcher::replyFinished() {
  const bool succeeded = m_reply->error() == QNetworkReply::NoError;
  if (succeeded) collectArrivedBytes();
  if (m_reply != nullptr) finish(succeeded ? m_page : QByteArray());
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
  m_page.clear();
  m_beginAnnounced = true;
  const quint64 ended = m_fetch;
  if (announceBeginNow) emit downloadBegin();
  if (ended == m_fetch) emit downloadComplete(page);
}

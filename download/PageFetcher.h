// Fetches one web page at a time for the catalogue check, in place of the
// window's hidden browser: navigate() returns at once, and downloadBegin and
// then downloadComplete arrive through the event loop. The fetch itself runs
// on a thread of its own over the download engine's socket, http or https,
// following redirects (never from https to http), and its result comes back
// as a value; a chunked or gzip page arrives decoded.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

#include "download/DownloadRules.h"

class EndpointMap;
struct PageJob;

class PageFetcher : public QObject {
  Q_OBJECT
 public:
  // A page that has not fully arrived by then ends the fetch as failed.
  static constexpr std::chrono::milliseconds kDefaultTimeout{20000};
  // Pages are read whole up to this size; a larger one fails. A full catalogue
  // of 2000 addresses is about 140 KB, so a fixed 64 KiB would cut it.
  static constexpr qsizetype kMaximumPageBytes = 4 * 1024 * 1024;
  // Redirects followed for one page, as browsers allow a few.
  static constexpr int kMaximumRedirects = kMaxRedirects;

  explicit PageFetcher(QObject* parent = nullptr);
  ~PageFetcher() override;

  // Starts fetching address, ending any fetch still running without a
  // complete event. "about:blank" only ends the running fetch. Every fetch
  // started here ends with exactly one downloadBegin and one downloadComplete.
  void navigate(const QString& address);
  bool isFetching() const { return m_job != nullptr || m_finishPending; }

  void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
  // Tests map host names to servers of their own; without a map every host
  // is reached as it is named.
  void setEndpoints(std::shared_ptr<const EndpointMap> endpoints) { m_endpoints = std::move(endpoints); }
  std::chrono::milliseconds timeout() const { return m_timeout; }

 signals:
  void downloadBegin();
  // The page's bytes, chunks and gzip undone; empty when the fetch failed
  // (no connection, an HTTP error, the time-out, a page that is too large).
  void downloadComplete(const QByteArray& page);

 private:
  void cancel();
  void announceBegin(quint64 fetch);
  void jobEnded(quint64 fetch, const QByteArray& page);
  void finish(QByteArray page);
  void finishLater(quint64 fetch);

  std::shared_ptr<PageJob> m_job;
  QTimer m_deadline;
  std::chrono::milliseconds m_timeout = kDefaultTimeout;
  std::shared_ptr<const EndpointMap> m_endpoints;
  quint64 m_fetch = 0;  // numbers the fetches, so a late event of an ended one is dropped
  bool m_beginAnnounced = false;
  bool m_finishPending = false;
};

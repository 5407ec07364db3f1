// The thumbnails of one network page, fetched side by side by the download
// engine. The downloads belong to this object: destroying it stops them.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

#include "download/DownloadRules.h"

class EndpointMap;

// The longest thumbnail a page fetches. A thumbnail is a JPEG for a slot of
// about 145x110 pixels, or twice that on a dense screen: tens of kilobytes
// at any honest quality. 4 MiB leaves room for any encoder and keeps a
// hostile site from filling the disk six thumbnails a page.
constexpr int32_t kMaxThumbnailBytes = 4 * 1024 * 1024;

struct ThumbnailFetch {
  QString address;
  QString file;
};

class ThumbnailDownloads : public QObject {
  Q_OBJECT
 public:
  // endpoints: where the tests' host names really go; none in the program.
  explicit ThumbnailDownloads(std::shared_ptr<const EndpointMap> endpoints = {}, QObject* parent = nullptr);
  ~ThumbnailDownloads() override;

  // One download per distinct file: two entries that would be stored as the
  // same file share one download instead of writing over each other. The
  // downloads still running are cancelled only once all of them together
  // fall below `progress`; however slow, a page that keeps arriving is shown.
  // `finished` follows once every download has ended; a failed one has left
  // no file behind.
  void start(const std::vector<ThumbnailFetch>& fetches, const LowSpeedLimit& progress);

 signals:
  void finished();

 private:
  struct Record;
  void recordEnded();
  void checkProgress();
  void cancelAll();
  int64_t receivedSoFar() const;

  std::vector<std::unique_ptr<Record>> m_records;
  std::optional<ProgressWatch> m_progress;
  QTimer m_progressCheck;
  size_t m_running = 0;
  std::shared_ptr<const EndpointMap> m_endpoints;
};

// The thumbnails of one network page, fetched side by side by the download
// engine. The downloads belong to this object: destroying it stops them.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <vector>

struct ThumbnailFetch {
  QString address;
  QString file;
};

class ThumbnailDownloads : public QObject {
  Q_OBJECT
 public:
  explicit ThumbnailDownloads(QObject* parent = nullptr);
  ~ThumbnailDownloads() override;

  // One download per distinct file: two entries that would be stored as the
  // same file share one download instead of writing over each other. When
  // `waitLimit` has passed, the downloads still running are cancelled.
  // `finished` follows once every download has ended; a failed one has left
  // no file behind.
  void start(const std::vector<ThumbnailFetch>& fetches, std::chrono::milliseconds waitLimit);

 signals:
  void finished();

 private:
  struct Record;
  void recordEnded();
  void cancelAll();

  std::vector<std::unique_ptr<Record>> m_records;
  QTimer m_waitLimit;
  size_t m_running = 0;
};

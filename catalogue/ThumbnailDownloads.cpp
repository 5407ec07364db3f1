#include "catalogue/ThumbnailDownloads.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

#include "download/MultiThreadDown.h"

namespace {

constexpr int32_t kThumbnailSegmentHint = 100000;

// Often enough that a stall is noticed soon after its window ends.
std::chrono::milliseconds progressCheckInterval(const LowSpeedLimit& rule) {
  using std::chrono::milliseconds;
  return std::clamp(rule.Time / 8, milliseconds(10), milliseconds(1000));
}

// The engine's own rules, with the thumbnail's length bound.
DownloadLimits thumbnailLimits() {
  DownloadLimits limits;
  limits.MaxLength = kMaxThumbnailBytes;
  return limits;
}

}  // namespace

struct ThumbnailDownloads::Record {
  // vars outlives the controller that refers to it: members go in reverse order.
  DownloadVars vars;
  QString file;
  std::unique_ptr<TMultiThreadDown> down;
};

ThumbnailDownloads::ThumbnailDownloads(std::shared_ptr<const EndpointMap> endpoints, QObject* parent)
    : QObject(parent), m_endpoints(std::move(endpoints)) {
  connect(&m_progressCheck, &QTimer::timeout, this, &ThumbnailDownloads::checkProgress);
}

ThumbnailDownloads::~ThumbnailDownloads() {
  // A view replaced mid-fetch: its downloads stop before their variables go.
  cancelAll();
  for (auto& record : m_records) record->down.reset();
}

void ThumbnailDownloads::start(const std::vector<ThumbnailFetch>& fetches, const LowSpeedLimit& progress) {
  QSet<QString> files;
  for (const ThumbnailFetch& fetch : fetches) {
    if (files.contains(fetch.file)) continue;
    files.insert(fetch.file);
    auto record = std::make_unique<Record>();
    prepareDownloadVars(record->vars, kThumbnailSegmentHint);
    record->file = fetch.file;
    QDir().mkpath(QFileInfo(fetch.file).path());
    record->down = std::make_unique<TMultiThreadDown>(fetch.address, fetch.file, record->vars, 0);
    record->down->setEndpoints(m_endpoints);
    record->down->setLimits(thumbnailLimits());
    record->down->setOnTerminate([this] { recordEnded(); });
    m_records.push_back(std::move(record));
  }
  m_running = m_records.size();
  if (m_running == 0) {
    emit finished();
    return;
  }
  m_progress.emplace(progress, 0, ProgressWatch::Clock::now());
  m_progressCheck.start(progressCheckInterval(progress));
  for (auto& record : m_records) record->down->start();
}

void ThumbnailDownloads::recordEnded() {
  if (m_running == 0 || --m_running > 0) return;
  m_progressCheck.stop();
  for (auto& record : m_records) {
    record->down.reset();
    if (record->vars.Status == kDownloadFailed) QFile::remove(record->file);
  }
  emit finished();
}

// The downloads end on their own in any case (each under the engine's own
// low-speed rule); this only spares the page the wait for those that stall.
void ThumbnailDownloads::checkProgress() {
  if (!m_progress || !m_progress->stalled(receivedSoFar(), ProgressWatch::Clock::now())) return;
  m_progressCheck.stop();
  cancelAll();
}

int64_t ThumbnailDownloads::receivedSoFar() const {
  int64_t received = 0;
  for (const auto& record : m_records) received += record->vars.Received.load();
  return received;
}

void ThumbnailDownloads::cancelAll() {
  for (auto& record : m_records) record->vars.Cancel = 1;
}

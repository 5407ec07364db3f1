#include "download/DownloadSession.h"

#include <QFile>
#include <QTimer>
#include <algorithm>

namespace {
constexpr int32_t kSegmentSizeHint = 80000;
// How often the bar follows the counters.
constexpr int kWatchMs = 200;
}  // namespace

int progressBarWidth(int32_t received, int32_t totalSize) {
  if (totalSize <= 0 || received <= 0) return 0;
  const int64_t width = static_cast<int64_t>(received) * kProgressBarFullWidth / totalSize;
  return static_cast<int>(std::min<int64_t>(width, kProgressBarFullWidth));
}

int grownBarWidth(int shown, int32_t received, int32_t totalSize) {
  return std::max(shown, progressBarWidth(received, totalSize));
}

bool downloadTargetMustGo(int32_t status, int32_t cancel) {
  return status != kDownloadSucceeded || cancel == 1;
}

DownloadSession::DownloadSession(std::shared_ptr<const EndpointMap> endpoints, QObject* parent)
    : QObject(parent), m_endpoints(std::move(endpoints)), m_watch(new QTimer(this)) {
  m_watch->setInterval(kWatchMs);
  connect(m_watch, &QTimer::timeout, this, &DownloadSession::growBar);
}

// Stops a download still running and drops its pending end notification.
DownloadSession::~DownloadSession() { DownThread.reset(); }

void DownloadSession::open() {
  m_cancelRequested = false;
  setBar(1);
}

void DownloadSession::start(const QString& address, const QString& saveFile) {
  // The previous download's controller has long finished; it must be gone
  // before its variables are reused, and its end notification with it.
  DownThread.reset();
  prepareDownloadVars(m_vars, kSegmentSizeHint);
  Resume = 0;
  // A Cancel pressed before the download began would be wiped by the fresh
  // counters and leave the user without a button: nothing is fetched then.
  if (m_cancelRequested) {
    m_vars.Cancel = 1;
    m_vars.Status = kDownloadFailed;
    end(saveFile);
    return;
  }
  setBar(1);
  DownThread = std::make_unique<TMultiThreadDown>(address, saveFile, m_vars, Resume);
  DownThread->setEndpoints(m_endpoints);
  DownThread->setOnTerminate([this, saveFile] { end(saveFile); });
  m_watch->start();
  DownThread->start();
}

void DownloadSession::cancel() {
  if (m_cancelRequested) return;
  m_cancelRequested = true;
  m_vars.Cancel = 1;
}

void DownloadSession::growBar() { setBar(grownBarWidth(m_barWidth, m_vars.Received, m_vars.TotalSize)); }

void DownloadSession::setBar(int width) {
  if (width == m_barWidth) return;
  m_barWidth = width;
  emit barChanged(width);
}

void DownloadSession::end(const QString& saveFile) {
  m_watch->stop();
  growBar();
  const bool targetGoes = downloadTargetMustGo(m_vars.Status, m_vars.Cancel);
  if (!saveFile.isEmpty() && targetGoes) QFile::remove(saveFile);
  const Outcome outcome = m_vars.Cancel == 1 ? Outcome::Cancelled
                          : targetGoes       ? Outcome::Failed
                                             : Outcome::Succeeded;
  emit finished(outcome);
}

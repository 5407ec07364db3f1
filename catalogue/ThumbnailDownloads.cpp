#include "catalogue/ThumbnailDownloads.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "download/MultiThreadDown.h"

namespace {
constexpr int32_t kThumbnailSegmentHint = 100000;
}

struct ThumbnailDownloads::Record {
  // vars outlives the controller that refers to it: members go in reverse order.
  DownloadVars vars;
  QString file;
  std::unique_ptr<TMultiThreadDown> down;
};

ThumbnailDownloads::ThumbnailDownloads(QObject* parent) : QObject(parent) {
  m_waitLimit.setSingleShot(true);
  connect(&m_waitLimit, &QTimer::timeout, this, &ThumbnailDownloads::cancelAll);
}

ThumbnailDownloads::~ThumbnailDownloads() {
  // A view replaced mid-fetch: its downloads stop before their variables go.
  cancelAll();
  for (auto& record : m_records) record->down.reset();
}

void ThumbnailDownloads::start(const std::vector<ThumbnailFetch>& fetches, std::chrono::milliseconds waitLimit) {
  QSet<QString> files;
  for (const ThumbnailFetch& fetch : fetches) {
    if (files.contains(fetch.file)) continue;
    files.insert(fetch.file);
    auto record = std::make_unique<Record>();
    PrepareDownloadVars(record->vars, kThumbnailSegmentHint);
    record->file = fetch.file;
    QDir().mkpath(QFileInfo(fetch.file).path());
    record->down = std::make_unique<TMultiThreadDown>(fetch.address, fetch.file, record->vars, 0);
    record->down->SetOnTerminate([this] { recordEnded(); });
    m_records.push_back(std::move(record));
  }
  m_running = m_records.size();
  if (m_running == 0) {
    emit finished();
    return;
  }
  m_waitLimit.start(waitLimit);
  for (auto& record : m_records) record->down->Start();
}

void ThumbnailDownloads::recordEnded() {
  if (m_running == 0 || --m_running > 0) return;
  m_waitLimit.stop();
  for (auto& record : m_records) {
    record->down.reset();
    if (record->vars.Status == kDownloadFailed) QFile::remove(record->file);
  }
  emit finished();
}

void ThumbnailDownloads::cancelAll() {
  for (auto& record : m_records) record->vars.Cancel = 1;
}

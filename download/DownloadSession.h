// One picture download as the progress dialog shows it: the engine's life,
// its counters, the user's Cancel, the bar that follows the counters, and the
// rule that a download which did not end with the whole file leaves none.
// It runs without a window; the dialog draws the bar and closes at the end.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

#include "download/MultiThreadDown.h"

class EndpointMap;
class QTimer;

constexpr int kProgressBarFullWidth = 319;

// The bar's width for received of totalSize bytes: 0 while the length is
// unknown, at most the full width. The product is formed in 64 bits, so files
// beyond 6.7 MB do not overflow it.
int progressBarWidth(int32_t received, int32_t totalSize);
// The bar only grows: the width to show after having shown `shown`.
int grownBarWidth(int shown, int32_t received, int32_t totalSize);
// A failed or cancelled download must not leave its target behind, even one
// that completed just as the user cancelled.
bool downloadTargetMustGo(int32_t status, int32_t cancel);

class DownloadSession : public QObject {
  Q_OBJECT
 public:
  enum class Outcome { Succeeded, Failed, Cancelled };

  // endpoints: where the tests' host names really go; none in the program.
  explicit DownloadSession(std::shared_ptr<const EndpointMap> endpoints = {}, QObject* parent = nullptr);
  ~DownloadSession() override;

  // A new session, as the dialog opens: no Cancel yet, a bar one pixel wide.
  void open();
  // Fetches address into saveFile; `finished` follows once. After a Cancel
  // since open() nothing is fetched and the session ends at once.
  void start(const QString& address, const QString& saveFile);
  // The user's Cancel, taken once; a running download ends when the engine
  // has stopped.
  void cancel();
  bool cancelRequested() const { return m_cancelRequested; }

  // The counters of the current (or last) download, for reading.
  const DownloadVars& counters() const { return m_vars; }
  int barWidth() const { return m_barWidth; }

 signals:
  void barChanged(int width);
  void finished(DownloadSession::Outcome outcome);

 private:
  void growBar();
  void setBar(int width);
  void end(const QString& saveFile);

  std::shared_ptr<const EndpointMap> m_endpoints;
  QTimer* m_watch;  // grows the bar while the download runs
  int m_barWidth = 1;
  bool m_cancelRequested = false;
  // Vars outlives the controller that refers to it: members go in reverse order.
  DownloadVars m_vars;
  int32_t Resume = 0;
  std::unique_ptr<TMultiThreadDown> DownThread;
};

// Lets the thread that waits for slow work tell the thread that does it to
// give up: when asked, or when a deadline passes, whichever comes first. The
// work looks at the token at its own pace and stops what it runs.
#pragma once

#include <QDeadlineTimer>
#include <atomic>
#include <chrono>

class CancelToken {
 public:
  explicit CancelToken(QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever))
      : m_deadline(deadline) {}
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
  bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed) || m_deadline.hasExpired(); }
  // How long the work may still take; zero once cancelled.
  std::chrono::milliseconds remaining() const {
    if (isCancelled()) return std::chrono::milliseconds(0);
    if (m_deadline.isForever()) return std::chrono::milliseconds::max();
    return std::chrono::milliseconds(m_deadline.remainingTime());
  }

 private:
  QDeadlineTimer m_deadline;
  std::atomic<bool> m_cancelled{false};
};

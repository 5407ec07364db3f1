// A clock that stands still until the test moves it.
#pragma once

#include "platform/Clock.h"

class FixedClock : public Clock {
 public:
  explicit FixedClock(const QDateTime& now) : m_now(now) {}
  QDateTime now() const override { return m_now; }
  void set(const QDateTime& now) { m_now = now; }
  void advanceSecs(qint64 seconds) { m_now = m_now.addSecs(seconds); }

 private:
  QDateTime m_now;
};

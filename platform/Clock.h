// The time of day, behind a seam so that what depends on it (the daily
// change, the daily catalogue check, "Lasttime") can be tested at any date.
#pragma once

#include <QDateTime>
#include <memory>

class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDateTime now() const = 0;
};

// The system's clock, in local time.
std::shared_ptr<const Clock> systemClock();

#include "platform/Clock.h"

namespace {
class SystemClock : public Clock {
 public:
  QDateTime now() const override { return QDateTime::currentDateTime(); }
};
}  // namespace

std::shared_ptr<const Clock> systemClock() { return std::make_shared<const SystemClock>(); }

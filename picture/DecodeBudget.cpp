#include "picture/DecodeBudget.h"

bool DecodeBudget::take(qint64 bytes) {
  if (bytes > m_total) return false;
  std::unique_lock lock(m_mutex);
  m_freed.wait(lock, [&] { return m_free >= bytes; });
  m_free -= bytes;
  return true;
}

void DecodeBudget::giveBack(qint64 bytes) {
  {
    std::lock_guard lock(m_mutex);
    m_free += bytes;
  }
  m_freed.notify_all();
}

DecodeReservation::~DecodeReservation() {
  if (m_budget && m_held > 0) m_budget->giveBack(m_held);
}

bool DecodeReservation::take(qint64 bytes) {
  Q_ASSERT(m_held == 0);
  if (!m_budget || bytes <= 0) return true;
  if (!m_budget->take(bytes)) return false;
  m_held = bytes;
  return true;
}

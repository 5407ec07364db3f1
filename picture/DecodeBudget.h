// Memory that decodes running at the same time share. A decode asks for its
// bytes once it knows its size and before it allocates them, and waits while
// others hold too much; what it asks for beyond the whole budget is refused
// at once, since nothing given back could ever make room for it.
#pragma once

#include <QSize>
#include <QtGlobal>
#include <condition_variable>
#include <mutex>

// The memory a decoded picture of this size takes, four bytes a pixel.
inline qint64 decodedBytes(QSize size) { return qint64(size.width()) * size.height() * 4; }
// Whether a picture of this size decodes within maxBytes.
inline bool fitsDecodeLimit(QSize size, qint64 maxBytes) {
  return size.width() > 0 && size.height() > 0 && decodedBytes(size) <= maxBytes;
}

class DecodeBudget {
 public:
  explicit DecodeBudget(qint64 bytes) : m_total(bytes), m_free(bytes) {}
  DecodeBudget(const DecodeBudget&) = delete;
  DecodeBudget& operator=(const DecodeBudget&) = delete;

  // Waits until `bytes` are free and takes them; false at once for more than
  // the whole budget.
  bool take(qint64 bytes);
  void giveBack(qint64 bytes);

 private:
  const qint64 m_total;
  qint64 m_free;
  std::mutex m_mutex;
  std::condition_variable m_freed;
};

// What one decode holds of a budget, given back when it goes. A decode takes
// once: one that held a part while waiting for more could wait for ever on
// another doing the same.
class DecodeReservation {
 public:
  // No budget: every take succeeds at once.
  explicit DecodeReservation(DecodeBudget* budget) : m_budget(budget) {}
  ~DecodeReservation();
  DecodeReservation(const DecodeReservation&) = delete;
  DecodeReservation& operator=(const DecodeReservation&) = delete;

  bool take(qint64 bytes);

 private:
  DecodeBudget* const m_budget;
  qint64 m_held = 0;
};

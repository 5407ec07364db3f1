// Lets a window's decoded skin bitmaps go once it has stopped drawing. The
// background alone is 1.9 MB decoded against 7 KB stored; while the window
// sits in the tray or unchanged on the desktop nothing reads it, and the next
// draw decodes it again in a few milliseconds.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

class QWidget;

class IdleRelease : public QObject {
  Q_OBJECT
 public:
  static constexpr std::chrono::milliseconds kQuietTime{1500};

  // Watches window's drawing; window must outlive this.
  explicit IdleRelease(QWidget* window, std::chrono::milliseconds quietTime = kQuietTime);

  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // The bitmaps were let go: tests and the benchmark see it happen.
  void released();

 private:
  void release();

  QTimer m_quiet;
};

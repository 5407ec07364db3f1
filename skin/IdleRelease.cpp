#include "skin/IdleRelease.h"

#include <QEvent>
#include <QPixmapCache>
#include <QWidget>

#include "platform/HeapRelease.h"

IdleRelease::IdleRelease(QWidget* window, std::chrono::milliseconds quietTime) : QObject(window) {
  m_quiet.setSingleShot(true);
  m_quiet.setInterval(quietTime);
  connect(&m_quiet, &QTimer::timeout, this, &IdleRelease::release);
  window->installEventFilter(this);
}

bool IdleRelease::eventFilter(QObject* watched, QEvent* event) {
  // Every repaint of a window's widgets arrives at the window as one update
  // request, so this is the one place to see all of its drawing.
  if (event->type() == QEvent::UpdateRequest) m_quiet.start();
  return QObject::eventFilter(watched, event);
}

void IdleRelease::release() {
  // Skin bitmaps are loaded by name and held only by the pixmap cache.
  QPixmapCache::clear();
  releaseFreeHeapPages();
  emit released();
}

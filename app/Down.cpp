#include "app/Down.h"

#include <QShowEvent>
#include <QTimer>
#include <QWindow>

#include "app/Down2.h"
#include "platform/WindowCaption.h"
#include "skin/WindowRegion.h"

namespace {

constexpr double kOverlayOpacity = 130 / 255.0;

// Keeps `window` stacked above `owner` where the window system allows it.
void stackAbove(QWidget& window, QWidget& owner) {
  window.winId();
  QWindow* ownerHandle = owner.window()->windowHandle();
  if (window.windowHandle() != nullptr && ownerHandle != nullptr) {
    window.windowHandle()->setTransientParent(ownerHandle);
  }
}

}  // namespace

QPoint centredOn(const QRect& outer, const QSize& inner) {
  return {outer.left() + (outer.width() - inner.width()) / 2,
          outer.top() + (outer.height() - inner.height()) / 2};
}

void showModal(QDialog& dialog) {
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.setResult(0);
  dialog.show();
}

TfrmDown::TfrmDown(const LanguageTexts& texts, QWidget* parent) : QDialog(parent), m_texts(texts) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(799, 599);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  setWindowOpacity(kOverlayOpacity);

  Timer1 = new QTimer(this);
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, &TfrmDown::Timer1Timer);

  FormCreate();
}

void TfrmDown::setProgressDialog(TfrmDown2* dialog) {
  if (m_progress != nullptr) disconnect(m_progress, nullptr, this, nullptr);
  m_progress = dialog;
  if (m_progress == nullptr) return;
  connect(m_progress, &QDialog::finished, this, [this] {
    if (isVisible()) done(QDialog::Accepted);
  });
}

void TfrmDown::FormCreate() {
  setWindowTitle(m_texts.szAppname);
  ApplyWindowRegion(this);
}

void TfrmDown::placeOver(QWidget& owner) {
  move(owner.window()->pos());
  stackAbove(*this, owner);
}

void TfrmDown::showEvent(QShowEvent* event) {
  // The caption is exactly szAppname, empty or not, as the main window's is.
  showTitleAsCaption(windowHandle());
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmDown::FormShow() { Timer1->start(); }

void TfrmDown::Timer1Timer() {
  Timer1->stop();
  if (m_progress != nullptr) {
    m_progress->move(centredOn(geometry(), m_progress->size()));
    stackAbove(*m_progress, *this);
    showModal(*m_progress);
    return;
  }
  done(QDialog::Accepted);
}

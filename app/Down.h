// The dimming overlay: a black, partly transparent copy of the main window's
// outline laid over it while the progress dialog runs one download.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>

#include "platform/LanguageTexts.h"

class QTimer;
class TfrmDown2;

// Where a window of size `inner` stands when centred on `outer`; odd
// remainders are dropped towards the top left.
QPoint centredOn(const QRect& outer, const QSize& inner);
// Shows a dialog that holds every other window of the program off until it
// closes, and returns at once: the caller goes on from its `finished`.
void showModal(QDialog& dialog);

class TfrmDown : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmDown(const LanguageTexts& texts, QWidget* parent = nullptr);
  // The progress dialog the overlay carries; the overlay closes with it.
  void setProgressDialog(TfrmDown2* dialog);

  QTimer* Timer1;

  // Lays the overlay exactly over owner and keeps it above owner. Show it
  // with showModal(); its `finished` comes once the progress dialog and the
  // overlay have closed.
  void placeOver(QWidget& owner);

  void FormCreate();
  void FormShow();
  void Timer1Timer();

 protected:
  void showEvent(QShowEvent* event) override;
  // The overlay goes away only with the dialog it carries.
  void reject() override {}

 private:
  const LanguageTexts& m_texts;
  TfrmDown2* m_progress = nullptr;
};

#pragma once

#include <QWidget>

// The dimming overlay shown over the main window during a picture download.
class TfrmDown : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmDown(QWidget* parent = nullptr);
};

extern TfrmDown* frmDown;

#pragma once

#include <QWidget>

// The progress dialog that runs one picture download with a Cancel button.
class TfrmDown2 : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmDown2(QWidget* parent = nullptr);
  QString Url;
  QString SaveFile;
};

extern TfrmDown2* frmDown2;

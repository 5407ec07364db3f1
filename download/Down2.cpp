#include "download/Down2.h"

TfrmDown2* frmDown2 = nullptr;

TfrmDown2::TfrmDown2(QWidget* parent) : QWidget(parent) {
  setWindowFlags(Qt::FramelessWindowHint);
  resize(433, 148);
}

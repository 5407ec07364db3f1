#include "download/Down.h"

TfrmDown* frmDown = nullptr;

TfrmDown::TfrmDown(QWidget* parent) : QWidget(parent) {
  setWindowFlags(Qt::FramelessWindowHint);
  resize(799, 599);
}

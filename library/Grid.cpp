// The six-slot grid, its page links and the browsing state they carry.
#include <QFileInfo>

#include "app/Main.h"

namespace {
const QColor kCurrentPageColor(0, 128, 255);

struct GridGeometry {
  int lefts[3];
  int tops[2];
  QSize slot;
  QPoint image;
  QSize imageSize;
};

const GridGeometry kNormalGrid{{18, 197, 376}, {29, 205}, {164, 140}, {9, 18}, {145, 110}};
const GridGeometry kWideGrid{{8, 191, 374}, {32, 208}, {175, 133}, {7, 20}, {160, 100}};
}  // namespace

void TfrmMain::ArrangeGrid(bool widescreen) {
  const GridGeometry& g = widescreen ? kWideGrid : kNormalGrid;
  const QPixmap& frame = widescreen ? imgWidescreen->picture() : imgNormal->picture();
  for (int n = 0; n < 6; ++n) W[n]->move(g.lefts[n % 3], g.tops[n / 3]);
  for (TPicturePanel* slot : W) slot->setPicture(frame);
  for (TPicturePanel* slot : W) slot->resize(g.slot);
  for (TShape* frameShape : shpW) frameShape->setGeometry(0, 0, W[0]->width(), W[0]->height());
  for (TImage* image : imgW) image->move(g.image);
  for (TImage* image : imgW) image->resize(g.imageSize);
}

void TfrmMain::HideSelectionFrames() {
  for (TShape* frame : shpW) frame->hide();
}

void TfrmMain::HidePageLinks() {
  for (TLabel* link : lblWPage) link->hide();
}

void TfrmMain::HideSlots() {
  for (TPicturePanel* slot : W) slot->hide();
}

int TfrmMain::CurrentPage() const {
  for (int k = 20; k >= 1; --k) {
    if (lblWPage[k - 1]->fontColor() != QColor(Qt::black)) return k;
  }
  return 1;
}

void TfrmMain::ResetPageColours() {
  for (TLabel* link : lblWPage) link->setFontColor(Qt::black);
}

void TfrmMain::MarkPageOne() {
  ResetPageColours();
  lblWPage[0]->setFontColor(kCurrentPageColor);
}

void TfrmMain::ShowPageLinks(int count) {
  for (int k = 0; k < qMin(count, 20); ++k) lblWPage[k]->show();
}

bool TfrmMain::IsCurrentCategory(const QWidget* link) const {
  // The highlight bar and the links share the category column.
  const int barTop = imgLeftBK->y();
  return barTop < link->y() && link->y() + link->height() < barTop + imgLeftBK->height();
}

bool TfrmMain::CurrentShapeIsWide() const { return btnNormal->x() == btnWidescreen->x(); }

void TfrmMain::imgW1Click(int slot) {
  HideSelectionFrames();
  shpW[slot - 1]->show();
}

void TfrmMain::imgW1DblClick(int) { btnSetWallpaperClick(); }

void TfrmMain::lblWPage1Click(int page) {
  if (Busy) return;
  TLabel* link = lblWPage[page - 1];
  if (link->fontColor() != QColor(Qt::black)) return;
  ResetPageColours();
  link->setFontColor(kCurrentPageColor);
  // Parking the bar makes the current view rebuild on the new page; the view
  // puts the bar back, so the links tested after it do not pass.
  for (TLabel* local : lblL) {
    if (!IsCurrentCategory(local)) continue;
    imgLeftBK->move(imgLeftBK->x(), -1000);
    ShowLocalCategory(local, 0);
  }
  for (int k = 0; k < 5; ++k) {
    if (!IsCurrentCategory(lblN[k])) continue;
    imgLeftBK->move(imgLeftBK->x(), -1000);
    ShowNetworkCategory(lblN[k], 0);
  }
  if (IsCurrentCategory(lblN[5])) ShowDownloadedPictures(link, page);
}

void TfrmMain::lblWPage1MouseEnter(int page) {
  TLabel* link = lblWPage[page - 1];
  if (link->fontColor() == QColor(Qt::black)) link->setCursor(Qt::PointingHandCursor);
}

void TfrmMain::lblWPage1MouseLeave(int page) {
  TLabel* link = lblWPage[page - 1];
  link->setCursor(Qt::ArrowCursor);
  link->setBold(true);
}

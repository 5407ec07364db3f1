// The wallpaper pages: the browsing state drawn on the controls, and the
// handlers of the grid, the category links and the tabs.
#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "app/Main.h"
#include "library/GridLayout.h"
#include "platform/ProgramFolder.h"

namespace {
constexpr int kParkedBarTop = -1000;
}  // namespace

// --- drawing

void TfrmMain::render() {
  const BrowseState& state = m_browse->state();
  renderTab(state);
  renderCategoryColumn(state);
  renderGrid(state);
  renderPageLinks(state);
  renderBusy(state);
}

void TfrmMain::renderTab(const BrowseState& state) {
  PictureButton* tab = state.tab == Tab::Setting      ? btnTheme
                       : state.tab == Tab::Widescreen ? btnWidescreen
                                                      : btnWallpaper;
  btnNormal->setCaption(tab->caption());
  btnNormal->move(tab->x(), btnNormal->y());
  for (PictureButton* each : {btnWallpaper, btnWidescreen, btnTheme}) each->setOpen(each == tab);
  showActiveTabFocus();
  if (state.tab == Tab::Setting) ensureSettingsPage();
  panWallpaper->setVisible(state.tab != Tab::Setting);
  panSetting->setVisible(state.tab == Tab::Setting);
  if (state.gridShape != m_arrangedShape) ArrangeGrid(state.gridShape);
}

SkinLabel* TfrmMain::linkOf(const BrowseView& view) const {
  switch (view.kind) {
    case ViewKind::LocalCategory:
      return lblL[size_t(view.category - 1)];
    case ViewKind::NetworkCategory:
      return lblN[size_t(view.category - 1)];
    case ViewKind::Downloaded:
      return lblN[5];
    case ViewKind::None:
      break;
  }
  return nullptr;
}

BrowseView TfrmMain::viewOf(const QWidget* link) const {
  for (int k = 0; k < 5; ++k) {
    if (lblL[k] == link) return {ViewKind::LocalCategory, k + 1};
    if (lblN[k] == link) return {ViewKind::NetworkCategory, k + 1};
  }
  if (lblN[5] == link) return {ViewKind::Downloaded, 0};
  return {};
}

void TfrmMain::renderCategoryColumn(const BrowseState& state) {
  SkinLabel* current = linkOf(state.view);
  imgLeftBK->move(imgLeftBK->x(), current ? current->y() - kHighlightAboveLink : kParkedBarTop);
  if (current) lblL1MouseLeave(current);
}

void TfrmMain::renderGrid(const BrowseState& state) {
  for (int n = 0; n < 6; ++n) {
    const bool shown = n < state.shownSlots;
    if (shown) imgW[n]->setPicture(state.pictures[n]);
    W[n]->setVisible(shown);
    shpW[n]->setVisible(state.selectedSlot == n);
    imgW[n]->setSelected(state.selectedSlot == n);
  }
  renderSlotNames(state);
  lblErrorTip->setVisible(!state.errorTip.isEmpty());
  if (!state.errorTip.isEmpty()) lblErrorTip->setCaption(state.errorTip);
  panConnectNetwork->setVisible(!state.waitingText.isEmpty());
  if (!state.waitingText.isEmpty()) {
    panConnectNetwork->setCaption(state.waitingText);
    panConnectNetwork->move(48, panConnectNetwork->y());
  }
}

void TfrmMain::renderPageLinks(const BrowseState& state) {
  for (int k = 0; k < 20; ++k) {
    lblWPage[k]->setVisible(k < state.pageLinks);
    lblWPage[k]->setFontColor(k + 1 == state.page ? kCurrentPageColour : QColor(Qt::black));
  }
}

void TfrmMain::renderBusy(const BrowseState& state) {
  if (state.busy == m_waitCursorShown) return;
  m_waitCursorShown = state.busy;
  if (state.busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void TfrmMain::ArrangeGrid(Shape shape) {
  m_arrangedShape = shape;
  const GridGeometry& g = gridOf(shape);
  const QString& frame = shape == Shape::Widescreen ? imgWidescreen->skinBitmap() : imgNormal->skinBitmap();
  for (int n = 0; n < 6; ++n) {
    W[n]->setGeometry(slotRect(shape, n));
    W[n]->setSkinBitmap(frame);
    shpW[n]->setGeometry(0, 0, g.slot.width(), g.slot.height());
    imgW[n]->setGeometry(QRect(g.image, g.imageSize));
  }
}

bool TfrmMain::isCurrentCategory(const QWidget* link) const {
  const BrowseView view = viewOf(link);
  return view.kind != ViewKind::None && m_browse->isCurrentView(view);
}

// --- the grid's handlers

void TfrmMain::imgW1Click(int slot) { m_browse->selectSlot(slot - 1); }

void TfrmMain::imgW1DblClick(int) { btnSetWallpaperClick(); }

void TfrmMain::lblWPage1Click(int page) { m_browse->turnToPage(page); }

void TfrmMain::lblWPage1MouseEnter(int page) {
  if (page != CurrentPage()) lblWPage[page - 1]->setCursor(Qt::PointingHandCursor);
}

void TfrmMain::lblWPage1MouseLeave(int page) {
  SkinLabel* link = lblWPage[page - 1];
  link->setCursor(Qt::ArrowCursor);
  link->setBold(true);
}

// --- categories and tabs

void TfrmMain::lblL1Click(SkinLabel* link) { m_browse->openLocalCategory(viewOf(link).category); }

void TfrmMain::lblN1Click(SkinLabel* link) { m_browse->openNetworkCategory(viewOf(link).category); }

void TfrmMain::lblN6Click() { m_browse->openDownloaded(); }

void TfrmMain::lblN7Click() { QDesktopServices::openUrl(QUrl(m_homeSite)); }

void TfrmMain::lblL1MouseEnter(SkinLabel* link) {
  if (isCurrentCategory(link)) return;
  link->setCursor(Qt::PointingHandCursor);
  link->setUnderline(true);
}

void TfrmMain::lblL1MouseLeave(SkinLabel* link) {
  link->setCursor(Qt::ArrowCursor);
  link->setUnderline(false);
}

void TfrmMain::btnWallpaperClick() { m_browse->selectTab(Tab::Normal); }

void TfrmMain::btnWidescreenClick() { m_browse->selectTab(Tab::Widescreen); }

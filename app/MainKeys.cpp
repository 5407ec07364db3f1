// The window from the keyboard: the Tab order, the keys of the wallpaper
// pages and the shortcuts. Every key acts through the control a click would
// act on, so it runs the same handler and obeys Busy in the same way.
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>

#include "app/Main.h"

namespace {
bool isPlainKey(const QKeyEvent* event) {
  return (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}
}  // namespace

void TfrmMain::arrangeTabOrder() {
  // Top to bottom as the window reads: its buttons and tabs, the page, the address.
  QList<QWidget*> chain{btnMin, btnClose, btnWallpaper, btnWidescreen, btnTheme};
  chain.append(QList<QWidget*>(lblL.begin(), lblL.end()));
  chain.append(QList<QWidget*>(lblN.begin(), lblN.end()));
  chain.append(QList<QWidget*>(imgW.begin(), imgW.end()));
  chain.append(QList<QWidget*>(lblWPage.begin(), lblWPage.end()));
  chain.append({btnSetWallpaper, Label14, suiURLLabel1});
  setTabOrderOf(chain);
}

// The settings page, built later, goes between the wallpaper page and the address.
void TfrmMain::arrangeSettingsPageTabOrder() {
  setTabOrderOf({Label14, chkAutoRun, optStartup, optDay, optDisable, lstWallpaper, btnAdd, btnRemove,
                 edtCatalogueSite, suiURLLabel1});
}

void TfrmMain::setTabOrderOf(const QList<QWidget*>& chain) {
  for (qsizetype k = 1; k < chain.size(); ++k) setTabOrder(chain[k - 1], chain[k]);
}

void TfrmMain::connectKeys() {
  const auto shortcut = [this](QKeySequence keys, QAbstractButton* button) {
    connect(new QShortcut(keys, this), &QShortcut::activated, button, &QAbstractButton::click);
  };
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_1), btnWallpaper);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_2), btnWidescreen);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_3), btnTheme);
  shortcut(QKeySequence(Qt::Key_Escape), btnMin);
  connect(qApp, &QApplication::focusChanged, this, &TfrmMain::showActiveTabFocus);
}

PictureButton* TfrmMain::activeTab() const {
  switch (m_browse->state().tab) {
    case Tab::Setting:
      return btnTheme;
    case Tab::Widescreen:
      return btnWidescreen;
    case Tab::Normal:
      break;
  }
  return btnWallpaper;
}

// The marker covers the active tab, so it shows that tab's focus.
void TfrmMain::showActiveTabFocus() { btnNormal->setFocusMarkShown(activeTab()->hasFocus()); }

// Keys the focused control leaves alone come here.
void TfrmMain::keyPressEvent(QKeyEvent* event) {
  if (m_browse->state().tab == Tab::Setting || !isPlainKey(event)) {
    QWidget::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_Up:
      stepCategory(-1);
      break;
    case Qt::Key_Down:
      stepCategory(1);
      break;
    case Qt::Key_Left:
      stepSlot(-1);
      break;
    case Qt::Key_Right:
      stepSlot(1);
      break;
    case Qt::Key_PageUp:
      turnPage(-1);
      break;
    case Qt::Key_PageDown:
      turnPage(1);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      btnSetWallpaper->click();
      break;
    case Qt::Key_Delete:
      if (const std::optional<int> slot = m_browse->state().selectedSlot) moveSlotToTrash(*slot + 1);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

void TfrmMain::stepCategory(int step) {
  // The links that show a view, local then network; the gallery only opens a browser.
  QList<SkinLabel*> links(lblL.begin(), lblL.end());
  links.append(QList<SkinLabel*>(lblN.begin(), lblN.begin() + 6));
  const qsizetype current = links.indexOf(linkOf(m_browse->state().view));
  const qsizetype target = current < 0 ? (step > 0 ? 0 : links.size() - 1) : current + step;
  if (target < 0 || target >= links.size()) return;
  links[target]->click();
  if (SkinLabel* shown = linkOf(m_browse->state().view)) shown->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::stepSlot(int step) {
  const BrowseState& state = m_browse->state();
  if (state.shownSlots == 0) return;
  const int target = state.selectedSlot ? std::clamp(*state.selectedSlot + step, 0, state.shownSlots - 1)
                     : step > 0         ? 0
                                        : state.shownSlots - 1;
  imgW[size_t(target)]->click();
  // The focus goes with the selection, so Enter on it applies the picture.
  if (state.selectedSlot == target) imgW[size_t(target)]->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::turnPage(int step) {
  const BrowseState& state = m_browse->state();
  const int target = state.page + step;
  if (target < 1 || target > state.pageLinks) return;
  lblWPage[size_t(target - 1)]->click();
}

void TfrmMain::renderSlotNames(const BrowseState& state) {
  for (int n = 0; n < 6; ++n) {
    const bool shown = n < state.shownSlots;
    imgW[size_t(n)]->setAccessibleName(shown ? QFileInfo(state.slotPaths[size_t(n)].large).fileName()
                                             : QString());
  }
}

// The window's frame: start-up sequence, outline, drag, minimise, close and
// the tray icon.
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWindow>

#include "app/Application.h"
#include "app/Main.h"
#include "library/Settings.h"
#include "platform/UserDialogs.h"
#include "platform/WindowCaption.h"
#include "skin/WindowRegion.h"

namespace {
constexpr int kDragBandBottom = 40;

bool trayAvailable(const QSystemTrayIcon* tray) {
  return tray != nullptr && tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}
}  // namespace

void TfrmMain::connectHandlers() {
  connect(btnClose, &QAbstractButton::clicked, this, [this] { btnCloseClick(); });
  connect(btnMin, &QAbstractButton::clicked, this, [this] { btnMinClick(); });
  connect(imgMain, &SkinImage::mousePressed, this,
          [this](Qt::MouseButton b, QPoint p) { imgMainMouseDown(b, p); });
  connect(Label15, &SkinLabel::mousePressed, this,
          [this](Qt::MouseButton b, QPoint p) { imgMainMouseDown(b, p); });
  // A click on the active tab lands on the marker over it, which has no
  // handler; a key on the tab does nothing either.
  connect(btnWallpaper, &QAbstractButton::clicked, this, [this] {
    if (activeTab() != btnWallpaper) btnWallpaperClick();
  });
  connect(btnWidescreen, &QAbstractButton::clicked, this, [this] {
    if (activeTab() != btnWidescreen) btnWidescreenClick();
  });
  connect(btnTheme, &QAbstractButton::clicked, this, [this] {
    if (activeTab() != btnTheme) btnThemeClick();
  });
  for (SkinLabel* link : lblL) {
    connect(link, &SkinLabel::clicked, this, [this, link] { lblL1Click(link); });
  }
  for (int k = 0; k < 5; ++k) {
    connect(lblN[k], &SkinLabel::clicked, this, [this, k] { lblN1Click(lblN[k]); });
  }
  connect(lblN[5], &SkinLabel::clicked, this, [this] { lblN6Click(); });
  connect(lblN[6], &SkinLabel::clicked, this, [this] { lblN7Click(); });
  connect(Label14, &SkinLabel::clicked, this, [this] { lblN7Click(); });
  connect(suiURLLabel1, &SkinLabel::clicked, this, [this] { lblN7Click(); });
  QList<SkinLabel*> categoryLinks(lblL.begin(), lblL.end());
  categoryLinks.append(QList<SkinLabel*>(lblN.begin(), lblN.end()));
  for (SkinLabel* link : categoryLinks) {
    connect(link, &SkinLabel::mouseEntered, this, [this, link] { lblL1MouseEnter(link); });
    connect(link, &SkinLabel::mouseLeft, this, [this, link] { lblL1MouseLeave(link); });
  }
  for (int n = 0; n < 6; ++n) {
    connect(imgW[n], &SkinImage::clicked, this, [this, n] { imgW1Click(n + 1); });
    connect(imgW[n], &SkinImage::doubleClicked, this, [this, n] { imgW1DblClick(n + 1); });
  }
  for (int k = 0; k < 20; ++k) {
    connect(lblWPage[k], &SkinLabel::clicked, this, [this, k] { lblWPage1Click(k + 1); });
    connect(lblWPage[k], &SkinLabel::mouseEntered, this, [this, k] { lblWPage1MouseEnter(k + 1); });
    connect(lblWPage[k], &SkinLabel::mouseLeft, this, [this, k] { lblWPage1MouseLeave(k + 1); });
  }
  connect(btnSetWallpaper, &QAbstractButton::clicked, this, [this] { btnSetWallpaperClick(); });
  connect(&m_homeSiteChange, &HomeSiteChange::siteChanged, this,
          [this](const QString& address) { homeSiteChanged(address); });
}

void TfrmMain::connectSettingsPage() {
  connect(chkAutoRun, &SkinCheckBox::clicked, this, [this] { chkAutoRunClick(); });
  connect(edtCatalogueSite, &QLineEdit::editingFinished, this, [this] { edtCatalogueSiteEditingFinished(); });
  connect(&m_homeSiteChange, &HomeSiteChange::verdict, lblSiteVerdict, &QLabel::setText);
  for (SkinRadioButton* option : {optStartup, optDay, optDisable}) {
    connect(option, &SkinRadioButton::clicked, this, [this, option] { optStartupClick(option); });
  }
  connect(lstWallpaper, &QListWidget::itemDoubleClicked, this, [this] { lstWallpaperDblClick(); });
  connect(lstWallpaper, &QListWidget::itemSelectionChanged, this, [this] {
    const QList<QListWidgetItem*> selected = lstWallpaper->selectedItems();
    if (selected.isEmpty())
      lstWallpaperSelectItem(-1, false);
    else
      lstWallpaperSelectItem(lstWallpaper->row(selected.first()), true);
  });
  connect(btnAdd, &QAbstractButton::clicked, this, [this] { btnAddClick(); });
  connect(btnRemove, &QAbstractButton::clicked, this, [this] { btnRemoveClick(); });
  connect(lstWallpaper, &SkinListView::deletePressed, btnRemove, &QAbstractButton::click);
}

void TfrmMain::connectTray() {
  connect(CoolTrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) CoolTrayIcon1DblClick();
    if (reason == QSystemTrayIcon::Context) CoolTrayIcon1MouseUp(Qt::RightButton, QCursor::pos());
  });
  connect(Open1, &QAction::triggered, this, [this] { Open1Click(); });
  connect(Prevwallpaper1, &QAction::triggered, this, [this] { Prevwallpaper1Click(); });
  connect(Nextwallpaper2, &QAction::triggered, this, [this] { Nextwallpaper2Click(); });
  connect(Exit2, &QAction::triggered, this, [this] { Exit2Click(); });
}

void TfrmMain::FormCreate(const QStringList& arguments) {
  LoadLanguageTexts();
  // Start-up runs before the event loop, so its errors are reported here.
  runReportingErrors([&] { runStartupSettings(arguments); });
  WebBrowser1->move(20000, WebBrowser1->y());
  ApplyWindowRegion(this);
  panWallpaper->move(20, 88);
  panSetting->move(20, 88);
  ArrangeGrid(Shape::Normal);
  render();
  runReportingErrors([this] {
    if (IsWideScreen())
      btnWidescreenClick();
    else
      btnWallpaperClick();
  });
  // The keyboard starts where the view is: on its category link.
  if (SkinLabel* link = linkOf(m_browse->state().view)) link->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::showAtStart() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
  if (!m_startMinimized) {
    show();
    return;
  }
  // Without a tray to come back from, a hidden window would strand the user.
  ensureTray();
  CoolTrayIcon1->show();
  if (trayAvailable(CoolTrayIcon1)) return;
  showMinimized();
}

void TfrmMain::btnCloseClick() { close(); }

void TfrmMain::btnMinClick() {
  if (trayAvailable(CoolTrayIcon1))
    hide();
  else
    showMinimized();
}

// However the desktop minimises the window (the taskbar, a window manager
// key), it goes to the tray as btnMin sends it: hidden, it leaves the taskbar
// too. Without a tray it stays an ordinary minimised window, so the user can
// get it back.
void TfrmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && trayAvailable(CoolTrayIcon1)) hide();
  if (event->type() == QEvent::WindowTitleChange) showTitleAsCaption(windowHandle());
}

void TfrmMain::showEvent(QShowEvent* event) {
  // The native window, and with it the caption Qt writes, may be new.
  showTitleAsCaption(windowHandle());
  if (QWindow* handle = windowHandle())
    connect(handle, &QWindow::screenChanged, this, &TfrmMain::followScreenDensity, Qt::UniqueConnection);
  followScreenDensity();
  QWidget::showEvent(event);
}

// Thumbnails loaded from now on are decoded for the screen the window is on.
void TfrmMain::followScreenDensity() { m_browse->setDevicePixelRatio(devicePixelRatioF()); }

void TfrmMain::imgMainMouseDown(Qt::MouseButton button, QPoint pos) {
  if (button != Qt::LeftButton || pos.y() > kDragBandBottom) return;
  QWindow* handle = windowHandle();
  if (handle != nullptr && handle->startSystemMove()) return;
  m_manualDrag = true;
  m_dragOffset = QCursor::pos() - frameGeometry().topLeft();
  grabMouse();
}

void TfrmMain::mouseMoveEvent(QMouseEvent* event) {
  if (m_manualDrag) move(QCursor::pos() - m_dragOffset);
  QWidget::mouseMoveEvent(event);
}

void TfrmMain::mouseReleaseEvent(QMouseEvent* event) {
  if (m_manualDrag) {
    m_manualDrag = false;
    releaseMouse();
  }
  QWidget::mouseReleaseEvent(event);
}

void TfrmMain::restoreApplication() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TfrmMain::CoolTrayIcon1DblClick() { restoreApplication(); }

void TfrmMain::CoolTrayIcon1MouseUp(Qt::MouseButton button, QPoint screenPos) {
  if (button != Qt::RightButton) return;
  popMenu1->popup(screenPos - QPoint(2, 2));
}

void TfrmMain::Open1Click() { restoreApplication(); }

void TfrmMain::Exit2Click() { close(); }

void TfrmMain::showErrorReport(const QString& message) {
  m_context.dialogs->information(m_texts.szAppname, message);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  // FormCloseQuery: a network view at work holds the window open.
  if (Busy()) {
    event->ignore();
    return;
  }
  event->accept();
  emit closed();
}

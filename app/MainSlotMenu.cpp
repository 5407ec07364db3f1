// A thumbnail's menu (right click, or the menu key on it): the picture on
// all monitors, or on one of them, and in a local category the way to the
// trash; and the monitors' pictures put back when
// monitors come and go. The plain click, double click and Enter keep
// setting the picture on all monitors.
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>

#include "app/Main.h"
#include "app/ProgramStart.h"

namespace {
// Monitors come and go in bursts (an output off, the others moved): one
// restore once they have settled.
constexpr int kScreensSettleMs = 500;
}  // namespace

void TfrmMain::connectSlotMenus() {
  for (int n = 0; n < 6; ++n) {
    imgW[n]->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(imgW[n], &QWidget::customContextMenuRequested, this,
            [this, n](QPoint pos) { imgW1ContextMenu(n + 1, imgW[n]->mapToGlobal(pos)); });
  }
}

void TfrmMain::imgW1ContextMenu(int slot, QPoint screenPos) {
  if (Busy() || slot > m_browse->state().shownSlots) return;
  imgW1Click(slot);
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("popSlotMenu"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  fillSlotMenu(*menu, slot);
  // Not exec(): the window's loop goes on while the menu is open.
  menu->popup(screenPos);
}

void TfrmMain::fillSlotMenu(QMenu& menu, int slot) {
  connect(menu.addAction(m_texts.szSetallmonitors), &QAction::triggered, this,
          [this] { btnSetWallpaperClick(); });
  for (const Monitor& monitor : screenMonitors()) {
    QAction* item = menu.addAction(m_texts.szSetonmonitor.arg(monitorLabel(monitor)));
    connect(item, &QAction::triggered, this,
            [this, monitor] { m_apply.applySelected(WallpaperTarget::oneScreen(monitor)); });
  }
  const BrowseState& state = m_browse->state();
  if (state.view.kind != ViewKind::LocalCategory || slot > state.shownSlots) return;
  menu.addSeparator();
  menu.addAction(m_texts.szMovetotrash, this, [this, slot] { moveSlotToTrash(slot); });
}

void TfrmMain::followMonitors() {
  auto* settle = new QTimer(this);
  settle->setSingleShot(true);
  settle->setInterval(kScreensSettleMs);
  connect(settle, &QTimer::timeout, this, [this] { m_wallpaperWorker.restoreChoices(); });
  const auto watch = [this, settle](QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, settle, qOverload<>(&QTimer::start));
  };
  for (QScreen* screen : QGuiApplication::screens()) watch(screen);
  connect(qApp, &QGuiApplication::screenAdded, settle, [settle, watch](QScreen* screen) {
    watch(screen);
    settle->start();
  });
  connect(qApp, &QGuiApplication::screenRemoved, settle, qOverload<>(&QTimer::start));
  // A start with the session finds the desktop without the monitors' pictures.
  m_wallpaperWorker.restoreChoices();
}

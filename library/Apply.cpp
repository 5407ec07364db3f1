// "Set as Desktop Wallpaper": the picture of the selected slot becomes the
// desktop wallpaper while the window steps aside.
#include <QCoreApplication>
#include <QThread>

#include "app/Main.h"
#include "app/UnitGlobal.h"
#include "app/UserDialogs.h"
#include "library/ApplyNetwork.h"
#include "library/SetDesktopWallpaper.h"
#include "platform/DesktopControl.h"

namespace {

constexpr unsigned long kShowPictureMs = 1000;

void LetPendingEventsRun() { QCoreApplication::processEvents(); }

// The highest-numbered slot whose selection frame is shown, 0..5; -1 for none.
int SelectedSlot(const TfrmMain& window) {
  for (int slot = static_cast<int>(window.shpW.size()) - 1; slot >= 0; --slot) {
    if (!window.shpW[slot]->isHidden()) return slot;
  }
  return -1;
}

}  // namespace

void TfrmMain::btnSetWallpaperClick() {
  if (Busy) return;
  const int slot = SelectedSlot(*this);
  if (slot < 0) {
    Dialogs().information(this, szAttention, szChoiceplease);
    return;
  }
  QString path = Slots[slot].large;
  if (IsNetworkPicture(path) && !FetchNetworkPicture(*this, path)) return;

  hide();
  LetPendingEventsRun();
  TheDesktopControl().showDesktop();
  LetPendingEventsRun();
  hide();
  LetPendingEventsRun();
  // Out of the minimised state, still hidden: the window comes back at the end.
  setWindowState(windowState() & ~Qt::WindowMinimized);
  LetPendingEventsRun();
  try {
    SetDesktopWallpaper(path);
  } catch (...) {
    // The error report needs a window to stand on, and the user needs the program back.
    RestoreApplication();
    throw;
  }
  LetPendingEventsRun();
  QThread::msleep(kShowPictureMs);
  show();
  RestoreApplication();
}

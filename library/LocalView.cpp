#include "app/Main.h"

// Stand-ins until the local view lands.
void TfrmMain::ShowLocalCategory(TLabel*, int) {}
void TfrmMain::lblL1Click(TLabel* link) {
  if (Busy) return;
  ShowLocalCategory(link, 1);
}
void TfrmMain::lblL1MouseEnter(TLabel*) {}
void TfrmMain::lblL1MouseLeave(TLabel*) {}
void TfrmMain::btnWallpaperClick() {}
void TfrmMain::btnWidescreenClick() {}
bool TfrmMain::LoadSlotPicture(int, const QString&) { return false; }

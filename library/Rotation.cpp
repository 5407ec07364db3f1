#include "app/Main.h"

// Stand-ins until the rotation list lands.
void TfrmMain::RebuildRotationList() {}
void TfrmMain::LoadRotationList() {}
void TfrmMain::SaveRotationList() {}
void TfrmMain::StartupChange() {}
void TfrmMain::AdvanceRotation() {}
void TfrmMain::Prevwallpaper1Click() {}
void TfrmMain::Nextwallpaper2Click() {}
void TfrmMain::btnThemeClick() {}
void TfrmMain::lstWallpaperDblClick() {}
void TfrmMain::lstWallpaperSelectItem(int, bool) {}
void TfrmMain::btnAddClick() {}
void TfrmMain::btnRemoveClick() {}

#include "app/Main.h"

// Stand-ins until the settings land.
void TfrmMain::RunStartupSettings(const QStringList&) {}
void TfrmMain::chkAutoRunClick() {}
void TfrmMain::optStartupClick() {}

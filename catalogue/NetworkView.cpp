#include "app/Main.h"

// Stand-ins until the network views land.
void TfrmMain::lblN1Click(TLabel*) {}
void TfrmMain::ShowNetworkCategory(TLabel*, int) {}
void TfrmMain::lblN6Click() {}
void TfrmMain::ShowDownloadedPictures(QWidget*, int) {}
void TfrmMain::lblN7Click() {}

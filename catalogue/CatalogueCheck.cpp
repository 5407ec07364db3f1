#include "app/Main.h"

// Stand-ins until the catalogue check lands.
bool TfrmMain::CheckCatalogueUpdate() { return false; }
void TfrmMain::WebBrowser1DownloadBegin() {}
void TfrmMain::WebBrowser1DownloadComplete(const QByteArray&) {}

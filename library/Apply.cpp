#include "app/Main.h"

// Stand-in until applying lands.
void TfrmMain::btnSetWallpaperClick() {}

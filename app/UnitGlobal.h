// Program-wide values, language texts and settings functions.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// The folder of the running executable, ending with "/". Every file the
// program keeps is addressed relative to it.
QString ExeFolder();
// Tests run the program's code against a folder of their own.
void SetExeFolderForTesting(const QString& folder);

extern QString ExePath;      // command-line argument 0
extern bool WideScreen;      // the screen's shape at start-up
extern int ChangeMode;       // 1 step now, 2 step if a day has passed, 3 nothing
extern int32_t CurrentIndex; // rotation position, 1-based
extern QDateTime LastTime;   // previous start

// The 44 language texts, in the order they are read from "lang.ini".
#define NIMBRA_LANGUAGE_KEYS(X)                                                     \
  X(szClickHere) X(szGetmore) X(szNowallpaper) X(szChoiceplease) X(szAttention)     \
  X(szDownloadpicfail) X(szPicnofind) X(szConnecting) X(szConnectfail) X(szUpdated) \
  X(szDownloadnew) X(szGetpreview) X(szGetingpreview) X(szGetpicfail)               \
  X(szDownloadlabel) X(szAutorun) X(szChangeperday) X(szChangedisabled)             \
  X(szChangestartup) X(szPiclist) X(szAppname) X(szCancel) X(szVersion) X(szNormal) \
  X(szSetting) X(szWidescreen) X(szAdd) X(szRemove) X(szPreview) X(szOpen)          \
  X(szPrevwallpaper) X(szNextwallpaper) X(szExit) X(szSetwallpaper) X(szLocal)      \
  X(szNetwork) X(szNature) X(szCartoon) X(szHoliday) X(szGame) X(szArt)             \
  X(szDownload) X(szWallpapergallery) X(szAllsupport)

#define NIMBRA_DECLARE_TEXT(name) extern QString name;
NIMBRA_LANGUAGE_KEYS(NIMBRA_DECLARE_TEXT)
#undef NIMBRA_DECLARE_TEXT

// The home site's host name, fixed at build time.
QString HomeHost();

// The 44 captions and messages of "lang.ini", section "init", as one value
// that is loaded at start and handed to whoever shows text.
#pragma once

#include <QString>
#include <QStringList>

// The keys in the order they are read from the file.
// The table reads best as it is laid out.
// clang-format off
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

// The texts of the settings page's "Catalogue site", after the 44; a
// language file that lacks one gets the English text given here.
#define NIMBRA_SITE_LANGUAGE_KEYS(X)                                              \
  X(szCataloguesite, "Catalogue site")                                            \
  X(szSitechecking, "Checking the site ...")                                      \
  X(szSiteanswers, "The site answers.")                                           \
  X(szSitenocatalogue, "No catalogue answers at this address.")                   \
  X(szSitenotaddress, "Not an address: write host, http://host/ or https://host/")

// The texts of the user's own pictures (import and trash), after those; a
// language file that lacks one gets the English text given here.
#define NIMBRA_IMPORT_LANGUAGE_KEYS(X)                                          \
  X(szAddpictures, "Add pictures...")                                           \
  X(szChoosepictures, "Choose pictures or folders")                             \
  X(szImporting, "Importing pictures ...")                                      \
  X(szImportrefused, "These files were not imported:")                          \
  X(szMovetotrash, "Move to trash")                                             \
  X(szTrashfailed, "The picture could not be moved to the trash.")             \
  X(szImportmissing, "no such file")                                            \
  X(szImportnotfile, "not a regular file")                                      \
  X(szImportunreadable, "cannot be read")                                       \
  X(szImporttoolarge, "too large")                                              \
  X(szImportnotpicture, "not a picture")                                        \
  X(szImportdamaged, "damaged or cut short")                                    \
  X(szImportbomb, "refused as a decompression bomb")                            \
  X(szImportnodecoder, "needs a decoder that is not installed:")                \
  X(szImportcannotwrite, "the category folder cannot be written")

// The thumbnail's menu, after the site's texts; %1 in szSetonmonitor is the
// monitor's name and size, "DP-1 (1920x1080)".
#define NIMBRA_MONITOR_LANGUAGE_KEYS(X)                                           \
  X(szSetallmonitors, "Set on all monitors")                                      \
  X(szSetonmonitor, "Set on %1")
// clang-format on

struct LanguageTexts {
#define NIMBRA_DECLARE_TEXT(name) QString name;
  NIMBRA_LANGUAGE_KEYS(NIMBRA_DECLARE_TEXT)
#undef NIMBRA_DECLARE_TEXT
#define NIMBRA_DECLARE_SITE_TEXT(name, english) QString name = QStringLiteral(english);
  NIMBRA_SITE_LANGUAGE_KEYS(NIMBRA_DECLARE_SITE_TEXT)
  NIMBRA_IMPORT_LANGUAGE_KEYS(NIMBRA_DECLARE_SITE_TEXT)

  NIMBRA_MONITOR_LANGUAGE_KEYS(NIMBRA_DECLARE_SITE_TEXT)
#undef NIMBRA_DECLARE_SITE_TEXT
};

// Reads every text from the file; a missing file or key leaves that text empty.
LanguageTexts readLanguageTexts(const QString& languageFile);

// The open dialog's filter in the "text|patterns|..." form.
QString openDialogFilter(const QString& allSupportedText);

// The captions of categories 1 to 5.
inline QStringList categoryCaptions(const LanguageTexts& texts) {
  return {texts.szNature, texts.szCartoon, texts.szHoliday, texts.szGame, texts.szArt};
}

#include "app/Language.h"

#include <QAction>
#include <QSystemTrayIcon>

#include "app/IniFile.h"
#include "app/Main.h"
#include "app/UnitGlobal.h"

namespace {
// A tray hint holds at most 127 characters on every desktop the program
// came from; a longer application name is cut rather than refused.
constexpr qsizetype kTrayHintLength = 127;
}  // namespace

void ReadLanguageTexts(const QString& languageFile) {
  const TIniFile file(languageFile);
  const QString section = QStringLiteral("init");
#define NIMBRA_READ_TEXT(name) name = file.ReadIniText(section, QStringLiteral(#name), QString());
  NIMBRA_LANGUAGE_KEYS(NIMBRA_READ_TEXT)
#undef NIMBRA_READ_TEXT
}

QString OpenDialogFilter(const QString& allSupportedText) {
  return allSupportedText +
         QStringLiteral("(*.jpg,*.bmp)|*.bmp;*.jpg|Jpeg files (*.jpg)|*.jpg|Bmp files (*.bmp)|*.bmp;");
}

void TfrmMain::LoadLanguageTexts() {
  ReadLanguageTexts(ExeFolder() + QStringLiteral("lang.ini"));
  const std::array<const QString*, 5> categories = {&szNature, &szCartoon, &szHoliday, &szGame, &szArt};
  for (size_t k = 0; k < categories.size(); ++k) {
    lblL[k]->setCaption(*categories[k]);
    lblN[k]->setCaption(*categories[k]);
  }
  lblN[5]->setCaption(szDownload);
  lblN[6]->setCaption(szWallpapergallery);
  btnAdd->setCaption(szAdd);
  btnRemove->setCaption(szRemove);
  Label5->setCaption(szPreview);
  btnSetWallpaper->setCaption(szSetwallpaper);
  Label1->setCaption(szLocal);
  Label2->setCaption(szNetwork);
  btnNormal->setCaption(szNormal);
  btnWallpaper->setCaption(szNormal);
  btnTheme->setCaption(szSetting);
  btnWidescreen->setCaption(szWidescreen);
  CoolTrayIcon1->setToolTip(szAppname.left(kTrayHintLength));
  OpenDialog1Filter = OpenDialogFilter(szAllsupport);
  // Menu items follow the same "&" rule natively.
  Open1->setText(szOpen);
  Prevwallpaper1->setText(szPrevwallpaper);
  Nextwallpaper2->setText(szNextwallpaper);
  Exit2->setText(szExit);
  panConnectNetwork->setCaption(szConnecting);
  lblErrorTip->setCaption(szNowallpaper);
  Label4->setCaption(szGetmore);
  Label14->setCaption(szClickHere);
  Label3->setCaption(szPiclist);
  chkAutoRun->setCaption(szAutorun);
  optDay->setCaption(szChangeperday);
  optDisable->setCaption(szChangedisabled);
  optStartup->setCaption(szChangestartup);
  setWindowTitle(szAppname);
  Label15->setCaption(szAppname + QLatin1Char(' ') + szVersion);
}

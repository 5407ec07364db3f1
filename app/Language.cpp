// The language texts put on the controls.
#include <QAction>
#include <QLineEdit>
#include <QSystemTrayIcon>

#include "app/Main.h"
#include "platform/LanguageTexts.h"
#include "platform/ProgramFolder.h"

namespace {
// A tray hint holds at most 127 characters on every desktop the program
// came from; a longer application name is cut rather than refused.
constexpr qsizetype kTrayHintLength = 127;
}  // namespace

void TfrmMain::LoadLanguageTexts() {
  m_texts = readLanguageTexts(m_context.dataFolder + QStringLiteral("lang.ini"));
  const LanguageTexts& t = m_texts;
  const std::array<const QString*, 5> categories = {&t.szNature, &t.szCartoon, &t.szHoliday, &t.szGame,
                                                    &t.szArt};
  for (size_t k = 0; k < categories.size(); ++k) {
    lblL[k]->setCaption(*categories[k]);
    lblN[k]->setCaption(*categories[k]);
  }
  lblN[5]->setCaption(t.szDownload);
  lblN[6]->setCaption(t.szWallpapergallery);
  btnSetWallpaper->setCaption(t.szSetwallpaper);
  Label1->setCaption(t.szLocal);
  Label2->setCaption(t.szNetwork);
  btnNormal->setCaption(t.szNormal);
  btnWallpaper->setCaption(t.szNormal);
  btnTheme->setCaption(t.szSetting);
  btnWidescreen->setCaption(t.szWidescreen);
  OpenDialog1Filter = ::openDialogFilter(t.szAllsupport);
  panConnectNetwork->setCaption(t.szConnecting);
  lblErrorTip->setCaption(t.szNowallpaper);
  Label4->setCaption(t.szGetmore);
  Label14->setCaption(t.szClickHere);
  setWindowTitle(t.szAppname);
  Label15->setCaption(t.szAppname + QLatin1Char(' ') + t.szVersion);
  if (chkAutoRun != nullptr) showSettingsPageTexts();
  if (CoolTrayIcon1 != nullptr) showTrayTexts();
}

void TfrmMain::showSettingsPageTexts() {
  const LanguageTexts& t = m_texts;
  btnAdd->setCaption(t.szAdd);
  btnRemove->setCaption(t.szRemove);
  Label5->setCaption(t.szPreview);
  Label3->setCaption(t.szPiclist);
  lstWallpaper->setAccessibleName(captionDisplayText(t.szPiclist));  // the list is named by its heading
  chkAutoRun->setCaption(t.szAutorun);
  optDay->setCaption(t.szChangeperday);
  optDisable->setCaption(t.szChangedisabled);
  optStartup->setCaption(t.szChangestartup);
  lblCatalogueSite->setCaption(t.szCataloguesite);
  edtCatalogueSite->setAccessibleName(captionDisplayText(t.szCataloguesite));
}

void TfrmMain::showTrayTexts() {
  const LanguageTexts& t = m_texts;
  CoolTrayIcon1->setToolTip(t.szAppname.left(kTrayHintLength));
  // Menu items follow the same "&" rule natively.
  Open1->setText(t.szOpen);
  Prevwallpaper1->setText(t.szPrevwallpaper);
  Nextwallpaper2->setText(t.szNextwallpaper);
  Exit2->setText(t.szExit);
}

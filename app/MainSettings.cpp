// The settings page's auto-start options and the settings steps of start-up.
#include <QDateTime>

#include "app/Main.h"
#include "library/Settings.h"

namespace {
const QColor kEnabledText(0, 0, 0);
const QColor kDisabledText(128, 128, 128);

SkinRadioButton* ModeButton(TfrmMain& form, int mode) {
  switch (mode) {
    case kChangeAtStartup:
      return form.optStartup;
    case kChangeDaily:
      return form.optDay;
    default:
      return form.optDisable;
  }
}

void SetModeButtonsUsable(TfrmMain& form, bool usable) {
  for (SkinRadioButton* button : {form.optStartup, form.optDay, form.optDisable}) {
    button->setEnabled(usable);
    button->setFontColor(usable ? kEnabledText : kDisabledText);
  }
}
}  // namespace

void TfrmMain::RunStartupSettings(const QStringList& arguments) {
  // Checking or unchecking runs chkAutoRunClick when the state changes.
  chkAutoRun->setChecked(AutoRunEnabled());
  const int mode = LoadAutoChange();
  for (SkinRadioButton* button : {optStartup, optDay, optDisable}) button->setChecked(false);
  ModeButton(*this, mode)->setChecked(true);
  // Rewrites an entry with the current mode, and removes one that names
  // another folder (AutoRunEnabled found it absent).
  SaveAutoChange(mode);
  SaveAutoRun(chkAutoRun->checked());
  const Shape screenShape = IsWideScreen() ? Shape::Widescreen : Shape::Normal;
  const int changeMode = StartupChangeMode(mode, arguments.value(1));
  m_rotation.LoadRotationList(screenShape);
  const QDateTime lastTime = LoadLastTime();
  // The change itself ends later, on the event loop; a failure is reported then.
  m_rotation.StartupChange(changeMode, lastTime);
  SaveLastTime(QDateTime::currentDateTime());
}

void TfrmMain::chkAutoRunClick() {
  if (chkAutoRun->checked()) {
    SetModeButtonsUsable(*this, true);
    ModeButton(*this, LoadAutoChange())->setChecked(true);
    SaveAutoRun(true);
    return;
  }
  SetModeButtonsUsable(*this, false);
  // Stores mode 3 through optStartupClick unless optDisable was checked already.
  optDisable->setChecked(true);
  SaveAutoRun(false);
}

void TfrmMain::optStartupClick() {
  int mode = kChangeDisabled;
  if (optStartup->checked()) mode = kChangeAtStartup;
  if (optDay->checked()) mode = kChangeDaily;
  if (optDisable->checked()) mode = kChangeDisabled;
  SaveAutoChange(mode);
  // Keeps the digit at the end of the autostart command equal to the mode.
  SaveAutoRun(chkAutoRun->checked());
}

// The settings page's auto-start options, drawn from the settings
// controller, and the settings steps of start-up.
#include <QLabel>
#include <QLineEdit>

#include "app/Application.h"
#include "app/Main.h"
#include "library/Settings.h"
#include "library/StartupController.h"

namespace {
const QColor kEnabledText(0, 0, 0);
const QColor kDisabledText(128, 128, 128);
}  // namespace

std::array<TfrmMain::ModeOption, 3> TfrmMain::modeOptions() const {
  return {{{optStartup, kChangeAtStartup}, {optDay, kChangeDaily}, {optDisable, kChangeDisabled}}};
}

void TfrmMain::renderSettings() {
  if (chkAutoRun == nullptr) return;
  chkAutoRun->setChecked(m_settings.autoRun());
  const bool usable = m_settings.modesUsable();
  for (const ModeOption& option : modeOptions()) {
    SkinRadioButton* button = option.button;
    button->setChecked(option.mode == m_settings.changeMode());
    button->setEnabled(usable);
    button->setFontColor(usable ? kEnabledText : kDisabledText);
  }
}

void TfrmMain::runStartupSettings(const QStringList& arguments) {
  StartupController startup(m_context, m_settings, m_rotation);
  const StartupOutcome outcome = startup.run(arguments, IsWideScreen() ? Shape::Widescreen : Shape::Normal);
  m_startMinimized = outcome.startIn == StartIn::Tray;
}

// Only a changed text is a new request: leaving the field untouched asks nothing.
void TfrmMain::edtCatalogueSiteEditingFinished() {
  if (!edtCatalogueSite->isModified()) return;
  edtCatalogueSite->setModified(false);
  m_homeSiteChange.submit(edtCatalogueSite->text());
}

void TfrmMain::homeSiteChanged(const QString& address) {
  m_homeSite = address;
  if (edtCatalogueSite != nullptr) edtCatalogueSite->setText(address);
  suiURLLabel1->setCaption(address);
}

// The box shows the controller's value, so the user's toggle asks for the other one.
void TfrmMain::chkAutoRunClick() { m_settings.setAutoRun(!m_settings.autoRun()); }

void TfrmMain::optStartupClick(const SkinRadioButton* sender) {
  for (const ModeOption& option : modeOptions())
    if (option.button == sender) m_settings.chooseMode(option.mode);
}

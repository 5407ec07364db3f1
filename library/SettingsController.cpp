#include "library/SettingsController.h"

#include "library/Settings.h"

namespace {
bool isMode(int mode) { return mode >= kChangeAtStartup && mode <= kChangeDisabled; }
}  // namespace

SettingsController::SettingsController(const QString& programFile, QObject* parent)
    : QObject(parent), m_programFile(programFile) {}

// Each change of the auto-start value runs its rule, as a change of the
// check box always did, whoever made it.
void SettingsController::showAutoRun(bool enabled) {
  if (m_autoRun == enabled) return;
  m_autoRun = enabled;
  applyAutoRun();
}

void SettingsController::applyAutoRun() {
  // Showing a mode that was not shown stores it.
  showMode(m_autoRun ? LoadAutoChange() : int(kChangeDisabled));
  SaveAutoRun(m_autoRun, m_programFile);
}

void SettingsController::showMode(int mode) {
  if (m_mode == mode) return;
  m_mode = mode;
  storeMode();
}

void SettingsController::storeMode() {
  SaveAutoChange(m_mode);
  // Keeps the digit at the end of the autostart command equal to the mode.
  SaveAutoRun(m_autoRun, m_programFile);
}

int SettingsController::load() {
  showAutoRun(AutoRunEnabled(m_programFile));
  // Whatever was shown before, the stored mode is shown afresh and written
  // back with the autostart entry: an entry that was there now carries the
  // mode, and one that names another folder (AutoRunEnabled found it absent)
  // is removed.
  m_mode = LoadAutoChange();
  storeMode();
  emit changed();
  return m_mode;
}

void SettingsController::reload() {
  showAutoRun(AutoRunEnabled(m_programFile));
  applyAutoRun();
  emit changed();
}

void SettingsController::setAutoRun(bool enabled) {
  showAutoRun(enabled);
  emit changed();
}

void SettingsController::chooseMode(int mode) {
  if (modesUsable() && isMode(mode)) showMode(mode);
  emit changed();
}

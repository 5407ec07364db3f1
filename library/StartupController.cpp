#include "library/StartupController.h"

#include <QFile>
#include <exception>

#include "library/RotationController.h"
#include "library/Settings.h"
#include "library/SettingsController.h"

StartupController::StartupController(const AppContext& context, SettingsController& settings,
                                     RotationController& rotation)
    : m_context(context), m_settings(settings), m_rotation(rotation) {}

StartupOutcome StartupController::run(const QStringList& arguments, Shape screenShape) {
  StartupOutcome outcome;
  runStartupSettings(arguments, screenShape, outcome);
  removeOldCategoryFiles();
  outcome.startIn = startPlace(arguments);
  return outcome;
}

void StartupController::runStartupSettings(const QStringList& arguments, Shape screenShape,
                                           StartupOutcome& outcome) {
  const int storedMode = m_settings.load();
  outcome.changeMode = startupChangeMode(storedMode, arguments.value(1));
  m_rotation.LoadRotationList(screenShape);
  // One moment for the whole start: the daily test and the time stored agree.
  const QDateTime now = m_context.clock->now();
  const QDateTime lastTime = LoadLastTime(now);
  // The change ends later, on the event loop; the rotation tells of a failure then.
  m_rotation.StartupChange(outcome.changeMode, lastTime, now);
  SaveLastTime(now);
}

// Leftovers of an old format; nothing reads them any more, and one that
// cannot go is passed over.
void StartupController::removeOldCategoryFiles() const {
  if (m_context.dataFolder.isEmpty()) return;
  for (int n = 1; n <= 5; ++n)
    QFile::remove(m_context.dataFolder + QStringLiteral("wallpaper/network/%1.ini").arg(n));
}

StartIn startPlace(const QStringList& arguments) {
  return arguments.value(1).isEmpty() ? StartIn::Window : StartIn::Tray;
}

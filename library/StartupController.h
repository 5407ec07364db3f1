// The start-up sequence without its drawing: the settings and the autostart
// entry, the rotation list for the screen's shape, the start-up change,
// this start's time, the leftovers of an old format, and whether the program
// starts in the tray. It runs once, after the window is built and before it
// is shown; the window draws what it leaves behind.
#pragma once

#include <QDateTime>
#include <QStringList>

#include "library/StoreRules.h"
#include "platform/AppContext.h"

class RotationController;
class SettingsController;

// Where the program shows itself once started.
enum class StartIn { Window, Tray };

struct StartupOutcome {
  // What this run did at start: 1 a rotation step, 2 a step if a day had
  // passed, 3 nothing.
  int changeMode = 3;
  StartIn startIn = StartIn::Window;
};

class StartupController {
 public:
  StartupController(const AppContext& context, SettingsController& settings, RotationController& rotation);

  // The whole sequence, in its order. The arguments are the command line
  // with the program first; the shape is the screen's.
  StartupOutcome run(const QStringList& arguments, Shape screenShape);

  // Its settings steps: the options and the autostart entry, the change
  // mode, the rotation list, the start-up change and "Lasttime".
  void runStartupSettings(const QStringList& arguments, Shape screenShape, StartupOutcome& outcome);

 private:
  void removeOldCategoryFiles() const;

  AppContext m_context;
  SettingsController& m_settings;
  RotationController& m_rotation;
};

// Any first argument, whatever its text, starts the program in the tray:
// the autostart entry passes one.
StartIn startPlace(const QStringList& arguments);

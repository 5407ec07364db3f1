#pragma once

#include <QApplication>
#include <exception>

// The application object. An exception that escapes an event handler is
// reported to the user and on standard error, and the program goes on.
class Application : public QApplication {
  Q_OBJECT
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an error that nothing else handled: standard error and a message box.
void reportApplicationError(const QString& message);
// What the report says of an error: its text, and for a file that could not
// be written the system's reason (a full disk, a read-only folder).
QString errorReportText(const std::exception& error);
// Runs an action as the application's event handlers run: an escaping
// exception goes to the general error report.
template <typename Action>
void runReportingErrors(Action&& action) {
  try {
    action();
  } catch (const std::exception& error) {
    reportApplicationError(errorReportText(error));
  }
}

// The program entry: returns the process exit code.
int runNimbraWallpaper(int argc, char** argv);

// The start of the program as the command line asks for it: handing the
// request to the running program, the commands that need no window, and the
// running program's answers to later starts.
#pragma once

#include <QStringList>
#include <memory>
#include <optional>

#include "library/ProgramCommands.h"
#include "platform/AppContext.h"

class QCoreApplication;
class TfrmMain;

// The arguments as the program was given them, before any application
// object exists.
QStringList argumentsOf(int argc, char** argv);

// Why the data folder cannot be used, if it cannot: a name in bytes that are
// not UTF-8 cannot be written into settings or handed to the desktop.
std::optional<QString> unusableDataFolder();

// The channel of the program that works on this start's data folder;
// nullopt, with the reason, when its folder is refused.
std::optional<InstanceChannel> programInstanceChannel(QString* error);

// Makes this process the instance (nullopt), or hands the request to the
// running one and gives the exit code this start ends with. An application
// object must exist: a start that finds the lock taken waits on its event
// loop.
std::optional<int> handOverToInstance(InstanceLock& lock, const QString& socketPath,
                                      const ProgramCommand& command);

// The application object of a command that opens no window: Qt Core alone
// where the screens need not be known.
std::unique_ptr<QCoreApplication> commandApplication(int& argc, char** argv, const ProgramCommand& command);
// The services of the running session, for the program and its commands.
// Runs on the GUI thread once the application object exists: a desktop's
// setter may ask about the screens.
AppContext makeAppContext();
// The monitors as the running desktop names them; QScreen's where it cannot
// be asked (which needs the GUI application).
MonitorLister sessionMonitorLister();
// The screens Qt knows, as monitors: for the window's menu.
MonitorList screenMonitors();
// --next, --previous and --set with no program running: the work is done
// here, without a window or a tray icon; the application's event loop runs
// until the desktop has answered.
int runWithoutWindow(const AppContext& context, const ProgramCommand& command);

// The running program's answer to a later start's request, given through
// answer, at once or when the desktop has answered.
void answerInstanceRequest(TfrmMain& form, const QStringList& request, const CommandAnswer& answer);

// Prints an answer: the message on standard error when it says of a failure.
int reportReply(const InstanceReply& reply);

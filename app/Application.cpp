#include "app/Application.h"

#include <cstdio>

#include "app/Main.h"
#include "app/ProgramStart.h"
#include "app/UserDialogs.h"
#include "platform/DisplayCheck.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    reportApplicationError(errorReportText(error));
  } catch (...) {
    reportApplicationError(QStringLiteral("Unknown error"));
  }
  return false;
}

QString errorReportText(const std::exception& error) {
  const auto* writeError = dynamic_cast<const IniWriteError*>(&error);
  return writeError ? writeError->report() : QString::fromUtf8(error.what());
}

void reportApplicationError(const QString& message) {
  std::fprintf(stderr, "NimbraWallpaper: %s\n", message.toLocal8Bit().constData());
  std::fflush(stderr);
  // The box stands on the main window, with the program's name as caption.
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* main = qobject_cast<TfrmMain*>(window)) {
      main->showErrorReport(message);
      return;
    }
  }
}

namespace {
void prepareData() {
  QString why;
  if (!prepareDataFolder(&why)) std::fprintf(stderr, "NimbraWallpaper: %s\n", why.toLocal8Bit().constData());
}

int runProgram(Application& app, const AppContext& context, const ProgramCommand& command,
               const QString& socketPath) {
  // No display name: Qt would add it to every window's caption, and the
  // caption is the language file's application name alone.
  app.setApplicationName(QStringLiteral("Nimbra Wallpaper 1.2"));
  app.setQuitOnLastWindowClosed(false);

  // The built window runs the whole start-up sequence and is shown; then the
  // two download forms are made, which read the language texts it loaded, and
  // later starts are listened for (they wait until then). --show asks for the window
  // whatever the start-in-tray rule would say.
  const QStringList arguments =
      command.kind == CommandKind::Show ? app.arguments().mid(0, 1) : app.arguments();
  auto dialogs = std::make_shared<DesktopDialogs>();
  AppContext windowContext = context;
  windowContext.dialogs = dialogs;
  TfrmMain frmMain(windowContext);
  dialogs->setOwner(&frmMain);
  frmMain.FormCreate(arguments);
  frmMain.showAtStart();
  frmMain.finishStart();
  InstanceServer instanceServer(InstanceServer::DeferredHandler(
      [&frmMain](const QStringList& request, const InstanceServer::Answer& answer) {
        answerInstanceRequest(frmMain, request, answer);
      }));
  QString why;
  if (!instanceServer.listen(socketPath, &why))
    std::fprintf(stderr, "NimbraWallpaper: later starts cannot reach this one: %s\n",
                 why.toLocal8Bit().constData());
  QObject::connect(&frmMain, &TfrmMain::closed, &app, &QApplication::quit);
  return app.exec();
}
}  // namespace

namespace {
constexpr int kUsageError = 2;
}  // namespace

int runNimbraWallpaper(int argc, char** argv) {
  QString problem;
  const std::optional<ProgramCommand> command = parseCommandLine(argumentsOf(argc, argv), &problem);
  // A command line the program does not take is a usage error.
  if (!command) return reportReply({kUsageError, problem});
  if (command->kind == CommandKind::Help) return reportReply({0, commandLineHelp()});
  if (command->kind == CommandKind::Version) return reportReply({0, versionLine()});
  if (const std::optional<QString> why = unusableDataFolder()) return reportReply({1, *why});
  // A channel another user could have laid is not used, and without one no
  // start could tell whether a program runs.
  const std::optional<InstanceChannel> channel = programInstanceChannel(&problem);
  if (!channel) return reportReply({1, problem});
  // Held to the end: two programs never write the same files.
  InstanceLock instance(channel->lockPath, channel->socketPath);
  if (command->kind == CommandKind::Start || command->kind == CommandKind::Show) {
    if (!graphicalSessionAvailable(&problem)) {
      std::fprintf(stderr, "Nimbra Wallpaper needs a graphical desktop session: %s\n",
                   problem.toLocal8Bit().constData());
      return 1;
    }
    Application app(argc, argv);
    if (const std::optional<int> handedOver = handOverToInstance(instance, channel->socketPath, *command))
      return *handedOver;
    prepareData();
    return runProgram(app, makeAppContext(), *command, channel->socketPath);
  }
  const std::unique_ptr<QCoreApplication> app = commandApplication(argc, argv, *command);
  if (const std::optional<int> handedOver = handOverToInstance(instance, channel->socketPath, *command))
    return *handedOver;
  if (command->kind == CommandKind::Quit) return 0;
  prepareData();
  return runWithoutWindow(makeAppContext(), *command);
}

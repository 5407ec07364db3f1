#include "app/Application.h"

#include <cstdio>

#include "app/Main.h"
#include "app/ProgramStart.h"
#include "app/UserDialogs.h"
#include "platform/DisplayCheck.h"
#include "platform/ProgramFolder.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ReportApplicationError(QString::fromUtf8(error.what()));
  } catch (...) {
    ReportApplicationError(QStringLiteral("Unknown error"));
  }
  return false;
}

void ReportApplicationError(const QString& message) {
  std::fprintf(stderr, "NimbraWallpaper: %s\n", message.toLocal8Bit().constData());
  std::fflush(stderr);
  // The box stands on the main window, with the program's name as caption.
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* main = qobject_cast<TfrmMain*>(window)) {
      main->ShowErrorReport(message);
      return;
    }
  }
}

namespace {
void PrepareData() {
  QString why;
  if (!PrepareDataFolder(&why)) std::fprintf(stderr, "NimbraWallpaper: %s\n", why.toLocal8Bit().constData());
}

int RunProgram(Application& app, const AppContext& context, const ProgramCommand& command) {
  // No display name: Qt would add it to every window's caption, and the
  // caption is the language file's application name alone.
  app.setApplicationName(QStringLiteral("Nimbra Wallpaper 1.2"));
  app.setQuitOnLastWindowClosed(false);

  // The built window runs the whole start-up sequence; the two download
  // forms read the language texts it loaded. --show asks for the window
  // whatever the start-in-tray rule would say.
  const QStringList arguments =
      command.kind == CommandKind::Show ? app.arguments().mid(0, 1) : app.arguments();
  auto dialogs = std::make_shared<DesktopDialogs>();
  AppContext windowContext = context;
  windowContext.dialogs = dialogs;
  TfrmMain frmMain(windowContext);
  dialogs->setOwner(&frmMain);
  frmMain.FormCreate(arguments);
  frmMain.CreateDownloadForms();
  InstanceServer instanceServer(InstanceServer::DeferredHandler(
      [&frmMain](const QStringList& request, const InstanceServer::Answer& answer) {
        AnswerInstanceRequest(frmMain, request, answer);
      }));
  QString why;
  if (!instanceServer.listen(InstanceSocketPath(), &why))
    std::fprintf(stderr, "NimbraWallpaper: later starts cannot reach this one: %s\n",
                 why.toLocal8Bit().constData());
  QObject::connect(&frmMain, &TfrmMain::closed, &app, &QApplication::quit);
  frmMain.showAtStart();
  return app.exec();
}
}  // namespace

int RunNimbraWallpaper(int argc, char** argv) {
  QString problem;
  const std::optional<ProgramCommand> command = ParseCommandLine(ArgumentsOf(argc, argv), &problem);
  if (!command) return ReportReply({1, problem});
  if (command->kind == CommandKind::Help) return ReportReply({0, CommandLineHelp()});
  if (command->kind == CommandKind::Version) return ReportReply({0, VersionLine()});
  // Held to the end: two programs never write the same files.
  InstanceLock instance;
  if (command->kind == CommandKind::Start || command->kind == CommandKind::Show) {
    if (!GraphicalSessionAvailable(&problem)) {
      std::fprintf(stderr, "Nimbra Wallpaper needs a graphical desktop session: %s\n",
                   problem.toLocal8Bit().constData());
      return 1;
    }
    Application app(argc, argv);
    if (const std::optional<int> handedOver = HandOverToInstance(instance, *command)) return *handedOver;
    PrepareData();
    return RunProgram(app, MakeAppContext(), *command);
  }
  const std::unique_ptr<QCoreApplication> app = CommandApplication(argc, argv, command->kind);
  if (const std::optional<int> handedOver = HandOverToInstance(instance, *command)) return *handedOver;
  if (command->kind == CommandKind::Quit) return 0;
  PrepareData();
  return RunWithoutWindow(MakeAppContext(), *command);
}

#include "app/Application.h"

#include <cstdio>

#include "app/Main.h"
#include "platform/DisplayCheck.h"

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

int RunNimbraWallpaper(int argc, char** argv) {
  QString why;
  if (!GraphicalSessionAvailable(&why)) {
    std::fprintf(stderr, "Nimbra Wallpaper needs a graphical desktop session: %s\n", why.toLocal8Bit().constData());
    return 1;
  }
  Application app(argc, argv);
  // No display name: Qt would add it to every window's caption, and the
  // caption is the language file's application name alone.
  app.setApplicationName(QStringLiteral("Nimbra Wallpaper 1.2"));
  app.setQuitOnLastWindowClosed(false);

  // The main window's creation runs the whole start-up sequence; the two
  // download forms read the language texts it loaded.
  TfrmMain frmMain(app.arguments());
  frmMain.CreateDownloadForms();
  QObject::connect(&frmMain, &TfrmMain::closed, &app, &QApplication::quit);
  frmMain.showAtStart();
  return app.exec();
}

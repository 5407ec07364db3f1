#include "app/Application.h"

#include <cstdio>

#include "app/Main.h"
#include "app/UnitGlobal.h"
#include "app/UserDialogs.h"
#include "download/Down.h"
#include "download/Down2.h"
#include "platform/DisplayCheck.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
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
  Dialogs().information(frmMain, szAppname, message);
}

int RunNimbraWallpaper(int argc, char** argv) {
  QString why;
  if (!GraphicalSessionAvailable(&why)) {
    std::fprintf(stderr, "Nimbra Wallpaper needs a graphical desktop session: %s\n", why.toLocal8Bit().constData());
    return 1;
  }
  TApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Nimbra Wallpaper 1.2"));
  app.setApplicationDisplayName(QStringLiteral("Nimbra Wallpaper 1.2"));
  app.setQuitOnLastWindowClosed(false);

  // The main window's creation runs the whole start-up sequence; the two
  // download forms read the language texts it loaded.
  frmMain = new TfrmMain(app.arguments());
  frmDown = new TfrmDown();
  frmDown2 = new TfrmDown2();
  QObject::connect(frmMain, &TfrmMain::closed, &app, &QApplication::quit);
  frmMain->showAtStart();
  const int code = app.exec();
  delete frmDown2;
  delete frmDown;
  delete frmMain;
  frmMain = nullptr;
  return code;
}

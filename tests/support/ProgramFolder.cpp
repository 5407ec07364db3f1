#include "support/ProgramFolder.h"

#include "app/Main.h"

bool WaitForPage(TfrmMain& window) {
  return WaitUntil([&] { return !window.browse().loading(); });
}

DialogsRecorder::DialogsRecorder() {
  auto dialogs = std::make_unique<RecordingDialogs>();
  m_dialogs = dialogs.get();
  InstallDialogs(std::move(dialogs));
}

DialogsRecorder::~DialogsRecorder() { InstallDialogs(nullptr); }

std::unique_ptr<TfrmMain> MakeMainWindow(const QStringList& arguments) {
  auto window = std::make_unique<TfrmMain>(QStringList{QStringLiteral("NimbraWallpaper")} + arguments);
  window->CreateDownloadForms();
  WaitForPage(*window);
  return window;
}

#include "support/ProgramFolder.h"

#include "app/Main.h"
#include "platform/ProgramFolder.h"

bool WaitForPage(TfrmMain& window) {
  return WaitUntil([&] { return !window.browse().loading(); });
}

AppContext DialogsRecorder::addTo(AppContext context) const {
  context.dialogs = m_dialogs;
  return context;
}

AppContext DialogsRecorder::context() const { return addTo(TestContext()); }

AppContext TestContext() {
  AppContext context;
  context.dataFolder = DataFolder();
  // Nobody reads them; a test that does gives a DialogsRecorder's instead.
  context.dialogs = std::make_shared<RecordingDialogs>();
  return context;
}

AppContext ContextWithEndpoints(std::shared_ptr<const EndpointMap> endpoints) {
  AppContext context = TestContext();
  context.endpoints = std::move(endpoints);
  return context;
}

std::unique_ptr<TfrmMain> MakeMainWindow(const QStringList& arguments, const AppContext& context) {
  auto window = std::make_unique<TfrmMain>(context);
  window->FormCreate(QStringList{QStringLiteral("NimbraWallpaper")} + arguments);
  window->CreateDownloadForms();
  WaitForPage(*window);
  return window;
}

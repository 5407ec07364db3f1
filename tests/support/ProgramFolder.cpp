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

AppContext ContextWithEndpoints(std::shared_ptr<const EndpointMap> endpoints) {
  AppContext context = TestContext();
  context.endpoints = std::move(endpoints);
  return context;
}

std::unique_ptr<TfrmMain> MakeMainWindow(const QStringList& arguments, const AppContext& context) {
  return MakeMainWindowWith(context, arguments);
}

std::unique_ptr<TfrmMain> MakeMainWindowWith(const AppContext& context, const QStringList& arguments) {
  auto window = std::make_unique<TfrmMain>(context);
  window->FormCreate(QStringList{QStringLiteral("NimbraWallpaper")} + arguments);
  window->CreateDownloadForms();
  WaitForPage(*window);
  return window;
}

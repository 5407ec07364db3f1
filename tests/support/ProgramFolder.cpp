#include "support/ProgramFolder.h"

#include "app/Main.h"

bool waitForPage(TfrmMain& window) {
  return waitUntil([&] { return !window.browse().loading(); });
}

AppContext DialogsRecorder::addTo(AppContext context) const {
  context.dialogs = m_dialogs;
  return context;
}

AppContext DialogsRecorder::context(const ProgramFolder& folder) const { return addTo(folder.context()); }

AppContext contextWithEndpoints(const ProgramFolder& folder, std::shared_ptr<const EndpointMap> endpoints) {
  AppContext context = folder.context();
  context.endpoints = std::move(endpoints);
  return context;
}

std::unique_ptr<TfrmMain> makeMainWindow(const ProgramFolder& folder, const QStringList& arguments) {
  return makeMainWindowWith(folder.context(), arguments);
}

std::unique_ptr<TfrmMain> makeMainWindowWith(const AppContext& context, const QStringList& arguments) {
  auto window = std::make_unique<TfrmMain>(context);
  window->FormCreate(QStringList{QStringLiteral("NimbraWallpaper")} + arguments);
  window->finishStart();
  // Tests find the settings page's controls by name from the start.
  window->ensureSettingsPage();
  waitForPage(*window);
  return window;
}

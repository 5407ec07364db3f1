// Window test support: the temporary program folder, the program's dialogs
// answered by the test and the main window as the program creates it.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "platform/AppContext.h"
#include "platform/UserDialogs.h"
#include "support/TemporaryProgramFolder.h"
#include "support/TestContext.h"
#include "support/WaitUntil.h"

class TfrmMain;

// RecordingDialogs for the windows a test makes with its context.
class DialogsRecorder {
 public:
  RecordingDialogs& operator*() const { return *m_dialogs; }
  RecordingDialogs* operator->() const { return m_dialogs.get(); }
  // context with these dialogs; the folder's quiet context when none is given.
  AppContext addTo(AppContext context) const;
  AppContext context(const ProgramFolder& folder) const;

 private:
  std::shared_ptr<RecordingDialogs> m_dialogs = std::make_shared<RecordingDialogs>();
};

// Until the window's page has been put together (its thumbnails decoded or
// fetched): whether it has.
bool waitForPage(TfrmMain& window);

// The same, with a test server's host names mapped.
AppContext contextWithEndpoints(const ProgramFolder& folder, std::shared_ptr<const EndpointMap> endpoints);

// The main window as the program creates it, with the given arguments after
// the program name and its download forms, once its first page is shown;
// with the test's services, or quiet ones on the folder.
std::unique_ptr<TfrmMain> makeMainWindow(const ProgramFolder& folder, const QStringList& arguments = {});
std::unique_ptr<TfrmMain> makeMainWindowWith(const AppContext& context, const QStringList& arguments = {});

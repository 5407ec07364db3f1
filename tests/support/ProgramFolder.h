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
#include "support/WaitUntil.h"

class TfrmMain;

// Message boxes and the open dialog answered by the test.
class RecordingDialogs : public UserDialogs {
 public:
  struct Message {
    QString caption;
    QString text;
  };
  void information(const QString& caption, const QString& text) override {
    messages.push_back({caption, text});
  }
  QString openFileName(const QString& filter, const QString& defaultExtension) override {
    lastFilter = filter;
    lastDefaultExtension = defaultExtension;
    return answer;
  }
  std::vector<Message> messages;
  QString answer;
  QString lastFilter;
  QString lastDefaultExtension;
};

// RecordingDialogs for the windows a test makes with its context.
class DialogsRecorder {
 public:
  RecordingDialogs& operator*() const { return *m_dialogs; }
  RecordingDialogs* operator->() const { return m_dialogs.get(); }
  // context with these dialogs; TestContext() when none is given.
  AppContext addTo(AppContext context) const;
  AppContext context() const;

 private:
  std::shared_ptr<RecordingDialogs> m_dialogs = std::make_shared<RecordingDialogs>();
};

// Until the window's page has been put together (its thumbnails decoded or
// fetched): whether it has.
bool WaitForPage(TfrmMain& window);

// The services as a test's program folder gives them: the folder the tests
// made the executable's folder is the data folder.
AppContext TestContext();
// The same, with a test server's host names mapped.
AppContext ContextWithEndpoints(std::shared_ptr<const EndpointMap> endpoints);

// The main window as the program creates it, with the given arguments after
// the program name and its download forms, once its first page is shown.
std::unique_ptr<TfrmMain> MakeMainWindow(const QStringList& arguments = {},
                                         const AppContext& context = TestContext());

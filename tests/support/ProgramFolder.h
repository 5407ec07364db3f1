// A temporary program folder for tests: the executable folder that the
// program's code addresses its files from, with helpers to fill it.
#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>

#include "platform/AppContext.h"
#include "platform/UserDialogs.h"

class TfrmMain;

class ProgramFolder {
 public:
  ProgramFolder();
  ~ProgramFolder();
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  // The folder, ending with "/".
  QString path() const;
  QString file(const QString& relative) const { return path() + relative; }
  void writeFile(const QString& relative, const QByteArray& bytes) const;
  QByteArray readFile(const QString& relative) const;
  // The shipped English language file.
  void copyEnglishLanguage() const;
  // A picture of one colour; the format follows the extension (.jpg or .bmp).
  QString writePicture(const QString& relative, QSize size, const QColor& color) const;

 private:
  QTemporaryDir m_dir;
};

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

// Runs the event loop until the condition holds or the limit has passed;
// whether it holds.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(30));
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

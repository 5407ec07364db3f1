// Window test support: the temporary program folder, the program's dialogs
// answered by the test and the main window as the program creates it.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/UserDialogs.h"
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
  void information(QWidget*, const QString& caption, const QString& text) override {
    messages.push_back({caption, text});
  }
  QString openFileName(QWidget*, const QString& filter, const QString& defaultExtension) override {
    lastFilter = filter;
    lastDefaultExtension = defaultExtension;
    return answer;
  }
  std::vector<Message> messages;
  QString answer;
  QString lastFilter;
  QString lastDefaultExtension;
};

// Installs RecordingDialogs for the life of the object.
class DialogsRecorder {
 public:
  DialogsRecorder();
  ~DialogsRecorder();
  RecordingDialogs& operator*() const { return *m_dialogs; }
  RecordingDialogs* operator->() const { return m_dialogs; }

 private:
  RecordingDialogs* m_dialogs;
};

// Until the window's page has been put together (its thumbnails decoded or
// fetched): whether it has.
bool WaitForPage(TfrmMain& window);

// The main window as the program creates it, with the given arguments after
// the program name and its download forms, once its first page is shown.
std::unique_ptr<TfrmMain> MakeMainWindow(const QStringList& arguments = {});

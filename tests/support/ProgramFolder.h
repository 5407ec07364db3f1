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

#include "app/UserDialogs.h"
#include "support/TestContext.h"

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

// Runs the event loop until the condition holds or the limit has passed;
// whether it holds.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(30));
// Until the window's page has been put together (its thumbnails decoded or
// fetched): whether it has.
bool WaitForPage(TfrmMain& window);

// The main window as the program creates it, with the given arguments after
// the program name and its download forms, once its first page is shown;
// with the test's services, or quiet ones.
std::unique_ptr<TfrmMain> MakeMainWindowWith(const AppContext& context, const QStringList& arguments = {});
std::unique_ptr<TfrmMain> MakeMainWindow(const QStringList& arguments = {});

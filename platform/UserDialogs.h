// Message boxes and the file-open dialog: the questions the program puts to
// the user. The window's implementation stands them on the main window;
// tests answer them.
#pragma once

#include <QString>
#include <QStringList>

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // An information box with an OK button.
  virtual void information(const QString& caption, const QString& text) = 0;
  // filter uses the "text|patterns|text|patterns" form; returns "" when cancelled.
  virtual QString openFileName(const QString& filter, const QString& defaultExtension) = 0;
  // Several pictures and folders at once; none when cancelled.
  virtual QStringList openPicturesAndFolders(const QString& caption) = 0;
};

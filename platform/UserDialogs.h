// Message boxes and the file-open dialog: the questions the program puts to
// the user. The window's implementation stands them on the main window;
// tests answer them.
#pragma once

#include <QString>

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // An information box with an OK button.
  virtual void information(const QString& caption, const QString& text) = 0;
  // filter uses the "text|patterns|text|patterns" form; returns "" when cancelled.
  virtual QString openFileName(const QString& filter, const QString& defaultExtension) = 0;
};

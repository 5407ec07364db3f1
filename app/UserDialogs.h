// Message boxes and the file-open dialog, behind an interface so that widget
// tests can answer them.
#pragma once

#include <QString>

#include <memory>

class QWidget;

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // An information box with an OK button.
  virtual void information(QWidget* owner, const QString& caption, const QString& text) = 0;
  // filter uses the "text|patterns|text|patterns" form; returns "" when cancelled.
  virtual QString openFileName(QWidget* owner, const QString& filter, const QString& defaultExtension) = 0;
};

UserDialogs& Dialogs();
// Replaces the dialogs (tests); nullptr restores the real ones.
void InstallDialogs(std::unique_ptr<UserDialogs> dialogs);

// Turns "text|patterns|text|patterns" into Qt's "text (patterns);;..." form.
QString QtFileFilter(const QString& filter);

// The user dialogs as the desktop shows them: Qt's message boxes and file
// dialog, on the window they belong to.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/UserDialogs.h"

class DesktopDialogs : public UserDialogs {
 public:
  // The window the dialogs stand on; none until it exists.
  void setOwner(QWidget* owner) { m_owner = owner; }

  void information(const QString& caption, const QString& text) override;
  QString openFileName(const QString& filter, const QString& defaultExtension) override;
  QStringList openPicturesAndFolders(const QString& caption) override;

 private:
  QPointer<QWidget> m_owner;
};

// Turns "text|patterns|text|patterns" into Qt's "text (patterns);;..." form.
QString qtFileFilter(const QString& filter);

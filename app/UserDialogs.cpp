#include "app/UserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace {
class DesktopDialogs : public UserDialogs {
 public:
  void information(QWidget* owner, const QString& caption, const QString& text) override {
    QMessageBox::information(owner, caption, text, QMessageBox::Ok);
  }

  QString openFileName(QWidget* owner, const QString& filter, const QString& defaultExtension) override {
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QtFileFilter(filter));
    QString suffix = defaultExtension;
    suffix.remove(QStringLiteral("*.")).remove('*');
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
  }
};

std::unique_ptr<UserDialogs>& Installed() {
  static std::unique_ptr<UserDialogs> dialogs;
  return dialogs;
}
}  // namespace

UserDialogs& Dialogs() {
  if (!Installed()) Installed() = std::make_unique<DesktopDialogs>();
  return *Installed();
}

void InstallDialogs(std::unique_ptr<UserDialogs> dialogs) { Installed() = std::move(dialogs); }

QString QtFileFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(' '));
  }
  return entries.join(QStringLiteral(";;"));
}

#include "app/UserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

void DesktopDialogs::information(const QString& caption, const QString& text) {
  QMessageBox::information(m_owner, caption, text, QMessageBox::Ok);
}

QString DesktopDialogs::openFileName(const QString& filter, const QString& defaultExtension) {
  QFileDialog dialog(m_owner);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(qtFileFilter(filter));
  QString suffix = defaultExtension;
  suffix.remove(QStringLiteral("*.")).remove('*');
  dialog.setDefaultSuffix(suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

QString qtFileFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(' '));
  }
  return entries.join(QStringLiteral(";;"));
}

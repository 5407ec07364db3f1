#include "app/UserDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <algorithm>

namespace {
// Qt's own file dialog opens a chosen folder instead of returning it; this
// one returns folders among the chosen files, to be taken with everything
// below them.
class FilesAndFoldersDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  QStringList chosen;

 protected:
  void accept() override {
    chosen = selectedFiles();
    const bool allThere = std::all_of(chosen.cbegin(), chosen.cend(),
                                      [](const QString& path) { return QFileInfo::exists(path); });
    if (!chosen.isEmpty() && allThere) return QDialog::accept();
    QFileDialog::accept();
  }
};
}  // namespace

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

QStringList DesktopDialogs::openPicturesAndFolders(const QString& caption) {
  FilesAndFoldersDialog dialog(m_owner, caption);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.chosen.isEmpty() ? dialog.selectedFiles() : dialog.chosen;
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

// The tray menu's steps through the rotation list, and the settings page
// that shows and edits it.
#include <QFile>

#include "app/Main.h"
#include "library/RotationRules.h"
#include "library/Settings.h"
#include "picture/ImageDecode.h"
#include "platform/UserDialogs.h"

namespace {
// Blanks and control characters around a chosen name are not part of it.
QString trimmedName(const QString& name) {
  qsizetype first = 0, last = name.size();
  while (first < last && name[first].unicode() <= ' ') ++first;
  while (last > first && name[last - 1].unicode() <= ' ') --last;
  return name.mid(first, last - first);
}

int firstSelectedRow(const SkinListView* list) {
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->isSelected()) return row;
  return -1;
}
}  // namespace

void TfrmMain::renderRotationRows() {
  if (lstWallpaper == nullptr) return;
  lstWallpaper->clear();
  lstWallpaper->addItems(m_rotation.rows());
}

void TfrmMain::Nextwallpaper2Click() { m_rotation.next(); }

void TfrmMain::Prevwallpaper1Click() { m_rotation.previous(); }

void TfrmMain::btnThemeClick() {
  if (Busy()) return;
  ensureSettingsPage();
  imgPreview->hide();
  imgPreview->setGeometry(previewGeometry(IsWideScreen() ? Shape::Widescreen : Shape::Normal));
  m_browse->selectTab(Tab::Setting);
  // The autostart entry may have changed behind the program's back.
  m_settings.reload();
}

void TfrmMain::lstWallpaperDblClick() { m_rotation.applyRow(firstSelectedRow(lstWallpaper)); }

void TfrmMain::lstWallpaperSelectItem(int row, bool selected) {
  if (!selected) {
    imgPreview->hide();
    btnRemove->setEnabled(false);
    return;
  }
  btnRemove->setEnabled(true);
  const QString file = m_rotation.rows().value(row);
  if (!QFile::exists(file)) return;
  imgPreview->show();
  // A picture that cannot be decoded is passed over without a word.
  const QImage picture = loadPictureForBox(file, imgPreview->size());
  if (!picture.isNull()) imgPreview->setPicture(picture);
}

void TfrmMain::btnAddClick() {
  m_rotation.dropMissingRows();
  const QString chosen =
      trimmedName(m_context.dialogs->openFileName(OpenDialog1Filter, OpenDialog1DefaultExt));
  // A name with a line break cannot be stored; the list is saved all the
  // same, as the missing rows were dropped.
  if (chosen.isEmpty() || !QFile::exists(chosen) || !m_rotation.addRow(chosen)) {
    m_rotation.SaveRotationList();
    return;
  }
  lstWallpaper->setCurrentRow(lstWallpaper->count() - 1);
}

void TfrmMain::btnRemoveClick() {
  const int row = firstSelectedRow(lstWallpaper);
  if (row < 0) return;
  // The list is drawn afresh without a selection, so a second click (a
  // double click on the button) cannot take the row that moved up.
  m_rotation.removeRow(row);
  lstWallpaperSelectItem(-1, false);
}

// The rotation list: its start-up load, the steps of the tray menu and of
// start-up, and the settings page that edits it.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "app/Application.h"
#include "app/Main.h"
#include "app/Settings.h"
#include "app/UnitGlobal.h"
#include "app/UserDialogs.h"
#include "library/ImageDecode.h"
#include "library/RotationRules.h"
#include "library/SetDesktopWallpaper.h"

namespace {
QString RotationFile() { return ExeFolder() + QStringLiteral("list.dat"); }

Shape ScreenShape(bool wide) { return wide ? Shape::Widescreen : Shape::Normal; }

QStringList Rows(const TListView* list) {
  QStringList rows;
  rows.reserve(list->count());
  for (int row = 0; row < list->count(); ++row) rows << list->item(row)->text();
  return rows;
}

void ShowRows(TListView* list, const QStringList& rows) {
  list->clear();
  list->addItems(rows);
}

void WriteRows(const QStringList& rows) {
  QString error;
  if (!WriteRotationFile(RotationFile(), rows, &error))
    std::fprintf(stderr, "NimbraWallpaper: cannot write %s: %s\n", qPrintable(RotationFile()), qPrintable(error));
}

// Blanks and control characters around a chosen name are not part of it.
QString TrimmedName(const QString& name) {
  qsizetype first = 0, last = name.size();
  while (first < last && name[first].unicode() <= ' ') ++first;
  while (last > first && name[last - 1].unicode() <= ' ') --last;
  return name.mid(first, last - first);
}

int FirstSelectedRow(const TListView* list) {
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->isSelected()) return row;
  return -1;
}
}  // namespace

void TfrmMain::RebuildRotationList() {
  QStringList rows;
  CollectLargePictures(ShapeFolder(ScreenShape(WideScreen)), rows);
  CurrentIndex = 1;
  SaveCurrent();
  ShowRows(lstWallpaper, rows);
  WriteRows(rows);
}

void TfrmMain::LoadRotationList() {
  std::optional<QStringList> stored = ReadRotationFile(RotationFile());
  if (!stored) {
    RebuildRotationList();
    return;
  }
  int current = CurrentIndex;
  DropMissingEntries(*stored, current);
  if (stored->isEmpty()) {
    RebuildRotationList();
    return;
  }
  // A stored position beyond the list would name a row that is not there.
  CurrentIndex = PositionInRange(current, int(stored->size()));
  SaveCurrent();
  ShowRows(lstWallpaper, *stored);
  WriteRows(*stored);
}

void TfrmMain::SaveRotationList() { WriteRows(Rows(lstWallpaper)); }

void TfrmMain::StartupChange() {
  const bool step = ChangeMode == kChangeAtStartup ||
                    (ChangeMode == kChangeDaily && DayHasPassed(LastTime, QDateTime::currentDateTime()));
  // Start-up runs outside the event loop, so a failure is reported here.
  if (step) RunReportingErrors([this] { AdvanceRotation(); });
}

void TfrmMain::AdvanceRotation() {
  const QStringList rows = Rows(lstWallpaper);
  const std::optional<int> target = AdvanceTarget(CurrentIndex, int(rows.size()));
  if (!target) return;
  CurrentIndex = *target;
  SetDesktopWallpaper(rows[*target - 1]);
  SaveCurrent();
}

void TfrmMain::ApplyRotationPosition(std::optional<int> position) {
  if (!position) return;
  CurrentIndex = *position;
  SetDesktopWallpaper(lstWallpaper->item(*position - 1)->text());
  SaveCurrent();
}

void TfrmMain::Nextwallpaper2Click() { ApplyRotationPosition(NextPosition(Rows(lstWallpaper), CurrentIndex)); }

void TfrmMain::Prevwallpaper1Click() { ApplyRotationPosition(PreviousPosition(Rows(lstWallpaper), CurrentIndex)); }

void TfrmMain::btnThemeClick() {
  if (Busy) return;
  imgPreview->hide();
  imgPreview->setGeometry(PreviewGeometry(ScreenShape(IsWideScreen())));
  btnNormal->setCaption(btnTheme->caption());
  btnNormal->move(btnTheme->x(), btnNormal->y());
  panWallpaper->hide();
  panSetting->show();
  chkAutoRun->setChecked(AutoRunEnabled());
  chkAutoRunClick();
  QCoreApplication::processEvents();
}

void TfrmMain::lstWallpaperDblClick() {
  const int row = FirstSelectedRow(lstWallpaper);
  if (row >= 0) SetDesktopWallpaper(lstWallpaper->item(row)->text());
}

void TfrmMain::lstWallpaperSelectItem(int row, bool selected) {
  if (!selected) {
    imgPreview->hide();
    btnRemove->setEnabled(false);
    return;
  }
  btnRemove->setEnabled(true);
  const QString file = lstWallpaper->item(row)->text();
  if (!QFile::exists(file)) return;
  imgPreview->show();
  // A picture that cannot be decoded is passed over without a word.
  const QImage picture = LoadPictureForBox(file, imgPreview->size());
  if (!picture.isNull()) imgPreview->setPicture(picture);
}

void TfrmMain::btnAddClick() {
  QStringList rows = Rows(lstWallpaper);
  int current = CurrentIndex;
  DropMissingEntries(rows, current);
  CurrentIndex = current;
  if (rows.size() != lstWallpaper->count()) ShowRows(lstWallpaper, rows);
  SaveCurrent();
  const QString chosen = TrimmedName(Dialogs().openFileName(this, OpenDialog1Filter, OpenDialog1DefaultExt));
  if (!chosen.isEmpty() && QFile::exists(chosen)) {
    lstWallpaper->addItem(chosen);
    lstWallpaper->setCurrentRow(lstWallpaper->count() - 1);
  }
  SaveRotationList();
}

void TfrmMain::btnRemoveClick() {
  const int row = FirstSelectedRow(lstWallpaper);
  if (row < 0) return;
  delete lstWallpaper->takeItem(row);
  // The list would select the row that moved up, and a second click (a
  // double click on the button) would take that one too.
  lstWallpaper->clearSelection();
  SaveRotationList();
  CurrentIndex = PositionAfterRemoval(CurrentIndex, row + 1, lstWallpaper->count());
  SaveCurrent();
}

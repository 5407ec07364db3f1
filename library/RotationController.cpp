#include "library/RotationController.h"

#include <cstdio>

#include "library/RotationRules.h"
#include "library/SetDesktopWallpaper.h"
#include "library/Settings.h"
#include "platform/ProgramFolder.h"

namespace {
QString RotationFile() { return DataFolder() + QStringLiteral("list.dat"); }

void WriteRows(const QStringList& rows) {
  QString error;
  if (!WriteRotationFile(RotationFile(), rows, &error))
    std::fprintf(stderr, "NimbraWallpaper: cannot write %s: %s\n", qPrintable(RotationFile()),
                 qPrintable(error));
}

void SayLeftOut(const QString& path) {
  std::fprintf(
      stderr,
      "NimbraWallpaper: %s is left out of the rotation list: %s cannot hold a name with a line break\n",
      qPrintable(path), qPrintable(RotationFile()));
}
}  // namespace

RotationController::RotationController(QObject* parent) : QObject(parent) {}

void RotationController::setRows(const QStringList& rows) {
  m_rows = rows;
  emit rowsChanged();
}

void RotationController::saveCurrent() const { SaveCurrent(m_current); }

void RotationController::RebuildRotationList(Shape screenShape) {
  QStringList rows;
  for (const QString& path : CollectLargePictures(ShapeFolder(screenShape), rows)) SayLeftOut(path);
  m_current = 1;
  saveCurrent();
  setRows(rows);
  WriteRows(rows);
}

void RotationController::LoadRotationList(Shape screenShape) {
  m_current = LoadCurrent();
  std::optional<QStringList> stored = ReadRotationFile(RotationFile());
  if (!stored) {
    RebuildRotationList(screenShape);
    return;
  }
  int current = m_current;
  DropMissingEntries(*stored, current);
  if (stored->isEmpty()) {
    RebuildRotationList(screenShape);
    return;
  }
  // A stored position beyond the list would name a row that is not there.
  m_current = PositionInRange(current, int(stored->size()));
  saveCurrent();
  setRows(*stored);
  WriteRows(*stored);
}

void RotationController::SaveRotationList() { WriteRows(m_rows); }

void RotationController::StartupChange(int changeMode, const QDateTime& lastTime, const QDateTime& now) {
  const bool step =
      changeMode == kChangeAtStartup || (changeMode == kChangeDaily && DayHasPassed(lastTime, now));
  if (step) AdvanceRotation();
}

void RotationController::AdvanceRotation() {
  const std::optional<int> target = AdvanceTarget(m_current, int(m_rows.size()));
  if (!target) return;
  m_current = *target;
  SetDesktopWallpaper(m_rows[*target - 1]);
  saveCurrent();
}

std::optional<SetResult> RotationController::applyPosition(std::optional<int> position) {
  if (!position) return std::nullopt;
  m_current = *position;
  const SetResult result = TrySetDesktopWallpaper(m_rows[*position - 1]);
  // A desktop without any way keeps the stored position, as it always did.
  if (result.status != SetStatus::Unavailable) saveCurrent();
  return result;
}

std::optional<SetResult> RotationController::step(Direction direction) {
  return applyPosition(direction == Direction::Next ? NextPosition(m_rows, m_current)
                                                    : PreviousPosition(m_rows, m_current));
}

void RotationController::next() {
  if (const auto result = step(Direction::Next)) ReportWallpaperResult(*result);
}

void RotationController::previous() {
  if (const auto result = step(Direction::Previous)) ReportWallpaperResult(*result);
}

void RotationController::applyRow(int row) {
  if (row >= 0 && row < m_rows.size()) SetDesktopWallpaper(m_rows[row]);
}

void RotationController::dropMissingRows() {
  QStringList rows = m_rows;
  DropMissingEntries(rows, m_current);
  if (rows.size() != m_rows.size()) setRows(rows);
  saveCurrent();
}

bool RotationController::addRow(const QString& file) {
  if (!CanBeListed(file)) {
    SayLeftOut(file);
    return false;
  }
  m_rows << file;
  emit rowsChanged();
  SaveRotationList();
  return true;
}

void RotationController::removeRow(int row) {
  if (row < 0 || row >= m_rows.size()) return;
  m_rows.removeAt(row);
  emit rowsChanged();
  SaveRotationList();
  m_current = PositionAfterRemoval(m_current, row + 1, int(m_rows.size()));
  saveCurrent();
}

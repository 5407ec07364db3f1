#include "library/RotationController.h"

#include <cstdio>

#include "library/RotationRules.h"
#include "library/SetDesktopWallpaper.h"
#include "library/Settings.h"
#include "library/WallpaperWorker.h"

namespace {
void writeRows(const QString& listFile, const QStringList& rows) {
  QString error;
  if (!writeRotationFile(listFile, rows, &error))
    std::fprintf(stderr, "NimbraWallpaper: cannot write %s: %s\n", qPrintable(listFile), qPrintable(error));
}

void sayLeftOut(const QString& listFile, const QString& path) {
  std::fprintf(
      stderr,
      "NimbraWallpaper: %s is left out of the rotation list: %s cannot hold a name with a line break\n",
      qPrintable(path), qPrintable(listFile));
}
}  // namespace

RotationController::RotationController(WallpaperWorker& worker, const QString& dataFolder, QObject* parent)
    : QObject(parent),
      m_worker(worker),
      m_dataFolder(dataFolder),
      m_listFile(dataFolder + QStringLiteral("list.dat")) {
  connect(&m_worker, &WallpaperWorker::finished, this, &RotationController::takeResult);
  connect(&m_worker, &WallpaperWorker::superseded, this,
          [this](quint64 ticket) { m_pending.remove(ticket); });
}

void RotationController::setRows(const QStringList& rows) {
  m_rows = rows;
  emit rowsChanged();
}

void RotationController::saveCurrent() const { SaveCurrent(m_current); }

void RotationController::RebuildRotationList(Shape screenShape) {
  QStringList rows;
  for (const QString& path : CollectLargePictures(shapeFolder(m_dataFolder, screenShape), rows))
    sayLeftOut(m_listFile, path);
  m_current = 1;
  saveCurrent();
  setRows(rows);
  writeRows(m_listFile, rows);
}

void RotationController::LoadRotationList(Shape screenShape) {
  m_current = LoadCurrent();
  std::optional<QStringList> stored = readRotationFile(m_listFile);
  if (!stored) {
    RebuildRotationList(screenShape);
    return;
  }
  int current = m_current;
  dropMissingEntries(*stored, current);
  if (stored->isEmpty()) {
    RebuildRotationList(screenShape);
    return;
  }
  // A stored position beyond the list would name a row that is not there.
  m_current = positionInRange(current, int(stored->size()));
  saveCurrent();
  setRows(*stored);
  writeRows(m_listFile, *stored);
}

void RotationController::SaveRotationList() { writeRows(m_listFile, m_rows); }

void RotationController::StartupChange(int changeMode, const QDateTime& lastTime, const QDateTime& now) {
  const bool step =
      changeMode == kChangeAtStartup || (changeMode == kChangeDaily && dayHasPassed(lastTime, now));
  if (step) AdvanceRotation();
}

void RotationController::AdvanceRotation() {
  const std::optional<int> target = advanceTarget(m_current, int(m_rows.size()));
  if (!target) return;
  m_current = *target;
  apply(m_rows[*target - 1], target, Reporting::ToUser);
}

quint64 RotationController::apply(const QString& path, std::optional<int> position, Reporting reporting) {
  const quint64 ticket = m_worker.apply(path);
  m_pending.insert(ticket, {position, reporting});
  return ticket;
}

void RotationController::takeResult(quint64 ticket, const SetResult& result) {
  const auto found = m_pending.constFind(ticket);
  if (found == m_pending.constEnd()) return;
  const Pending pending = *found;
  m_pending.erase(found);
  // A desktop without any way, or one that did not answer, keeps the
  // stored position; one that refused the picture has had its turn.
  const bool reachedDesktop = result.status == SetStatus::Applied || result.status == SetStatus::Failed;
  if (pending.position && reachedDesktop) SaveCurrent(*pending.position);
  if (pending.reporting == Reporting::ByCaller) return;
  logWallpaperResult(result);
  if (needsUserReport(result)) emit failed(notAppliedText(result));
}

std::optional<quint64> RotationController::applyPosition(std::optional<int> position, Reporting reporting) {
  if (!position) return std::nullopt;
  m_current = *position;
  return apply(m_rows[*position - 1], position, reporting);
}

std::optional<quint64> RotationController::step(Direction direction) {
  return applyPosition(
      direction == Direction::Next ? nextPosition(m_rows, m_current) : previousPosition(m_rows, m_current),
      Reporting::ByCaller);
}

void RotationController::next() { applyPosition(nextPosition(m_rows, m_current), Reporting::ToUser); }

void RotationController::previous() { applyPosition(previousPosition(m_rows, m_current), Reporting::ToUser); }

void RotationController::applyRow(int row) {
  if (row >= 0 && row < m_rows.size()) apply(m_rows[row], std::nullopt, Reporting::ToUser);
}

void RotationController::dropMissingRows() {
  QStringList rows = m_rows;
  dropMissingEntries(rows, m_current);
  if (rows.size() != m_rows.size()) setRows(rows);
  saveCurrent();
}

bool RotationController::addRow(const QString& file) {
  if (!canBeListed(file)) {
    sayLeftOut(m_listFile, file);
    return false;
  }
  m_rows << file;
  emit rowsChanged();
  SaveRotationList();
  return true;
}

void RotationController::addRows(const QStringList& files) {
  dropMissingRows();
  QStringList rows = m_rows;
  for (const QString& file : files) {
    if (rows.contains(file)) continue;
    if (canBeListed(file))
      rows << file;
    else
      sayLeftOut(m_listFile, file);
  }
  if (rows.size() != m_rows.size()) setRows(rows);
  SaveRotationList();
}

void RotationController::removeRow(int row) {
  if (row < 0 || row >= m_rows.size()) return;
  m_rows.removeAt(row);
  emit rowsChanged();
  SaveRotationList();
  m_current = positionAfterRemoval(m_current, row + 1, int(m_rows.size()));
  saveCurrent();
}

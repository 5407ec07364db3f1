// The rotation list and its position ("current" in the value store): loaded
// at start, stepped by the tray menu and the start-up change, edited on the
// settings page. The list's rows live here; the settings page shows them.
// Pictures are set through the wallpaper worker, so a step returns at once;
// the stored position follows when the desktop has answered.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <optional>

#include "library/StoreRules.h"
#include "platform/WallpaperSetter.h"

class WallpaperWorker;

class RotationController : public QObject {
  Q_OBJECT
 public:
  // The list is "list.dat" of the data folder, the pictures those of its store.
  RotationController(WallpaperWorker& worker, const QString& dataFolder, QObject* parent = nullptr);

  const QStringList& rows() const { return m_rows; }
  // The 1-based position, as "current" stores it.
  int currentIndex() const { return m_current; }

  // The start-up load: "list.dat" without the entries whose file is gone, or,
  // when there is none or nothing is left, the large pictures of the
  // screen's shape folder. The position comes from the value store.
  void LoadRotationList(Shape screenShape);
  void RebuildRotationList(Shape screenShape);
  void SaveRotationList();

  // The start-up change: a step when the mode says so (1 always, 2 when a
  // day has passed between the previous start and now).
  void StartupChange(int changeMode, const QDateTime& lastTime, const QDateTime& now);
  // The start-up step: the row after the current one, or row 1 at the end.
  void AdvanceRotation();
  // The tray menu's steps: the next or previous row whose file exists.
  void next();
  void previous();
  // The same step for a caller that tells the outcome itself (the command
  // line): the worker's ticket of the request, or nullopt when no row's file
  // exists. The position moves as the tray menu's step moves it.
  enum class Direction { Next, Previous };
  std::optional<quint64> step(Direction direction);
  // Applies a row (0-based) without moving the position.
  void applyRow(int row);

  // Drops the rows whose file is gone, keeping the position on the same row.
  void dropMissingRows();
  // Appends a file as the last row. A name the list file cannot hold (one
  // with a line break) is left out, said so on standard error: false.
  bool addRow(const QString& file);
  // Appends pictures that came into the store as "Add ..." appends one: the
  // rows whose file is gone are dropped first. A file the list already names
  // is not named twice.
  void addRows(const QStringList& files);
  // Removes a row (0-based); the position follows the row it was on.
  void removeRow(int row);

 signals:
  void rowsChanged();
  // A step of the tray menu, the list or the start could not reach the
  // desktop at all (no way to set a wallpaper, or no answer in time).
  void failed(const QString& message);

 private:
  enum class Reporting { ToUser, ByCaller };
  struct Pending {
    std::optional<int> position;  // stored once the desktop has taken the picture
    Reporting reporting;
  };

  std::optional<quint64> applyPosition(std::optional<int> position, Reporting reporting);
  quint64 apply(const QString& path, std::optional<int> position, Reporting reporting);
  void takeResult(quint64 ticket, const SetResult& result);
  void setRows(const QStringList& rows);
  void saveCurrent() const;

  WallpaperWorker& m_worker;
  const QString m_dataFolder;
  const QString m_listFile;
  QHash<quint64, Pending> m_pending;
  QStringList m_rows;
  int m_current = 1;
};

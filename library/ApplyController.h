// "Set as Desktop Wallpaper": the picture of the selected slot becomes the
// desktop wallpaper while the window steps aside. The steps run in a fixed
// order: the selected slot; for a network picture its stored copy, or a
// download of it; the window hidden, the desktop shown, the wallpaper set,
// the new picture left in sight for a second, the window back. The window
// only answers the requests: it hides and shows itself, shows the boxes, and
// runs the download dialog.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "platform/LanguageTexts.h"
#include "platform/WallpaperSetter.h"

class BrowseController;
class DesktopControl;
class WallpaperWorker;

class ApplyController : public QObject {
  Q_OBJECT
 public:
  ApplyController(BrowseController& browse, const LanguageTexts& texts,
                  std::shared_ptr<DesktopControl> desktop, WallpaperWorker& worker,
                  QObject* parent = nullptr);

  // The button and the slot double click (all monitors), and the slot's
  // menu (all, or one). Does nothing while the browsing is busy or an
  // apply is under way.
  void applySelected(const WallpaperTarget& target = WallpaperTarget::allMonitors());
  bool running() const { return m_phase != Phase::Idle; }
  // The window's answer to downloadNeeded, once the download dialog has
  // closed: whether it ended with the file.
  void downloadFinished(bool succeeded);

 signals:
  // A box with the "szAttention" caption and this text.
  void attentionNeeded(const QString& text);
  // The download dialog is to fetch address into localPath, then call downloadFinished().
  void downloadNeeded(const QString& address, const QString& localPath);
  void hideWindow();
  void showWindow();
  // The desktop could not take the picture at all: the error report's box,
  // once the window is back.
  void errorReport(const QString& message);
  // The apply has ended and the window is back.
  void finished();

 private:
  enum class Phase { Idle, Downloading, SteppingAside, Setting, ShowingPicture };

  void fetchNetworkPicture(const QString& address);
  void stepAsideAndApply(const QString& path);
  void takeResult(quint64 ticket, const SetResult& result);
  void endApply();

  BrowseController& m_browse;
  const LanguageTexts& m_texts;
  std::shared_ptr<DesktopControl> m_desktop;
  WallpaperWorker& m_worker;
  Phase m_phase = Phase::Idle;
  QString m_downloadTarget;
  WallpaperTarget m_target;
  std::optional<quint64> m_ticket;
};

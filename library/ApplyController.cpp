#include "library/ApplyController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "library/BrowseController.h"
#include "library/SetDesktopWallpaper.h"
#include "library/StoreRules.h"
#include "library/StoredPicture.h"
#include "library/WallpaperWorker.h"
#include "picture/ImageDecode.h"
#include "platform/DesktopControl.h"

namespace {
// How long the desktop is shown with its new picture before the window returns.
constexpr int kShowPictureMs = 1000;
}  // namespace

ApplyController::ApplyController(BrowseController& browse, const LanguageTexts& texts,
                                 std::shared_ptr<DesktopControl> desktop, WallpaperWorker& worker,
                                 QObject* parent)
    : QObject(parent), m_browse(browse), m_texts(texts), m_desktop(std::move(desktop)), m_worker(worker) {
  connect(&m_worker, &WallpaperWorker::finished, this, &ApplyController::takeResult);
  connect(&m_worker, &WallpaperWorker::superseded, this, [this](quint64 ticket) {
    if (m_ticket == ticket) endApply();
  });
}

void ApplyController::applySelected(const WallpaperTarget& target) {
  if (m_browse.state().busy || running()) return;
  m_target = target;
  const std::optional<SlotPaths> selected = m_browse.selectedPaths();
  if (!selected) {
    emit attentionNeeded(m_texts.szChoiceplease);
    return;
  }
  if (isNetworkPicture(selected->large))
    fetchNetworkPicture(selected->large);
  else
    stepAsideAndApply(selected->large);
}

// A usable stored copy is applied as it is; otherwise the picture is
// fetched afresh, a broken copy removed first.
void ApplyController::fetchNetworkPicture(const QString& address) {
  // An address whose name would leave the store, or that names no category,
  // is never fetched.
  const QString local =
      storedNetworkPath(m_browse.dataFolder(), m_browse.state().shape(), address, NetworkFile::LargePicture);
  if (local.isEmpty()) {
    emit attentionNeeded(m_texts.szDownloadpicfail);
    return;
  }
  if (isUsableStoredPicture(local)) {
    stepAsideAndApply(local);
    return;
  }
  QFile::remove(local);
  QDir().mkpath(QFileInfo(local).path());
  m_phase = Phase::Downloading;
  m_downloadTarget = local;
  // While the download runs, the window must not close or start another
  // network action under it.
  m_browse.setBusy(true);
  emit downloadNeeded(address, local);
}

// What arrives may be a server's error page instead of the picture: that is
// not applied either.
void ApplyController::downloadFinished(bool succeeded) {
  if (m_phase != Phase::Downloading) return;
  m_browse.setBusy(false);
  m_phase = Phase::Idle;
  const QString local = m_downloadTarget;
  const bool usable = succeeded && QFileInfo::exists(local) && decodesAsPicture(local);
  if (!usable) {
    QFile::remove(local);
    emit attentionNeeded(m_texts.szDownloadpicfail);
    return;
  }
  stepAsideAndApply(local);
}

// Each step lets the window system catch up before the next: the window is
// gone before the desktop shows, and the desktop shows before it changes.
void ApplyController::stepAsideAndApply(const QString& path) {
  m_phase = Phase::SteppingAside;
  emit hideWindow();
  QTimer::singleShot(0, this, [this, path] {
    if (m_desktop) m_desktop->showDesktop();
    QTimer::singleShot(0, this, [this, path] {
      emit hideWindow();
      QTimer::singleShot(0, this, [this, path] {
        m_phase = Phase::Setting;
        m_ticket = m_worker.apply(path, m_target);
      });
    });
  });
}

void ApplyController::takeResult(quint64 ticket, const SetResult& result) {
  if (m_ticket != ticket) return;
  m_ticket.reset();
  logWallpaperResult(result);
  if (needsUserReport(result)) {
    // The box needs a window to stand on, and the user needs the program back.
    endApply();
    emit errorReport(notAppliedText(result));
    return;
  }
  m_phase = Phase::ShowingPicture;
  QTimer::singleShot(kShowPictureMs, this, &ApplyController::endApply);
}

void ApplyController::endApply() {
  m_ticket.reset();
  m_phase = Phase::Idle;
  emit showWindow();
  emit finished();
}

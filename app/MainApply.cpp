// "Set as Desktop Wallpaper": the picture of the selected slot becomes the
// desktop wallpaper while the window steps aside.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "app/Application.h"
#include "app/Down.h"
#include "app/Down2.h"
#include "app/Main.h"
#include "library/SetDesktopWallpaper.h"
#include "library/StoredPicture.h"
#include "picture/ImageDecode.h"
#include "platform/DesktopControl.h"
#include "platform/UserDialogs.h"

namespace {
// How long the desktop is shown with its new picture before the window returns.
constexpr int kShowPictureMs = 1000;
}  // namespace

void TfrmMain::btnSetWallpaperClick() {
  if (Busy() || m_applyRunning) return;
  const std::optional<SlotPaths> selected = m_browse->selectedPaths();
  if (!selected) {
    m_context.dialogs->information(m_texts.szAttention, m_texts.szChoiceplease);
    return;
  }
  QString path = selected->large;
  if (IsNetworkPicture(path) && !FetchNetworkPicture(path)) return;
  StepAsideAndApply(path);
}

// Each step lets the window system catch up before the next: the window is
// gone before the desktop shows, and the desktop shows before it changes.
void TfrmMain::StepAsideAndApply(const QString& path) {
  m_applyRunning = true;
  hide();
  QTimer::singleShot(0, this, [this, path] {
    TheDesktopControl().showDesktop();
    QTimer::singleShot(0, this, [this, path] {
      hide();
      // Out of the minimised state, still hidden: the window comes back at the end.
      setWindowState(windowState() & ~Qt::WindowMinimized);
      QTimer::singleShot(0, this, [this, path] {
        try {
          SetDesktopWallpaper(path);
        } catch (const std::exception& error) {
          // The error report needs a window to stand on, and the user needs the program back.
          FinishApply();
          ReportApplicationError(QString::fromUtf8(error.what()));
          return;
        }
        QTimer::singleShot(kShowPictureMs, this, &TfrmMain::FinishApply);
      });
    });
  });
}

void TfrmMain::FinishApply() {
  m_applyRunning = false;
  show();
  RestoreApplication();
  emit applyFinished();
}

// Makes path a local file the wallpaper can be set from, downloading the
// picture through the download dialogs when no usable copy is stored.
// Returns false when there is nothing to apply; the user has then been told.
bool TfrmMain::FetchNetworkPicture(QString& path) {
  // An address whose name would leave the store, or that names no category,
  // is never fetched.
  const QString local = StoredNetworkPath(m_browse->state().shape(), path, NetworkFile::LargePicture);
  if (local.isEmpty() || (!IsUsableStoredPicture(local) && !DownloadPicture(path, local))) {
    m_context.dialogs->information(m_texts.szAttention, m_texts.szDownloadpicfail);
    return false;
  }
  path = local;
  return true;
}

// A broken copy goes first, so that it is fetched afresh. What arrives may be
// a server's error page instead of the picture: that is not applied either.
bool TfrmMain::DownloadPicture(const QString& address, const QString& local) {
  QFile::remove(local);
  if (!m_frmDown || !m_frmDown2) return false;
  QDir().mkpath(QFileInfo(local).path());
  m_frmDown2->Url = address;
  m_frmDown2->SaveFile = local;
  m_frmDown->PlaceOver(*this);
  // While the dialog runs, the window must not close or start another
  // network action under it.
  m_browse->setBusy(true);
  m_frmDown->exec();
  m_browse->setBusy(false);
  if (!QFileInfo::exists(local)) return false;
  if (DecodesAsPicture(local)) return true;
  QFile::remove(local);
  return false;
}

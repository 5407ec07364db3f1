// "Set as Desktop Wallpaper": the apply controller runs the steps; the
// window steps aside and comes back when asked, shows the boxes, and runs
// the download dialog for a network picture.
#include "app/Down.h"
#include "app/Down2.h"
#include "app/Main.h"
#include "platform/UserDialogs.h"

void TfrmMain::btnSetWallpaperClick() { m_apply.applySelected(); }

void TfrmMain::connectApply() {
  connect(&m_apply, &ApplyController::attentionNeeded, this,
          [this](const QString& text) { m_context.dialogs->information(m_texts.szAttention, text); });
  connect(&m_apply, &ApplyController::downloadNeeded, this, &TfrmMain::downloadPicture);
  connect(&m_apply, &ApplyController::hideWindow, this, &TfrmMain::stepAside);
  connect(&m_apply, &ApplyController::showWindow, this, &TfrmMain::comeBack);
  connect(&m_apply, &ApplyController::errorReport, this, &TfrmMain::showErrorReport, Qt::QueuedConnection);
  connect(&m_apply, &ApplyController::finished, this, &TfrmMain::applyFinished);
}

// Out of the minimised state too, still hidden: the window comes back at the end.
void TfrmMain::stepAside() {
  hide();
  setWindowState(windowState() & ~Qt::WindowMinimized);
}

void TfrmMain::comeBack() {
  show();
  restoreApplication();
}

// The overlay and its progress dialog run the download; the apply goes on
// when the overlay has closed (finishStart), and a failed or
// cancelled download has left no file.
void TfrmMain::downloadPicture(const QString& address, const QString& local) {
  if (!m_frmDown || !m_frmDown2) {
    m_apply.downloadFinished(false);
    return;
  }
  m_frmDown2->Url = address;
  m_frmDown2->SaveFile = local;
  m_frmDown->placeOver(*this);
  showModal(*m_frmDown);
}

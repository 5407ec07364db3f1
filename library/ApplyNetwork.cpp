#include "library/ApplyNetwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/Main.h"
#include "app/UnitGlobal.h"
#include "app/UserDialogs.h"
#include "download/Down.h"
#include "download/Down2.h"
#include "library/ImageDecode.h"
#include "library/StoreRules.h"

namespace {

// Decoding to a tiny box is enough to tell a picture from an error page, and
// cheap for JPEG thanks to DCT scaling.
const QSize kProbeBox(8, 8);

// Runs the download behind the overlay. While it runs the window must not
// close or start another network action under the dialog.
void DownloadThroughDialogs(TfrmMain& window, const QString& address, const QString& local) {
  if (frmDown == nullptr || frmDown2 == nullptr) return;
  QDir().mkpath(QFileInfo(local).path());
  frmDown2->Url = address;
  frmDown2->SaveFile = local;
  frmDown->PlaceOver(window);
  const bool wasBusy = window.Busy;
  window.Busy = true;
  frmDown->exec();
  window.Busy = wasBusy;
}

// A broken copy goes first, so that it is fetched afresh. What arrives may be
// a server's error page instead of the picture: that is not applied either.
bool DownloadPicture(TfrmMain& window, const QString& address, const QString& local) {
  QFile::remove(local);
  DownloadThroughDialogs(window, address, local);
  if (!QFileInfo::exists(local)) return false;
  if (!LoadPictureForBox(local, kProbeBox).isNull()) return true;
  QFile::remove(local);
  return false;
}

}  // namespace

bool IsNetworkPicture(const QString& path) {
  return path.left(4).compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
}

bool IsUsableStoredPicture(const QString& file) {
  const QFileInfo info(file);
  if (!info.isFile() || info.size() < kSmallestStoredPicture) return false;
  return !LoadPictureForBox(file, kProbeBox).isNull();
}

bool FetchNetworkPicture(TfrmMain& window, QString& path) {
  const Shape shape = window.CurrentShapeIsWide() ? Shape::Widescreen : Shape::Normal;
  // An address whose name would leave the store, or that names no category,
  // is never fetched.
  const QString local = StoredNetworkPath(shape, path, NetworkFile::LargePicture);
  if (local.isEmpty() || (!IsUsableStoredPicture(local) && !DownloadPicture(window, path, local))) {
    Dialogs().information(&window, szAttention, szDownloadpicfail);
    return false;
  }
  QCoreApplication::processEvents();
  path = local;
  return true;
}

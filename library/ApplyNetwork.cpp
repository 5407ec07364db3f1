// Until the download dialogs exist, an address stays as it is and is handed
// on like a local file that is not there: the wallpaper does not change, and
// the window goes through the apply sequence as usual.
#include "library/ApplyNetwork.h"

#include <QFileInfo>

bool IsNetworkPicture(const QString& path) {
  return path.left(4).compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
}

bool IsUsableStoredPicture(const QString& file) {
  const QFileInfo info(file);
  return info.isFile() && info.size() >= kSmallestStoredPicture;
}

bool FetchNetworkPicture(TfrmMain&, QString&) { return true; }

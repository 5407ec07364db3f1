// One whole process that makes a picture the desktop background through the
// program's own wallpaper backend, so that bench/root-wallpaper.sh can time
// it the way it times the other tools: start, decode, stretch, send, exit.
//   bench-set-root FILE
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "picture/ScreenPictureLoad.h"
#include "platform/FileNames.h"
#include "platform/ProgramFolder.h"
#include "platform/WallpaperSetter.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench-set-root FILE\n");
    return 2;
  }
  const QString path = QFileInfo(decodeFileName(argv[1])).absoluteFilePath();
  const DesktopSession session = DesktopSession::fromEnvironment();
  BackendServices services;
  services.loadPicture = loadScreenPicture;
  services.openPicture = openScreenPicture;
  services.copyFolder = wallpaperCopyFolder(dataFolder());
  const SetResult result =
      makeWallpaperSetter(detectDesktopFamily(session), session, services)->setWallpaper(path);
  if (result.status == SetStatus::Applied) return 0;
  std::fprintf(stderr, "bench-set-root: %s\n", qPrintable(result.detail));
  return 1;
}

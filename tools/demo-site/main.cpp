// Writes a demo home site into a folder, so the online catalogue can be tried
// on one machine:
//   nimbra-demo-site [--host HOST] FOLDER
// FOLDER/software/ver.htm and FOLDER/software/allindex.htm are the catalogue
// pages; FOLDER/pictures/{normal,widescreen}/N/ hold the "s_" thumbnails and
// "l_" large pictures they name, painted here; FOLDER/index.html is a front
// page for a browser. HOST (default 127.0.0.1) is the host the addresses name:
// the one the program was built with as NIMBRA_HOME_HOST.
// The pages are written on every run; pictures that a run of this version
// already painted are kept.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <cstdio>

#include "DemoPictures.h"
#include "SitePages.h"

using demo::DemoPicture;
using demo::PictureKind;
using demo::ShapeInfo;

namespace {

// Bump when the pictures change, so an older site is painted again.
const QByteArray kStampText = "nimbra demo site 1\n";
const char* const kStampName = ".nimbra-demo-site";
const char* const kDefaultHost = "127.0.0.1";
constexpr int kJpegQuality = 88;
// The program refetches a stored large picture under 20000 bytes; every
// picture stays far above that.
constexpr qint64 kSmallestLargePicture = 60000;

struct Options {
  QString host = kDefaultHost;
  QString folder;
};

int Usage() {
  std::fprintf(stderr, "usage: nimbra-demo-site [--host HOST] FOLDER   (HOST defaults to %s)\n",
               kDefaultHost);
  return 2;
}

bool ParseOptions(const QStringList& arguments, Options& options) {
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == "--host" && i + 1 < arguments.size()) {
      options.host = arguments[++i];
    } else if (argument.startsWith("--host=")) {
      options.host = argument.mid(7);
    } else if (argument.startsWith('-') || !options.folder.isEmpty()) {
      return false;
    } else {
      options.folder = argument;
    }
  }
  options.host = options.host.toLower();
  return !options.folder.isEmpty();
}

// Written beside and renamed into place: an interrupted run never leaves a
// half file that a server would hand out as complete.
bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(bytes);
  return file.commit();
}

bool WriteJpeg(const QString& path, const QImage& image) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (!image.save(&file, "JPG", kJpegQuality)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool IsPainted(const QString& path) { return QFileInfo(path).size() > 0; }

bool PaintPicture(const QDir& site, const ShapeInfo& shape, const DemoPicture& picture, bool keepPainted) {
  const QString thumbnailPath = site.filePath(demo::PicturePath(shape, picture, PictureKind::Thumbnail));
  const QString largePath = site.filePath(demo::PicturePath(shape, picture, PictureKind::Large));
  if (keepPainted && IsPainted(thumbnailPath) && IsPainted(largePath)) return true;
  if (!QDir().mkpath(QFileInfo(largePath).path())) {
    std::fprintf(stderr, "nimbra-demo-site: cannot create %s\n", qPrintable(QFileInfo(largePath).path()));
    return false;
  }
  const QImage large = demo::PaintLarge(picture, shape);
  const QImage thumbnail = large.scaled(shape.thumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  for (const auto& [path, image] : {std::pair{thumbnailPath, thumbnail}, std::pair{largePath, large}}) {
    if (!WriteJpeg(path, image)) {
      std::fprintf(stderr, "nimbra-demo-site: cannot write %s\n", qPrintable(path));
      return false;
    }
  }
  if (QFileInfo(largePath).size() < kSmallestLargePicture) {
    std::fprintf(stderr, "nimbra-demo-site: %s came out at only %lld bytes\n", qPrintable(largePath),
                 static_cast<long long>(QFileInfo(largePath).size()));
    return false;
  }
  return true;
}

bool PaintPictures(const QDir& site) {
  const QString stampPath = site.filePath(kStampName);
  QFile stamp(stampPath);
  const bool keepPainted = stamp.open(QIODevice::ReadOnly) && stamp.readAll() == kStampText;
  stamp.close();
  for (const ShapeInfo& shape : demo::kShapes)
    for (const DemoPicture& picture : demo::DemoPictures())
      if (!PaintPicture(site, shape, picture, keepPainted)) return false;
  return WriteBytes(stampPath, kStampText);
}

bool WritePages(const QDir& site, const QString& host, QByteArray& indexVersion) {
  if (!QDir().mkpath(site.filePath("software"))) return false;
  const QByteArray indexPage = demo::IndexPage(host);
  indexVersion = demo::IndexVersion(indexPage);
  // The index first: a program that reads the new version page finds the
  // index it announces.
  return WriteBytes(site.filePath("software/allindex.htm"), indexPage) &&
         WriteBytes(site.filePath("software/ver.htm"), demo::VersionPage(indexVersion)) &&
         WriteBytes(site.filePath("index.html"), demo::FrontPage(host));
}

}  // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  Options options;
  if (!ParseOptions(arguments, options)) return Usage();
  if (!demo::IsUsableHost(options.host)) {
    std::fprintf(
        stderr,
        "nimbra-demo-site: \"%s\" is not a host name or IPv4 address (no port: the program uses 80)\n",
        qPrintable(options.host));
    return 2;
  }
  const QDir site(QDir::cleanPath(QDir::current().absoluteFilePath(options.folder)));
  if (!QDir().mkpath(site.path())) {
    std::fprintf(stderr, "nimbra-demo-site: cannot create %s\n", qPrintable(site.path()));
    return 1;
  }
  if (!PaintPictures(site)) return 1;
  QByteArray indexVersion;
  if (!WritePages(site, options.host, indexVersion)) {
    std::fprintf(stderr, "nimbra-demo-site: cannot write the pages under %s\n", qPrintable(site.path()));
    return 1;
  }
  std::printf("nimbra-demo-site: %zu pictures a shape for http://%s/ in %s (index version %s)\n",
              demo::DemoPictures().size(), qPrintable(options.host), qPrintable(site.path()),
              indexVersion.constData());
  return 0;
}

// Writes a demo home site into a folder, so the online catalogue can be tried
// on one machine:
//   nimbra-demo-site [--host HOST] FOLDER
// The demo pictures are painted into a temporary source folder, one folder a
// category with a sub-folder for each shape, and published from there into
// FOLDER by the same publisher as nimbra-catalogue's (tools/publish): the
// catalogue pages under FOLDER/software/, the "s_" thumbnails and "l_" large
// pictures they name under FOLDER/pictures/{normal,widescreen}/N/, and a front
// page FOLDER/index.html. HOST (default 127.0.0.1) is the host the addresses
// name: the home host the program uses (NIMBRA_HOME_HOST, at build or run
// time). Publishing again leaves pictures that came out the same untouched.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "DemoPictures.h"
#include "picture/JpegEncode.h"
#include "platform/ProgramFolder.h"
#include "tools/publish/PublishRules.h"
#include "tools/publish/Publisher.h"

using demo::DemoPicture;
using demo::ShapeInfo;

namespace {

const char* const kDefaultHost = "127.0.0.1";
// Left by the versions that painted straight into the site.
const char* const kOldStampName = ".nimbra-demo-site";
constexpr int kJpegQuality = 88;
// The program refetches a stored large picture under 20000 bytes; every
// picture stays far above that.
constexpr qint64 kSmallestLargePicture = 60000;

struct Options {
  QString host = kDefaultHost;
  QString folder;
};

int usage() {
  std::fprintf(stderr, "usage: nimbra-demo-site [--host HOST] FOLDER   (HOST defaults to %s)\n",
               kDefaultHost);
  return 2;
}

bool parseOptions(const QStringList& arguments, Options& options) {
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

struct Painting {
  const ShapeInfo* shape;
  const DemoPicture* picture;
};

// SOURCE/N/<shape>/<stem>.jpg: the publisher tells the shapes apart by the
// pictures' proportions, the sub-folder only keeps the two files apart.
QString sourcePath(const QDir& source, const Painting& painting) {
  return source.filePath(QStringLiteral("%1/%2/%3.jpg")
                             .arg(painting.picture->category)
                             .arg(painting.shape->folder, painting.picture->stem));
}

QString paintOne(const QDir& source, const Painting& painting) {
  const QString path = sourcePath(source, painting);
  if (!QDir().mkpath(QFileInfo(path).path()))
    return QStringLiteral("cannot create ") + QFileInfo(path).path();
  const QByteArray jpeg = encodeJpeg(demo::paintLarge(*painting.picture, *painting.shape), kJpegQuality);
  QSaveFile file(path);
  if (jpeg.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit())
    return QStringLiteral("cannot write ") + path;
  if (QFileInfo(path).size() < kSmallestLargePicture)
    return QStringLiteral("%1 came out at only %2 bytes").arg(path).arg(QFileInfo(path).size());
  return {};
}

bool paintSource(const QDir& source) {
  std::vector<Painting> paintings;
  for (const ShapeInfo& shape : demo::kShapes)
    for (const DemoPicture& picture : demo::demoPictures()) paintings.push_back({&shape, &picture});
  std::vector<QString> problems(paintings.size());
  publish::forEachInParallel(int(paintings.size()), 0,
                             [&](int i) { problems[i] = paintOne(source, paintings[i]); });
  for (const QString& problem : problems) {
    if (problem.isEmpty()) continue;
    std::fprintf(stderr, "nimbra-demo-site: %s\n", qPrintable(problem));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const QCoreApplication application(argc, argv);  // the image format plugins need it
  Options options;
  if (!parseOptions(application.arguments().mid(1), options)) return usage();
  if (!isUsableHomeHost(options.host)) {
    std::fprintf(
        stderr,
        "nimbra-demo-site: \"%s\" is not a host name or IPv4 address (no port: the program uses 80)\n",
        qPrintable(options.host));
    return 2;
  }
  const QTemporaryDir source;
  if (!source.isValid() || !paintSource(QDir(source.path()))) {
    std::fprintf(stderr, "nimbra-demo-site: cannot paint the demo pictures\n");
    return 1;
  }
  publish::PublishOptions publishing;
  publishing.source = source.path();
  publishing.site = options.folder;
  publishing.baseUrl = publish::baseUrlOfHost(options.host);
  publishing.title = QStringLiteral("Nimbra Wallpaper demo site");
  const publish::PublishSinks sinks{
      [](const QString& line) { std::fprintf(stderr, "nimbra-demo-site: %s\n", qPrintable(line)); }, {}};
  const publish::PublishResult result = publish::publishCatalogue(publishing, sinks);
  if (!result.ok) {
    std::fprintf(stderr, "nimbra-demo-site: %s\n", qPrintable(result.error));
    return 1;
  }
  QFile::remove(QDir(options.folder).filePath(kOldStampName));
  std::printf("nimbra-demo-site: %zu pictures a shape for %s in %s (index version %s)\n",
              demo::demoPictures().size(), qPrintable(publishing.baseUrl),
              qPrintable(QDir(options.folder).absolutePath()), result.indexVersion.constData());
  return 0;
}

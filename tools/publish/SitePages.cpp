#include "tools/publish/SitePages.h"

#include <QCryptographicHash>

#include "catalogue/CatalogueCheck.h"
#include "catalogue/CatalogueRules.h"
#include "tools/publish/PublishRules.h"

namespace publish {

namespace {

constexpr Shape kShapes[] = {Shape::Normal, Shape::Widescreen};

QString kindPrefix(PictureKind kind) {
  return kind == PictureKind::Thumbnail ? QStringLiteral("s_") : QStringLiteral("l_");
}

QString htmlEscaped(const QString& text) { return text.toHtmlEscaped(); }

// Where the program keeps a picture matters here only below its data folder.
QString addressProblem(const QString& address, const SitePicture& picture) {
  const QString dataFolder = QStringLiteral("/data/");
  const QString thumbnail = storedNetworkPath(dataFolder, picture.shape, address, NetworkFile::Thumbnail);
  const QString large =
      storedNetworkPath(dataFolder, picture.shape, largeAddressOf(address), NetworkFile::LargePicture);
  const QString folder = categoryFolder(dataFolder, picture.shape, StoreSide::Network, picture.category);
  if (!addressInCategory(address, picture.category))
    return address + QStringLiteral(" is not in its category");
  if (thumbnail != folder + QStringLiteral("s_") + picture.tail ||
      large != folder + QStringLiteral("l_") + picture.tail)
    return address + QStringLiteral(" would not be stored under its own name");
  return {};
}

}  // namespace

QString pictureFolder(Shape shape, int category) {
  return QStringLiteral("pictures/%1/%2").arg(shapeFolderName(shape)).arg(category);
}

QString picturePath(const SitePicture& picture, PictureKind kind) {
  return pictureFolder(picture.shape, picture.category) + u'/' + kindPrefix(kind) + picture.tail;
}

QString pictureAddress(const QString& base, const SitePicture& picture, PictureKind kind) {
  return base + picturePath(picture, kind);
}

QByteArray indexPage(const QString& base, const std::vector<SitePicture>& pictures) {
  QByteArray page = "<quenlitstart>\n";
  for (const Shape shape : kShapes) {
    page += "<wallpaper-" + shapeFolderName(shape).toLatin1() + ">\n";
    for (const SitePicture& picture : pictures)
      if (picture.shape == shape)
        page += pictureAddress(base, picture, PictureKind::Thumbnail).toLatin1() + '\n';
  }
  page += "<quenlitend>\n";
  return page;
}

QByteArray indexVersion(const QByteArray& indexPage) {
  return QCryptographicHash::hash(indexPage, QCryptographicHash::Sha1).toHex().left(12);
}

QByteArray versionPage(const QByteArray& indexVersion) {
  return "<quenlitstart>\n(softver=" + CatalogueCheck::ProgramVersion.toLatin1() +
         ")\n[indexver=" + indexVersion + "]\n<quenlitend>\n";
}

QByteArray frontPage(const QString& title, const std::vector<SitePicture>& pictures) {
  QString page = QStringLiteral(
                     "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n"
                     "<style>body{font-family:sans-serif;background:#10262b;color:#e8f4f6}"
                     "a{color:#8fefff}img{margin:4px;border:1px solid #4a7a82}</style></head><body>\n"
                     "<h1>%1</h1>\n")
                     .arg(htmlEscaped(title));
  for (int category = 1; category <= kCategoryCount; ++category) {
    QString links;
    int count = 0;
    for (const Shape shape : kShapes) {
      for (const SitePicture& picture : pictures) {
        if (picture.category != category || picture.shape != shape) continue;
        ++count;
        links += QStringLiteral("<a href=\"%1\"><img src=\"%2\" alt=\"%3\"></a>\n")
                     .arg(picturePath(picture, PictureKind::Large),
                          picturePath(picture, PictureKind::Thumbnail), shapeFolderName(shape));
      }
    }
    page += QStringLiteral("<h2>%1 (%2)</h2>\n<p>%3</p>\n")
                .arg(htmlEscaped(QString::fromLatin1(kCategoryCaptions[category - 1])))
                .arg(count)
                .arg(count == 0 ? QStringLiteral("No pictures yet.") : links);
  }
  page += QStringLiteral(
      "<p>Catalogue: <a href=\"software/allindex.htm\">allindex.htm</a></p>\n</body></html>\n");
  return page.toUtf8();
}

QString checkPages(const QString& base, const std::vector<SitePicture>& pictures, const QByteArray& indexPage,
                   const QByteArray& versionPage) {
  if (!hasPageMarkers(pageTextOf(indexPage)) || !hasPageMarkers(pageTextOf(versionPage)))
    return QStringLiteral("a page lacks its markers");
  if (softwareVersionOf(versionPage) != CatalogueCheck::ProgramVersion.toLatin1())
    return QStringLiteral("the version page does not carry the program's version");
  if (indexVersionOf(versionPage) != indexVersion(indexPage))
    return QStringLiteral("the version page does not carry the index version");
  const CatalogueEntries entries = parseIndexPage(indexPage);
  for (const Shape shape : kShapes) {
    const QList<QByteArray>& read = shape == Shape::Widescreen ? entries.widescreen : entries.normal;
    qsizetype n = 0;
    for (const SitePicture& picture : pictures) {
      if (picture.shape != shape) continue;
      const QString address = pictureAddress(base, picture, PictureKind::Thumbnail);
      if (n >= read.size() || read[n] != address.toLatin1())
        return address + QStringLiteral(" does not read back from the index page");
      if (const QString problem = addressProblem(address, picture); !problem.isEmpty()) return problem;
      ++n;
    }
    if (n != read.size()) return QStringLiteral("the index page holds addresses of no picture");
  }
  return {};
}

}  // namespace publish

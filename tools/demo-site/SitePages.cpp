#include "SitePages.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace demo {

namespace {

const char* const kCategoryNames[] = {"Nature", "Cartoon", "Holiday", "Game and Movies",
                                      "Art &amp; illustrator"};

QString KindPrefix(PictureKind kind) { return kind == PictureKind::Thumbnail ? "s_" : "l_"; }

}  // namespace

QString PicturePath(const ShapeInfo& shape, const DemoPicture& picture, PictureKind kind) {
  return QStringLiteral("pictures/%1/%2/%3%4.jpg")
      .arg(shape.folder)
      .arg(picture.category)
      .arg(KindPrefix(kind), picture.stem);
}

QString PictureAddress(const QString& host, const ShapeInfo& shape, const DemoPicture& picture,
                       PictureKind kind) {
  return QStringLiteral("http://%1/%2").arg(host, PicturePath(shape, picture, kind));
}

QByteArray IndexPage(const QString& host) {
  QByteArray page = "<quenlitstart>\n";
  for (const ShapeInfo& shape : kShapes) {
    page += QStringLiteral("<wallpaper-%1>\n").arg(shape.folder).toLatin1();
    for (const DemoPicture& picture : DemoPictures())
      page += PictureAddress(host, shape, picture, PictureKind::Thumbnail).toLatin1() + '\n';
  }
  page += "<quenlitend>\n";
  return page;
}

QByteArray IndexVersion(const QByteArray& indexPage) {
  return QCryptographicHash::hash(indexPage, QCryptographicHash::Sha1).toHex().left(12);
}

QByteArray VersionPage(const QByteArray& indexVersion) {
  return "<quenlitstart>\n(softver=1.0)\n[indexver=" + indexVersion + "]\n<quenlitend>\n";
}

QByteArray FrontPage(const QString& host) {
  QString page = QStringLiteral(
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Nimbra Wallpaper demo site</title>\n"
      "<style>body{font-family:sans-serif;background:#10262b;color:#e8f4f6}"
      "a{color:#8fefff}img{margin:4px;border:1px solid #4a7a82}</style></head><body>\n"
      "<h1>Nimbra Wallpaper demo site</h1>\n");
  for (const ShapeInfo& shape : kShapes) {
    page += QStringLiteral("<h2>%1</h2>\n").arg(shape.shape == Shape::Widescreen ? "Widescreen" : "Normal");
    for (int category = 1; category <= 5; ++category) {
      page += QStringLiteral("<h3>%1</h3>\n<p>").arg(kCategoryNames[category - 1]);
      for (const DemoPicture& picture : DemoPictures()) {
        if (picture.category != category) continue;
        page += QStringLiteral("<a href=\"/%1\"><img src=\"/%2\" alt=\"%3\"></a>")
                    .arg(PicturePath(shape, picture, PictureKind::Large),
                         PicturePath(shape, picture, PictureKind::Thumbnail), picture.stem);
      }
      page += "</p>\n";
    }
  }
  page += QStringLiteral(
              "<p>Catalogue: <a href=\"http://%1/software/allindex.htm\">allindex.htm</a></p>\n"
              "</body></html>\n")
              .arg(host);
  return page.toUtf8();
}

bool IsUsableHost(const QString& host) {
  static const QRegularExpression kHost(QStringLiteral("^[a-z0-9]([a-z0-9.-]*[a-z0-9])?$"));
  return host.size() <= 200 && kHost.match(host).hasMatch();
}

}  // namespace demo

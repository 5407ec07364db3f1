// The pages of a home site, the one place that writes them: the version page
// and the index page that the program's catalogue check reads, and a front
// page for a browser. The check's reader (catalogue/CatalogueRules.h) reads
// them back in checkPages, so the two cannot drift apart unnoticed.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "library/StoreRules.h"

namespace publish {

enum class PictureKind { Thumbnail, Large };

// A picture of the site: its thumbnail is pictures/SHAPE/N/s_TAIL and its
// large picture pictures/SHAPE/N/l_TAIL below the site's folder.
struct SitePicture {
  Shape shape = Shape::Normal;
  int category = 1;
  QString tail;
};

QString picturePath(const SitePicture& picture, PictureKind kind);
// "pictures/" + shape + "/" + N: where a category's pictures of a shape lie.
QString pictureFolder(Shape shape, int category);
// base + the picture's path; base ends with "/".
QString pictureAddress(const QString& base, const SitePicture& picture, PictureKind kind);

// Both shape blocks of thumbnail addresses, each in the order of pictures,
// one a line with LF line ends and nothing between a block's tag and its
// first address.
QByteArray indexPage(const QString& base, const std::vector<SitePicture>& pictures);
// Changes whenever the index page does, so that a program that has stored an
// older catalogue fetches the new one.
QByteArray indexVersion(const QByteArray& indexPage);
// Software version "1.0", the program's own, and the index version. No ")"
// or "]" stands before the values, since the program takes the first of each.
QByteArray versionPage(const QByteArray& indexVersion);
// The categories with their thumbnails, each a link to its large picture.
// Links are relative, so the page works wherever the site is served.
QByteArray frontPage(const QString& title, const std::vector<SitePicture>& pictures);

// Reads the pages back with the program's own rules: both markers, software
// version, index version, every address in its block and order, each one in
// its category and stored under a safe name. Empty when all holds, else what
// does not.
QString checkPages(const QString& base, const std::vector<SitePicture>& pictures, const QByteArray& indexPage,
                   const QByteArray& versionPage);

}  // namespace publish

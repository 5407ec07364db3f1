// The text pages of the demo home site: the version page and the index page
// that the program's catalogue check reads, and a front page for the user's
// browser ("Wallpaper Gallery").
#pragma once

#include <QByteArray>
#include <QString>

#include "DemoPictures.h"

namespace demo {

enum class PictureKind { Thumbnail, Large };

// "http://" + host + "/pictures/" + shape + "/" + N + "/s_" (or "l_") + tail.
QString PictureAddress(const QString& host, const ShapeInfo& shape, const DemoPicture& picture,
                       PictureKind kind);
// The same picture's path below the site's folder.
QString PicturePath(const ShapeInfo& shape, const DemoPicture& picture, PictureKind kind);

// Both blocks of thumbnail addresses, one a line with LF line ends and nothing
// between a block's tag and its first address.
QByteArray IndexPage(const QString& host);
// Changes whenever the index page does, so a program that has stored an older
// catalogue fetches the new one.
QByteArray IndexVersion(const QByteArray& indexPage);
// Software version "1.0", the program's own, and the index version. No ")"
// or "]" stands before the values, since the program takes the first of each.
QByteArray VersionPage(const QByteArray& indexVersion);
QByteArray FrontPage(const QString& host);

// Whether host can stand in an address as it is: a name or a numeric IPv4
// address in lower case. No port: the program always talks to port 80.
bool IsUsableHost(const QString& host);

}  // namespace demo

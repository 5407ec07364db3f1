#include "tools/publish/PublishRules.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <cstring>
#include <optional>

#include "library/GridLayout.h"
#include "library/Settings.h"
#include "platform/ProgramFolder.h"

namespace publish {

namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

char32_t asciiFolded(QChar c) { return (c >= u'A' && c <= u'Z') ? c.unicode() + 32 : c.unicode(); }

// Compares the digit runs starting at a[i] and b[j] by value; advances both.
int compareNumbers(const QString& a, qsizetype& i, const QString& b, qsizetype& j) {
  while (i < a.size() && a[i] == u'0') ++i;
  while (j < b.size() && b[j] == u'0') ++j;
  const qsizetype startA = i, startB = j;
  while (i < a.size() && isDigit(a[i])) ++i;
  while (j < b.size() && isDigit(b[j])) ++j;
  if (i - startA != j - startB) return i - startA < j - startB ? -1 : 1;
  return QStringView(a).sliced(startA, i - startA).compare(QStringView(b).sliced(startB, j - startB));
}

bool hasJpegExtension(const QString& fileName) {
  const QString suffix = QFileInfo(fileName).suffix();
  return suffix.compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0 ||
         suffix.compare(QLatin1String("jpeg"), Qt::CaseInsensitive) == 0 ||
         suffix.compare(QLatin1String("jpe"), Qt::CaseInsensitive) == 0;
}

}  // namespace

SourceKind kindOfSourceFile(const QString& fileName) {
  if (hasJpegExtension(fileName)) return SourceKind::Jpeg;
  const QString suffix = QFileInfo(fileName).suffix();
  if (suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0 ||
      suffix.compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0)
    return SourceKind::OtherPicture;
  return SourceKind::NotAPicture;
}

QSize thumbnailSize(Shape shape) { return gridOf(shape).imageSize; }

QString shapeFolderName(Shape shape) {
  return shape == Shape::Widescreen ? QStringLiteral("widescreen") : QStringLiteral("normal");
}

bool naturalLess(const QString& a, const QString& b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const int order = compareNumbers(a, i, b, j);
      if (order != 0) return order < 0;
      continue;
    }
    const char32_t x = asciiFolded(a[i]), y = asciiFolded(b[j]);
    if (x != y) return x < y;
    ++i;
    ++j;
  }
  if ((i < a.size()) != (j < b.size())) return j < b.size();
  return a < b;
}

QString siteBaseUrl(const QString& text, QString* problem) {
  const auto refuse = [problem](const QString& reason) {
    if (problem) *problem = reason;
    return QString();
  };
  const qsizetype mark = text.indexOf(QLatin1String("://"));
  const QString scheme = mark < 0 ? QString() : text.left(mark).toLower();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
    return refuse(QStringLiteral("the address must start with http:// or https://"));
  const QString rest = text.mid(mark + 3);
  const qsizetype slash = rest.indexOf(u'/');
  const QString authority = slash < 0 ? rest : rest.left(slash);
  QString path = slash < 0 ? QStringLiteral("/") : rest.mid(slash);
  // The same host and port rules as the program's home site.
  const std::optional<QString> site = homeSiteAddress(scheme + QLatin1String("://") + authority);
  if (!site)
    return refuse(
        QStringLiteral("\"%1\" is not a host name or IPv4 address with an optional port").arg(authority));
  if (!path.endsWith(u'/')) path += u'/';
  static const QRegularExpression kPath(QStringLiteral("^(/[a-z0-9._~-]+)*/$"));
  if (!kPath.match(path).hasMatch())
    return refuse(
        QStringLiteral("the path may hold only lower-case letters, digits, \".\", \"-\", \"_\" and "
                       "\"~\" (the program lower-cases every address)"));
  if (path.contains(QLatin1String("/s_")) || path.contains(QLatin1String("/l_")))
    return refuse(
        QStringLiteral("no folder of the path may start with \"s_\" or \"l_\": the program would "
                       "take it for a picture's name"));
  const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
  if (parts.contains(QLatin1String(".")) || parts.contains(QLatin1String("..")))
    return refuse(QStringLiteral("no \".\" or \"..\" folders in the path"));
  return *site + path;
}

QString baseUrlOfHost(const QString& host) { return QStringLiteral("http://") + host + u'/'; }

}  // namespace publish

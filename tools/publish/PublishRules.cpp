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

constexpr int kMaxStemLength = 48;
const QString kFallbackStem = QStringLiteral("picture");

// XXH64's primes.
constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;

std::uint64_t rotateLeft(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

// Little-endian reads, whatever the machine.
std::uint64_t read64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
std::uint64_t read32(const unsigned char* p) {
  return std::uint64_t(p[0]) | std::uint64_t(p[1]) << 8 | std::uint64_t(p[2]) << 16 |
         std::uint64_t(p[3]) << 24;
}

std::uint64_t round(std::uint64_t accumulator, std::uint64_t input) {
  accumulator += input * kPrime2;
  return rotateLeft(accumulator, 31) * kPrime1;
}

std::uint64_t mergeRound(std::uint64_t hash, std::uint64_t lane) {
  hash ^= round(0, lane);
  return hash * kPrime1 + kPrime4;
}

bool isAsciiLetterOrDigit(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'); }

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

int categoryOfFolder(const QString& name) {
  for (int category = 1; category <= kCategoryCount; ++category) {
    if (name == QString::number(category)) return category;
    if (name.compare(QLatin1String(kCategoryCaptions[category - 1]), Qt::CaseInsensitive) == 0)
      return category;
  }
  return 0;
}

SourceKind kindOfSourceFile(const QString& fileName) {
  if (hasJpegExtension(fileName)) return SourceKind::Jpeg;
  const QString suffix = QFileInfo(fileName).suffix();
  if (suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0 ||
      suffix.compare(QLatin1String("bmp"), Qt::CaseInsensitive) == 0)
    return SourceKind::OtherPicture;
  return SourceKind::NotAPicture;
}

Shape shapeOfPicture(QSize size) { return isWideScreenSize(size) ? Shape::Widescreen : Shape::Normal; }

QSize thumbnailSize(Shape shape) { return gridOf(shape).imageSize; }

QString shapeFolderName(Shape shape) {
  return shape == Shape::Widescreen ? QStringLiteral("widescreen") : QStringLiteral("normal");
}

QString safeStem(const QString& fileName) {
  const QString base = QFileInfo(fileName).completeBaseName();
  // Compatibility decomposition splits "é" into "e" and a combining accent,
  // which is then dropped with every other character outside the set.
  const QString decomposed = base.normalized(QString::NormalizationForm_KD).toLower();
  QString stem;
  for (const QChar c : decomposed) {
    if (stem.size() >= kMaxStemLength) break;
    if (isAsciiLetterOrDigit(c)) {
      stem += c;
    } else if (c.category() == QChar::Mark_NonSpacing) {
      continue;
    } else if (!stem.isEmpty() && !stem.endsWith(u'-')) {
      stem += u'-';
    }
  }
  while (stem.endsWith(u'-')) stem.chop(1);
  return stem.isEmpty() ? kFallbackStem : stem;
}

QString pictureTail(const QString& stem, std::uint64_t contentHash, int clashNumber) {
  QString tail = stem + u'-' + hashText(contentHash).left(8);
  if (clashNumber > 1) tail += u'-' + QString::number(clashNumber);
  return tail + QStringLiteral(".jpg");
}

std::uint64_t contentHash(QByteArrayView bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::uint64_t length = std::uint64_t(bytes.size());
  const unsigned char* const end = p + length;
  std::uint64_t hash;
  if (length >= 32) {
    std::uint64_t lanes[4] = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
    for (; end - p >= 32; p += 32)
      for (int lane = 0; lane < 4; ++lane) lanes[lane] = round(lanes[lane], read64(p + 8 * lane));
    hash = rotateLeft(lanes[0], 1) + rotateLeft(lanes[1], 7) + rotateLeft(lanes[2], 12) +
           rotateLeft(lanes[3], 18);
    for (const std::uint64_t lane : lanes) hash = mergeRound(hash, lane);
  } else {
    hash = kPrime5;
  }
  hash += length;
  for (; end - p >= 8; p += 8) hash = rotateLeft(hash ^ round(0, read64(p)), 27) * kPrime1 + kPrime4;
  if (end - p >= 4) {
    hash = rotateLeft(hash ^ (read32(p) * kPrime1), 23) * kPrime2 + kPrime3;
    p += 4;
  }
  for (; p < end; ++p) hash = rotateLeft(hash ^ (*p * kPrime5), 11) * kPrime1;
  hash ^= hash >> 33;
  hash *= kPrime2;
  hash ^= hash >> 29;
  hash *= kPrime3;
  hash ^= hash >> 32;
  return hash;
}

QString hashText(std::uint64_t hash) { return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0')); }

std::optional<std::uint64_t> hashFromText(const QString& text) {
  static const QRegularExpression kHex(QStringLiteral("^[0-9a-f]{16}$"));
  if (!kHex.match(text).hasMatch()) return std::nullopt;
  return text.toULongLong(nullptr, 16);
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

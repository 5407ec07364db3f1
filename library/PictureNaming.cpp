#include "library/PictureNaming.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "library/Settings.h"

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

}  // namespace

int categoryOfFolder(const QString& name) {
  for (int category = 1; category <= kCategoryCount; ++category) {
    if (name == QString::number(category)) return category;
    if (name.compare(QLatin1String(kCategoryCaptions[category - 1]), Qt::CaseInsensitive) == 0)
      return category;
  }
  return 0;
}

Shape shapeOfPicture(QSize size) { return isWideScreenSize(size) ? Shape::Widescreen : Shape::Normal; }

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

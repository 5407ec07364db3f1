#include "library/RotationRules.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/FileNames.h"

namespace {

// Only the file's first bytes can be a byte-order mark (parseRotationText
// takes it off): a U+FEFF anywhere else, at the start of a line too, belongs
// to its entry, so the decoders must not drop one.
constexpr auto kKeepFeff = QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom;
constexpr QByteArrayView kUtf8Bom = "\xEF\xBB\xBF";

// Lists written by this program hold each path's own bytes: UTF-8, but for a
// name that is not. Older lists came from a system whose 8-bit code page was
// GBK. A line that is not UTF-8 is taken as bytes when they name a file, and
// in the old code page otherwise.
QString decodeListLine(const QByteArray& line) {
  QStringDecoder utf8(QStringDecoder::Utf8, kKeepFeff);
  QString text = utf8.decode(line);
  if (!utf8.hasError()) return text;
  const QString asBytes = decodeFileName(line);
  if (fileExists(asBytes)) return asBytes;
  QStringDecoder legacy("GB18030", kKeepFeff);
  if (legacy.isValid()) {
    text = legacy.decode(line);
    if (!legacy.hasError()) return text;
  }
  return asBytes;
}

// Line ends are ASCII, which no byte of a UTF-8 or GBK character is, so the
// text can be decoded a line at a time.
QString decodeListText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, kKeepFeff);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  text.clear();
  qsizetype start = 0;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    text += decodeListLine(bytes.mid(start, i - start)) + QLatin1Char(bytes[i]);
    start = i + 1;
  }
  return text + decodeListLine(bytes.mid(start));
}

std::vector<FolderEntry> sortedEntries(const QString& folder) {
  std::vector<FolderEntry> entries = readFolder(folder);
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    return nameLessCaseInsensitive(a.name, b.name);
  });
  return entries;
}

// `inside` holds the real paths of the folders the scan is in, outermost
// first; a link back to one of them would make the scan endless.
void collectBelow(const QString& folder, QStringList& inside, QStringList& list, QStringList& leftOut) {
  for (const FolderEntry& entry : sortedEntries(folder)) {
    if (entry.kind == EntryKind::Folder) {
      const QString real =
          entry.isLink ? realPath(folder + entry.name) : inside.last() + QLatin1Char('/') + entry.name;
      if (real.isEmpty() || inside.contains(real)) continue;
      inside.append(real);
      collectBelow(folder + entry.name + QLatin1Char('/'), inside, list, leftOut);
      inside.removeLast();
    } else if (entry.kind == EntryKind::File && isRotationPicture(entry.name)) {
      const QString path = folder + entry.name;
      (canBeListed(path) ? list : leftOut).append(path);
    }
  }
}

}  // namespace

QStringList parseRotationText(const QByteArray& bytes) {
  const qsizetype zero = bytes.indexOf('\0');
  QByteArrayView content = zero < 0 ? QByteArrayView(bytes) : QByteArrayView(bytes).first(zero);
  if (content.startsWith(kUtf8Bom)) content = content.sliced(kUtf8Bom.size());
  const QString text = decodeListText(content.toByteArray());
  QStringList entries;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
    entries.append(text.mid(start, i - start));
    if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
    start = i + 1;
  }
  if (start < text.size()) entries.append(text.mid(start));
  return entries;
}

QByteArray formatRotationText(const QStringList& entries) {
  QByteArray bytes;
  // A first entry that starts with U+FEFF would read as a byte-order mark.
  if (!entries.isEmpty() && entries.first().startsWith(QChar(0xFEFF))) bytes += kUtf8Bom;
  for (const QString& entry : entries) bytes += encodeFileName(entry) + "\r\n";
  return bytes;
}

std::optional<QStringList> readRotationFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return parseRotationText(file.readAll());
}

namespace {
bool fileHolds(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) && file.size() == bytes.size() && file.readAll() == bytes;
}
}  // namespace

bool writeRotationFile(const QString& path, const QStringList& entries, QString* error) {
  const QByteArray text = formatRotationText(entries);
  // Every start writes the list back, mostly as it was read.
  if (fileHolds(path, text)) return true;
  QString why;
  if (writeFileAtomically(path, text, Durability::RenameOnly, &why)) return true;
  if (error) *error = QStringLiteral("%1: %2").arg(path, why);
  return false;
}

bool canBeListed(const QString& path) {
  return !path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r'));
}

bool isRotationPicture(const QString& fileName) {
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return false;
  const QString extension = asciiLower(fileName.mid(dot));
  const bool picture = extension == QLatin1String(".jpg") || extension == QLatin1String(".bmp");
  return picture && asciiLower(fileName.left(1)) == QLatin1String("l");
}

QStringList CollectLargePictures(const QString& folder, QStringList& list) {
  QStringList leftOut;
  const QString real = realPath(folder);
  if (real.isEmpty()) return leftOut;
  QStringList inside{real};
  collectBelow(folder, inside, list, leftOut);
  return leftOut;
}

// A plain stat: the start-up load checks every entry of a list that may hold
// thousands, and QFileInfo costs several times as much per path.
bool fileExists(const QString& path) {
  struct stat info {};
  return !path.isEmpty() && ::stat(encodeFileName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

int positionAfterRemoval(int current, int removed, int countLeft) {
  if (current <= removed) return current;
  return countLeft > current ? current - 1 : 1;
}

void dropMissingEntries(QStringList& entries, int& current, const ExistsFn& exists) {
  qsizetype i = 0;
  while (i < entries.size()) {
    if (exists(entries.at(i))) {
      ++i;
      continue;
    }
    entries.removeAt(i);
    current = positionAfterRemoval(current, int(i) + 1, int(entries.size()));
  }
}

// Positions are widened first: a stored position can be any 32-bit value.
std::optional<int> nextPosition(const QStringList& rows, int current, const ExistsFn& exists) {
  const qint64 count = rows.size();
  const qint64 here = current;
  for (qint64 p = std::max<qint64>(here + 1, 1); p <= count; ++p) {
    if (exists(rows.at(p - 1))) return int(p);
  }
  for (qint64 p = 1; p <= std::min(here - 1, count); ++p) {
    if (exists(rows.at(p - 1))) return int(p);
  }
  return std::nullopt;
}

std::optional<int> previousPosition(const QStringList& rows, int current, const ExistsFn& exists) {
  const qint64 count = rows.size();
  const qint64 here = current;
  for (qint64 p = std::min(here - 1, count); p >= 1; --p) {
    if (exists(rows.at(p - 1))) return int(p);
  }
  for (qint64 p = count; p >= std::max<qint64>(here + 1, 1); --p) {
    if (exists(rows.at(p - 1))) return int(p);
  }
  return std::nullopt;
}

std::optional<int> advanceTarget(int current, int count) {
  if (count <= 0) return std::nullopt;
  return current >= 0 && current < count ? current + 1 : 1;
}

int positionInRange(int current, int count) {
  if (count <= 0) return current;
  return current < 1 || qint64(current) > qint64(count) + 1 ? count + 1 : current;
}

bool dayHasPassed(const QDateTime& previous, const QDateTime& now) {
  if (!previous.isValid() || !now.isValid()) return false;
  constexpr qint64 kSecondsPerDay = 24 * 60 * 60;
  return std::abs(previous.secsTo(now)) >= kSecondsPerDay;
}

QRect previewGeometry(Shape screenShape) {
  constexpr int kTop = 206;
  constexpr int kHeight = 120;
  return screenShape == Shape::Widescreen ? QRect(512, kTop, 192, kHeight) : QRect(530, kTop, 160, kHeight);
}

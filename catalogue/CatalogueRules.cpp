#include "catalogue/CatalogueRules.h"

#include <algorithm>

namespace {

constexpr char kStartMarker[] = "<quenlitstart>";
constexpr char kEndMarker[] = "<quenlitend>";
constexpr char kNormalTag[] = "<wallpaper-normal>";
constexpr char kWidescreenTag[] = "<wallpaper-widescreen>";

// The rules count positions from 1 and use 0 for "absent"; so do these helpers.
qsizetype positionOf(const QByteArray& text, const char* what) { return text.indexOf(what) + 1; }

// Position of what in text searched from its 7th character, counted from that
// 7th character as 1.
qsizetype positionFromSeventh(const QByteArray& text, const char* what) {
  const qsizetype index = text.indexOf(what, 6);
  return index < 0 ? 0 : index - 5;
}

// The text after opener up to the first closer of the whole page. A value of
// fewer than two characters reads as empty, as does one whose closer comes
// first. Without the opener there is no value at all: counting from position 0
// would read arbitrary page text as a version.
QByteArray valueAfter(const QByteArray& page, const QByteArray& opener, char closer) {
  const qsizetype open = page.indexOf(opener) + 1;
  const qsizetype close = page.indexOf(closer) + 1;
  const qsizetype length = opener.size();
  if (open == 0 || open + length + 1 >= close) return {};
  return page.mid(open + length - 1, close - open - length);
}

// The characters of text that follow the tag found at 1-based tagPosition, up
// to one short of nextPosition - tagPosition; the block thus runs on past the
// "<" that opens the next tag, and the entry loop stops at that "<".
QByteArray blockAfter(const QByteArray& text, qsizetype tagPosition, qsizetype tagLength,
                      qsizetype nextPosition) {
  if (tagPosition <= 0 || tagPosition >= nextPosition) return {};
  return text.mid(tagPosition - 1 + tagLength, nextPosition - tagPosition - 1);
}

}  // namespace

QByteArray pageTextOf(const QByteArray& pageBytes) {
  const qsizetype zero = pageBytes.indexOf('\0');
  return zero < 0 ? pageBytes : pageBytes.left(zero);
}

bool hasPageMarkers(const QByteArray& pageText) {
  return pageText.contains(kStartMarker) && pageText.contains(kEndMarker);
}

QByteArray softwareVersionOf(const QByteArray& versionPage) {
  return valueAfter(versionPage, QByteArrayLiteral("(softver="), ')');
}

QByteArray indexVersionOf(const QByteArray& versionPage) {
  return valueAfter(versionPage, QByteArrayLiteral("[indexver="), ']');
}

QString checkDateText(const QDate& day) {
  return QStringLiteral("%1-%2-%3")
      .arg(day.month(), 2, 10, QLatin1Char('0'))
      .arg(day.day(), 2, 10, QLatin1Char('0'))
      .arg(day.year(), 4, 10, QLatin1Char('0'));
}

QByteArray indexTextOf(const QByteArray& indexPage) {
  QByteArray text = indexPage.toLower();
  text.removeIf([](char c) { return c == '\n' || c == '\r'; });
  return text;
}

// Where the next address starts at or after index: "http://" or "https://",
// whichever comes first; -1 when neither does.
qsizetype addressIndex(const QByteArray& text, qsizetype index) {
  const qsizetype plain = text.indexOf("http://", index);
  const qsizetype secure = text.indexOf("https://", index);
  if (plain < 0 || secure < 0) return std::max(plain, secure);
  return std::min(plain, secure);
}

// Like positionOf and positionFromSeventh, for an address of either scheme.
qsizetype addressPosition(const QByteArray& text) { return addressIndex(text, 0) + 1; }
qsizetype addressPositionFromSeventh(const QByteArray& text) {
  const qsizetype index = addressIndex(text, 6);
  return index < 0 ? 0 : index - 5;
}

QList<QByteArray> blockEntries(QByteArray block) {
  QList<QByteArray> entries;
  qsizetype first = addressPosition(block);
  qsizetype next = addressPositionFromSeventh(block);
  while (first != 0 && first < next) {
    entries.append(block.left(next - first + 6).toLower());
    block = block.mid(next - first + 6);
    first = addressPosition(block);
    next = addressPositionFromSeventh(block);
  }
  if (first == 0) return entries;
  const qsizetype tagOpen = positionFromSeventh(block, "<");
  if (first < tagOpen) entries.append(block.left(tagOpen - first + 6).toLower());
  return entries;
}

CatalogueEntries parseIndexPage(const QByteArray& indexPage) {
  const QByteArray text = indexTextOf(indexPage);
  const qsizetype normalTag = positionOf(text, kNormalTag);
  const qsizetype widescreenTag = positionOf(text, kWidescreenTag);
  const qsizetype endMarker = positionOf(text, kEndMarker);
  CatalogueEntries entries;
  entries.normal = blockEntries(blockAfter(text, normalTag, sizeof kNormalTag - 1, widescreenTag));
  entries.widescreen = blockEntries(blockAfter(text, widescreenTag, sizeof kWidescreenTag - 1, endMarker));
  return entries;
}

// The rules of the catalogue check with no window in sight: the page markers,
// the two values of the version page, the check date and the index parse.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

// Readers look at catalogue keys 1 to 1000 only, and the refresh clears exactly
// those before it writes.
inline constexpr int kCatalogueKeyCount = 1000;

inline constexpr char kCheckSection[] = "checkupdate";
inline constexpr char kNormalSection[] = "wallpaper-normal";
inline constexpr char kWidescreenSection[] = "wallpaper-widescreen";
inline constexpr char kNeverCheckedDate[] = "03-18-2008";

inline constexpr char kVersionPagePath[] = "/software/ver.htm";
inline constexpr char kIndexPagePath[] = "/software/allindex.htm";

// The text of a fetched page as the check sees it: its bytes up to the first
// zero byte.
QByteArray pageTextOf(const QByteArray& pageBytes);

// A page counts as complete only when both markers stand in it, in lower case.
bool hasPageMarkers(const QByteArray& pageText);

// The value after "(softver=" up to the first ")" of the whole page; empty when
// that value would have fewer than two characters or the ")" comes first.
QByteArray softwareVersionOf(const QByteArray& versionPage);
// The value after "[indexver=" up to the first "]" of the whole page, by the
// same rule.
QByteArray indexVersionOf(const QByteArray& versionPage);

// The day of a check as stored in "checkupdate"/"date": "MM-DD-YYYY".
QString checkDateText(const QDate& day);

// The index page's text as the parse reads it: lower-cased, with every line
// end removed. CR as well as LF goes, so that a page with CR LF line ends gives
// the same entries as one with LF alone.
QByteArray indexTextOf(const QByteArray& indexPage);

// The entries of one block, in page order, exactly as the entry loop cuts them.
QList<QByteArray> blockEntries(QByteArray block);

struct CatalogueEntries {
  QList<QByteArray> normal;
  QList<QByteArray> widescreen;
};

// Both shapes' entries of an index page. A block whose tags are missing or out
// of order gives no entry.
CatalogueEntries parseIndexPage(const QByteArray& indexPage);

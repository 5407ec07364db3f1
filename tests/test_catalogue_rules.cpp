// The catalogue's page rules: markers, the two version values, the check date
// and the index parse with its entry loop.
#include <gtest/gtest.h>

#include "catalogue/CatalogueRules.h"

namespace {

using Entries = QList<QByteArray>;

QByteArray indexPage(const QByteArray& normal, const QByteArray& widescreen, const QByteArray& lineEnd) {
  QByteArray page = "<html><quenlitstart>" + lineEnd + "<wallpaper-normal>";
  for (const QByteArray& line : normal.split('|')) page += line + lineEnd;
  page += "<wallpaper-widescreen>";
  for (const QByteArray& line : widescreen.split('|')) page += line + lineEnd;
  return page + "<quenlitend></html>" + lineEnd;
}

const QByteArray kNormal =
    "http://h.example/wp/1/s_a.jpg|http://h.example/wp/2/s_b.jpg|http://h.example/wp/3/s_c.jpg";
const QByteArray kWide = "http://h.example/ws/4/s_d.jpg|http://h.example/ws/5/s_e.jpg";
const Entries kNormalEntries{"http://h.example/wp/1/s_a.jpg", "http://h.example/wp/2/s_b.jpg",
                             "http://h.example/wp/3/s_c.jpg"};
const Entries kWideEntries{"http://h.example/ws/4/s_d.jpg", "http://h.example/ws/5/s_e.jpg"};

}  // namespace

TEST(PageText, MarkersMustBothStandInLowerCase) {
  EXPECT_TRUE(hasPageMarkers("x<quenlitend>y<quenlitstart>"));
  EXPECT_FALSE(hasPageMarkers("<quenlitstart> only the start"));
  EXPECT_FALSE(hasPageMarkers("only the end <quenlitend>"));
  EXPECT_FALSE(hasPageMarkers("<QUENLITSTART><QUENLITEND>"));
  EXPECT_FALSE(hasPageMarkers(""));
}

TEST(PageText, EndsAtTheFirstZeroByte) {
  EXPECT_EQ(pageTextOf(QByteArray("<quenlitstart>\0<quenlitend>", 27)), "<quenlitstart>");
  EXPECT_EQ(pageTextOf("no zero"), "no zero");
}

TEST(VersionPage, SoftwareVersionIsTheTextUpToTheFirstClosingParenthesis) {
  EXPECT_EQ(softwareVersionOf("<quenlitstart>(softver=1.0)[indexver=5]<quenlitend>"), "1.0");
  EXPECT_EQ(softwareVersionOf("(softver=12)"), "12");
  EXPECT_EQ(softwareVersionOf("(softver=1.0 (beta)) and more)"), "1.0 (beta");
}

TEST(VersionPage, SoftwareVersionReadsEmptyWhenItCannotBeRead) {
  EXPECT_EQ(softwareVersionOf("(softver=2)"), "");
  EXPECT_EQ(softwareVersionOf("(softver=)"), "");
  EXPECT_EQ(softwareVersionOf("a) before (softver=1.0)"), "");
  EXPECT_EQ(softwareVersionOf("(softver=1.0 never closed"), "");
  // Without the opener, no page text is taken for a version.
  EXPECT_EQ(softwareVersionOf("0123456781.0) no opener"), "");
  EXPECT_EQ(softwareVersionOf("(SOFTVER=1.0)"), "");
}

TEST(VersionPage, IndexVersionFollowsTheSameRule) {
  EXPECT_EQ(indexVersionOf("(softver=1.0)[indexver=20080318]"), "20080318");
  EXPECT_EQ(indexVersionOf("[indexver=ab]"), "ab");
  EXPECT_EQ(indexVersionOf("[indexver=7]"), "");
  EXPECT_EQ(indexVersionOf("] first [indexver=20080318]"), "");
  EXPECT_EQ(indexVersionOf("0123456789ab] no opener"), "");
}

TEST(CheckDate, IsMonthDayYearWithLeadingZeros) {
  EXPECT_EQ(checkDateText(QDate(2008, 3, 8)), "03-08-2008");
  EXPECT_EQ(checkDateText(QDate(2024, 12, 25)), "12-25-2024");
}

TEST(IndexParse, LineFeedPageGivesOneAddressPerEntry) {
  const CatalogueEntries entries = parseIndexPage(indexPage(kNormal, kWide, "\n"));
  EXPECT_EQ(entries.normal, kNormalEntries);
  EXPECT_EQ(entries.widescreen, kWideEntries);
}

TEST(IndexParse, HttpsAddressesAreEntriesLikeHttpOnes) {
  const CatalogueEntries entries = parseIndexPage(indexPage(
      "https://h.example/wp/1/s_a.jpg|http://h.example/wp/2/s_b.jpg|https://H.example:8443/3/s_c.jpg",
      "https://h.example/ws/4/s_d.jpg", "\n"));
  EXPECT_EQ(entries.normal, (Entries{"https://h.example/wp/1/s_a.jpg", "http://h.example/wp/2/s_b.jpg",
                                     "https://h.example:8443/3/s_c.jpg"}));
  EXPECT_EQ(entries.widescreen, Entries{"https://h.example/ws/4/s_d.jpg"});
}

TEST(IndexParse, CarriageReturnLineEndsGiveTheSameCatalogue) {
  const CatalogueEntries lineFeed = parseIndexPage(indexPage(kNormal, kWide, "\n"));
  for (const QByteArray& lineEnd : {QByteArray("\r\n"), QByteArray("\r")}) {
    const CatalogueEntries other = parseIndexPage(indexPage(kNormal, kWide, lineEnd));
    EXPECT_EQ(other.normal, lineFeed.normal);
    EXPECT_EQ(other.widescreen, lineFeed.widescreen);
  }
}

TEST(IndexParse, EntriesAreLowerCasedAndKeepTrailingBlanks) {
  const CatalogueEntries entries =
      parseIndexPage(indexPage("HTTP://H.Example/WP/1/S_A.JPG |http://h.example/wp/1/s_b.jpg", "", "\n"));
  EXPECT_EQ(entries.normal, (Entries{"http://h.example/wp/1/s_a.jpg ", "http://h.example/wp/1/s_b.jpg"}));
}

TEST(IndexParse, SingleAddressBlocksAndEmptyBlocks) {
  const CatalogueEntries one = parseIndexPage(indexPage("http://h/1/s_only.jpg", "", "\n"));
  EXPECT_EQ(one.normal, Entries{"http://h/1/s_only.jpg"});
  EXPECT_TRUE(one.widescreen.isEmpty());
}

TEST(IndexParse, WithoutTheWidescreenTagNeitherShapeHasEntries) {
  const CatalogueEntries entries =
      parseIndexPage("<quenlitstart><wallpaper-normal>http://h/1/s_a.jpg\nhttp://h/1/s_b.jpg\n<quenlitend>");
  EXPECT_TRUE(entries.normal.isEmpty());
  EXPECT_TRUE(entries.widescreen.isEmpty());
}

TEST(IndexParse, WidescreenBlockNeedsTheEndMarkerAfterIt) {
  const CatalogueEntries entries = parseIndexPage(
      "<quenlitend><wallpaper-normal>http://h/1/s_a.jpg\n<wallpaper-widescreen>http://h/1/s_b.jpg\n");
  EXPECT_EQ(entries.normal, Entries{"http://h/1/s_a.jpg"});
  EXPECT_TRUE(entries.widescreen.isEmpty());
}

// Characters between the tag and the first address shift every cut by as many
// characters: each entry starts that many characters early and ends as many
// characters short.
TEST(IndexParse, TextBeforeTheFirstAddressShiftsEveryEntry) {
  const CatalogueEntries entries = parseIndexPage(
      "<quenlitstart><wallpaper-normal> http://a.jpg\nhttp://b.jpg\n<wallpaper-widescreen><quenlitend>");
  EXPECT_EQ(entries.normal, (Entries{" http://a.jp", "ghttp://b.jp"}));
}

TEST(IndexParse, BlockWithoutAddressesGivesNothing) {
  const CatalogueEntries entries =
      parseIndexPage("<quenlitstart><wallpaper-normal>no address\n<wallpaper-widescreen>\n<quenlitend>");
  EXPECT_TRUE(entries.normal.isEmpty());
  EXPECT_TRUE(entries.widescreen.isEmpty());
  EXPECT_TRUE(blockEntries("").isEmpty());
}

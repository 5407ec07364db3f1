// The daily catalogue check against the tests' own home site, and the page
// fetcher underneath it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <optional>

#include "catalogue/CatalogueCheck.h"
#include "catalogue/HomeSiteChange.h"
#include "download/PageFetcher.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "support/FixedClock.h"
#include "support/TemporaryProgramFolder.h"
#include "support/TestHttpServer.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;

namespace {

const QString kVersionPage = QStringLiteral("/software/ver.htm");
const QString kIndexPage = QStringLiteral("/software/allindex.htm");
const QString kOldDay = QStringLiteral("01-01-2000");

QByteArray versionPage(const QByteArray& softwareVersion, const QByteArray& indexVersion) {
  return "<html><body><quenlitstart>(softver=" + softwareVersion + ")[indexver=" + indexVersion +
         "]<quenlitend></body></html>";
}

QByteArray address(const QByteArray& shape, int category, int number) {
  return "http://pictures.example/" + shape + "/" + QByteArray::number(category) + "/s_" +
         QByteArray::number(number) + ".jpg";
}

QList<QByteArray> addresses(const QByteArray& shape, int count) {
  QList<QByteArray> addresses;
  for (int n = 1; n <= count; ++n) addresses.append(address(shape, n % 5 + 1, n));
  return addresses;
}

QByteArray indexPage(const QList<QByteArray>& normal, const QList<QByteArray>& wide,
                     const QByteArray& lineEnd) {
  return "<html><quenlitstart>" + lineEnd + "<wallpaper-normal>" + normal.join(lineEnd) + lineEnd +
         "<wallpaper-widescreen>" + wide.join(lineEnd) + lineEnd + "<quenlitend></html>" + lineEnd;
}

ServeOptions silently() {
  ServeOptions options;
  options.Get = GetAnswer::Silent;
  return options;
}

LanguageTexts checkTexts() {
  LanguageTexts texts;
  texts.szConnecting = QStringLiteral("Connecting");
  texts.szConnectfail = QStringLiteral("Cannot reach ");
  texts.szUpdated = QStringLiteral("A new version is at ");
  texts.szDownloadnew = QStringLiteral(", please download it");
  return texts;
}

class CatalogueCheckTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
  TestHttpServer site;
  LanguageTexts texts = checkTexts();
  // Half a minute before midnight, so that a test can let the day change.
  std::shared_ptr<FixedClock> clock =
      std::make_shared<FixedClock>(QDateTime(QDate(2026, 3, 5), QTime(23, 59, 30)));
  CatalogueCheck check{texts, checkContext()};
  int started = 0;
  int outcomes = 0;
  std::optional<CheckOutcome> last;

  AppContext checkContext() const {
    AppContext context = folder.context();
    context.clock = clock;
    return context;
  }

  void SetUp() override {
    site.mapHost(builtInHomeHost());
    check.pageFetcher().setEndpoints(site.endpoints());
    check.pageFetcher().setTimeout(1500ms);
    QObject::connect(&check, &CatalogueCheck::finished, [this](const CheckOutcome& outcome) {
      ++outcomes;
      last = outcome;
    });
  }

  // Runs one check to its end; its outcome, or none when it never ended.
  std::optional<CheckOutcome> runCheck() {
    last.reset();
    ++started;
    check.CheckCatalogueUpdate();
    waitUntil([this] { return last.has_value(); });
    return last;
  }
  // Whether the check may go on; a check that never ends fails the test.
  bool mayGoOn() {
    const std::optional<CheckOutcome> outcome = runCheck();
    EXPECT_TRUE(outcome.has_value()) << "the check never ended";
    return outcome && outcome->mayGoOn;
  }
  QString errorTip() const { return last ? last->errorTip : QStringLiteral("<no outcome>"); }

  IniFile settings() const { return IniFile(folder.file(QStringLiteral("setting.ini"))); }
  QString setting(const QString& section, const QString& key) const {
    return settings().ReadIniText(section, key, QStringLiteral("<absent>"));
  }
  void setSetting(const QString& section, const QString& key, const QString& value) const {
    settings().WriteIniText(section, key, value);
  }
  QList<QByteArray> storedCatalogue(const QString& section) const {
    QList<QByteArray> entries;
    for (int k = 1; k <= kCatalogueKeyCount; ++k) {
      const QString entry = settings().ReadIniText(section, QString::number(k), QString());
      if (!entry.isEmpty()) entries.append(entry.toUtf8());
    }
    return entries;
  }
  int fetches(const QString& path) const {
    int count = 0;
    for (const RecordedRequest& request : site.requests()) count += request.Path == path.toUtf8() ? 1 : 0;
    return count;
  }
  QString today() const { return checkDateText(clock->now().date()); }
  QString homeAddress() const { return QStringLiteral("http://") + builtInHomeHost(); }

  // The check leaves nothing running behind it, whatever its outcome, and
  // tells each outcome once.
  void expectCheckEnded() {
    EXPECT_FALSE(check.running());
    EXPECT_FALSE(check.pageFetcher().isFetching());
    EXPECT_EQ(setting(kCheckSection, "date"), today());
    EXPECT_EQ(outcomes, started);
  }
};

}  // namespace

TEST_F(CatalogueCheckTest, CheckedTodayFetchesNothing) {
  setSetting(kCheckSection, "date", today());
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(errorTip(), "");
  EXPECT_TRUE(site.requests().empty());
  expectCheckEnded();
}

TEST_F(CatalogueCheckTest, TheNextDayLooksAgainAndStoresThatDay) {
  site.serve(kVersionPage, versionPage("1.0", "20080401"));
  setSetting(kCheckSection, "indexver", "20080401");
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(setting(kCheckSection, "date"), "03-05-2026");
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(fetches(kVersionPage), 1);
  // A minute later it is the 6th: the site is asked once more.
  clock->advanceSecs(60);
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(fetches(kVersionPage), 2);
  EXPECT_EQ(setting(kCheckSection, "date"), "03-06-2026");
  expectCheckEnded();
}

TEST_F(CatalogueCheckTest, FreshSettingsFetchBothPagesAndStoreTheCatalogue) {
  site.serve(kVersionPage, versionPage("1.0", "20080401"));
  site.serve(kIndexPage, indexPage(addresses("n", 3), addresses("w", 2), "\n"));
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(fetches(kVersionPage), 1);
  EXPECT_EQ(fetches(kIndexPage), 1);
  EXPECT_EQ(storedCatalogue(kNormalSection), addresses("n", 3));
  EXPECT_EQ(storedCatalogue(kWidescreenSection), addresses("w", 2));
  EXPECT_EQ(setting(kCheckSection, "indexver"), "20080401");
  EXPECT_EQ(errorTip(), "");
  expectCheckEnded();
}

TEST_F(CatalogueCheckTest, UnchangedIndexVersionLeavesTheCatalogueAlone) {
  setSetting(kCheckSection, "indexver", "20080401");
  setSetting(kNormalSection, "1", "http://kept.example/1/s_a.jpg");
  site.serve(kVersionPage, versionPage("1.0", "20080401"));
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(errorTip(), "");
  EXPECT_EQ(fetches(kVersionPage), 1);
  EXPECT_EQ(fetches(kIndexPage), 0);
  EXPECT_EQ(setting(kNormalSection, "1"), "http://kept.example/1/s_a.jpg");
  expectCheckEnded();
}

TEST_F(CatalogueCheckTest, OneCharacterSoftwareVersionAsksForTheNewProgram) {
  site.serve(kVersionPage, versionPage("2", "20080401"));
  EXPECT_FALSE(mayGoOn());
  EXPECT_EQ(errorTip(), "A new version is at " + homeAddress() + ", please download it");
  EXPECT_EQ(fetches(kIndexPage), 0);
  EXPECT_EQ(setting(kCheckSection, "indexver"), "<absent>");
  expectCheckEnded();
}

TEST_F(CatalogueCheckTest, VersionPageWithoutEndMarkerIsAConnectionFailure) {
  site.serve(kVersionPage, "<quenlitstart>(softver=1.0)[indexver=20080401]");
  EXPECT_FALSE(mayGoOn());
  EXPECT_EQ(errorTip(), "Cannot reach " + homeAddress());
  EXPECT_EQ(fetches(kIndexPage), 0);
  expectCheckEnded();
}

TEST_F(CatalogueCheckTest, FailedIndexPageKeepsTheOldCatalogue) {
  setSetting(kCheckSection, "indexver", "old");
  setSetting(kWidescreenSection, "1", "http://kept.example/1/s_a.jpg");
  site.serve(kVersionPage, versionPage("1.0", "20080401"));
  EXPECT_FALSE(mayGoOn());
  EXPECT_EQ(fetches(kIndexPage), 1);
  EXPECT_EQ(errorTip(), "Cannot reach " + homeAddress());
  EXPECT_EQ(setting(kCheckSection, "indexver"), "old");
  EXPECT_EQ(setting(kWidescreenSection, "1"), "http://kept.example/1/s_a.jpg");
  expectCheckEnded();
}

TEST_F(CatalogueCheckTest, CarriageReturnIndexGivesTheSameCatalogueAsLineFeeds) {
  site.serve(kVersionPage, versionPage("1.0", "20080401"));
  for (const QByteArray& lineEnd : {QByteArray("\n"), QByteArray("\r\n")}) {
    setSetting(kCheckSection, "date", kOldDay);
    setSetting(kCheckSection, "indexver", "");
    site.serve(kIndexPage, indexPage(addresses("n", 3), addresses("w", 4), lineEnd));
    EXPECT_TRUE(mayGoOn());
    EXPECT_EQ(storedCatalogue(kNormalSection), addresses("n", 3))
        << "line end " << lineEnd.toHex().constData();
    EXPECT_EQ(storedCatalogue(kWidescreenSection), addresses("w", 4))
        << "line end " << lineEnd.toHex().constData();
  }
  EXPECT_FALSE(folder.readFile("setting.ini").contains("\r\r"));
}

TEST_F(CatalogueCheckTest, IndexWithoutWidescreenTagEmptiesBothShapes) {
  setSetting(kNormalSection, "1", "http://old.example/1/s_a.jpg");
  setSetting(kWidescreenSection, "1000", "http://old.example/2/s_b.jpg");
  setSetting(kWidescreenSection, "1001", "http://beyond.example/2/s_c.jpg");
  site.serve(kVersionPage, versionPage("1.0", "20080401"));
  site.serve(kIndexPage, "<quenlitstart><wallpaper-normal>" + address("n", 1, 1) + "\n<quenlitend>");
  EXPECT_TRUE(mayGoOn());
  EXPECT_TRUE(storedCatalogue(kNormalSection).isEmpty());
  EXPECT_TRUE(storedCatalogue(kWidescreenSection).isEmpty());
  EXPECT_EQ(setting(kWidescreenSection, "1001"), "http://beyond.example/2/s_c.jpg");
  EXPECT_EQ(setting(kCheckSection, "indexver"), "20080401");
  expectCheckEnded();
}

// A full catalogue is far over 64 KiB; it is read whole, and only the keys the
// readers look at are written.
TEST_F(CatalogueCheckTest, LargeIndexIsReadWholeAndStoresAtMostAThousandEntries) {
  site.serve(kVersionPage, versionPage("1.0", "20080401"));
  const QByteArray page = indexPage(addresses("n", 1001), addresses("w", 1000), "\r\n");
  ASSERT_GT(page.size(), 64 * 1024);
  site.serve(kIndexPage, page);
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(storedCatalogue(kNormalSection), addresses("n", 1000));
  EXPECT_EQ(storedCatalogue(kWidescreenSection), addresses("w", 1000));
  EXPECT_EQ(setting(kNormalSection, "1001"), "<absent>");
}

TEST_F(CatalogueCheckTest, FailureIsNotRetriedUntilAnotherDay) {
  EXPECT_FALSE(mayGoOn());  // the site has no pages
  EXPECT_EQ(fetches(kVersionPage), 1);
  EXPECT_EQ(errorTip(), "Cannot reach " + homeAddress());

  site.serve(kVersionPage, versionPage("1.0", ""));
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(fetches(kVersionPage), 1);

  setSetting(kCheckSection, "date", kOldDay);  // the next day
  EXPECT_TRUE(mayGoOn());
  EXPECT_EQ(fetches(kVersionPage), 2);
  EXPECT_EQ(fetches(kIndexPage), 0) << "an empty index version equals the absent one";
  expectCheckEnded();
}

TEST_F(CatalogueCheckTest, SilentSiteEndsAsFailureAfterTheTimeOut) {
  site.serve(kVersionPage, versionPage("1.0", "x1"), silently());
  EXPECT_FALSE(mayGoOn());
  EXPECT_EQ(errorTip(), "Cannot reach " + homeAddress());
  expectCheckEnded();
}

// A second start would take over the fetch the running check waits for.
TEST_F(CatalogueCheckTest, AStartWhileRunningIsIgnored) {
  site.serve(kVersionPage, versionPage("1.0", "x1"), silently());
  check.CheckCatalogueUpdate();
  EXPECT_TRUE(check.running());
  EXPECT_FALSE(mayGoOn());
  EXPECT_EQ(errorTip(), "Cannot reach " + homeAddress());
  EXPECT_EQ(fetches(kVersionPage), 1);
  expectCheckEnded();
}

// --- the page fetcher on its own

// --- The settings page's "Catalogue site" ---------------------------------------

TEST_F(CatalogueCheckTest, ANewSiteIsStoredCheckedAndAskedAfreshForItsCatalogue) {
  site.mapHost("gallery.example");
  site.serve(kVersionPage, versionPage("1.0", "20080401"));
  site.serve(kIndexPage, indexPage(addresses("n", 3), addresses("w", 2), "\n"));
  ASSERT_TRUE(mayGoOn());
  ASSERT_EQ(setting(kCheckSection, "indexver"), "20080401");
  HomeSiteChange change(texts, checkContext(), check);
  change.pageFetcher().setEndpoints(site.endpoints());
  QStringList verdicts;
  QStringList changes;
  QObject::connect(&change, &HomeSiteChange::verdict, [&](const QString& text) { verdicts << text; });
  QObject::connect(&change, &HomeSiteChange::siteChanged, [&](const QString& text) { changes << text; });

  change.submit("ftp://gallery.example/");
  EXPECT_EQ(verdicts, QStringList{texts.szSitenotaddress});
  EXPECT_EQ(change.site(), homeAddress());

  verdicts.clear();
  change.submit(" HTTP://Gallery.Example/ ");
  EXPECT_EQ(changes, QStringList{"http://gallery.example"});
  EXPECT_EQ(setting("home", "host"), "http://gallery.example");
  EXPECT_EQ(check.homeAddress(), "http://gallery.example");
  // Today's check was of the old site: the new one is asked for both pages.
  EXPECT_EQ(setting(kCheckSection, "date"), "<absent>");
  EXPECT_EQ(setting(kCheckSection, "indexver"), "<absent>");
  ASSERT_TRUE(waitUntil([&] { return verdicts.size() == 2; }));
  EXPECT_EQ(verdicts, (QStringList{texts.szSitechecking, texts.szSiteanswers}));
  const int indexFetches = fetches(kIndexPage);
  ASSERT_TRUE(mayGoOn());
  EXPECT_EQ(fetches(kIndexPage), indexFetches + 1);

  verdicts.clear();
  site.remove(kVersionPage);
  change.submit("gallery.example");  // the same site, checked again
  ASSERT_TRUE(waitUntil([&] { return verdicts.size() == 2; }));
  EXPECT_EQ(verdicts.last(), texts.szSitenocatalogue + " http://gallery.example");
  EXPECT_EQ(changes.size(), 1);
}

namespace {

QByteArray gzipped(const QByteArray& bytes) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  QByteArray out(static_cast<qsizetype>(deflateBound(&stream, bytes.size()) + 32), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(static_cast<qsizetype>(stream.total_out));
  deflateEnd(&stream);
  return out;
}

}  // namespace

namespace {

class PageFetcherTest : public ::testing::Test {
 protected:
  TestHttpServer site;
  PageFetcher fetcher;
  int begins = 0;
  QList<QByteArray> pages;

  void SetUp() override {
    site.mapHost(QStringLiteral("pages.example"));
    fetcher.setEndpoints(site.endpoints());
    fetcher.setTimeout(1500ms);
    QObject::connect(&fetcher, &PageFetcher::downloadBegin, [this] { ++begins; });
    QObject::connect(&fetcher, &PageFetcher::downloadComplete,
                     [this](const QByteArray& page) { pages.append(page); });
  }
  // Runs the event loop until a page has arrived or the time is up.
  bool pageArrives(std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    while (pages.isEmpty() && clock.elapsed() < limit.count()) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return !pages.isEmpty();
  }
  QByteArray waitForPage() {
    pages.clear();
    EXPECT_TRUE(pageArrives(10s));
    return pages.value(0);
  }
};

}  // namespace

TEST_F(PageFetcherTest, DeliversBeginThenTheWholePageThroughTheEventLoop) {
  site.serve("/p.htm", QByteArray(200000, 'a'));
  fetcher.navigate("http://pages.example/p.htm");
  EXPECT_EQ(begins, 0);  // nothing is delivered inside navigate()
  EXPECT_EQ(waitForPage(), QByteArray(200000, 'a'));
  EXPECT_EQ(begins, 1);
  const QElapsedTimer sinceFirst = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  while (sinceFirst.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_EQ(pages.size(), 1) << "one complete event per fetch";
}

TEST_F(PageFetcherTest, FailuresCompleteWithNoPage) {
  site.serve("/silent.htm", "x", silently());
  for (const char* address : {"http://pages.example/missing.htm", "http://pages.example/silent.htm",
                              "ftp://pages.example/p.htm", "not an address"}) {
    fetcher.navigate(address);
    EXPECT_EQ(waitForPage(), QByteArray()) << address;
  }
  EXPECT_EQ(begins, 4);
}

TEST_F(PageFetcherTest, TooLargePageFails) {
  site.serve("/huge.htm", QByteArray(PageFetcher::kMaximumPageBytes + 1, 'a'));
  fetcher.navigate("http://pages.example/huge.htm");
  EXPECT_EQ(waitForPage(), QByteArray());
}

TEST_F(PageFetcherTest, BlankPageEndsTheRunningFetchWithoutEvents) {
  site.serve("/silent.htm", "x", silently());
  fetcher.navigate("http://pages.example/silent.htm");
  fetcher.navigate("about:blank");
  EXPECT_FALSE(fetcher.isFetching());
  EXPECT_FALSE(pageArrives(2500ms));
  EXPECT_EQ(begins, 0);
}

TEST_F(PageFetcherTest, FollowsRedirectsAndDecodesChunkedPages) {
  ServeOptions chunked;
  chunked.Get = GetAnswer::ChunkedWhole;
  site.serve("/chunked.htm", QByteArray(5000, 'c'), chunked);
  ServeOptions toRelative;
  toRelative.Get = GetAnswer::Redirect;
  toRelative.Location = "/chunked.htm";
  site.serve("/moved.htm", {}, toRelative);
  ServeOptions toAbsolute;
  toAbsolute.Get = GetAnswer::Redirect;
  toAbsolute.Location = "http://pages.example/moved.htm";
  site.serve("/old.htm", {}, toAbsolute);

  fetcher.navigate("http://pages.example/old.htm");
  EXPECT_EQ(waitForPage(), QByteArray(5000, 'c'));
  // A port in the address is asked for; the scheme's own needs no naming
  // in the Host line, another port is named there.
  fetcher.navigate("http://pages.example:80/chunked.htm");
  EXPECT_EQ(waitForPage(), QByteArray(5000, 'c'));
  EXPECT_TRUE(site.requests().back().Head.contains("\r\nHost: pages.example\r\n"));
  fetcher.navigate(QString("http://127.0.0.1:%1/chunked.htm").arg(site.port()));
  EXPECT_EQ(waitForPage(), QByteArray(5000, 'c'));
  EXPECT_TRUE(site.requests().back().Head.contains("\r\nHost: 127.0.0.1:" + QByteArray::number(site.port())));
}

TEST_F(PageFetcherTest, AGzipPageArrivesDecodedAndAnotherCodingFails) {
  const QByteArray page = "<html>" + QByteArray(30000, 'g') + "</html>";
  ServeOptions gzip;
  gzip.ContentEncoding = "gzip";
  site.serve("/gzip.htm", gzipped(page), gzip);
  fetcher.navigate("http://pages.example/gzip.htm");
  EXPECT_EQ(waitForPage(), page);
  EXPECT_TRUE(site.requests().back().Head.contains("\r\nAccept-Encoding: gzip\r\n"));
  ServeOptions brotli;
  brotli.ContentEncoding = "br";
  site.serve("/br.htm", page, brotli);
  fetcher.navigate("http://pages.example/br.htm");
  EXPECT_EQ(waitForPage(), QByteArray());
}

TEST_F(PageFetcherTest, EndlessRedirectsAndRedirectsAwayFromHttpFail) {
  ServeOptions loop;
  loop.Get = GetAnswer::Redirect;
  loop.Location = "/loop.htm";
  site.serve("/loop.htm", {}, loop);
  fetcher.navigate("http://pages.example/loop.htm");
  EXPECT_EQ(waitForPage(), QByteArray());
  EXPECT_EQ(site.requestCount("GET"), PageFetcher::kMaximumRedirects + 1);

  ServeOptions away;
  away.Get = GetAnswer::Redirect;
  away.Location = "ftp://pages.example/p.htm";
  site.serve("/away.htm", {}, away);
  fetcher.navigate("http://pages.example/away.htm");
  EXPECT_EQ(waitForPage(), QByteArray());
}

TEST_F(PageFetcherTest, AFetcherDestroyedMidFetchDeliversNothing) {
  site.serve("/silent.htm", "x", silently());
  int completes = 0;
  {
    PageFetcher shortLived;
    shortLived.setEndpoints(site.endpoints());
    QObject::connect(&shortLived, &PageFetcher::downloadComplete, [&completes] { ++completes; });
    shortLived.navigate("http://pages.example/silent.htm");
  }
  EXPECT_FALSE(pageArrives(500ms));
  EXPECT_EQ(completes, 0);
}

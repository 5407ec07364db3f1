// The thumbnails of a page fetched side by side, against the tests' own HTTP
// server on a slow link: the page waits as long as its thumbnails keep
// arriving, and gives up on them only when they no longer do.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "catalogue/ThumbnailDownloads.h"
#include "support/TemporaryProgramFolder.h"
#include "support/TestHttpServer.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kHost = "thumbs.test";

QByteArray randomBytes(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator generator(static_cast<quint32>(size) + 3);
  for (char& byte : bytes) byte = static_cast<char>(generator.bounded(256));
  return bytes;
}

// At most 50 bytes a second.
ServeOptions slowButSteady() {
  ServeOptions options;
  options.Get = GetAnswer::DripBody;
  options.DripInterval = 20ms;
  return options;
}

// Half the body, then silence for good.
ServeOptions stalling() {
  ServeOptions options;
  options.Get = GetAnswer::ShortBody;
  return options;
}

class ThumbnailDownloadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    server.mapHost(kHost);
  }

  ThumbnailFetch serve(const QString& name, const QByteArray& body, const ServeOptions& options) {
    server.serve("/thumbs/" + name, body, options);
    return {server.Url("/thumbs/" + name), folder.filePath("store/" + name)};
  }

  // Runs the page's downloads under the rule; whether they ended.
  bool fetch(const std::vector<ThumbnailFetch>& fetches, const LowSpeedLimit& rule) {
    ThumbnailDownloads downloads(server.endpoints());
    bool ended = false;
    QObject::connect(&downloads, &ThumbnailDownloads::finished, [&ended] { ended = true; });
    downloads.start(fetches, rule);
    return waitUntil([&ended] { return ended; }, 60s);
  }

  QByteArray stored(const QString& name) const {
    QFile in(folder.filePath("store/" + name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
  }

  QTemporaryDir folder;
  TestHttpServer server;
};

}  // namespace

// Each thumbnail takes at least four of the rule's windows; a fixed wait of
// about one window used to cancel them all, so such a page never showed.
TEST_F(ThumbnailDownloadsTest, ThumbnailsThatKeepArrivingSlowlyAreAllKept) {
  std::vector<ThumbnailFetch> fetches;
  std::vector<QByteArray> bodies;
  for (int n = 1; n <= 3; ++n) {
    bodies.push_back(randomBytes(200 + n));
    fetches.push_back(serve(QString("s_%1.jpg").arg(n), bodies.back(), slowButSteady()));
  }
  ASSERT_TRUE(fetch(fetches, {10, 1s}));
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(stored(QString("s_%1.jpg").arg(n)), bodies[n - 1]) << n;
}

// The engine would wait a minute for each; the page gives up on them as
// soon as none of them brings anything.
TEST_F(ThumbnailDownloadsTest, ThumbnailsThatStopArrivingAreCancelledAndLeaveNoFile) {
  const std::vector<ThumbnailFetch> fetches{serve("s_1.jpg", randomBytes(3000), stalling()),
                                            serve("s_2.jpg", randomBytes(3000), stalling())};
  ASSERT_TRUE(fetch(fetches, {1024, 1s}));
  EXPECT_FALSE(QFile::exists(folder.filePath("store/s_1.jpg")));
  EXPECT_FALSE(QFile::exists(folder.filePath("store/s_2.jpg")));
  EXPECT_TRUE(QDir(folder.filePath("store")).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// The page's downloads are judged together: one that has stopped is waited
// for while another still arrives, and is cancelled once nothing does.
TEST_F(ThumbnailDownloadsTest, OneStoppedThumbnailWaitsWhileAnotherStillArrives) {
  const QByteArray steady = randomBytes(200);
  const std::vector<ThumbnailFetch> fetches{serve("s_1.jpg", steady, slowButSteady()),
                                            serve("s_2.jpg", randomBytes(3000), stalling())};
  ASSERT_TRUE(fetch(fetches, {10, 1s}));
  EXPECT_EQ(stored("s_1.jpg"), steady);
  EXPECT_FALSE(QFile::exists(folder.filePath("store/s_2.jpg")));
}

// A hostile site could fill the disk six thumbnails a page. A length past the
// cap is refused on the HEAD answer, before any byte is asked for or stored;
// one of exactly the cap is kept.
TEST_F(ThumbnailDownloadsTest, AThumbnailLongerThanTheCapIsRefusedBeforeAnythingIsWritten) {
  const QByteArray atCap = randomBytes(kMaxThumbnailBytes);
  ServeOptions claimsHuge;
  claimsHuge.Head = HeadAnswer::AnnouncedLength;
  claimsHuge.AnnouncedLength = "300000000";
  const std::vector<ThumbnailFetch> fetches{serve("s_cap.jpg", atCap, {}),
                                            serve("s_over.jpg", randomBytes(kMaxThumbnailBytes + 1), {}),
                                            serve("s_huge.jpg", randomBytes(3000), claimsHuge)};
  ASSERT_TRUE(fetch(fetches, {1024, 20s}));
  EXPECT_EQ(stored("s_cap.jpg"), atCap);
  EXPECT_EQ(QDir(folder.filePath("store")).entryList(QDir::Files | QDir::Hidden), QStringList{"s_cap.jpg"});
  int refusedFetched = 0;
  for (const RecordedRequest& request : server.requests())
    refusedFetched += request.Method == "GET" && request.Path != "/thumbs/s_cap.jpg" ? 1 : 0;
  EXPECT_EQ(refusedFetched, 0);
}

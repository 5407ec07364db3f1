// One download session against the tests' own HTTP server, without a window:
// what each way of ending leaves behind and reports, and how Cancel and a
// new session's start meet.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <optional>

#include "download/DownloadSession.h"
#include "support/TestHttpServer.h"
#include "support/WaitUntil.h"

namespace {

constexpr auto kHost = "pictures.test";

class DownloadSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.mapHost(kHost);
    QObject::connect(&session, &DownloadSession::finished,
                     [this](DownloadSession::Outcome outcome) { outcomes.push_back(outcome); });
    QObject::connect(&session, &DownloadSession::barChanged, [this](int width) { bars.push_back(width); });
  }

  QString target() const { return folder.filePath("l_1.jpg"); }
  void start(const char* path) { session.start(server.Url(path), target()); }
  bool ended() {
    return waitUntil([this] { return !outcomes.empty(); });
  }

  QTemporaryDir folder;
  TestHttpServer server;
  DownloadSession session{server.endpoints()};
  std::vector<DownloadSession::Outcome> outcomes;
  std::vector<int> bars;
};

TEST_F(DownloadSessionTest, AWholeDownloadKeepsTheFileAndFillsTheBar) {
  const QByteArray body(250000, 'x');
  server.serve("/p/l_1.jpg", body);
  session.open();
  start("/p/l_1.jpg");
  ASSERT_TRUE(ended());
  EXPECT_EQ(outcomes, std::vector{DownloadSession::Outcome::Succeeded});
  QFile file(target());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), body);
  EXPECT_EQ(session.counters().Received, 250000);
  EXPECT_EQ(session.barWidth(), kProgressBarFullWidth);
  EXPECT_TRUE(std::is_sorted(bars.begin(), bars.end())) << "the bar only grows";
}

// Neither a refused address nor a Cancel leaves a file, not even one that
// was at the target before.
TEST_F(DownloadSessionTest, AFailedOrCancelledDownloadLeavesNoFile) {
  QFile old(target());
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("an earlier attempt");
  old.close();
  session.open();
  start("/missing/l_1.jpg");
  ASSERT_TRUE(ended());
  EXPECT_EQ(outcomes.back(), DownloadSession::Outcome::Failed);
  EXPECT_FALSE(QFileInfo::exists(target()));

  ServeOptions silent;
  silent.Head = HeadAnswer::Silent;
  server.serve("/silent/l_1.jpg", QByteArray(100000, 'y'), silent);
  outcomes.clear();
  session.open();
  start("/silent/l_1.jpg");
  ASSERT_TRUE(waitUntil([this] { return server.requestCount("HEAD") > 0; }));
  session.cancel();
  session.cancel();
  EXPECT_TRUE(outcomes.empty()) << "the session ends when the engine has stopped";
  ASSERT_TRUE(ended());
  EXPECT_EQ(outcomes, std::vector{DownloadSession::Outcome::Cancelled});
  EXPECT_FALSE(QFileInfo::exists(target()));
  EXPECT_EQ(server.requestCount("GET"), 0);
}

// A Cancel before the start fetches nothing and ends at once; the next
// session starts without it.
TEST_F(DownloadSessionTest, ACancelBeforeTheStartBelongsToItsSessionOnly) {
  server.serve("/p/l_1.jpg", QByteArray(1000, 'z'));
  session.open();
  session.cancel();
  start("/p/l_1.jpg");
  EXPECT_EQ(outcomes, std::vector{DownloadSession::Outcome::Cancelled});
  EXPECT_TRUE(server.requests().empty());
  EXPECT_FALSE(QFileInfo::exists(target()));

  session.open();
  EXPECT_FALSE(session.cancelRequested());
  EXPECT_EQ(session.barWidth(), 1);
  start("/p/l_1.jpg");
  ASSERT_TRUE(waitUntil([this] { return outcomes.size() == 2; }));
  EXPECT_EQ(outcomes.back(), DownloadSession::Outcome::Succeeded);
  EXPECT_EQ(QFileInfo(target()).size(), 1000);
}

}  // namespace

// The download engine against the tests' own HTTP server, well-behaved and
// hostile: every download must end in bounded time, with status 1 only when
// the target holds exactly the served bytes, and never leave a segment file
// or (on failure) a target behind.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>

#include "download/MultiThreadDown.h"
#include "download/SocketResponse.h"
#include "platform/BlockingSocket.h"
#include "support/TestHttpServer.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kHost = "pictures.test";

QByteArray randomBytes(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator generator(static_cast<quint32>(size));
  for (char& byte : bytes) byte = static_cast<char>(generator.bounded(256));
  return bytes;
}

// Short limits, so that the hostile cases end quickly.
DownloadLimits quickLimits() {
  DownloadLimits limits;
  limits.Exchange = 700ms;
  limits.LowSpeed = {1024, 700ms};
  return limits;
}

struct DownloadRun {
  int32_t Status = -1;
  int32_t TotalSize = 0;
  int32_t Received = 0;
  std::chrono::milliseconds Took{0};
  std::string Reason;
};

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Folder.isValid());
    ASSERT_NE(Server.port(), 0);
    Server.mapHost(kHost);
  }

  QString target(const QString& name = "l_1.jpg") const { return Folder.filePath(name); }

  // Runs one download the way the callers do: the main thread polls Status
  // while it lets events run. whileRunning is called on each look.
  DownloadRun download(const QString& path, const QString& target, int32_t hint = 80000,
                       std::optional<DownloadLimits> limits = std::nullopt, int32_t resume = 0,
                       const std::function<void(DownloadVars&)>& whileRunning = {}) {
    return downloadAddress(Server.Url(path), target, hint, limits, resume, whileRunning);
  }

  DownloadRun downloadAddress(const QString& address, const QString& target, int32_t hint = 80000,
                              std::optional<DownloadLimits> limits = std::nullopt, int32_t resume = 0,
                              const std::function<void(DownloadVars&)>& whileRunning = {}) {
    DownloadVars vars;
    prepareDownloadVars(vars, hint);
    const Clock::time_point start = Clock::now();
    auto down = std::make_unique<TMultiThreadDown>(address, target, vars, resume);
    down->setEndpoints(Server.endpoints());
    if (limits) down->setLimits(*limits);
    down->start();
    while (vars.Status == kDownloadRunning && Clock::now() - start < 60s) {
      if (whileRunning) whileRunning(vars);
      QCoreApplication::processEvents();
      QThread::msleep(5);
    }
    DownloadRun run{vars.Status, vars.TotalSize, vars.Received,
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start),
                    down->failureReason()};
    down.reset();
    return run;
  }

  QStringList segmentFilesLeft() const {
    return QDir(Folder.path()).entryList({"*.$$$.temp.*"}, QDir::Files | QDir::Hidden);
  }

  static QByteArray contents(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
  }

  QTemporaryDir Folder;
  TestHttpServer Server;
};

// The ranged GETs, in order of their ranges; a GET for the whole body is not one.
std::vector<QByteArray> rangesAsked(const TestHttpServer& server) {
  std::vector<QByteArray> ranges;
  for (const auto& request : server.requests())
    if (request.Method == "GET" && !request.Range.isEmpty()) ranges.push_back(request.Range);
  std::sort(ranges.begin(), ranges.end(), [](const QByteArray& a, const QByteArray& b) {
    return a.mid(6).split('-')[0].toLongLong() < b.mid(6).split('-')[0].toLongLong();
  });
  return ranges;
}

}  // namespace

// --- Well-behaved server -------------------------------------------------------

TEST_F(DownloadTest, FetchesTheFileInSevenRangesAndJoinsThemInOrder) {
  const QByteArray body = randomBytes(500000);
  Server.serve("/pictures/l_1.jpg", body);
  const DownloadRun run = download("/pictures/l_1.jpg", target());
  EXPECT_EQ(run.Status, kDownloadSucceeded);
  EXPECT_EQ(run.TotalSize, 500000);
  EXPECT_EQ(run.Received, 500000);
  EXPECT_EQ(contents(target()), body);
  EXPECT_TRUE(segmentFilesLeft().isEmpty());

  const auto ranges = rangesAsked(Server);
  ASSERT_EQ(ranges.size(), 7u);
  EXPECT_EQ(ranges.front(), "bytes=0-71427");
  EXPECT_EQ(ranges.back(), "bytes=428568-499999");
  // The HEAD request went out exactly as the engine builds it.
  const auto requests = Server.requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front().Head, QByteArray::fromStdString(headRequest("pictures/l_1.jpg", kHost)));
}

TEST_F(DownloadTest, SizesFromOneByteToTwentySegments) {
  for (const qsizetype size :
       {qsizetype{1}, qsizetype{4096}, qsizetype{59999}, qsizetype{160000}, qsizetype{5000000}}) {
    SCOPED_TRACE(size);
    const QByteArray body = randomBytes(size);
    Server.serve("/f.bin", body);
    Server.clearLog();
    const DownloadRun run = download("/f.bin", target("f.bin"));
    EXPECT_EQ(run.Status, kDownloadSucceeded);
    EXPECT_EQ(contents(target("f.bin")), body);
    EXPECT_EQ(rangesAsked(Server).size(), std::min<size_t>(20, size / 80000 + 1));
    EXPECT_TRUE(segmentFilesLeft().isEmpty());
  }
}

TEST_F(DownloadTest, AnEmptyFileGivesAnEmptyTargetWithoutAnyRangeRequest) {
  Server.serve("/empty.jpg", QByteArray());
  const DownloadRun run = download("/empty.jpg", target());
  EXPECT_EQ(run.Status, kDownloadSucceeded);
  ASSERT_TRUE(QFile::exists(target()));
  EXPECT_EQ(QFileInfo(target()).size(), 0);
  EXPECT_EQ(Server.requestCount("GET"), 0);
}

TEST_F(DownloadTest, ReplacesAnOldTarget) {
  const QByteArray body = randomBytes(300000);
  Server.serve("/a.jpg", body);
  QFile old(target());
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write(QByteArray(900000, 'o'));
  old.close();
  EXPECT_EQ(download("/a.jpg", target()).Status, kDownloadSucceeded);
  EXPECT_EQ(contents(target()), body);
}

TEST_F(DownloadTest, SixDownloadsAtOnceLikeTheThumbnailPage) {
  std::vector<QByteArray> bodies;
  std::vector<std::unique_ptr<DownloadVars>> vars;
  std::vector<std::unique_ptr<TMultiThreadDown>> downs;
  for (int n = 1; n <= 6; ++n) {
    bodies.push_back(randomBytes(30000 * n + n));
    const QString path = QString("/thumbs/s_%1.jpg").arg(n);
    Server.serve(path, bodies.back());
    vars.push_back(std::make_unique<DownloadVars>());
    prepareDownloadVars(*vars.back(), 100000);
    downs.push_back(std::make_unique<TMultiThreadDown>(Server.Url(path), target(QString("s_%1.jpg").arg(n)),
                                                       *vars.back()));
    downs.back()->setEndpoints(Server.endpoints());
    downs.back()->start();
  }
  const Clock::time_point start = Clock::now();
  for (auto& v : vars)
    while (v->Status == kDownloadRunning && Clock::now() - start < 30s) {
      QCoreApplication::processEvents();
      QThread::msleep(5);
    }
  for (int n = 1; n <= 6; ++n) {
    EXPECT_EQ(vars[n - 1]->Status, kDownloadSucceeded) << n;
    EXPECT_EQ(contents(target(QString("s_%1.jpg").arg(n))), bodies[n - 1]) << n;
  }
}

TEST_F(DownloadTest, EndNotificationRunsOnTheMainThreadAfterTheStatusIsSet) {
  Server.serve("/a.jpg", randomBytes(200000));
  DownloadVars vars;
  prepareDownloadVars(vars, 80000);
  TMultiThreadDown down(Server.Url("/a.jpg"), target(), vars);
  down.setEndpoints(Server.endpoints());
  int calls = 0;
  int32_t statusSeen = -1;
  bool onMainThread = false;
  down.setOnTerminate([&] {
    ++calls;
    statusSeen = vars.Status;
    onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
  });
  down.start();
  const Clock::time_point start = Clock::now();
  while (calls == 0 && Clock::now() - start < 30s) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(statusSeen, kDownloadSucceeded);
  EXPECT_TRUE(onMainThread);
  EXPECT_TRUE(down.finished());
}

TEST_F(DownloadTest, ResumeFetchesOnlyWhatTheTargetLacks) {
  const QByteArray body = randomBytes(250000);
  Server.serve("/r.jpg", body);
  QFile partial(target());
  ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
  partial.write(body.left(100000));
  partial.close();
  EXPECT_EQ(download("/r.jpg", target(), 80000, std::nullopt, 1).Status, kDownloadSucceeded);
  EXPECT_EQ(contents(target()), body);
  const auto ranges = rangesAsked(Server);
  ASSERT_FALSE(ranges.empty());
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges.front(), "bytes=100000-174999");
  EXPECT_EQ(ranges.back(), "bytes=175000-249999");

  // Already whole: nothing is fetched. Longer than the file: it cannot be
  // the same file, so the download fails and leaves the caller's file alone.
  Server.clearLog();
  EXPECT_EQ(download("/r.jpg", target(), 80000, std::nullopt, 1).Status, kDownloadSucceeded);
  EXPECT_EQ(Server.requestCount("GET"), 0);
  Server.serve("/r.jpg", body.left(1000));
  EXPECT_EQ(download("/r.jpg", target(), 80000, std::nullopt, 1).Status, kDownloadFailed);
  EXPECT_EQ(contents(target()), body);
  EXPECT_TRUE(segmentFilesLeft().isEmpty());
}

// --- Hostile or broken servers -------------------------------------------------

struct FailureCase {
  const char* Name;
  ServeOptions Options;
  qsizetype Size = 500000;
};

ServeOptions head(HeadAnswer answer, QByteArray announced = {}) {
  ServeOptions options;
  options.Head = answer;
  options.AnnouncedLength = std::move(announced);
  return options;
}

ServeOptions get(GetAnswer answer) {
  ServeOptions options;
  options.Get = answer;
  return options;
}

ServeOptions encoded(HeadAnswer headAnswer, GetAnswer getAnswer) {
  ServeOptions options;
  options.Head = headAnswer;
  options.Get = getAnswer;
  options.ContentEncoding = "gzip";
  return options;
}

// The HEAD answer is plain; only the ranged GETs come encoded.
ServeOptions encodedGetOnly() {
  ServeOptions options;
  options.Get = GetAnswer::Chunked;  // stands in for any wrong GET: the coding is what is judged
  options.ContentEncoding = "br";
  options.Head = HeadAnswer::AnnouncedLength;
  options.AnnouncedLength = "500000";
  return options;
}

ServeOptions redirect(int status, QByteArray location) {
  ServeOptions options;
  options.Head = HeadAnswer::Redirect;
  options.RedirectStatus = status;
  options.Location = std::move(location);
  return options;
}

ServeOptions ignoresRangeAnnouncing(QByteArray announced) {
  ServeOptions options = head(HeadAnswer::AnnouncedLength, std::move(announced));
  options.Get = GetAnswer::IgnoreRange;
  return options;
}

class HostileServerTest : public DownloadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(HostileServerTest, FailsInBoundedTimeAndLeavesNoFile) {
  const FailureCase& failure = GetParam();
  Server.serve("/x/l_9.jpg", randomBytes(failure.Size), failure.Options);
  // An old target must not survive a failed fresh download either.
  QFile old(target());
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old");
  old.close();

  const DownloadRun run = download("/x/l_9.jpg", target(), 80000, quickLimits());
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_LT(run.Took, 10s);
  EXPECT_FALSE(QFile::exists(target()));
  EXPECT_TRUE(segmentFilesLeft().isEmpty()) << segmentFilesLeft().join(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Engine, HostileServerTest,
    ::testing::Values(FailureCase{"LengthOfTwoToThe31", head(HeadAnswer::AnnouncedLength, "2147483648")},
                      FailureCase{"NegativeLength", head(HeadAnswer::AnnouncedLength, "-500000")},
                      FailureCase{"LengthNotDecimal", head(HeadAnswer::AnnouncedLength, "500000abc")},
                      FailureCase{"LengthLongerThanTheBody", head(HeadAnswer::AnnouncedLength, "600000")},
                      FailureCase{"SilentHead", head(HeadAnswer::Silent)},
                      FailureCase{"DrippingHead", head(HeadAnswer::Drip)},
                      FailureCase{"EndlessHeaders", head(HeadAnswer::EndlessHeaders)},
                      FailureCase{"LineFeedOnly", head(HeadAnswer::LineFeedOnly)},
                      FailureCase{"ClosedWithoutAnswer", head(HeadAnswer::Close)},
                      FailureCase{"EncodedBody", encoded(HeadAnswer::Normal, GetAnswer::Normal)},
                      FailureCase{"EncodedWholeBody", encoded(HeadAnswer::NoLength, GetAnswer::Normal)},
                      FailureCase{"EncodedRanges", encodedGetOnly()},
                      FailureCase{"RedirectToItself", redirect(301, "/x/l_9.jpg")},
                      FailureCase{"RedirectWithoutLocation", redirect(302, "")},
                      FailureCase{"RedirectToAnotherScheme", redirect(307, "ftp://pictures.test/l_9.jpg")},
                      FailureCase{"IgnoresRangeWithAShorterBody", ignoresRangeAnnouncing("600000")},
                      FailureCase{"WrongContentRange", get(GetAnswer::WrongRange)},
                      FailureCase{"WrongContentRangeOfASmallFile", get(GetAnswer::WrongRange), 5000},
                      FailureCase{"WrongTotal", get(GetAnswer::WrongTotal)},
                      FailureCase{"ShortBody", get(GetAnswer::ShortBody)},
                      FailureCase{"ClosesMidBody", get(GetAnswer::CloseMidBody)},
                      FailureCase{"ChunkedBody", get(GetAnswer::Chunked)},
                      FailureCase{"MoreBytesThanTheRange", get(GetAnswer::ExtraBytes)},
                      FailureCase{"SilentGet", get(GetAnswer::Silent)},
                      FailureCase{"DrippingBody", get(GetAnswer::DripBody)}),
    [](const ::testing::TestParamInfo<FailureCase>& failure) { return std::string(failure.param.Name); });

TEST_F(DownloadTest, MissingFileUnknownHostAndUnsafeAddressFail) {
  EXPECT_EQ(download("/missing.jpg", target()).Status, kDownloadFailed);
  EXPECT_EQ(download("/a.jpg\r\nX-Injected: 1", target()).Status, kDownloadFailed);
  // A host nobody maps, and a port no one listens on.
  DownloadVars vars;
  prepareDownloadVars(vars, 80000);
  const QStringList unreachable{"http://no-such-host.invalid/a.jpg", "http://127.0.0.1:1/a.jpg"};
  for (const QString& url : unreachable) {
    TMultiThreadDown down(url, target(), vars);
    down.setEndpoints(Server.endpoints());
    down.setLimits(quickLimits());
    prepareDownloadVars(vars, 80000);
    down.start();
    while (vars.Status == kDownloadRunning) QThread::msleep(5);
    EXPECT_EQ(vars.Status, kDownloadFailed) << url.toStdString();
  }
  EXPECT_FALSE(QFile::exists(target()));
  EXPECT_EQ(Server.requestCount("GET"), 0);
}

// --- Servers that cannot serve ranges, redirects, ports ------------------------

struct FallbackCase {
  const char* Name;
  ServeOptions Options;
  qsizetype Size = 500000;
};

class WholeBodyTest : public DownloadTest, public ::testing::WithParamInterface<FallbackCase> {};

// Each ends with one GET without a range whose body becomes the target.
TEST_P(WholeBodyTest, TakesTheWholeBodyInOneStream) {
  const FallbackCase& fallback = GetParam();
  const QByteArray body = randomBytes(fallback.Size);
  Server.serve("/w/l_3.jpg", body, fallback.Options);
  const DownloadRun run = download("/w/l_3.jpg", target(), 80000, quickLimits());
  ASSERT_EQ(run.Status, kDownloadSucceeded) << run.Reason;
  EXPECT_EQ(contents(target()), body);
  EXPECT_EQ(run.TotalSize, body.size());
  EXPECT_EQ(run.Received, body.size());
  EXPECT_TRUE(segmentFilesLeft().isEmpty());
  int wholeGets = 0;
  for (const RecordedRequest& request : Server.requests())
    if (request.Method == "GET" && request.Range.isEmpty()) ++wholeGets;
  EXPECT_EQ(wholeGets, 1);
}

ServeOptions options(HeadAnswer headAnswer, GetAnswer getAnswer) {
  ServeOptions options;
  options.Head = headAnswer;
  options.Get = getAnswer;
  return options;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, WholeBodyTest,
    ::testing::Values(FallbackCase{"HeadWithoutLength", options(HeadAnswer::NoLength, GetAnswer::Normal)},
                      FallbackCase{"ChunkedHeadAndBody",
                                   options(HeadAnswer::Chunked, GetAnswer::ChunkedWhole)},
                      FallbackCase{"IgnoresRange", get(GetAnswer::IgnoreRange)},
                      FallbackCase{"IgnoresRangeOfASmallFile", get(GetAnswer::IgnoreRange), 5000},
                      FallbackCase{"IgnoresRangeOfABigFile", get(GetAnswer::IgnoreRange), 8000000},
                      FallbackCase{"RefusesEveryRange", get(GetAnswer::RefuseRanges)}),
    [](const ::testing::TestParamInfo<FallbackCase>& testCase) { return std::string(testCase.param.Name); });

TEST_F(DownloadTest, AResumedTargetTakesTheRestOfAWholeBody) {
  const QByteArray body = randomBytes(300000);
  Server.serve("/r.jpg", body, get(GetAnswer::IgnoreRange));
  QFile partial(target());
  ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
  partial.write(body.left(120000));
  partial.close();
  const DownloadRun run = download("/r.jpg", target(), 80000, quickLimits(), 1);
  ASSERT_EQ(run.Status, kDownloadSucceeded) << run.Reason;
  EXPECT_EQ(contents(target()), body);
  EXPECT_EQ(run.Received, body.size() - 120000);
}

TEST_F(DownloadTest, AnEncodedPictureIsRefusedWithAReason) {
  Server.serve("/e.jpg", randomBytes(5000), encoded(HeadAnswer::Normal, GetAnswer::Normal));
  const DownloadRun run = download("/e.jpg", target(), 80000, quickLimits());
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_NE(run.Reason.find("Content-Encoding: gzip"), std::string::npos) << run.Reason;
  EXPECT_EQ(Server.requestCount("GET"), 0);
  EXPECT_FALSE(QFile::exists(target()));
}

TEST_F(DownloadTest, TheHeadFollowsFiveRedirectsAndTheSegmentsAskTheLastAddress) {
  const QByteArray body = randomBytes(300000);
  Server.serve("/final/l_1.jpg", body);
  const int statuses[] = {301, 302, 303, 307, 308};
  for (int hop = 0; hop < 5; ++hop) {
    const QByteArray next = hop == 4 ? "/final/l_1.jpg" : "/hop" + QByteArray::number(hop + 1) + ".jpg";
    Server.serve("/hop" + QString::number(hop) + ".jpg", {}, redirect(statuses[hop], next));
  }
  const DownloadRun run = download("/hop0.jpg", target());
  ASSERT_EQ(run.Status, kDownloadSucceeded) << run.Reason;
  EXPECT_EQ(contents(target()), body);
  EXPECT_EQ(Server.requestCount("HEAD"), 6);
  for (const RecordedRequest& request : Server.requests()) {
    if (request.Method == "GET") {
      EXPECT_EQ(request.Path, "/final/l_1.jpg");
    }
  }

  // One hop more is too many.
  Server.serve("/hop-1.jpg", {}, redirect(301, "/hop0.jpg"));
  const DownloadRun tooMany = download("/hop-1.jpg", target());
  EXPECT_EQ(tooMany.Status, kDownloadFailed);
  EXPECT_NE(tooMany.Reason.find("redirects"), std::string::npos) << tooMany.Reason;
}

TEST_F(DownloadTest, APortInTheAddressIsConnectedToAndNamedInTheHostLine) {
  const QByteArray body = randomBytes(200000);
  Server.serve("/p.jpg", body);
  const QString address = QString("http://127.0.0.1:%1/p.jpg").arg(Server.port());
  const DownloadRun run = downloadAddress(address, target());
  ASSERT_EQ(run.Status, kDownloadSucceeded) << run.Reason;
  EXPECT_EQ(contents(target()), body);
  const QByteArray hostLine = "\r\nHost: 127.0.0.1:" + QByteArray::number(Server.port()) + "\r\n";
  for (const RecordedRequest& request : Server.requests()) EXPECT_TRUE(request.Head.contains(hostLine));
}

TEST_F(DownloadTest, AnHttpsAddressToAServerWithoutTlsFailsWithAReason) {
  // The server speaks plain HTTP, so an https address to it fails in the handshake.
  const QString address = QString("https://127.0.0.1:%1/p.jpg").arg(Server.port());
  Server.serve("/p.jpg", randomBytes(1000));
  const DownloadRun run = downloadAddress(address, target(), 80000, quickLimits());
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_NE(run.Reason.find("TLS"), std::string::npos) << run.Reason;
  EXPECT_FALSE(QFile::exists(target()));
}

// --- Slow links ------------------------------------------------------------------

// A download has no overall deadline: one that keeps a slow but steady pace
// runs for many low-speed windows and keeps every byte.
TEST_F(DownloadTest, ASlowButSteadyDownloadRunsToItsEnd) {
  // At most 50 bytes a second, so the body takes at least four windows.
  ServeOptions drip = get(GetAnswer::DripBody);
  drip.DripInterval = 20ms;
  const QByteArray body = randomBytes(200);
  Server.serve("/slow.jpg", body, drip);
  DownloadLimits limits = quickLimits();
  limits.LowSpeed = {10, 1s};
  const DownloadRun run = download("/slow.jpg", target(), 80000, limits);
  EXPECT_EQ(run.Status, kDownloadSucceeded);
  EXPECT_EQ(contents(target()), body);
  EXPECT_TRUE(segmentFilesLeft().isEmpty());
}

// Twenty segments sharing one slow link: each idles between its bytes, but
// together they keep the pace, so none of them is taken for stalled.
TEST_F(DownloadTest, SegmentsAreJudgedByTheirProgressTogether) {
  ServeOptions drip = get(GetAnswer::DripBody);
  drip.DripInterval = 100ms;  // about 10 bytes a second per segment
  const QByteArray body = randomBytes(400);
  Server.serve("/shared.jpg", body, drip);
  DownloadLimits limits = quickLimits();
  limits.LowSpeed = {40, 1500ms};  // more than any one segment brings in its window
  const DownloadRun run = download("/shared.jpg", target(), 20, limits);
  EXPECT_EQ(run.Status, kDownloadSucceeded);
  EXPECT_EQ(contents(target()), body);
  EXPECT_EQ(rangesAsked(Server).size(), 20u);
}

TEST_F(DownloadTest, ABodyThatStopsFailsAfterOneLowSpeedWindow) {
  Server.serve("/stops.jpg", randomBytes(300000), get(GetAnswer::ShortBody));
  DownloadLimits limits = quickLimits();
  limits.LowSpeed = {1024, 1s};
  const DownloadRun run = download("/stops.jpg", target(), 80000, limits);
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_GT(run.Received, 0);
  EXPECT_LT(run.Took, 10s);
  EXPECT_FALSE(QFile::exists(target()));
  EXPECT_TRUE(segmentFilesLeft().isEmpty());
}

// --- Extreme lengths ----------------------------------------------------------------

// 2^31 - 1 bytes in one-byte segments used to overflow the plan, which then
// asked for "bytes=0--1" or took the length for nothing to fetch and gave an
// empty file as a success.
TEST_F(DownloadTest, TheLargestLengthInOneByteSegmentsAsksForTwentyProperRanges) {
  Server.serve("/huge.jpg", randomBytes(1000), head(HeadAnswer::AnnouncedLength, "2147483647"));
  const DownloadRun run = download("/huge.jpg", target(), 1, quickLimits());
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_EQ(run.TotalSize, 2147483647);
  EXPECT_FALSE(QFile::exists(target()));
  EXPECT_TRUE(segmentFilesLeft().isEmpty());
  const auto ranges = rangesAsked(Server);
  EXPECT_FALSE(ranges.empty());
  EXPECT_LE(ranges.size(), 20u);
  for (const QByteArray& range : ranges) {
    const QList<QByteArray> ends = range.mid(6).split('-');
    ASSERT_TRUE(range.startsWith("bytes=") && ends.size() == 2) << range.toStdString();
    bool firstOk = false;
    bool lastOk = false;
    const qint64 first = ends[0].toLongLong(&firstOk);
    const qint64 last = ends[1].toLongLong(&lastOk);
    EXPECT_TRUE(firstOk && lastOk && first <= last && last < 2147483647) << range.toStdString();
  }
}

// --- Cancel and teardown ----------------------------------------------------------

TEST_F(DownloadTest, CancelDuringTheHeadExchangeEndsAtOnce) {
  Server.serve("/slow.jpg", randomBytes(1000), head(HeadAnswer::Silent));
  // The default limits: only the Cancel can end this early.
  const DownloadRun run = download("/slow.jpg", target(), 80000, std::nullopt, 0, [&](DownloadVars& vars) {
    if (Server.requestCount("HEAD") > 0) vars.Cancel = 1;
  });
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_LT(run.Took, 5s);
  EXPECT_FALSE(QFile::exists(target()));
  EXPECT_TRUE(segmentFilesLeft().isEmpty());
}

// The host name's lookup cannot be interrupted; the download leaves it
// behind instead of waiting for a resolver that does not answer.
class HeldLookupTest : public DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    Server.serve("/a.jpg", randomBytes(1000));
    Server.endpoints()->holdLookups(kHost, 30s);
  }
  void TearDown() override { Server.endpoints()->releaseLookups(); }
};

TEST_F(HeldLookupTest, CancelDuringTheLookupEndsAtOnce) {
  // The default limits: only the Cancel can end this early.
  const DownloadRun run = download("/a.jpg", target(), 80000, std::nullopt, 0, [this](DownloadVars& vars) {
    if (Server.endpoints()->heldLookups() > 0) vars.Cancel = 1;
  });
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_LT(run.Took, 5s);
  EXPECT_EQ(Server.connectionCount(), 0);
  EXPECT_FALSE(QFile::exists(target()));
}

TEST_F(HeldLookupTest, TheLookupCountsAgainstTheExchangeLimit) {
  const DownloadRun run = download("/a.jpg", target(), 80000, quickLimits());
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_LT(run.Took, 5s);
  EXPECT_EQ(Server.connectionCount(), 0);
}

TEST_F(HeldLookupTest, DestroyingTheControllerDuringTheLookupReturnsAtOnce) {
  DownloadVars vars;
  prepareDownloadVars(vars, 80000);
  const Clock::time_point start = Clock::now();
  {
    TMultiThreadDown down(Server.Url("/a.jpg"), target(), vars);
    down.setEndpoints(Server.endpoints());
    down.start();
    while (Server.endpoints()->heldLookups() == 0 && Clock::now() - start < 10s) QThread::msleep(5);
    EXPECT_GT(Server.endpoints()->heldLookups(), 0);
  }
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(vars.Status, kDownloadFailed);
}

TEST_F(HeldLookupTest, ALookupThatAnswersLateStillConnects) {
  Server.endpoints()->holdLookups(kHost, 300ms);
  EXPECT_EQ(download("/a.jpg", target()).Status, kDownloadSucceeded);
  EXPECT_EQ(QFileInfo(target()).size(), 1000);
}

TEST_F(DownloadTest, CancelWhileTheBodiesArriveRemovesEverything) {
  ServeOptions drip = get(GetAnswer::DripBody);
  drip.DripInterval = 20ms;
  Server.serve("/slow.jpg", randomBytes(400000), drip);
  const DownloadRun run = download("/slow.jpg", target(), 80000, std::nullopt, 0, [](DownloadVars& vars) {
    if (vars.Received > 20) vars.Cancel = 1;
  });
  EXPECT_EQ(run.Status, kDownloadFailed);
  EXPECT_LT(run.Took, 5s);
  EXPECT_FALSE(QFile::exists(target()));
  EXPECT_TRUE(segmentFilesLeft().isEmpty());
}

TEST_F(DownloadTest, DestroyingARunningControllerStopsItsThreads) {
  ServeOptions drip = get(GetAnswer::DripBody);
  drip.DripInterval = 50ms;
  Server.serve("/slow.jpg", randomBytes(400000), drip);
  DownloadVars vars;
  prepareDownloadVars(vars, 80000);
  bool notified = false;
  const Clock::time_point start = Clock::now();
  {
    TMultiThreadDown down(Server.Url("/slow.jpg"), target(), vars);
    down.setEndpoints(Server.endpoints());
    down.setOnTerminate([&notified] { notified = true; });
    down.start();
    while (vars.Received == 0 && Clock::now() - start < 10s) QThread::msleep(5);
  }
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(vars.Status, kDownloadFailed);
  QCoreApplication::processEvents();
  EXPECT_FALSE(notified);  // nothing of a destroyed download runs afterwards
  EXPECT_FALSE(QFile::exists(target()));
  EXPECT_TRUE(segmentFilesLeft().isEmpty());
}

TEST_F(DownloadTest, AnUnwritableFolderFails) {
  Server.serve("/a.jpg", randomBytes(200000));
  EXPECT_EQ(download("/a.jpg", Folder.filePath("missing-folder/l_1.jpg")).Status, kDownloadFailed);
}

// --- Header lines off the wire -----------------------------------------------------

TEST_F(DownloadTest, BodyBytesThatCameWithTheHeadGoToTheBody) {
  const QByteArray body = randomBytes(10000);
  Server.serve("/whole.bin", body);
  TBlockingSocket socket;
  socket.setEndpoints(Server.endpoints());
  socket.open(kHost, 80);
  socket.sendText("GET /whole.bin HTTP/1.1\r\nHost: pictures.test\r\n\r\n");
  const auto received = readResponseHead(socket, Clock::now() + 5s, [] { return false; });
  ASSERT_TRUE(received);
  EXPECT_EQ(received->head.status, 200);
  EXPECT_EQ(received->head.contentLength, body.size());
  QByteArray rest(received->bodyStart.data(), static_cast<qsizetype>(received->bodyStart.size()));
  char buffer[4096];
  while (rest.size() < body.size() && socket.waitForData(5000)) {
    const int count = socket.receive(buffer, sizeof buffer);
    if (count == 0) break;
    rest.append(buffer, count);
  }
  EXPECT_EQ(rest, body);
}

TEST_F(DownloadTest, AHeadThatNeverEndsGivesNothing) {
  TBlockingSocket socket;
  socket.setEndpoints(Server.endpoints());
  const auto headOf = [&](const char* path) {
    socket.open(kHost, 80);
    socket.sendText(headRequest(path, kHost));
    return readResponseHead(socket, Clock::now() + 1s, [] { return false; });
  };
  // Without a CR LF no line ends; the time runs out, or the peer closes.
  Server.serve("/lf.bin", randomBytes(10), head(HeadAnswer::LineFeedOnly));
  EXPECT_FALSE(headOf("lf.bin"));
  // An endless stream of header lines ends at the line count.
  Server.serve("/endless.bin", randomBytes(10), head(HeadAnswer::EndlessHeaders));
  EXPECT_FALSE(headOf("endless.bin"));
  Server.serve("/silent.bin", randomBytes(10), head(HeadAnswer::Silent));
  socket.open(kHost, 80);
  socket.sendText(headRequest("silent.bin", kHost));
  EXPECT_FALSE(readResponseHead(socket, Clock::now() + 300ms, [] { return false; }));
  // A stop ends the wait as well.
  socket.open(kHost, 80);
  socket.sendText(headRequest("silent.bin", kHost));
  EXPECT_FALSE(readResponseHead(socket, Clock::now() + 60s, [] { return true; }));
}

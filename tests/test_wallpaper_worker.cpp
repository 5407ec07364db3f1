// Setting the wallpaper off the window's thread: the event loop runs while a
// desktop is slow, a desktop that does not answer in time is given up with a
// message that names the deadline and its tool is killed, a newer request
// replaces one that waits, and every outcome comes back as a value.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <atomic>
#include <thread>

#include "library/SetDesktopWallpaper.h"
#include "library/WallpaperWorker.h"
#include "platform/RunProgram.h"
#include "support/TemporaryProgramFolder.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;

namespace {

// Holds each picture until the test lets it go, or until the caller gives up.
class GatedSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    started.fetch_add(1);
    while (!released.load() && !cancel.isCancelled()) std::this_thread::yield();
    if (cancel.isCancelled()) sawCancel.store(true);
    // A run that goes on regardless answers well after it was given up.
    if (ignoreCancel) std::this_thread::sleep_for(150ms);
    {
      std::lock_guard guard(m_lock);
      m_given << path;
    }
    return ignoreCancel || !cancel.isCancelled() ? answer : SetResult::failed(QStringLiteral("stopped"));
  }
  QString name() const override { return QStringLiteral("gated desktop"); }

  QStringList givenSoFar() {
    std::lock_guard guard(m_lock);
    return m_given;
  }

  std::atomic<bool> released{false};
  std::atomic<bool> sawCancel{false};
  std::atomic<int> started{0};
  bool ignoreCancel = false;
  SetResult answer = SetResult::applied();

 private:
  std::mutex m_lock;
  QStringList m_given;
};

struct Ending {
  quint64 ticket;
  std::optional<SetResult> result;  // none: superseded
};

class WallpaperWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    first = folder.writePicture(QStringLiteral("a.jpg"), QSize(4, 3), Qt::red);
    second = folder.writePicture(QStringLiteral("b.jpg"), QSize(4, 3), Qt::green);
    third = folder.writePicture(QStringLiteral("c.jpg"), QSize(4, 3), Qt::blue);
  }
  void watch(WallpaperWorker& worker) {
    QObject::connect(&worker, &WallpaperWorker::finished, [this](quint64 ticket, const SetResult& result) {
      endings.push_back({ticket, result});
    });
    QObject::connect(&worker, &WallpaperWorker::superseded, [this](quint64 ticket) {
      endings.push_back({ticket, std::nullopt});
    });
  }

  ProgramFolder folder;
  QString first, second, third;
  std::shared_ptr<GatedSetter> setter = std::make_shared<GatedSetter>();
  std::vector<Ending> endings;
};
}  // namespace

TEST_F(WallpaperWorkerTest, ASlowDesktopLeavesTheEventLoopRunningAndTheResultComesBack) {
  WallpaperWorker worker(setter);
  watch(worker);
  const quint64 ticket = worker.apply(first);
  EXPECT_FALSE(worker.idle());
  // Timers fire while the desktop is still at work.
  bool timerFired = false;
  QTimer::singleShot(10, [&] { timerFired = true; });
  ASSERT_TRUE(waitUntil([&] { return timerFired; }));
  EXPECT_TRUE(endings.empty());
  setter->released = true;
  ASSERT_TRUE(waitUntil([&] { return worker.idle(); }));
  ASSERT_EQ(endings.size(), 1u);
  EXPECT_EQ(endings[0].ticket, ticket);
  ASSERT_TRUE(endings[0].result);
  EXPECT_EQ(endings[0].result->status, SetStatus::Applied);
  EXPECT_EQ(setter->givenSoFar(), QStringList{first});
}

TEST_F(WallpaperWorkerTest, ADesktopThatPassesTheDeadlineIsGivenUpWithAMessageThatNamesIt) {
  WallpaperWorker worker(setter, 200ms);
  watch(worker);
  worker.apply(first);
  ASSERT_TRUE(waitUntil([&] { return !endings.empty(); }));
  ASSERT_TRUE(endings[0].result);
  EXPECT_EQ(endings[0].result->status, SetStatus::TimedOut);
  const QString text = notAppliedText(*endings[0].result);
  EXPECT_TRUE(text.contains(QStringLiteral("gated desktop did not finish within 200 ms")))
      << text.toStdString();
  EXPECT_TRUE(needsUserReport(*endings[0].result));
  // The run itself is told to stop.
  EXPECT_TRUE(waitUntil([&] { return setter->sawCancel.load(); }));
}

TEST_F(WallpaperWorkerTest, WhatAnAbandonedRunAnswersLateIsDropped) {
  setter->ignoreCancel = true;
  WallpaperWorker worker(setter, 100ms);
  watch(worker);
  worker.apply(first);
  ASSERT_TRUE(waitUntil([&] { return !endings.empty(); }));
  // The run goes on past its deadline, then answers "applied" after all.
  ASSERT_TRUE(waitUntil([&] { return setter->sawCancel.load(); }));
  waitUntil([] { return false; }, 300ms);
  ASSERT_EQ(endings.size(), 1u);
  EXPECT_EQ(endings[0].result->status, SetStatus::TimedOut);
  EXPECT_TRUE(worker.idle());
}

TEST_F(WallpaperWorkerTest, ANewerRequestReplacesTheOneWaitingAndTheLastOneIsSet) {
  WallpaperWorker worker(setter);
  watch(worker);
  const quint64 running = worker.apply(first);
  ASSERT_TRUE(waitUntil([&] { return setter->started.load() == 1; }));
  const quint64 replaced = worker.apply(second);
  const quint64 newest = worker.apply(third);
  ASSERT_EQ(endings.size(), 1u);
  EXPECT_EQ(endings[0].ticket, replaced);
  EXPECT_FALSE(endings[0].result) << "the waiting request ends as superseded";
  setter->released = true;
  ASSERT_TRUE(waitUntil([&] { return worker.idle(); }));
  ASSERT_EQ(endings.size(), 3u);
  EXPECT_EQ(endings[1].ticket, running);
  EXPECT_EQ(endings[2].ticket, newest);
  // One at a time, in order: the desktop ends with the last click's picture.
  EXPECT_EQ(setter->givenSoFar(), (QStringList{first, third}));
}

TEST_F(WallpaperWorkerTest, ADesktopWithoutAnyWayAndAMissingFileComeBackAsValues) {
  setter->released = true;
  setter->answer = SetResult::unavailable(QStringLiteral("no wallpaper service here"));
  WallpaperWorker worker(setter);
  watch(worker);
  worker.apply(first);
  ASSERT_TRUE(waitUntil([&] { return worker.idle(); }));
  ASSERT_EQ(endings.size(), 1u);
  EXPECT_EQ(endings[0].result->status, SetStatus::Unavailable);
  EXPECT_TRUE(notAppliedText(*endings[0].result).contains(QStringLiteral("no wallpaper service here")));

  worker.apply(folder.file(QStringLiteral("gone.jpg")));
  ASSERT_TRUE(waitUntil([&] { return worker.idle(); }));
  ASSERT_EQ(endings.size(), 2u);
  EXPECT_EQ(endings[1].result->status, SetStatus::Failed);
  EXPECT_TRUE(endings[1].result->detail.contains(QStringLiteral("gone.jpg")));
  EXPECT_FALSE(needsUserReport(*endings[1].result)) << "a refusal is passed over";
}

TEST_F(WallpaperWorkerTest, ADesktopWhoseShellIsNotRunningIsToldAsSuch) {
  setter->released = true;
  setter->answer = SetResult::notRunning(QStringLiteral("plasmashell is not running"));
  WallpaperWorker worker(setter);
  watch(worker);
  worker.apply(first);
  ASSERT_TRUE(waitUntil([&] { return worker.idle(); }));
  ASSERT_EQ(endings.size(), 1u);
  const QString text = notAppliedText(*endings[0].result);
  EXPECT_TRUE(text.contains(QStringLiteral("plasmashell is not running"))) << text.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("cannot be set on this desktop"))) << text.toStdString();
  EXPECT_TRUE(needsUserReport(*endings[0].result)) << "the user hears of it";
}

TEST_F(WallpaperWorkerTest, AWorkerThatGoesWhileADesktopHangsStopsItAndEndsCleanly) {
  {
    WallpaperWorker worker(setter);
    worker.apply(first);
    ASSERT_TRUE(waitUntil([&] { return setter->started.load() == 1; }));
  }
  EXPECT_TRUE(setter->sawCancel.load());
}

TEST(RunProgramCancel, ACancelledRunKillsItsProgram) {
  ProgramFolder folder;
  const QString pidFile = folder.file(QStringLiteral("pid"));
  CancelToken cancel;
  std::thread canceller([&] {
    // Once the program is there, the waiting side gives up.
    while (!QFile::exists(pidFile)) std::this_thread::yield();
    cancel.cancel();
  });
  const ProgramRun run =
      runProgram(QStringLiteral("sh"),
                 {QStringLiteral("-c"), QStringLiteral("echo $$ > \"$0\"; exec sleep 60"), pidFile}, cancel);
  canceller.join();
  EXPECT_EQ(run.outcome, RunOutcome::Cancelled);
  EXPECT_TRUE(run.describeFailure(QStringLiteral("sh")).contains(QStringLiteral("stopped")));
  QFile file(pidFile);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const pid_t pid = pid_t(file.readAll().trimmed().toLong());
  ASSERT_GT(pid, 0);
  EXPECT_NE(::kill(pid, 0), 0) << "sleep 60 still runs";
}

TEST(RunProgramCancel, ATokenWhoseDeadlinePassesStopsTheProgramToo) {
  const CancelToken deadline{QDeadlineTimer(200)};
  const ProgramRun run = runProgram(QStringLiteral("sleep"), {QStringLiteral("60")}, deadline);
  EXPECT_EQ(run.outcome, RunOutcome::Cancelled);
  // The limit form still says it ran out of time.
  EXPECT_EQ(runProgram(QStringLiteral("sleep"), {QStringLiteral("60")}, 200ms).outcome, RunOutcome::TimedOut);
}

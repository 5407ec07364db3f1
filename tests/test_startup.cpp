// The start-up sequence without a window: the settings it loads and writes
// back, the rotation step it takes or not by the clock and the command
// line, the time it stores, the files it clears and where the program shows
// itself.
#include <gtest/gtest.h>

#include <QFile>
#include <mutex>
#include <utility>

#include "library/RotationController.h"
#include "library/Settings.h"
#include "library/SettingsController.h"
#include "library/StartupController.h"
#include "library/WallpaperWorker.h"
#include "platform/Autostart.h"
#include "platform/ProgramFolder.h"
#include "platform/ValueStore.h"
#include "platform/WallpaperSetter.h"
#include "support/ConfigHome.h"
#include "support/FixedClock.h"
#include "support/TemporaryProgramFolder.h"
#include "support/WaitUntil.h"

namespace {
// Runs on the worker's thread; the test reads what it recorded once the worker is idle.
class RecordingSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path, const CancelToken&) override {
    std::lock_guard lock(m_mutex);
    m_applied.push_back(path);
    return {m_answer, m_answer == SetStatus::Applied ? QString() : QStringLiteral("no way here")};
  }
  QString name() const override { return QStringLiteral("recording"); }
  void answerWith(SetStatus answer) {
    std::lock_guard lock(m_mutex);
    m_answer = answer;
  }
  QStringList takeApplied() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_applied, {});
  }

 private:
  std::mutex m_mutex;
  QStringList m_applied;
  SetStatus m_answer = SetStatus::Applied;
};

const QDateTime kLateEvening(QDate(2026, 3, 5), QTime(23, 30));

class StartupTest : public ::testing::Test {
 protected:
  ConfigHome config;
  ProgramFolder folder;
  QStringList applied;
  QStringList rows;
  std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(kLateEvening);
  SettingsController settings{folder.path() + kProgramFileName};
  std::shared_ptr<RecordingSetter> setter = std::make_shared<RecordingSetter>();
  WallpaperWorker worker{setter};
  RotationController rotation{worker, folder.path()};
  QStringList failures;

  // A rotation list of two pictures, so that a step shows in what is applied.
  void SetUp() override {
    rows = folder.writeRotationList({"pics/l_1.jpg", "pics/l_2.jpg"});
    QObject::connect(&rotation, &RotationController::failed,
                     [this](const QString& message) { failures << message; });
  }

  void answerWith(SetStatus answer) { setter->answerWith(answer); }
  AppContext context() const {
    AppContext context;
    context.dataFolder = folder.path();
    context.clock = clock;
    return context;
  }
  // One start with the arguments after the program's name.
  StartupOutcome start(const QStringList& arguments = {}, Shape shape = Shape::Normal) {
    applied.clear();
    StartupController startup(context(), settings, rotation);
    const StartupOutcome outcome =
        startup.run(QStringList{QStringLiteral("NimbraWallpaper")} + arguments, shape);
    // The change is told to the desktop on the worker; what it did is known once it is idle.
    EXPECT_TRUE(waitUntil([this] { return worker.idle(); }));
    applied = setter->takeApplied();
    return outcome;
  }
  static QDateTime storedLastTime() {
    const auto value = ValueStore::open().value(kSettingsKey, QStringLiteral("Lasttime"));
    return value ? parseLastTime(value->text) : QDateTime();
  }
  void chooseAutoStartWithMode(int mode) {
    SaveAutoChange(mode);
    ASSERT_TRUE(writeAutostartEntry({folder.path() + kProgramFileName, "-" + QString::number(mode)}));
  }
};
}  // namespace

TEST_F(StartupTest, AFirstStartLoadsTheOptionsAndTheListAndStoresItsTime) {
  const StartupOutcome outcome = start();
  EXPECT_FALSE(settings.autoRun());
  EXPECT_EQ(settings.changeMode(), 3);
  EXPECT_EQ(outcome.changeMode, 3);
  EXPECT_EQ(rotation.rows(), rows);
  EXPECT_EQ(rotation.currentIndex(), 1);
  EXPECT_TRUE(applied.isEmpty());
  EXPECT_EQ(storedLastTime(), kLateEvening);
  EXPECT_EQ(outcome.startIn, StartIn::Window);
}

TEST_F(StartupTest, DailyChangeCountsWholeDaysNotTheDateAndStoresEachStart) {
  chooseAutoStartWithMode(2);
  ASSERT_TRUE(SaveLastTime(kLateEvening));
  struct Case {
    qint64 secondsLater;  // after the previous start
    int steps;
  };
  // Past midnight, an hour later: a new date, but not a day.
  // A day less a minute after that start, then a day and a minute.
  for (const Case& next : {Case{3600, 0}, Case{23 * 3600 - 60, 0}, Case{24 * 3600 + 60, 1}}) {
    SCOPED_TRACE(testing::Message() << next.secondsLater << " s");
    const QDateTime previous = storedLastTime();
    clock->set(previous.addSecs(next.secondsLater));
    const StartupOutcome outcome = start({"-2"});
    EXPECT_EQ(outcome.changeMode, 2);
    EXPECT_EQ(applied.size(), next.steps);
    EXPECT_EQ(storedLastTime(), clock->now());
  }
  // The 24 hours run from the previous start, not from the last change.
  EXPECT_EQ(rotation.currentIndex(), 2);
}

TEST_F(StartupTest, APreviousStartInTheFutureCountsAsDaysAgo) {
  chooseAutoStartWithMode(2);
  ASSERT_TRUE(SaveLastTime(kLateEvening.addDays(2)));
  start();
  EXPECT_EQ(applied, QStringList{rows[1]});
  EXPECT_EQ(storedLastTime(), kLateEvening);
}

TEST_F(StartupTest, ChangeAtEveryStartOnlyWhenTheEntryStartedTheProgram) {
  chooseAutoStartWithMode(1);
  StartupOutcome outcome = start({"-1"});
  EXPECT_EQ(outcome.changeMode, 1);
  EXPECT_EQ(applied, QStringList{rows[1]});
  EXPECT_EQ(outcome.startIn, StartIn::Tray);
  outcome = start();
  EXPECT_EQ(outcome.changeMode, 3);
  EXPECT_TRUE(applied.isEmpty());
  EXPECT_EQ(outcome.startIn, StartIn::Window);
}

TEST_F(StartupTest, TheListOfTheScreensShapeIsBuiltWhenNoneIsStored) {
  QFile::remove(folder.file("list.dat"));
  const QString wide = folder.writePicture("wallpaper/widescreen/local/1/l_w.jpg", QSize(8, 3), Qt::red);
  folder.writePicture("wallpaper/normal/local/1/l_n.jpg", QSize(4, 3), Qt::red);
  start({}, Shape::Widescreen);
  EXPECT_EQ(rotation.rows(), QStringList{wide});
}

TEST_F(StartupTest, AChangeThatFailsIsReportedAndTheStartStillEnds) {
  chooseAutoStartWithMode(1);
  folder.writeFile("wallpaper/network/1.ini", "[x]\r\n");
  answerWith(SetStatus::Unavailable);
  const StartupOutcome outcome = start({"-1"});
  EXPECT_EQ(applied.size(), 1);
  ASSERT_TRUE(waitUntil([this] { return !failures.isEmpty(); }));
  ASSERT_EQ(failures.size(), 1);
  EXPECT_TRUE(failures.first().contains("no way here")) << failures.first().toStdString();
  EXPECT_EQ(storedLastTime(), kLateEvening);
  EXPECT_FALSE(QFile::exists(folder.file("wallpaper/network/1.ini")));
  EXPECT_EQ(outcome.startIn, StartIn::Tray);
}

TEST_F(StartupTest, LeftoverCategoryFilesOfTheDataFolderGo) {
  for (int n = 1; n <= 6; ++n) folder.writeFile(QString("wallpaper/network/%1.ini").arg(n), "[x]\r\n");
  start();
  for (int n = 1; n <= 5; ++n)
    EXPECT_FALSE(QFile::exists(folder.file(QString("wallpaper/network/%1.ini").arg(n))));
  EXPECT_TRUE(QFile::exists(folder.file("wallpaper/network/6.ini")));
}

TEST(StartPlace, AnyFirstArgumentStartsInTheTray) {
  EXPECT_EQ(startPlace({}), StartIn::Window);
  EXPECT_EQ(startPlace({"NimbraWallpaper"}), StartIn::Window);
  EXPECT_EQ(startPlace({"NimbraWallpaper", ""}), StartIn::Window);
  EXPECT_EQ(startPlace({"NimbraWallpaper", "-1"}), StartIn::Tray);
  EXPECT_EQ(startPlace({"NimbraWallpaper", "anything", "more"}), StartIn::Tray);
}

// The start-up sequence without a window: the settings it loads and writes
// back, the rotation step it takes or not by the clock and the command
// line, the time it stores, the files it clears and where the program shows
// itself.
#include <gtest/gtest.h>

#include <QFile>

#include "library/RotationController.h"
#include "library/Settings.h"
#include "library/SettingsController.h"
#include "library/StartupController.h"
#include "platform/Autostart.h"
#include "platform/ProgramFolder.h"
#include "platform/ValueStore.h"
#include "platform/WallpaperSetter.h"
#include "support/ConfigHome.h"
#include "support/FixedClock.h"
#include "support/TemporaryProgramFolder.h"

namespace {
class RecordingSetter : public WallpaperSetter {
 public:
  RecordingSetter(QStringList* applied, SetStatus answer) : m_applied(applied), m_answer(answer) {}
  SetResult setWallpaper(const QString& path) override {
    m_applied->push_back(path);
    return {m_answer, m_answer == SetStatus::Applied ? QString() : QStringLiteral("no way here")};
  }
  QString name() const override { return QStringLiteral("recording"); }

 private:
  QStringList* m_applied;
  SetStatus m_answer;
};

const QDateTime kLateEvening(QDate(2026, 3, 5), QTime(23, 30));

class StartupTest : public ::testing::Test {
 protected:
  ConfigHome config;
  ProgramFolder folder;
  QStringList applied;
  QStringList rows;
  std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(kLateEvening);
  SettingsController settings;
  RotationController rotation;

  // A rotation list of two pictures, so that a step shows in what is applied.
  void SetUp() override {
    rows = folder.writeRotationList({"pics/l_1.jpg", "pics/l_2.jpg"});
    answerWith(SetStatus::Applied);
  }
  void TearDown() override { InstallWallpaperSetterForTesting(nullptr); }

  void answerWith(SetStatus answer) {
    InstallWallpaperSetterForTesting(std::make_unique<RecordingSetter>(&applied, answer));
  }
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
    return startup.run(QStringList{QStringLiteral("NimbraWallpaper")} + arguments, shape);
  }
  static QDateTime storedLastTime() {
    const auto value = ValueStore::Open().value(kSettingsKey, QStringLiteral("Lasttime"));
    return value ? ParseLastTime(value->text) : QDateTime();
  }
  void chooseAutoStartWithMode(int mode) {
    SaveAutoChange(mode);
    ASSERT_TRUE(WriteAutostartEntry({folder.path() + kProgramFileName, "-" + QString::number(mode)}));
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
  EXPECT_TRUE(outcome.problems.isEmpty());
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
  ASSERT_EQ(outcome.problems.size(), 1);
  EXPECT_TRUE(outcome.problems.first().contains("no way here")) << outcome.problems.first().toStdString();
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
  EXPECT_EQ(StartPlace({}), StartIn::Window);
  EXPECT_EQ(StartPlace({"NimbraWallpaper"}), StartIn::Window);
  EXPECT_EQ(StartPlace({"NimbraWallpaper", ""}), StartIn::Window);
  EXPECT_EQ(StartPlace({"NimbraWallpaper", "-1"}), StartIn::Tray);
  EXPECT_EQ(StartPlace({"NimbraWallpaper", "anything", "more"}), StartIn::Tray);
}

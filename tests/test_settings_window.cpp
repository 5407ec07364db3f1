// The settings steps of start-up and the settings page's auto-start options,
// driven through the main window: what lands in the value store and the
// autostart entry, and what a restart shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>

#include "app/Main.h"
#include "app/Settings.h"
#include "app/UnitGlobal.h"
#include "platform/Autostart.h"
#include "platform/ValueStore.h"
#include "platform/WallpaperSetter.h"
#include "support/ConfigHome.h"
#include "support/ProgramFolder.h"

namespace {
void ClickOn(QWidget* widget) {
  const QPointF centre = QRectF(widget->rect()).center();
  const QPointF global = widget->mapToGlobal(centre);
  QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QApplication::sendEvent(widget, &release);
}

class CountingSetter : public WallpaperSetter {
 public:
  explicit CountingSetter(int* count) : m_count(count) {}
  SetResult setWallpaper(const QString&) override {
    ++*m_count;
    return SetResult::applied();
  }
  QString name() const override { return QStringLiteral("counting"); }

 private:
  int* m_count;
};

std::optional<ValueStore::Value> Stored(const QString& name) {
  return ValueStore::Open().value(kSettingsKey, name);
}

int StoredInteger(const QString& name) {
  const auto value = Stored(name);
  return value && value->kind == ValueStore::Kind::Integer ? value->integer : -1;
}

QStringList EntryCommand() {
  const auto entry = ReadAutostartEntry();
  return entry ? entry->command : QStringList();
}

class SettingsWindowTest : public ::testing::Test {
 protected:
  ConfigHome config;
  ProgramFolder folder;

  QString program() const { return folder.path() + "NimbraWallpaper"; }

  // Which option shows: 1, 2 or 3, 0 when none is checked.
  static int CheckedMode(const TfrmMain& window) {
    if (window.optStartup->checked()) return 1;
    if (window.optDay->checked()) return 2;
    return window.optDisable->checked() ? 3 : 0;
  }

  static void ExpectOptionsUsable(const TfrmMain& window, bool usable) {
    const QColor colour = usable ? QColor(0, 0, 0) : QColor(128, 128, 128);
    for (const TRadioButton* option : {window.optStartup, window.optDay, window.optDisable}) {
      EXPECT_EQ(option->isEnabled(), usable) << option->objectName().toStdString();
      EXPECT_EQ(option->fontColor(), colour) << option->objectName().toStdString();
    }
  }
};
}  // namespace

TEST_F(SettingsWindowTest, FirstStartOnACleanMachine) {
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  auto window = MakeMainWindow();
  EXPECT_EQ(ExePath, "NimbraWallpaper");
  EXPECT_EQ(StoredInteger("current"), 1);
  EXPECT_EQ(StoredInteger("AutoChange"), 3);
  ASSERT_TRUE(Stored("Lasttime"));
  EXPECT_GE(ParseLastTime(Stored("Lasttime")->text), before.addSecs(-1));
  EXPECT_GE(LastTime, before);
  EXPECT_FALSE(QFileInfo::exists(AutostartEntryPath()));
  EXPECT_FALSE(window->chkAutoRun->checked());
  EXPECT_EQ(CheckedMode(*window), 3);
  ExpectOptionsUsable(*window, false);
  EXPECT_EQ(ChangeMode, 3);
  EXPECT_EQ(CurrentIndex, 1);
  // Greyed options take no clicks.
  ClickOn(window->optDay);
  EXPECT_EQ(CheckedMode(*window), 3);
  EXPECT_EQ(StoredInteger("AutoChange"), 3);
}

TEST_F(SettingsWindowTest, StoredModeIsShownAndTheEntryRewrittenWithIt) {
  SaveAutoChange(2);
  WriteAutostartEntry({program(), "-1"});
  auto window = MakeMainWindow();
  EXPECT_TRUE(window->chkAutoRun->checked());
  EXPECT_EQ(CheckedMode(*window), 2);
  ExpectOptionsUsable(*window, true);
  EXPECT_EQ(EntryCommand(), (QStringList{program(), "-2"}));
  EXPECT_EQ(ChangeMode, 2);
}

TEST_F(SettingsWindowTest, ChangeAtEveryStartOnlyWhenStartedByTheEntry) {
  SaveAutoChange(1);
  WriteAutostartEntry({program(), "-1"});
  MakeMainWindow({"-1"});
  EXPECT_EQ(ChangeMode, 1);
  MakeMainWindow();
  EXPECT_EQ(ChangeMode, 3);
  EXPECT_EQ(EntryCommand(), (QStringList{program(), "-1"}));
}

TEST_F(SettingsWindowTest, EntryForAnotherFolderIsRemovedAtStart) {
  SaveAutoChange(1);
  WriteAutostartEntry({"/elsewhere/NimbraWallpaper", "-1"});
  auto window = MakeMainWindow();
  EXPECT_FALSE(QFileInfo::exists(AutostartEntryPath()));
  EXPECT_FALSE(window->chkAutoRun->checked());
  ExpectOptionsUsable(*window, false);
  // The stored mode waits, greyed, for auto-start to be turned on again.
  EXPECT_EQ(CheckedMode(*window), 1);
  EXPECT_EQ(StoredInteger("AutoChange"), 1);
  EXPECT_EQ(ChangeMode, 3);
}

TEST_F(SettingsWindowTest, AutoChangeStoredAsSevenOrAsTextIsRewrittenAsThree) {
  for (const QByteArray& stored : {QByteArray("dword:00000007"), QByteArray("\"2\"")}) {
    WriteAutostartEntry({program(), "-2"});
    QDir().mkpath(QFileInfo(ValueStore::DefaultFilePath()).path());
    QFile file(ValueStore::DefaultFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Software\\Nimbra-Wallpaper]\n\"AutoChange\"=" + stored + "\n");
    file.close();
    auto window = MakeMainWindow();
    EXPECT_EQ(StoredInteger("AutoChange"), 3) << stored.constData();
    EXPECT_EQ(CheckedMode(*window), 3) << stored.constData();
    EXPECT_EQ(EntryCommand(), (QStringList{program(), "-3"})) << stored.constData();
  }
}

TEST_F(SettingsWindowTest, UncheckingAutoRunWhileDailyIsCheckedTurnsTheChangeOff) {
  SaveAutoChange(2);
  WriteAutostartEntry({program(), "-2"});
  auto window = MakeMainWindow();
  ASSERT_EQ(CheckedMode(*window), 2);
  ClickOn(window->chkAutoRun);
  EXPECT_FALSE(window->chkAutoRun->checked());
  EXPECT_FALSE(QFileInfo::exists(AutostartEntryPath()));
  EXPECT_EQ(StoredInteger("AutoChange"), 3);
  EXPECT_EQ(CheckedMode(*window), 3);
  ExpectOptionsUsable(*window, false);
}

TEST_F(SettingsWindowTest, ChoosingDailyEndsTheEntryInMinusTwoAndARestartShowsIt) {
  {
    auto window = MakeMainWindow();
    ClickOn(window->chkAutoRun);
    ASSERT_TRUE(window->chkAutoRun->checked());
    ExpectOptionsUsable(*window, true);
    EXPECT_EQ(EntryCommand(), (QStringList{program(), "-3"}));
    ClickOn(window->optDay);
    EXPECT_EQ(CheckedMode(*window), 2);
    EXPECT_EQ(StoredInteger("AutoChange"), 2);
    EXPECT_EQ(EntryCommand(), (QStringList{program(), "-2"}));
  }
  auto restarted = MakeMainWindow({"-2"});
  EXPECT_TRUE(restarted->chkAutoRun->checked());
  EXPECT_EQ(CheckedMode(*restarted), 2);
  ExpectOptionsUsable(*restarted, true);
  EXPECT_EQ(ChangeMode, 2);
}

TEST_F(SettingsWindowTest, DailyChangeCountsWholeDaysEitherWayAndStoresThisStart) {
  QByteArray list;
  for (const char* name : {"pics/l_1.jpg", "pics/l_2.jpg"})
    list += folder.writePicture(name, QSize(4, 3), Qt::blue).toUtf8() + "\n";
  folder.writeFile("list.dat", list);
  SaveAutoChange(2);
  WriteAutostartEntry({program(), "-2"});
  struct Case {
    qint64 secondsFromNow;
    int steps;
  };
  for (const Case& start : {Case{-23 * 3600, 0}, Case{-25 * 3600, 1}, Case{2 * 24 * 3600, 1}}) {
    LastTime = QDateTime::currentDateTime().addSecs(start.secondsFromNow);
    ASSERT_TRUE(SaveLastTime());
    int steps = 0;
    InstallWallpaperSetterForTesting(std::make_unique<CountingSetter>(&steps));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    MakeMainWindow({"-2"});
    InstallWallpaperSetterForTesting(nullptr);
    EXPECT_EQ(steps, start.steps) << start.secondsFromNow << " s";
    const QDateTime stored = ParseLastTime(Stored("Lasttime")->text);
    EXPECT_GE(stored, before) << start.secondsFromNow << " s";
    EXPECT_LE(stored, QDateTime::currentDateTime()) << start.secondsFromNow << " s";
  }
}

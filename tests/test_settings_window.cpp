// The settings steps of start-up and the settings page's auto-start options,
// driven through the main window: what lands in the value store and the
// autostart entry, what the start-up change did to the rotation, and what a
// restart shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>

#include "app/Main.h"
#include "library/Settings.h"
#include "platform/Autostart.h"
#include "platform/ValueStore.h"
#include "platform/WallpaperSetter.h"
#include "support/ConfigHome.h"
#include "support/MainControls.h"
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

class RecordingSetter : public WallpaperSetter {
 public:
  explicit RecordingSetter(QStringList* applied) : m_applied(applied) {}
  SetResult setWallpaper(const QString& path, const CancelToken&) override {
    m_applied->push_back(path);
    return SetResult::applied();
  }
  QString name() const override { return QStringLiteral("recording"); }

 private:
  QStringList* m_applied;
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
  // The start-up change's steps, as the rotation applies them.
  QStringList applied;
  QStringList rows;

  // A rotation list of two pictures, so that a start-up step shows in what is
  // applied and stored.
  void SetUp() override { rows = folder.writeRotationList({"pics/l_1.jpg", "pics/l_2.jpg"}); }

  // The program's start, once the desktop has answered the start-up change.
  std::unique_ptr<TfrmMain> Start(const QStringList& arguments = {}) {
    auto window = MakeMainWindowWith(folder.context(std::make_shared<RecordingSetter>(&applied)), arguments);
    EXPECT_TRUE(WaitUntil([&] { return window->wallpaperWorker().idle(); }));
    return window;
  }

  QString program() const { return folder.path() + "NimbraWallpaper"; }

  // Long enough ago that a daily change is due.
  static void StoreLastTimeDaysAgo(int days) {
    ASSERT_TRUE(SaveLastTime(QDateTime::currentDateTime().addDays(-days)));
  }

  // Which option shows: 1, 2 or 3, 0 when none is checked.
  static int CheckedMode(const TfrmMain& window) {
    if (Ui(window).optStartup->checked()) return 1;
    if (Ui(window).optDay->checked()) return 2;
    return Ui(window).optDisable->checked() ? 3 : 0;
  }

  static void ExpectOptionsUsable(const TfrmMain& window, bool usable) {
    const QColor colour = usable ? QColor(0, 0, 0) : QColor(128, 128, 128);
    for (const SkinRadioButton* option : {Ui(window).optStartup, Ui(window).optDay, Ui(window).optDisable}) {
      EXPECT_EQ(option->isEnabled(), usable) << option->objectName().toStdString();
      EXPECT_EQ(option->fontColor(), colour) << option->objectName().toStdString();
    }
  }

  // A start whose change did nothing: no picture applied, the position kept.
  void ExpectNoStep(TfrmMain& window, int position) {
    EXPECT_TRUE(applied.isEmpty()) << applied.join(", ").toStdString();
    EXPECT_EQ(window.rotation().currentIndex(), position);
    EXPECT_EQ(StoredInteger("current"), position);
  }
  // A start that stepped once from `from`.
  void ExpectOneStep(TfrmMain& window, int from) {
    const int to = from % int(rows.size()) + 1;
    EXPECT_EQ(applied, QStringList{rows[to - 1]});
    EXPECT_EQ(window.rotation().currentIndex(), to);
    EXPECT_EQ(StoredInteger("current"), to);
  }
};
}  // namespace

TEST_F(SettingsWindowTest, FirstStartOnACleanMachine) {
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  auto window = Start();
  EXPECT_EQ(StoredInteger("current"), 1);
  EXPECT_EQ(StoredInteger("AutoChange"), 3);
  ASSERT_TRUE(Stored("Lasttime"));
  // The stored text has whole seconds.
  EXPECT_GE(ParseLastTime(Stored("Lasttime")->text), before.addSecs(-1));
  EXPECT_LE(ParseLastTime(Stored("Lasttime")->text), QDateTime::currentDateTime());
  EXPECT_FALSE(QFileInfo::exists(AutostartEntryPath()));
  EXPECT_FALSE(Ui(window).chkAutoRun->checked());
  EXPECT_EQ(CheckedMode(*window), 3);
  ExpectOptionsUsable(*window, false);
  // Mode 3: the start changes nothing, and the rotation starts at row 1.
  ExpectNoStep(*window, 1);
  // Greyed options take no clicks.
  ClickOn(Ui(window).optDay);
  EXPECT_EQ(CheckedMode(*window), 3);
  EXPECT_EQ(StoredInteger("AutoChange"), 3);
}

TEST_F(SettingsWindowTest, StoredModeIsShownAndTheEntryRewrittenWithIt) {
  SaveAutoChange(2);
  WriteAutostartEntry({program(), "-1"});
  StoreLastTimeDaysAgo(2);
  auto window = Start();
  EXPECT_TRUE(Ui(window).chkAutoRun->checked());
  EXPECT_EQ(CheckedMode(*window), 2);
  ExpectOptionsUsable(*window, true);
  EXPECT_EQ(EntryCommand(), (QStringList{program(), "-2"}));
  // Mode 2 with a day gone by: one step.
  ExpectOneStep(*window, 1);
}

TEST_F(SettingsWindowTest, ChangeAtEveryStartOnlyWhenStartedByTheEntry) {
  SaveAutoChange(1);
  WriteAutostartEntry({program(), "-1"});
  ExpectOneStep(*Start({"-1"}), 1);
  applied.clear();
  // Started by hand, mode 1 changes nothing, not even after a day.
  StoreLastTimeDaysAgo(2);
  ExpectNoStep(*Start(), 2);
  EXPECT_EQ(EntryCommand(), (QStringList{program(), "-1"}));
}

TEST_F(SettingsWindowTest, EntryForAnotherFolderIsRemovedAtStart) {
  SaveAutoChange(1);
  WriteAutostartEntry({"/elsewhere/NimbraWallpaper", "-1"});
  StoreLastTimeDaysAgo(2);
  auto window = Start();
  EXPECT_FALSE(QFileInfo::exists(AutostartEntryPath()));
  EXPECT_FALSE(Ui(window).chkAutoRun->checked());
  ExpectOptionsUsable(*window, false);
  // The stored mode waits, greyed, for auto-start to be turned on again.
  EXPECT_EQ(CheckedMode(*window), 1);
  EXPECT_EQ(StoredInteger("AutoChange"), 1);
  ExpectNoStep(*window, 1);
}

TEST_F(SettingsWindowTest, AutoChangeStoredAsSevenOrAsTextIsRewrittenAsThree) {
  for (const QByteArray& stored : {QByteArray("dword:00000007"), QByteArray("\"2\"")}) {
    WriteAutostartEntry({program(), "-2"});
    QDir().mkpath(QFileInfo(ValueStore::DefaultFilePath()).path());
    QFile file(ValueStore::DefaultFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Software\\Nimbra-Wallpaper]\n\"AutoChange\"=" + stored + "\n");
    file.close();
    auto window = Start();
    EXPECT_EQ(StoredInteger("AutoChange"), 3) << stored.constData();
    EXPECT_EQ(CheckedMode(*window), 3) << stored.constData();
    EXPECT_EQ(EntryCommand(), (QStringList{program(), "-3"})) << stored.constData();
  }
}

TEST_F(SettingsWindowTest, UncheckingAutoRunWhileDailyIsCheckedTurnsTheChangeOff) {
  SaveAutoChange(2);
  WriteAutostartEntry({program(), "-2"});
  auto window = Start();
  ASSERT_EQ(CheckedMode(*window), 2);
  ClickOn(Ui(window).chkAutoRun);
  EXPECT_FALSE(Ui(window).chkAutoRun->checked());
  EXPECT_FALSE(QFileInfo::exists(AutostartEntryPath()));
  EXPECT_EQ(StoredInteger("AutoChange"), 3);
  EXPECT_EQ(CheckedMode(*window), 3);
  ExpectOptionsUsable(*window, false);
}

TEST_F(SettingsWindowTest, ChoosingDailyEndsTheEntryInMinusTwoAndARestartShowsIt) {
  {
    auto window = Start();
    ClickOn(Ui(window).chkAutoRun);
    ASSERT_TRUE(Ui(window).chkAutoRun->checked());
    ExpectOptionsUsable(*window, true);
    EXPECT_EQ(EntryCommand(), (QStringList{program(), "-3"}));
    ClickOn(Ui(window).optDay);
    EXPECT_EQ(CheckedMode(*window), 2);
    EXPECT_EQ(StoredInteger("AutoChange"), 2);
    EXPECT_EQ(EntryCommand(), (QStringList{program(), "-2"}));
  }
  StoreLastTimeDaysAgo(2);
  auto restarted = Start({"-2"});
  EXPECT_TRUE(Ui(restarted).chkAutoRun->checked());
  EXPECT_EQ(CheckedMode(*restarted), 2);
  ExpectOptionsUsable(*restarted, true);
  // The restart runs in mode 2: a day has gone by, so it steps.
  ExpectOneStep(*restarted, 1);
}

TEST_F(SettingsWindowTest, DailyChangeCountsWholeDaysEitherWayAndStoresThisStart) {
  SaveAutoChange(2);
  WriteAutostartEntry({program(), "-2"});
  struct Case {
    qint64 secondsFromNow;
    int steps;
  };
  for (const Case& start : {Case{-23 * 3600, 0}, Case{-25 * 3600, 1}, Case{2 * 24 * 3600, 1}}) {
    SCOPED_TRACE(testing::Message() << start.secondsFromNow << " s");
    ASSERT_TRUE(SaveLastTime(QDateTime::currentDateTime().addSecs(start.secondsFromNow)));
    applied.clear();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    Start({"-2"});
    EXPECT_EQ(applied.size(), start.steps);
    const QDateTime stored = ParseLastTime(Stored("Lasttime")->text);
    EXPECT_GE(stored, before);
    EXPECT_LE(stored, QDateTime::currentDateTime());
  }
}

TEST_F(SettingsWindowTest, TheOptionsAreDrawnFromTheSettingsAndCodeRunsNoHandler) {
  auto window = MakeMainWindow(folder);
  window->settings().setAutoRun(true);
  EXPECT_TRUE(Ui(window).chkAutoRun->checked());
  ExpectOptionsUsable(*window, true);
  window->settings().chooseMode(1);
  EXPECT_EQ(CheckedMode(*window), 1);
  EXPECT_FALSE(Ui(window).optDay->checked());
  EXPECT_FALSE(Ui(window).optDisable->checked());
  // A state set on a control from code is only drawn: nothing is stored.
  int clicks = 0;
  QObject::connect(Ui(window).optDay, &SkinRadioButton::Click, [&clicks] { ++clicks; });
  QObject::connect(Ui(window).chkAutoRun, &SkinCheckBox::Click, [&clicks] { ++clicks; });
  Ui(window).optDay->setChecked(true);
  Ui(window).chkAutoRun->setChecked(false);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(StoredInteger("AutoChange"), 1);
  EXPECT_EQ(EntryCommand(), (QStringList{program(), "-1"}));
  // Every change of the settings draws the page again from them.
  window->settings().chooseMode(1);
  EXPECT_EQ(CheckedMode(*window), 1);
  EXPECT_TRUE(Ui(window).chkAutoRun->checked());
  // The user's click goes through the settings.
  ClickOn(Ui(window).optDay);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(CheckedMode(*window), 2);
  EXPECT_TRUE(Ui(window).chkAutoRun->checked());
  EXPECT_EQ(StoredInteger("AutoChange"), 2);
}

TEST_F(SettingsWindowTest, TheSettingTabShowsAnEntryRemovedBehindTheProgramsBack) {
  SaveAutoChange(2);
  WriteAutostartEntry({program(), "-2"});
  auto window = MakeMainWindow(folder);
  ASSERT_TRUE(Ui(window).chkAutoRun->checked());
  RemoveAutostartEntry();
  window->btnThemeClick();
  EXPECT_FALSE(Ui(window).chkAutoRun->checked());
  EXPECT_EQ(CheckedMode(*window), 3);
  ExpectOptionsUsable(*window, false);
  EXPECT_EQ(StoredInteger("AutoChange"), 3);
}

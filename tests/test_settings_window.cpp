// The settings steps of start-up and the settings page's auto-start options,
// driven through the main window: what lands in the value store and the
// autostart entry, what the start-up change did to the rotation, and what a
// restart shows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
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
void clickOn(QWidget* widget) {
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

std::optional<ValueStore::Value> stored(const QString& name) {
  return ValueStore::open().value(kSettingsKey, name);
}

int storedInteger(const QString& name) {
  const auto value = stored(name);
  return value && value->kind == ValueStore::Kind::Integer ? value->integer : -1;
}

QStringList entryCommand() {
  const auto entry = readAutostartEntry();
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
  std::unique_ptr<TfrmMain> start(const QStringList& arguments = {}) {
    auto window = makeMainWindowWith(folder.context(std::make_shared<RecordingSetter>(&applied)), arguments);
    EXPECT_TRUE(waitUntil([&] { return window->wallpaperWorker().idle(); }));
    return window;
  }

  QString program() const { return folder.path() + "NimbraWallpaper"; }

  // Long enough ago that a daily change is due.
  static void storeLastTimeDaysAgo(int days) {
    ASSERT_TRUE(SaveLastTime(QDateTime::currentDateTime().addDays(-days)));
  }

  // Which option shows: 1, 2 or 3, 0 when none is checked.
  static int checkedMode(const TfrmMain& window) {
    if (ui(window).optStartup->checked()) return 1;
    if (ui(window).optDay->checked()) return 2;
    return ui(window).optDisable->checked() ? 3 : 0;
  }

  static void expectOptionsUsable(const TfrmMain& window, bool usable) {
    const QColor colour = usable ? QColor(0, 0, 0) : QColor(128, 128, 128);
    for (const SkinRadioButton* option : {ui(window).optStartup, ui(window).optDay, ui(window).optDisable}) {
      EXPECT_EQ(option->isEnabled(), usable) << option->objectName().toStdString();
      EXPECT_EQ(option->fontColor(), colour) << option->objectName().toStdString();
    }
  }

  // A start whose change did nothing: no picture applied, the position kept.
  void expectNoStep(TfrmMain& window, int position) {
    EXPECT_TRUE(applied.isEmpty()) << applied.join(", ").toStdString();
    EXPECT_EQ(window.rotation().currentIndex(), position);
    EXPECT_EQ(storedInteger("current"), position);
  }
  // A start that stepped once from `from`.
  void expectOneStep(TfrmMain& window, int from) {
    const int to = from % int(rows.size()) + 1;
    EXPECT_EQ(applied, QStringList{rows[to - 1]});
    EXPECT_EQ(window.rotation().currentIndex(), to);
    EXPECT_EQ(storedInteger("current"), to);
  }
};
}  // namespace

TEST_F(SettingsWindowTest, FirstStartOnACleanMachine) {
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  auto window = start();
  EXPECT_EQ(storedInteger("current"), 1);
  EXPECT_EQ(storedInteger("AutoChange"), 3);
  ASSERT_TRUE(stored("Lasttime"));
  // The stored text has whole seconds.
  EXPECT_GE(parseLastTime(stored("Lasttime")->text), before.addSecs(-1));
  EXPECT_LE(parseLastTime(stored("Lasttime")->text), QDateTime::currentDateTime());
  EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
  EXPECT_FALSE(ui(window).chkAutoRun->checked());
  EXPECT_EQ(checkedMode(*window), 3);
  expectOptionsUsable(*window, false);
  // Mode 3: the start changes nothing, and the rotation starts at row 1.
  expectNoStep(*window, 1);
  // Greyed options take no clicks.
  clickOn(ui(window).optDay);
  EXPECT_EQ(checkedMode(*window), 3);
  EXPECT_EQ(storedInteger("AutoChange"), 3);
}

TEST_F(SettingsWindowTest, StoredModeIsShownAndTheEntryRewrittenWithIt) {
  SaveAutoChange(2);
  writeAutostartEntry({program(), "-1"});
  storeLastTimeDaysAgo(2);
  auto window = start();
  EXPECT_TRUE(ui(window).chkAutoRun->checked());
  EXPECT_EQ(checkedMode(*window), 2);
  expectOptionsUsable(*window, true);
  EXPECT_EQ(entryCommand(), (QStringList{program(), "-2"}));
  // Mode 2 with a day gone by: one step.
  expectOneStep(*window, 1);
}

TEST_F(SettingsWindowTest, ChangeAtEveryStartOnlyWhenStartedByTheEntry) {
  SaveAutoChange(1);
  writeAutostartEntry({program(), "-1"});
  expectOneStep(*start({"-1"}), 1);
  applied.clear();
  // Started by hand, mode 1 changes nothing, not even after a day.
  storeLastTimeDaysAgo(2);
  expectNoStep(*start(), 2);
  EXPECT_EQ(entryCommand(), (QStringList{program(), "-1"}));
}

TEST_F(SettingsWindowTest, EntryForAnotherFolderIsRemovedAtStart) {
  SaveAutoChange(1);
  writeAutostartEntry({"/elsewhere/NimbraWallpaper", "-1"});
  storeLastTimeDaysAgo(2);
  auto window = start();
  EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
  EXPECT_FALSE(ui(window).chkAutoRun->checked());
  expectOptionsUsable(*window, false);
  // The stored mode waits, greyed, for auto-start to be turned on again.
  EXPECT_EQ(checkedMode(*window), 1);
  EXPECT_EQ(storedInteger("AutoChange"), 1);
  expectNoStep(*window, 1);
}

TEST_F(SettingsWindowTest, AutoChangeStoredAsSevenOrAsTextIsRewrittenAsThree) {
  for (const QByteArray& stored : {QByteArray("dword:00000007"), QByteArray("\"2\"")}) {
    writeAutostartEntry({program(), "-2"});
    QDir().mkpath(QFileInfo(ValueStore::defaultFilePath()).path());
    QFile file(ValueStore::defaultFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Software\\Nimbra-Wallpaper]\n\"AutoChange\"=" + stored + "\n");
    file.close();
    auto window = start();
    EXPECT_EQ(storedInteger("AutoChange"), 3) << stored.constData();
    EXPECT_EQ(checkedMode(*window), 3) << stored.constData();
    EXPECT_EQ(entryCommand(), (QStringList{program(), "-3"})) << stored.constData();
  }
}

TEST_F(SettingsWindowTest, UncheckingAutoRunWhileDailyIsCheckedTurnsTheChangeOff) {
  SaveAutoChange(2);
  writeAutostartEntry({program(), "-2"});
  auto window = start();
  ASSERT_EQ(checkedMode(*window), 2);
  clickOn(ui(window).chkAutoRun);
  EXPECT_FALSE(ui(window).chkAutoRun->checked());
  EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
  EXPECT_EQ(storedInteger("AutoChange"), 3);
  EXPECT_EQ(checkedMode(*window), 3);
  expectOptionsUsable(*window, false);
}

TEST_F(SettingsWindowTest, ChoosingDailyEndsTheEntryInMinusTwoAndARestartShowsIt) {
  {
    auto window = start();
    clickOn(ui(window).chkAutoRun);
    ASSERT_TRUE(ui(window).chkAutoRun->checked());
    expectOptionsUsable(*window, true);
    EXPECT_EQ(entryCommand(), (QStringList{program(), "-3"}));
    clickOn(ui(window).optDay);
    EXPECT_EQ(checkedMode(*window), 2);
    EXPECT_EQ(storedInteger("AutoChange"), 2);
    EXPECT_EQ(entryCommand(), (QStringList{program(), "-2"}));
  }
  storeLastTimeDaysAgo(2);
  auto restarted = start({"-2"});
  EXPECT_TRUE(ui(restarted).chkAutoRun->checked());
  EXPECT_EQ(checkedMode(*restarted), 2);
  expectOptionsUsable(*restarted, true);
  // The restart runs in mode 2: a day has gone by, so it steps.
  expectOneStep(*restarted, 1);
}

TEST_F(SettingsWindowTest, DailyChangeCountsWholeDaysEitherWayAndStoresThisStart) {
  SaveAutoChange(2);
  writeAutostartEntry({program(), "-2"});
  struct Case {
    qint64 secondsFromNow;
    int steps;
  };
  for (const Case& earlier : {Case{-23 * 3600, 0}, Case{-25 * 3600, 1}, Case{2 * 24 * 3600, 1}}) {
    SCOPED_TRACE(testing::Message() << earlier.secondsFromNow << " s");
    ASSERT_TRUE(SaveLastTime(QDateTime::currentDateTime().addSecs(earlier.secondsFromNow)));
    applied.clear();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    start({"-2"});
    EXPECT_EQ(applied.size(), earlier.steps);
    const QDateTime storedTime = parseLastTime(stored("Lasttime")->text);
    EXPECT_GE(storedTime, before);
    EXPECT_LE(storedTime, QDateTime::currentDateTime());
  }
}

TEST_F(SettingsWindowTest, TheOptionsAreDrawnFromTheSettingsAndCodeRunsNoHandler) {
  auto window = makeMainWindow(folder);
  window->settings().setAutoRun(true);
  EXPECT_TRUE(ui(window).chkAutoRun->checked());
  expectOptionsUsable(*window, true);
  window->settings().chooseMode(1);
  EXPECT_EQ(checkedMode(*window), 1);
  EXPECT_FALSE(ui(window).optDay->checked());
  EXPECT_FALSE(ui(window).optDisable->checked());
  // A state set on a control from code is only drawn: nothing is stored.
  int clicks = 0;
  QObject::connect(ui(window).optDay, &SkinRadioButton::clicked, [&clicks] { ++clicks; });
  QObject::connect(ui(window).chkAutoRun, &SkinCheckBox::clicked, [&clicks] { ++clicks; });
  ui(window).optDay->setChecked(true);
  ui(window).chkAutoRun->setChecked(false);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(storedInteger("AutoChange"), 1);
  EXPECT_EQ(entryCommand(), (QStringList{program(), "-1"}));
  // Every change of the settings draws the page again from them.
  window->settings().chooseMode(1);
  EXPECT_EQ(checkedMode(*window), 1);
  EXPECT_TRUE(ui(window).chkAutoRun->checked());
  // The user's click goes through the settings.
  clickOn(ui(window).optDay);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(checkedMode(*window), 2);
  EXPECT_TRUE(ui(window).chkAutoRun->checked());
  EXPECT_EQ(storedInteger("AutoChange"), 2);
}

TEST_F(SettingsWindowTest, TheSettingTabShowsAnEntryRemovedBehindTheProgramsBack) {
  SaveAutoChange(2);
  writeAutostartEntry({program(), "-2"});
  auto window = makeMainWindow(folder);
  ASSERT_TRUE(ui(window).chkAutoRun->checked());
  removeAutostartEntry();
  window->btnThemeClick();
  EXPECT_FALSE(ui(window).chkAutoRun->checked());
  EXPECT_EQ(checkedMode(*window), 3);
  expectOptionsUsable(*window, false);
  EXPECT_EQ(storedInteger("AutoChange"), 3);
}

TEST_F(SettingsWindowTest, ACatalogueSiteTypedIntoTheFieldIsStoredAndShown) {
  auto window = start();
  QLineEdit* field = window->findChild<QLineEdit*>("edtCatalogueSite");
  ASSERT_NE(field, nullptr);
  field->setText("https://127.0.0.1:9/");
  field->setModified(true);
  emit field->editingFinished();
  const QByteArray settings = folder.readFile("setting.ini");
  EXPECT_TRUE(settings.contains("[home]")) << settings.toStdString();
  EXPECT_TRUE(settings.contains("host=https://127.0.0.1:9")) << settings.toStdString();
  EXPECT_TRUE(ui(window).suiURLLabel1->caption().startsWith("https://127.0.0.1:9"));
  EXPECT_TRUE(field->text().startsWith("https://127.0.0.1:9"));
}

// The page is built when it is first shown: it must then show what the
// start loaded, in the language's texts, take clicks and join the Tab order.
TEST_F(SettingsWindowTest, APageBuiltWhenFirstShownShowsWhatTheStartLoaded) {
  SaveAutoChange(2);
  writeAutostartEntry({program(), "-2"});
  TfrmMain window(folder.context(std::make_shared<RecordingSetter>(&applied)));
  window.FormCreate({QStringLiteral("NimbraWallpaper")});
  window.finishStart();
  ASSERT_EQ(window.findChild<QWidget*>("chkAutoRun"), nullptr) << "the page was built before it was shown";

  window.btnThemeClick();
  ASSERT_TRUE(ui(window).panSetting->isVisibleTo(&window));
  EXPECT_TRUE(ui(window).chkAutoRun->isVisibleTo(&window));
  EXPECT_TRUE(ui(window).chkAutoRun->checked());
  EXPECT_EQ(checkedMode(window), 2);
  expectOptionsUsable(window, true);
  EXPECT_EQ(ui(window).chkAutoRun->caption(), window.texts().szAutorun);
  EXPECT_EQ(ui(window).btnAdd->caption(), window.texts().szAdd);
  EXPECT_EQ(ui(window).lstWallpaper->count(), rows.size());

  QList<QWidget*> chain;
  for (QWidget* next = ui(window).Label14->nextInFocusChain();
       next != ui(window).suiURLLabel1 && chain.size() < 200; next = next->nextInFocusChain())
    chain << next;
  EXPECT_TRUE(chain.contains(ui(window).chkAutoRun));
  EXPECT_TRUE(chain.contains(window.findChild<QLineEdit*>("edtCatalogueSite")));
  EXPECT_LT(chain.indexOf(ui(window).chkAutoRun), chain.indexOf(ui(window).btnRemove));

  clickOn(ui(window).chkAutoRun);
  EXPECT_FALSE(ui(window).chkAutoRun->checked());
  EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
}

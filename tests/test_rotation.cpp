// The rotation list: its controller (start-up load and change, the tray
// menu's steps, Add and Remove positions and what is stored), and the main
// window's wiring to it (tray actions, the settings page's list and buttons).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <thread>

#include "app/Main.h"
#include "library/RotationController.h"
#include "library/Settings.h"
#include "library/WallpaperWorker.h"
#include "platform/WallpaperSetter.h"
#include "support/ConfigHome.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"

namespace {
class RecordingSetter : public WallpaperSetter {
 public:
  explicit RecordingSetter(QStringList* applied) : m_applied(applied) {}
  SetResult setWallpaper(const QString& path, const CancelToken&) override {
    m_applied->push_back(path);
    return answer;
  }
  SetResult answer = SetResult::applied();
  QString name() const override { return QStringLiteral("recording"); }

 private:
  QStringList* m_applied;
};

class RotationFixture : public ::testing::Test {
 protected:
  ConfigHome config;
  ProgramFolder folder;
  QStringList applied;
  std::shared_ptr<RecordingSetter> setter = std::make_shared<RecordingSetter>(&applied);
  WallpaperWorker worker{setter};

  // Until the desktop has answered every request so far.
  static void settle(WallpaperWorker& worker) {
    ASSERT_TRUE(waitUntil([&] { return worker.idle(); }));
  }

  QString picture(const QString& name) { return folder.writePicture("pics/" + name, QSize(4, 3), Qt::green); }
  // The rows for the names, with files written only for those present.
  QStringList rows(std::initializer_list<const char*> names, std::initializer_list<const char*> present) {
    QStringList list;
    for (const char* name : names) list << folder.file(QString("pics/") + name);
    for (const char* name : present) picture(name);
    return list;
  }
  void storeList(const QStringList& list) {
    QByteArray text;
    for (const QString& row : list) text += row.toUtf8() + "\r\n";
    folder.writeFile("list.dat", text);
  }
  QByteArray listText(const QStringList& list) const {
    QByteArray text;
    for (const QString& row : list) text += row.toUtf8() + "\r\n";
    return text;
  }
};

class RotationControllerTest : public RotationFixture {
 protected:
  RotationController rotation{worker, folder.path()};
  void settle() { RotationFixture::settle(worker); }

  // The start-up load of a stored list at a stored position.
  void load(const QStringList& list, int current) {
    storeList(list);
    ASSERT_TRUE(SaveCurrent(current));
    rotation.LoadRotationList(Shape::Normal);
  }
};

class RotationWindowTest : public RotationFixture {
 protected:
  DialogsRecorder dialogs;
  std::unique_ptr<TfrmMain> window;

  void TearDown() override { window.reset(); }

  void open() {
    window = makeMainWindowWith(dialogs.addTo(folder.context(setter)));
    settle();
    applied.clear();
  }
  void settle() { RotationFixture::settle(window->wallpaperWorker()); }
  QStringList shownRows() const {
    QStringList shown;
    for (int row = 0; row < ui(window).lstWallpaper->count(); ++row)
      shown << ui(window).lstWallpaper->item(row)->text();
    return shown;
  }
};
}  // namespace

// --- the controller

TEST_F(RotationControllerTest, NextAndPreviousWrapAround) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_1.jpg", "l_2.jpg", "l_3.jpg"});
  load(list, 2);
  rotation.next();
  settle();
  rotation.next();
  settle();
  rotation.previous();
  settle();
  EXPECT_EQ(applied, (QStringList{list[2], list[0], list[2]}));
  EXPECT_EQ(rotation.currentIndex(), 3);
  EXPECT_EQ(LoadCurrent(), 3);
}

TEST_F(RotationControllerTest, NextAndPreviousSkipMissingFilesAndNeverReapplyTheCurrentRow) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_1.jpg", "l_2.jpg", "l_3.jpg"});
  load(list, 2);
  QFile::remove(list[0]);
  QFile::remove(list[2]);
  rotation.next();
  settle();
  rotation.previous();
  settle();
  EXPECT_TRUE(applied.isEmpty());
  EXPECT_EQ(rotation.currentIndex(), 2);
}

TEST_F(RotationControllerTest, LoadDropsMissingRowsAndAdjustsThePosition) {
  const QStringList list =
      rows({"l_1.jpg", "l_2.jpg", "l_3.jpg", "l_4.jpg"}, {"l_2.jpg", "l_3.jpg", "l_4.jpg"});
  load(list, 2);
  EXPECT_EQ(rotation.rows(), list.mid(1));
  EXPECT_EQ(rotation.currentIndex(), 1);
  EXPECT_EQ(LoadCurrent(), 1);
  EXPECT_EQ(folder.readFile("list.dat"), listText(list.mid(1)));
  EXPECT_TRUE(applied.isEmpty());
}

// Written back only when the load changed it: a start with nothing to
// drop leaves the file, and a list in another line format is rewritten.
TEST_F(RotationControllerTest, LoadRewritesTheListOnlyWhenItsTextChanges) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  const auto inode = [&] {
    struct stat status {};
    return ::stat(QFile::encodeName(folder.file("list.dat")).constData(), &status) == 0 ? status.st_ino : 0;
  };
  load(list, 1);
  const ino_t stored = inode();
  ASSERT_NE(stored, 0u);
  rotation.LoadRotationList(Shape::Normal);
  EXPECT_EQ(inode(), stored);

  folder.writeFile("list.dat", list.join(QLatin1Char('\n')).toUtf8() + "\n");
  rotation.LoadRotationList(Shape::Normal);
  EXPECT_EQ(rotation.rows(), list);
  EXPECT_EQ(folder.readFile("list.dat"), listText(list));
}

TEST_F(RotationControllerTest, LoadWithFewRowsLeftRestartsAtOne) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_2.jpg", "l_3.jpg"});
  load(list, 3);
  EXPECT_EQ(rotation.rows(), list.mid(1));
  EXPECT_EQ(LoadCurrent(), 1);
}

TEST_F(RotationControllerTest, AStoredPositionFarBeyondTheListNeverAppliesAMissingRow) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  load(list, 40);
  rotation.AdvanceRotation();
  settle();
  EXPECT_EQ(applied, QStringList{list[0]});
  EXPECT_EQ(rotation.currentIndex(), 1);
  EXPECT_EQ(LoadCurrent(), 1);
}

TEST_F(RotationControllerTest, RemovingTheLastCurrentRowLeavesThePositionPastTheEnd) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_1.jpg", "l_2.jpg", "l_3.jpg"});
  load(list, 3);
  rotation.removeRow(2);
  EXPECT_EQ(rotation.currentIndex(), 3);
  EXPECT_EQ(LoadCurrent(), 3);
  EXPECT_EQ(folder.readFile("list.dat"), listText(list.mid(0, 2)));
  rotation.AdvanceRotation();
  settle();
  EXPECT_EQ(applied, QStringList{list[0]});
  EXPECT_EQ(LoadCurrent(), 1);
}

TEST_F(RotationControllerTest, StartAtEveryStartWithoutAListRebuildsAndAppliesRowTwo) {
  folder.writePicture("wallpaper/normal/local/1/l_a.jpg", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/local/2/l_b.jpg", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/network/3/l_c.bmp", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/local/1/s_a.jpg", QSize(4, 3), Qt::red);
  ASSERT_TRUE(SaveCurrent(3));  // a rebuilt list starts again at row 1
  rotation.LoadRotationList(Shape::Normal);
  const QStringList scanned = {folder.file("wallpaper/normal/local/1/l_a.jpg"),
                               folder.file("wallpaper/normal/local/2/l_b.jpg"),
                               folder.file("wallpaper/normal/network/3/l_c.bmp")};
  EXPECT_EQ(rotation.rows(), scanned);
  EXPECT_EQ(folder.readFile("list.dat"), listText(scanned));
  const QDateTime now = QDateTime::currentDateTime();
  rotation.StartupChange(kChangeAtStartup, now, now);
  settle();
  EXPECT_EQ(applied, QStringList{scanned[1]});
  EXPECT_EQ(LoadCurrent(), 2);
}

TEST_F(RotationControllerTest, DailyModeStepsOnlyAfterADayAndDisabledNever) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  struct Case {
    int mode;
    int hoursAgo;
    bool steps;
  };
  for (const Case& start :
       {Case{kChangeDaily, 23, false}, Case{kChangeDaily, 25, true}, Case{kChangeDisabled, 25, false}}) {
    SCOPED_TRACE(testing::Message() << "mode " << start.mode << ", " << start.hoursAgo << " hours");
    applied.clear();
    load(list, 1);
    const QDateTime now(QDate(2026, 3, 5), QTime(10, 0));
    rotation.StartupChange(start.mode, now.addSecs(-start.hoursAgo * 3600), now);
    settle();
    EXPECT_EQ(applied, start.steps ? QStringList{list[1]} : QStringList());
    EXPECT_EQ(LoadCurrent(), start.steps ? 2 : 1);
  }
}

TEST_F(RotationControllerTest, AddAppendsAndSavesTheList) {
  const QStringList list = rows({"l_1.jpg", "l_gone.jpg"}, {"l_1.jpg"});
  load(list, 1);
  const QString added = picture("extra.bmp");
  rotation.addRow(added);
  EXPECT_EQ(rotation.rows(), (QStringList{list[0], added}));
  EXPECT_EQ(folder.readFile("list.dat"), listText({list[0], added}));
}

TEST_F(RotationControllerTest, ImportedPicturesAreAppendedOnceAfterTheGoneRowsAreDropped) {
  const QStringList list = rows({"l_1.jpg", "l_gone.jpg"}, {"l_1.jpg", "l_gone.jpg"});
  load(list, 1);
  ASSERT_TRUE(QFile::remove(list[1]));
  const QString first = picture("l_new1.jpg");
  const QString second = picture("l_new2.jpg");
  rotation.addRows({first, list[0], second, first});
  EXPECT_EQ(rotation.rows(), (QStringList{list[0], first, second}));
  EXPECT_EQ(folder.readFile("list.dat"), listText({list[0], first, second}));
}

// A name with a line break would split "list.dat" into lines that name no
// file, and the entry would be lost at the next start: it is left out, and
// said so.
TEST_F(RotationControllerTest, ANameWithALineBreakIsLeftOutOfTheListAndSaidSo) {
  folder.writePicture("wallpaper/normal/local/1/l_a.jpg", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/local/1/l_b\nc.jpg", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/local/2\n/l_d.jpg", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/local/3/l_e.jpg", QSize(4, 3), Qt::red);
  testing::internal::CaptureStderr();
  rotation.LoadRotationList(Shape::Normal);
  const QString said = QString::fromStdString(testing::internal::GetCapturedStderr());
  const QStringList kept = {folder.file("wallpaper/normal/local/1/l_a.jpg"),
                            folder.file("wallpaper/normal/local/3/l_e.jpg")};
  EXPECT_EQ(rotation.rows(), kept);
  EXPECT_EQ(folder.readFile("list.dat"), listText(kept));
  EXPECT_TRUE(said.contains(folder.file("wallpaper/normal/local/1/l_b\nc.jpg"))) << said.toStdString();
  EXPECT_TRUE(said.contains(folder.file("wallpaper/normal/local/2\n/l_d.jpg"))) << said.toStdString();

  const QString broken = picture("l_f\ng.jpg");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(rotation.addRow(broken));
  EXPECT_TRUE(QString::fromStdString(testing::internal::GetCapturedStderr()).contains(broken));
  EXPECT_TRUE(rotation.addRow(picture("l_h.jpg")));
  const QStringList after = kept + QStringList{folder.file("pics/l_h.jpg")};
  EXPECT_EQ(rotation.rows(), after);
  EXPECT_EQ(folder.readFile("list.dat"), listText(after));

  // What was written reads back whole at the next start.
  RotationController next(worker, folder.path());
  next.LoadRotationList(Shape::Normal);
  EXPECT_EQ(next.rows(), after);
}

// --- the window's wiring

TEST_F(RotationWindowTest, TrayMenuStepsThroughTheList) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_1.jpg", "l_2.jpg", "l_3.jpg"});
  storeList(list);
  ASSERT_TRUE(SaveCurrent(2));
  open();
  ui(window).Nextwallpaper2->trigger();
  settle();
  ui(window).Prevwallpaper1->trigger();
  settle();
  ui(window).Prevwallpaper1->trigger();
  settle();
  EXPECT_EQ(applied, (QStringList{list[2], list[1], list[0]}));
  EXPECT_EQ(window->rotation().currentIndex(), 1);
  EXPECT_EQ(LoadCurrent(), 1);
}

TEST_F(RotationWindowTest, SettingsListShowsTheRowsLoadedAtStartAndDoubleClickAppliesOne) {
  const QStringList list =
      rows({"l_1.jpg", "l_2.jpg", "l_3.jpg", "l_4.jpg"}, {"l_2.jpg", "l_3.jpg", "l_4.jpg"});
  storeList(list);
  ASSERT_TRUE(SaveCurrent(2));
  open();
  EXPECT_EQ(shownRows(), list.mid(1));
  ui(window).lstWallpaper->setCurrentRow(1);
  window->lstWallpaperDblClick();
  settle();
  EXPECT_EQ(applied, QStringList{list[2]});
  // Applying a row from the list does not move the rotation.
  EXPECT_EQ(window->rotation().currentIndex(), 1);
}

TEST_F(RotationWindowTest, RemoveTakesTheSelectedRowOnly) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_1.jpg", "l_2.jpg", "l_3.jpg"});
  storeList(list);
  ASSERT_TRUE(SaveCurrent(3));
  open();
  window->btnRemoveClick();  // nothing selected: nothing happens
  EXPECT_EQ(ui(window).lstWallpaper->count(), 3);
  ui(window).lstWallpaper->setCurrentRow(2);
  EXPECT_TRUE(ui(window).btnRemove->isEnabled());
  ui(window).btnRemove->click();
  EXPECT_EQ(shownRows(), list.mid(0, 2));
  EXPECT_FALSE(ui(window).btnRemove->isEnabled());
  EXPECT_EQ(window->rotation().currentIndex(), 3);
  EXPECT_EQ(folder.readFile("list.dat"), listText(list.mid(0, 2)));
  // A second click finds no selection: the row that moved up stays.
  ui(window).btnRemove->click();
  EXPECT_EQ(shownRows(), list.mid(0, 2));
}

TEST_F(RotationWindowTest, AddTakesAnExistingChosenFileAndSavesEitherWay) {
  const QStringList list = rows({"l_1.jpg", "l_gone.jpg"}, {"l_1.jpg"});
  storeList(list);
  open();
  ASSERT_EQ(shownRows(), QStringList{list[0]});
  const QString added = picture("extra.bmp");
  dialogs->answer = "  " + added + "\t";
  ui(window).btnAdd->click();
  EXPECT_EQ(shownRows(), (QStringList{list[0], added}));
  EXPECT_EQ(ui(window).lstWallpaper->currentRow(), 1);
  EXPECT_EQ(dialogs->lastDefaultExtension, "*.jpg");
  EXPECT_TRUE(dialogs->lastFilter.endsWith(
      "(*.jpg,*.bmp)|*.bmp;*.jpg|Jpeg files (*.jpg)|*.jpg|Bmp files (*.bmp)|*.bmp;"));
  dialogs->answer = folder.file("pics/nothing-here.jpg");
  ui(window).btnAdd->click();
  EXPECT_EQ(shownRows().size(), 2);
  EXPECT_EQ(folder.readFile("list.dat"), listText({list[0], added}));
}

TEST_F(RotationWindowTest, AddLeavesOutANameWithALineBreak) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  storeList(list);
  open();
  QFile::remove(list[0]);
  dialogs->answer = picture("l_3\nx.jpg");
  testing::internal::CaptureStderr();
  ui(window).btnAdd->click();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("line break"), std::string::npos) << said;
  EXPECT_EQ(shownRows(), QStringList{list[1]});
  EXPECT_EQ(folder.readFile("list.dat"), listText({list[1]}));
}

TEST_F(RotationWindowTest, AddDropsRowsWhoseFileWentAwayAndSavesEvenWhenNothingIsChosen) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  storeList(list);
  open();
  QFile::remove(list[0]);
  dialogs->answer.clear();
  ui(window).btnAdd->click();
  EXPECT_EQ(shownRows(), QStringList{list[1]});
  EXPECT_EQ(folder.readFile("list.dat"), listText({list[1]}));
}

TEST_F(RotationWindowTest, SettingsTabMovesTheMarkerAndShowsTheList) {
  open();
  window->btnThemeClick();
  EXPECT_EQ(ui(window).btnNormal->x(), ui(window).btnTheme->x());
  EXPECT_FALSE(window->currentShapeIsWide());
  EXPECT_TRUE(ui(window).panSetting->isVisibleTo(window.get()));
  EXPECT_FALSE(ui(window).panWallpaper->isVisibleTo(window.get()));
  EXPECT_FALSE(ui(window).imgPreview->isVisibleTo(window.get()));
  window->browse().setBusy(true);
  window->btnWallpaperClick();
  EXPECT_TRUE(ui(window).panSetting->isVisibleTo(window.get()));
  window->browse().setBusy(false);
}

// --- a desktop that cannot take the picture

TEST_F(RotationWindowTest, TrayNextWithNoWayToSetAWallpaperSaysSoAndKeepsTheStoredPosition) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  storeList(list);
  ASSERT_TRUE(SaveCurrent(1));
  setter->answer = SetResult::unavailable(QStringLiteral("no wallpaper service here"));
  open();
  ui(window).Nextwallpaper2->trigger();
  settle();
  waitUntil([this] { return !dialogs->messages.empty(); });
  ASSERT_EQ(dialogs->messages.size(), 1u);
  EXPECT_TRUE(dialogs->messages[0].text.contains(QStringLiteral("no wallpaper service here")))
      << dialogs->messages[0].text.toStdString();
  EXPECT_EQ(window->rotation().currentIndex(), 2);
  EXPECT_EQ(LoadCurrent(), 1);
}

// Blocks until the caller gives up, as a desktop tool that hangs does.
class HangingSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString&, const CancelToken& cancel) override {
    while (!cancel.isCancelled()) std::this_thread::yield();
    return SetResult::failed(QStringLiteral("stopped"));
  }
  QString name() const override { return QStringLiteral("hanging desktop"); }
};

TEST_F(RotationFixture, AStepTheDesktopDoesNotAnswerInTimeIsReportedAndNotStored) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  storeList(list);
  ASSERT_TRUE(SaveCurrent(1));
  WallpaperWorker slow(std::make_shared<HangingSetter>(), std::chrono::milliseconds(200));
  RotationController rotation(slow, folder.path());
  rotation.LoadRotationList(Shape::Normal);
  QStringList reported;
  QObject::connect(&rotation, &RotationController::failed, [&](const QString& text) { reported << text; });
  testing::internal::CaptureStderr();
  rotation.next();
  settle(slow);
  const QString said = QString::fromStdString(testing::internal::GetCapturedStderr());
  ASSERT_EQ(reported.size(), 1);
  EXPECT_TRUE(reported[0].contains(QStringLiteral("hanging desktop did not finish within 200 ms")))
      << reported[0].toStdString();
  EXPECT_TRUE(said.contains(QStringLiteral("within 200 ms"))) << said.toStdString();
  EXPECT_EQ(LoadCurrent(), 1);
}

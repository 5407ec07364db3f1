// The rotation list through the main window: start-up load and change, the
// tray menu's steps, and the settings page's Add and Remove.
#include <gtest/gtest.h>

#include <QFile>

#include "app/Main.h"
#include "app/Settings.h"
#include "app/UnitGlobal.h"
#include "platform/WallpaperSetter.h"
#include "support/ProgramFolder.h"

namespace {
class RecordingSetter : public WallpaperSetter {
 public:
  explicit RecordingSetter(QStringList* applied) : m_applied(applied) {}
  SetResult setWallpaper(const QString& path) override {
    m_applied->push_back(path);
    return SetResult::applied();
  }
  QString name() const override { return QStringLiteral("recording"); }

 private:
  QStringList* m_applied;
};

class RotationTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
  DialogsRecorder dialogs;
  QStringList applied;
  std::unique_ptr<TfrmMain> window;

  void SetUp() override { InstallWallpaperSetterForTesting(std::make_unique<RecordingSetter>(&applied)); }
  void TearDown() override {
    window.reset();
    InstallWallpaperSetterForTesting(nullptr);
  }

  QString picture(const QString& name) { return folder.writePicture("pics/" + name, QSize(4, 3), Qt::green); }
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
  // The stored mode takes effect only with the autostart entry in place.
  void storeMode(int mode) {
    SaveAutoChange(mode);
    SaveAutoRun(true);
  }
  void open(const QStringList& arguments = {}) {
    window = MakeMainWindow(arguments);
    applied.clear();
  }
  QStringList shownRows() const {
    QStringList shown;
    for (int row = 0; row < window->lstWallpaper->count(); ++row) shown << window->lstWallpaper->item(row)->text();
    return shown;
  }
};
}  // namespace

TEST_F(RotationTest, NextAndPreviousWrapAround) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_1.jpg", "l_2.jpg", "l_3.jpg"});
  storeList(list);
  CurrentIndex = 2;
  SaveCurrent();
  open();
  window->Nextwallpaper2Click();
  window->Nextwallpaper2Click();
  window->Prevwallpaper1Click();
  EXPECT_EQ(applied, (QStringList{list[2], list[0], list[2]}));
  EXPECT_EQ(CurrentIndex, 3);
  EXPECT_EQ(LoadCurrent(), 3);
}

TEST_F(RotationTest, NextAndPreviousSkipMissingFilesAndNeverReapplyTheCurrentRow) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_1.jpg", "l_2.jpg", "l_3.jpg"});
  storeList(list);
  CurrentIndex = 2;
  SaveCurrent();
  open();
  QFile::remove(list[0]);
  QFile::remove(list[2]);
  window->Nextwallpaper2Click();
  window->Prevwallpaper1Click();
  EXPECT_TRUE(applied.isEmpty());
  EXPECT_EQ(CurrentIndex, 2);
}

TEST_F(RotationTest, StartupDropsMissingRowsAndAdjustsThePosition) {
  QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg", "l_4.jpg"}, {"l_2.jpg", "l_3.jpg", "l_4.jpg"});
  storeList(list);
  CurrentIndex = 2;
  SaveCurrent();
  open();
  EXPECT_EQ(shownRows(), list.mid(1));
  EXPECT_EQ(LoadCurrent(), 1);
  EXPECT_EQ(folder.readFile("list.dat"), (list[1] + "\r\n" + list[2] + "\r\n" + list[3] + "\r\n").toUtf8());
}

TEST_F(RotationTest, StartupWithFewRowsLeftRestartsAtOne) {
  QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_2.jpg", "l_3.jpg"});
  storeList(list);
  CurrentIndex = 3;
  SaveCurrent();
  open();
  EXPECT_EQ(shownRows(), list.mid(1));
  EXPECT_EQ(LoadCurrent(), 1);
}

TEST_F(RotationTest, AStoredPositionFarBeyondTheListNeverAppliesAMissingRow) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  storeList(list);
  CurrentIndex = 40;
  SaveCurrent();
  open();
  window->AdvanceRotation();
  EXPECT_EQ(applied, QStringList{list[0]});
  EXPECT_EQ(CurrentIndex, 1);
}

TEST_F(RotationTest, RemovingTheLastCurrentRowLeavesThePositionPastTheEnd) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg", "l_3.jpg"}, {"l_1.jpg", "l_2.jpg", "l_3.jpg"});
  storeList(list);
  CurrentIndex = 3;
  SaveCurrent();
  open();
  window->btnRemoveClick();  // nothing selected: nothing happens
  EXPECT_EQ(window->lstWallpaper->count(), 3);
  window->lstWallpaper->setCurrentRow(2);
  EXPECT_TRUE(window->btnRemove->isEnabled());
  window->btnRemoveClick();
  EXPECT_EQ(CurrentIndex, 3);
  EXPECT_EQ(folder.readFile("list.dat"), (list[0] + "\r\n" + list[1] + "\r\n").toUtf8());
  window->AdvanceRotation();
  EXPECT_EQ(applied, QStringList{list[0]});
  EXPECT_EQ(LoadCurrent(), 1);
}

TEST_F(RotationTest, StartInModeOneWithoutAListRebuildsAndAppliesRowTwo) {
  storeMode(kChangeAtStartup);
  folder.writePicture("wallpaper/normal/local/1/l_a.jpg", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/local/2/l_b.jpg", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/network/3/l_c.bmp", QSize(4, 3), Qt::red);
  folder.writePicture("wallpaper/normal/local/1/s_a.jpg", QSize(4, 3), Qt::red);
  QStringList startApplied;
  InstallWallpaperSetterForTesting(std::make_unique<RecordingSetter>(&startApplied));
  window = MakeMainWindow({"-1"});
  EXPECT_EQ(shownRows().size(), 3);
  EXPECT_EQ(startApplied, QStringList{folder.file("wallpaper/normal/local/2/l_b.jpg")});
  EXPECT_EQ(LoadCurrent(), 2);
}

TEST_F(RotationTest, DailyModeStepsOnlyAfterADay) {
  const QStringList list = rows({"l_1.jpg", "l_2.jpg"}, {"l_1.jpg", "l_2.jpg"});
  storeList(list);
  storeMode(kChangeDaily);
  for (int hours : {23, 25}) {
    CurrentIndex = 1;
    SaveCurrent();
    LastTime = QDateTime::currentDateTime().addSecs(-hours * 3600);
    SaveLastTime();
    QStringList startApplied;
    InstallWallpaperSetterForTesting(std::make_unique<RecordingSetter>(&startApplied));
    window = MakeMainWindow();
    EXPECT_EQ(startApplied.size(), hours == 25 ? 1 : 0) << hours << " hours";
  }
}

TEST_F(RotationTest, AddTakesAnExistingChosenFileAndSavesEitherWay) {
  const QStringList list = rows({"l_1.jpg", "l_gone.jpg"}, {"l_1.jpg"});
  storeList(list);
  open();
  ASSERT_EQ(shownRows(), QStringList{list[0]});
  const QString added = picture("extra.bmp");
  dialogs->answer = "  " + added + "\t";
  window->btnAddClick();
  EXPECT_EQ(shownRows(), (QStringList{list[0], added}));
  EXPECT_EQ(window->lstWallpaper->currentRow(), 1);
  EXPECT_EQ(dialogs->lastDefaultExtension, "*.jpg");
  EXPECT_TRUE(dialogs->lastFilter.endsWith("(*.jpg,*.bmp)|*.bmp;*.jpg|Jpeg files (*.jpg)|*.jpg|Bmp files (*.bmp)|*.bmp;"));
  dialogs->answer = folder.file("pics/nothing-here.jpg");
  window->btnAddClick();
  EXPECT_EQ(shownRows().size(), 2);
  EXPECT_EQ(folder.readFile("list.dat"), (list[0] + "\r\n" + added + "\r\n").toUtf8());
}

TEST_F(RotationTest, SettingsTabMovesTheMarkerAndShowsTheList) {
  open();
  window->btnThemeClick();
  EXPECT_EQ(window->btnNormal->x(), window->btnTheme->x());
  EXPECT_FALSE(window->CurrentShapeIsWide());
  EXPECT_TRUE(window->panSetting->isVisibleTo(window.get()));
  EXPECT_FALSE(window->panWallpaper->isVisibleTo(window.get()));
  EXPECT_FALSE(window->imgPreview->isVisibleTo(window.get()));
  window->Busy = true;
  window->btnWallpaperClick();
  EXPECT_TRUE(window->panSetting->isVisibleTo(window.get()));
  window->Busy = false;
}

// "Set as Desktop Wallpaper" and the slot double click, driven through the
// main window with a desktop that records what it was asked to do. Applying
// runs on the event loop, so each test waits until the window is back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include "app/Application.h"
#include "app/Main.h"
#include "platform/DesktopControl.h"
#include "platform/WallpaperSetter.h"
#include "support/ProgramFolder.h"

namespace {

// Records the pictures it is given and whether the main window was in sight.
class RecordingSetter : public WallpaperSetter {
 public:
  explicit RecordingSetter(const TfrmMain* const& window) : m_window(window) {}
  SetResult setWallpaper(const QString& path, const CancelToken&) override {
    applied << path;
    windowVisible.push_back(m_window && m_window->isVisible());
    return answer;
  }
  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    targets << target;
    return setWallpaper(path, cancel);
  }
  QString name() const override { return QStringLiteral("recording desktop"); }

  SetResult answer = SetResult::applied();
  QStringList applied;
  QList<WallpaperTarget> targets;
  std::vector<bool> windowVisible;

 private:
  const TfrmMain* const& m_window;
};

class RecordingDesktop : public DesktopControl {
 public:
  explicit RecordingDesktop(const TfrmMain* const& window) : m_window(window) {}
  void showDesktop() override { windowVisible.push_back(m_window && m_window->isVisible()); }

  std::vector<bool> windowVisible;  // one entry per request

 private:
  const TfrmMain* const& m_window;
};

class ApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.copyEnglishLanguage();
    for (int i = 1; i <= 6; ++i) {
      const QString base = QStringLiteral("wallpaper/normal/local/1/");
      const QString tail = QStringLiteral("p%1.jpg").arg(i);
      folder.writePicture(base + "s_" + tail, QSize(8, 6), Qt::blue);
      folder.writePicture(base + "l_" + tail, QSize(16, 12), Qt::red);
    }
    auto setterOwned = std::make_shared<RecordingSetter>(windowPointer);
    setter = setterOwned.get();
    auto desktopOwned = std::make_shared<RecordingDesktop>(windowPointer);
    desktop = desktopOwned.get();

    window = makeMainWindowWith(dialogs.addTo(folder.context(setterOwned, desktopOwned)));
    windowPointer = window.get();
    QObject::connect(window.get(), &TfrmMain::applyFinished, [this] { ++applies; });
    window->show();
    // Start-up may step the rotation list; only the button counts here.
    waitUntil([this] { return window->wallpaperWorker().idle(); });
    setter->applied.clear();
    setter->windowVisible.clear();
    desktop->windowVisible.clear();
    dialogs->messages.clear();
  }
  void TearDown() override {
    window.reset();
    windowPointer = nullptr;
  }

  QString large(int slot) const {
    return QFileInfo(window->Slots()[size_t(slot - 1)].large).absoluteFilePath();
  }
  // Until the `count`th apply has ended and the window is back.
  bool waitForApply(int count = 1) {
    return waitUntil([this, count] { return applies >= count; });
  }

  ProgramFolder folder;
  DialogsRecorder dialogs;
  std::unique_ptr<TfrmMain> window;
  const TfrmMain* windowPointer = nullptr;
  RecordingSetter* setter = nullptr;
  RecordingDesktop* desktop = nullptr;
  int applies = 0;
};

}  // namespace

TEST_F(ApplyTest, TheLastSelectedSlotIsAppliedBehindAHiddenWindow) {
  window->imgW1Click(2);
  window->imgW1Click(5);

  window->btnSetWallpaperClick();
  EXPECT_FALSE(window->isVisible());
  ASSERT_TRUE(waitForApply());

  EXPECT_EQ(setter->applied, QStringList{large(5)});
  // The window steps aside before the desktop is shown and while the picture changes.
  EXPECT_EQ(desktop->windowVisible, std::vector<bool>{false});
  EXPECT_EQ(setter->windowVisible, std::vector<bool>{false});
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(dialogs->messages.empty());
}

TEST_F(ApplyTest, ADoubleClickAppliesTheSlotItSelected) {
  window->imgW1Click(3);
  window->imgW1DblClick(3);
  ASSERT_TRUE(waitForApply());
  EXPECT_EQ(setter->applied, QStringList{large(3)});
}

// The menu key on a thumbnail, as a right click would: its menu, with an
// item for all monitors and one for each.
TEST_F(ApplyTest, TheThumbnailsMenuSetsThePictureOnAllMonitorsOrOnOne) {
  const auto openMenu = [this](int slot) -> QMenu* {
    auto* thumbnail = window->findChild<QWidget*>(QStringLiteral("imgW%1").arg(slot));
    QContextMenuEvent press(QContextMenuEvent::Keyboard, QPoint(4, 4), thumbnail->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(thumbnail, &press);
    return window->findChild<QMenu*>(QStringLiteral("popSlotMenu"));
  };
  QMenu* menu = openMenu(4);
  ASSERT_TRUE(menu);
  QList<QAction*> items = menu->actions();
  // A local category's slot offers the trash after a separator.
  for (qsizetype k = 0; k < items.size(); ++k)
    if (items[k]->isSeparator()) {
      items = items.first(k);
      break;
    }
  const QList<QScreen*> screens = QGuiApplication::screens();
  ASSERT_EQ(items.size(), 1 + screens.size());
  EXPECT_EQ(items[0]->text(), QLatin1String("Set on all monitors"));
  const QScreen* first = screens.first();
  EXPECT_EQ(items[1]->text(), QStringLiteral("Set on %1 (%2x%3)")
                                  .arg(first->name())
                                  .arg(first->geometry().width())
                                  .arg(first->geometry().height()));
  items[1]->trigger();
  menu->close();
  ASSERT_TRUE(waitForApply());
  EXPECT_EQ(setter->applied, QStringList{large(4)}) << "the menu selects its thumbnail";
  ASSERT_EQ(setter->targets.size(), 1);
  EXPECT_TRUE(setter->targets[0].isOneMonitor());
  EXPECT_EQ(setter->targets[0].monitor.name, first->name());

  menu = openMenu(2);
  ASSERT_TRUE(menu);
  menu->actions().first()->trigger();
  menu->close();
  ASSERT_TRUE(waitForApply(2));
  EXPECT_EQ(setter->applied.last(), large(2));
  EXPECT_EQ(setter->targets.last().kind, TargetKind::AllMonitors);
}

TEST_F(ApplyTest, ClicksWhileTheWindowIsAsideStartNoSecondApply) {
  window->imgW1Click(1);
  window->btnSetWallpaperClick();
  window->btnSetWallpaperClick();
  window->imgW1DblClick(1);
  ASSERT_TRUE(waitForApply());

  // A second apply would have set its picture before the first one's pause ended.
  EXPECT_EQ(setter->applied, QStringList{large(1)});
  EXPECT_EQ(desktop->windowVisible, std::vector<bool>{false});
  EXPECT_EQ(applies, 1);
  EXPECT_TRUE(window->isVisible());
}

TEST_F(ApplyTest, WithoutASelectedSlotTheUserIsAskedToChoose) {
  window->btnSetWallpaperClick();

  ASSERT_EQ(dialogs->messages.size(), 1u);
  EXPECT_EQ(dialogs->messages[0].caption, window->texts().szAttention);
  EXPECT_EQ(dialogs->messages[0].text, window->texts().szChoiceplease);
  EXPECT_FALSE(window->texts().szChoiceplease.isEmpty());
  EXPECT_TRUE(setter->applied.isEmpty());
  EXPECT_TRUE(desktop->windowVisible.empty());
  EXPECT_TRUE(window->isVisible());
}

TEST_F(ApplyTest, WhileBusyNeitherTheButtonNorTheDoubleClickDoesAnything) {
  window->imgW1Click(1);
  window->browse().setBusy(true);
  window->btnSetWallpaperClick();
  window->imgW1DblClick(1);
  // An apply would have hidden the window at once.
  EXPECT_TRUE(window->isVisible());
  window->browse().setBusy(false);

  EXPECT_TRUE(setter->applied.isEmpty());
  EXPECT_TRUE(desktop->windowVisible.empty());
  EXPECT_TRUE(dialogs->messages.empty());
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(applies, 0);
}

TEST_F(ApplyTest, APictureThatIsNotThereKeepsTheWallpaperAndTheWindowComesBack) {
  ASSERT_TRUE(QFile::remove(window->Slots()[0].large));
  window->imgW1Click(1);
  window->btnSetWallpaperClick();
  ASSERT_TRUE(waitForApply());

  EXPECT_TRUE(setter->applied.isEmpty());
  EXPECT_EQ(desktop->windowVisible, std::vector<bool>{false});
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(dialogs->messages.empty());
}

TEST_F(ApplyTest, ADesktopThatRefusesThePictureIsPassedOver) {
  setter->answer = SetResult::failed(QStringLiteral("refused"));
  window->imgW1Click(2);
  window->btnSetWallpaperClick();
  ASSERT_TRUE(waitForApply());

  EXPECT_EQ(setter->applied, QStringList{large(2)});
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(dialogs->messages.empty());
}

TEST_F(ApplyTest, ADesktopWithoutAnyWayToSetAWallpaperIsReportedWithTheWindowBack) {
  setter->answer = SetResult::unavailable(QStringLiteral("no wallpaper service here"));
  window->imgW1Click(4);

  // The error is reported once the window is back, so the box has a window
  // to stand on and the user has the program again.
  window->btnSetWallpaperClick();
  waitForApply();
  EXPECT_EQ(applies, 1);
  waitUntil([this] { return !dialogs->messages.empty(); });
  ASSERT_EQ(dialogs->messages.size(), 1u);
  EXPECT_EQ(dialogs->messages[0].caption, window->texts().szAppname);
  EXPECT_TRUE(dialogs->messages[0].text.contains(QStringLiteral("no wallpaper service here")))
      << dialogs->messages[0].text.toStdString();
  EXPECT_TRUE(window->isVisible());
}

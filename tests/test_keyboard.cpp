// The main window from the keyboard alone: the Tab order, the keys of the
// wallpaper pages, the shortcuts and Delete in the rotation list. Keys are
// sent to whatever has the focus, as a user's keyboard sends them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "app/Main.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"

namespace {
class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.copyEnglishLanguage();
    fillCategory(1, 8);  // two pages
    fillCategory(2, 3);
    window = makeMainWindowWith(dialogs.context(folder));
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    dialogs->messages.clear();
  }

  void fillCategory(int category, int count) {
    for (int i = 1; i <= count; ++i) {
      const QString base = QStringLiteral("wallpaper/normal/local/%1/").arg(category);
      const QString tail = QStringLiteral("c%1p%2.jpg").arg(category).arg(i);
      folder.writePicture(base + "s_" + tail, QSize(8, 6), Qt::blue);
      folder.writePicture(base + "l_" + tail, QSize(16, 12), Qt::red);
    }
  }

  // A key as the keyboard sends it: to the focused control, through the
  // shortcut map first.
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target != nullptr ? target : window.get(), key, modifiers);
  }
  void pressAndLoad(Qt::Key key) {
    press(key);
    ASSERT_TRUE(waitForPage(*window));
  }

  const BrowseState& state() const { return window->browse().state(); }
  bool shows(int category) const { return state().view == BrowseView{ViewKind::LocalCategory, category}; }

  ProgramFolder folder;
  DialogsRecorder dialogs;
  std::unique_ptr<TfrmMain> window;
};
}  // namespace

TEST_F(KeyboardTest, TheFocusStartsOnTheCurrentCategoryAndTabFollowsTheWindowDownwards) {
  EXPECT_EQ(QApplication::focusWidget(), ui(window).lblL[0]);
  QList<QWidget*> reached;
  for (int k = 0; k < 60 && !reached.contains(QApplication::focusWidget()); ++k) {
    reached << QApplication::focusWidget();
    press(Qt::Key_Tab);
  }
  // From the first link: the others, the six slots of the page, its two
  // page links, the button and the gallery link, the address, then round.
  const qsizetype slot1 = reached.indexOf(ui(window).imgW[0]);
  const qsizetype page2 = reached.indexOf(ui(window).lblWPage[1]);
  const qsizetype button = reached.indexOf(ui(window).btnSetWallpaper);
  const qsizetype close = reached.indexOf(ui(window).btnClose);
  EXPECT_GT(reached.indexOf(ui(window).lblN[6]), reached.indexOf(ui(window).lblL[4]));
  EXPECT_GT(slot1, reached.indexOf(ui(window).lblN[6]));
  EXPECT_EQ(reached.indexOf(ui(window).imgW[5]), slot1 + 5);
  EXPECT_GT(page2, slot1);
  EXPECT_GT(button, page2);
  EXPECT_GT(reached.indexOf(ui(window).suiURLLabel1), button);
  EXPECT_GT(close, reached.indexOf(ui(window).suiURLLabel1));
  // The page that is hidden takes no focus.
  EXPECT_FALSE(reached.contains(ui(window).chkAutoRun));
  EXPECT_FALSE(reached.contains(ui(window).lstWallpaper));
}

TEST_F(KeyboardTest, ArrowsMoveTheSelectionAndTheCategoryPageKeysTurnPages) {
  press(Qt::Key_Right);
  EXPECT_EQ(state().selectedSlot, 0);
  press(Qt::Key_Right);
  EXPECT_EQ(state().selectedSlot, 1);
  EXPECT_TRUE(ui(window).shpW[1]->isVisible());  // the frame a click gives
  EXPECT_EQ(QApplication::focusWidget(), ui(window).imgW[1]);
  press(Qt::Key_Left);
  press(Qt::Key_Left);
  EXPECT_EQ(state().selectedSlot, 0);

  pressAndLoad(Qt::Key_PageDown);
  EXPECT_EQ(state().page, 2);
  EXPECT_EQ(state().shownSlots, 2);
  press(Qt::Key_Left);  // from no selection, Left takes the last picture
  EXPECT_EQ(state().selectedSlot, 1);
  press(Qt::Key_PageDown);  // there is no third page
  EXPECT_EQ(state().page, 2);
  pressAndLoad(Qt::Key_PageUp);
  EXPECT_EQ(state().page, 1);

  pressAndLoad(Qt::Key_Down);
  EXPECT_TRUE(shows(2));
  EXPECT_EQ(QApplication::focusWidget(), ui(window).lblL[1]);
  pressAndLoad(Qt::Key_Up);
  EXPECT_TRUE(shows(1));
  press(Qt::Key_Up);  // nothing above the first link
  EXPECT_TRUE(shows(1));
}

TEST_F(KeyboardTest, KeysWaitWhileBusyAsClicksDo) {
  window->browse().setBusy(true);
  press(Qt::Key_Down);
  press(Qt::Key_PageDown);
  press(Qt::Key_3, Qt::ControlModifier);
  press(Qt::Key_Return);
  EXPECT_TRUE(shows(1));
  EXPECT_EQ(state().page, 1);
  EXPECT_EQ(state().tab, Tab::Normal);
  EXPECT_TRUE(dialogs->messages.empty());
  window->browse().setBusy(false);
}

// Enter that no control takes is "Set as Desktop Wallpaper".
TEST_F(KeyboardTest, EnterWithoutASelectionAsksForOne) {
  QApplication::focusWidget()->clearFocus();
  press(Qt::Key_Return);
  ASSERT_EQ(dialogs->messages.size(), 1u);
  EXPECT_EQ(dialogs->messages[0].caption, window->texts().szAttention);
  EXPECT_EQ(dialogs->messages[0].text, window->texts().szChoiceplease);
}

TEST_F(KeyboardTest, ControlNumbersOpenTheTabsAndTheActiveTabStaysAsItIs) {
  pressAndLoad(Qt::Key_Down);
  press(Qt::Key_1, Qt::ControlModifier);  // already open: nothing reloads
  EXPECT_TRUE(shows(2));
  press(Qt::Key_3, Qt::ControlModifier);
  EXPECT_EQ(state().tab, Tab::Setting);
  EXPECT_TRUE(ui(window).panSetting->isVisible());
  EXPECT_FALSE(ui(window).panWallpaper->isVisible());
  press(Qt::Key_Down);  // the wallpaper page's keys rest on the settings page
  EXPECT_TRUE(shows(2));
  press(Qt::Key_2, Qt::ControlModifier);
  ASSERT_TRUE(waitForPage(*window));
  EXPECT_EQ(state().tab, Tab::Widescreen);
  EXPECT_TRUE(ui(window).panWallpaper->isVisible());
}

TEST_F(KeyboardTest, SpaceTicksTheFocusedOptionAndDeleteRemovesTheSelectedRow) {
  ASSERT_TRUE(window->rotation().addRow(folder.writePicture("pictures/a.jpg", QSize(16, 12), Qt::red)));
  ASSERT_TRUE(window->rotation().addRow(folder.writePicture("pictures/b.jpg", QSize(16, 12), Qt::green)));
  press(Qt::Key_3, Qt::ControlModifier);
  ASSERT_TRUE(ui(window).panSetting->isVisible());

  // The options wait for the check box above them.
  ui(window).chkAutoRun->setFocus(Qt::TabFocusReason);
  const bool ticked = ui(window).chkAutoRun->checked();
  press(Qt::Key_Space);
  EXPECT_NE(ui(window).chkAutoRun->checked(), ticked);
  if (!ui(window).chkAutoRun->checked()) press(Qt::Key_Space);
  ASSERT_TRUE(ui(window).optDay->isEnabled());
  press(Qt::Key_Tab);
  press(Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), ui(window).optDay);
  press(Qt::Key_Space);
  EXPECT_TRUE(ui(window).optDay->checked());
  EXPECT_FALSE(ui(window).optDisable->checked());
  press(Qt::Key_Right);  // the arrows step through the options
  EXPECT_TRUE(ui(window).optDisable->checked());
  EXPECT_EQ(QApplication::focusWidget(), ui(window).optDisable);
  press(Qt::Key_Right);  // the last one stays
  press(Qt::Key_Up);
  EXPECT_TRUE(ui(window).optDay->checked());
  EXPECT_FALSE(ui(window).optDisable->checked());

  QStringList rows = window->rotation().rows();
  ui(window).lstWallpaper->setFocus(Qt::TabFocusReason);
  ui(window).lstWallpaper->setCurrentRow(0);
  press(Qt::Key_Delete);
  rows.removeFirst();
  EXPECT_EQ(window->rotation().rows(), rows);
  press(Qt::Key_Delete);  // nothing selected any more: Remove is off, and so is Delete
  EXPECT_EQ(window->rotation().rows(), rows);
}

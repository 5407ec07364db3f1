// What a screen reader finds in the main window: a name on every control
// that acts, links read as links, the options as ticked or not, and the grid
// as a list of six slots named after their pictures, the selected one marked.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QListWidget>

#include "app/Main.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"

namespace {
QAccessibleInterface* Reader(QObject* control) { return QAccessible::queryAccessibleInterface(control); }
QString NameOf(QObject* control) { return Reader(control)->text(QAccessible::Name); }

class AccessibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.copyEnglishLanguage();
    for (const char* tail : {"lake.jpg", "peak.jpg", "shore.jpg"}) {
      const QString base = QStringLiteral("wallpaper/normal/local/1/");
      folder.writePicture(base + "s_" + tail, QSize(8, 6), Qt::blue);
      folder.writePicture(base + "l_" + tail, QSize(16, 12), Qt::red);
    }
    window = MakeMainWindow(folder);
    window->show();
  }

  ProgramFolder folder;
  std::unique_ptr<TfrmMain> window;
};
}  // namespace

TEST_F(AccessibilityTest, ControlsAreNamedByTheirCaptionsOrByWhatTheyDo) {
  const LanguageTexts& texts = window->texts();
  EXPECT_EQ(NameOf(Ui(window).btnMin), "Minimise");
  EXPECT_EQ(NameOf(Ui(window).btnClose), "Close");
  EXPECT_EQ(NameOf(Ui(window).btnWallpaper), texts.szNormal);
  EXPECT_EQ(NameOf(Ui(window).btnWidescreen), texts.szWidescreen);
  EXPECT_EQ(NameOf(Ui(window).btnTheme), texts.szSetting);
  EXPECT_EQ(NameOf(Ui(window).btnSetWallpaper), texts.szSetwallpaper);
  EXPECT_EQ(NameOf(Ui(window).btnAdd), CaptionDisplayText(texts.szAdd));
  EXPECT_EQ(NameOf(Ui(window).lblL[0]), texts.szNature);
  EXPECT_EQ(NameOf(Ui(window).lblN[5]), texts.szDownload);
  EXPECT_EQ(NameOf(Ui(window).lblWPage[0]), "1");
  EXPECT_EQ(NameOf(Ui(window).chkAutoRun), CaptionDisplayText(texts.szAutorun));
  EXPECT_EQ(NameOf(Ui(window).optDay), CaptionDisplayText(texts.szChangeperday));
  EXPECT_EQ(NameOf(Ui(window).lstWallpaper), CaptionDisplayText(texts.szPiclist));
  EXPECT_EQ(Reader(Ui(window).lblL[0])->role(), QAccessible::Link);
  EXPECT_EQ(Reader(Ui(window).Label14)->role(), QAccessible::Link);
  EXPECT_EQ(Reader(Ui(window).suiURLLabel1)->role(), QAccessible::Link);
  EXPECT_EQ(Reader(Ui(window).btnWallpaper)->role(), QAccessible::PageTab);
  EXPECT_TRUE(Reader(Ui(window).btnWallpaper)->state().selected);  // the page shown
  EXPECT_FALSE(Reader(Ui(window).btnTheme)->state().selected);
  window->btnThemeClick();
  EXPECT_TRUE(Reader(Ui(window).btnTheme)->state().selected);
  EXPECT_FALSE(Reader(Ui(window).btnWallpaper)->state().selected);
  EXPECT_EQ(Reader(Ui(window).chkAutoRun)->role(), QAccessible::CheckBox);
  EXPECT_EQ(Reader(Ui(window).optDisable)->role(), QAccessible::RadioButton);
  EXPECT_EQ(Reader(Ui(window).chkAutoRun)->state().checked, Ui(window).chkAutoRun->checked());
  EXPECT_EQ(Reader(Ui(window).optDisable)->state().checked, Ui(window).optDisable->checked());

  // Whatever takes the focus and can be seen says what it is.
  for (QWidget* control : window->findChildren<QWidget*>()) {
    if (control->focusPolicy() == Qt::NoFocus || !control->isVisibleTo(window.get())) continue;
    EXPECT_FALSE(NameOf(control).isEmpty()) << qPrintable(control->objectName());
  }
}

TEST_F(AccessibilityTest, TheGridReadsAsAListOfSixWithTheSelectedOneMarked) {
  QAccessibleInterface* grid = Reader(Ui(window).Panel1);
  ASSERT_EQ(grid->role(), QAccessible::List);
  ASSERT_EQ(grid->childCount(), 6);
  for (int n = 0; n < 6; ++n) {
    QAccessibleInterface* item = grid->child(n);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->role(), QAccessible::ListItem);
    EXPECT_EQ(item->parent(), grid);
    EXPECT_EQ(grid->indexOfChild(item), n);
    EXPECT_EQ(item->state().invisible, n >= 3) << n;
    EXPECT_FALSE(item->state().selected);
  }
  EXPECT_EQ(grid->child(0)->text(QAccessible::Name), "l_lake.jpg");
  EXPECT_EQ(grid->child(2)->text(QAccessible::Name), "l_shore.jpg");

  window->imgW1Click(2);
  EXPECT_TRUE(grid->child(1)->state().selected);
  EXPECT_FALSE(grid->child(0)->state().selected);

  // A screen reader's press selects as a click does.
  QAccessibleActionInterface* actions = grid->child(2)->actionInterface();
  ASSERT_NE(actions, nullptr);
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(window->browse().state().selectedSlot, 2);
  EXPECT_TRUE(grid->child(2)->state().selected);
  EXPECT_FALSE(grid->child(1)->state().selected);
}

TEST_F(AccessibilityTest, AScreenReadersToggleGoesThroughTheSettings) {
  window->btnThemeClick();
  const auto toggle = [](QWidget* control) {
    QAccessibleActionInterface* actions = Reader(control)->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::toggleAction());
  };
  const bool before = window->settings().autoRun();
  toggle(Ui(window).chkAutoRun);
  EXPECT_NE(window->settings().autoRun(), before);
  if (!window->settings().autoRun()) toggle(Ui(window).chkAutoRun);
  ASSERT_TRUE(window->settings().autoRun());
  EXPECT_TRUE(Reader(Ui(window).chkAutoRun)->state().checked);
  toggle(Ui(window).optDay);
  EXPECT_EQ(window->settings().changeMode(), 2);
  EXPECT_TRUE(Reader(Ui(window).optDay)->state().checked);
  EXPECT_FALSE(Reader(Ui(window).optDisable)->state().checked);
}

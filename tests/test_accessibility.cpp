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
QAccessibleInterface* reader(QObject* control) { return QAccessible::queryAccessibleInterface(control); }
QString nameOf(QObject* control) { return reader(control)->text(QAccessible::Name); }

class AccessibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.copyEnglishLanguage();
    for (const char* tail : {"lake.jpg", "peak.jpg", "shore.jpg"}) {
      const QString base = QStringLiteral("wallpaper/normal/local/1/");
      folder.writePicture(base + "s_" + tail, QSize(8, 6), Qt::blue);
      folder.writePicture(base + "l_" + tail, QSize(16, 12), Qt::red);
    }
    window = makeMainWindow(folder);
    window->show();
  }

  ProgramFolder folder;
  std::unique_ptr<TfrmMain> window;
};
}  // namespace

TEST_F(AccessibilityTest, ControlsAreNamedByTheirCaptionsOrByWhatTheyDo) {
  const LanguageTexts& texts = window->texts();
  EXPECT_EQ(nameOf(ui(window).btnMin), "Minimise");
  EXPECT_EQ(nameOf(ui(window).btnClose), "Close");
  EXPECT_EQ(nameOf(ui(window).btnWallpaper), texts.szNormal);
  EXPECT_EQ(nameOf(ui(window).btnWidescreen), texts.szWidescreen);
  EXPECT_EQ(nameOf(ui(window).btnTheme), texts.szSetting);
  EXPECT_EQ(nameOf(ui(window).btnSetWallpaper), texts.szSetwallpaper);
  EXPECT_EQ(nameOf(ui(window).btnAdd), captionDisplayText(texts.szAdd));
  EXPECT_EQ(nameOf(ui(window).lblL[0]), texts.szNature);
  EXPECT_EQ(nameOf(ui(window).lblN[5]), texts.szDownload);
  EXPECT_EQ(nameOf(ui(window).lblWPage[0]), "1");
  EXPECT_EQ(nameOf(ui(window).chkAutoRun), captionDisplayText(texts.szAutorun));
  EXPECT_EQ(nameOf(ui(window).optDay), captionDisplayText(texts.szChangeperday));
  EXPECT_EQ(nameOf(ui(window).lstWallpaper), captionDisplayText(texts.szPiclist));
  EXPECT_EQ(reader(ui(window).lblL[0])->role(), QAccessible::Link);
  EXPECT_EQ(reader(ui(window).Label14)->role(), QAccessible::Link);
  EXPECT_EQ(reader(ui(window).suiURLLabel1)->role(), QAccessible::Link);
  EXPECT_EQ(reader(ui(window).btnWallpaper)->role(), QAccessible::PageTab);
  EXPECT_TRUE(reader(ui(window).btnWallpaper)->state().selected);  // the page shown
  EXPECT_FALSE(reader(ui(window).btnTheme)->state().selected);
  window->btnThemeClick();
  EXPECT_TRUE(reader(ui(window).btnTheme)->state().selected);
  EXPECT_FALSE(reader(ui(window).btnWallpaper)->state().selected);
  EXPECT_EQ(reader(ui(window).chkAutoRun)->role(), QAccessible::CheckBox);
  EXPECT_EQ(reader(ui(window).optDisable)->role(), QAccessible::RadioButton);
  EXPECT_EQ(reader(ui(window).chkAutoRun)->state().checked, ui(window).chkAutoRun->checked());
  EXPECT_EQ(reader(ui(window).optDisable)->state().checked, ui(window).optDisable->checked());

  // Whatever takes the focus and can be seen says what it is.
  for (QWidget* control : window->findChildren<QWidget*>()) {
    if (control->focusPolicy() == Qt::NoFocus || !control->isVisibleTo(window.get())) continue;
    EXPECT_FALSE(nameOf(control).isEmpty()) << qPrintable(control->objectName());
  }
}

TEST_F(AccessibilityTest, TheGridReadsAsAListOfSixWithTheSelectedOneMarked) {
  QAccessibleInterface* grid = reader(ui(window).Panel1);
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
    QAccessibleActionInterface* actions = reader(control)->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::toggleAction());
  };
  const bool before = window->settings().autoRun();
  toggle(ui(window).chkAutoRun);
  EXPECT_NE(window->settings().autoRun(), before);
  if (!window->settings().autoRun()) toggle(ui(window).chkAutoRun);
  ASSERT_TRUE(window->settings().autoRun());
  EXPECT_TRUE(reader(ui(window).chkAutoRun)->state().checked);
  toggle(ui(window).optDay);
  EXPECT_EQ(window->settings().changeMode(), 2);
  EXPECT_TRUE(reader(ui(window).optDay)->state().checked);
  EXPECT_FALSE(reader(ui(window).optDisable)->state().checked);
}

// The grid, its paging and the local categories, driven through the main
// window's handlers on a program folder of the test's own.
#include <gtest/gtest.h>

#include <QFile>

#include "app/Main.h"
#include "support/ProgramFolder.h"

namespace {
class GridTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
  std::unique_ptr<TfrmMain> window;

  // `count` thumbnail pairs in a local category of the normal shape, named
  // so that case-insensitive order is their number order.
  void fillCategory(int category, int count) {
    for (int i = 1; i <= count; ++i) {
      const QString tail = QString("p%1.jpg").arg(i, 3, 10, QChar('0'));
      const QString base = QString("wallpaper/normal/local/%1/").arg(category);
      folder.writePicture(base + "s_" + tail, QSize(8, 6), Qt::blue);
      folder.writeFile(base + "l_" + tail, "large");
    }
  }

  void open() { window = MakeMainWindow(); }

  int visiblePageLinks() const {
    int visible = 0;
    for (TLabel* link : window->lblWPage) visible += link->isVisibleTo(window.get()) ? 1 : 0;
    return visible;
  }
  int visibleSlots() const {
    int visible = 0;
    for (TPicturePanel* slot : window->W) visible += slot->isVisibleTo(window.get()) ? 1 : 0;
    return visible;
  }
  int visibleFrames() const {
    int visible = 0;
    for (TShape* frame : window->shpW) visible += frame->isVisibleTo(window.get()) ? 1 : 0;
    return visible;
  }
  QString slotTail(int slot) const { return window->Slots[slot - 1].thumbnail.section('/', -1); }
};
}  // namespace

TEST_F(GridTest, OpensOnLocalCategoryOnePageOne) {
  fillCategory(1, 4);
  open();
  EXPECT_TRUE(window->IsCurrentCategory(window->lblL[0]));
  EXPECT_EQ(window->CurrentPage(), 1);
  EXPECT_EQ(visibleSlots(), 4);
  EXPECT_EQ(visiblePageLinks(), 1);
  EXPECT_EQ(slotTail(1), "s_p001.jpg");
  EXPECT_EQ(window->Slots[0].large, folder.file("wallpaper/normal/local/1/l_p001.jpg"));
}

TEST_F(GridTest, PageLinksFollowTheCount) {
  fillCategory(1, 6);
  fillCategory(2, 7);
  fillCategory(3, 120);
  fillCategory(4, 121);
  open();
  EXPECT_EQ(visiblePageLinks(), 1);
  window->lblL1Click(window->lblL[1]);
  EXPECT_EQ(visiblePageLinks(), 2);
  window->lblWPage1Click(2);
  EXPECT_EQ(window->CurrentPage(), 2);
  EXPECT_EQ(visibleSlots(), 1);
  EXPECT_EQ(slotTail(1), "s_p007.jpg");
  EXPECT_TRUE(window->Slots[1].thumbnail.isEmpty());
  window->lblL1Click(window->lblL[2]);
  EXPECT_EQ(visiblePageLinks(), 20);
  window->lblL1Click(window->lblL[3]);
  EXPECT_EQ(visiblePageLinks(), 20);
  window->lblWPage1Click(20);
  EXPECT_EQ(slotTail(6), "s_p120.jpg");
}

TEST_F(GridTest, EmptyCategoryShowsTheTipAndMarksPageOne) {
  fillCategory(1, 13);
  open();
  window->lblWPage1Click(3);
  window->lblL1Click(window->lblL[4]);
  EXPECT_TRUE(window->lblErrorTip->isVisibleTo(window.get()));
  EXPECT_EQ(visibleSlots(), 0);
  EXPECT_EQ(visiblePageLinks(), 0);
  EXPECT_EQ(window->CurrentPage(), 1);
}

TEST_F(GridTest, ARebuiltViewFallsBackToPageOneWhenItsPageIsGone) {
  fillCategory(1, 30);
  fillCategory(2, 8);
  open();
  window->lblWPage1Click(5);
  EXPECT_EQ(window->CurrentPage(), 5);
  window->ShowLocalCategory(window->lblL[1], 0);
  EXPECT_EQ(window->CurrentPage(), 1);
  EXPECT_EQ(slotTail(1), "s_p001.jpg");
  EXPECT_EQ(visibleSlots(), 6);
}

TEST_F(GridTest, ClickingTheCurrentPageOrCategoryReloadsNothing) {
  fillCategory(1, 8);
  open();
  window->imgW1Click(3);
  window->lblWPage1Click(1);
  window->lblL1Click(window->lblL[0]);
  EXPECT_EQ(visibleFrames(), 1) << "a reload would have hidden the frame";
}

TEST_F(GridTest, SelectionKeepsOneFrameAndANewPageClearsIt) {
  fillCategory(1, 8);
  open();
  window->imgW1Click(2);
  window->imgW1Click(5);
  EXPECT_EQ(visibleFrames(), 1);
  EXPECT_TRUE(window->shpW[4]->isVisibleTo(window.get()));
  window->lblWPage1Click(2);
  EXPECT_EQ(visibleFrames(), 0);
}

TEST_F(GridTest, WidescreenGeometryOfSlotFive) {
  open();
  window->ArrangeGrid(true);
  EXPECT_EQ(window->W[4]->geometry(), QRect(191, 208, 175, 133));
  EXPECT_EQ(window->shpW[4]->geometry(), QRect(0, 0, 175, 133));
  EXPECT_EQ(window->imgW[4]->geometry(), QRect(7, 20, 160, 100));
  window->ArrangeGrid(false);
  EXPECT_EQ(window->W[4]->geometry(), QRect(197, 205, 164, 140));
  EXPECT_EQ(window->imgW[4]->geometry(), QRect(9, 18, 145, 110));
}

TEST_F(GridTest, BusyHoldsOffCategoriesPagesAndTabs) {
  fillCategory(1, 8);
  fillCategory(2, 3);
  open();
  window->Busy = true;
  window->lblL1Click(window->lblL[1]);
  window->lblWPage1Click(2);
  window->btnWidescreenClick();
  EXPECT_TRUE(window->IsCurrentCategory(window->lblL[0]));
  EXPECT_EQ(window->CurrentPage(), 1);
  EXPECT_FALSE(window->CurrentShapeIsWide());
  window->Busy = false;
}

TEST_F(GridTest, ShapeTabsReloadCategoryOneAtPageOne) {
  fillCategory(1, 8);
  fillCategory(3, 2);
  folder.writePicture("wallpaper/widescreen/local/1/s_wide.jpg", QSize(8, 5), Qt::red);
  open();
  window->lblL1Click(window->lblL[2]);
  window->btnWidescreenClick();
  EXPECT_TRUE(window->CurrentShapeIsWide());
  EXPECT_TRUE(window->IsCurrentCategory(window->lblL[0]));
  EXPECT_EQ(window->btnNormal->caption(), window->btnWidescreen->caption());
  EXPECT_EQ(slotTail(1), "s_wide.jpg");
  EXPECT_EQ(visibleSlots(), 1);
  window->btnWallpaperClick();
  EXPECT_FALSE(window->CurrentShapeIsWide());
  EXPECT_EQ(visibleSlots(), 6);
}

TEST_F(GridTest, AnUndecodableThumbnailDoesNotHideTheRestOfThePage) {
  fillCategory(1, 3);
  folder.writeFile("wallpaper/normal/local/1/s_p002.jpg", "not a picture");
  open();
  EXPECT_EQ(visibleSlots(), 3);
  EXPECT_TRUE(window->imgW[1]->hasPicture());
  EXPECT_EQ(slotTail(3), "s_p003.jpg");
}

TEST_F(GridTest, HoverMarksOnlyLinksThatAreNotCurrent) {
  fillCategory(1, 1);
  open();
  window->lblL1MouseEnter(window->lblL[0]);
  EXPECT_FALSE(window->lblL[0]->font().underline());
  window->lblL1MouseEnter(window->lblL[1]);
  EXPECT_TRUE(window->lblL[1]->font().underline());
  EXPECT_EQ(window->lblL[1]->cursor().shape(), Qt::PointingHandCursor);
  window->lblL1MouseLeave(window->lblL[1]);
  EXPECT_FALSE(window->lblL[1]->font().underline());
  window->lblWPage1MouseEnter(1);
  EXPECT_NE(window->lblWPage[0]->cursor().shape(), Qt::PointingHandCursor);
}

// The grid, its paging and the local categories as the main window draws
// them, driven through the window's handlers on a program folder of the
// test's own. The browsing rules themselves are the controller's tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "app/Main.h"
#include "library/GridLayout.h"
#include "platform/FileNames.h"
#include "platform/FolderStamp.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"
#include "support/RawNames.h"

namespace {
class GridTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
  std::unique_ptr<TfrmMain> window;

  static QString categoryFolder(int category) { return QString("wallpaper/normal/local/%1/").arg(category); }
  static QString tailOf(int i) { return QString("p%1.jpg").arg(i, 3, 10, QChar('0')); }

  // `count` thumbnail pairs in a local category of the normal shape, named
  // so that case-insensitive order is their number order.
  void fillCategory(int category, int count) {
    for (int i = 1; i <= count; ++i) {
      folder.writePicture(categoryFolder(category) + "s_" + tailOf(i), QSize(8, 6), Qt::blue);
      folder.writeFile(categoryFolder(category) + "l_" + tailOf(i), "large");
    }
  }

  void open() { window = makeMainWindow(folder); }

  // The clicks that load a page; the slots are looked at once it is shown.
  void clickCategory(int link) {
    window->lblL1Click(ui(window).lblL[size_t(link - 1)]);
    ASSERT_TRUE(waitForPage(*window));
  }
  void clickPage(int page) {
    window->lblWPage1Click(page);
    ASSERT_TRUE(waitForPage(*window));
  }

  int visiblePageLinks() const {
    int visible = 0;
    for (SkinLabel* link : ui(window).lblWPage) visible += link->isVisibleTo(window.get()) ? 1 : 0;
    return visible;
  }
  int visibleSlots() const {
    int visible = 0;
    for (PicturePanel* slot : ui(window).W) visible += slot->isVisibleTo(window.get()) ? 1 : 0;
    return visible;
  }
  int visibleFrames() const {
    int visible = 0;
    for (SkinShape* frame : ui(window).shpW) visible += frame->isVisibleTo(window.get()) ? 1 : 0;
    return visible;
  }
  QString slotTail(int slot) const { return window->Slots()[size_t(slot - 1)].thumbnail.section('/', -1); }
  // The page links drawn as current.
  QList<int> markedPages() const {
    QList<int> marked;
    for (int k = 0; k < 20; ++k)
      if (ui(window).lblWPage[k]->fontColor() == kCurrentPageColour) marked << k + 1;
    return marked;
  }
};
}  // namespace

TEST_F(GridTest, OpensOnLocalCategoryOnePageOne) {
  fillCategory(1, 4);
  open();
  EXPECT_TRUE(window->isCurrentCategory(ui(window).lblL[0]));
  EXPECT_EQ(window->CurrentPage(), 1);
  EXPECT_EQ(visibleSlots(), 4);
  EXPECT_EQ(visiblePageLinks(), 1);
  EXPECT_EQ(markedPages(), QList<int>{1});
  EXPECT_EQ(slotTail(1), "s_p001.jpg");
  EXPECT_EQ(window->Slots()[0].large, folder.file("wallpaper/normal/local/1/l_p001.jpg"));
  // The highlight bar stands over the current category's link.
  EXPECT_EQ(ui(window).imgLeftBK->y(), ui(window).lblL[0]->y() - kHighlightAboveLink);
}

TEST_F(GridTest, PageLinksFollowTheCount) {
  fillCategory(1, 6);
  fillCategory(2, 7);
  fillCategory(3, 120);
  fillCategory(4, 121);
  open();
  EXPECT_EQ(visiblePageLinks(), 1);
  clickCategory(2);
  EXPECT_EQ(visiblePageLinks(), 2);
  EXPECT_EQ(ui(window).imgLeftBK->y(), ui(window).lblL[1]->y() - kHighlightAboveLink);
  clickPage(2);
  EXPECT_EQ(window->CurrentPage(), 2);
  EXPECT_EQ(markedPages(), QList<int>{2});
  EXPECT_EQ(visibleSlots(), 1);
  EXPECT_EQ(slotTail(1), "s_p007.jpg");
  EXPECT_TRUE(window->Slots()[1].thumbnail.isEmpty());
  clickCategory(3);
  EXPECT_EQ(visiblePageLinks(), 20);
  EXPECT_EQ(markedPages(), QList<int>{1});
  clickCategory(4);
  EXPECT_EQ(visiblePageLinks(), 20);
  clickPage(20);
  EXPECT_EQ(slotTail(6), "s_p120.jpg");
}

TEST_F(GridTest, EmptyCategoryShowsTheTipAndMarksPageOne) {
  // The tip is shown when it has a text to show.
  folder.copyEnglishLanguage();
  fillCategory(1, 13);
  open();
  clickPage(3);
  clickCategory(5);
  EXPECT_TRUE(ui(window).lblErrorTip->isVisibleTo(window.get()));
  EXPECT_EQ(ui(window).lblErrorTip->caption(), window->texts().szPicnofind);
  EXPECT_FALSE(window->texts().szPicnofind.isEmpty());
  EXPECT_EQ(visibleSlots(), 0);
  EXPECT_EQ(visiblePageLinks(), 0);
  EXPECT_EQ(window->CurrentPage(), 1);
}

TEST_F(GridTest, ARebuiltViewFallsBackToPageOneWhenItsPageIsGone) {
  fillCategory(1, 30);
  open();
  clickPage(5);
  EXPECT_EQ(window->CurrentPage(), 5);
  // The category shrinks to two pages behind the window's back; the next
  // page turn lists it afresh and finds page 4 gone.
  for (int i = 9; i <= 30; ++i) {
    ASSERT_TRUE(QFile::remove(folder.file(categoryFolder(1) + "s_" + tailOf(i))));
    ASSERT_TRUE(QFile::remove(folder.file(categoryFolder(1) + "l_" + tailOf(i))));
  }
  clickPage(4);
  EXPECT_EQ(window->CurrentPage(), 1);
  EXPECT_EQ(markedPages(), QList<int>{1});
  EXPECT_EQ(slotTail(1), "s_p001.jpg");
  EXPECT_EQ(visibleSlots(), 6);
  EXPECT_EQ(visiblePageLinks(), 2);
}

TEST_F(GridTest, ClickingTheCurrentPageOrCategoryReloadsNothing) {
  fillCategory(1, 8);
  open();
  window->imgW1Click(3);
  window->lblWPage1Click(1);
  window->lblL1Click(ui(window).lblL[0]);
  EXPECT_FALSE(window->browse().loading());
  EXPECT_EQ(visibleFrames(), 1) << "a reload would have hidden the frame";
}

TEST_F(GridTest, SelectionKeepsOneFrameAndANewPageClearsIt) {
  fillCategory(1, 8);
  open();
  window->imgW1Click(2);
  window->imgW1Click(5);
  EXPECT_EQ(visibleFrames(), 1);
  EXPECT_TRUE(ui(window).shpW[4]->isVisibleTo(window.get()));
  clickPage(2);
  EXPECT_EQ(visibleFrames(), 0);
}

TEST_F(GridTest, EachShapeArrangesTheGridFromTheLayoutTable) {
  open();
  for (Shape shape : {Shape::Widescreen, Shape::Normal}) {
    SCOPED_TRACE(shape == Shape::Widescreen ? "widescreen" : "normal");
    window->ArrangeGrid(shape);
    const GridGeometry& g = gridOf(shape);
    for (int n = 0; n < 6; ++n) {
      EXPECT_EQ(ui(window).W[n]->geometry(), slotRect(shape, n)) << "slot " << n + 1;
      EXPECT_EQ(ui(window).shpW[n]->geometry(), QRect(QPoint(0, 0), g.slot)) << "slot " << n + 1;
      EXPECT_EQ(ui(window).imgW[n]->geometry(), QRect(g.image, g.imageSize)) << "slot " << n + 1;
      // Whatever the table says, a slot fits the grid panel without covering
      // another, and its thumbnail fits inside it.
      EXPECT_TRUE(ui(window).Panel1->rect().contains(ui(window).W[n]->geometry())) << "slot " << n + 1;
      EXPECT_TRUE(ui(window).W[n]->rect().contains(ui(window).imgW[n]->geometry())) << "slot " << n + 1;
      for (int m = n + 1; m < 6; ++m)
        EXPECT_FALSE(ui(window).W[n]->geometry().intersects(ui(window).W[m]->geometry()))
            << "slots " << n + 1 << " and " << m + 1;
    }
  }
}

TEST_F(GridTest, BusyHoldsOffCategoriesPagesAndTabs) {
  fillCategory(1, 8);
  fillCategory(2, 3);
  open();
  window->browse().setBusy(true);
  window->lblL1Click(ui(window).lblL[1]);
  window->lblWPage1Click(2);
  window->btnWidescreenClick();
  EXPECT_FALSE(window->browse().loading());
  EXPECT_TRUE(window->isCurrentCategory(ui(window).lblL[0]));
  EXPECT_EQ(window->CurrentPage(), 1);
  EXPECT_FALSE(window->currentShapeIsWide());
  EXPECT_EQ(visibleSlots(), 6);
  window->browse().setBusy(false);
}

TEST_F(GridTest, ShapeTabsReloadCategoryOneAtPageOne) {
  fillCategory(1, 8);
  fillCategory(3, 2);
  folder.writePicture("wallpaper/widescreen/local/1/s_wide.jpg", QSize(8, 5), Qt::red);
  open();
  clickCategory(3);
  window->btnWidescreenClick();
  ASSERT_TRUE(waitForPage(*window));
  EXPECT_TRUE(window->currentShapeIsWide());
  EXPECT_TRUE(window->isCurrentCategory(ui(window).lblL[0]));
  EXPECT_EQ(ui(window).btnNormal->caption(), ui(window).btnWidescreen->caption());
  EXPECT_EQ(ui(window).btnNormal->x(), ui(window).btnWidescreen->x());
  EXPECT_EQ(slotTail(1), "s_wide.jpg");
  EXPECT_EQ(visibleSlots(), 1);
  // The slots take the wide shape, and thumbnails are decoded for its box.
  EXPECT_EQ(ui(window).W[0]->geometry(), slotRect(Shape::Widescreen, 0));
  EXPECT_EQ(window->browse().state().thumbnailBox(), ui(window).imgW[0]->size());
  window->btnWallpaperClick();
  ASSERT_TRUE(waitForPage(*window));
  EXPECT_FALSE(window->currentShapeIsWide());
  EXPECT_EQ(visibleSlots(), 6);
  EXPECT_EQ(ui(window).W[0]->geometry(), slotRect(Shape::Normal, 0));
  EXPECT_EQ(window->browse().state().thumbnailBox(), ui(window).imgW[0]->size());
}

TEST_F(GridTest, AnUndecodableThumbnailDoesNotHideTheRestOfThePage) {
  fillCategory(1, 3);
  folder.writeFile("wallpaper/normal/local/1/s_p002.jpg", "not a picture");
  open();
  EXPECT_EQ(visibleSlots(), 3);
  EXPECT_TRUE(ui(window).imgW[1]->hasPicture());
  EXPECT_EQ(slotTail(3), "s_p003.jpg");
  EXPECT_TRUE(QFile::exists(folder.file(categoryFolder(1) + "s_p002.jpg"))) << "the user's own file stays";
}

TEST_F(GridTest, HoverMarksOnlyLinksThatAreNotCurrent) {
  fillCategory(1, 1);
  open();
  window->lblL1MouseEnter(ui(window).lblL[0]);
  EXPECT_FALSE(ui(window).lblL[0]->font().underline());
  window->lblL1MouseEnter(ui(window).lblL[1]);
  EXPECT_TRUE(ui(window).lblL[1]->font().underline());
  EXPECT_EQ(ui(window).lblL[1]->cursor().shape(), Qt::PointingHandCursor);
  window->lblL1MouseLeave(ui(window).lblL[1]);
  EXPECT_FALSE(ui(window).lblL[1]->font().underline());
  window->lblWPage1MouseEnter(1);
  EXPECT_NE(ui(window).lblWPage[0]->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(GridTest, ACategoryRestoredWithItsOldModificationTimeShowsItsNewPictures) {
  fillCategory(1, 2);
  const QString category = folder.file(categoryFolder(1));
  // Once the folder has been still for a moment its listing is kept.
  ASSERT_TRUE(waitUntil([&] {
    const std::optional<FolderStampReading> reading = readFolderStamp(category);
    return reading && reading->trust == StampTrust::Reliable;
  }));
  open();
  ASSERT_EQ(slotTail(1), "s_p001.jpg");
  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(category).constData(), &before), 0);

  // As cp -a, tar or rsync -a put a folder back: other pictures, as many of
  // them, and the folder's old modification time.
  for (int i = 1; i <= 2; ++i) {
    ASSERT_TRUE(QFile::remove(folder.file(categoryFolder(1) + "s_" + tailOf(i))));
    ASSERT_TRUE(QFile::remove(folder.file(categoryFolder(1) + "l_" + tailOf(i))));
    const QString tail = QString("q%1.jpg").arg(i, 3, 10, QChar('0'));
    folder.writePicture(categoryFolder(1) + "s_" + tail, QSize(8, 6), Qt::red);
    folder.writeFile(categoryFolder(1) + "l_" + tail, "large");
  }
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(category).constData(), times, 0), 0);

  clickCategory(2);
  clickCategory(1);
  EXPECT_EQ(visibleSlots(), 2);
  EXPECT_EQ(slotTail(1), "s_q001.jpg");
  EXPECT_EQ(slotTail(2), "s_q002.jpg");
  EXPECT_EQ(window->Slots()[0].large, folder.file(categoryFolder(1) + "l_q001.jpg"));
}

TEST_F(GridTest, APictureWhoseNameIsNotUtf8IsShown) {
  const RawNamesCleanup cleanup(folder.path());
  folder.copyEnglishLanguage();
  const QString plain = folder.writePicture(categoryFolder(1) + "plain.jpg", QSize(8, 6), Qt::blue);
  const QByteArray category = QFile::encodeName(folder.file(categoryFolder(1)));
  ASSERT_TRUE(renameRaw(plain, category + "s_caf\xE9.jpg"));
  ASSERT_TRUE(writeRawFile(category + "l_caf\xE9.jpg", "large"));
  open();
  EXPECT_FALSE(ui(window).lblErrorTip->isVisibleTo(window.get()));
  ASSERT_EQ(visibleSlots(), 1);
  // The picture itself, not the mark of one that could not be read.
  const QImage shown = window->browse().state().pictures[0];
  ASSERT_FALSE(shown.isNull());
  EXPECT_LT(qRed(shown.pixel(4, 4)), 40);
  EXPECT_GT(qBlue(shown.pixel(4, 4)), 200);
  EXPECT_EQ(encodeFileName(window->Slots()[0].thumbnail), category + "s_caf\xE9.jpg");
  EXPECT_EQ(encodeFileName(window->Slots()[0].large), category + "l_caf\xE9.jpg");
}

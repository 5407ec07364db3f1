// The browsing rules held by the controller alone, with no window: which
// click loads what, what a click on the view already shown does, and that a
// newer request supersedes an older one that is still at work.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "library/BrowseController.h"
#include "support/TemporaryProgramFolder.h"
#include "support/WaitUntil.h"

namespace {

constexpr QSize kNormalThumbnailBox(145, 110);

bool isMostlyRed(const QImage& picture) {
  const QRgb centre = picture.pixel(picture.width() / 2, picture.height() / 2);
  return qRed(centre) > 200 && qBlue(centre) < 80;
}

// A network view stand-in: it holds the controller busy until released, or
// answers later without holding anything.
class ScriptedLoad : public PageLoad {
 public:
  enum class Mode { HoldBusy, AnswerLater };
  explicit ScriptedLoad(Mode mode, int* started) : m_mode(mode) { ++*started; }

  void start(const BrowseRequest& request, Deliver deliver) override {
    m_deliver = std::move(deliver);
    if (m_mode == Mode::HoldBusy) {
      m_deliver([](BrowseState& state) { state.busy = true; });
      return;
    }
    const QString tail = QStringLiteral("late-%1").arg(request.view.category);
    QTimer::singleShot(50, this, [this, tail] {
      m_deliver([tail](BrowseState& state) {
        state.slotPaths[0] = {tail, tail};
        state.shownSlots = 1;
      });
      emit finished();
    });
  }

 private:
  Mode m_mode;
  Deliver m_deliver;
};

class BrowseControllerTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
  LanguageTexts texts;
  ScriptedLoad::Mode networkMode = ScriptedLoad::Mode::HoldBusy;
  int networkLoads = 0;
  BrowseController controller{texts, folder.path(),
                              [this](const BrowseRequest& request) -> std::unique_ptr<PageLoad> {
                                if (request.view.kind != ViewKind::NetworkCategory) return nullptr;
                                return std::make_unique<ScriptedLoad>(networkMode, &networkLoads);
                              }};

  void SetUp() override { texts.szPicnofind = QStringLiteral("No pictures"); }

  void fillCategory(Shape shape, int category, int count) {
    const QString side = shape == Shape::Widescreen ? "widescreen" : "normal";
    for (int i = 1; i <= count; ++i) {
      const QString base = QString("wallpaper/%1/local/%2/").arg(side).arg(category);
      folder.writePicture(base + QString("s_c%1-%2.jpg").arg(category).arg(i, 2, 10, QChar('0')),
                          QSize(40, 30), Qt::darkGreen);
    }
  }
  bool settle() {
    return waitUntil([&] { return !controller.loading(); });
  }
  QString slotName(int slot) const { return controller.state().slotPaths[slot].thumbnail.section('/', -1); }
};

}  // namespace

TEST_F(BrowseControllerTest, TheNewestClickAloneFillsTheGrid) {
  fillCategory(Shape::Normal, 2, 6);
  fillCategory(Shape::Normal, 3, 2);
  controller.openLocalCategory(2);
  controller.selectSlot(0);  // nothing is shown yet: no selection
  controller.openLocalCategory(3);
  ASSERT_TRUE(settle());
  const BrowseState& state = controller.state();
  EXPECT_EQ(state.view, (BrowseView{ViewKind::LocalCategory, 3}));
  EXPECT_EQ(state.shownSlots, 2);
  EXPECT_EQ(slotName(0), "s_c3-01.jpg");
  EXPECT_EQ(slotName(1), "s_c3-02.jpg");
  for (int slot = 2; slot < 6; ++slot) EXPECT_TRUE(state.slotPaths[slot].thumbnail.isEmpty()) << slot;
  EXPECT_FALSE(controller.selectedPaths().has_value());
  controller.selectSlot(1);
  ASSERT_TRUE(controller.selectedPaths().has_value());
  EXPECT_TRUE(controller.selectedPaths()->thumbnail.endsWith("s_c3-02.jpg"));
}

TEST_F(BrowseControllerTest, ALateAnswerOfASupersededViewIsDropped) {
  networkMode = ScriptedLoad::Mode::AnswerLater;
  fillCategory(Shape::Normal, 1, 1);
  controller.openNetworkCategory(4);
  controller.openLocalCategory(1);
  ASSERT_TRUE(settle());
  // Longer than the stand-in takes to answer.
  QElapsedTimer clock;
  clock.start();
  waitUntil([&] { return clock.hasExpired(200); });
  EXPECT_EQ(controller.state().view.kind, ViewKind::LocalCategory);
  EXPECT_EQ(slotName(0), "s_c1-01.jpg");
}

TEST_F(BrowseControllerTest, TheViewOrPageAlreadyShownReloadsNothing) {
  fillCategory(Shape::Normal, 1, 7);
  controller.openLocalCategory(1);
  ASSERT_TRUE(settle());
  controller.selectSlot(3);
  int changes = 0;
  QObject::connect(&controller, &BrowseController::stateChanged, [&] { ++changes; });
  controller.openLocalCategory(1);
  controller.turnToPage(1);
  EXPECT_FALSE(controller.loading());
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(controller.state().selectedSlot, 3);

  controller.turnToPage(2);
  ASSERT_TRUE(settle());
  EXPECT_EQ(controller.state().page, 2);
  EXPECT_EQ(controller.state().shownSlots, 1);
  EXPECT_EQ(slotName(0), "s_c1-07.jpg");
  EXPECT_FALSE(controller.state().selectedSlot.has_value());
}

TEST_F(BrowseControllerTest, ANewViewStartsAtPageOneAndAnEmptyOneSaysSo) {
  fillCategory(Shape::Normal, 1, 7);
  controller.openLocalCategory(1);
  ASSERT_TRUE(settle());
  controller.turnToPage(2);
  ASSERT_TRUE(settle());
  controller.openLocalCategory(5);
  ASSERT_TRUE(settle());
  EXPECT_EQ(controller.state().page, 1);
  EXPECT_EQ(controller.state().pageLinks, 0);
  EXPECT_EQ(controller.state().shownSlots, 0);
  EXPECT_EQ(controller.state().errorTip, "No pictures");
}

TEST_F(BrowseControllerTest, TabsPickTheShapeAndAlwaysReloadCategoryOne) {
  fillCategory(Shape::Normal, 1, 2);
  fillCategory(Shape::Widescreen, 1, 3);
  controller.selectTab(Tab::Normal);
  ASSERT_TRUE(settle());
  EXPECT_EQ(controller.state().shownSlots, 2);
  controller.selectTab(Tab::Widescreen);
  ASSERT_TRUE(settle());
  EXPECT_EQ(controller.state().gridShape, Shape::Widescreen);
  EXPECT_EQ(controller.state().thumbnailBox(), QSize(160, 100));
  EXPECT_EQ(controller.state().shownSlots, 3);
  EXPECT_TRUE(controller.state().slotPaths[0].thumbnail.contains("/widescreen/local/1/"));
  controller.turnToPage(3);  // past the end: the view falls back to page 1
  ASSERT_TRUE(settle());
  EXPECT_EQ(controller.state().page, 1);
  controller.selectTab(Tab::Widescreen);
  EXPECT_TRUE(controller.loading());  // the current view all the same
  ASSERT_TRUE(settle());
}

TEST_F(BrowseControllerTest, OnTheSettingsTabTheShapeReadsAsNormal) {
  controller.selectTab(Tab::Widescreen);
  ASSERT_TRUE(settle());
  controller.selectTab(Tab::Setting);
  EXPECT_EQ(controller.state().shape(), Shape::Normal);
  // The grid keeps its layout underneath, ready for the way back.
  EXPECT_EQ(controller.state().gridShape, Shape::Widescreen);
}

TEST_F(BrowseControllerTest, ABusyNetworkViewHoldsEveryClickOff) {
  fillCategory(Shape::Normal, 1, 7);
  controller.openLocalCategory(1);
  ASSERT_TRUE(settle());
  controller.openNetworkCategory(2);
  ASSERT_TRUE(controller.state().busy);
  controller.openLocalCategory(1);
  controller.openNetworkCategory(3);
  controller.openDownloaded();
  controller.turnToPage(2);
  controller.selectTab(Tab::Widescreen);
  controller.selectTab(Tab::Setting);
  EXPECT_EQ(networkLoads, 1);
  EXPECT_EQ(controller.state().view, (BrowseView{ViewKind::NetworkCategory, 2}));
  EXPECT_EQ(controller.state().page, 1);
  EXPECT_EQ(controller.state().tab, Tab::Normal);
}

// On a screen with two device pixels a pixel the slots are decoded at twice
// their size; a thumbnail too small for that gives way to the large picture
// where it is stored and decodes, and stays where it is big enough.
TEST_F(BrowseControllerTest, DenseScreensGetSharpThumbnailsFromTheLargePicture) {
  const QString base = QStringLiteral("wallpaper/normal/local/1/");
  const QSize slot = kNormalThumbnailBox;
  const QSize dense = slot * 2;
  folder.writePicture(base + "s_a.jpg", slot, Qt::blue);  // too small: the large one shows
  folder.writePicture(base + "l_a.jpg", QSize(1200, 900), Qt::red);
  folder.writePicture(base + "s_b.jpg", dense, Qt::blue);  // big enough: stays
  folder.writePicture(base + "l_b.jpg", QSize(1200, 900), Qt::red);
  folder.writePicture(base + "s_c.jpg", slot, Qt::blue);  // the large one is broken: the thumbnail shows
  folder.writeFile(base + "l_c.jpg", "not a picture");
  folder.writePicture(base + "s_d.jpg", slot, Qt::blue);  // no large one at all
  controller.setDevicePixelRatio(2);
  controller.openLocalCategory(1);
  ASSERT_TRUE(settle());
  ASSERT_EQ(controller.state().shownSlots, 4);
  const auto& pictures = controller.state().pictures;
  for (int index = 0; index < 4; ++index) EXPECT_EQ(pictures[index].size(), dense) << index;
  EXPECT_TRUE(isMostlyRed(pictures[0]));
  EXPECT_FALSE(isMostlyRed(pictures[1]));
  EXPECT_FALSE(isMostlyRed(pictures[2]));
  EXPECT_FALSE(isMostlyRed(pictures[3]));
  EXPECT_EQ(controller.state().slotPaths[0].large, folder.file(base + "l_a.jpg"));

  // At one device pixel a pixel the same thumbnail is big enough.
  controller.setDevicePixelRatio(1);
  controller.openLocalCategory(2);
  ASSERT_TRUE(settle());
  controller.openLocalCategory(1);
  ASSERT_TRUE(settle());
  EXPECT_EQ(controller.state().pictures[0].size(), slot);
  EXPECT_FALSE(isMostlyRed(controller.state().pictures[0]));
}

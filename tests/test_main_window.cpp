// The main window's composition and frame: every control in its place and
// start state, the outline, closing under the busy flag, the tray menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFontMetricsF>
#include <QFrame>
#include <QImage>
#include <QMenu>
#include <QRegion>
#include <QSystemTrayIcon>

#include "app/Application.h"
#include "app/Main.h"
#include "catalogue/CatalogueCheck.h"
#include "library/GridLayout.h"
#include "platform/IniFile.h"
#include "skin/IdleRelease.h"
#include "skin/WindowRegion.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"
#include "support/WaitUntil.h"

namespace {
struct Placement {
  const char* name;
  QRect box;
};

// Left, top, width, height of every placed control, relative to its parent.
const Placement kLayout[] = {
    {"imgMain", {0, 0, 799, 599}},
    {"Label15", {56, 8, 211, 26}},
    {"btnMin", {736, 10, 24, 24}},
    {"btnClose", {766, 10, 24, 24}},
    {"btnWallpaper", {40, 53, 112, 30}},
    {"btnWidescreen", {151, 53, 112, 30}},
    {"btnTheme", {261, 53, 112, 30}},
    {"imgNormal", {488, 48, 41, 25}},
    {"imgWidescreen", {535, 40, 41, 25}},
    {"panWallpaper", {20, 88, 761, 477}},
    {"panSetting", {20, 88, 761, 477}},
    {"suiURLLabel1", {633, 578, 134, 13}},
    {"panWallpaperLeft", {3, 12, 182, 459}},
    {"Panel1", {194, 5, 558, 388}},
    {"suiImagePanel1", {198, 399, 554, 25}},
    {"btnSetWallpaper", {539, 430, 208, 31}},
    {"Label4", {201, 428, 195, 13}},
    {"Label14", {201, 443, 52, 13}},
    {"Label1", {40, 11, 89, 13}},
    {"Label2", {40, 203, 107, 13}},
    {"lblErrorTip", {18, 175, 527, 24}},
    {"panConnectNetwork", {4800, 170, 465, 33}},
    {"suiImagePanel2", {20, 12, 737, 89}},
    {"suiImagePanel3", {20, 103, 737, 362}},
    {"chkAutoRun", {42, 26, 184, 19}},
    {"optStartup", {42, 51, 220, 19}},
    {"optDay", {287, 51, 141, 19}},
    {"optDisable", {505, 51, 117, 19}},
    {"Label3", {16, 24, 297, 13}},
    {"lstWallpaper", {16, 48, 481, 296}},
    {"btnAdd", {503, 86, 107, 31}},
    {"btnRemove", {616, 86, 107, 31}},
    {"Shape9", {503, 184, 210, 153}},
    {"Label5", {505, 184, 38, 13}},
    {"imgPreview", {512, 206, 192, 120}},
};

class MainWindowTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
  std::unique_ptr<TfrmMain> window = makeMainWindow(folder);

  QWidget* control(const char* name) { return window->findChild<QWidget*>(QString::fromLatin1(name)); }
};
}  // namespace

TEST_F(MainWindowTest, EveryControlStandsInItsPlace) {
  EXPECT_EQ(window->size(), QSize(799, 599));
  for (const Placement& placement : kLayout) {
    QWidget* widget = control(placement.name);
    ASSERT_NE(widget, nullptr) << placement.name;
    const auto* label = qobject_cast<SkinLabel*>(widget);
    if (label == ui(window).suiURLLabel1) {
      // The address starts where the layout puts it, or ends where its box
      // ends when a long home host would run off the window.
      EXPECT_EQ(widget->y(), placement.box.y());
      EXPECT_EQ(widget->height(), placement.box.height());
      EXPECT_TRUE(widget->x() == placement.box.x() || widget->geometry().right() == placement.box.right())
          << widget->x() << " " << widget->width();
    } else if (label != nullptr && label->sizing() == LabelSizing::FitsCaption) {
      // Its width is its caption's; it starts where the layout puts it.
      EXPECT_EQ(widget->pos(), placement.box.topLeft()) << placement.name;
      EXPECT_EQ(widget->height(), placement.box.height()) << placement.name;
    } else {
      EXPECT_EQ(widget->geometry(), placement.box) << placement.name;
    }
  }
  EXPECT_EQ(ui(window).WebBrowser1->x(), 20000);
}

TEST_F(MainWindowTest, CategoryAndPageLinksStandWhereTheLayoutTableSays) {
  const QRect column = ui(window).panWallpaperLeft->rect();
  for (int k = 0; k < 5; ++k) {
    // A link is as wide as its caption, from where the layout table starts it.
    EXPECT_EQ(ui(window).lblL[k]->pos(), localLinkRect(k).topLeft()) << "local " << k + 1;
    EXPECT_EQ(ui(window).lblL[k]->height(), localLinkRect(k).height()) << "local " << k + 1;
    EXPECT_TRUE(column.contains(ui(window).lblL[k]->geometry())) << "local " << k + 1;
    // Each arrow stands left of its link, centred on the link's text.
    EXPECT_EQ(ui(window).imgArrow[k]->geometry(), QRect(40, localLinkRect(k).y() + 4, 9, 9))
        << "local " << k + 1;
    EXPECT_GT(localLinkRect(k).y(), ui(window).Label1->geometry().bottom()) << "local " << k + 1;
    EXPECT_LT(localLinkRect(k).bottom(), ui(window).Label2->y()) << "local " << k + 1;
    EXPECT_TRUE(column.contains(localLinkRect(k))) << "local " << k + 1;
  }
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(ui(window).lblN[k]->pos(), networkLinkRect(k).topLeft()) << "network " << k + 1;
    EXPECT_EQ(ui(window).lblN[k]->height(), networkLinkRect(k).height()) << "network " << k + 1;
    EXPECT_TRUE(column.contains(ui(window).lblN[k]->geometry())) << "network " << k + 1;
    EXPECT_EQ(ui(window).imgArrowN[k]->geometry(), QRect(40, networkLinkRect(k).y() + 4, 9, 9))
        << "network " << k + 1;
    EXPECT_GT(networkLinkRect(k).y(), ui(window).Label2->geometry().bottom()) << "network " << k + 1;
    EXPECT_TRUE(column.contains(networkLinkRect(k))) << "network " << k + 1;
  }
  for (int k = 0; k < 4; ++k) EXPECT_FALSE(localLinkRect(k).intersects(localLinkRect(k + 1)));
  for (int k = 0; k < 6; ++k) EXPECT_FALSE(networkLinkRect(k).intersects(networkLinkRect(k + 1)));
  // The highlight bar over the current link stays inside the column.
  EXPECT_GE(localLinkRect(0).y() - kHighlightAboveLink, 0);

  const QRect pageBar = ui(window).suiImagePanel1->rect();
  for (int k = 0; k < 20; ++k) {
    EXPECT_EQ(ui(window).lblWPage[k]->geometry(), pageLinkRect(k)) << "page " << k + 1;
    EXPECT_TRUE(pageBar.contains(pageLinkRect(k))) << "page " << k + 1;
  }
  for (int k = 0; k < 19; ++k) EXPECT_FALSE(pageLinkRect(k).intersects(pageLinkRect(k + 1)));
}

TEST_F(MainWindowTest, StartsOnTheWallpaperPageWithNothingSelected) {
  EXPECT_FALSE(ui(window).panSetting->isVisibleTo(window.get()));
  EXPECT_TRUE(ui(window).panWallpaper->isVisibleTo(window.get()));
  EXPECT_FALSE(ui(window).panConnectNetwork->isVisibleTo(window.get()));
  for (SkinShape* frame : ui(window).shpW) EXPECT_FALSE(frame->isVisibleTo(window.get()));
  EXPECT_FALSE(ui(window).btnRemove->isEnabled());
  // The tab marker stands over one of the two shape tabs.
  EXPECT_TRUE(ui(window).btnNormal->x() == ui(window).btnWallpaper->x() ||
              ui(window).btnNormal->x() == ui(window).btnWidescreen->x());
  EXPECT_EQ(ui(window).btnNormal->size(), QSize(112, 30));
  EXPECT_EQ(CatalogueCheck::ProgramVersion, "1.0");
  EXPECT_FALSE(window->Busy());
}

TEST(WindowOutline, RoundsEachCornerAndKeepsTheRest) {
  const QRegion outline = windowOutline(799, 599);
  for (QPoint corner : {QPoint(0, 0), QPoint(798, 0), QPoint(0, 598), QPoint(798, 598)})
    EXPECT_FALSE(outline.contains(corner)) << corner.x() << "," << corner.y();
  for (QPoint inside :
       {QPoint(10, 10), QPoint(788, 10), QPoint(10, 588), QPoint(788, 588), QPoint(400, 0), QPoint(0, 300),
        QPoint(798, 300), QPoint(400, 598), QPoint(700, 560), QPoint(20, 520)})
    EXPECT_TRUE(outline.contains(inside)) << inside.x() << "," << inside.y();
}

TEST_F(MainWindowTest, CloseIsRefusedWhileBusyAndNotRemembered) {
  int closes = 0;
  QObject::connect(window.get(), &TfrmMain::closed, [&closes] { ++closes; });
  window->show();
  window->browse().setBusy(true);
  window->Exit2Click();
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(window->isVisible());
  window->browse().setBusy(false);
  EXPECT_EQ(closes, 0);
  window->btnCloseClick();
  EXPECT_EQ(closes, 1);
}

TEST_F(MainWindowTest, TrayMenuHoldsItsItemsInOrder) {
  const QList<QAction*> items = ui(window).popMenu1->actions();
  ASSERT_EQ(items.size(), 5);
  EXPECT_EQ(items[0], ui(window).Open1);
  EXPECT_EQ(items[1], ui(window).Prevwallpaper1);
  EXPECT_EQ(items[2], ui(window).Nextwallpaper2);
  EXPECT_TRUE(items[3]->isSeparator());
  EXPECT_EQ(items[4], ui(window).Exit2);
}

TEST_F(MainWindowTest, TrayMenuOpensOnlyForTheRightButton) {
  window->CoolTrayIcon1MouseUp(Qt::LeftButton, QPoint(300, 300));
  EXPECT_FALSE(ui(window).popMenu1->isVisible());
  window->CoolTrayIcon1MouseUp(Qt::RightButton, QPoint(300, 300));
  EXPECT_TRUE(ui(window).popMenu1->isVisible());
  EXPECT_EQ(ui(window).popMenu1->pos(), QPoint(298, 298));
  ui(window).popMenu1->hide();
}

// --- captions that fit

namespace {
QString shippedLanguage(const std::string& language) {
  return QStringLiteral(NIMBRA_SOURCE_DIR "/resources/lang/%1/lang.ini")
      .arg(QString::fromStdString(language));
}

// Every language the program ships, as its folder names it.
std::vector<std::string> shippedLanguages() {
  std::vector<std::string> languages;
  for (const QString& name :
       QDir(QStringLiteral(NIMBRA_SOURCE_DIR "/resources/lang")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    languages.push_back(name.toStdString());
  return languages;
}

// Where a control stands in the window.
QRect boxInWindow(const QWidget* widget) {
  return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The labels that keep the box the layout gives them: the title, the grid's
// notices, the rotation list's heading, the catalogue site field's name, and
// the page links' boxes.
QStringList fixedSizeLabels() {
  QStringList names = {"Label15", "lblErrorTip", "Label3", "panConnectNetwork", "lblCatalogueSite"};
  for (int k = 1; k <= 20; ++k) names.append(QStringLiteral("lblWPage%1").arg(k));
  return names;
}

class LabelFitTest : public ::testing::TestWithParam<std::string> {
 protected:
  ProgramFolder folder;
};
}  // namespace

TEST_P(LabelFitTest, NoCaptionIsCutAndFixedLabelsKeepTheirBoxes) {
  const QByteArray texts = readBytes(shippedLanguage(GetParam()));
  ASSERT_FALSE(texts.isEmpty());
  folder.writeFile("lang.ini", texts);
  const auto window = makeMainWindow(folder);
  const QStringList fixed = fixedSizeLabels();
  int fitted = 0;
  for (SkinLabel* label : window->findChildren<SkinLabel*>()) {
    const QString name = label->objectName();
    if (fixed.contains(name)) {
      EXPECT_EQ(label->sizing(), LabelSizing::Fixed) << name.toStdString();
      continue;
    }
    ++fitted;
    EXPECT_EQ(label->sizing(), LabelSizing::FitsCaption) << name.toStdString();
    // The whole caption, in the font asked for, not a smaller one.
    EXPECT_EQ(label->font().pixelSize(), label->requestedFont().pixelSize()) << name.toStdString();
    const qreal captionWidth = QFontMetricsF(label->font()).horizontalAdvance(label->text());
    EXPECT_GE(label->width(), captionWidth) << name.toStdString() << ": " << label->text().toStdString();
    // Nor is it cut by the control it stands on, nor by the window.
    EXPECT_TRUE(label->parentWidget()->rect().contains(label->geometry())) << name.toStdString();
    EXPECT_TRUE(window->rect().contains(boxInWindow(label))) << name.toStdString();
  }
  EXPECT_EQ(fitted, 18);  // Label1, 2, 4, 5, 14, suiURLLabel1, five local and seven network links
  for (const Placement& placement : kLayout) {
    if (fixed.contains(QString::fromLatin1(placement.name))) {
      EXPECT_EQ(window->findChild<QWidget*>(placement.name)->geometry(), placement.box) << placement.name;
    }
  }
  for (int k = 0; k < 20; ++k)
    EXPECT_EQ(ui(window).lblWPage[k]->geometry(), pageLinkRect(k)) << "page " << k + 1;
  // The invitation still ends before the button beside it.
  EXPECT_LT(ui(window).Label4->geometry().right(), ui(window).btnSetWallpaper->x());
}

TEST_P(LabelFitTest, ButtonCaptionsFitTheirButtons) {
  folder.writeFile("lang.ini", readBytes(shippedLanguage(GetParam())));
  const auto window = makeMainWindow(folder);
  int buttons = 0;
  for (PictureButton* button : window->findChildren<PictureButton*>()) {
    const QString caption = captionDisplayText(button->caption());
    if (caption.isEmpty()) continue;
    ++buttons;
    const qreal captionWidth = QFontMetricsF(button->font()).horizontalAdvance(caption);
    EXPECT_LE(captionWidth, button->width() - 4)
        << button->objectName().toStdString() << ": " << caption.toStdString();
  }
  EXPECT_GE(buttons, 6);  // the three tabs, Add, Remove, Set as Desktop Wallpaper
}

INSTANTIATE_TEST_SUITE_P(ShippedLanguages, LabelFitTest, ::testing::ValuesIn(shippedLanguages()),
                         [](const ::testing::TestParamInfo<std::string>& language) {
                           return language.param;
                         });

TEST(SkinLabelFit, ACaptionLabelFollowsItsCaptionAndFontFromItsLeftEdge) {
  SkinLabel label;
  label.setGeometry(10, 20, 30, 13);
  label.setFont(pixelFont(11, true));
  label.setSizing(LabelSizing::FitsCaption);
  label.setCaption("A caption far longer than thirty pixels");
  const auto widthOf = [&label] { return QFontMetricsF(label.font()).horizontalAdvance(label.text()); };
  EXPECT_GE(label.width(), widthOf());
  EXPECT_LT(label.width(), widthOf() + 1);
  EXPECT_EQ(label.pos(), QPoint(10, 20));
  EXPECT_EQ(label.height(), 13);
  const int boldWidth = label.width();
  label.setBold(false);
  EXPECT_LT(label.width(), boldWidth);
  EXPECT_GE(label.width(), widthOf());
  label.setCaption("A");
  EXPECT_GE(label.width(), widthOf());
  EXPECT_LT(label.width(), boldWidth / 4);
  // A fixed label keeps its box and shrinks its font instead.
  SkinLabel fixed;
  fixed.setGeometry(10, 20, 30, 13);
  fixed.setFont(pixelFont(11, true));
  fixed.setCaption("A caption far longer than thirty pixels");
  EXPECT_EQ(fixed.geometry(), QRect(10, 20, 30, 13));
  EXPECT_LT(fixed.font().pixelSize(), 11);
}

// A hidden fixed label is fitted when it shows, to what it holds by then.
TEST(SkinLabelFit, AHiddenFixedLabelIsFittedWhenItShows) {
  QWidget window;
  window.resize(200, 100);
  auto* tip = new SkinLabel(&window);
  tip->setGeometry(10, 20, 30, 13);
  tip->setFont(pixelFont(11, true));
  tip->hide();
  window.show();
  tip->setCaption("A caption far longer than thirty pixels");
  tip->show();
  const int shrunk = tip->font().pixelSize();
  EXPECT_LT(shrunk, 11);
  EXPECT_EQ(tip->geometry(), QRect(10, 20, 30, 13));
  tip->hide();
  tip->setCaption("A");
  tip->show();
  EXPECT_EQ(tip->font().pixelSize(), 11);
  EXPECT_GT(tip->font().pixelSize(), shrunk);
}

// --- the address link

namespace {
QColor textColourOf(const QWidget& widget) { return widget.palette().color(QPalette::WindowText); }

// Whether a picture of the widget has a pixel near the colour (antialiased text).
bool showsColour(QWidget& widget, const QColor& colour) {
  const QImage picture = widget.grab().toImage();
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QColor pixel = picture.pixelColor(x, y);
      if (qAbs(pixel.red() - colour.red()) + qAbs(pixel.green() - colour.green()) +
              qAbs(pixel.blue() - colour.blue()) <=
          24)
        return true;
    }
  }
  return false;
}

void hover(QWidget& widget) {
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), widget.mapToGlobal(QPointF(2, 2)));
  QCoreApplication::sendEvent(&widget, &enter);
}

void leave(QWidget& widget) {
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&widget, &leave);
}
}  // namespace

TEST_F(MainWindowTest, AddressLinkIsUnderlinedAndChangesColourUnderTheMouse) {
  SkinLabel& link = *ui(window).suiURLLabel1;
  EXPECT_TRUE(link.font().underline());
  const QColor normal = textColourOf(link);
  EXPECT_EQ(normal, link.fontColor());
  hover(link);
  const QColor hovered = textColourOf(link);
  EXPECT_NE(hovered, normal);
  EXPECT_TRUE(showsColour(link, hovered));
  EXPECT_TRUE(link.font().underline());
  leave(link);
  EXPECT_EQ(textColourOf(link), normal);
  EXPECT_TRUE(showsColour(link, normal));
  EXPECT_FALSE(showsColour(link, hovered));
}

TEST_F(MainWindowTest, CategoryLinksKeepTheirColourUnderTheMouse) {
  SkinLabel& link = *ui(window).lblL[2];
  const QColor normal = textColourOf(link);
  hover(link);
  EXPECT_EQ(textColourOf(link), normal);
  EXPECT_TRUE(link.font().underline());
  leave(link);
  EXPECT_FALSE(link.font().underline());
}

// --- minimising

TEST_F(MainWindowTest, WithoutATrayMinimisingLeavesAnOrdinaryMinimisedWindow) {
  if (QSystemTrayIcon::isSystemTrayAvailable()) GTEST_SKIP() << "this platform has a tray";
  window->show();
  window->setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(window->isMinimized());
  EXPECT_TRUE(window->isVisible());
  window->btnMinClick();
  EXPECT_TRUE(window->isVisible());
  window->CoolTrayIcon1DblClick();
  EXPECT_FALSE(window->isMinimized());
  EXPECT_TRUE(window->isVisible());
}

TEST(MainWindowStart, AnyFirstArgumentStartsInTheTray) {
  ProgramFolder folder;
  EXPECT_FALSE(makeMainWindow(folder)->startMinimized());
  EXPECT_FALSE(makeMainWindow(folder, {""})->startMinimized());
  EXPECT_TRUE(makeMainWindow(folder, {"-1"})->startMinimized());
  EXPECT_TRUE(makeMainWindow(folder, {"anything"})->startMinimized());
}

TEST(MainWindowStart, LeftoverNetworkIniFilesAreRemoved) {
  ProgramFolder folder;
  for (int n = 1; n <= 5; ++n) folder.writeFile(QString("wallpaper/network/%1.ini").arg(n), "[x]\r\n");
  folder.writeFile("wallpaper/network/6.ini", "[x]\r\n");
  auto window = makeMainWindow(folder);
  for (int n = 1; n <= 5; ++n)
    EXPECT_FALSE(QFile::exists(folder.file(QString("wallpaper/network/%1.ini").arg(n))));
  EXPECT_TRUE(QFile::exists(folder.file("wallpaper/network/6.ini")));
}

TEST(ErrorReport, AFileThatCannotBeWrittenIsReportedWithTheSystemsReason) {
  ProgramFolder folder;
  DialogsRecorder dialogs;
  const std::unique_ptr<TfrmMain> window = makeMainWindowWith(dialogs.context(folder));
  // A file inside something that is not a folder cannot be written, for root too.
  const QString path = QStringLiteral("/dev/null/setting.ini");
  runReportingErrors([&] { IniFile(path).WriteIniText(QStringLiteral("Set"), QStringLiteral("key"), "1"); });
  ASSERT_EQ(dialogs->messages.size(), 1u);
  const QString text = dialogs->messages.front().text;
  EXPECT_TRUE(text.startsWith("Unable to write to " + path + ": ")) << text.toStdString();
  EXPECT_GT(text.size(), QString("Unable to write to " + path + ": ").size());
}

TEST(IdleRelease, AWindowThatStoppedDrawingLetsItsBitmapsGoAndDrawsTheSameAfter) {
  ProgramFolder folder;
  const std::unique_ptr<TfrmMain> window = makeMainWindow(folder);
  auto* release = window->findChild<IdleRelease*>();
  ASSERT_NE(release, nullptr);
  bool released = false;
  QObject::connect(release, &IdleRelease::released, [&released] { released = true; });
  window->show();
  const QImage before = window->grab().toImage();
  ASSERT_TRUE(waitUntil([&] { return released; }, std::chrono::seconds(10)));
  EXPECT_EQ(window->grab().toImage(), before);
}

// A focusable label builds a whole text document for its caption when Qt
// thinks it needs one. Showing the window must not make one for each link.
TEST_F(MainWindowTest, ShowingTheWindowBuildsNoTextDocumentForItsLinks) {
  const auto documentsOf = [](const SkinLabel* link) {
    qsizetype count = 0;
    for (const QObject* child : link->children())
      if (qstrcmp(child->metaObject()->className(), "QWidgetTextControl") == 0) ++count;
    return count;
  };
  window->show();
  const QImage shown = window->grab().toImage();
  ASSERT_FALSE(shown.isNull());
  for (const SkinLabel* link : ui(window).lblL)
    EXPECT_EQ(documentsOf(link), 0) << qPrintable(link->objectName());
  for (const SkinLabel* link : ui(window).lblWPage)
    EXPECT_EQ(documentsOf(link), 0) << qPrintable(link->objectName());
  EXPECT_EQ(documentsOf(ui(window).suiURLLabel1), 0);
}

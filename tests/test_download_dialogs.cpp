// The download overlay and progress dialog against the tests' own HTTP
// server, and "Set as Desktop Wallpaper" on a network picture: what is
// fetched, what is kept, what is refused, and what the user is told.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/Down.h"
#include "app/Down2.h"
#include "app/Main.h"
#include "catalogue/CatalogueRules.h"
#include "library/StoreRules.h"
#include "library/StoredPicture.h"
#include "platform/DesktopControl.h"
#include "platform/LanguageTexts.h"
#include "platform/WallpaperSetter.h"
#include "skin/SkinControls.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"
#include "support/TestHttpServer.h"

namespace {

constexpr auto kHost = "pictures.test";

QByteArray randomBytes(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator generator(static_cast<quint32>(size));
  for (char& byte : bytes) byte = static_cast<char>(generator.bounded(256));
  return bytes;
}

// A real JPEG, padded after its end marker to exactly `size` bytes.
QByteArray jpegOfSize(qsizetype size, const QColor& color) {
  QImage picture(64, 48, QImage::Format_RGB32);
  picture.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "JPG", 90);
  EXPECT_LT(bytes.size(), size);
  bytes.append(size - bytes.size(), '\0');
  return bytes;
}

ServeOptions silentHead() {
  ServeOptions options;
  options.Head = HeadAnswer::Silent;
  return options;
}

ServeOptions htmlPage() {
  ServeOptions options;
  options.ContentType = "text/html";
  return options;
}

ServeOptions drippingBody(std::chrono::milliseconds interval) {
  ServeOptions options;
  options.Get = GetAnswer::DripBody;
  options.DripInterval = interval;
  return options;
}

QByteArray contents(const QString& file) {
  QFile in(file);
  return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// Looks at the dialogs every 10 ms from inside their modal loops.
class Observer {
 public:
  explicit Observer(std::function<void()> look) {
    QObject::connect(&m_timer, &QTimer::timeout, std::move(look));
    m_timer.start(10);
  }

 private:
  QTimer m_timer;
};

}  // namespace

// --- Rules ---------------------------------------------------------------------

TEST(DownloadDialogRules, BarWidthIsFormedIn64BitsAndStaysWithinTheTrack) {
  EXPECT_EQ(progressBarWidth(250000, 500000), 159);
  EXPECT_EQ(progressBarWidth(8000000, 10000000), 255);  // 8000000 * 319 exceeds 32 bits
  EXPECT_EQ(progressBarWidth(10000000, 10000000), 319);
  EXPECT_EQ(progressBarWidth(5000, 0), 0);           // no length yet
  EXPECT_EQ(progressBarWidth(500010, 500000), 319);  // more than announced never overflows the track
}

TEST(DownloadDialogRules, BarOnlyGrows) {
  EXPECT_EQ(grownBarWidth(1, 0, 0), 1);
  EXPECT_EQ(grownBarWidth(1, 250000, 500000), 159);
  EXPECT_EQ(grownBarWidth(200, 250000, 500000), 200);
}

TEST(DownloadDialogRules, FailedOrCancelledTargetGoes) {
  EXPECT_FALSE(downloadTargetMustGo(kDownloadSucceeded, 0));
  EXPECT_TRUE(downloadTargetMustGo(kDownloadSucceeded, 1));
  EXPECT_TRUE(downloadTargetMustGo(kDownloadFailed, 0));
}

TEST(DownloadDialogRules, DialogLandsCentredOnTheOverlay) {
  EXPECT_EQ(centredOn(QRect(0, 0, 799, 599), QSize(433, 148)), QPoint(183, 225));
  EXPECT_EQ(centredOn(QRect(-10, 40, 799, 599), QSize(433, 148)), QPoint(173, 265));
}

// What "Set as Desktop Wallpaper" decides before anything is fetched: an
// address counts as a network picture in any case of its scheme, and one
// whose name would leave the store, or that names no category, has no stored
// file and is refused.
TEST(DownloadDialogRules, NetworkAddressesAndTheirStoredFiles) {
  const QString base = QStringLiteral("http://%1/wallpaper/").arg(kHost);
  const QString upper = QStringLiteral("HTTP://%1/wallpaper/3/l_wide.jpg").arg(kHost);
  EXPECT_TRUE(isNetworkPicture(upper));
  EXPECT_TRUE(storedNetworkPath(QStringLiteral("/data/"), Shape::Widescreen, upper, NetworkFile::LargePicture)
                  .endsWith("wallpaper/widescreen/network/3/l_wide.jpg"));
  const QStringList refused = {
      base + "3/l_x/../../../escaped.jpg",             // climbs out of the store
      base + "3/l_a" + QChar(0) + ".jpg",              // NUL
      base + "3/l_a\n.jpg",                            // control character
      base + "7/l_a.jpg",                              // no such category
      QStringLiteral("http://%1/l_a.jpg").arg(kHost),  // no category digit at all
  };
  for (const QString& address : refused) {
    EXPECT_TRUE(isNetworkPicture(address)) << address.toStdString();
    EXPECT_EQ(storedNetworkPath(QStringLiteral("/data/"), Shape::Normal, address, NetworkFile::LargePicture),
              "")
        << address.toStdString();
  }
}

// --- The dialogs on their own -----------------------------------------------------

class DownloadDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    server.mapHost(kHost);
    down.setProgressDialog(&down2);
  }

  QString target(const QString& name = "l_1.jpg") const { return folder.filePath(name); }

  // Shows the overlay modally as "Set as Desktop Wallpaper" does.
  void run(const QString& path, const QString& file) {
    down2.Url = server.Url(path);
    down2.SaveFile = file;
    down.exec();
  }

  bool dialogOpen() const { return down2.isVisible(); }
  QStringList filesLeft() const { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden); }

  QTemporaryDir folder;
  TestHttpServer server;
  // Declared last, the forms go first: a download still running stops before
  // the server goes.
  LanguageTexts texts;
  TfrmDown down{texts};
  TfrmDown2 down2{texts, server.endpoints()};
};

TEST_F(DownloadDialogTest, OverlayDimsTheWindowAndCarriesTheCentredDialog) {
  const QByteArray body = randomBytes(300000);
  server.serve("/pictures/3/l_1.jpg", body);
  down.move(100, 50);
  QPoint offset;
  bool overlayShown = false;
  int firstBarWidth = -1;
  Observer observer([&] {
    if (!dialogOpen() || firstBarWidth >= 0) return;
    offset = down2.pos() - down.pos();
    overlayShown = down.isVisible();
    firstBarWidth = down2.imgProcess->width();
  });
  run("/pictures/3/l_1.jpg", target());

  EXPECT_EQ(contents(target()), body);
  EXPECT_EQ(down2.counters().Status, kDownloadSucceeded);
  EXPECT_EQ(down2.counters().Received, 300000);
  EXPECT_TRUE(overlayShown);
  EXPECT_EQ(offset, QPoint(183, 225));
  EXPECT_EQ(firstBarWidth, 1);
  EXPECT_FALSE(down.isVisible());
  EXPECT_FALSE(down2.isVisible());
  EXPECT_NEAR(down.windowOpacity(), 130 / 255.0, 0.01);
  EXPECT_FALSE(down.mask().contains(QPoint(0, 0)));  // rounded like the main window
  EXPECT_TRUE(down.mask().contains(QPoint(400, 300)));
}

TEST_F(DownloadDialogTest, BarGrowsWhileTheBodyArrivesAndEndsFull) {
  // One byte every 25 ms: the download runs long enough for the bar's timer
  // to show it part of the way.
  const QByteArray body = randomBytes(60);
  server.serve("/drip/l_1.jpg", body, drippingBody(std::chrono::milliseconds(25)));
  QList<int> widths;
  Observer observer([&] {
    if (dialogOpen() && (widths.isEmpty() || widths.last() != down2.imgProcess->width()))
      widths << down2.imgProcess->width();
  });
  run("/drip/l_1.jpg", target());

  EXPECT_EQ(contents(target()), body);
  EXPECT_EQ(down2.counters().Status, kDownloadSucceeded);
  EXPECT_EQ(down2.imgProcess->width(), kProgressBarFullWidth);
  ASSERT_FALSE(widths.isEmpty());
  EXPECT_EQ(widths.first(), 1);
  EXPECT_TRUE(std::is_sorted(widths.begin(), widths.end()));
  const bool partWay = std::any_of(widths.begin(), widths.end(),
                                   [](int width) { return width > 1 && width < kProgressBarFullWidth; });
  EXPECT_TRUE(partWay);
}

TEST_F(DownloadDialogTest, CancelDuringTheHeadExchangeLeavesNoFileAndASecondPressDoesNothing) {
  server.serve("/silent/l_1.jpg", randomBytes(100000), silentHead());
  bool pressed = false;
  int32_t cancelAfterSecondPress = -1;
  bool enabledAfterSecondPress = true;
  bool openAfterSecondPress = false;
  Observer observer([&] {
    if (pressed || !dialogOpen() || server.requestCount("HEAD") == 0) return;
    pressed = true;
    down2.btnStop->click();
    down2.btnStop->click();
    cancelAfterSecondPress = down2.counters().Cancel;
    enabledAfterSecondPress = down2.btnStop->isEnabled();
    openAfterSecondPress = dialogOpen();  // it waits for the engine to report the end
  });
  run("/silent/l_1.jpg", target());

  EXPECT_TRUE(pressed);
  EXPECT_EQ(cancelAfterSecondPress, 1);
  EXPECT_FALSE(enabledAfterSecondPress);
  EXPECT_TRUE(openAfterSecondPress);
  EXPECT_EQ(down2.counters().Status, kDownloadFailed);
  EXPECT_TRUE(filesLeft().isEmpty()) << filesLeft().join(", ").toStdString();
  EXPECT_EQ(server.requestCount("GET"), 0);
}

TEST_F(DownloadDialogTest, EscapeAsksForCancelAndTheDialogClosesOnlyAtTheEnd) {
  server.serve("/silent/l_1.jpg", randomBytes(100000), silentHead());
  bool pressed = false;
  bool openAfterEscape = false;
  Observer observer([&] {
    if (pressed || !dialogOpen() || server.requestCount("HEAD") == 0) return;
    pressed = true;
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&down2, &escape);
    openAfterEscape = dialogOpen();
  });
  run("/silent/l_1.jpg", target());

  EXPECT_TRUE(pressed);
  EXPECT_TRUE(openAfterEscape);
  EXPECT_EQ(down2.counters().Cancel, 1);
  EXPECT_FALSE(down2.btnStop->isEnabled());
  EXPECT_EQ(down2.counters().Status, kDownloadFailed);
  EXPECT_TRUE(filesLeft().isEmpty()) << filesLeft().join(", ").toStdString();
}

TEST_F(DownloadDialogTest, CancelBeforeTheDownloadBeginsFetchesNothing) {
  server.serve("/pictures/l_1.jpg", randomBytes(100000));
  Observer observer([&] {
    if (dialogOpen() && down2.btnStop->isEnabled()) down2.btnStop->click();
  });
  run("/pictures/l_1.jpg", target());

  EXPECT_TRUE(server.requests().empty());
  EXPECT_FALSE(QFileInfo::exists(target()));
  EXPECT_FALSE(down2.isVisible());
}

TEST_F(DownloadDialogTest, SecondDownloadStartsWithAOnePixelBarAndFreshCounters) {
  server.serve("/pictures/l_1.jpg", randomBytes(200000));
  run("/pictures/l_1.jpg", target());
  ASSERT_EQ(down2.counters().Received, 200000);
  // As a long download leaves it: a wide bar and a pressed Cancel.
  down2.imgProcess->resize(300, 17);
  down2.btnStop->setEnabled(false);

  server.serve("/silent/l_2.jpg", randomBytes(100000), silentHead());
  server.clearLog();
  int firstBarWidth = -1;
  bool firstEnabled = false;
  bool headSeen = false;
  int32_t total = -1, received = -1, cancel = -1, status = -1;
  Observer observer([&] {
    if (!dialogOpen()) return;
    if (firstBarWidth < 0) {
      firstBarWidth = down2.imgProcess->width();
      firstEnabled = down2.btnStop->isEnabled();
    }
    if (headSeen || server.requestCount("HEAD") == 0) return;
    headSeen = true;
    const DownloadVars& counters = down2.counters();
    total = counters.TotalSize, received = counters.Received, cancel = counters.Cancel,
    status = counters.Status;
    down2.btnStop->click();
  });
  run("/silent/l_2.jpg", target("l_2.jpg"));

  EXPECT_EQ(firstBarWidth, 1);
  EXPECT_TRUE(firstEnabled);
  ASSERT_TRUE(headSeen);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(received, 0);
  EXPECT_EQ(cancel, 0);
  EXPECT_EQ(status, kDownloadRunning);
  EXPECT_FALSE(QFileInfo::exists(target("l_2.jpg")));
  EXPECT_TRUE(QFileInfo::exists(target()));  // the first download's file is not touched
}

TEST_F(DownloadDialogTest, FailedDownloadLeavesNoFile) {
  run("/missing/l_1.jpg", target());
  EXPECT_EQ(down2.counters().Status, kDownloadFailed);
  EXPECT_TRUE(filesLeft().isEmpty());
}

// --- "Set as Desktop Wallpaper" on a network picture ------------------------------

namespace {

class RecordingSetter : public WallpaperSetter {
 public:
  explicit RecordingSetter(QStringList* applied) : m_applied(applied) {}
  SetResult setWallpaper(const QString& path, const CancelToken&) override {
    m_applied->push_back(path);
    return SetResult::applied();
  }
  QString name() const override { return QStringLiteral("recording"); }

 private:
  QStringList* m_applied;
};

}  // namespace

class NetworkApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.copyEnglishLanguage();
    server.mapHost(kHost);
    AppContext context = dialogs.addTo(folder.context(std::make_shared<RecordingSetter>(&applied)));
    context.endpoints = server.endpoints();
    window = makeMainWindowWith(context);
    QObject::connect(window.get(), &TfrmMain::applyFinished, [this] { ++appliesFinished; });
  }
  void TearDown() override { window.reset(); }

  // Shows a network category whose catalogue holds the thumbnail addresses
  // (today's check done, so only the thumbnails are fetched), and clears the
  // server's log of them.
  void showCategory(int category, const QStringList& thumbnails) {
    const bool wide = window->currentShapeIsWide();
    QByteArray ini = "[checkupdate]\r\ndate=" + checkDateText(QDate::currentDate()).toLatin1() + "\r\n[" +
                     (wide ? kWidescreenSection : kNormalSection) + "]\r\n";
    for (int k = 0; k < thumbnails.size(); ++k) {
      ini += QByteArray::number(k + 1) + "=" + thumbnails[k].toUtf8() + "\r\n";
      server.serve(thumbnails[k].mid(QStringLiteral("http://%1").arg(kHost).size()),
                   jpegOfSize(2000, Qt::gray));
    }
    folder.writeFile("setting.ini", ini);
    window->lblN1Click(ui(window).lblN[size_t(category - 1)]);
    ASSERT_TRUE(waitForPage(*window));
    ASSERT_EQ(window->browse().state().shownSlots, thumbnails.size());
    server.clearLog();
  }
  // Shows the picture's category with the picture in slot 2.
  void showInSlotTwo(int category, const QString& large) {
    const QString thumbnail = QString(large).replace("/l_", "/s_");
    showCategory(category,
                 {server.Url(QStringLiteral("/wallpaper/%1/s_other.jpg").arg(category)), thumbnail});
    ASSERT_EQ(window->Slots()[1].large, large);
  }

  // Selects the slot and presses the button; an apply that goes ahead ends
  // later, with applyFinished.
  void apply(int slot) {
    window->imgW1Click(slot);
    ASSERT_TRUE(ui(window).shpW[size_t(slot - 1)]->isVisibleTo(window.get()));
    window->btnSetWallpaperClick();
  }
  bool waitForApply() {
    return waitUntil([this] { return appliesFinished > 0; }) && window->isVisible();
  }
  // An apply that fails ends with a box once the download dialog has closed.
  bool waitForMessage() {
    return waitUntil([this] { return !dialogs->messages.empty(); });
  }

  QStringList messageTexts() const {
    QStringList texts;
    for (const auto& message : dialogs->messages) texts << message.caption + ": " + message.text;
    return texts;
  }
  QString failureMessage() const {
    return window->texts().szAttention + ": " + window->texts().szDownloadpicfail;
  }
  bool dialogOpen() const { return window->frmDown2()->isVisible(); }

  ProgramFolder folder;
  DialogsRecorder dialogs;
  TestHttpServer server;
  QStringList applied;
  int appliesFinished = 0;
  std::unique_ptr<TfrmMain> window;
};

TEST_F(NetworkApplyTest, BrokenStoredCopyIsFetchedAgainBehindTheOverlay) {
  const QString stored = "wallpaper/normal/network/3/l_sea.jpg";
  const QByteArray served = jpegOfSize(30000, Qt::blue);
  server.serve("/wallpaper/3/l_sea.jpg", served);
  ASSERT_NO_FATAL_FAILURE(showInSlotTwo(3, server.Url("/wallpaper/3/l_sea.jpg")));
  // Too small to be whole, and big enough but no picture (an old error page).
  const QList<QByteArray> brokenCopies = {jpegOfSize(19999, Qt::red), randomBytes(25000)};
  for (const QByteArray& broken : brokenCopies) {
    SCOPED_TRACE(broken.size());
    folder.writeFile(stored, broken);
    server.clearLog();
    applied.clear();
    appliesFinished = 0;
    bool busyWhileOpen = false;
    Observer observer([&] { busyWhileOpen = busyWhileOpen || (dialogOpen() && window->Busy()); });
    ASSERT_NO_FATAL_FAILURE(apply(2));
    ASSERT_TRUE(waitForApply());

    EXPECT_GT(server.requestCount("GET"), 0);
    EXPECT_EQ(folder.readFile(stored), served);
    EXPECT_EQ(applied, QStringList{folder.file(stored)});
    EXPECT_TRUE(dialogs->messages.empty()) << messageTexts().join("; ").toStdString();
    EXPECT_TRUE(busyWhileOpen);
    EXPECT_FALSE(window->Busy());
  }
}

TEST_F(NetworkApplyTest, StoredCopyOf20000BytesIsAppliedWithoutADownload) {
  const QString stored = "wallpaper/normal/network/2/l_hill.jpg";
  const QByteArray bytes = jpegOfSize(20000, Qt::green);
  folder.writeFile(stored, bytes);
  ASSERT_NO_FATAL_FAILURE(showInSlotTwo(2, server.Url("/wallpaper/2/l_hill.jpg")));
  ASSERT_NO_FATAL_FAILURE(apply(2));
  ASSERT_TRUE(waitForApply());

  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(folder.readFile(stored), bytes);
  EXPECT_EQ(applied, QStringList{folder.file(stored)});
}

TEST_F(NetworkApplyTest, WidescreenPictureOfCategory3LandsInItsNetworkFolder) {
  window->btnWidescreenClick();
  ASSERT_TRUE(waitForPage(*window));
  server.serve("/wallpaper/3/l_wide.jpg", jpegOfSize(25000, Qt::yellow));
  ASSERT_NO_FATAL_FAILURE(showInSlotTwo(3, server.Url("/wallpaper/3/l_wide.jpg")));
  ASSERT_NO_FATAL_FAILURE(apply(2));
  ASSERT_TRUE(waitForApply());

  const QString stored = folder.file("wallpaper/widescreen/network/3/l_wide.jpg");
  EXPECT_TRUE(QFileInfo::exists(stored));
  EXPECT_EQ(applied, QStringList{stored});
}

// The catalogue lets through only entries whose thumbnail names a safe file,
// but the large picture's address is made from the whole entry and is judged
// again: here one climbs out of its folder and one names no category.
TEST_F(NetworkApplyTest, AddressesNamingNoSafeStoredFileAreRefused) {
  const QString base = QStringLiteral("http://%1/wallpaper/").arg(kHost);
  ASSERT_NO_FATAL_FAILURE(showCategory(3, {base + "3/l_x/../3/s_a.jpg", base + "7/l_a/3/s_b.jpg"}));
  for (int slot : {1, 2}) {
    SCOPED_TRACE(window->Slots()[size_t(slot - 1)].large.toStdString());
    dialogs->messages.clear();
    ASSERT_NO_FATAL_FAILURE(apply(slot));
    EXPECT_EQ(messageTexts(), QStringList{failureMessage()});
  }
  EXPECT_TRUE(server.requests().empty());
  EXPECT_TRUE(applied.isEmpty());
  EXPECT_EQ(appliesFinished, 0);
  // Only the thumbnails were stored.
  QDirIterator files(folder.path() + "wallpaper", QDir::Files, QDirIterator::Subdirectories);
  while (files.hasNext()) {
    const QString file = files.next();
    EXPECT_TRUE(QFileInfo(file).fileName().startsWith("s_")) << file.toStdString();
  }
}

TEST_F(NetworkApplyTest, DownloadThatIsNotAPictureOrFailsIsReportedAndLeavesNoFile) {
  server.serve("/wallpaper/1/l_page.jpg",
               QByteArray("<html><body>Moved elsewhere</body></html>").repeated(600), htmlPage());
  ASSERT_NO_FATAL_FAILURE(
      showCategory(1, {server.Url("/wallpaper/1/s_page.jpg"), server.Url("/wallpaper/1/s_missing.jpg")}));
  const QStringList names = {"l_page.jpg", "l_missing.jpg"};
  for (int slot : {1, 2}) {
    const QString name = names[slot - 1];
    SCOPED_TRACE(name.toStdString());
    dialogs->messages.clear();
    ASSERT_NO_FATAL_FAILURE(apply(slot));
    ASSERT_TRUE(waitForMessage());
    EXPECT_EQ(messageTexts(), QStringList{failureMessage()});
    EXPECT_FALSE(QFileInfo::exists(folder.file("wallpaper/normal/network/1/" + name)));
    EXPECT_FALSE(window->Busy());
  }
  EXPECT_TRUE(applied.isEmpty());
  EXPECT_EQ(appliesFinished, 0);
}

TEST_F(NetworkApplyTest, CancelledDownloadIsReportedAndLeavesNoFile) {
  server.serve("/wallpaper/4/l_game.jpg", jpegOfSize(40000, Qt::cyan), silentHead());
  ASSERT_NO_FATAL_FAILURE(showInSlotTwo(4, server.Url("/wallpaper/4/l_game.jpg")));
  Observer observer([&] {
    if (dialogOpen() && window->frmDown2()->btnStop->isEnabled() && server.requestCount("HEAD") > 0)
      window->frmDown2()->btnStop->click();
  });
  ASSERT_NO_FATAL_FAILURE(apply(2));
  ASSERT_TRUE(waitForMessage());

  EXPECT_EQ(messageTexts(), QStringList{failureMessage()});
  EXPECT_FALSE(QFileInfo::exists(folder.file("wallpaper/normal/network/4/l_game.jpg")));
  EXPECT_TRUE(applied.isEmpty());
  EXPECT_EQ(appliesFinished, 0);
}

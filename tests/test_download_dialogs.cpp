// The download overlay and progress dialog against the tests' own HTTP
// server, and "Set as Desktop Wallpaper" on a network picture: what is
// fetched, what is kept, what is refused, and what the user is told.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/Main.h"
#include "app/UnitGlobal.h"
#include "download/Down.h"
#include "download/Down2.h"
#include "platform/DesktopControl.h"
#include "platform/WallpaperSetter.h"
#include "skin/SkinControls.h"
#include "support/ProgramFolder.h"
#include "support/TestHttpServer.h"

namespace {

constexpr auto kHost = "pictures.test";

QByteArray RandomBytes(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator generator(static_cast<quint32>(size));
  for (char& byte : bytes) byte = static_cast<char>(generator.bounded(256));
  return bytes;
}

// A real JPEG, padded after its end marker to exactly `size` bytes.
QByteArray JpegOfSize(qsizetype size, const QColor& color) {
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

TServeOptions SilentHead() {
  TServeOptions options;
  options.Head = THeadAnswer::Silent;
  return options;
}

TServeOptions HtmlPage() {
  TServeOptions options;
  options.ContentType = "text/html";
  return options;
}

QByteArray Contents(const QString& file) {
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

bool DialogOpen() { return frmDown2->isVisible(); }

// The two forms as the program creates them once at start.
class DownloadForms {
 public:
  DownloadForms() {
    frmDown = new TfrmDown();
    frmDown2 = new TfrmDown2();
  }
  ~DownloadForms() {
    delete frmDown2;
    delete frmDown;
    frmDown2 = nullptr;
    frmDown = nullptr;
  }
};

}  // namespace

// --- Rules ---------------------------------------------------------------------

TEST(DownloadDialogRules, BarWidthIsFormedIn64BitsAndStaysWithinTheTrack) {
  EXPECT_EQ(ProgressBarWidth(250000, 500000), 159);
  EXPECT_EQ(ProgressBarWidth(8000000, 10000000), 255);  // 8000000 * 319 exceeds 32 bits
  EXPECT_EQ(ProgressBarWidth(10000000, 10000000), 319);
  EXPECT_EQ(ProgressBarWidth(5000, 0), 0);           // no length yet
  EXPECT_EQ(ProgressBarWidth(500010, 500000), 319);  // more than announced never overflows the track
}

TEST(DownloadDialogRules, BarOnlyGrows) {
  EXPECT_EQ(GrownBarWidth(1, 0, 0), 1);
  EXPECT_EQ(GrownBarWidth(1, 250000, 500000), 159);
  EXPECT_EQ(GrownBarWidth(200, 250000, 500000), 200);
}

TEST(DownloadDialogRules, FailedOrCancelledTargetGoes) {
  EXPECT_FALSE(DownloadTargetMustGo(kDownloadSucceeded, 0));
  EXPECT_TRUE(DownloadTargetMustGo(kDownloadSucceeded, 1));
  EXPECT_TRUE(DownloadTargetMustGo(kDownloadFailed, 0));
}

TEST(DownloadDialogRules, DialogLandsCentredOnTheOverlay) {
  EXPECT_EQ(CentredOn(QRect(0, 0, 799, 599), QSize(433, 148)), QPoint(183, 225));
  EXPECT_EQ(CentredOn(QRect(-10, 40, 799, 599), QSize(433, 148)), QPoint(173, 265));
}

// --- The dialogs on their own -----------------------------------------------------

class DownloadDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Folder.isValid());
    Server.MapHost(kHost);
  }

  QString Target(const QString& name = "l_1.jpg") const { return Folder.filePath(name); }

  // Shows the overlay modally as "Set as Desktop Wallpaper" does.
  void Run(const QString& path, const QString& target) {
    frmDown2->Url = Server.Url(path);
    frmDown2->SaveFile = target;
    frmDown->exec();
  }

  QStringList FilesLeft() const { return QDir(Folder.path()).entryList(QDir::Files | QDir::Hidden); }

  DownloadForms Forms;
  QTemporaryDir Folder;
  TTestHttpServer Server;
};

TEST_F(DownloadDialogTest, OverlayDimsTheWindowAndCarriesTheCentredDialog) {
  const QByteArray body = RandomBytes(300000);
  Server.Serve("/pictures/3/l_1.jpg", body);
  frmDown->move(100, 50);
  QPoint offset;
  bool overlayShown = false;
  int firstBarWidth = -1;
  Observer observer([&] {
    if (!DialogOpen() || firstBarWidth >= 0) return;
    offset = frmDown2->pos() - frmDown->pos();
    overlayShown = frmDown->isVisible();
    firstBarWidth = frmDown2->imgProcess->width();
  });
  Run("/pictures/3/l_1.jpg", Target());

  EXPECT_EQ(Contents(Target()), body);
  EXPECT_EQ(frmDown2->Counters().Status, kDownloadSucceeded);
  EXPECT_EQ(frmDown2->Counters().Received, 300000);
  EXPECT_TRUE(overlayShown);
  EXPECT_EQ(offset, QPoint(183, 225));
  EXPECT_EQ(firstBarWidth, 1);
  EXPECT_FALSE(frmDown->isVisible());
  EXPECT_FALSE(frmDown2->isVisible());
  EXPECT_NEAR(frmDown->windowOpacity(), 130 / 255.0, 0.01);
  EXPECT_FALSE(frmDown->mask().contains(QPoint(0, 0)));  // rounded like the main window
  EXPECT_TRUE(frmDown->mask().contains(QPoint(400, 300)));
}

TEST_F(DownloadDialogTest, CancelDuringTheHeadExchangeLeavesNoFileAndASecondPressDoesNothing) {
  Server.Serve("/silent/l_1.jpg", RandomBytes(100000), SilentHead());
  bool pressed = false;
  int32_t cancelAfterSecondPress = -1;
  bool enabledAfterSecondPress = true;
  bool openAfterSecondPress = false;
  Observer observer([&] {
    if (pressed || !DialogOpen() || Server.RequestCount("HEAD") == 0) return;
    pressed = true;
    frmDown2->btnStop->click();
    frmDown2->btnStop->click();
    cancelAfterSecondPress = frmDown2->Counters().Cancel;
    enabledAfterSecondPress = frmDown2->btnStop->isEnabled();
    openAfterSecondPress = DialogOpen();  // it waits for the engine to report the end
  });
  Run("/silent/l_1.jpg", Target());

  EXPECT_TRUE(pressed);
  EXPECT_EQ(cancelAfterSecondPress, 1);
  EXPECT_FALSE(enabledAfterSecondPress);
  EXPECT_TRUE(openAfterSecondPress);
  EXPECT_EQ(frmDown2->Counters().Status, kDownloadFailed);
  EXPECT_TRUE(FilesLeft().isEmpty()) << FilesLeft().join(", ").toStdString();
  EXPECT_EQ(Server.RequestCount("GET"), 0);
}

TEST_F(DownloadDialogTest, CancelBeforeTheDownloadBeginsFetchesNothing) {
  Server.Serve("/pictures/l_1.jpg", RandomBytes(100000));
  Observer observer([&] {
    if (DialogOpen() && frmDown2->btnStop->isEnabled()) frmDown2->btnStop->click();
  });
  Run("/pictures/l_1.jpg", Target());

  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_FALSE(QFileInfo::exists(Target()));
  EXPECT_FALSE(frmDown2->isVisible());
}

TEST_F(DownloadDialogTest, SecondDownloadStartsWithAOnePixelBarAndFreshCounters) {
  Server.Serve("/pictures/l_1.jpg", RandomBytes(200000));
  Run("/pictures/l_1.jpg", Target());
  ASSERT_EQ(frmDown2->Counters().Received, 200000);
  // As a long download leaves it: a wide bar and a pressed Cancel.
  frmDown2->imgProcess->resize(300, 17);
  frmDown2->btnStop->setEnabled(false);

  Server.Serve("/silent/l_2.jpg", RandomBytes(100000), SilentHead());
  Server.ClearLog();
  int firstBarWidth = -1;
  bool firstEnabled = false;
  bool headSeen = false;
  int32_t total = -1, received = -1, cancel = -1, status = -1;
  Observer observer([&] {
    if (!DialogOpen()) return;
    if (firstBarWidth < 0) {
      firstBarWidth = frmDown2->imgProcess->width();
      firstEnabled = frmDown2->btnStop->isEnabled();
    }
    if (headSeen || Server.RequestCount("HEAD") == 0) return;
    headSeen = true;
    const TDownloadVars& counters = frmDown2->Counters();
    total = counters.TotalSize, received = counters.Received, cancel = counters.Cancel,
    status = counters.Status;
    frmDown2->btnStop->click();
  });
  Run("/silent/l_2.jpg", Target("l_2.jpg"));

  EXPECT_EQ(firstBarWidth, 1);
  EXPECT_TRUE(firstEnabled);
  ASSERT_TRUE(headSeen);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(received, 0);
  EXPECT_EQ(cancel, 0);
  EXPECT_EQ(status, kDownloadRunning);
  EXPECT_FALSE(QFileInfo::exists(Target("l_2.jpg")));
  EXPECT_TRUE(QFileInfo::exists(Target()));  // the first download's file is not touched
}

TEST_F(DownloadDialogTest, FailedDownloadLeavesNoFile) {
  Run("/missing/l_1.jpg", Target());
  EXPECT_EQ(frmDown2->Counters().Status, kDownloadFailed);
  EXPECT_TRUE(FilesLeft().isEmpty());
}

// --- "Set as Desktop Wallpaper" on a network picture ------------------------------

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

class QuietDesktop : public DesktopControl {
 public:
  void showDesktop() override {}
};

}  // namespace

class NetworkApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder.copyEnglishLanguage();
    InstallWallpaperSetterForTesting(std::make_unique<RecordingSetter>(&Applied));
    InstallDesktopControlForTesting(std::make_unique<QuietDesktop>());
    Server.MapHost(kHost);
    Window = MakeMainWindow();
    Forms = std::make_unique<DownloadForms>();
  }
  void TearDown() override {
    Forms.reset();
    Window.reset();
    InstallDesktopControlForTesting(nullptr);
    InstallWallpaperSetterForTesting(nullptr);
  }

  // Selects slot 2 holding the address and presses the button.
  void Apply(const QString& address) {
    Window->Slots[1] = SlotPaths{QString(), address};
    Window->shpW[1]->show();
    Window->btnSetWallpaperClick();
  }

  QStringList MessageTexts() const {
    QStringList texts;
    for (const auto& message : Dialogs->messages) texts << message.caption + ": " + message.text;
    return texts;
  }
  QString FailureMessage() const { return szAttention + ": " + szDownloadpicfail; }

  ProgramFolder Folder;
  DialogsRecorder Dialogs;
  TTestHttpServer Server;
  QStringList Applied;
  std::unique_ptr<TfrmMain> Window;
  std::unique_ptr<DownloadForms> Forms;
};

TEST_F(NetworkApplyTest, BrokenStoredCopyIsFetchedAgainBehindTheOverlay) {
  const QString stored = "wallpaper/normal/network/3/l_sea.jpg";
  const QByteArray served = JpegOfSize(30000, Qt::blue);
  Server.Serve("/wallpaper/3/l_sea.jpg", served);
  // Too small to be whole, and big enough but no picture (an old error page).
  const QList<QByteArray> brokenCopies = {JpegOfSize(19999, Qt::red), RandomBytes(25000)};
  for (const QByteArray& broken : brokenCopies) {
    SCOPED_TRACE(broken.size());
    Folder.writeFile(stored, broken);
    Server.ClearLog();
    Applied.clear();
    bool busyWhileOpen = false;
    Observer observer([&] { busyWhileOpen = busyWhileOpen || (DialogOpen() && Window->Busy); });
    Apply(Server.Url("/wallpaper/3/l_sea.jpg"));

    EXPECT_GT(Server.RequestCount("GET"), 0);
    EXPECT_EQ(Folder.readFile(stored), served);
    EXPECT_EQ(Applied, QStringList{Folder.file(stored)});
    EXPECT_TRUE(Dialogs->messages.empty()) << MessageTexts().join("; ").toStdString();
    EXPECT_TRUE(busyWhileOpen);
    EXPECT_FALSE(Window->Busy);
  }
}

TEST_F(NetworkApplyTest, StoredCopyOf20000BytesIsAppliedWithoutADownload) {
  const QString stored = "wallpaper/normal/network/2/l_hill.jpg";
  const QByteArray bytes = JpegOfSize(20000, Qt::green);
  Folder.writeFile(stored, bytes);
  Apply(Server.Url("/wallpaper/2/l_hill.jpg"));

  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_EQ(Folder.readFile(stored), bytes);
  EXPECT_EQ(Applied, QStringList{Folder.file(stored)});
}

TEST_F(NetworkApplyTest, WidescreenPictureOfCategory3LandsInItsNetworkFolder) {
  Window->btnWidescreenClick();
  Server.Serve("/wallpaper/3/l_wide.jpg", JpegOfSize(25000, Qt::yellow));
  Apply(QStringLiteral("HTTP://%1/wallpaper/3/l_wide.jpg").arg(kHost));

  const QString stored = Folder.file("wallpaper/widescreen/network/3/l_wide.jpg");
  EXPECT_TRUE(QFileInfo::exists(stored));
  EXPECT_EQ(Applied, QStringList{stored});
}

TEST_F(NetworkApplyTest, AddressesNamingNoSafeStoredFileAreRefused) {
  const QString base = QStringLiteral("http://%1/wallpaper/").arg(kHost);
  const QStringList addresses = {
      base + "3/l_x/../../../escaped.jpg",             // climbs out of the store
      base + "3/l_a" + QChar(0) + ".jpg",              // NUL
      base + "3/l_a\n.jpg",                            // control character
      base + "7/l_a.jpg",                              // no such category
      QStringLiteral("http://%1/l_a.jpg").arg(kHost),  // no category digit at all
  };
  for (const QString& address : addresses) {
    SCOPED_TRACE(address.toStdString());
    Dialogs->messages.clear();
    Apply(address);
    EXPECT_EQ(MessageTexts(), QStringList{FailureMessage()});
  }
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_TRUE(Applied.isEmpty());
  QDirIterator files(Folder.path() + "wallpaper", QDir::Files, QDirIterator::Subdirectories);
  EXPECT_FALSE(files.hasNext()) << files.next().toStdString();
}

TEST_F(NetworkApplyTest, DownloadThatIsNotAPictureOrFailsIsReportedAndLeavesNoFile) {
  Server.Serve("/wallpaper/1/l_page.jpg",
               QByteArray("<html><body>Moved elsewhere</body></html>").repeated(600), HtmlPage());
  const QStringList names = {"l_page.jpg", "l_missing.jpg"};
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    Dialogs->messages.clear();
    Apply(Server.Url("/wallpaper/1/" + name));
    EXPECT_EQ(MessageTexts(), QStringList{FailureMessage()});
    EXPECT_FALSE(QFileInfo::exists(Folder.file("wallpaper/normal/network/1/" + name)));
  }
  EXPECT_TRUE(Applied.isEmpty());
}

TEST_F(NetworkApplyTest, CancelledDownloadIsReportedAndLeavesNoFile) {
  Server.Serve("/wallpaper/4/l_game.jpg", JpegOfSize(40000, Qt::cyan), SilentHead());
  Observer observer([&] {
    if (DialogOpen() && frmDown2->btnStop->isEnabled() && Server.RequestCount("HEAD") > 0)
      frmDown2->btnStop->click();
  });
  Apply(Server.Url("/wallpaper/4/l_game.jpg"));

  EXPECT_EQ(MessageTexts(), QStringList{FailureMessage()});
  EXPECT_FALSE(QFileInfo::exists(Folder.file("wallpaper/normal/network/4/l_game.jpg")));
  EXPECT_TRUE(Applied.isEmpty());
}

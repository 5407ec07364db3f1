// The network categories and the Downloaded view against the tests' own
// HTTP server, with the day's catalogue check already done.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDate>
#include <QDesktopServices>
#include <QFile>
#include <QImage>

#include "app/Main.h"
#include "app/UnitGlobal.h"
#include "catalogue/NetworkView.h"
#include "support/ProgramFolder.h"
#include "support/TestHttpServer.h"

namespace {
QByteArray JpegBytes(const QColor& color) {
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "JPG", 90);
  return bytes;
}

class UrlRecorder : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { opened << url.toString(); }

 public:
  QStringList opened;
};

class NetworkViewTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
  TTestHttpServer server;
  std::unique_ptr<TfrmMain> window;

  void SetUp() override {
    folder.copyEnglishLanguage();
    server.MapHost("pics.test");
    SetThumbnailWaitLimitForTesting(std::chrono::seconds(20));
  }

  // The catalogue of a shape, with today's check already done.
  void storeCatalogue(const QStringList& entries, const char* section = "wallpaper-normal") {
    QByteArray ini = "[checkupdate]\r\ndate=" + QDate::currentDate().toString("MM-dd-yyyy").toLatin1() + "\r\n";
    ini += QByteArray("[") + section + "]\r\n";
    for (int k = 0; k < entries.size(); ++k) ini += QByteArray::number(k + 1) + "=" + entries[k].toUtf8() + "\r\n";
    folder.writeFile("setting.ini", ini);
  }
  QString serve(const QString& path) {
    server.Serve(path, JpegBytes(Qt::darkCyan));
    return "http://pics.test" + path;
  }
  QStringList serveCategory(int category, int count) {
    QStringList entries;
    for (int i = 1; i <= count; ++i) entries << serve(QString("/pics/%1/s_%2.jpg").arg(category).arg(i));
    return entries;
  }
  void open() { window = MakeMainWindow(); }
  int visibleSlots() const {
    int visible = 0;
    for (TPicturePanel* slot : window->W) visible += slot->isVisibleTo(window.get()) ? 1 : 0;
    return visible;
  }
  int visiblePageLinks() const {
    int visible = 0;
    for (TLabel* link : window->lblWPage) visible += link->isVisibleTo(window.get()) ? 1 : 0;
    return visible;
  }
};
}  // namespace

TEST_F(NetworkViewTest, ACategoryTakesOnlyItsOwnEntries) {
  const QString own = serve("/pics/1/s_a.jpg");
  const QString other = serve("/pics/11/s_b.jpg");
  storeCatalogue({own, other, "/1/s_c.jpg"});
  open();
  window->lblN1Click(window->lblN[0]);
  EXPECT_EQ(window->CategoryThumbs, QStringList{own});
  EXPECT_EQ(window->CategoryPictures, QStringList{"http://pics.test/pics/1/l_a.jpg"});
  EXPECT_EQ(visibleSlots(), 1);
  EXPECT_TRUE(QFile::exists(folder.file("wallpaper/normal/network/1/s_a.jpg")));
  EXPECT_FALSE(window->Busy);
}

TEST_F(NetworkViewTest, EightEntriesGiveTwoPages) {
  storeCatalogue(serveCategory(2, 8));
  open();
  window->lblN1Click(window->lblN[1]);
  EXPECT_EQ(visiblePageLinks(), 2);
  EXPECT_EQ(visibleSlots(), 6);
  window->lblWPage1Click(2);
  EXPECT_EQ(visibleSlots(), 2);
  EXPECT_EQ(window->Slots[0].large, "http://pics.test/pics/2/l_7.jpg");
}

TEST_F(NetworkViewTest, AFailedDownloadPacksTheRestToTheFront) {
  QStringList entries = serveCategory(3, 6);
  server.Remove("/pics/3/s_2.jpg");
  storeCatalogue(entries);
  open();
  window->lblN1Click(window->lblN[2]);
  EXPECT_EQ(visibleSlots(), 5);
  EXPECT_EQ(window->Slots[1].large, "http://pics.test/pics/3/l_3.jpg");
  EXPECT_EQ(window->Slots[4].large, "http://pics.test/pics/3/l_6.jpg");
  EXPECT_TRUE(window->Slots[5].large.isEmpty());
  EXPECT_FALSE(QFile::exists(folder.file("wallpaper/normal/network/3/s_2.jpg")));
}

TEST_F(NetworkViewTest, StoredThumbnailsUnderOneHundredBytesAreDropped) {
  storeCatalogue({"http://pics.test/pics/4/s_small.jpg", "http://pics.test/pics/4/s_edge.jpg"});
  folder.writeFile("wallpaper/normal/network/4/s_small.jpg", QByteArray(99, 'x'));
  folder.writeFile("wallpaper/normal/network/4/s_edge.jpg", QByteArray(100, 'x'));
  open();
  window->lblN1Click(window->lblN[3]);
  EXPECT_FALSE(QFile::exists(folder.file("wallpaper/normal/network/4/s_small.jpg")));
  EXPECT_EQ(visibleSlots(), 1);
  EXPECT_EQ(window->Slots[0].large, "http://pics.test/pics/4/l_edge.jpg");
  EXPECT_EQ(server.RequestCount("HEAD"), 0) << "stored thumbnails are not fetched again";
}

TEST_F(NetworkViewTest, NoThumbnailAtAllShowsTheFailureText) {
  QStringList entries;
  for (int i = 1; i <= 6; ++i) entries << QString("http://pics.test/missing/5/s_%1.jpg").arg(i);
  storeCatalogue(entries);
  open();
  window->lblN1Click(window->lblN[4]);
  EXPECT_EQ(visibleSlots(), 0);
  EXPECT_TRUE(window->lblErrorTip->isVisibleTo(window.get()));
  EXPECT_EQ(window->lblErrorTip->caption(), szGetpicfail);
  EXPECT_FALSE(window->Busy);
  EXPECT_FALSE(window->panConnectNetwork->isVisibleTo(window.get()));
}

TEST_F(NetworkViewTest, NamesThatWouldLeaveTheFolderAreNeverFetched) {
  storeCatalogue({"http://pics.test/pics/1/s_..jpg", "http://pics.test/pics/1/s_a\x01.jpg"});
  open();
  window->lblN1Click(window->lblN[0]);
  EXPECT_EQ(server.RequestCount("HEAD"), 0);
  EXPECT_EQ(visibleSlots(), 0);
}

TEST_F(NetworkViewTest, ASecondClickOnTheCurrentCategoryLeavesTheWindowUsable) {
  storeCatalogue(serveCategory(1, 2));
  open();
  window->lblN1Click(window->lblN[0]);
  server.ClearLog();
  window->lblN1Click(window->lblN[0]);
  EXPECT_EQ(server.RequestCount("HEAD"), 0);
  EXPECT_FALSE(window->Busy);
  window->lblL1Click(window->lblL[1]);
  EXPECT_TRUE(window->IsCurrentCategory(window->lblL[1]));
}

TEST_F(NetworkViewTest, WidescreenReadsItsOwnSectionAndFolder) {
  storeCatalogue({serve("/wide/1/s_w.jpg")}, "wallpaper-widescreen");
  open();
  window->btnWidescreenClick();
  window->lblN1Click(window->lblN[0]);
  EXPECT_EQ(visibleSlots(), 1);
  EXPECT_TRUE(QFile::exists(folder.file("wallpaper/widescreen/network/1/s_w.jpg")));
  EXPECT_FALSE(QFile::exists(folder.file("wallpaper/normal/network/1/s_w.jpg")));
}

TEST_F(NetworkViewTest, DownloadedListsOnlyLargePicturesInCategoryOrder) {
  for (const char* name : {"2/l_b.JPG", "1/l_z.jpg", "1/L_a.bmp", "1/s_a.jpg", "1/l_x.gif", "6/l_q.jpg"})
    folder.writePicture(QString("wallpaper/normal/network/") + name, QSize(64, 48), Qt::yellow);
  open();
  window->lblN6Click();
  EXPECT_EQ(visibleSlots(), 3);
  EXPECT_EQ(window->Slots[0].large, folder.file("wallpaper/normal/network/1/L_a.bmp"));
  EXPECT_EQ(window->Slots[1].large, folder.file("wallpaper/normal/network/1/l_z.jpg"));
  EXPECT_EQ(window->Slots[2].large, folder.file("wallpaper/normal/network/2/l_b.JPG"));
  EXPECT_TRUE(window->IsCurrentCategory(window->lblN[5]));
}

TEST_F(NetworkViewTest, GalleryLinksOpenTheHomeSiteAndLeaveTheGrid) {
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("http", &recorder, "open");
  open();
  window->lblN7Click();
  QDesktopServices::unsetUrlHandler("http");
  EXPECT_EQ(recorder.opened, QStringList{"http://" + HomeHost()});
  EXPECT_TRUE(window->IsCurrentCategory(window->lblL[0]));
}

#include "test_network_view.moc"

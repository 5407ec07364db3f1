// The picture store's folders, naming and paging.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "library/StoreRules.h"
#include "platform/FileNames.h"
#include "platform/ProgramFolder.h"
#include "support/RawNames.h"

namespace {

class StoreFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    // Capitals and a blank in the program's own folder, as under a home folder.
    m_root = m_dir.path() + "/Home/Pictures App/";
    ASSERT_TRUE(QDir().mkpath(m_root));
  }

  QString touch(const QString& relative) const {
    const QString path = m_root + relative;
    QDir().mkpath(path.left(path.lastIndexOf('/')));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    return path;
  }
  void makeFolder(const QString& relative) const { ASSERT_TRUE(QDir().mkpath(m_root + relative)); }

  QTemporaryDir m_dir;
  QString m_root;
};

void touchRaw(const QByteArray& path) { ASSERT_TRUE(writeRawFile(path)) << path.toHex().constData(); }

QList<QByteArray> bytesOf(const QStringList& paths) {
  QList<QByteArray> bytes;
  for (const QString& path : paths) bytes << encodeFileName(path);
  return bytes;
}

QStringList namesOf(const QStringList& paths) {
  QStringList names;
  for (const QString& path : paths) names << path.mid(path.lastIndexOf('/') + 1);
  return names;
}

}  // namespace

TEST(StoreRules, PageCountsAtTheBoundaries) {
  EXPECT_EQ(pageCount(0), 0);
  EXPECT_EQ(pageCount(6), 1);
  EXPECT_EQ(pageCount(7), 2);
  EXPECT_EQ(pageCount(12), 2);
  EXPECT_EQ(pageCount(120), 20);
  EXPECT_EQ(pageCount(121), 21);  // the 21st page has no link
}

TEST(StoreRules, PageSlices) {
  const PageSlice secondOfSeven = sliceOfPage(7, 2);
  EXPECT_EQ(secondOfSeven.page, 2);
  EXPECT_FALSE(secondOfSeven.markPageOne);
  EXPECT_EQ(secondOfSeven.first, 6);
  EXPECT_EQ(secondOfSeven.size, 1);

  const PageSlice lastReachable = sliceOfPage(121, 20);
  EXPECT_EQ(lastReachable.first, 114);
  EXPECT_EQ(lastReachable.size, 6);  // entry 121 (index 120) is never shown

  const PageSlice fellBack = sliceOfPage(12, 5);
  EXPECT_EQ(fellBack.page, 1);
  EXPECT_TRUE(fellBack.markPageOne);
  EXPECT_EQ(fellBack.first, 0);
  EXPECT_EQ(fellBack.size, 6);

  const PageSlice empty = sliceOfPage(0, 3);
  EXPECT_TRUE(empty.markPageOne);
  EXPECT_EQ(empty.size, 0);
}

TEST_F(StoreFolder, LocalListingTakesThumbnailsInAnyCaseInNameOrder) {
  const QString folder = categoryFolder(m_root, Shape::Normal, StoreSide::Local, 1);
  for (const char* name : {"s_sea.JPG", "S_bird.jpg", "s_Apple.bmp", "s_sea.jpeg", "s_sea.png", "sea.jpg",
                           "l_sea.jpg", "x_s_b.jpg", "s_.jpg"})
    touch(QString("wallpaper/normal/local/1/") + name);
  makeFolder("wallpaper/normal/local/1/s_x.jpg");
  ASSERT_EQ(mkfifo(QFile::encodeName(folder + "s_pipe.jpg").constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(folder + "S_bird.jpg", folder + "s_linked.jpg"));
  ASSERT_TRUE(QFile::link(folder + "gone.jpg", folder + "s_broken.jpg"));

  const CategoryListing listing = listLocalCategory(folder);
  EXPECT_EQ(namesOf(listing.thumbnails),
            QStringList({"s_.jpg", "s_Apple.bmp", "S_bird.jpg", "s_linked.jpg", "s_sea.JPG"}));
  ASSERT_EQ(listing.larges.size(), listing.thumbnails.size());
  EXPECT_EQ(listing.thumbnails.first(), folder + "s_.jpg");
}

TEST_F(StoreFolder, MissingFolderListsNothing) {
  EXPECT_TRUE(
      listLocalCategory(categoryFolder(m_root, Shape::Normal, StoreSide::Local, 4)).thumbnails.isEmpty());
  EXPECT_TRUE(listDownloadedPictures(m_root, Shape::Widescreen).isEmpty());
}

TEST_F(StoreFolder, LargePictureIsFoundWithoutRegardToCaseKeepingTheRealFolder) {
  const QString thumbnail = touch("wallpaper/normal/local/2/S_Sea.jpg");
  const QString large = touch("wallpaper/normal/local/2/L_sea.JPG");
  touch("wallpaper/normal/local/2/S_Moon.bmp");
  const QString folder = categoryFolder(m_root, Shape::Normal, StoreSide::Local, 2);

  EXPECT_EQ(largePicturePath(thumbnail), large);
  const CategoryListing listing = listLocalCategory(folder);
  ASSERT_EQ(listing.thumbnails, QStringList({folder + "S_Moon.bmp", thumbnail}));
  // No large picture for the moon: the derived name keeps the folder's capitals
  // and fails only when applied.
  EXPECT_EQ(listing.larges, QStringList({folder + "l_moon.bmp", large}));
  EXPECT_EQ(largePicturePath(folder + "S_Moon.bmp"), folder + "l_moon.bmp");
}

TEST_F(StoreFolder, LargePictureWithTheExactNamePreferredOverOtherCases) {
  const QString folder = categoryFolder(m_root, Shape::Normal, StoreSide::Local, 3);
  touch("wallpaper/normal/local/3/s_sea.jpg");
  touch("wallpaper/normal/local/3/L_SEA.jpg");
  touch("wallpaper/normal/local/3/l_sea.jpg");
  EXPECT_EQ(listLocalCategory(folder).larges, QStringList({folder + "l_sea.jpg"}));
}

TEST_F(StoreFolder, DownloadedListingTakesLargePicturesByCategoryThenName) {
  for (const char* name :
       {"network/5/l_zebra.jpg", "network/2/L_Beta.BMP", "network/2/l_alpha.jpg", "network/2/s_alpha.jpg",
        "network/2/l_x.gif", "network/1/l_one.Jpg", "local/1/l_local.jpg", "network/7/l_seven.jpg"})
    touch(QString("wallpaper/widescreen/") + name);
  makeFolder("wallpaper/widescreen/network/3/l_folder.jpg");

  const QString base = sideFolder(m_root, Shape::Widescreen, StoreSide::Network);
  EXPECT_EQ(listDownloadedPictures(m_root, Shape::Widescreen),
            QStringList({base + "1/l_one.Jpg", base + "2/l_alpha.jpg", base + "2/L_Beta.BMP",
                         base + "5/l_zebra.jpg"}));
  EXPECT_TRUE(listDownloadedPictures(m_root, Shape::Normal).isEmpty());
}

TEST(StoreRules, CatalogueAddressCategoryNeedsTheNumberAsAWholeSegment) {
  EXPECT_TRUE(addressInCategory("http://host/pics/1/s_a.jpg", 1));
  EXPECT_FALSE(addressInCategory("http://host/pics/11/s_b.jpg", 1));
  EXPECT_FALSE(addressInCategory("http://host/pics/1/s_a.jpg", 2));
  EXPECT_FALSE(addressInCategory("/1/s_a.jpg", 1));  // at the very start: no category
  EXPECT_EQ(largeAddressOf("http://host/s_dir/1/s_a.jpg"), "http://host/l_dir/1/l_a.jpg");
}

TEST_F(StoreFolder, NetworkCopiesAreKeptInTheShapesCategoryFolder) {
  EXPECT_EQ(
      storedNetworkPath(m_root, Shape::Widescreen, "http://host/p/3/l_sea.jpg", NetworkFile::LargePicture),
      m_root + "wallpaper/widescreen/network/3/l_sea.jpg");
  EXPECT_EQ(storedNetworkPath(m_root, Shape::Normal, "http://host/p/2/s_sea.bmp", NetworkFile::Thumbnail),
            m_root + "wallpaper/normal/network/2/s_sea.bmp");
  EXPECT_EQ(storedNetworkPath(m_root, Shape::Normal, "http://host/p/2/s_sea.bmp", NetworkFile::LargePicture),
            "");
}

TEST_F(StoreFolder, HostileAddressesGiveNoLocalPath) {
  for (const char* address :
       {"http://host/1/s_../../../../etc/x.jpg", "http://host/1/s_a/../x.jpg", "http://host/1/s_..jpg",
        "http://host/9/s_a.jpg", "http://host/x/s_a.jpg", "/s_a.jpg", "http://host/1/s_a\tb.jpg",
        "http://host/1/s_a.jpg.$$$.temp.0"})  // another download's segment file
    EXPECT_EQ(storedNetworkPath(m_root, Shape::Normal, address, NetworkFile::Thumbnail), "") << address;
  EXPECT_EQ(storedNetworkPath(m_root, Shape::Normal, QString("http://host/1/s_a") + QChar(0) + "b.jpg",
                              NetworkFile::Thumbnail),
            "");
}

TEST_F(StoreFolder, NamesThatAreNotUtf8AreListedWithTheirOwnBytes) {
  const RawNamesCleanup cleanup(m_dir.path());
  const QString folder = categoryFolder(m_root, Shape::Normal, StoreSide::Local, 1);
  makeFolder("wallpaper/normal/local/1");
  const QByteArray raw = encodeFileName(folder);
  for (const char* name : {"s_caf\xE9.jpg", "L_CAF\xE9.JPG", "s_caf\xE8.jpg", "s_\xBA\xA3.bmp", "s_ok.jpg"})
    touchRaw(raw + name);

  const CategoryListing listing = listLocalCategory(folder);
  ASSERT_EQ(listing.thumbnails.size(), 4);
  EXPECT_EQ(bytesOf(listing.thumbnails), QList<QByteArray>({raw + "s_caf\xE8.jpg", raw + "s_caf\xE9.jpg",
                                                            raw + "s_ok.jpg", raw + "s_\xBA\xA3.bmp"}));
  // The large picture is matched without regard to case here too, and only
  // by the same bytes.
  EXPECT_EQ(bytesOf(listing.larges), QList<QByteArray>({raw + "l_caf\xE8.jpg", raw + "L_CAF\xE9.JPG",
                                                        raw + "l_ok.jpg", raw + "l_\xBA\xA3.bmp"}));
  EXPECT_EQ(encodeFileName(largePicturePath(listing.thumbnails[1])), raw + "L_CAF\xE9.JPG");

  makeFolder("wallpaper/normal/network/2");
  const QByteArray network = encodeFileName(categoryFolder(m_root, Shape::Normal, StoreSide::Network, 2));
  touchRaw(network + "l_caf\xE9.jpg");
  EXPECT_EQ(bytesOf(listDownloadedPictures(m_root, Shape::Normal)),
            QList<QByteArray>({network + "l_caf\xE9.jpg"}));
}

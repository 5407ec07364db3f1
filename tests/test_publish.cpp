// Publishing a folder of pictures as a home site (tools/publish), and the
// program pointed at a site of one's own at run time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>
#include <optional>

#include "catalogue/CatalogueCheck.h"
#include "catalogue/CatalogueRules.h"
#include "download/PageFetcher.h"
#include "library/StoreRules.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "support/TemporaryProgramFolder.h"
#include "support/TestHttpServer.h"
#include "support/WaitUntil.h"
#include "tools/publish/PublishRules.h"
#include "tools/publish/Publisher.h"
#include "tools/publish/SitePages.h"

using namespace publish;

namespace {

const QString kBase = QStringLiteral("http://gallery.test/");

// A picture whose content follows from the seed, so that two seeds give two
// different files and one seed gives the same file twice.
QImage painted(QSize size, int seed) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x)
      image.setPixel(x, y,
                     qRgb((x * 255 / size.width() + seed * 37) % 256, (y * 255 / size.height()) % 256,
                          (seed * 71) % 256));
  return image;
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below a folder and its bytes.
std::map<QString, QByteArray> snapshot(const QString& folder) {
  std::map<QString, QByteArray> files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    files[QDir(folder).relativeFilePath(path)] = readAll(path);
  }
  return files;
}

// The files added, removed or changed between two snapshots.
std::string changes(const std::map<QString, QByteArray>& before, const std::map<QString, QByteArray>& after) {
  QStringList changed;
  for (const auto& [path, bytes] : before)
    if (!after.count(path) || after.at(path) != bytes) changed << path;
  for (const auto& [path, bytes] : after)
    if (!before.count(path)) changed << path;
  return changed.join(u' ').toStdString();
}

class PublishTest : public ::testing::Test {
 protected:
  QTemporaryDir sourceDir;
  QTemporaryDir siteDir;
  QStringList notes;
  int progressCalls = 0;

  QString source(const QString& relative = QString()) const {
    return relative.isEmpty() ? sourceDir.path() : sourceDir.filePath(relative);
  }
  QString site(const QString& relative = QString()) const {
    return relative.isEmpty() ? siteDir.path() : siteDir.filePath(relative);
  }

  // Writes a picture into SOURCE; the format follows the extension.
  void addPicture(const QString& relative, QSize size = {800, 600}, int seed = 1) const {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(source(relative)).path()));
    const QString suffix = QFileInfo(relative).suffix().toLower();
    const QByteArray format = suffix == "png" ? "png" : suffix == "bmp" ? "bmp" : "jpeg";
    ASSERT_TRUE(painted(size, seed).save(source(relative), format.constData(), 90)) << relative.toStdString();
  }
  void addFile(const QString& relative, const QByteArray& bytes) const {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(source(relative)).path()));
    QFile file(source(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  PublishResult publish(int jobs = 2, const QString& siteFolder = QString()) {
    PublishOptions options;
    options.source = source();
    options.site = siteFolder.isEmpty() ? site() : siteFolder;
    options.baseUrl = kBase;
    options.jobs = jobs;
    PublishSinks sinks;
    sinks.note = [this](const QString& line) { notes << line; };
    sinks.progress = [this](int, int) { ++progressCalls; };
    return publishCatalogue(options, sinks);
  }

  QByteArray indexPage() const { return readAll(site("software/allindex.htm")); }
  QByteArray versionPage() const { return readAll(site("software/ver.htm")); }
  QByteArray indexVersion() const { return indexVersionOf(versionPage()); }
  CatalogueEntries entries() const { return parseIndexPage(indexPage()); }
  QList<QByteArray> entriesOf(Shape shape) const {
    const CatalogueEntries all = entries();
    return shape == Shape::Widescreen ? all.widescreen : all.normal;
  }
  QList<QByteArray> all() const { return entries().normal + entries().widescreen; }

  // The file in SITE an address names.
  QString siteFile(const QByteArray& address) const {
    EXPECT_TRUE(address.startsWith(kBase.toLatin1())) << address.constData();
    return site(QString::fromLatin1(address.mid(kBase.size())));
  }
  QString largeFile(const QByteArray& address) const {
    return siteFile(largeAddressOf(QString::fromLatin1(address)).toLatin1());
  }
  int categoryOf(const QByteArray& address) const {
    for (int category = 1; category <= kCategoryCount; ++category)
      if (addressInCategory(QString::fromLatin1(address), category)) return category;
    return 0;
  }
  // The one address whose name starts with the stem.
  QByteArray addressOf(const QString& stem) const {
    QByteArray found;
    for (const QByteArray& address : all())
      if (address.contains("/s_" + stem.toLatin1() + "-")) found = address;
    return found;
  }
  bool notedAbout(const QString& text) const {
    return std::any_of(notes.begin(), notes.end(), [&](const QString& line) { return line.contains(text); });
  }
};

// --- categories and shapes

TEST_F(PublishTest, CategoriesByNumberAndByCaptionInAnyCase) {
  addPicture("1/one.jpg", {800, 600}, 1);
  addPicture("nature/two.jpg", {800, 600}, 2);
  addPicture("CARTOON/three.jpg", {800, 600}, 3);
  addPicture("Holiday/four.jpg", {800, 600}, 4);
  addPicture("game AND movies/five.jpg", {800, 600}, 5);
  addPicture("Art & Illustrator/deep/down/six.jpg", {800, 600}, 6);
  addPicture("5/seven.jpg", {800, 600}, 7);
  addPicture("Landscapes/eight.jpg", {800, 600}, 8);
  addPicture("nine.jpg", {800, 600}, 9);
  addFile("1/notes.txt", "not a picture");
  const PublishResult result = publish();
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  const std::map<QString, int> expected = {{"one", 1},  {"two", 1}, {"three", 2}, {"four", 3},
                                           {"five", 4}, {"six", 5}, {"seven", 5}};
  for (const auto& [stem, category] : expected) {
    const QByteArray address = addressOf(stem);
    ASSERT_FALSE(address.isEmpty()) << stem.toStdString();
    EXPECT_EQ(categoryOf(address), category) << address.constData();
  }
  EXPECT_EQ(result.pictures, 7);
  EXPECT_TRUE(addressOf("eight").isEmpty());
  EXPECT_TRUE(addressOf("nine").isEmpty());
  EXPECT_EQ(result.passedOver, 3);
  EXPECT_TRUE(notedAbout("Landscapes"));
  EXPECT_TRUE(notedAbout("nine.jpg"));
  EXPECT_TRUE(notedAbout("1/notes.txt"));
  // Catalogue order: by category, then by the source's path.
  EXPECT_EQ(entriesOf(Shape::Normal).indexOf(addressOf("one")), 0);
  EXPECT_EQ(entriesOf(Shape::Normal).indexOf(addressOf("two")), 1);
}

TEST_F(PublishTest, ShapesFollowEachPicturesProportionsByTheProgramsRule) {
  addPicture("1/four-three.jpg", {800, 600}, 1);
  addPicture("1/three-two.png", {900, 600}, 2);  // exactly 1.5: still normal
  addPicture("1/sixteen-ten.jpg", {960, 600}, 3);
  addPicture("1/ultra.bmp", {1260, 540}, 4);
  addPicture("1/portrait.jpg", {600, 900}, 5);
  ASSERT_TRUE(publish().ok);
  const QList<QByteArray> normal = entriesOf(Shape::Normal), wide = entriesOf(Shape::Widescreen);
  EXPECT_TRUE(normal.contains(addressOf("four-three")));
  EXPECT_TRUE(normal.contains(addressOf("three-two")));
  EXPECT_TRUE(normal.contains(addressOf("portrait")));
  EXPECT_TRUE(wide.contains(addressOf("sixteen-ten")));
  EXPECT_TRUE(wide.contains(addressOf("ultra")));
  EXPECT_EQ(normal.size() + wide.size(), 5);
  for (const QByteArray& address : normal) {
    EXPECT_TRUE(address.contains("/pictures/normal/1/s_"));
    EXPECT_EQ(QImage(siteFile(address)).size(), QSize(145, 110)) << address.constData();
  }
  for (const QByteArray& address : wide) {
    EXPECT_TRUE(address.contains("/pictures/widescreen/1/s_"));
    EXPECT_EQ(QImage(siteFile(address)).size(), QSize(160, 100)) << address.constData();
  }
}

// --- the large pictures

TEST_F(PublishTest, JpegLargePictureIsTheSourceByteForByte) {
  addPicture("2/photo.jpeg", {1024, 768}, 3);
  ASSERT_TRUE(publish().ok);
  const QByteArray address = addressOf("photo");
  ASSERT_FALSE(address.isEmpty());
  EXPECT_TRUE(address.endsWith(".jpg"));
  EXPECT_EQ(readAll(largeFile(address)), readAll(source("2/photo.jpeg")));
  // The thumbnail shows the picture: its colours are the source's, shrunk.
  const QImage thumbnail(siteFile(address));
  const QImage expected =
      painted({1024, 768}, 3).scaled(thumbnail.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QRgb got = thumbnail.pixel(70, 55), want = expected.pixel(70, 55);
  EXPECT_NEAR(qRed(got), qRed(want), 12);
  EXPECT_NEAR(qGreen(got), qGreen(want), 12);
  EXPECT_NEAR(qBlue(got), qBlue(want), 12);
}

TEST_F(PublishTest, PngAndBmpAreConvertedToJpegOfTheSameSize) {
  addPicture("3/drawing.png", {640, 480}, 4);
  addPicture("3/scan.bmp", {640, 480}, 5);
  ASSERT_TRUE(publish().ok);
  for (const QString& stem : {QStringLiteral("drawing"), QStringLiteral("scan")}) {
    const QByteArray address = addressOf(stem);
    ASSERT_FALSE(address.isEmpty()) << stem.toStdString();
    EXPECT_TRUE(address.endsWith(".jpg"));
    const QString large = largeFile(address);
    EXPECT_TRUE(readAll(large).startsWith("\xff\xd8\xff")) << "not a JPEG: " << large.toStdString();
    QImageReader reader(large);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage image = reader.read();
    EXPECT_EQ(image.size(), QSize(640, 480));
    const QRgb got = image.pixel(320, 240),
               want = painted({640, 480}, stem == "drawing" ? 4 : 5).pixel(320, 240);
    EXPECT_NEAR(qRed(got), qRed(want), 8);
    EXPECT_NEAR(qBlue(got), qBlue(want), 8);
  }
}

TEST_F(PublishTest, TransparencyOfAPngBecomesBlack) {
  QImage image(400, 300, QImage::Format_ARGB32);
  image.fill(qRgba(255, 255, 255, 0));
  ASSERT_TRUE(QDir().mkpath(source("1")));
  ASSERT_TRUE(image.save(source("1/clear.png")));
  ASSERT_TRUE(publish().ok);
  const QImage large(largeFile(addressOf("clear")));
  ASSERT_FALSE(large.isNull());
  EXPECT_LT(qGray(large.pixel(200, 150)), 10);
}

TEST_F(PublishTest, BrokenPicturesArePassedOverAndTheRestPublished) {
  addPicture("1/good.jpg");
  addFile("1/broken.jpg", QByteArray("\xff\xd8\xff\xe0 definitely not a picture", 30));
  QByteArray cut = [&] {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    painted({800, 600}, 9).save(&buffer, "jpeg", 90);
    return bytes.left(bytes.size() / 2);
  }();
  addFile("1/cut.jpg", cut);
  const PublishResult result = publish();
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  EXPECT_EQ(result.pictures, 1);
  EXPECT_EQ(result.passedOver, 2);
  EXPECT_TRUE(notedAbout("1/broken.jpg"));
  EXPECT_TRUE(notedAbout("1/cut.jpg"));
  EXPECT_TRUE(addressOf("cut").isEmpty());
  // Nothing of the passed-over pictures stays in the site.
  for (const auto& [path, bytes] : snapshot(site()))
    EXPECT_FALSE(path.contains("cut") || path.contains("broken")) << path.toStdString();
}

// --- names

TEST_F(PublishTest, UnsafeAndClashingSourceNamesBecomeSafeUniqueNames) {
  addPicture("1/My Photo (1).JPG", {800, 600}, 1);
  addPicture("1/Été à la plage.jpg", {800, 600}, 2);
  addPicture("1/.$$$.temp.1.jpg", {800, 600}, 3);  // hidden: left alone
  addPicture("1/x.$$$.temp.2.jpg", {800, 600}, 4);
  addPicture("1/S_large.jpg", {800, 600}, 5);
  addPicture("1/日本.jpg", {800, 600}, 6);
  // The same name in two sub-folders, once with other content, once with the
  // same content.
  addPicture("1/a/same.jpg", {800, 600}, 7);
  addPicture("1/b/same.jpg", {800, 600}, 8);
  addPicture("1/c/same.jpg", {800, 600}, 8);
  ASSERT_TRUE(publish().ok);
  const QList<QByteArray> addresses = all();
  EXPECT_EQ(addresses.size(), 8);
  const QRegularExpression kSafeTail(QStringLiteral("^[a-z0-9][a-z0-9-]*\\.jpg$"));
  QStringList tails;
  for (const QByteArray& address : addresses) {
    const QString text = QString::fromLatin1(address);
    EXPECT_EQ(categoryOf(address), 1);
    const QString tail = text.mid(text.lastIndexOf("/s_") + 3);
    EXPECT_TRUE(kSafeTail.match(tail).hasMatch()) << tail.toStdString();
    EXPECT_TRUE(isSafeFileName("s_" + tail));
    EXPECT_FALSE(
        storedNetworkPath(QStringLiteral("/data/"), Shape::Normal, text, NetworkFile::Thumbnail).isEmpty())
        << address.constData();
    EXPECT_FALSE(storedNetworkPath(QStringLiteral("/data/"), Shape::Normal, largeAddressOf(text),
                                   NetworkFile::LargePicture)
                     .isEmpty());
    EXPECT_TRUE(QFile::exists(siteFile(address)));
    EXPECT_TRUE(QFile::exists(largeFile(address)));
    tails << tail;
  }
  tails.removeDuplicates();
  EXPECT_EQ(tails.size(), 8);
  EXPECT_FALSE(addressOf("my-photo-1").isEmpty());
  EXPECT_FALSE(addressOf("ete-a-la-plage").isEmpty());
  EXPECT_FALSE(addressOf("s-large").isEmpty());
  EXPECT_FALSE(addressOf("picture").isEmpty());
  EXPECT_EQ(tails.filter(QRegularExpression("^same-")).size(), 3);
}

TEST_F(PublishTest, NamesStayTheSameAtEveryPublish) {
  addPicture("1/a/same.jpg", {800, 600}, 7);
  addPicture("1/b/same.jpg", {800, 600}, 7);
  addPicture("1/c.jpg", {800, 600}, 8);
  ASSERT_TRUE(publish().ok);
  const QByteArray before = indexPage();
  // A new picture that sorts before them, with the same name and content.
  addPicture("1/0/same.jpg", {800, 600}, 7);
  ASSERT_TRUE(publish().ok);
  for (const QByteArray& address : parseIndexPage(before).normal)
    EXPECT_TRUE(all().contains(address)) << address.constData();
  EXPECT_EQ(all().size(), 4);
}

TEST_F(PublishTest, ChangedPictureGetsANewNameAndTheOldFilesGo) {
  addPicture("1/sea.jpg", {800, 600}, 1);
  ASSERT_TRUE(publish().ok);
  const QByteArray old = addressOf("sea");
  addPicture("1/sea.jpg", {800, 600}, 2);
  const PublishResult result = publish();
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.processed, 1);
  const QByteArray now = addressOf("sea");
  EXPECT_NE(now, old);
  EXPECT_EQ(readAll(largeFile(now)), readAll(source("1/sea.jpg")));
  EXPECT_FALSE(QFile::exists(siteFile(old)));
  EXPECT_FALSE(QFile::exists(largeFile(old)));
}

// --- publishing again

TEST_F(PublishTest, PublishingAgainWithNothingChangedKeepsTheIndexVersion) {
  addPicture("1/a.jpg", {800, 600}, 1);
  addPicture("4/b.png", {960, 600}, 2);
  const PublishResult first = publish();
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(first.processed, 2);
  EXPECT_GT(progressCalls, 0);
  const auto before = snapshot(site());
  const QFileInfo index(site("software/allindex.htm"));
  const QDateTime written = index.lastModified();

  const PublishResult second = publish();
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(second.processed, 0);
  EXPECT_FALSE(second.indexChanged);
  EXPECT_EQ(second.indexVersion, first.indexVersion);
  EXPECT_EQ(snapshot(site()), before);
  EXPECT_EQ(QFileInfo(site("software/allindex.htm")).lastModified(), written);

  // Touched but not changed: looked at again, not made again.
  QFile file(source("1/a.jpg"));
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
  file.close();
  const PublishResult third = publish();
  ASSERT_TRUE(third.ok);
  EXPECT_EQ(third.processed, 0);
  EXPECT_EQ(third.indexVersion, first.indexVersion);
}

TEST_F(PublishTest, AnAddedPictureChangesTheIndexVersion) {
  addPicture("1/a.jpg", {800, 600}, 1);
  const PublishResult first = publish();
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(indexVersionOf(versionPage()), first.indexVersion);
  addPicture("2/b.jpg", {800, 600}, 2);
  const PublishResult second = publish();
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(second.processed, 1);
  EXPECT_TRUE(second.indexChanged);
  EXPECT_NE(second.indexVersion, first.indexVersion);
  EXPECT_EQ(indexVersion(), second.indexVersion);
  EXPECT_EQ(all().size(), 2);
}

TEST_F(PublishTest, ARemovedPictureChangesTheIndexVersionAndLeavesTheSite) {
  addPicture("1/a.jpg", {800, 600}, 1);
  addPicture("1/b.jpg", {800, 600}, 2);
  const PublishResult first = publish();
  ASSERT_TRUE(first.ok);
  const QByteArray gone = addressOf("b");
  ASSERT_TRUE(QFile::remove(source("1/b.jpg")));
  const PublishResult second = publish();
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(second.removed, 1);
  EXPECT_NE(second.indexVersion, first.indexVersion);
  EXPECT_EQ(indexVersion(), second.indexVersion);
  EXPECT_EQ(all().size(), 1);
  EXPECT_FALSE(QFile::exists(siteFile(gone)));
  EXPECT_FALSE(QFile::exists(largeFile(gone)));
  EXPECT_FALSE(indexPage().contains("s_b-"));
}

TEST_F(PublishTest, AFailedRunLeavesTheOldSiteAsItWas) {
  addPicture("1/a.jpg", {800, 600}, 1);
  ASSERT_TRUE(publish().ok);
  // A file where category 3's folder must go: the run cannot write there.
  ASSERT_TRUE(QDir().mkpath(site("pictures/normal")));
  QFile blocker(site("pictures/normal/3"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const auto before = snapshot(site());
  addPicture("1/b.jpg", {800, 600}, 2);
  addPicture("3/c.jpg", {800, 600}, 3);
  ASSERT_TRUE(QFile::remove(source("1/a.jpg")));

  const PublishResult failed = publish();
  EXPECT_FALSE(failed.ok);
  EXPECT_TRUE(failed.error.contains("pictures/normal/3")) << failed.error.toStdString();
  EXPECT_EQ(snapshot(site()), before);

  ASSERT_TRUE(QFile::remove(site("pictures/normal/3")));
  const PublishResult mended = publish();
  ASSERT_TRUE(mended.ok) << mended.error.toStdString();
  EXPECT_EQ(all().size(), 2);
}

TEST_F(PublishTest, ASourceWithoutPicturesLeavesTheSite) {
  addPicture("1/a.jpg");
  ASSERT_TRUE(publish().ok);
  const auto before = snapshot(site());
  ASSERT_TRUE(QDir(source("1")).removeRecursively());
  addPicture("Misc/b.jpg");
  const PublishResult result = publish();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(snapshot(site()), before);

  PublishOptions missing;
  missing.source = source("no-such-folder");
  missing.site = site();
  missing.baseUrl = kBase;
  EXPECT_FALSE(publishCatalogue(missing).ok);
  EXPECT_EQ(snapshot(site()), before);
}

TEST_F(PublishTest, SiteInsideTheSourceIsRefused) {
  addPicture("1/a.jpg");
  PublishOptions options;
  options.source = source();
  options.site = source("1/site");
  options.baseUrl = kBase;
  const PublishResult result = publishCatalogue(options);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(QFile::exists(source("1/site")));
}

TEST_F(PublishTest, StrayPictureFilesLeaveTheSite) {
  addPicture("1/a.jpg");
  ASSERT_TRUE(publish().ok);
  for (const char* name : {"pictures/normal/1/s_old.jpg", "pictures/normal/1/.l_x.jpg.12-0.tmp"}) {
    QFile file(site(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  ASSERT_TRUE(publish().ok);
  EXPECT_FALSE(QFile::exists(site("pictures/normal/1/s_old.jpg")));
  EXPECT_FALSE(QFile::exists(site("pictures/normal/1/.l_x.jpg.12-0.tmp")));
  EXPECT_EQ(all().size(), 1);
}

// --- links below the site

// What a link below the site points at is not the site's: the run puts a
// real entry in the link's place and leaves the target alone.
TEST_F(PublishTest, LinksInTheSiteAreReplacedByRealEntriesAndNeverFollowed) {
  addPicture("1/a.jpg", {800, 600}, 1);
  addPicture("2/b.jpg", {800, 600}, 2);
  ASSERT_TRUE(publish().ok);
  QTemporaryDir elsewhere;
  const auto putFile = [](const QString& path, const QByteArray& bytes) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  };
  putFile(elsewhere.filePath("front.html"), "the user's own page");
  putFile(elsewhere.filePath("state.json"), readAll(site(kStateFileName)));
  putFile(elsewhere.filePath("other/notes.txt"), "another folder");
  putFile(elsewhere.filePath("photos/l_holiday.jpg"), "a photo");
  // What the link shows in the site's place is what the site had there.
  for (const auto& [name, bytes] : snapshot(site("pictures/normal/2")))
    putFile(elsewhere.filePath("photos/" + name), bytes);
  const auto linkInPlace = [&](const QString& relative, const QString& target) {
    const QFileInfo info(site(relative));
    if (info.isDir()) {
      ASSERT_TRUE(QDir(site(relative)).removeRecursively());
    }
    if (info.isFile()) {
      ASSERT_TRUE(QFile::remove(site(relative)));
    }
    ASSERT_TRUE(QDir().mkpath(info.path()));
    ASSERT_TRUE(QFile::link(elsewhere.filePath(target), site(relative))) << relative.toStdString();
  };
  linkInPlace("index.html", "front.html");
  linkInPlace(kStateFileName, "state.json");
  linkInPlace(".nimbra-catalogue.lock", "lock");  // to no file yet
  linkInPlace("software", "other");
  linkInPlace(".nimbra-catalogue.staging", "other");
  linkInPlace("pictures/normal/2", "photos");
  linkInPlace("pictures/widescreen/3", "photos");  // a folder no picture goes into
  const auto outside = snapshot(elsewhere.path());
  addPicture("2/c.jpg", {800, 600}, 3);

  const PublishResult result = publish();
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  EXPECT_EQ(changes(outside, snapshot(elsewhere.path())), "");
  for (const QString& relative : {QStringLiteral("index.html"), QStringLiteral(".nimbra-catalogue.json"),
                                  QStringLiteral("software"), QStringLiteral("pictures/normal/2")})
    EXPECT_FALSE(QFileInfo(site(relative)).isSymLink()) << relative.toStdString();
  EXPECT_TRUE(QFileInfo(site("software/ver.htm")).isFile());
  EXPECT_EQ(indexVersion(), result.indexVersion);
  EXPECT_EQ(all().size(), 3);
  for (const QByteArray& address : all()) {
    EXPECT_TRUE(QFileInfo(siteFile(address)).isFile()) << address.constData();
    EXPECT_TRUE(QFileInfo(largeFile(address)).isFile()) << address.constData();
  }
}

TEST_F(PublishTest, ASiteGivenAsALinkIsPublishedIntoItsTarget) {
  addPicture("1/a.jpg");
  QTemporaryDir links;
  const QString linked = links.filePath("site");
  ASSERT_TRUE(QFile::link(site(), linked));
  ASSERT_TRUE(publish(2, linked).ok);
  EXPECT_TRUE(QFileInfo(linked).isSymLink());
  EXPECT_EQ(all().size(), 1);
}

// --- a run that fails

// Sets the immutable flag, which even root cannot rename over; false where
// the file system or the process's rights do not allow it.
bool setImmutable(const QString& path, bool immutable) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return done;
}

// The version page is the last file a run replaces. When it cannot be
// replaced, whether that is known before the run changes anything (a file
// made read-only) or only when the rename fails, everything is as before.
TEST_F(PublishTest, AVersionPageThatCannotBeReplacedLeavesTheWholeSiteAsItWas) {
  addPicture("1/a.jpg", {800, 600}, 1);
  addPicture("2/gone.jpg", {800, 600}, 2);
  ASSERT_TRUE(publish().ok);
  addPicture("1/b.jpg", {800, 600}, 3);
  addPicture("4/d.jpg", {800, 600}, 4);  // a category folder the site does not have yet
  ASSERT_TRUE(QFile::remove(source("2/gone.jpg")));
  const QString version = site("software/ver.htm");
  const auto before = snapshot(site());
  const QStringList entries = QDir(site()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

  ASSERT_TRUE(QFile::setPermissions(version, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
  const PublishResult refused = publish();
  EXPECT_FALSE(refused.ok);
  EXPECT_TRUE(refused.error.contains("ver.htm")) << refused.error.toStdString();
  EXPECT_EQ(changes(before, snapshot(site())), "");
  EXPECT_EQ(QDir(site()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries);
  ASSERT_TRUE(QFile::setPermissions(version, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

  if (setImmutable(version, true)) {
    const PublishResult failed = publish();
    EXPECT_TRUE(setImmutable(version, false));
    EXPECT_FALSE(failed.ok);
    EXPECT_TRUE(failed.error.contains("ver.htm")) << failed.error.toStdString();
    EXPECT_EQ(changes(before, snapshot(site())), "");
    EXPECT_EQ(QDir(site()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries);
    EXPECT_FALSE(QFileInfo::exists(site("pictures/normal/4")));
  }

  const PublishResult mended = publish();
  ASSERT_TRUE(mended.ok) << mended.error.toStdString();
  EXPECT_EQ(all().size(), 3);
  EXPECT_EQ(indexVersion(), mended.indexVersion);
}

// --- the pages

TEST_F(PublishTest, PagesReadBackAsTheProgramReadsThem) {
  addPicture("1/a.jpg", {800, 600}, 1);
  addPicture("5/b.jpg", {1920, 1080}, 2);
  ASSERT_TRUE(publish().ok);
  const QByteArray version = versionPage();
  EXPECT_TRUE(hasPageMarkers(version));
  EXPECT_EQ(softwareVersionOf(version), CatalogueCheck::ProgramVersion.toLatin1());
  EXPECT_EQ(indexVersionOf(version), publish::indexVersion(indexPage()));
  EXPECT_TRUE(hasPageMarkers(indexPage()));
  EXPECT_FALSE(indexPage().contains('\r'));
  EXPECT_EQ(entriesOf(Shape::Normal).size(), 1);
  EXPECT_EQ(entriesOf(Shape::Widescreen).size(), 1);
  const QByteArray front = readAll(site("index.html"));
  for (const char* caption : {"Nature", "Cartoon", "Holiday", "Game and Movies", "Art &amp; illustrator"})
    EXPECT_TRUE(front.contains(caption)) << caption;
  EXPECT_TRUE(front.contains(
      picturePath({Shape::Widescreen, 5, addressOf("b").mid(addressOf("b").lastIndexOf("/s_") + 3)},
                  PictureKind::Large)
          .toLatin1()));
}

// --- rules

TEST(PublishRules, BaseAddresses) {
  QString problem;
  EXPECT_EQ(siteBaseUrl("http://Photos.Example.org", &problem), "http://photos.example.org/");
  EXPECT_EQ(siteBaseUrl("http://10.0.0.7/walls", &problem), "http://10.0.0.7/walls/");
  EXPECT_EQ(siteBaseUrl("HTTP://cdn.example/a/b-c_d/", &problem), "http://cdn.example/a/b-c_d/");
  EXPECT_EQ(siteBaseUrl("https://Walls.Example/", &problem), "https://walls.example/");
  EXPECT_EQ(siteBaseUrl("HTTPS://127.0.0.1:8443/w", &problem), "https://127.0.0.1:8443/w/");
  EXPECT_EQ(siteBaseUrl("http://x.example:80/", &problem), "http://x.example/");
  for (const char* bad : {"ftp://x.example/", "http://x.example:0/", "http://x.example/Walls/", "ftp://x/",
                          "http://x.example/s_pics/", "http://x.example/a/../b/", "http://x.example/a b/",
                          "http:///", "x.example"}) {
    problem.clear();
    EXPECT_TRUE(siteBaseUrl(bad, &problem).isEmpty()) << bad;
    EXPECT_FALSE(problem.isEmpty()) << bad;
  }
}

TEST(PublishRules, ContentHashIsXxh64) {
  EXPECT_EQ(contentHash(QByteArrayView()), 0xEF46DB3751D8E999ULL);
  EXPECT_EQ(contentHash(QByteArrayView("abc")), 0x44BC2CF5AD770999ULL);
  const QByteArray longer(1000, 'x');
  EXPECT_EQ(contentHash(longer), contentHash(QByteArray(1000, 'x')));
  EXPECT_NE(contentHash(longer), contentHash(QByteArray(1001, 'x')));
}

TEST(PublishRules, NaturalOrder) {
  EXPECT_TRUE(naturalLess("Nature/img2.jpg", "Nature/img10.jpg"));
  EXPECT_FALSE(naturalLess("Nature/img10.jpg", "Nature/img2.jpg"));
  EXPECT_TRUE(naturalLess("a/Beach.jpg", "a/cliff.jpg"));
  EXPECT_TRUE(naturalLess("a/b.jpg", "a/b2.jpg"));
  EXPECT_FALSE(naturalLess("a.jpg", "a.jpg"));
}

// --- the program pointed at a site of one's own

class HomeSiteTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
  void SetUp() override { qunsetenv("NIMBRA_HOME_HOST"); }
  void TearDown() override { qunsetenv("NIMBRA_HOME_HOST"); }
  void setHomeInSettings(const QString& host) const {
    IniFile(folder.file("setting.ini")).WriteIniText("home", "host", host);
  }
};

TEST_F(HomeSiteTest, BuiltInHostWithoutAnOverride) {
  EXPECT_EQ(homeSite(folder.path()), "http://" + builtInHomeHost());
}

TEST_F(HomeSiteTest, SettingsFileNamesTheHomeHost) {
  setHomeInSettings("Gallery.Family.Example");
  EXPECT_EQ(homeSite(folder.path()), "http://gallery.family.example");
  setHomeInSettings("HTTPS://Gallery.Family.Example:8443/pictures/");
  EXPECT_EQ(homeSite(folder.path()), "https://gallery.family.example:8443/pictures");
}

TEST_F(HomeSiteTest, EnvironmentComesBeforeTheSettingsFile) {
  setHomeInSettings("gallery.family.example");
  qputenv("NIMBRA_HOME_HOST", "127.0.0.1");
  EXPECT_EQ(homeSite(folder.path()), "http://127.0.0.1");
  qputenv("NIMBRA_HOME_HOST", "https://127.0.0.1/");
  EXPECT_EQ(homeSite(folder.path()), "https://127.0.0.1");
}

TEST_F(HomeSiteTest, UnusableValuesArePassedOver) {
  setHomeInSettings("gallery.example:80800");
  EXPECT_EQ(homeSite(folder.path()), "http://" + builtInHomeHost());
  setHomeInSettings("gallery.family.example");
  qputenv("NIMBRA_HOME_HOST", "ftp://x.example/");
  EXPECT_EQ(homeSite(folder.path()), "http://gallery.family.example");
  qputenv("NIMBRA_HOME_HOST", "");
  EXPECT_EQ(homeSite(folder.path()), "http://gallery.family.example");
}

TEST(HomeSiteAddress, WhatAUserWritesBecomesOneForm) {
  const auto address = [](const char* text) { return homeSiteAddress(text).value_or("(refused)"); };
  EXPECT_EQ(address("wallpapers.example.org"), "http://wallpapers.example.org");
  EXPECT_EQ(address(" https://Wallpapers.Example.org/ "), "https://wallpapers.example.org");
  EXPECT_EQ(address("http://host:80/"), "http://host");
  EXPECT_EQ(address("https://host:443"), "https://host");
  EXPECT_EQ(address("https://host:80"), "https://host:80");
  EXPECT_EQ(address("http://127.0.0.1:8080/gallery//"), "http://127.0.0.1:8080/gallery");
  EXPECT_EQ(address("https://user.github.io/Repo-Name/"), "https://user.github.io/Repo-Name");
  for (const char* refused : {"", "ftp://host/", "http://", "http://host:0", "http://host:65536",
                              "http://host:x", "http://ho st/", "http://host/a b", "http://host/../x",
                              "http://host/?q=1", "http://host/#top", "http://user@host/", "http://[::1]/"})
    EXPECT_EQ(address(refused), "(refused)") << refused;
}

// A published site, served under the host setting.ini names, is the
// catalogue the program stores.
TEST_F(HomeSiteTest, CatalogueCheckReadsAPublishedSiteAtTheConfiguredHost) {
  QTemporaryDir source, site;
  ASSERT_TRUE(QDir().mkpath(source.filePath("Nature")));
  ASSERT_TRUE(painted({800, 600}, 1).save(source.filePath("Nature/a.jpg"), "jpeg"));
  ASSERT_TRUE(painted({1600, 900}, 2).save(source.filePath("Nature/b.jpg"), "jpeg"));
  PublishOptions options;
  options.source = source.path();
  options.site = site.path();
  options.baseUrl = "http://gallery.family.example/";
  const PublishResult published = publishCatalogue(options);
  ASSERT_TRUE(published.ok) << published.error.toStdString();

  TestHttpServer server;
  server.mapHost("gallery.family.example");
  for (const char* page : {"/software/ver.htm", "/software/allindex.htm"})
    server.serve(page, readAll(site.filePath(QString(page).mid(1))));
  setHomeInSettings("gallery.family.example");
  LanguageTexts texts;
  // The program reads its home host once, at start.
  AppContext context = folder.context();
  context.homeSite = homeSite(folder.path());
  context.endpoints = server.endpoints();
  CatalogueCheck check(texts, context);
  std::optional<CheckOutcome> outcome;
  QObject::connect(&check, &CatalogueCheck::finished, [&](const CheckOutcome& o) { outcome = o; });
  check.CheckCatalogueUpdate();
  ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
  EXPECT_TRUE(outcome->mayGoOn) << outcome->errorTip.toStdString();
  const IniFile settings(folder.file("setting.ini"));
  EXPECT_EQ(settings.ReadIniText(kCheckSection, "indexver", QString()), QString(published.indexVersion));
  const CatalogueEntries entries = parseIndexPage(readAll(site.filePath("software/allindex.htm")));
  ASSERT_EQ(entries.normal.size(), 1);
  ASSERT_EQ(entries.widescreen.size(), 1);
  EXPECT_EQ(settings.ReadIniText(kNormalSection, "1", QString()), QString(entries.normal[0]));
  EXPECT_EQ(settings.ReadIniText(kWidescreenSection, "1", QString()), QString(entries.widescreen[0]));
}

}  // namespace

// File names that are not UTF-8: the name codec, reading folders and opening
// files by their bytes, and such a picture applied from the grid and kept in
// the rotation list across a restart.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>

#include "app/Main.h"
#include "library/RotationController.h"
#include "library/RotationRules.h"
#include "library/SetDesktopWallpaper.h"
#include "library/Settings.h"
#include "library/WallpaperWorker.h"
#include "platform/DesktopControl.h"
#include "platform/FileNames.h"
#include "platform/WallpaperSetter.h"
#include "support/ProgramFolder.h"
#include "support/RawNames.h"

namespace {

// Names a file system may hold that are not UTF-8, and some that are.
const QByteArray kNames[] = {
    "caf\xE9.jpg",          // Latin-1
    "\xBA\xA3.jpg",         // GBK
    "\xC0\xAF",             // an overlong "/"
    "\xED\xA0\x80x",        // a surrogate written as UTF-8
    "\xE2\x82",             // cut short
    "\xF4\x90\x80\x80",     // beyond U+10FFFF
    "\x80\xBF\xFF\xFE",     // no lead byte at all
    "\xE9\xC3\xA9",         // a stray byte before a real character
    "t\xC3\xA9t\xC3\xA9",   // valid: two-byte characters
    "\xE6\xB5\xB7",         // valid: a three-byte character
    "\xF0\x9F\x98\x80.bmp"  // valid: a four-byte character
};

bool isUtf8(const QByteArray& bytes) { return QString::fromUtf8(bytes).toUtf8() == bytes; }

void writeRaw(const QByteArray& path, const QByteArray& content) {
  ASSERT_TRUE(writeRawFile(path, content)) << path.toHex().constData();
}

// A picture saved under a plain name, then given the name's bytes; its
// format follows the name's extension.
void writePictureRaw(const ProgramFolder& folder, const QString& relativeFolder, const QByteArray& name,
                     const QColor& colour) {
  const QString plainName = name.endsWith(".bmp") ? QStringLiteral("plain.bmp") : QStringLiteral("plain.jpg");
  const QString plain = folder.writePicture(relativeFolder + plainName, QSize(16, 12), colour);
  ASSERT_TRUE(renameRaw(plain, QFile::encodeName(folder.file(relativeFolder)) + name));
}

}  // namespace

// --- the codec

TEST(FileNameCodec, EveryNameComesBackAsTheSameBytes) {
  for (const QByteArray& name : kNames)
    EXPECT_EQ(encodeFileName(decodeFileName(name)), name) << name.toHex().constData();
  // Every one- and two-byte name, whatever it holds.
  for (int a = 1; a < 256; ++a) {
    const QByteArray one(1, char(a));
    ASSERT_EQ(encodeFileName(decodeFileName(one)), one) << a;
    for (int b = 1; b < 256; ++b) {
      const QByteArray two = one + char(b);
      ASSERT_EQ(encodeFileName(decodeFileName(two)), two) << a << " " << b;
    }
  }
}

TEST(FileNameCodec, ValidUtf8IsTheTextQtGivesIt) {
  for (const QByteArray& name : kNames) {
    if (!isUtf8(name)) continue;
    EXPECT_EQ(decodeFileName(name), QString::fromUtf8(name)) << name.toHex().constData();
    EXPECT_FALSE(holdsForeignBytes(decodeFileName(name)));
    EXPECT_EQ(encodeFileName(QString::fromUtf8(name)), name);
  }
}

TEST(FileNameCodec, AByteThatIsNotUtf8IsKeptAsItsOwnCharacter) {
  const QString name = decodeFileName("caf\xE9.jpg");
  EXPECT_EQ(name, QStringLiteral("caf") + QChar(0xDCE9) + QStringLiteral(".jpg"));
  EXPECT_TRUE(holdsForeignBytes(name));
  // The stray byte goes alone; the character after it is still read.
  EXPECT_EQ(decodeFileName("\xE9\xC3\xA9"), QString(QChar(0xDCE9)) + QChar(0xE9));
  for (const QByteArray& bytes : kNames)
    EXPECT_EQ(holdsForeignBytes(decodeFileName(bytes)), !isUtf8(bytes)) << bytes.toHex().constData();
}

TEST(FileNameCodec, TheFileUriNamesTheExactBytes) {
  const QString path = decodeFileName("/pictures/caf\xE9 & more%.jpg");
  const QByteArray uri = fileUri(path);
  EXPECT_EQ(uri, "file:///pictures/caf%E9%20&%20more%25.jpg");
  EXPECT_EQ(QByteArray::fromPercentEncoding(uri.mid(7)), encodeFileName(path));
  // A UTF-8 name gets the URI Qt gives it.
  const QString utf8 = QString::fromUtf8(
      "/pictures/\xC3\x9C"
      "bersicht it's.jpg");
  EXPECT_EQ(fileUri(utf8), QUrl::fromLocalFile(utf8).toEncoded());
}

// --- folders and files by their bytes

TEST(FileNameFolders, AFolderListsEveryNameWithItsKind) {
  QTemporaryDir dir;
  const RawNamesCleanup cleanup(dir.path());
  const QByteArray root = QFile::encodeName(dir.path()) + '/';
  writeRaw(root + "caf\xE9.jpg", "picture");
  ASSERT_EQ(::mkdir(QByteArray(root + "sub\xFF").constData(), 0700), 0);
  ASSERT_EQ(::symlink("caf\xE9.jpg", QByteArray(root + "link\xE9").constData()), 0);
  ASSERT_EQ(::symlink("missing", QByteArray(root + "broken").constData()), 0);
  ASSERT_EQ(::mkfifo(QByteArray(root + "pipe").constData(), 0600), 0);

  std::vector<FolderEntry> entries = readFolder(decodeFileName(root));
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 5u);
  const auto check = [&](size_t i, const QByteArray& name, EntryKind kind, bool isLink) {
    EXPECT_EQ(encodeFileName(entries[i].name), name);
    EXPECT_EQ(entries[i].kind, kind) << name.constData();
    EXPECT_EQ(entries[i].isLink, isLink) << name.constData();
  };
  check(0, "broken", EntryKind::Other, true);
  check(1, "caf\xE9.jpg", EntryKind::File, false);
  check(2, "link\xE9", EntryKind::File, true);
  check(3, "pipe", EntryKind::Other, false);
  check(4, "sub\xFF", EntryKind::Folder, false);
  EXPECT_TRUE(readFolder(decodeFileName(root + "missing/")).empty());
  EXPECT_EQ(encodeFileName(realPath(decodeFileName(root + "link\xE9"))),
            QFile::encodeName(QDir(dir.path()).canonicalPath()) + "/caf\xE9.jpg");
}

TEST(FileNameFolders, AFileIsOpenedByItsBytesAndAPipeNeverIs) {
  QTemporaryDir dir;
  const RawNamesCleanup cleanup(dir.path());
  const QByteArray root = QFile::encodeName(dir.path()) + '/';
  writeRaw(root + "caf\xE9.jpg", "picture");
  ASSERT_EQ(::mkfifo(QByteArray(root + "pipe\xE9.jpg").constData(), 0600), 0);

  OpenFailure failure = OpenFailure::Unreadable;
  const std::unique_ptr<QFile> file = openFileForReading(decodeFileName(root + "caf\xE9.jpg"), &failure);
  ASSERT_TRUE(file);
  EXPECT_EQ(failure, OpenFailure::None);
  EXPECT_EQ(file->readAll(), "picture");
  EXPECT_TRUE(isReadableFile(decodeFileName(root + "caf\xE9.jpg")));

  EXPECT_FALSE(openFileForReading(decodeFileName(root + "pipe\xE9.jpg"), &failure));
  EXPECT_EQ(failure, OpenFailure::NotAFile);
  EXPECT_FALSE(openFileForReading(decodeFileName(root + "caf\xE8.jpg"), &failure));
  EXPECT_EQ(failure, OpenFailure::Missing);
  EXPECT_FALSE(isReadableFile(decodeFileName(root)));
}

// --- applying and the rotation list

namespace {

class RecordingSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path, const CancelToken&) override {
    applied << path;
    return SetResult::applied();
  }
  QString name() const override { return QStringLiteral("recording desktop"); }
  QStringList applied;
};

class ByteNamesTest : public ::testing::Test {
 protected:
  void settle() {
    ASSERT_TRUE(waitUntil([&] { return worker.idle(); }));
  }

  QByteArray rawPath(const QString& relative, const QByteArray& name) const {
    return QFile::encodeName(folder.file(relative)) + name;
  }
  QByteArray appliedBytes(qsizetype i) const { return encodeFileName(setter->applied.value(i)); }

  ProgramFolder folder;
  RawNamesCleanup cleanup{folder.path()};
  DialogsRecorder dialogs;
  std::shared_ptr<RecordingSetter> setter = std::make_shared<RecordingSetter>();
  WallpaperWorker worker{setter};
};

}  // namespace

TEST_F(ByteNamesTest, AFileWhoseNameIsNotUtf8IsHandedToTheDesktopByItsBytes) {
  const QString relative = QStringLiteral("pictures/");
  QDir().mkpath(folder.file(relative));
  writePictureRaw(folder, relative, "l_caf\xE9.bmp", Qt::red);
  SetDesktopWallpaper(*setter, decodeFileName(rawPath(relative, "l_caf\xE9.bmp")), CancelToken());
  ASSERT_EQ(setter->applied.size(), 1);
  EXPECT_EQ(appliedBytes(0), rawPath(relative, "l_caf\xE9.bmp"));
}

TEST_F(ByteNamesTest, TheGridAppliesTheLargePictureOfSuchAName) {
  const QString category = QStringLiteral("wallpaper/normal/local/1/");
  writePictureRaw(folder, category, "s_caf\xE9.jpg", Qt::blue);
  writePictureRaw(folder, category, "l_caf\xE9.jpg", Qt::red);
  const auto window = makeMainWindowWith(dialogs.addTo(folder.context(setter)));
  window->show();
  ASSERT_TRUE(waitUntil([&] { return window->wallpaperWorker().idle(); }));
  setter->applied.clear();  // start-up may step the rotation list
  ASSERT_EQ(window->browse().state().shownSlots, 1);
  int applies = 0;
  QObject::connect(window.get(), &TfrmMain::applyFinished, [&] { ++applies; });
  window->imgW1Click(1);
  window->btnSetWallpaperClick();
  ASSERT_TRUE(waitUntil([&] { return applies == 1; }));
  ASSERT_EQ(setter->applied.size(), 1);
  EXPECT_EQ(appliedBytes(0), rawPath(category, "l_caf\xE9.jpg"));
}

TEST_F(ByteNamesTest, TheRotationListKeepsSuchANameAcrossARestart) {
  const QString category = QStringLiteral("wallpaper/normal/local/2/");
  writePictureRaw(folder, category, "l_a.jpg", Qt::green);
  writePictureRaw(folder, category, "l_caf\xE9.jpg", Qt::red);
  {
    RotationController rotation(worker, folder.path());
    rotation.RebuildRotationList(Shape::Normal);
    ASSERT_EQ(rotation.rows().size(), 2);
    EXPECT_EQ(encodeFileName(rotation.rows()[1]), rawPath(category, "l_caf\xE9.jpg"));
  }
  // The list file holds the path's own bytes.
  EXPECT_EQ(folder.readFile("list.dat"),
            rawPath(category, "l_a.jpg") + "\r\n" + rawPath(category, "l_caf\xE9.jpg") + "\r\n");

  RotationController restarted(worker, folder.path());
  restarted.LoadRotationList(Shape::Normal);
  ASSERT_EQ(restarted.rows().size(), 2);
  EXPECT_EQ(encodeFileName(restarted.rows()[1]), rawPath(category, "l_caf\xE9.jpg"));
  restarted.applyRow(1);
  settle();
  ASSERT_EQ(setter->applied.size(), 1);
  EXPECT_EQ(appliedBytes(0), rawPath(category, "l_caf\xE9.jpg"));
}

TEST(RotationListBytes, ALineThatIsNotUtf8IsTheFileItNamesElseTheOldCodePage) {
  QTemporaryDir dir;
  const RawNamesCleanup cleanup(dir.path());
  const QByteArray stored = QFile::encodeName(dir.path()) + "/l_\xBA\xA3.jpg";
  writeRaw(stored, "picture");
  // Also valid GBK, but a file of these very bytes exists.
  const QStringList rows = parseRotationText(stored + "\r\n/nowhere/l_\xBA\xA3.jpg\r\n");
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(encodeFileName(rows[0]), stored);
  EXPECT_EQ(rows[1], QString::fromUtf8("/nowhere/l_\xE6\xB5\xB7.jpg"));
  EXPECT_EQ(formatRotationText({rows[0], rows[1]}), stored + "\r\n/nowhere/l_\xE6\xB5\xB7.jpg\r\n");
}

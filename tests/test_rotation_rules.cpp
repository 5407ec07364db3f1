// The rotation list's file format, its scan and its position arithmetic.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <climits>

#include "library/RotationRules.h"

namespace {

class RotationFolder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

  QString root() const { return m_dir.path() + "/"; }
  QString touch(const QString& relative) const {
    const QString path = root() + relative;
    QDir().mkpath(path.left(path.lastIndexOf('/')));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    return path;
  }
  QStringList collect(const QString& relative = QString()) const {
    QStringList list;
    CollectLargePictures(root() + relative, list);
    for (QString& path : list) path.remove(0, root().size());
    return list;
  }

  QTemporaryDir m_dir;
};

const QStringList kRows = {"R1", "R2", "R3", "R4"};

ExistsFn onlyThese(const QStringList& present) {
  return [present](const QString& path) { return present.contains(path); };
}

}  // namespace

TEST(RotationText, LineEndsOfEveryKind) {
  EXPECT_EQ(parseRotationText("a\r\nb\nc\rd"), QStringList({"a", "b", "c", "d"}));
  EXPECT_EQ(parseRotationText("a\r\nb\r\n"), QStringList({"a", "b"}));
  EXPECT_EQ(parseRotationText("a\r\n\r\nb"), QStringList({"a", "", "b"}));
  EXPECT_EQ(parseRotationText("a\r\r\nb"), QStringList({"a", "", "b"}));
  EXPECT_EQ(parseRotationText("\r\n"), QStringList({""}));
  EXPECT_TRUE(parseRotationText("").isEmpty());
}

TEST(RotationText, ZeroByteEndsTheText) {
  EXPECT_EQ(parseRotationText(QByteArray("a\r\nb\0c\r\nd\r\n", 11)), QStringList({"a", "b"}));
  EXPECT_TRUE(parseRotationText(QByteArray("\0a\r\n", 4)).isEmpty());
}

TEST(RotationText, Utf8AndLegacyPathsAndWriting) {
  const QString sea = QString::fromUtf8("/home/u/\u6d77/l_\u6d77.jpg");
  EXPECT_EQ(parseRotationText(sea.toUtf8() + "\r\n"), QStringList({sea}));
  // The same path from an old GBK list.
  const QByteArray gbk = "/home/u/\xba\xa3/l_\xba\xa3.jpg\r\n";
  const QStringList legacy = parseRotationText(gbk);
  ASSERT_EQ(legacy.size(), 1);
  if (QStringDecoder("GB18030").isValid()) {
    EXPECT_EQ(legacy.first(), sea);
  }

  EXPECT_EQ(formatRotationText({"a", "", sea}), QByteArray("a\r\n\r\n") + sea.toUtf8() + "\r\n");
  EXPECT_EQ(parseRotationText(formatRotationText({"a", "", sea})), QStringList({"a", "", sea}));
}

// Only the file's first bytes are a byte-order mark; an entry may start with
// U+FEFF, the first one too.
TEST(RotationText, AnEntryThatStartsWithUFeffKeepsIt) {
  const QString feff(QChar(0xFEFF));
  const QStringList entries = {feff + "/p/l_a.jpg", feff + "/p/l_b.jpg", "/p/l_c.jpg"};
  EXPECT_EQ(parseRotationText(formatRotationText(entries)), entries);
  EXPECT_EQ(parseRotationText(formatRotationText(entries.mid(1))), entries.mid(1));
  EXPECT_EQ(parseRotationText(formatRotationText({feff})), QStringList{feff});
  // Only a first entry that needs one gets a byte-order mark.
  EXPECT_EQ(formatRotationText({"/p/l_c.jpg", feff + "x"}), "/p/l_c.jpg\r\n" + (feff + "x\r\n").toUtf8());
  EXPECT_EQ(parseRotationText("\xEF\xBB\xBF/p/l_c.jpg\r\n"), QStringList{"/p/l_c.jpg"});
  // In a list that is not UTF-8 throughout, too.
  EXPECT_EQ(parseRotationText("/p/l_\xba\xa3.jpg\r\n\xEF\xBB\xBF/p/l_b.jpg\r\n").value(1),
            feff + "/p/l_b.jpg");
}

TEST_F(RotationFolder, ListFileIsWrittenWholeIntoANewFolder) {
  const QString path = root() + "new/folder/list.dat";
  EXPECT_FALSE(readRotationFile(path).has_value());
  ASSERT_TRUE(writeRotationFile(path, {"/p/l_a.jpg", "/p/l_b.jpg"}));
  ASSERT_TRUE(writeRotationFile(path, {"/p/l_c.jpg"}));
  EXPECT_EQ(readRotationFile(path), QStringList({"/p/l_c.jpg"}));
  EXPECT_EQ(QDir(root() + "new/folder").entryList(QDir::Files | QDir::Hidden), QStringList({"list.dat"}));
  ASSERT_TRUE(writeRotationFile(path, {}));
  EXPECT_EQ(readRotationFile(path), QStringList());
}

TEST_F(RotationFolder, UnwritableListFileIsReportedAndTheOldOneKept) {
  touch("blocker");
  QString error;
  EXPECT_FALSE(writeRotationFile(root() + "blocker/list.dat", {"x"}, &error));
  EXPECT_FALSE(error.isEmpty());
  ASSERT_TRUE(QDir().mkpath(root() + "list.dat"));  // a folder where the file should be
  EXPECT_FALSE(writeRotationFile(root() + "list.dat", {"x"}));
  EXPECT_TRUE(QFileInfo(root() + "list.dat").isDir());
}

TEST(RotationScan, PictureRule) {
  for (const char* name : {"l_sea.jpg", "L_SEA.BMP", "logo.jpg", "l.x.JPG", "l.jpg"})
    EXPECT_TRUE(isRotationPicture(name)) << name;
  for (const char* name :
       {"s_sea.jpg", "l_sea.png", "l_sea", "l_sea.jpg.png", "l_sea.jpeg", ".jpg", "al_sea.jpg"})
    EXPECT_FALSE(isRotationPicture(name)) << name;
}

TEST_F(RotationFolder, ScanIsDepthFirstInNameOrder) {
  for (const char* name :
       {"local/1/l_b.jpg", "local/1/s_b.jpg", "local/1/L_A.BMP", "Logo.jpg", "network/2/l_c.jpg",
        "a/b/c/l_deep.jpg", "l_sea.png", "s_sea.jpg", "zz/l_last.bmp"})
    touch(name);
  QDir().mkpath(root() + "local/empty");
  QDir().mkpath(root() + "l_folder.jpg");
  EXPECT_EQ(collect(), QStringList({"a/b/c/l_deep.jpg", "local/1/L_A.BMP", "local/1/l_b.jpg", "Logo.jpg",
                                    "network/2/l_c.jpg", "zz/l_last.bmp"}));
  EXPECT_TRUE(collect("missing/").isEmpty());
  // What the start-up load keeps: files, not folders.
  EXPECT_TRUE(fileExists(root() + "Logo.jpg"));
  EXPECT_FALSE(fileExists(root() + "l_folder.jpg"));
  EXPECT_FALSE(fileExists(""));
}

// "list.dat" holds a path a line: one with a line break is left out of the
// scan, and returned so that the caller can say so.
TEST_F(RotationFolder, ScanLeavesOutPathsWithALineBreak) {
  for (const char* name : {"l_a.jpg", "l_b\nc.jpg", "l_d\re.jpg", "sub\nx/l_f.jpg", "sub\nx/s_g.jpg",
                           "sub/l_h.jpg", "s_i\n.jpg"})
    touch(name);
  QStringList list;
  const QStringList leftOut = CollectLargePictures(root(), list);
  EXPECT_EQ(list, QStringList({root() + "l_a.jpg", root() + "sub/l_h.jpg"}));
  EXPECT_EQ(leftOut, QStringList({root() + "l_b\nc.jpg", root() + "l_d\re.jpg", root() + "sub\nx/l_f.jpg"}));
  EXPECT_EQ(parseRotationText(formatRotationText(list)), list);
  EXPECT_FALSE(canBeListed("/a/b\nc.jpg"));
  EXPECT_TRUE(canBeListed("/a/b c.jpg"));
}

TEST_F(RotationFolder, LinksBackIntoTheScanAreNotFollowed) {
  touch("shape/sub/l_a.jpg");
  touch("other/l_x.jpg");
  ASSERT_TRUE(QFile::link(root() + "shape", root() + "shape/sub/loop"));
  ASSERT_TRUE(QFile::link(root() + "shape/sub", root() + "shape/sub/self"));
  ASSERT_TRUE(QFile::link(root() + "shape/sub/../sub", root() + "shape/sub/dotted"));
  ASSERT_TRUE(QFile::link(root() + "other", root() + "shape/to-other"));
  ASSERT_TRUE(QFile::link(root() + "shape/sub/l_a.jpg", root() + "shape/l_linked.jpg"));
  ASSERT_TRUE(QFile::link(root() + "gone.jpg", root() + "shape/l_broken.jpg"));
  EXPECT_EQ(collect("shape/"),
            QStringList({"shape/l_linked.jpg", "shape/sub/l_a.jpg", "shape/to-other/l_x.jpg"}));
}

TEST(RotationPositions, RemovalAdjustment) {
  EXPECT_EQ(positionAfterRemoval(2, 1, 3), 1);  // 3 left, more than 2
  EXPECT_EQ(positionAfterRemoval(3, 1, 2), 1);  // 2 left, not more than 3
  EXPECT_EQ(positionAfterRemoval(3, 1, 4), 2);
  EXPECT_EQ(positionAfterRemoval(2, 2, 3), 2);  // the current row itself
  EXPECT_EQ(positionAfterRemoval(2, 4, 3), 2);
}

TEST(RotationPositions, StartupDropsMissingFiles) {
  QStringList rows = kRows;
  int current = 2;
  dropMissingEntries(rows, current, onlyThese({"R2", "R3", "R4"}));
  EXPECT_EQ(rows, QStringList({"R2", "R3", "R4"}));
  EXPECT_EQ(current, 1);

  rows = {"R1", "R2", "R3"};
  current = 3;
  dropMissingEntries(rows, current, onlyThese({"R2", "R3"}));
  EXPECT_EQ(rows, QStringList({"R2", "R3"}));
  EXPECT_EQ(current, 1);

  // Neighbours gone in a row: the entry that moves up is examined too.
  rows = {"R1", "", "R2", "R3", "R4"};
  current = 5;
  dropMissingEntries(rows, current, onlyThese({"R3", "R4"}));
  EXPECT_EQ(rows, QStringList({"R3", "R4"}));
  EXPECT_EQ(current, 1);
}

TEST(RotationPositions, NextAndPreviousWrapAround) {
  const QStringList rows = {"R1", "R2", "R3"};
  const ExistsFn all = onlyThese(rows);
  EXPECT_EQ(nextPosition(rows, 2, all), 3);
  EXPECT_EQ(nextPosition(rows, 3, all), 1);
  EXPECT_EQ(previousPosition(rows, 1, all), 3);
  EXPECT_EQ(previousPosition(rows, 3, all), 2);
}

TEST(RotationPositions, NextAndPreviousSkipMissingFilesAndNeverTheCurrentRow) {
  EXPECT_EQ(nextPosition(kRows, 1, onlyThese({"R1", "R3"})), 3);
  EXPECT_EQ(previousPosition(kRows, 1, onlyThese({"R1", "R3"})), 3);
  EXPECT_EQ(nextPosition(kRows, 3, onlyThese({"R2", "R3"})), 2);
  const QStringList rows = {"R1", "R2", "R3"};
  EXPECT_EQ(nextPosition(rows, 2, onlyThese({"R2"})), std::nullopt);
  EXPECT_EQ(previousPosition(rows, 2, onlyThese({"R2"})), std::nullopt);
  EXPECT_EQ(nextPosition({}, 1, onlyThese({})), std::nullopt);
}

TEST(RotationPositions, PositionsBeyondTheListExamineExistingRowsOnly) {
  const QStringList rows = {"R1", "R2", "R3"};
  const ExistsFn all = onlyThese(rows);
  EXPECT_EQ(nextPosition(rows, 4, all), 1);  // after removing the last, current row
  EXPECT_EQ(previousPosition(rows, 4, all), 3);
  for (int current : {0, -7, 100, INT_MAX, INT_MIN}) {
    const auto next = nextPosition(rows, current, all);
    const auto previous = previousPosition(rows, current, all);
    ASSERT_TRUE(next && previous) << current;
    EXPECT_TRUE(*next >= 1 && *next <= 3) << current;
    EXPECT_TRUE(*previous >= 1 && *previous <= 3) << current;
  }
}

TEST(RotationPositions, AdvanceWrapsAndNeverLeavesTheList) {
  EXPECT_EQ(advanceTarget(2, 3), 3);
  EXPECT_EQ(advanceTarget(3, 3), 1);
  EXPECT_EQ(advanceTarget(4, 3), 1);
  EXPECT_EQ(advanceTarget(0, 3), 1);
  EXPECT_EQ(advanceTarget(-5, 3), 1);
  EXPECT_EQ(advanceTarget(INT_MAX, 3), 1);
  EXPECT_EQ(advanceTarget(1, 0), std::nullopt);
}

TEST(RotationPositions, StoredPositionIsBroughtIntoRange) {
  EXPECT_EQ(positionInRange(1, 3), 1);
  EXPECT_EQ(positionInRange(4, 3), 4);  // one past the end stays
  EXPECT_EQ(positionInRange(0, 3), 4);
  EXPECT_EQ(positionInRange(-2, 3), 4);
  EXPECT_EQ(positionInRange(9, 3), 4);
  EXPECT_EQ(positionInRange(INT_MAX, 3), 4);
  EXPECT_EQ(positionInRange(9, 0), 9);  // nothing to step through: unchanged
}

TEST(RotationSchedule, DailyChangeNeedsAWholeDay) {
  const QDateTime start(QDate(2024, 3, 1), QTime(8, 0));
  EXPECT_FALSE(dayHasPassed(start, start.addSecs(23 * 3600)));
  EXPECT_TRUE(dayHasPassed(start, start.addSecs(24 * 3600)));
  EXPECT_TRUE(dayHasPassed(start, start.addSecs(25 * 3600)));
  EXPECT_TRUE(dayHasPassed(start, start.addSecs(-25 * 3600)));  // clock set back
  EXPECT_FALSE(dayHasPassed(start, start.addSecs(-23 * 3600)));
  EXPECT_TRUE(dayHasPassed(start, start.addDays(-2)));
  EXPECT_FALSE(dayHasPassed(QDateTime(), start));
}

TEST(RotationSchedule, PreviewFollowsTheScreenShape) {
  EXPECT_EQ(previewGeometry(Shape::Widescreen), QRect(512, 206, 192, 120));
  EXPECT_EQ(previewGeometry(Shape::Normal), QRect(530, 206, 160, 120));
}

// INI files: the private-profile reading rules, in-place edits that keep
// every other byte, atomic replacement, and deleting keys.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/IniFile.h"

namespace {

class IniTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("setting.ini"));
  IniFile ini{path};

  void write(const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QByteArray content() const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  QString read(const char* section, const char* key) const {
    return ini.ReadIniText(QString::fromUtf8(section), QString::fromUtf8(key), QStringLiteral("<default>"));
  }
  QStringList folderEntries() const {
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }
};

// --- reading

TEST_F(IniTest, ReadMatchesNamesWithoutCaseOrSurroundingBlanks) {
  write("  [ CheckUpdate ]  trailing words\r\n  DATE  =  03-18-2008  \r\nIndexVer=7\r\n");
  EXPECT_EQ(read("checkupdate", "date"), "03-18-2008");
  EXPECT_EQ(read(" CHECKUPDATE ", " Date "), "03-18-2008");
  EXPECT_EQ(read("checkupdate", "indexver"), "7");
}

TEST_F(IniTest, ReadRemovesOneMatchingPairOfQuotesOnly) {
  write("[s]\nd=\"x y\"\ns= 'q' \nmixed=\"a'\nlone=\"\nempty=\"\"\ninner=\" in \"\ntwice=\"\"z\"\"\n");
  EXPECT_EQ(read("s", "d"), "x y");
  EXPECT_EQ(read("s", "s"), "q");
  EXPECT_EQ(read("s", "mixed"), "\"a'");
  EXPECT_EQ(read("s", "lone"), "\"");
  EXPECT_EQ(read("s", "empty"), "");
  EXPECT_EQ(read("s", "inner"), " in ");
  EXPECT_EQ(read("s", "twice"), "\"z\"");
}

TEST_F(IniTest, ReadTakesTheFirstBlockAndTheFirstKey) {
  write("[s]\nk=1\nk=2\n[t]\nk=3\nj=5\n[S]\nk=4\nj=6\n");
  EXPECT_EQ(read("s", "k"), "1");
  EXPECT_EQ(read("s", "j"), "<default>");  // only the first block of "s" is searched
  EXPECT_EQ(read("t", "j"), "5");
  QByteArray large = "[a]\r\n";
  for (int k = 1; k <= 500; ++k)
    large += QByteArray::number(k) + "=http://host/wallpaper/s_" + QByteArray::number(k) + ".jpg\r\n";
  write(large + "[b]\r\nmissing=b\r\n[a]\r\nmissing=a\r\n");
  EXPECT_EQ(read("a", "500"), "http://host/wallpaper/s_500.jpg");
  EXPECT_EQ(read("a", "missing"), "<default>");
}

TEST_F(IniTest, ReadSkipsCommentsAndKnowsWhatASectionHeadIs) {
  write(";[s]\n[s]\n;k=comment\n  ; j=comment\nv=[t]\nx=a=b\nnote = k=inside\n  [t] ; k=head\nk=t\n");
  EXPECT_EQ(read("s", "k"), "<default>");
  EXPECT_EQ(read("s", "j"), "<default>");
  EXPECT_EQ(read("s", "v"), "[t]");
  EXPECT_EQ(read("s", "x"), "a=b");
  EXPECT_EQ(read("t", "k"), "t");
}

TEST_F(IniTest, ReadAcceptsEveryLineEndAndALastLineWithoutOne) {
  write("[a]\rk=cr\r[b]\nk=lf\n[c]\r\nk=crlf\r\n[d]\r\n\r\n\rk=last");
  EXPECT_EQ(read("a", "k"), "cr");
  EXPECT_EQ(read("b", "k"), "lf");
  EXPECT_EQ(read("c", "k"), "crlf");
  EXPECT_EQ(read("d", "k"), "last");
}

TEST_F(IniTest, ReadSkipsAUtf8ByteOrderMark) {
  write("\xEF\xBB\xBF[init]\r\nszAppname=Demo\r\n");
  EXPECT_EQ(read("init", "szAppname"), "Demo");
}

TEST_F(IniTest, ReadCutsLongValuesAt2047BytesOnACharacterBoundary) {
  write("[s]\nascii=" + QByteArray(3000, 'x') + "\nwide=" + QByteArray(2046, 'y') + "\xC3\xA9z\n");
  EXPECT_EQ(read("s", "ascii"), QString(2047, 'x'));
  // "é" would straddle the limit, so it goes too.
  EXPECT_EQ(read("s", "wide"), QString(2046, 'y'));
}

TEST_F(IniTest, ReadDecodesUtf8FilesAsUtf8AndOthersAsGbk) {
  write("[s]\nk=\xE5\x8F\x96\xE6\xB6\x88\n");
  EXPECT_EQ(read("s", "k"), QString::fromUtf8("取消"));
  write("[s]\nk=\xC8\xA1\xCF\xFB\n");
  EXPECT_EQ(read("s", "k"), QString::fromUtf8("取消"));
}

// After a code that has no character of its own the text goes on at the
// right place.
TEST_F(IniTest, ReadOfAGbkFileKeepsItsPlaceAfterAUserDefinedCode) {
  write("[s]\nk=\xAC\xD8\xC8\xA1\xCF\xFB\x61\x62\n");
  EXPECT_EQ(read("s", "k"), QChar(0xE0F3) + QString::fromUtf8("取消ab"));
}

TEST_F(IniTest, ReadGivesTheDefaultForAnythingMissingAndCreatesNothing) {
  EXPECT_EQ(read("s", "k"), "<default>");
  EXPECT_FALSE(QFile::exists(path));
  write("[s]\nk=1\nnovalue\n=empty name\n");
  EXPECT_EQ(read("t", "k"), "<default>");
  EXPECT_EQ(read("s", "other"), "<default>");
  EXPECT_EQ(read("s", "novalue"), "<default>");
  EXPECT_EQ(read("s", ""), "<default>");
  EXPECT_EQ(IniFile(dir.path()).ReadIniText("s", "k", "<default>"), "<default>");  // a folder
  const QString pipe = dir.filePath(QStringLiteral("pipe.ini"));
  ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  EXPECT_EQ(IniFile(pipe).ReadIniText("s", "k", "<default>"), "<default>");  // no hang waiting for a writer
}

TEST_F(IniTest, ReadSeesEveryChangeMadeBetweenTwoReads) {
  write("[s]\nk=1111\n");
  EXPECT_EQ(read("s", "k"), "1111");
  // Same size, same second: only a fresh read can tell.
  write("[s]\nk=2222\n");
  EXPECT_EQ(read("s", "k"), "2222");
}

// --- writing

TEST_F(IniTest, WriteCreatesTheFileAndItsFolder) {
  const QString nested = dir.filePath(QStringLiteral("a/b/setting.ini"));
  IniFile(nested).WriteIniText("checkupdate", "date", "03-18-2008");
  QFile file(nested);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "[checkupdate]\r\ndate=03-18-2008\r\n");
}

TEST_F(IniTest, WriteReplacesAValueAndKeepsEveryOtherByte) {
  write("; settings\n\n[Other]\ndate=x\n[CheckUpdate]\n  DaTe = old value \t\nindexver=3\n\n; end");
  ini.WriteIniText("checkupdate", "date", "03-19-2008");
  EXPECT_EQ(content(),
            "; settings\n\n[Other]\ndate=x\n[CheckUpdate]\n  DaTe =03-19-2008\nindexver=3\n\n; end");
  ini.WriteIniText("checkupdate", "indexver", "");
  EXPECT_EQ(read("checkupdate", "indexver"), "");
}

TEST_F(IniTest, WriteAddsANewKeyRightAfterTheLastEntryOfItsSection) {
  write("[a]\r\nx=1\r\n\r\n; about b\r\n[b]\r\ny=2\r\n");
  ini.WriteIniText("a", "z", "3");
  EXPECT_EQ(content(), "[a]\r\nx=1\r\nz=3\r\n\r\n; about b\r\n[b]\r\ny=2\r\n");
  write("[a]");
  ini.WriteIniText("a", "k", "v");
  EXPECT_EQ(content(), "[a]\r\nk=v\r\n");
  write("[a]\nx=1");
  ini.WriteIniText("A", "y", "2");
  EXPECT_EQ(content(), "[a]\nx=1\r\ny=2\r\n");
}

TEST_F(IniTest, WriteAddsANewSectionAtTheEnd) {
  write("[a]\nx=1");
  ini.WriteIniText("b", "k", "v");
  EXPECT_EQ(content(), "[a]\nx=1\r\n[b]\r\nk=v\r\n");
  ini.WriteIniText("c", "k", "w");
  EXPECT_EQ(content(), "[a]\nx=1\r\n[b]\r\nk=v\r\n[c]\r\nk=w\r\n");
}

TEST_F(IniTest, WriteNeverLetsALineBreakSplitALine) {
  write("[s]\nk=1\n");
  ini.WriteIniText("s", "k", "a\r\nb\nc\r[t]");
  EXPECT_EQ(content(), "[s]\nk=abc[t]\n");
  ini.WriteIniText("s\n", "new\r\nkey", "v");
  EXPECT_EQ(read("s", "newkey"), "v");
}

TEST_F(IniTest, WriteRefusesNamesThatWouldReadBackAsSomethingElse) {
  write("[s]\nk=1\n");
  for (const auto& [section, key] :
       {std::pair{"s", ""}, {" ", "k"}, {"s", "a=b"}, {"s", ";k"}, {"s", "[k"}, {"s]x", "k"}}) {
    EXPECT_THROW(ini.WriteIniText(section, key, "v"), IniWriteError) << section << " " << key;
  }
  EXPECT_EQ(content(), "[s]\nk=1\n");
}

TEST_F(IniTest, WriteFailureSaysUnableToWriteWithThePath) {
  write("not a folder");
  const QString blocked = path + QStringLiteral("/setting.ini");
  try {
    IniFile(blocked).WriteIniText("s", "k", "v");
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(QString::fromUtf8(error.what()), "Unable to write to " + blocked);
  }
  EXPECT_THROW(IniFile(dir.path()).WriteIniText("s", "k", "v"), IniWriteError);
  EXPECT_EQ(content(), "not a folder");
}

TEST_F(IniTest, WriteReplacesTheFileAtomicallyAndKeepsItsModeAndLinks) {
  write("[s]\nk=1\n");
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
  struct stat before {};
  ASSERT_EQ(stat(QFile::encodeName(path).constData(), &before), 0);
  ini.WriteIniText("s", "k", "2");
  struct stat after {};
  ASSERT_EQ(stat(QFile::encodeName(path).constData(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file took the old one's place
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(folderEntries(), QStringList{"setting.ini"});  // no temporary file left

  const QString link = dir.filePath(QStringLiteral("link.ini"));
  ASSERT_TRUE(QFile::link(path, link));
  IniFile(link).WriteIniText("s", "k", "3");
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(content(), "[s]\nk=3\n");
}

TEST_F(IniTest, WriteLeavesAFileTheUserMayNotWriteAsItIs) {
  const QByteArray original = "[s]\r\nk=1\r\n";
  write(original);
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  try {
    ini.WriteIniText("s", "k", "2");
    FAIL() << "no error";
  } catch (const IniWriteError& error) {
    EXPECT_EQ(QString::fromUtf8(error.what()), "Unable to write to " + path);
    EXPECT_FALSE(error.reason().isEmpty());
  }
  IniBatch batch(ini);
  batch.WriteIniText("t", "k", "3");
  EXPECT_THROW(batch.commit(), IniWriteError);
  ini.DeleteIniKey("s", "k");  // best effort: the key stays
  EXPECT_EQ(content(), original);
  struct stat after {};
  ASSERT_EQ(stat(QFile::encodeName(path).constData(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0444u);
  EXPECT_EQ(folderEntries(), QStringList{"setting.ini"});

  // The same through a link: the file it names decides.
  const QString link = dir.filePath(QStringLiteral("link.ini"));
  ASSERT_TRUE(QFile::link(path, link));
  EXPECT_THROW(IniFile(link).WriteIniText("s", "k", "4"), IniWriteError);
  EXPECT_EQ(content(), original);
}

TEST_F(IniTest, WriteKeepsAValueThatStartsWithUFeff) {
  write("[s]\r\nk=1\r\n");
  const QString value = QChar(0xFEFF) + QStringLiteral("value");
  ini.WriteIniText("s", "k", value);
  ini.WriteIniText("s", "j", QString(QChar(0xFEFF)));
  EXPECT_EQ(read("s", "k"), value);
  EXPECT_EQ(read("s", "j"), QString(QChar(0xFEFF)));
  // A byte-order mark starts the file only.
  write("\xEF\xBB\xBF[s]\r\nk=\xEF\xBB\xBFv\r\n");
  EXPECT_EQ(read("s", "k"), QChar(0xFEFF) + QStringLiteral("v"));
}

TEST_F(IniTest, WriteStoresUnicodeAsUtf8) {
  ini.WriteIniText("s", "k", QString::fromUtf8("桌面 é"));
  EXPECT_EQ(content(), "[s]\r\nk=\xE6\xA1\x8C\xE9\x9D\xA2 \xC3\xA9\r\n");
  EXPECT_EQ(read("s", "k"), QString::fromUtf8("桌面 é"));
}

// --- deleting

TEST_F(IniTest, DeleteRemovesOnlyTheKeysLines) {
  const QByteArray original =
      "; c\r\n[s]\r\na=1\r\n  K = 2\r\nb=3\r\nk=dup\r\n\r\n[t]\r\nk=4\r\n[s]\r\nk=5\r\n";
  write(original);
  ini.DeleteIniKey("S", "k");
  EXPECT_EQ(content(), "; c\r\n[s]\r\na=1\r\nb=3\r\n\r\n[t]\r\nk=4\r\n[s]\r\nk=5\r\n");
  EXPECT_EQ(read("s", "k"), "<default>");
  write("[s]\nk=1\nj=2");
  ini.DeleteIniKey("s", "j");
  EXPECT_EQ(content(), "[s]\nk=1\n");
}

TEST_F(IniTest, DeleteOfSomethingMissingChangesAndCreatesNothing) {
  ini.DeleteIniKey("s", "k");
  EXPECT_FALSE(QFile::exists(path));
  write("[s]\nk=1\n");
  struct stat before {};
  ASSERT_EQ(stat(QFile::encodeName(path).constData(), &before), 0);
  ini.DeleteIniKey("t", "k");
  ini.DeleteIniKey("s", "j");
  ini.DeleteIniKey("s", "");
  struct stat after {};
  ASSERT_EQ(stat(QFile::encodeName(path).constData(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(content(), "[s]\nk=1\n");
  IniFile(dir.path()).DeleteIniKey("s", "k");  // a folder: ignored
}

// --- batches

TEST_F(IniTest, BatchEndsWithTheSameBytesAsSingleCallsAndWritesOnlyOnCommit) {
  const QByteArray original = "[wallpaper-normal]\r\n1=old\r\n2=old\r\n; keep\r\n[checkupdate]\r\ndate=x";
  const auto edit = [](auto& target) {
    for (int k = 1; k <= 3; ++k) target.DeleteIniKey("wallpaper-normal", QString::number(k));
    for (int k = 1; k <= 3; ++k)
      target.WriteIniText("wallpaper-normal", QString::number(k), "new" + QString::number(k));
    target.WriteIniText("wallpaper-widescreen", "1", "w");
    target.WriteIniText("checkupdate", "indexver", "8");
  };
  write(original);
  edit(ini);
  const QByteArray single = content();

  write(original);
  IniBatch batch(ini);
  edit(batch);
  EXPECT_EQ(batch.ReadIniText("wallpaper-normal", "2", ""), "new2");
  EXPECT_EQ(content(), original);
  batch.commit();
  EXPECT_EQ(content(), single);
  EXPECT_EQ(folderEntries(), QStringList{"setting.ini"});
}

TEST_F(IniTest, BatchWithoutChangesCreatesNothing) {
  IniBatch batch(ini);
  batch.DeleteIniKey("s", "k");
  batch.commit();
  EXPECT_FALSE(QFile::exists(path));
}

}  // namespace

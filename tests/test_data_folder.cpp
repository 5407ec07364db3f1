// Where the program keeps its files: beside a portable executable, or in the
// user's data folder, seeded at the first start of an installed program.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "platform/ProgramFolder.h"
#include "support/TemporaryProgramFolder.h"

namespace {

class SeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    write(share + QStringLiteral("lang/en/lang.ini"), "english");
    write(share + QStringLiteral("lang/zh_CN/lang.ini"), "chinese");
    write(share + QStringLiteral("lang/pt_BR/lang.ini"), "brazilian");
    write(share + QStringLiteral("lang/de/lang.ini"), "german");
    write(share + QStringLiteral("wallpaper/normal/local/1/l_a.jpg"), "picture a");
    write(share + QStringLiteral("wallpaper/widescreen/local/2/s_b.jpg"), "picture b");
  }
  static void write(const QString& path, const QByteArray& bytes) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  static QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  bool seed(const QString& language) { return seedDataFolder(data, share, {language}, &error); }
  QString folderFor(const QStringList& languages) {
    return languageFolderFor(languages, share + QStringLiteral("lang/"));
  }

  QTemporaryDir dir;
  QString share = dir.filePath(QStringLiteral("share/nimbra-wallpaper/"));
  QString data = dir.filePath(QStringLiteral("home/.local/share/nimbra-wallpaper/"));
  QString error;
};

TEST_F(SeedTest, TheFirstStartGetsTheSampleStoreAndTheEnglishTexts) {
  ASSERT_TRUE(seed(QStringLiteral("sv_SE"))) << qPrintable(error);
  EXPECT_EQ(read(data + QStringLiteral("lang.ini")), "english");
  EXPECT_EQ(read(data + QStringLiteral("wallpaper/normal/local/1/l_a.jpg")), "picture a");
  EXPECT_EQ(read(data + QStringLiteral("wallpaper/widescreen/local/2/s_b.jpg")), "picture b");
  EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral(".wallpaper.seeding")));
}

TEST_F(SeedTest, TheCopiedStoreIsTheUsersToChangeThoughTheSamplesAreReadOnly) {
  const QString sample = share + QStringLiteral("wallpaper/normal/local/1/l_a.jpg");
  ASSERT_TRUE(QFile::setPermissions(sample, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  ASSERT_TRUE(seed(QStringLiteral("en_US"))) << qPrintable(error);
  EXPECT_TRUE(QFile::permissions(data + QStringLiteral("wallpaper/normal/local/1/l_a.jpg")) &
              QFile::WriteOwner);
}

TEST_F(SeedTest, AChineseDesktopGetsTheChineseTexts) {
  ASSERT_TRUE(seed(QStringLiteral("zh_CN"))) << qPrintable(error);
  EXPECT_EQ(read(data + QStringLiteral("lang.ini")), "chinese");
  EXPECT_EQ(folderFor({QStringLiteral("zh_TW")}), QStringLiteral("en"));
}

TEST_F(SeedTest, ALanguageFallsBackFromItsTerritoryToItselfAndThenToEnglish) {
  EXPECT_EQ(folderFor({QStringLiteral("pt_BR")}), QStringLiteral("pt_BR"));
  EXPECT_EQ(folderFor({QStringLiteral("de_AT")}), QStringLiteral("de"));
  EXPECT_EQ(folderFor({QStringLiteral("pt_PT")}), QStringLiteral("en"))
      << "no Portuguese of its own is shipped";
  EXPECT_EQ(folderFor({QStringLiteral("sv_SE"), QStringLiteral("de_CH")}), QStringLiteral("de"));
  EXPECT_EQ(folderFor({}), QStringLiteral("en"));
  write(share + QStringLiteral("lang/pt/lang.ini"), "portuguese");
  EXPECT_EQ(folderFor({QStringLiteral("pt_PT")}), QStringLiteral("pt"));
  EXPECT_EQ(folderFor({QStringLiteral("pt_BR")}), QStringLiteral("pt_BR"));
}

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> variables) {
  QProcessEnvironment result;
  for (const auto& [name, value] : variables) result.insert(QLatin1String(name), QString::fromUtf8(value));
  return result;
}

TEST(DesktopLanguages, LanguageThenLcAllThenLcMessagesThenLang) {
  EXPECT_EQ(desktopLanguages(environment({{"LANGUAGE", "pt_BR:pt:en"},
                                          {"LC_ALL", "de_DE.UTF-8"},
                                          {"LC_MESSAGES", "fr_FR.UTF-8"},
                                          {"LANG", "it_IT.UTF-8"}})),
            QStringList({"pt_BR", "pt", "en", "de_DE"}));
  EXPECT_EQ(desktopLanguages(environment({{"LC_MESSAGES", "fr_FR.UTF-8"}, {"LANG", "it_IT.UTF-8"}})),
            QStringList({"fr_FR"}));
  EXPECT_EQ(desktopLanguages(environment({{"LC_ALL", ""}, {"LANG", "ja_JP.eucJP"}})), QStringList({"ja_JP"}));
  EXPECT_EQ(desktopLanguages(environment({})), QStringList());
}

TEST(DesktopLanguages, EncodingModifierAndTheCLocaleAreLeftOut) {
  EXPECT_EQ(desktopLanguages(environment({{"LANG", "de_DE.ISO-8859-15@euro"}})), QStringList({"de_DE"}));
  EXPECT_EQ(desktopLanguages(environment({{"LANG", "sr_RS@latin"}})), QStringList({"sr_RS"}));
  EXPECT_EQ(desktopLanguages(environment({{"LANGUAGE", "pt-br::PT_br"}, {"LANG", "C.UTF-8"}})),
            QStringList({"pt_BR"}));
  EXPECT_EQ(desktopLanguages(environment({{"LC_ALL", "POSIX"}})), QStringList());
}

TEST_F(SeedTest, TheFirstLanguageThatIsShippedIsSeeded) {
  ASSERT_TRUE(seedDataFolder(
      data, share, desktopLanguages(environment({{"LANGUAGE", "sv:pt_BR"}, {"LANG", "de_DE"}})), &error))
      << qPrintable(error);
  EXPECT_EQ(read(data + QStringLiteral("lang.ini")), "brazilian");
}

TEST_F(SeedTest, WhatTheUserHasIsNeverOverwritten) {
  write(data + QStringLiteral("lang.ini"), "edited by the user");
  write(data + QStringLiteral("wallpaper/normal/local/1/l_mine.jpg"), "mine");
  ASSERT_TRUE(seed(QStringLiteral("en_GB"))) << qPrintable(error);
  EXPECT_EQ(read(data + QStringLiteral("lang.ini")), "edited by the user");
  EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral("wallpaper/normal/local/1/l_a.jpg")))
      << "a store of the user's own is not mixed with the samples";
}

TEST_F(SeedTest, ASeedingCutShortIsDoneAgainInFull) {
  // What a start that died while copying leaves: a part of the store beside it.
  write(data + QStringLiteral(".wallpaper.seeding/normal/local/1/l_a.jpg"), "half");
  ASSERT_TRUE(seed(QStringLiteral("en_US"))) << qPrintable(error);
  EXPECT_EQ(read(data + QStringLiteral("wallpaper/normal/local/1/l_a.jpg")), "picture a");
  EXPECT_EQ(read(data + QStringLiteral("wallpaper/widescreen/local/2/s_b.jpg")), "picture b");
}

TEST_F(SeedTest, APortableFolderThatCannotBeWrittenSeedsFromItsOwnFiles) {
  // Beside such an executable: one language file and the store.
  const QString portable = dir.filePath(QStringLiteral("portable/"));
  write(portable + QStringLiteral("lang.ini"), "the folder's own texts");
  write(portable + QStringLiteral("wallpaper/normal/local/3/l_c.jpg"), "picture c");
  ASSERT_TRUE(seedDataFolder(data, portable, {QStringLiteral("zh_CN")}, &error)) << qPrintable(error);
  EXPECT_EQ(read(data + QStringLiteral("lang.ini")), "the folder's own texts");
  EXPECT_EQ(read(data + QStringLiteral("wallpaper/normal/local/3/l_c.jpg")), "picture c");
}

TEST_F(SeedTest, AMissingLanguageFileIsReportedAndTheStoreIsSeededAnyway) {
  ASSERT_TRUE(QFile::remove(share + QStringLiteral("lang/en/lang.ini")));
  EXPECT_FALSE(seed(QStringLiteral("en_US")));
  EXPECT_TRUE(error.contains(QLatin1String("lang.ini")));
  EXPECT_TRUE(QFileInfo::exists(data + QStringLiteral("wallpaper/normal/local/1/l_a.jpg")));
}

// The test runs from its build folder, which its builder may write and
// which is no <prefix>/bin: a portable folder, kept beside the executable.
TEST(DataFolder, AWritableFolderOutsideAnInstallationIsPortable) {
  EXPECT_EQ(chooseDataFolderKind(), DataFolderKind::Portable);
  EXPECT_EQ(dataFolder(), exeFolder());
  EXPECT_TRUE(exeFolder().endsWith(QLatin1Char('/')));
}

TEST(DataFolder, TheUserDataFolderFollowsXdgDataHome) {
  const QByteArray saved = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", "/somewhere/data");
  EXPECT_EQ(userDataFolder(), QStringLiteral("/somewhere/data/nimbra-wallpaper/"));
  qputenv("XDG_DATA_HOME", "not/absolute");
  EXPECT_EQ(userDataFolder(), QDir::homePath() + QStringLiteral("/.local/share/nimbra-wallpaper/"));
  qputenv("XDG_DATA_HOME", saved);
}

}  // namespace

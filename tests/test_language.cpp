// Language texts: decoding 8-bit text (UTF-8 or GBK), reading the 44 texts
// of "lang.ini", the shipped files, and the captions the window shows.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

#include "app/Main.h"
#include "platform/IniFile.h"
#include "platform/LanguageTexts.h"
#include "platform/TextCodec.h"
#include "support/MainControls.h"
#include "support/ProgramFolder.h"

namespace {

const QString kChineseCancel = QString::fromUtf8("取消");
const QByteArray kGbkCancel = "\xC8\xA1\xCF\xFB";

const QStringList kAllTexts = {
#define NIMBRA_TEXT_NAME(name) QStringLiteral(#name),
    NIMBRA_LANGUAGE_KEYS(NIMBRA_TEXT_NAME)
#undef NIMBRA_TEXT_NAME
};

QList<const QString*> allTextsOf(const LanguageTexts& texts) {
  return {
#define NIMBRA_TEXT_ADDRESS(name) &texts.name,
      NIMBRA_LANGUAGE_KEYS(NIMBRA_TEXT_ADDRESS)
#undef NIMBRA_TEXT_ADDRESS
  };
}

QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString shippedFile(const char* language) {
  return QStringLiteral(NIMBRA_SOURCE_DIR "/resources/lang/%1/lang.ini").arg(QLatin1String(language));
}

// --- decoding 8-bit text

TEST(TextCodec, Utf8IsValidOnlyInItsShortestWellFormedShape) {
  EXPECT_TRUE(isValidUtf8("plain ascii"));
  EXPECT_TRUE(isValidUtf8("\xE5\x8F\x96\xE6\xB6\x88 \xF0\x9F\x96\xBC \xC3\xA9"));
  for (const char* broken : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                             "\xF5\x80\x80\x80", "\xE5\x8F", "\x80", "a\xFF"})
    EXPECT_FALSE(isValidUtf8(broken)) << QByteArray(broken).toHex().constData();
  EXPECT_FALSE(isValidUtf8(kGbkCancel));
}

TEST(TextCodec, OtherTextIsGbkAndBadBytesBecomeReplacementCharacters) {
  EXPECT_EQ(decodeText(kGbkCancel), kChineseCancel);
  EXPECT_EQ(decodeText("\xE5\x8F\x96\xE6\xB6\x88"), kChineseCancel);
  EXPECT_EQ(decodeText("a\xFF"
                       "b",
                       TextEncoding::Gbk),
            QString::fromUtf8("a\xEF\xBF\xBD"
                              "b"));
  EXPECT_EQ(decodeText("a\xC8", TextEncoding::Gbk), QString::fromUtf8("a\xEF\xBF\xBD"));
}

TEST(TextCodec, CharacterBoundaryNeverSplitsADoubleByteCharacter) {
  const QByteArray gbk = "a" + kGbkCancel;
  EXPECT_EQ(characterBoundary(gbk, 2, TextEncoding::Gbk), 1);
  EXPECT_EQ(characterBoundary(gbk, 3, TextEncoding::Gbk), 3);
  EXPECT_EQ(characterBoundary(gbk, 9, TextEncoding::Gbk), 5);
  EXPECT_EQ(characterBoundary("a\xE5\x8F\x96", 3, TextEncoding::Utf8), 1);
}

// --- reading the texts

class LanguageFileTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("lang.ini"));

  void write(const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
};

TEST_F(LanguageFileTest, GbkAndUtf8FilesGiveTheSameTexts) {
  write("[init]\r\nszCancel=" + kGbkCancel + "\r\nszAppname=Demo\r\n");
  const LanguageTexts fromGbk = readLanguageTexts(path);
  EXPECT_EQ(fromGbk.szCancel, kChineseCancel);
  EXPECT_EQ(fromGbk.szAppname, "Demo");
  write("[init]\r\nszCancel=" + kChineseCancel.toUtf8() + "\r\nszAppname=Demo\r\n");
  const LanguageTexts fromUtf8 = readLanguageTexts(path);
  EXPECT_EQ(fromUtf8.szCancel, kChineseCancel);
  EXPECT_EQ(fromUtf8.szAppname, "Demo");
}

TEST_F(LanguageFileTest, MissingFileOrKeysLeaveTheirTextsEmpty) {
  write("[init]\r\nszAppname=Demo\r\n");
  const LanguageTexts partial = readLanguageTexts(path);
  EXPECT_EQ(partial.szAppname, "Demo");
  for (const QString* text : allTextsOf(partial)) {
    if (text != &partial.szAppname) {
      EXPECT_TRUE(text->isEmpty()) << text->toStdString();
    }
  }
  const LanguageTexts none = readLanguageTexts(dir.filePath(QStringLiteral("absent.ini")));
  for (const QString* text : allTextsOf(none)) EXPECT_TRUE(text->isEmpty()) << text->toStdString();
}

TEST_F(LanguageFileTest, NamesInAnyCaseAreFoundButOnlyInSectionInit) {
  write("[INIT]\r\nSZAPPNAME=Demo\r\nszallsupport = All files \r\n[other]\r\nszVersion=9\r\n");
  const LanguageTexts texts = readLanguageTexts(path);
  EXPECT_EQ(texts.szAppname, "Demo");
  EXPECT_EQ(texts.szVersion, "");
  // The trailing blank is lost, so the description runs into the patterns.
  EXPECT_EQ(texts.szAllsupport, "All files");
  EXPECT_EQ(openDialogFilter(texts.szAllsupport),
            "All files(*.jpg,*.bmp)|*.bmp;*.jpg|Jpeg files (*.jpg)|*.jpg|Bmp files (*.bmp)|*.bmp;");
}

TEST(ShippedLanguageFiles, EnglishHasEveryTextWithCrLfLines) {
  const QByteArray bytes = readBytes(shippedFile("en"));
  ASSERT_FALSE(bytes.isEmpty());
  EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
  EXPECT_EQ(bytes.count('\r'), bytes.count("\r\n"));
  const IniFile file(shippedFile("en"));
  for (const QString& key : kAllTexts)
    EXPECT_FALSE(file.ReadIniText("init", key, "").isEmpty()) << key.toStdString();
  EXPECT_EQ(file.ReadIniText("init", "szAppname", ""), "Nimbra Wallpaper");
  EXPECT_EQ(file.ReadIniText("init", "szVersion", ""), "1.2");
  EXPECT_TRUE(openDialogFilter(file.ReadIniText("init", "szAllsupport", ""))
                  .startsWith("All supported pictures (*.jpg"));
}

TEST(ShippedLanguageFiles, ChineseIsGbkWithEveryText) {
  const QByteArray bytes = readBytes(shippedFile("zh_CN"));
  ASSERT_FALSE(bytes.isEmpty());
  EXPECT_FALSE(isValidUtf8(bytes));
  EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n"));
  const IniFile file(shippedFile("zh_CN"));
  for (const QString& key : kAllTexts) {
    const QString text = file.ReadIniText("init", key, "");
    EXPECT_FALSE(text.isEmpty()) << key.toStdString();
    EXPECT_FALSE(text.contains(QChar(0xFFFD))) << key.toStdString();
  }
  EXPECT_EQ(file.ReadIniText("init", "szConnecting", ""), QString::fromUtf8("正在连接网络，请等待..."));
  EXPECT_EQ(file.ReadIniText("init", "szGetmore", ""), QString::fromUtf8("要得到更多精美免费桌面壁纸，请"));
}

TEST(ShippedLanguageFiles, TenLanguagesShipAndAllButChineseAreUtf8WithEveryText) {
  const QStringList languages =
      QDir(QStringLiteral(NIMBRA_SOURCE_DIR "/resources/lang")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  EXPECT_EQ(languages, QStringList({"de", "en", "es", "fr", "it", "ja", "ko", "pt_BR", "ru", "zh_CN"}));
  for (const QString& language : languages) {
    if (language == QLatin1String("zh_CN")) continue;  // GBK, as the Chinese releases always were
    const std::string name = language.toStdString();
    const QByteArray bytes = readBytes(shippedFile(name.c_str()));
    EXPECT_TRUE(isValidUtf8(bytes)) << name;
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF")) << name << ": no byte order mark";
    EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << name;
    const IniFile file(shippedFile(name.c_str()));
    for (const QString& key : kAllTexts) {
      const QString text = file.ReadIniText("init", key, "");
      EXPECT_FALSE(text.trimmed().isEmpty()) << name << " " << key.toStdString();
    }
    EXPECT_EQ(file.ReadIniText("init", "szVersion", ""), "1.2") << name;
    // The address comes between these, and the filter's patterns after this.
    EXPECT_TRUE(file.ReadIniText("init", "szAllsupport", "").endsWith(' ')) << name;
    EXPECT_TRUE(file.ReadIniText("init", "szCancel", "").startsWith("     ")) << name;
  }
}

TEST(ShippedLanguageFiles, AutoStartTextsSpeakOfLoggingIn) {
  for (const char* language : {"en", "zh_CN"}) {
    const IniFile file(shippedFile(language));
    for (const char* key : {"szAutorun", "szChangestartup"}) {
      const QString text = file.ReadIniText("init", key, "");
      EXPECT_FALSE(text.contains("Windows", Qt::CaseInsensitive)) << language << " " << key;
    }
  }
  const IniFile chinese(shippedFile("zh_CN"));
  EXPECT_TRUE(chinese.ReadIniText("init", "szAutorun", "").contains(QString::fromUtf8("登录")));
  EXPECT_TRUE(chinese.ReadIniText("init", "szChangestartup", "").contains(QString::fromUtf8("登录")));
}

TEST(ShippedLanguageFiles, EveryLanguageHasTheImportTextsAndChineseSpeaksChinese) {
  const QStringList languages =
      QDir(QStringLiteral(NIMBRA_SOURCE_DIR "/resources/lang")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  const LanguageTexts english;
  for (const QString& language : languages) {
    const LanguageTexts texts = readLanguageTexts(shippedFile(language.toUtf8().constData()));
    const IniFile file(shippedFile(language.toUtf8().constData()));
#define NIMBRA_CHECK_IMPORT_TEXT(name, text)                                                          \
  EXPECT_FALSE(file.ReadIniText("init", #name, "").isEmpty()) << language.toStdString() << " " #name; \
  EXPECT_EQ(texts.name == english.name, language == QLatin1String("en"))                              \
      << language.toStdString() << " " #name;
    NIMBRA_IMPORT_LANGUAGE_KEYS(NIMBRA_CHECK_IMPORT_TEXT)
#undef NIMBRA_CHECK_IMPORT_TEXT
  }
  EXPECT_EQ(readLanguageTexts(shippedFile("zh_CN")).szMovetotrash, QString::fromUtf8("移到回收站"));
}

// --- the window's captions

class LanguageWindowTest : public ::testing::Test {
 protected:
  ProgramFolder folder;
};

TEST_F(LanguageWindowTest, AppnameAndVersionMakeTheCaptionTrayHintAndTitleLabel) {
  folder.writeFile(
      "lang.ini",
      "[init]\r\nszAppname=Demo\r\nszVersion=2.0\r\nszArt=Art && illustrator\r\nszOpen=&Open\r\n");
  const auto window = makeMainWindow(folder);
  EXPECT_EQ(window->texts().szAppname, "Demo");
  EXPECT_EQ(window->texts().szVersion, "2.0");
  EXPECT_EQ(window->windowTitle(), "Demo");
  EXPECT_EQ(ui(window).CoolTrayIcon1->toolTip(), "Demo");
  EXPECT_EQ(ui(window).Label15->text(), "Demo 2.0");
  EXPECT_EQ(ui(window).lblL[4]->text(), "Art & illustrator");
  EXPECT_EQ(ui(window).lblN[4]->text(), "Art & illustrator");
  EXPECT_EQ(ui(window).Open1->text(), "&Open");  // menus apply the same rule themselves
  EXPECT_EQ(window->openDialogFilter(),
            "(*.jpg,*.bmp)|*.bmp;*.jpg|Jpeg files (*.jpg)|*.jpg|Bmp files (*.bmp)|*.bmp;");
  EXPECT_EQ(ui(window).btnAdd->caption(), "");
}

TEST_F(LanguageWindowTest, WithoutALanguageFileTheWindowStillStarts) {
  const auto window = makeMainWindow(folder);
  for (const QString* text : allTextsOf(window->texts())) EXPECT_TRUE(text->isEmpty()) << text->toStdString();
  EXPECT_EQ(window->windowTitle(), "");
  EXPECT_EQ(ui(window).Label15->text(), " ");
  EXPECT_EQ(ui(window).lblL[0]->text(), "");
}

TEST_F(LanguageWindowTest, LongAppnameIsCutForTheTrayHintOnly) {
  const QString name(200, 'n');
  folder.writeFile("lang.ini", "[init]\r\nszAppname=" + name.toLatin1() + "\r\n");
  const auto window = makeMainWindow(folder);
  EXPECT_EQ(ui(window).CoolTrayIcon1->toolTip(), name.left(127));
  EXPECT_EQ(window->windowTitle(), name);
}

TEST_F(LanguageWindowTest, ChineseFileGivesChineseCaptions) {
  folder.writeFile("lang.ini", readBytes(shippedFile("zh_CN")));
  const auto window = makeMainWindow(folder);
  EXPECT_EQ(ui(window).lblL[0]->text(), QString::fromUtf8("自然风光"));
  EXPECT_EQ(ui(window).lblL[4]->text(), QString::fromUtf8("艺术&插画"));
  EXPECT_EQ(ui(window).Label3->text(), QString::fromUtf8("壁纸更换顺序列表："));
  EXPECT_EQ(ui(window).chkAutoRun->caption(), QString::fromUtf8("登录时启动本软件"));
  EXPECT_EQ(ui(window).Exit2->text(), QString::fromUtf8("退出"));
}

}  // namespace

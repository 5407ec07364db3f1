// The per-user settings: the value store file, the autostart entry, the
// repairs of the three values, the "Lasttime" text, the start-up rules and
// the auto-start options' rules without a window.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <random>

#include "library/Settings.h"
#include "library/SettingsController.h"
#include "platform/Autostart.h"
#include "platform/ProgramFolder.h"
#include "platform/ValueStore.h"
#include "support/ConfigHome.h"
#include "support/OutsidePrograms.h"

namespace {
QByteArray readBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

void writeStore(const QByteArray& body) {
  writeBytes(ValueStore::defaultFilePath(), "[Software\\Nimbra-Wallpaper]\n" + body);
}

std::optional<ValueStore::Value> stored(const QString& name) {
  return ValueStore::open().value(kSettingsKey, name);
}

// Folders that a quoting mistake would break.
const QStringList kAwkwardFolders = {
    QStringLiteral("/opt/Nimbra Wallpaper/"),   QStringLiteral("/home/u/it's \"here\"/"),
    QStringLiteral("/srv/100% sure/"),          QStringLiteral("/a/$HOME `id` \\b;c&d/"),
    QStringLiteral("/t/tab\there (x) #1 ~ */"), QStringLiteral("/nl/line\nbreak/"),
    QStringLiteral("/u/Bilder/壁纸 ünï/"),
};

// The program file of an installation in /apps/x/.
const QString kProgram = QStringLiteral("/apps/x/NimbraWallpaper");
}  // namespace

// --- value store

TEST(ValueStore, KeepsTypesAndAwkwardTextAcrossReopening) {
  ConfigHome config;
  const QString awkward = QStringLiteral("C:\\a \"b\"\nline 2 % 壁纸");
  {
    ValueStore store = ValueStore::open();
    ASSERT_TRUE(store.isOpen());
    EXPECT_TRUE(store.setInteger(kSettingsKey, "current", 1));
    EXPECT_TRUE(store.setInteger(kSettingsKey, "negative", -1));
    EXPECT_TRUE(store.setText(kSettingsKey, "Lasttime", awkward));
  }
  const QByteArray file = readBytes(ValueStore::defaultFilePath());
  EXPECT_TRUE(file.contains("\n\"current\"=dword:00000001\n")) << file.constData();
  EXPECT_TRUE(file.contains("\n\"negative\"=dword:ffffffff\n")) << file.constData();

  const ValueStore again = ValueStore::open();
  EXPECT_EQ(again.value(kSettingsKey, "CURRENT")->integer, 1);  // names ignore case
  EXPECT_EQ(again.value(kSettingsKey, "negative")->integer, -1);
  EXPECT_EQ(again.value(kSettingsKey, "Lasttime")->kind, ValueStore::Kind::Text);
  EXPECT_EQ(again.value(kSettingsKey, "Lasttime")->text, awkward);
  EXPECT_FALSE(again.value(kSettingsKey, "missing"));
  EXPECT_FALSE(again.value("Software\\Other", "current"));
  // Written through a temporary file that is renamed, nothing left beside it.
  EXPECT_EQ(QDir(QFileInfo(ValueStore::defaultFilePath()).path()).entryList(QDir::Files),
            QStringList{"values.reg"});
}

TEST(ValueStore, ReadsExportStyleVariantsAndKeepsOtherTypes) {
  ConfigHome config;
  writeBytes(ValueStore::defaultFilePath(),
             "\xEF\xBB\xBF; exported by hand\r\n\r\n[Software\\Nimbra-Wallpaper]\r\n"
             "\"current\" = dword:0000002A\r\n"
             "\"Blob\"=hex:01,02,\\\r\n  03,04\r\n"
             "\"Path\"=hex(2):41,00\r\n");
  ValueStore store = ValueStore::open();
  ASSERT_EQ(store.availability(), ValueStore::Availability::Open);
  EXPECT_EQ(store.value(kSettingsKey, "current")->integer, 42);
  EXPECT_EQ(store.value(kSettingsKey, "Blob")->kind, ValueStore::Kind::Other);
  EXPECT_EQ(store.value(kSettingsKey, "Path")->kind, ValueStore::Kind::Other);
  // A value of a type the program does not use survives a rewrite.
  ASSERT_TRUE(store.setInteger(kSettingsKey, "current", 1));
  EXPECT_TRUE(readBytes(ValueStore::defaultFilePath()).contains("\"Blob\"=hex:01,02,03,04\n"));
  EXPECT_EQ(ValueStore::open().value(kSettingsKey, "Path")->text, "hex(2):41,00");
}

TEST(ValueStore, PassesOverEachUnreadableLineAloneAndKeepsTheRest) {
  const QByteArray good = "\"kept\"=dword:00000002\n";
  const char* broken[] = {
      "garbage",
      "\"current\"=dword:xyz",
      "\"current\"=dword:123456789",
      "\"current\"=dword:-1",
      "\"AutoChange\"=2",
      "\"Lasttime\"=\"unterminated",
      "\"Lasttime\"=\"bad \\q escape\"",
      "\"Lasttime\"=\"text\" trailing",
      "\"current\"",
      "\"Lasttime\"=\"\xff\xfe\"",
      "\"Blob\"=hex:0g,01",
      "\"Blob\"=hex(2):123",
      "@=\"default value\"",
  };
  for (const char* line : broken) {
    const auto parsed = ValueStore::parse("[Software\\Nimbra-Wallpaper]\n" + good + line + "\n" + good);
    EXPECT_EQ(parsed.unreadableLines, QList<int>{3}) << line;
    ASSERT_EQ(parsed.keys.size(), 1) << line;
    EXPECT_EQ(parsed.keys[0].entries.size(), 1) << line;
    EXPECT_EQ(parsed.keys[0].entries[0].value.integer, 2) << line;
  }
  // Values outside any key, or under a head that cannot be read, go nowhere:
  // not into the key before.
  const auto parsed =
      ValueStore::parse("\"a\"=dword:1\n[K]\n\"b\"=dword:2\n[K2\n\"c\"=dword:3\n[]\n\"d\"=dword:4\n");
  EXPECT_EQ(parsed.unreadableLines, (QList<int>{1, 4, 5, 6, 7}));
  ASSERT_EQ(parsed.keys.size(), 1);
  EXPECT_EQ(parsed.keys[0].entries.size(), 1);
  EXPECT_TRUE(ValueStore::parse("").unreadableLines.isEmpty());
  EXPECT_TRUE(ValueStore::parse("; only a comment\n").unreadableLines.isEmpty());
}

TEST(ValueStore, ReadsFilesWithARegistryEditorsHeader) {
  const QByteArray body = "\r\n[Software\\Nimbra-Wallpaper]\r\n\"current\"=dword:00000007\r\n";
  for (const QByteArray& header : {QByteArray("Windows Registry Editor Version 5.00"), QByteArray("REGEDIT4"),
                                   QByteArray("\xEF\xBB\xBFWindows Registry Editor Version 5.00")}) {
    const auto parsed = ValueStore::parse(header + body);
    EXPECT_TRUE(parsed.unreadableLines.isEmpty()) << header.constData();
    ASSERT_EQ(parsed.keys.size(), 1) << header.constData();
    EXPECT_EQ(parsed.keys[0].entries.value(0).value.integer, 7) << header.constData();
  }
  // The editor's own export is UTF-16 with a byte-order mark.
  const QString exported = "Windows Registry Editor Version 5.00" + QString::fromLatin1(body);
  QByteArray utf16 = "\xFF\xFE";
  for (const QChar c : exported) utf16 += char(c.unicode() & 0xFF), utf16 += char(c.unicode() >> 8);
  EXPECT_EQ(ValueStore::parse(utf16).keys.value(0).entries.value(0).value.integer, 7);
  // Only as the first line: further down it is a line like any other.
  EXPECT_EQ(ValueStore::parse("[K]\nREGEDIT4\n").unreadableLines, QList<int>{2});

  ConfigHome config;
  writeBytes(ValueStore::defaultFilePath(), "REGEDIT4" + body);
  EXPECT_EQ(ValueStore::open().availability(), ValueStore::Availability::Open);
  EXPECT_EQ(LoadCurrent(), 7);
}

namespace {
// The values of a parse, one line each, for comparing two parses.
QString values(const QList<ValueStore::Key>& keys) {
  QString text;
  for (const ValueStore::Key& key : keys) {
    text += "[" + key.path + "]\n";
    for (const ValueStore::Entry& entry : key.entries)
      text += entry.name + "=" + QString::number(int(entry.value.kind)) + ":" +
              QString::number(entry.value.integer) + ":" + entry.value.text + "\n";
  }
  return text;
}
}  // namespace

TEST(ValueStore, AValueAfterABackslashAndABlankSurvivesARewrite) {
  ConfigHome config;
  writeStore("\"n\"=hex:1\\ \n\"m\"=dword:1\n");
  ValueStore store = ValueStore::open();
  EXPECT_EQ(store.value(kSettingsKey, "m")->integer, 1);
  ASSERT_TRUE(store.setInteger(kSettingsKey, "current", 3));
  const ValueStore again = ValueStore::open();
  EXPECT_EQ(again.availability(), ValueStore::Availability::Open);
  ASSERT_TRUE(again.value(kSettingsKey, "m"));
  EXPECT_EQ(again.value(kSettingsKey, "m")->integer, 1);
  EXPECT_EQ(again.value(kSettingsKey, "current")->integer, 3);
}

TEST(ValueStore, OnlyAHexValueContinuesAndOnlyAfterABackslashAtTheVeryEnd) {
  const auto hex = ValueStore::parse(
      "[K]\n\"b\"=hex:01,\\\n  02,\\\n  "
      "03\n\"o\"=other:x\\\n\"p\"=dword:5\n\"t\"=\"x\\\\\"\n\"q\"=dword:6\n");
  EXPECT_TRUE(hex.unreadableLines.isEmpty());
  EXPECT_EQ(values(hex.keys), "[K]\nb=2:0:hex:01,02,03\no=2:0:other:x\\\np=0:5:\nt=1:0:x\\\nq=0:6:\n");
  // A line that is not hex data ends the value, which is then cut short.
  const auto cut = ValueStore::parse("[K]\n\"b\"=hex:01,\\\n\"p\"=dword:5\n");
  EXPECT_EQ(cut.unreadableLines, QList<int>{2});
  EXPECT_EQ(values(cut.keys), "[K]\np=0:5:\n");
}

// Whatever a file holds, writing what was read and reading it again gives
// the same values and nothing unreadable.
TEST(ValueStore, WritingWhatWasReadReadsBackTheSameValues) {
  const QByteArray pieces[] = {
      "[Software\\Nimbra-Wallpaper]",
      "[Other]",
      "[",
      "[]",
      "; note \\",
      "REGEDIT4",
      "",
      "  ",
      "garbage",
      "\"current\"=dword:00000001",
      "\"m\"=dword:1",
      "\"w\" = dword:ffffffff",
      "\"AutoChange\"=2",
      "\"n\"=hex:1\\ ",
      "\"n2\"=hex:1\\",
      "\"b\"=hex:01,02,\\",
      "  03,04",
      "  05,\\",
      "\"e\"=hex:",
      "\"h\"=hex(2):41,00,\\",
      "\"H\"=HEX:0a,\\",
      "\"x\"=hex:01,\\ ",
      "\"o\"=foo:bar\\",
      "\"o2\"=foo: a \\ ",
      "\"t\"=\"a\\\\b\"",
      "\"t2\"=\"x\\\\\"",
      "\"u\"=\"\xe5\xa3\x81\\n\"",
      "\"q\"=\"unterminated",
      "\"\xef\xbb\xbf\x62om\"=dword:2",
      "\xef\xbb\xbf\"lead\"=dword:3",
      "\"bad\"=\"\xff\"",
      "\"cr\"=x:a\rb",
  };
  std::mt19937 random(16);
  for (int round = 0; round < 3000; ++round) {
    QByteArray text;
    const int lines = 1 + int(random() % 12);
    for (int i = 0; i < lines; ++i)
      text += pieces[random() % std::size(pieces)] + (random() % 2 ? "\n" : "\r\n");
    const auto first = ValueStore::parse(text);
    const auto second = ValueStore::parse(ValueStore::serialize(first.keys));
    ASSERT_TRUE(second.unreadableLines.isEmpty()) << text.constData();
    ASSERT_EQ(values(second.keys), values(first.keys)) << text.constData();
  }
}

TEST(ValueStore, UnavailableStoreGivesNothingAndWritesNothing) {
  ConfigHome config;
  // The configuration "folder" is a file: the store's folder cannot exist.
  writeBytes(config.root() + "/plain-file", "x");
  config.point(config.root() + "/plain-file");
  ValueStore store = ValueStore::open();
  EXPECT_FALSE(store.isOpen());
  EXPECT_FALSE(store.setInteger(kSettingsKey, "current", 5));
  EXPECT_FALSE(store.value(kSettingsKey, "current"));
  EXPECT_EQ(readBytes(config.root() + "/plain-file"), "x");

  // The store file is a folder.
  config.point(config.root() + "/config");
  QDir().mkpath(ValueStore::defaultFilePath());
  EXPECT_FALSE(ValueStore::open().isOpen());
  EXPECT_FALSE(ValueStore::open().setText(kSettingsKey, "Lasttime", "now"));
}

TEST(ValueStore, DamagedFileIsSetAsideBeforeAFreshOneIsWritten) {
  ConfigHome config;
  const QByteArray garbage =
      "[Software\\Nimbra-Wallpaper]\n\"current\"=dword:zz\nthe user's notes\n\"kept\"=\"yes\"\n";
  writeBytes(ValueStore::defaultFilePath(), garbage);
  ValueStore store = ValueStore::open();
  EXPECT_EQ(store.availability(), ValueStore::Availability::Damaged);
  EXPECT_FALSE(store.value(kSettingsKey, "current"));
  EXPECT_EQ(store.value(kSettingsKey, "kept")->text, "yes");
  EXPECT_EQ(readBytes(ValueStore::defaultFilePath()), garbage);  // reading changes nothing

  ASSERT_TRUE(store.setInteger(kSettingsKey, "current", 1));
  ASSERT_FALSE(store.setAsidePath().isEmpty());
  EXPECT_EQ(readBytes(store.setAsidePath()), garbage);
  EXPECT_EQ(ValueStore::open().value(kSettingsKey, "current")->integer, 1);
  EXPECT_EQ(ValueStore::open().value(kSettingsKey, "kept")->text, "yes");
  EXPECT_TRUE(ValueStore::open().setInteger(kSettingsKey, "current", 2));
  // Only the broken file was set aside, once.
  EXPECT_EQ(QDir(QFileInfo(ValueStore::defaultFilePath()).path()).entryList(QDir::Files).size(), 2);
}

namespace {
ino_t inodeOf(const QString& path) {
  struct stat status {};
  return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}
}  // namespace

// A start stores values it mostly found already; those leave the file as it was.
TEST(ValueStore, StoringWhatItHoldsWritesNothingUnlessTheFileIsDamaged) {
  ConfigHome config;
  ASSERT_TRUE(ValueStore::open().setInteger(kSettingsKey, "current", 3));
  ASSERT_TRUE(ValueStore::open().setText(kSettingsKey, "Lasttime", "then"));
  const ino_t written = inodeOf(ValueStore::defaultFilePath());
  ASSERT_NE(written, 0u);
  EXPECT_TRUE(ValueStore::open().setInteger(kSettingsKey, "CURRENT", 3));
  EXPECT_TRUE(ValueStore::open().setText(kSettingsKey, "Lasttime", "then"));
  EXPECT_EQ(inodeOf(ValueStore::defaultFilePath()), written);
  // The same digits as text are another value.
  EXPECT_TRUE(ValueStore::open().setText(kSettingsKey, "current", "3"));
  EXPECT_NE(inodeOf(ValueStore::defaultFilePath()), written);
  EXPECT_EQ(ValueStore::open().value(kSettingsKey, "current")->kind, ValueStore::Kind::Text);

  // A damaged file is repaired by any write, one of a value it holds too.
  writeBytes(ValueStore::defaultFilePath(), "[Software\\Nimbra-Wallpaper]\n\"kept\"=\"yes\"\nnotes\n");
  ValueStore damaged = ValueStore::open();
  ASSERT_EQ(damaged.availability(), ValueStore::Availability::Damaged);
  EXPECT_TRUE(damaged.setText(kSettingsKey, "kept", "yes"));
  EXPECT_FALSE(damaged.setAsidePath().isEmpty());
  EXPECT_EQ(ValueStore::open().availability(), ValueStore::Availability::Open);
}

// --- autostart entry

TEST(AutostartEntry, ExecLineQuotingSurvivesAwkwardFolders) {
  EXPECT_EQ(execLine({"/opt/Nimbra Wallpaper/NimbraWallpaper", "-1"}),
            "\"/opt/Nimbra Wallpaper/NimbraWallpaper\" -1");
  EXPECT_EQ(execLine({"/srv/100%/NimbraWallpaper", "-2"}), "\"/srv/100%%/NimbraWallpaper\" -2");
  EXPECT_EQ(execLine({"/a/\"$`\\/NimbraWallpaper", "-3"}), "\"/a/\\\"\\$\\`\\\\/NimbraWallpaper\" -3");
  for (const QString& folder : kAwkwardFolders) {
    const QStringList command = {folder + "NimbraWallpaper", "-1"};
    EXPECT_EQ(splitExecLine(execLine(command)), command) << folder.toStdString();
    const auto entry = parseDesktopEntry(desktopEntryText(command));
    ASSERT_TRUE(entry) << folder.toStdString();
    EXPECT_EQ(entry->command, command) << folder.toStdString();
    EXPECT_TRUE(entry->active);
  }
}

// Found by fuzzing: an unquoted last argument lost the vertical tab at its end.
TEST(AutostartEntry, ArgumentsWithBlanksOrControlsAtEitherEndReadBack) {
  for (const QStringList& command : {QStringList{"/usr/bin/prog", QString::fromUtf8("s/\0-\v", 5)},
                                     QStringList{"/usr/bin/prog", "\fa", "b\r"}, QStringList{"/p", "\x01"}}) {
    const auto entry = parseDesktopEntry(desktopEntryText(command));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->command, command);
  }
}

TEST(AutostartEntry, ReadsEntriesWrittenByOthers) {
  auto command = [](const char* text) {
    const auto entry = parseDesktopEntry(text);
    return entry ? entry->command : QStringList{"<none>"};
  };
  EXPECT_EQ(command("[Desktop Entry]\nExec=/usr/bin/prog %U -1\n"), (QStringList{"/usr/bin/prog", "-1"}));
  EXPECT_EQ(command("[Desktop Entry]\nExec='/my dir/prog' a\\ b\n"), (QStringList{"/my dir/prog", "a b"}));
  EXPECT_EQ(command("[Desktop Entry]\nExec=\"/p\\\\\\\\q/prog\"\n"), (QStringList{"/p\\q/prog"}));
  EXPECT_EQ(command("[Other]\nExec=/x\n[Desktop Entry]\nName=n\n"), (QStringList{"<none>"}));
  EXPECT_EQ(command("[Desktop Entry]\nExec=\"/unterminated -1\n"), (QStringList{"<none>"}));
  EXPECT_EQ(command("[Desktop Entry]\nExec=\n"), (QStringList{"<none>"}));
  EXPECT_EQ(command("garbage \x01\x02"), (QStringList{"<none>"}));
  EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nExec=/p -1\nHidden=true\n")->active);
  EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nExec=/p -1\nX-GNOME-Autostart-enabled=false\n")->active);
}

TEST(AutostartEntry, PassesDesktopFileValidate) {
  if (const QString problem = programProblem("desktop-file-validate", {"--help"}, "desktop-file-utils");
      !problem.isEmpty())
    GTEST_SKIP() << problem.toStdString();
  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  QTemporaryDir dir;
  for (const QString& folder : kAwkwardFolders) {
    const QString file = dir.filePath("Nimbra-Wallpaper.desktop");
    writeBytes(file, desktopEntryText({folder + "NimbraWallpaper", "-2"}));
    QProcess process;
    process.start(validator, {file});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QByteArray output = process.readAllStandardOutput() + process.readAllStandardError();
    EXPECT_EQ(process.exitCode(), 0) << folder.toStdString() << ": " << output.constData();
    EXPECT_FALSE(output.contains("error")) << folder.toStdString() << ": " << output.constData();
  }
}

// The session's own launcher must start the program from such a folder.
TEST(AutostartEntry, GLibLauncherStartsTheProgramFromAnAwkwardFolder) {
  if (const QString problem = programProblem("gio", {"version"}, "libglib2.0-bin"); !problem.isEmpty())
    GTEST_SKIP() << problem.toStdString();
  const QString gio = QStandardPaths::findExecutable("gio");
  ConfigHome config;
  QTemporaryDir dir;
  for (const QString& name : {QStringLiteral("it's \"q\" $x \\b (1)"), QStringLiteral("100% sure")}) {
    const QString folder = dir.filePath(name) + '/';
    const QString record = dir.filePath("arguments.txt");
    QFile::remove(record);
    // Written aside and renamed, so that the test never reads half a record.
    writeBytes(folder + "NimbraWallpaper", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.toUtf8() +
                                               ".new' && mv '" + record.toUtf8() + ".new' '" +
                                               record.toUtf8() + "'\n");
    QFile::setPermissions(folder + "NimbraWallpaper", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(writeAutostartEntry({folder + "NimbraWallpaper", "-1"}));
    EXPECT_EQ(readAutostartEntry()->command.first(), folder + "NimbraWallpaper");

    QProcess launcher;
    launcher.start(gio, {"launch", autostartEntryPath()});
    ASSERT_TRUE(launcher.waitForFinished(30000));
    EXPECT_EQ(launcher.exitCode(), 0)
        << name.toStdString() << ": " << launcher.readAllStandardError().constData();
    for (int wait = 0; wait < 100 && !QFile::exists(record); ++wait) QThread::msleep(50);
    EXPECT_EQ(readBytes(record), "-1\n") << name.toStdString();
  }
  EXPECT_TRUE(removeAutostartEntry());
  EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
  EXPECT_FALSE(QFileInfo(userConfigFolder() + "/Nimbra-Wallpaper/NimbraWallpaper").isSymLink());
}

// --- settings rules

TEST(Settings, WideScreenNeedsMoreThanOneAndAHalf) {
  EXPECT_TRUE(isWideScreenSize({1280, 800}));
  EXPECT_TRUE(isWideScreenSize({1920, 1080}));
  EXPECT_FALSE(isWideScreenSize({1440, 960}));  // exactly 1.5
  EXPECT_FALSE(isWideScreenSize({1024, 768}));
  EXPECT_FALSE(isWideScreenSize({1280, 0}));
}

TEST(Settings, ChangeModeFollowsStoredModeAndFirstArgument) {
  EXPECT_EQ(startupChangeMode(1, "-1"), 1);  // started by the autostart entry
  EXPECT_EQ(startupChangeMode(1, ""), 3);    // started by hand
  EXPECT_EQ(startupChangeMode(1, "x1"), 1);
  EXPECT_EQ(startupChangeMode(1, "-10"), 3);
  EXPECT_EQ(startupChangeMode(1, "-2"), 3);
  EXPECT_EQ(startupChangeMode(2, ""), 2);
  EXPECT_EQ(startupChangeMode(2, "-1"), 2);
  EXPECT_EQ(startupChangeMode(3, "-1"), 3);
}

TEST(Settings, LastTimeTextIsTheLocalesShortDateAndLongTime) {
  const QDateTime afternoon(QDate(2026, 3, 5), QTime(14, 7, 9));
  const QString english = lastTimeText(afternoon, QLocale("en_US"));
  EXPECT_TRUE(english.startsWith("3/5/2026 2:07:09")) << english.toStdString();
  EXPECT_TRUE(english.endsWith("PM")) << english.toStdString();
  EXPECT_EQ(lastTimeText(afternoon, QLocale("de_DE")), "05.03.2026 14:07:09");
  EXPECT_EQ(lastTimeText(afternoon, QLocale("zh_CN")), "2026/3/5 14:07:09");
  EXPECT_EQ(lastTimeText(QDateTime(afternoon.date(), QTime(0, 0)), QLocale("de_DE")), "05.03.2026");
  EXPECT_EQ(parseLastTime("05.03.2026", QLocale("de_DE")), QDateTime(afternoon.date(), QTime(0, 0)));
  // Text of another locale does not read.
  EXPECT_FALSE(parseLastTime(english, QLocale("de_DE")).isValid());
  EXPECT_FALSE(parseLastTime("yesterday", QLocale("en_US")).isValid());
}

TEST(Settings, LastTimeReadsBackInEveryLocale) {
  const QDateTime times[] = {QDateTime(QDate(2026, 11, 28), QTime(21, 5, 7)),
                             QDateTime(QDate(2031, 1, 2), QTime(0, 0)),
                             QDateTime(QDate(2026, 7, 1), QTime(0, 0, 1))};
  for (const QLocale& locale :
       QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
    for (const QDateTime& time : times) {
      const QString text = lastTimeText(time, locale);
      const QDateTime back = parseLastTime(text, locale);
      EXPECT_EQ(back, time) << locale.name().toStdString() << ": " << text.toStdString();
    }
  }
}

// --- the three values and the autostart entry in the store

TEST(Settings, LoadCurrentRepairsWhatIsNotAnInteger) {
  ConfigHome config;
  EXPECT_EQ(LoadCurrent(), 1);
  EXPECT_EQ(stored("current")->kind, ValueStore::Kind::Integer);
  writeStore("\"current\"=\"5\"\n");
  EXPECT_EQ(LoadCurrent(), 1);
  EXPECT_EQ(stored("current")->kind, ValueStore::Kind::Integer);
  EXPECT_EQ(stored("current")->integer, 1);
  writeStore("\"current\"=dword:00000007\n");
  EXPECT_EQ(LoadCurrent(), 7);
  EXPECT_TRUE(SaveCurrent(12));
  EXPECT_EQ(LoadCurrent(), 12);
}

TEST(Settings, LoadLastTimeRepairsMissingUnreadableAndWrongType) {
  ConfigHome config;
  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  for (const QByteArray& body : {QByteArray(), QByteArray("\"Lasttime\"=\"no date\"\n"),
                                 QByteArray("\"Lasttime\"=dword:00000001\n")}) {
    writeStore(body);
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime loaded = LoadLastTime(now);
    EXPECT_EQ(loaded, now) << body.constData();
    EXPECT_GE(loaded, before) << body.constData();
    EXPECT_LE(loaded, QDateTime::currentDateTime()) << body.constData();
    ASSERT_EQ(stored("Lasttime")->kind, ValueStore::Kind::Text) << body.constData();
    EXPECT_LE(qAbs(parseLastTime(stored("Lasttime")->text).secsTo(loaded)), 1) << body.constData();
  }
  const QDateTime morning(QDate(2026, 2, 1), QTime(8, 30, 15));
  EXPECT_TRUE(SaveLastTime(morning));
  EXPECT_EQ(LoadLastTime(QDateTime::currentDateTime()), morning);
}

TEST(Settings, AutoChangeOutOfRangeReadsAsThreeAndTextIsDeleted) {
  ConfigHome config;
  EXPECT_EQ(LoadAutoChange(), 3);
  EXPECT_FALSE(stored("AutoChange"));  // reading alone writes nothing
  writeStore("\"AutoChange\"=dword:00000007\n");
  EXPECT_EQ(LoadAutoChange(), 3);
  EXPECT_EQ(stored("AutoChange")->integer, 7);  // start-up rewrites it, not the read
  writeStore("\"AutoChange\"=\"2\"\n");
  EXPECT_EQ(LoadAutoChange(), 3);
  EXPECT_FALSE(stored("AutoChange"));
  SaveAutoChange(2);
  EXPECT_EQ(LoadAutoChange(), 2);
  EXPECT_EQ(stored("AutoChange")->kind, ValueStore::Kind::Integer);
}

TEST(Settings, UnavailableStoreGivesTheDefaults) {
  ConfigHome config;
  writeBytes(config.root() + "/plain-file", "x");
  config.point(config.root() + "/plain-file");
  EXPECT_EQ(LoadCurrent(), 1);
  EXPECT_EQ(LoadLastTime(QDateTime::currentDateTime()), QDateTime(QDate(1899, 12, 31), QTime(0, 0)));
  EXPECT_EQ(LoadAutoChange(), 3);
  EXPECT_FALSE(SaveCurrent(1));
  EXPECT_FALSE(SaveLastTime(QDateTime::currentDateTime()));
  SaveAutoChange(2);
  SaveAutoRun(true, kProgram);
  EXPECT_FALSE(AutoRunEnabled(kProgram));
  EXPECT_EQ(readBytes(config.root() + "/plain-file"), "x");
}

TEST(Settings, CorruptStoreIsRepairedWithItsOldContentKept) {
  ConfigHome config;
  writeBytes(ValueStore::defaultFilePath(), "not a store at all");
  EXPECT_EQ(LoadCurrent(), 1);
  EXPECT_EQ(stored("current")->integer, 1);
  const QStringList files = QDir(QFileInfo(ValueStore::defaultFilePath()).path()).entryList(QDir::Files);
  ASSERT_EQ(files.size(), 2);
  const QString aside = files.first() == "values.reg" ? files.last() : files.first();
  EXPECT_TRUE(aside.startsWith("values.reg.broken-")) << aside.toStdString();
}

// A hand-edited line costs its own value only: the position and the time of
// the last change stay.
TEST(Settings, AnUnreadableLineIsRepairedAloneAndTheOtherValuesStay) {
  ConfigHome config;
  const QDateTime morning(QDate(2026, 2, 1), QTime(8, 30, 15));
  writeStore("\"current\"=dword:00000005\n\"Lasttime\"=\"" + lastTimeText(morning).toUtf8() +
             "\"\n\"AutoChange\"=2\n");
  EXPECT_EQ(LoadAutoChange(), 3);
  EXPECT_EQ(LoadCurrent(), 5);
  EXPECT_EQ(LoadLastTime(QDateTime::currentDateTime()), morning);
  EXPECT_TRUE(SaveCurrent(6));
  EXPECT_EQ(LoadCurrent(), 6);
  EXPECT_EQ(LoadLastTime(QDateTime::currentDateTime()), morning);
  EXPECT_EQ(LoadAutoChange(), 3);
  EXPECT_EQ(ValueStore::open().availability(), ValueStore::Availability::Open);

  // An unreadable "current" becomes 1 and nothing else changes.
  writeStore("\"current\"=dword:-5\n\"AutoChange\"=dword:00000002\n");
  EXPECT_EQ(LoadCurrent(), 1);
  EXPECT_EQ(stored("current")->integer, 1);
  EXPECT_EQ(LoadAutoChange(), 2);
}

TEST(Settings, AReadOnlyStoreIsLeftAsItIs) {
  ConfigHome config;
  const QByteArray content = "[Software\\Nimbra-Wallpaper]\n\"current\"=dword:00000004\n\"AutoChange\"=x\n";
  writeBytes(ValueStore::defaultFilePath(), content);
  ASSERT_TRUE(QFile::setPermissions(ValueStore::defaultFilePath(), QFile::ReadOwner | QFile::ReadGroup));
  EXPECT_FALSE(SaveCurrent(9));
  EXPECT_EQ(LoadCurrent(), 4);
  EXPECT_EQ(readBytes(ValueStore::defaultFilePath()), content);
  // Nor is a copy set aside at every attempt.
  EXPECT_EQ(QDir(QFileInfo(ValueStore::defaultFilePath()).path()).entryList(QDir::Files),
            QStringList{"values.reg"});
}

TEST(Settings, AReadOnlyAutoRunEntryIsKeptWhenTheModeChanges) {
  ConfigHome config;
  SaveAutoChange(1);
  SaveAutoRun(true, kProgram);
  const QByteArray entry = readBytes(autostartEntryPath());
  ASSERT_TRUE(QFile::setPermissions(autostartEntryPath(), QFile::ReadOwner | QFile::ReadGroup));
  SaveAutoChange(2);
  SaveAutoRun(true, kProgram);
  EXPECT_EQ(readBytes(autostartEntryPath()), entry);
  EXPECT_TRUE(AutoRunEnabled(kProgram));
  // Turning autostart off is asked for: the entry goes.
  SaveAutoRun(false, kProgram);
  EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
}

TEST(Settings, AutoRunEntryCarriesTheModeAndNamesThisFolderOnly) {
  ConfigHome config;
  for (const QString& folder : kAwkwardFolders) {
    const QString program = folder + "NimbraWallpaper";
    SaveAutoChange(2);
    SaveAutoRun(true, program);
    const auto entry = readAutostartEntry();
    ASSERT_TRUE(entry) << folder.toStdString();
    EXPECT_EQ(entry->command, (QStringList{folder + "NimbraWallpaper", "-2"}));
    EXPECT_TRUE(AutoRunEnabled(program)) << folder.toStdString();
    SaveAutoRun(false, program);
    EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
    EXPECT_FALSE(AutoRunEnabled(program));
  }
  for (const char* other : {"/other/NimbraWallpaper", "/home/u/apps/x/NimbraWallpaper",
                            "/APPS/X/NimbraWallpaper", "/apps/x/NimbraWallpaper.exe"}) {
    writeAutostartEntry({other, "-1"});
    EXPECT_FALSE(AutoRunEnabled(kProgram)) << other;
  }
  writeBytes(autostartEntryPath(),
             "[Desktop Entry]\nType=Application\nName=N\nExec=/apps/x/NimbraWallpaper -1\n");
  EXPECT_TRUE(AutoRunEnabled(kProgram));
  writeBytes(autostartEntryPath(), "[Desktop Entry]\nExec=/apps/x/NimbraWallpaper -1\nHidden=true\n");
  EXPECT_FALSE(AutoRunEnabled(kProgram));
}

// --- the auto-start options as values

namespace {
class SettingsControllerTest : public ::testing::Test {
 protected:
  ConfigHome config;
  SettingsController settings{kProgram};
  int changes = 0;

  void SetUp() override {
    QObject::connect(&settings, &SettingsController::changed, [this] { ++changes; });
  }
  static QString program() { return QStringLiteral("/apps/x/NimbraWallpaper"); }
  static QStringList entry() {
    const auto stored = readAutostartEntry();
    return stored ? stored->command : QStringList();
  }
  static int storedMode() {
    const auto value = stored("AutoChange");
    return value && value->kind == ValueStore::Kind::Integer ? value->integer : -1;
  }
  // Auto-start off: no entry, and the mode shown greyed is the one stored.
  void expectOff(int mode) const {
    EXPECT_FALSE(settings.autoRun());
    EXPECT_FALSE(settings.modesUsable());
    EXPECT_EQ(settings.changeMode(), mode);
    EXPECT_EQ(storedMode(), mode);
    EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
  }
  // Auto-start on with a mode, as a start finds it.
  void loadWith(int mode) {
    SaveAutoChange(mode);
    ASSERT_TRUE(writeAutostartEntry({program(), "-" + QString::number(mode)}));
    ASSERT_EQ(settings.load(), mode);
    ASSERT_TRUE(settings.autoRun());
  }
};
}  // namespace

TEST_F(SettingsControllerTest, ACleanMachineLoadsWithAutoStartOffAndTheChangeDisabled) {
  EXPECT_EQ(settings.load(), 3);
  expectOff(3);
  EXPECT_EQ(changes, 1);
}

TEST_F(SettingsControllerTest, LoadShowsTheStoredModeAndRewritesTheEntryWithIt) {
  SaveAutoChange(2);
  ASSERT_TRUE(writeAutostartEntry({program(), "-1"}));
  EXPECT_EQ(settings.load(), 2);
  EXPECT_TRUE(settings.autoRun());
  EXPECT_TRUE(settings.modesUsable());
  EXPECT_EQ(settings.changeMode(), 2);
  EXPECT_EQ(entry(), (QStringList{program(), "-2"}));
  // An out-of-range mode reads and is stored as 3.
  writeStore("\"AutoChange\"=dword:00000007\n");
  EXPECT_EQ(settings.load(), 3);
  EXPECT_EQ(storedMode(), 3);
  EXPECT_EQ(entry(), (QStringList{program(), "-3"}));
}

TEST_F(SettingsControllerTest, AnEntryForAnotherFolderGoesAndTheStoredModeWaitsGreyed) {
  SaveAutoChange(1);
  ASSERT_TRUE(writeAutostartEntry({"/elsewhere/NimbraWallpaper", "-1"}));
  EXPECT_EQ(settings.load(), 1);
  expectOff(1);
  // Turning auto-start on shows that mode and puts it in the entry.
  settings.setAutoRun(true);
  EXPECT_EQ(settings.changeMode(), 1);
  EXPECT_EQ(entry(), (QStringList{program(), "-1"}));
}

TEST_F(SettingsControllerTest, TurningAutoStartOffDisablesTheChangeAndOnAgainShowsIt) {
  loadWith(2);
  settings.setAutoRun(false);
  expectOff(3);
  settings.setAutoRun(true);
  EXPECT_TRUE(settings.modesUsable());
  EXPECT_EQ(settings.changeMode(), 3);
  EXPECT_EQ(entry(), (QStringList{program(), "-3"}));
}

TEST_F(SettingsControllerTest, TurningAutoStartOnShowsTheModeStoredSinceAndKeepsIt) {
  ASSERT_EQ(settings.load(), 3);
  // Another copy of the program stored a mode meanwhile.
  SaveAutoChange(1);
  settings.setAutoRun(true);
  EXPECT_EQ(settings.changeMode(), 1);
  EXPECT_EQ(storedMode(), 1);
  EXPECT_EQ(entry(), (QStringList{program(), "-1"}));
}

TEST_F(SettingsControllerTest, AChosenModeIsStoredAndEndsTheEntry) {
  loadWith(3);
  changes = 0;
  settings.chooseMode(2);
  EXPECT_EQ(settings.changeMode(), 2);
  EXPECT_EQ(storedMode(), 2);
  EXPECT_EQ(entry(), (QStringList{program(), "-2"}));
  settings.chooseMode(1);
  EXPECT_EQ(storedMode(), 1);
  EXPECT_EQ(entry(), (QStringList{program(), "-1"}));
  EXPECT_EQ(changes, 2);
}

TEST_F(SettingsControllerTest, GreyedModesAndModesThatDoNotExistTakeNoChoice) {
  loadWith(2);
  settings.chooseMode(0);
  settings.chooseMode(4);
  EXPECT_EQ(settings.changeMode(), 2);
  EXPECT_EQ(storedMode(), 2);
  settings.setAutoRun(false);
  settings.chooseMode(1);
  expectOff(3);
}

TEST_F(SettingsControllerTest, ReloadFollowsAnEntryThatChangedBehindTheProgram) {
  loadWith(2);
  removeAutostartEntry();
  settings.reload();
  expectOff(3);
  ASSERT_TRUE(writeAutostartEntry({program(), "-3"}));
  SaveAutoChange(1);
  settings.reload();
  EXPECT_TRUE(settings.autoRun());
  EXPECT_EQ(settings.changeMode(), 1);
  EXPECT_EQ(entry(), (QStringList{program(), "-1"}));
  // With nothing changed, a reload writes the entry again and shows the same.
  settings.reload();
  EXPECT_EQ(settings.changeMode(), 1);
  EXPECT_EQ(entry(), (QStringList{program(), "-1"}));
}

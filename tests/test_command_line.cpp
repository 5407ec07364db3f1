// The command line: what a start is asked to do, the words it hands to a
// running program, and the commands' outcomes and exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "library/ProgramCommands.h"
#include "library/WallpaperWorker.h"
#include "platform/WallpaperSetter.h"
#include "support/ConfigHome.h"
#include "support/TemporaryProgramFolder.h"
#include "support/WaitUntil.h"

namespace {

const QString kProgram = QStringLiteral("/usr/bin/NimbraWallpaper");

class ScriptedSetter : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path, const CancelToken&) override {
    given << path;
    return answer;
  }
  QString name() const override { return QStringLiteral("scripted desktop"); }

  SetResult answer = SetResult::applied();
  QStringList given;
};

ProgramCommand parsed(const QStringList& words) {
  QString problem;
  const std::optional<ProgramCommand> command = parseCommandLine(QStringList{kProgram} + words, &problem);
  EXPECT_TRUE(command) << qPrintable(problem);
  return command.value_or(ProgramCommand{});
}

TEST(CommandLine, NoArgumentShowsAndAnyOtherWordIsAPlainStart) {
  EXPECT_EQ(parsed({}).kind, CommandKind::Show);
  // The auto-start entry's argument keeps the start-in-tray rule.
  EXPECT_EQ(parsed({QStringLiteral("-1")}).kind, CommandKind::Start);
  EXPECT_EQ(parsed({QStringLiteral("--unknown")}).kind, CommandKind::Start);
  EXPECT_EQ(parsed({QStringLiteral("--unknown"), QStringLiteral("--more")}).kind, CommandKind::Start);
}

// What a command would do with words it does not take is not what was
// asked: the command is refused, with the usage.
TEST(CommandLine, ACommandGivenMoreThanItTakesIsRefusedWithTheUsage) {
  const QList<QStringList> refused = {
      {QStringLiteral("--next"), QStringLiteral("extra")},
      {QStringLiteral("--quit"), QStringLiteral("now")},
      // --monitor is --set's one option; a word after its name is not.
      {QStringLiteral("--set"), QStringLiteral("a.jpg"), QStringLiteral("--monitor"), QStringLiteral("2"),
       QStringLiteral("extra")},
      {QStringLiteral("--set"), QStringLiteral("a.jpg"), QStringLiteral("--screen"), QStringLiteral("2")},
      {QStringLiteral("--show"), QString()},
  };
  for (const QStringList& words : refused) {
    QString problem;
    EXPECT_FALSE(parseCommandLine(QStringList{kProgram} + words, &problem)) << qPrintable(words.join(' '));
    EXPECT_TRUE(problem.startsWith(words.first())) << qPrintable(problem);
    EXPECT_TRUE(problem.contains(QLatin1String("Usage: NimbraWallpaper"))) << qPrintable(problem);
  }
}

TEST(CommandLine, EveryCommandSurvivesTheTripToTheRunningProgram) {
  for (const QString& option :
       {QStringLiteral("--show"), QStringLiteral("--next"), QStringLiteral("--previous"),
        QStringLiteral("--quit"), QStringLiteral("-1")}) {
    const ProgramCommand command = parsed({option});
    EXPECT_EQ(commandFromRequest(instanceRequest(command)).kind, command.kind) << qPrintable(option);
  }
  const ProgramCommand set = parsed({QStringLiteral("--set"), QStringLiteral("/pictures/a b.jpg")});
  const ProgramCommand received = commandFromRequest(instanceRequest(set));
  EXPECT_EQ(received.kind, CommandKind::Set);
  EXPECT_EQ(received.file, QStringLiteral("/pictures/a b.jpg"));
}

namespace {
const MonitorList kTwoMonitors = {{QStringLiteral("HDMI-1"), QRect(1920, 0, 1280, 1024)},
                                  {QStringLiteral("DP-1"), QRect(0, 0, 1920, 1080)}};
}  // namespace

// The monitor is looked up where the picture is set, by whoever asks the
// desktop for its monitors anyway: the start hands it on as it was given.
TEST(CommandLine, MonitorIsFoundByItsNameOrItsNumberFromTheLeft) {
  for (const auto& [given, found] :
       {std::pair{"HDMI-1", "HDMI-1"}, std::pair{"1", "DP-1"}, std::pair{"2", "HDMI-1"}}) {
    const ProgramCommand command = parsed({QStringLiteral("--set"), QStringLiteral("a.jpg"),
                                           QStringLiteral("--monitor"), QString::fromLatin1(given)});
    const ProgramCommand received = commandFromRequest(instanceRequest(command));
    EXPECT_EQ(received.file, command.file);
    EXPECT_EQ(received.target.naming, MonitorNaming::User);
    QString problem;
    const std::optional<WallpaperTarget> target =
        resolveTarget(received.target, orderedMonitors(kTwoMonitors), &problem);
    ASSERT_TRUE(target) << qPrintable(problem);
    EXPECT_TRUE(target->isOneMonitor());
    EXPECT_EQ(target->monitor.name, QLatin1String(found)) << given;
  }
}

TEST(CommandLine, AnUnknownMonitorIsRefusedWithTheNamesThereAre) {
  for (const char* unknown : {"VGA-1", "3", "0"}) {
    QString problem;
    EXPECT_FALSE(resolveTarget(WallpaperTarget::named(QString::fromLatin1(unknown)),
                               orderedMonitors(kTwoMonitors), &problem))
        << unknown;
    EXPECT_TRUE(problem.contains(QLatin1String("1 DP-1 (1920x1080), 2 HDMI-1 (1280x1024)")))
        << qPrintable(problem);
  }
  QString problem;
  EXPECT_FALSE(parseCommandLine(
      {kProgram, QStringLiteral("--set"), QStringLiteral("a.jpg"), QStringLiteral("--monitor")}, &problem));
  EXPECT_TRUE(problem.contains(QLatin1String("--monitor"))) << qPrintable(problem);
}

TEST(CommandLine, SetWithoutMonitorIsForAllMonitors) {
  const ProgramCommand command = parsed({QStringLiteral("--set"), QStringLiteral("a.jpg")});
  EXPECT_EQ(command.target.kind, TargetKind::AllMonitors);
  EXPECT_EQ(commandFromRequest(instanceRequest(command)).target.kind, TargetKind::AllMonitors);
}

TEST(CommandLine, SetTakesItsFileRelativeToTheStartingFolder) {
  const ProgramCommand command = parsed({QStringLiteral("--set"), QStringLiteral("sub/pic.jpg")});
  EXPECT_EQ(command.file, QDir::current().absoluteFilePath(QStringLiteral("sub/pic.jpg")));
}

TEST(CommandLine, SetWithoutAFileIsRefusedWithAReason) {
  QString problem;
  EXPECT_FALSE(parseCommandLine({kProgram, QStringLiteral("--set")}, &problem));
  EXPECT_TRUE(problem.contains(QLatin1String("--set")));
  EXPECT_FALSE(parseCommandLine({kProgram, QStringLiteral("--set"), QString()}, &problem));
}

TEST(CommandLine, ImportTakesACategoryAndPathsMadeAbsoluteAndHandsThemOn) {
  const ProgramCommand command = parsed({QStringLiteral("--import"), QStringLiteral("Cartoon"),
                                         QStringLiteral("a.png"), QStringLiteral("/b c/")});
  EXPECT_EQ(command.kind, CommandKind::Import);
  EXPECT_EQ(command.category, QStringLiteral("Cartoon"));
  EXPECT_EQ(command.paths, (QStringList{QDir::current().absoluteFilePath(QStringLiteral("a.png")),
                                        QStringLiteral("/b c/")}));
  const ProgramCommand received = commandFromRequest(instanceRequest(command));
  EXPECT_EQ(received.kind, CommandKind::Import);
  EXPECT_EQ(received.category, command.category);
  EXPECT_EQ(received.paths, command.paths);

  QString problem;
  EXPECT_FALSE(parseCommandLine({kProgram, QStringLiteral("--import"), QStringLiteral("2")}, &problem));
  EXPECT_TRUE(problem.contains(QLatin1String("--import needs a category"))) << qPrintable(problem);
  EXPECT_EQ(commandFromRequest({QStringLiteral("import"), QStringLiteral("2")}).kind, CommandKind::Start);
}

TEST(CommandLine, AnImportNamesEachRefusedFileOnALineOfItsOwn) {
  ImportReport report;
  report.files.push_back({QStringLiteral("/p/a.jpg"), ImportOutcome::Imported, {}, Shape::Normal, {}, {}});
  report.files.push_back(
      {QStringLiteral("/p/b.jpg"), ImportOutcome::AlreadyThere, {}, Shape::Normal, {}, {}});
  EXPECT_EQ(importReply(report, 2).exitCode, 0);
  EXPECT_EQ(importReply(report, 2).message, QStringLiteral("1 imported into category 2, 1 already there"));
  report.files.push_back({QStringLiteral("/p/c.png"),
                          ImportOutcome::Refused,
                          QStringLiteral("not a picture"),
                          Shape::Normal,
                          {},
                          {}});
  report.files.push_back({QStringLiteral("/p/d"),
                          ImportOutcome::Refused,
                          QStringLiteral("no such file"),
                          Shape::Normal,
                          {},
                          {}});
  const InstanceReply refused = importReply(report, 2);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.message, QStringLiteral("/p/c.png: not a picture\nNimbraWallpaper: /p/d: no such file"));
}

TEST(CommandLine, ARequestThatIsNotUnderstoodChangesNothing) {
  EXPECT_EQ(commandFromRequest({}).kind, CommandKind::Start);
  EXPECT_EQ(commandFromRequest({QStringLiteral("format-disk")}).kind, CommandKind::Start);
  EXPECT_EQ(commandFromRequest({QStringLiteral("set")}).kind, CommandKind::Start) << "set without its file";
}

class CommandOutcomeTest : public ::testing::Test {
 protected:
  // A command's answer, once the desktop has given it.
  InstanceReply await(const std::function<void(CommandAnswer)>& command) {
    std::optional<InstanceReply> reply;
    command([&reply](const InstanceReply& answer) { reply = answer; });
    EXPECT_TRUE(waitUntil([&] { return reply.has_value(); }));
    return reply.value_or(InstanceReply{-1, QStringLiteral("no answer")});
  }
  InstanceReply setPicture(const QString& file) {
    return await([&](CommandAnswer answer) { setPictureCommand(worker, file, std::move(answer)); });
  }
  InstanceReply step(RotationController& rotation, RotationController::Direction direction) {
    return await(
        [&](CommandAnswer answer) { stepRotationCommand(rotation, worker, direction, std::move(answer)); });
  }

  ConfigHome home;
  ProgramFolder folder;
  std::shared_ptr<ScriptedSetter> setter = std::make_shared<ScriptedSetter>();
  WallpaperWorker worker{setter};
};

TEST_F(CommandOutcomeTest, SetAppliesAPictureAndEndsWithZero) {
  const QString picture = folder.writePicture(QStringLiteral("mine.png"), QSize(8, 6), Qt::green);
  const InstanceReply reply = setPicture(picture);
  EXPECT_EQ(reply.exitCode, 0);
  EXPECT_EQ(setter->given, QStringList{picture});
}

TEST_F(CommandOutcomeTest, SetRefusesAMissingFileOrOneThatIsNotAPicture) {
  const InstanceReply missing = setPicture(folder.file(QStringLiteral("gone.jpg")));
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.message.contains(QLatin1String("gone.jpg")));
  folder.writeFile(QStringLiteral("notes.jpg"), "these are notes, not a picture");
  const InstanceReply text = setPicture(folder.file(QStringLiteral("notes.jpg")));
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_TRUE(text.message.contains(QLatin1String("not a picture")));
  EXPECT_TRUE(setter->given.isEmpty()) << "the desktop must not be told to show what is not a picture";
}

// A folder, a pipe, a device or a loop of links is there but is no file:
// said so, and nothing is read from it (a pipe would block).
TEST_F(CommandOutcomeTest, SetSaysWhatIsThereWhenItIsNoRegularFile) {
  const QString pipe = folder.file(QStringLiteral("pipe.jpg"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  const QString loop = folder.file(QStringLiteral("loop.jpg"));
  ASSERT_TRUE(QFile::link(folder.file(QStringLiteral("round.jpg")), loop));
  ASSERT_TRUE(QFile::link(loop, folder.file(QStringLiteral("round.jpg"))));
  for (const QString& path : {folder.path(), pipe, QStringLiteral("/dev/null"), loop}) {
    const InstanceReply reply = setPicture(path);
    EXPECT_EQ(reply.exitCode, 1) << qPrintable(path);
    EXPECT_TRUE(reply.message.startsWith(QLatin1String("not a regular file: "))) << qPrintable(reply.message);
  }
  EXPECT_TRUE(
      setPicture(folder.file(QStringLiteral("gone.jpg"))).message.startsWith(QLatin1String("no such file")));
  EXPECT_TRUE(setter->given.isEmpty());
}

TEST_F(CommandOutcomeTest, SetTellsAPictureByItsContentNotItsName) {
  // A JPEG and a bitmap under names that say otherwise are pictures.
  const QString jpeg = folder.writePicture(QStringLiteral("photo.jpg"), QSize(8, 6), Qt::red);
  const QString bitmap = folder.writePicture(QStringLiteral("drawing.bmp"), QSize(8, 6), Qt::blue);
  const QString jpegAsText = folder.file(QStringLiteral("photo.txt"));
  const QString bitmapAsJpeg = folder.file(QStringLiteral("drawing.jpg"));
  ASSERT_TRUE(QFile::rename(jpeg, jpegAsText));
  ASSERT_TRUE(QFile::rename(bitmap, bitmapAsJpeg));
  EXPECT_EQ(setPicture(jpegAsText).exitCode, 0);
  EXPECT_EQ(setPicture(bitmapAsJpeg).exitCode, 0);
  EXPECT_EQ(setter->given, (QStringList{jpegAsText, bitmapAsJpeg}));
  // An error page saved under a picture's name is not one.
  folder.writeFile(QStringLiteral("page.png"), "<html><body>404 Not Found</body></html>");
  EXPECT_EQ(setPicture(folder.file(QStringLiteral("page.png"))).exitCode, 1);
  EXPECT_EQ(setter->given.size(), 2);
}

TEST_F(CommandOutcomeTest, ADesktopThatRefusesOrHasNoWayEndsWithOneAndSaysWhy) {
  const QString picture = folder.writePicture(QStringLiteral("mine.jpg"), QSize(8, 6), Qt::green);
  setter->answer = SetResult::failed(QStringLiteral("the tool broke"));
  const InstanceReply refused = setPicture(picture);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(refused.message.contains(QLatin1String("the tool broke")));
  EXPECT_FALSE(refused.message.contains(QLatin1Char('\n')));
  setter->answer = SetResult::unavailable(QStringLiteral("no desktop"));
  const InstanceReply unavailable = setPicture(picture);
  EXPECT_EQ(unavailable.exitCode, 1);
  EXPECT_TRUE(unavailable.message.contains(QLatin1String("no desktop")));
}

TEST_F(CommandOutcomeTest, NextAndPreviousStepTheListAsTheTrayMenuDoes) {
  QStringList rows;
  for (int n = 1; n <= 3; ++n)
    rows << folder.writePicture(QStringLiteral("wallpaper/normal/local/1/l_p%1.jpg").arg(n), QSize(8, 6),
                                Qt::red);
  RotationController rotation(worker, folder.path());
  rotation.LoadRotationList(Shape::Normal);
  ASSERT_EQ(rotation.rows(), rows);
  EXPECT_EQ(step(rotation, RotationController::Direction::Next).exitCode, 0);
  EXPECT_EQ(rotation.currentIndex(), 2);
  EXPECT_EQ(step(rotation, RotationController::Direction::Previous).exitCode, 0);
  EXPECT_EQ(rotation.currentIndex(), 1);
  EXPECT_EQ(setter->given, (QStringList{rows[1], rows[0]}));

  // The stored position is the one a later start of the program goes on from.
  RotationController later(worker, folder.path());
  later.LoadRotationList(Shape::Normal);
  EXPECT_EQ(later.currentIndex(), 1);
}

TEST_F(CommandOutcomeTest, AStepWithNoPictureLeftEndsWithOne) {
  RotationController rotation(worker, folder.path());
  rotation.LoadRotationList(Shape::Normal);
  const InstanceReply reply = step(rotation, RotationController::Direction::Next);
  EXPECT_EQ(reply.exitCode, 1);
  EXPECT_FALSE(reply.message.isEmpty());
}

}  // namespace

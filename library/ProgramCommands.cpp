#include "library/ProgramCommands.h"

#include <QDir>
#include <QFileInfo>

#include "library/SetDesktopWallpaper.h"
#include "library/WallpaperWorker.h"
#include "picture/PictureFormat.h"
#include "platform/FileNames.h"

namespace {
struct CommandName {
  const char* option;
  const char* word;  // in a request to the running program
  CommandKind kind;
};
constexpr CommandName kCommands[] = {
    {"--show", "show", CommandKind::Show},
    {"--next", "next", CommandKind::Next},
    {"--previous", "previous", CommandKind::Previous},
    {"--set", "set", CommandKind::Set},
    {"--quit", "quit", CommandKind::Quit},
    {"--help", "help", CommandKind::Help},
    {"--version", "version", CommandKind::Version},
    {"--import", "import", CommandKind::Import},
};

InstanceReply failure(const QString& message) { return {1, message}; }

InstanceReply replyOf(const SetResult& result) {
  if (result.status == SetStatus::Applied) return {};
  return failure(notAppliedText(result));
}

// Answers once the worker has ended the request with this ticket.
void answerWhenDone(WallpaperWorker& worker, quint64 ticket, CommandAnswer answer) {
  auto* watch = new QObject(&worker);
  auto shared = std::make_shared<CommandAnswer>(std::move(answer));
  QObject::connect(&worker, &WallpaperWorker::finished, watch,
                   [watch, ticket, shared](quint64 ended, const SetResult& result) {
                     if (ended != ticket) return;
                     watch->deleteLater();
                     (*shared)(replyOf(result));
                   });
  QObject::connect(&worker, &WallpaperWorker::superseded, watch, [watch, ticket, shared](quint64 ended) {
    if (ended != ticket) return;
    watch->deleteLater();
    (*shared)(failure(QStringLiteral("a newer request took its place before the desktop was told")));
  });
}
}  // namespace

namespace {
// What follows a command's option: --set its file, the others nothing.
qsizetype argumentsTakenBy(CommandKind kind) { return kind == CommandKind::Set ? 1 : 0; }

// A command given more than it takes did not do what was asked, whatever
// it would have done with the rest: refused, rather than reported done.
const QString kMonitorOption = QStringLiteral("--monitor");

// --set FILE --monitor NAME: the two words after the file.
bool namesMonitor(const QStringList& arguments, CommandKind kind) {
  return kind == CommandKind::Set && arguments.size() > 3 && arguments.at(3) == kMonitorOption;
}

std::optional<QString> extraArgumentProblem(const QStringList& arguments, const char* option,
                                            CommandKind kind) {
  const qsizetype end = 2 + argumentsTakenBy(kind) + (namesMonitor(arguments, kind) ? 2 : 0);
  if (arguments.size() <= end) return std::nullopt;
  return QStringLiteral("%1 takes %2; \"%3\" is not understood\n\n%4")
      .arg(QLatin1String(option),
           kind == CommandKind::Set ? QStringLiteral("one picture file") : QStringLiteral("nothing more"),
           arguments.at(end), commandLineHelp());
}
}  // namespace

namespace {
std::optional<ProgramCommand> parseImport(const QStringList& arguments, QString* problem) {
  if (arguments.size() < 4 || arguments.at(2).isEmpty()) {
    *problem = QStringLiteral("--import needs a category and at least one picture file or folder\n\n") +
               commandLineHelp();
    return std::nullopt;
  }
  ProgramCommand command{CommandKind::Import, {}, arguments.at(2), {}};
  // The running program has a starting folder of its own.
  for (const QString& path : arguments.mid(3))
    if (!path.isEmpty()) command.paths << QDir::current().absoluteFilePath(path);
  return command;
}
}  // namespace

std::optional<ProgramCommand> parseCommandLine(const QStringList& arguments, QString* problem) {
  if (arguments.size() < 2) return ProgramCommand{CommandKind::Show, {}, {}};
  const QString first = arguments.at(1);
  if (first == QLatin1String("--import")) return parseImport(arguments, problem);
  for (const CommandName& name : kCommands) {
    if (first != QLatin1String(name.option)) continue;
    if (const std::optional<QString> extra = extraArgumentProblem(arguments, name.option, name.kind)) {
      *problem = *extra;
      return std::nullopt;
    }
    if (name.kind != CommandKind::Set) return ProgramCommand{name.kind, {}, {}};
    if (arguments.size() < 3 || arguments.at(2).isEmpty()) {
      *problem = QStringLiteral("--set needs a picture file\n\n") + commandLineHelp();
      return std::nullopt;
    }
    ProgramCommand command{CommandKind::Set, QDir::current().absoluteFilePath(arguments.at(2)), {}};
    if (namesMonitor(arguments, name.kind)) {
      if (arguments.size() < 5 || arguments.at(4).isEmpty()) {
        *problem = QStringLiteral("--monitor needs a monitor's name or number\n\n") + commandLineHelp();
        return std::nullopt;
      }
      command.target = WallpaperTarget::named(arguments.at(4));
    }
    // The running program has a starting folder of its own.
    return command;
  }
  return ProgramCommand{};
}

QStringList instanceRequest(const ProgramCommand& command) {
  for (const CommandName& name : kCommands) {
    if (name.kind != command.kind) continue;
    QStringList request{QString::fromLatin1(name.word)};
    if (command.kind == CommandKind::Set) request << command.file;
    if (command.kind == CommandKind::Import) request << command.category << command.paths;
    // The monitor goes as found here: the running program need not ask the desktop again.
    if (command.kind == CommandKind::Set && command.target.isOneMonitor()) {
      const QRect& area = command.target.monitor.geometry;
      request
          << command.target.monitor.name
          << QStringLiteral("%1,%2,%3,%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());
    }
    return request;
  }
  return {QStringLiteral("start")};
}

ProgramCommand commandFromRequest(const QStringList& request) {
  const QString word = request.value(0);
  for (const CommandName& name : kCommands) {
    if (word != QLatin1String(name.word)) continue;
    if (name.kind == CommandKind::Set && request.size() < 2) break;
    if (name.kind == CommandKind::Import) {
      if (request.size() < 3) break;
      return ProgramCommand{CommandKind::Import, {}, request.at(1), request.mid(2)};
    }
    ProgramCommand command{name.kind, name.kind == CommandKind::Set ? request.at(1) : QString(), {}};
    if (name.kind == CommandKind::Set && request.size() >= 3)
      command.target = WallpaperTarget::named(request.at(2));
    return command;
  }
  return ProgramCommand{};
}

QString commandLineHelp() {
  return QStringLiteral(
      "Usage: NimbraWallpaper [--next | --previous | --set FILE [--monitor NAME] |\n"
      "                        --import CATEGORY PATH... | --show | --quit | --help | --version]\n"
      "                        --help | --version]\n"
      "\n"
      "Without a command the program starts, or the running one shows its window.\n"
      "  --next       set the next picture of the rotation list as the wallpaper\n"
      "  --previous   set the previous picture of the rotation list as the wallpaper\n"
      "  --set FILE   set the picture FILE as the wallpaper, stretched\n"
      "  --monitor NAME\n"
      "               with --set: on that monitor only, named as the desktop names it or\n"
      "               numbered from 1, left to right, then top to bottom\n"
      "  --import CATEGORY PATH...\n"
      "               copy pictures (JPEG, PNG, BMP, GIF, WebP, TIFF, AVIF, HEIC, JPEG XL) into a local\n"
      "               category, 1 to 5 or its caption; a folder is taken with its sub-folders\n"
      "  --show       start the program, or show the running one's window\n"
      "  --quit       end the running program\n"
      "  --help       show this text\n"
      "  --version    show the program's version\n"
      "\n"
      "--next, --previous, --set and --import go to the running program when there is one;\n"
      "otherwise they do their work without a window. The exit code is 0 when the wallpaper was\n"
      "set or every picture imported, 1 when not.\n");
}

QString versionLine() { return QStringLiteral("Nimbra Wallpaper 1.2\n"); }

void setPictureCommand(WallpaperWorker& worker, const QString& file, CommandAnswer answer) {
  setPictureCommand(worker, file, WallpaperTarget::allMonitors(), std::move(answer));
}

void setPictureCommand(WallpaperWorker& worker, const QString& file, const WallpaperTarget& target,
                       CommandAnswer answer) {
  switch (kindOfPath(file)) {
    case PathKind::Missing:
      return answer(failure(QStringLiteral("no such file: %1").arg(file)));
    case PathKind::Folder:
    case PathKind::Other:
      return answer(failure(QStringLiteral("not a regular file: %1").arg(file)));
    case PathKind::File:
      break;
  }
  if (!isReadableFile(file)) return answer(failure(QStringLiteral("cannot be read: %1").arg(file)));
  // Only the header is read: a desktop told to show a file that is not a
  // picture shows a blank background.
  if (!isPictureFile(file)) return answer(failure(QStringLiteral("not a picture: %1").arg(file)));
  answerWhenDone(worker, worker.apply(file, target), std::move(answer));
}

void stepRotationCommand(RotationController& rotation, WallpaperWorker& worker,
                         RotationController::Direction direction, CommandAnswer answer) {
  const std::optional<quint64> ticket = rotation.step(direction);
  if (!ticket) return answer(failure(QStringLiteral("the rotation list names no picture that exists")));
  answerWhenDone(worker, *ticket, std::move(answer));
}

InstanceReply importReply(const ImportReport& report, int category) {
  const int imported = report.count(ImportOutcome::Imported);
  const int there = report.count(ImportOutcome::AlreadyThere);
  QString summary = QStringLiteral("%1 imported into category %2").arg(imported).arg(category);
  if (there > 0) summary += QStringLiteral(", %1 already there").arg(there);
  if (report.cancelled) summary += QStringLiteral(", the rest cancelled");
  const QStringList refusals = report.refusalLines();
  if (refusals.isEmpty() && !report.cancelled) return {0, summary};
  // The first line gets the program's name when printed; the others are
  // given it here, so that each refused file stands on a line of its own.
  QStringList lines = refusals;
  if (report.cancelled) lines << summary;
  return failure(lines.join(QStringLiteral("\nNimbraWallpaper: ")));
}

void importCommand(QObject* context, const ProgramCommand& command, const ImportCommandTarget& target,
                   CommandAnswer answer) {
  const int category = categoryOfImportWord(command.category, target.captions);
  if (category == 0)
    return answer(
        failure(QStringLiteral("\"%1\" names no local category: give 1 to 5 or a category's caption")
                    .arg(command.category)));
  auto* job = new PictureImportJob({target.dataFolder, category, command.paths}, context);
  QObject::connect(job, &PictureImportJob::finished, context,
                   [job, category, target, answer](const ImportReport& report) {
                     job->deleteLater();
                     if (target.whenImported) target.whenImported(report);
                     answer(importReply(report, category));
                   });
  job->start();
}

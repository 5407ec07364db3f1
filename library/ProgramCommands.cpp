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

std::optional<ProgramCommand> parseCommandLine(const QStringList& arguments, QString* problem) {
  if (arguments.size() < 2) return ProgramCommand{CommandKind::Show, {}, {}};
  const QString first = arguments.at(1);
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
    ProgramCommand command{name.kind, name.kind == CommandKind::Set ? request.at(1) : QString(), {}};
    if (name.kind == CommandKind::Set && request.size() >= 3)
      command.target = WallpaperTarget::named(request.at(2));
    return command;
  }
  return ProgramCommand{};
}

QString commandLineHelp() {
  return QStringLiteral(
      "Usage: NimbraWallpaper [--next | --previous | --set FILE [--monitor NAME] | --show | --quit |\n"
      "                        --help | --version]\n"
      "\n"
      "Without a command the program starts, or the running one shows its window.\n"
      "  --next       set the next picture of the rotation list as the wallpaper\n"
      "  --previous   set the previous picture of the rotation list as the wallpaper\n"
      "  --set FILE   set the picture FILE as the wallpaper, stretched\n"
      "  --monitor NAME\n"
      "               with --set: on that monitor only, named as the desktop names it or\n"
      "               numbered from 1, left to right, then top to bottom\n"
      "  --show       start the program, or show the running one's window\n"
      "  --quit       end the running program\n"
      "  --help       show this text\n"
      "  --version    show the program's version\n"
      "\n"
      "--next, --previous and --set go to the running program when there is one; otherwise they\n"
      "do their work without a window. The exit code is 0 when the wallpaper was set, 1 when not.\n");
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

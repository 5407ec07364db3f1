// The program's command line: what a start was asked to do, the words it
// hands to a running program, and the commands that do their work without
// a window.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "library/PictureImport.h"
#include "library/RotationController.h"
#include "platform/InstanceChannel.h"

enum class CommandKind {
  Start,     // an argument that names no command: the start-up sequence, whose tray rule it may ask for
  Show,      // --show, or no argument at all
  Next,      // --next
  Previous,  // --previous
  Set,       // --set FILE
  Quit,      // --quit
  Help,      // --help
  Version,   // --version
  Import,    // --import CATEGORY PATH...
};

struct ProgramCommand {
  CommandKind kind = CommandKind::Start;
  QString file;  // --set: absolute, made so against the starting folder
  // --import: the category as given (its number or caption, told apart by
  // whoever knows the language's captions) and the paths, made absolute.
  QString category = {};
  QStringList paths = {};
  // --set ... --monitor NAME: the name or number as given, looked up where
  // the picture is set; all monitors without it.
  WallpaperTarget target = {};
};

// arguments[0] is the program. An argument that names no command (the
// auto-start entry's "-1", or anything unknown) is a plain start; no
// argument at all shows the window, as --show does. nullopt, with the
// reason and the usage, for a command that lacks its file or is given more
// than it takes.
std::optional<ProgramCommand> parseCommandLine(const QStringList& arguments, QString* problem);
// The words a start hands to the running program, and the way back.
QStringList instanceRequest(const ProgramCommand& command);
ProgramCommand commandFromRequest(const QStringList& request);

QString commandLineHelp();
QString versionLine();

class WallpaperWorker;

// Called once with a command's outcome, on the thread that gave the command,
// when the desktop has answered: the event loop goes on meanwhile.
using CommandAnswer = std::function<void(const InstanceReply& reply)>;

// --set: the file must be there and be a picture; then the desktop is told.
void setPictureCommand(WallpaperWorker& worker, const QString& file, CommandAnswer answer);
void setPictureCommand(WallpaperWorker& worker, const QString& file, const WallpaperTarget& target,
                       CommandAnswer answer);
// --next and --previous on a rotation list that is loaded, stepping through
// the worker the rotation sets its pictures with.
void stepRotationCommand(RotationController& rotation, WallpaperWorker& worker,
                         RotationController::Direction direction, CommandAnswer answer);

// What --import needs of the program that runs it.
struct ImportCommandTarget {
  QString dataFolder;
  QStringList captions;  // the language file's five category captions
  // Called on the caller's thread with what was stored, before the answer:
  // the rotation list and the grid take the new pictures in.
  std::function<void(const ImportReport& report)> whenImported;
};

// --import: the files go into the category the word names on worker
// threads; answered with exit code 0 when every file was imported (or was
// there already), otherwise 1 with one line a refused file. `context` owns
// the work: gone, nothing is answered.
void importCommand(QObject* context, const ProgramCommand& command, const ImportCommandTarget& target,
                   CommandAnswer answer);
// The import's answer: what was stored on standard output, each refused
// file on a line of its own.
InstanceReply importReply(const ImportReport& report, int category);

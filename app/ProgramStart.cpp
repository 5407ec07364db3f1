#include "app/ProgramStart.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <chrono>
#include <cstdio>

#include "app/Main.h"
#include "library/Settings.h"
#include "library/WallpaperWorker.h"
#include "picture/JpegEncode.h"
#include "picture/ScreenPictureLoad.h"
#include "platform/DesktopControl.h"
#include "platform/DisplayCheck.h"
#include "platform/FileNames.h"
#include "platform/InstanceChannel.h"
#include "platform/LanguageTexts.h"
#include "platform/ProgramFolder.h"
#include "platform/ValueStore.h"
#include "platform/WallpaperSetter.h"

namespace {
using namespace std::chrono_literals;

// Long enough for a program that is starting on a loaded machine to begin
// listening, or for a command holding the lock to end.
constexpr auto kHandOverTime = 30s;
// A picture of the whole desktop is looked at as a wallpaper, never close up.
constexpr int kCompositionQuality = 90;

void printLine(FILE* stream, const QString& text) {
  if (text.isEmpty()) return;
  QByteArray bytes = text.toLocal8Bit();
  if (!bytes.endsWith('\n')) bytes += '\n';
  std::fputs(bytes.constData(), stream);
  std::fflush(stream);
}

// Runs a command and, unless it answered at once, the event loop until it
// answers; the exit code the start ends with.
int awaitAnswer(const std::function<void(CommandAnswer)>& command) {
  std::optional<InstanceReply> reply;
  command([&reply](const InstanceReply& answer) {
    reply = answer;
    QCoreApplication::quit();
  });
  if (!reply) QCoreApplication::exec();
  return reportReply(reply.value_or(InstanceReply{1, QStringLiteral("the command ended without an answer")}));
}

int stepFromStoredList(WallpaperWorker& worker, const QString& dataFolder,
                       RotationController::Direction direction) {
  RotationController rotation(worker, dataFolder);
  rotation.LoadRotationList(IsWideScreen() ? Shape::Widescreen : Shape::Normal);
  return awaitAnswer(
      [&](CommandAnswer answer) { stepRotationCommand(rotation, worker, direction, std::move(answer)); });
}

Shape screenShape() { return IsWideScreen() ? Shape::Widescreen : Shape::Normal; }

// The rotation list is loaded before the import, so that a list built afresh
// from the folders does not name the new pictures twice.
int importWithoutWindow(WallpaperWorker& worker, const QString& dataFolder, const ProgramCommand& command) {
  RotationController rotation(worker, dataFolder);
  rotation.LoadRotationList(screenShape());
  const LanguageTexts texts = readLanguageTexts(dataFolder + QStringLiteral("lang.ini"));
  const ImportCommandTarget target{dataFolder, categoryCaptions(texts),
                                   [&rotation](const ImportReport& report) {
                                     rotation.addRows(report.importedLargePictures(screenShape()));
                                   }};
  QObject owner;
  return awaitAnswer(
      [&](CommandAnswer answer) { importCommand(&owner, command, target, std::move(answer)); });
}
}  // namespace

namespace {
// The desktops whose monitors only Qt's screens tell.
bool monitorsComeFromScreens(const DesktopSession& session) {
  const DesktopFamily family = detectDesktopFamily(session);
  const bool asked = family == DesktopFamily::Sway || family == DesktopFamily::Hyprland ||
                     session.isWayland() || session.hasX11();
  return !asked;
}
}  // namespace

std::unique_ptr<QCoreApplication> commandApplication(int& argc, char** argv, const ProgramCommand& command) {
  QString why;
  // The rotation looks at the screen's shape; Xfce's setter names the
  // outputs that have no backdrop yet.
  const DesktopSession session = DesktopSession::fromEnvironment();
  const bool xfce = detectDesktopFamily(session) == DesktopFamily::Xfce;
  const CommandKind kind = command.kind;
  const bool screensNameMonitors = command.target.isOneMonitor() && monitorsComeFromScreens(session);
  const bool needsScreen = kind == CommandKind::Next || kind == CommandKind::Previous ||
                           kind == CommandKind::Import || xfce || screensNameMonitors;
  if (needsScreen && graphicalSessionAvailable(&why)) return std::make_unique<QGuiApplication>(argc, argv);
  return std::make_unique<QCoreApplication>(argc, argv);
}

QStringList argumentsOf(int argc, char** argv) {
  QStringList arguments;
  // Decoded as file names are: a path in bytes that are not UTF-8 still
  // names its file.
  for (int n = 0; n < argc; ++n) arguments << decodeFileName(QByteArrayView(argv[n]));
  return arguments;
}

int reportReply(const InstanceReply& reply) {
  printLine(reply.exitCode == 0 ? stdout : stderr, reply.exitCode == 0 || reply.message.isEmpty()
                                                       ? reply.message
                                                       : QStringLiteral("NimbraWallpaper: ") + reply.message);
  return reply.exitCode;
}

std::optional<int> handOverToInstance(InstanceLock& lock, const QString& socketPath,
                                      const ProgramCommand& command) {
  if (lock.tryTake()) return std::nullopt;
  // Without a lock file no instance can be told apart; the program runs
  // rather than refusing the user.
  if (!lock.error().isEmpty()) {
    printLine(stderr, QStringLiteral("NimbraWallpaper: %1").arg(lock.error()));
    return std::nullopt;
  }
  InstanceHandOver handOver(lock, instanceRequest(command), kHandOverTime, socketPath);
  std::optional<int> exitCode;
  QObject::connect(&handOver, &InstanceHandOver::becameInstance, QCoreApplication::instance(),
                   &QCoreApplication::quit);
  QObject::connect(&handOver, &InstanceHandOver::answered, QCoreApplication::instance(),
                   [&exitCode](const InstanceReply& reply) {
                     exitCode = reportReply(reply);
                     QCoreApplication::quit();
                   });
  QObject::connect(&handOver, &InstanceHandOver::gaveUp, QCoreApplication::instance(),
                   [&exitCode](const QString& why) {
                     exitCode = reportReply({1, why});
                     QCoreApplication::quit();
                   });
  handOver.start();
  QCoreApplication::exec();
  return exitCode;
}

namespace {
// The name as a terminal can show it: each byte that is not UTF-8 as \xNN.
QString printableFileName(const QString& name) {
  QString shown;
  for (qsizetype i = 0; i < name.size(); ++i) {
    const bool pair = name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate();
    const QStringView character = QStringView(name).mid(i, pair ? 2 : 1);
    if (holdsForeignBytes(character))
      shown += QStringLiteral("\\x") + QString::fromLatin1(encodeFileName(character).toHex());
    else
      shown += character;
    if (pair) ++i;
  }
  return shown;
}
}  // namespace

std::optional<QString> unusableDataFolder() {
  const QString folder = dataFolder();
  if (!holdsForeignBytes(folder)) return std::nullopt;
  return QStringLiteral(
             "the folder %1 has a name that is not UTF-8 text, which settings and the desktop "
             "cannot hold; move the program to a folder whose name is")
      .arg(printableFileName(folder));
}

std::optional<InstanceChannel> programInstanceChannel(QString* error) {
  return instanceChannel(dataFolder(), error);
}

MonitorList screenMonitors() {
  MonitorList monitors;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return monitors;
  for (const QScreen* screen : QGuiApplication::screens())
    monitors.append({screen->name(), screen->geometry()});
  return orderedMonitors(monitors);
}

MonitorLister sessionMonitorLister() {
  const DesktopSession session = DesktopSession::fromEnvironment();
  return makeMonitorLister(detectDesktopFamily(session), session, screenMonitors());
}

namespace {
QByteArray encodeComposition(const QImage& picture) { return encodeJpeg(picture, kCompositionQuality); }

QString backgroundRuntimeFolder() {
  QString ignored;
  return instanceRuntimeFolder(&ignored).value_or(QString());
}
}  // namespace

AppContext makeAppContext() {
  const DesktopSession session = DesktopSession::fromEnvironment();
  AppContext context;
  context.dataFolder = dataFolder();
  context.programFile = exeFolder() + kProgramFileName;
  context.homeSite = homeSite(context.dataFolder);
  context.monitors = sessionMonitorLister();
  const BackendServices services{loadScreenPicture,
                                 openScreenPicture,
                                 encodeComposition,
                                 wallpaperCopyFolder(context.dataFolder),
                                 std::make_shared<MonitorChoiceStore>(ValueStore::defaultFilePath()),
                                 backgroundRuntimeFolder(),
                                 context.monitors};
  context.wallpaperSetter = makeWallpaperSetter(detectDesktopFamily(session), session, services);
  context.desktopControl = makeDesktopControl(session);
  return context;
}

int runWithoutWindow(const AppContext& context, const ProgramCommand& command) {
  WallpaperWorker worker(context.wallpaperSetter);
  switch (command.kind) {
    case CommandKind::Set:
      return awaitAnswer([&](CommandAnswer answer) {
        setPictureCommand(worker, command.file, command.target, std::move(answer));
      });
    case CommandKind::Next:
      return stepFromStoredList(worker, context.dataFolder, RotationController::Direction::Next);
    case CommandKind::Previous:
      return stepFromStoredList(worker, context.dataFolder, RotationController::Direction::Previous);
    case CommandKind::Import:
      return importWithoutWindow(worker, context.dataFolder, command);
    default:
      return 0;
  }
}

void answerInstanceRequest(TfrmMain& form, const QStringList& request, const CommandAnswer& answer) {
  const ProgramCommand command = commandFromRequest(request);
  switch (command.kind) {
    case CommandKind::Show:
      form.restoreApplication();
      return answer({});
    case CommandKind::Next:
      return stepRotationCommand(form.rotation(), form.wallpaperWorker(), RotationController::Direction::Next,
                                 answer);
    case CommandKind::Previous:
      return stepRotationCommand(form.rotation(), form.wallpaperWorker(),
                                 RotationController::Direction::Previous, answer);
    case CommandKind::Set:
      return setPictureCommand(form.wallpaperWorker(), command.file, command.target, answer);
    case CommandKind::Import:
      return importCommand(&form, command, form.importTarget(), answer);
    case CommandKind::Quit:
      form.Exit2Click();
      // A network view at work holds the window open, as it does for the tray's Exit.
      if (form.Busy()) return answer({1, QStringLiteral("the program is busy downloading and did not end")});
      return answer({});
    default:
      // A start with the auto-start argument, or any other, changes nothing.
      return answer({});
  }
}

// The Wayland compositors that keep no wallpaper setting of their own:
// Hyprland hands it to hyprpaper, COSMIC's cosmic-bg watches its settings
// files, and any other compositor with zwlr_layer_shell_v1 (niri, labwc,
// river, wayfire) shows what a client puts on its background layer.
//
// That client is swaybg, started on its own (in a session of its own, so it
// outlives the command that started it) rather than a surface of this
// program's: it draws at each output's own size and scale, follows outputs
// as they come and go by the names it was given, and the bare `--set`
// needs no holder process of the program's to stay behind. One swaybg shows
// every monitor's choice ("-o * ..." for the picture of all, "-o NAME ..."
// for a monitor's own), so a new picture is one new swaybg: it is started,
// and the one before it is ended only once the new one has drawn, so that
// no output is ever without a background.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <cstdio>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/FileNames.h"
#include "platform/OwnProcesses.h"
#include "platform/RunProgram.h"
#include "platform/WallpaperSetter.h"

namespace {
using namespace std::chrono_literals;

// --- Hyprland

const QString kHyprctl = QStringLiteral("hyprctl");

class HyprpaperSetter : public MonitorSetter {
 public:
  explicit HyprpaperSetter(std::unique_ptr<WallpaperSetter> fallback) : m_fallback(std::move(fallback)) {}

  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    if (ownProcessesNamed("hyprpaper").isEmpty()) return m_fallback->setWallpaperOn(path, target, cancel);
    if (holdsForeignBytes(path)) return SetResult::failed(foreignBytesReason(path, kHyprctl));
    // hyprpaper splits its argument at commas, and a monitor name holds none.
    if (path.contains(u','))
      return SetResult::failed(
          QStringLiteral("hyprpaper cannot take a file name with a comma: \"%1\"").arg(path));
    const ProgramRun run = runProgram(kHyprctl, hyprpaperArguments(path, target), cancel);
    if (run.outcome == RunOutcome::NotFound) return SetResult::unavailable(run.describeFailure(kHyprctl));
    if (!run.succeeded()) return SetResult::failed(run.describeFailure(kHyprctl));
    // hyprctl ends well whatever hyprpaper answered; "ok" is its yes.
    const QString answer = QString::fromUtf8(run.output).trimmed();
    if (answer != QLatin1String("ok")) return SetResult::failed(QStringLiteral("hyprpaper: %1").arg(answer));
    return SetResult::applied();
  }
  SetResult restoreChoices(const CancelToken& cancel) override {
    if (ownProcessesNamed("hyprpaper").isEmpty()) return m_fallback->restoreChoices(cancel);
    return SetResult::applied();
  }
  QString name() const override { return QStringLiteral("Hyprland (hyprpaper)"); }

 private:
  std::unique_ptr<WallpaperSetter> m_fallback;
};

// --- COSMIC

// A RON string literal: Rust's escapes.
QString ronString(const QString& text) {
  QString escaped;
  for (const QChar c : text) {
    if (c == u'\\' || c == u'"') escaped += u'\\';
    if (c == u'\n') {
      escaped += QLatin1String("\\n");
      continue;
    }
    escaped += c;
  }
  return u'"' + escaped + u'"';
}

// The output names of a "backgrounds" list, ["A", "B"].
QStringList ronStrings(const QByteArray& list) {
  QStringList names;
  QString current;
  bool inside = false;
  bool escaped = false;
  for (const QChar c : QString::fromUtf8(list)) {
    if (!inside) {
      if (c == u'"') inside = true;
      continue;
    }
    if (escaped) {
      current += c == u'n' ? u'\n' : c;
      escaped = false;
    } else if (c == u'\\') {
      escaped = true;
    } else if (c == u'"') {
      names << current;
      current.clear();
      inside = false;
    } else {
      current += c;
    }
  }
  return names;
}

class CosmicSetter : public MonitorSetter {
 public:
  explicit CosmicSetter(QString folder) : m_folder(std::move(folder)) {
    if (!m_folder.endsWith(u'/')) m_folder += u'/';
  }

  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target, const CancelToken&) override {
    // The settings are text, and a name that is not UTF-8 would arrive as another one.
    if (holdsForeignBytes(path))
      return SetResult::failed(foreignBytesReason(path, QStringLiteral("cosmic-bg")));
    if (!target.isOneMonitor())
      return write({{QStringLiteral("all"), cosmicBackgroundEntry(QStringLiteral("all"), path)},
                    {QStringLiteral("same-on-all"), QStringLiteral("true")}});
    const QString& output = target.monitor.name;
    QStringList outputs = ronStrings(readSetting(QStringLiteral("backgrounds")));
    if (!outputs.contains(output)) outputs << output;
    QStringList quoted;
    for (const QString& each : outputs) quoted << ronString(each);
    // The entry before the list that names it: cosmic-bg reads both once either changes.
    return write({{QStringLiteral("output.") + output, cosmicBackgroundEntry(output, path)},
                  {QStringLiteral("backgrounds"), u'[' + quoted.join(QStringLiteral(", ")) + u']'},
                  {QStringLiteral("same-on-all"), QStringLiteral("false")}});
  }
  QString name() const override { return QStringLiteral("COSMIC (cosmic-bg settings)"); }

 private:
  QByteArray readSetting(const QString& key) const {
    QFile file(m_folder + key);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  SetResult write(const QList<std::pair<QString, QString>>& settings) const {
    for (const auto& [key, value] : settings) {
      QString why;
      if (!writeFileAtomically(m_folder + key, value.toUtf8(), Durability::RenameOnly, &why))
        return SetResult::failed(
            QStringLiteral("cannot write the COSMIC background setting %1: %2").arg(m_folder + key, why));
    }
    return SetResult::applied();
  }

  QString m_folder;
};

// --- any other layer-shell compositor: swaybg on its own

const QString kSwaybg = QStringLiteral("swaybg");
// How long a new swaybg may take to open its picture and to draw it.
constexpr auto kSwaybgStart = 5000ms;
constexpr auto kIdleLook = 50ms;

// The processor time a process has used, and whether it waits now.
struct ProcessLoad {
  bool alive = false;
  bool waiting = false;
  QByteArray cpuTime;
};

ProcessLoad loadOf(const QByteArray& process) {
  const QByteArray stat = readProcFile(process, "stat");
  // "pid (comm) S ... utime stime": the fields after the command's closing parenthesis.
  const qsizetype close = stat.lastIndexOf(')');
  if (close < 0) return {};
  const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
  if (fields.size() < 13 || fields.at(0) == "Z") return {};
  return {true, fields.at(0) == "S", fields.at(11) + ' ' + fields.at(12)};
}

// swaybg decodes its pictures after it opens them and draws them when the
// compositor has placed its surfaces; then it only waits. Drawn is: it
// waits, and has used no processor time since the last look.
// Between two looks the wait is for its end: a swaybg that cannot draw
// (no layer shell) ends at once.
bool awaitDrawn(pid_t pid, const CancelToken& cancel, std::chrono::milliseconds patience) {
  const QByteArray process = QByteArray::number(pid);
  const int ended = int(::syscall(SYS_pidfd_open, pid, 0));
  if (ended < 0) return false;
  const auto end = std::chrono::steady_clock::now() + patience;
  ProcessLoad last = loadOf(process);
  bool drawn = false;
  while (!drawn && std::chrono::steady_clock::now() < end && !cancel.isCancelled()) {
    pollfd gone{ended, POLLIN, 0};
    if (::poll(&gone, 1, int(kIdleLook.count())) != 0) break;
    const ProcessLoad now = loadOf(process);
    if (!now.alive) break;
    drawn = now.waiting && last.waiting && now.cpuTime == last.cpuTime;
    last = now;
  }
  ::close(ended);
  return drawn;
}

bool isOwnSwaybg(const QByteArray& process) {
  return !process.isEmpty() && ownProcess(process) && readProcFile(process, "comm") == "swaybg\n";
}

// Starts the program in a session of its own, detached from this process
// (which may end at once), its output thrown away; its process id, or
// nothing when it could not be started.
std::optional<pid_t> startDetached(const QString& executable, const QStringList& arguments) {
  std::vector<QByteArray> words{encodeFileName(executable)};
  for (const QString& argument : arguments) words.push_back(encodeFileName(argument));
  std::vector<char*> argv;
  for (QByteArray& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return std::nullopt;
  const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t middle = ::fork();
  if (middle == 0) {
    // Only calls that are safe after fork() in a threaded program.
    ::setsid();
    const pid_t holder = ::fork();
    if (holder == 0) {
      if (nothing >= 0)
        for (int fd = 0; fd < 3; ++fd) ::dup2(nothing, fd);
      // Whatever this process holds open (a lock, a socket) must not outlive it in the holder.
      ::syscall(SYS_close_range, 3U, ~0U, 0U);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    (void)!::write(report[1], &holder, sizeof holder);
    ::_exit(0);
  }
  ::close(report[1]);
  if (nothing >= 0) ::close(nothing);
  pid_t holder = -1;
  const bool told = middle > 0 && ::read(report[0], &holder, sizeof holder) == sizeof holder;
  ::close(report[0]);
  if (middle > 0) ::waitpid(middle, nullptr, 0);
  if (!told || holder <= 0) return std::nullopt;
  return holder;
}

class LayerShellSetter : public MonitorSetter {
 public:
  LayerShellSetter(std::shared_ptr<const MonitorChoiceStore> choices, QString runtimeFolder)
      : m_choices(std::move(choices)),
        m_pidFile(runtimeFolder + QStringLiteral("Nimbra-Wallpaper-swaybg.pid")) {}

  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target,
                           const CancelToken& cancel) override {
    MonitorChoices choices = m_choices ? m_choices->load() : MonitorChoices();
    choices.choose(path, target);
    return show(choices, path, cancel);
  }

  // swaybg follows outputs that come and go itself; a session's start finds none.
  SetResult restoreChoices(const CancelToken& cancel) override {
    if (!m_choices || isOwnSwaybg(runningHolder())) return SetResult::applied();
    const MonitorChoices choices = m_choices->load();
    if (choices.isEmpty()) return SetResult::applied();
    const QString first = choices.everyMonitor.isEmpty() ? choices.byMonitor.first() : choices.everyMonitor;
    return show(choices, first, cancel);
  }

  QString name() const override { return QStringLiteral("swaybg on the background layer"); }

 private:
  SetResult show(const MonitorChoices& choices, const QString& watched, const CancelToken& cancel) {
    const QString executable = QStandardPaths::findExecutable(kSwaybg);
    if (executable.isEmpty())
      return SetResult::unavailable(
          QStringLiteral("this compositor keeps no wallpaper; swaybg shows one, but it is not installed"));
    const QByteArray before = runningHolder();
    OpenWatch opened(encodeFileName(watched));
    const std::optional<pid_t> started = startDetached(executable, swaybgArguments(choices));
    if (!started) return SetResult::failed(QStringLiteral("swaybg cannot be started"));
    const QByteArray holder = QByteArray::number(*started);
    const bool drawn =
        opened.awaitOpening(std::min<std::chrono::milliseconds>(kSwaybgStart, cancel.remaining())) &&
        awaitDrawn(*started, cancel, kSwaybgStart);
    if (!drawn) {
      ::kill(*started, SIGTERM);
      return SetResult::failed(
          QStringLiteral("swaybg did not show the picture (it needs a compositor with zwlr_layer_shell_v1)"));
    }
    QString why;
    if (!writeFileAtomically(m_pidFile, holder + '\n', Durability::RenameOnly, &why))
      std::fprintf(stderr, "NimbraWallpaper: the next picture will not replace this swaybg: %s\n",
                   why.toLocal8Bit().constData());
    if (before != holder && isOwnSwaybg(before)) ::kill(before.toInt(), SIGTERM);
    return SetResult::applied();
  }

  QByteArray runningHolder() const {
    QFile file(m_pidFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
  }

  std::shared_ptr<const MonitorChoiceStore> m_choices;
  QString m_pidFile;
};

}  // namespace

QStringList hyprpaperArguments(const QString& path, const WallpaperTarget& target) {
  const QString monitor = target.isOneMonitor() ? target.monitor.name : QString();
  return {QStringLiteral("hyprpaper"), QStringLiteral("wallpaper"),
          QStringLiteral("%1,%2,fit").arg(monitor, path)};
}

QString cosmicBackgroundEntry(const QString& output, const QString& path) {
  return QStringLiteral(
             "(\n"
             "    output: %1,\n"
             "    source: Path(%2),\n"
             "    filter_by_theme: false,\n"
             "    rotation_frequency: 900,\n"
             "    filter_method: Lanczos,\n"
             "    scaling_mode: Stretch,\n"
             "    sampling_method: Alphanumeric,\n"
             ")")
      .arg(ronString(output), ronString(path));
}

QString cosmicBackgroundFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/cosmic/com.system76.CosmicBackground/v1/");
}

QStringList swaybgArguments(const MonitorChoices& choices) {
  QStringList arguments;
  const auto output = [&arguments](const QString& name, const QString& path) {
    arguments << QStringLiteral("-o") << name << QStringLiteral("-i") << path << QStringLiteral("-m")
              << QStringLiteral("stretch");
  };
  if (!choices.everyMonitor.isEmpty()) output(QStringLiteral("*"), choices.everyMonitor);
  for (auto it = choices.byMonitor.begin(); it != choices.byMonitor.end(); ++it) output(it.key(), it.value());
  return arguments;
}

std::unique_ptr<WallpaperSetter> makeHyprpaperSetter(std::unique_ptr<WallpaperSetter> fallback) {
  return std::make_unique<HyprpaperSetter>(std::move(fallback));
}

std::unique_ptr<WallpaperSetter> makeCosmicSetter(const QString& configFolder) {
  return std::make_unique<CosmicSetter>(configFolder);
}

std::unique_ptr<WallpaperSetter> makeLayerShellSetter(std::shared_ptr<const MonitorChoiceStore> choices,
                                                      const QString& runtimeFolder) {
  return std::make_unique<LayerShellSetter>(std::move(choices), runtimeFolder);
}

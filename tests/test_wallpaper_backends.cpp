// The wallpaper backends against the real desktop tools where this machine
// has them (gsettings, xfconf-query, an X server), and against stand-ins that
// record what they were asked where it cannot run the desktop (KDE, sway,
// LXQt).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "picture/ScreenPictureLoad.h"
#include "platform/DesktopControl.h"
#include "platform/FileNames.h"
#include "platform/RunProgram.h"
#include "platform/WallpaperSetter.h"
#include "support/ConfigHome.h"
#include "support/OutsidePrograms.h"
#include "support/RawNames.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <cstdio>

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QByteArray& value)
      : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
  }
  ~ScopedEnv() {
    if (m_had)
      qputenv(m_name, m_old);
    else
      qunsetenv(m_name);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* m_name;
  QByteArray m_old;
  bool m_had;
};

bool hasProgram(const char* name) {
  return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

// Why a tool the tests drive cannot be used here, or nothing when it answers
// a harmless question. Being on PATH is not enough: a tool whose shared
// libraries are missing fails at every call.
std::optional<std::string> whyNotRunning(const char* program, const QStringList& question,
                                         const char* package) {
  const QString problem =
      programProblem(QString::fromLatin1(program), question, QString::fromLatin1(package));
  if (problem.isEmpty()) return std::nullopt;
  return problem.toStdString();
}

// Writes a small file so that the backends have something to point at.
QString touchFile(const QTemporaryDir& dir, const QString& name) {
  const QString path = dir.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("picture");
  return path;
}

// A private D-Bus session bus for the whole test program: dbus-run-session
// keeps it while the child it runs waits on standard input.
class SessionBus {
 public:
  static const QString& address() { return instance().m_address; }
  // Why there is no bus, when address() is empty.
  static const std::string& problem() { return instance().m_problem; }

 private:
  static SessionBus& instance() {
    static SessionBus bus;
    return bus;
  }

  SessionBus() {
    if (const auto why = whyNotRunning("dbus-run-session", {QStringLiteral("--version")}, "dbus")) {
      m_problem = "no private D-Bus session bus: " + *why;
      return;
    }
    m_process.start(QStringLiteral("dbus-run-session"),
                    {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null")});
    if (m_process.waitForReadyRead(10000)) m_address = QString::fromUtf8(m_process.readLine()).trimmed();
    if (m_address.isEmpty()) {
      m_problem = "dbus-run-session gave no bus address within 10 s: " +
                  QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed().toStdString();
      return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
  }
  ~SessionBus() {
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) m_process.kill();
    m_process.waitForFinished(1000);
  }

  QProcess m_process;
  QString m_address;
  std::string m_problem;
};

// A folder at the front of PATH holding stand-in programs.
class StandInPrograms {
 public:
  StandInPrograms() : m_path("PATH", (m_dir.path() + u':' + qEnvironmentVariable("PATH")).toLocal8Bit()) {}

  // A program that writes its arguments, each ended by a NUL, to a file and
  // then exits with the given code after printing the given text.
  void addRecorder(const QString& name, int exitCode = 0, const QByteArray& prints = {}) {
    const QString script = QStringLiteral(
                               "#!/bin/sh\n"
                               "for argument in \"$@\"; do printf '%s\\0' \"$argument\"; done > '%1'\n"
                               "printf '%s' '%2'\n"
                               "exit %3\n")
                               .arg(recordFile(name), QString::fromUtf8(prints))
                               .arg(exitCode);
    QFile file(m_dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(script.toUtf8());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  // More for a program's script to do after it has recorded its arguments.
  void appendTo(const QString& name, const QString& lines) {
    QFile file(m_dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray script = file.readAll();
    // Before the script's last two lines, its answer and its exit status.
    const qsizetype answer = script.lastIndexOf("printf '%s'");
    script.insert(answer, lines.toUtf8());
    file.resize(0);
    file.write(script);
  }

  // The arguments of the last run, or nothing when it never ran.
  std::optional<QStringList> argumentsOf(const QString& name) const {
    QFile file(recordFile(name));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QStringList arguments;
    for (const QByteArray& argument : file.readAll().split('\0')) arguments << QString::fromUtf8(argument);
    arguments.removeLast();  // after the last NUL
    return arguments;
  }

 private:
  QString recordFile(const QString& name) const { return m_dir.filePath(name + QStringLiteral(".args")); }

  QTemporaryDir m_dir;
  ScopedEnv m_path;
};

}  // namespace

// --- which backend a session gets

TEST(DesktopDetection, NamesOfTheDesktopsChooseTheirBackends) {
  struct Case {
    const char* currentDesktop;
    const char* desktopSession;
    DesktopFamily expected;
  };
  const Case cases[] = {
      {"ubuntu:GNOME", "", DesktopFamily::Gnome},
      {"Budgie:GNOME", "", DesktopFamily::Gnome},
      {"Unity:Unity7:ubuntu", "", DesktopFamily::Gnome},
      {"X-Cinnamon", "", DesktopFamily::Cinnamon},
      {"MATE", "", DesktopFamily::Mate},
      {"XFCE", "", DesktopFamily::Xfce},
      {"KDE", "plasma", DesktopFamily::Kde},
      {"LXQt", "", DesktopFamily::Lxqt},
      {"LXDE", "", DesktopFamily::Lxde},
      {"sway", "", DesktopFamily::Sway},
      {"", "xfce", DesktopFamily::Xfce},
      {"", "/usr/share/xsessions/plasma", DesktopFamily::Kde},
      {"", "mate", DesktopFamily::Mate},
  };
  for (const Case& c : cases) {
    DesktopSession session;
    session.currentDesktop = QString::fromLatin1(c.currentDesktop);
    session.desktopSession = QString::fromLatin1(c.desktopSession);
    session.x11Display = QStringLiteral(":0");
    EXPECT_EQ(detectDesktopFamily(session), c.expected) << c.currentDesktop << " / " << c.desktopSession;
  }
}

TEST(DesktopDetection, UnknownDesktopsFallBackByDisplayServer) {
  DesktopSession x11;
  x11.currentDesktop = QStringLiteral("openbox");
  x11.x11Display = QStringLiteral(":0");
  EXPECT_EQ(detectDesktopFamily(x11), DesktopFamily::BareX11);

  // Under Wayland the X server of old programs draws no desktop.
  DesktopSession wayland = x11;
  wayland.waylandDisplay = QStringLiteral("wayland-0");
  EXPECT_EQ(detectDesktopFamily(wayland), DesktopFamily::Unsupported);

  DesktopSession swayLike = wayland;
  swayLike.swaySocket = QStringLiteral("/run/user/1000/sway-ipc.sock");
  EXPECT_EQ(detectDesktopFamily(swayLike), DesktopFamily::Sway);

  EXPECT_EQ(detectDesktopFamily(DesktopSession{}), DesktopFamily::Unsupported);
}

TEST(DesktopDetection, AnUnsupportedDesktopSaysWhichOneItIs) {
  DesktopSession session;
  // Hyprland was such a desktop until it got its backend.
  session.currentDesktop = QStringLiteral("Weston");
  session.waylandDisplay = QStringLiteral("wayland-1");
  BackendServices services;
  services.loadPicture = loadScreenPicture;
  const SetResult result = makeWallpaperSetter(detectDesktopFamily(session), session, services)
                               ->setWallpaper(QStringLiteral("/a.jpg"));
  EXPECT_EQ(result.status, SetStatus::Unavailable);
  EXPECT_TRUE(result.detail.contains(QStringLiteral("Weston"))) << result.detail.toStdString();
}

// --- GNOME, Cinnamon and MATE through the real gsettings

namespace {

class GsettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto why = whyNotRunning("gsettings", {QStringLiteral("--version")}, "libglib2.0-bin"))
      GTEST_SKIP() << *why;
    const ProgramRun schemas = runProgram(QStringLiteral("gsettings"), {QStringLiteral("list-schemas")});
    const QString installed = QString::fromUtf8(schemas.output);
    for (const char* schema :
         {"org.gnome.desktop.background", "org.cinnamon.desktop.background", "org.mate.background"}) {
      if (!installed.contains(QString::fromLatin1(schema)))
        GTEST_SKIP() << schema
                     << " is not installed (packages gsettings-desktop-schemas, cinnamon-desktop-data, "
                        "mate-desktop-common)";
    }
  }

  // The value as gsettings prints it, taken out of its GVariant quotes.
  static QString get(const char* schema, const char* key) {
    const ProgramRun run =
        runProgram(QStringLiteral("gsettings"),
                   {QStringLiteral("get"), QString::fromLatin1(schema), QString::fromLatin1(key)});
    EXPECT_TRUE(run.succeeded()) << run.describeFailure(QStringLiteral("gsettings")).toStdString();
    QString text = QString::fromUtf8(run.output).trimmed();
    if (text.size() >= 2 && (text.front() == u'\'' || text.front() == u'"'))
      text = text.mid(1, text.size() - 2);
    QString value;
    for (qsizetype i = 0; i < text.size(); ++i)
      value += (text[i] == u'\\' && i + 1 < text.size()) ? text[++i] : text[i];
    return value;
  }

  QTemporaryDir config;
  QTemporaryDir pictures;
  ScopedEnv backend{"GSETTINGS_BACKEND", "keyfile"};
  ScopedEnv configHome{"XDG_CONFIG_HOME", config.path().toLocal8Bit()};
};

}  // namespace

TEST_F(GsettingsTest, GnomeGetsTheLightAndTheDarkPictureStretched) {
  const QString path = touchFile(pictures, QStringLiteral("it's a picture.jpg"));
  const SetResult result = makeGsettingsSetter(GsettingsDesktop::Gnome)->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();

  const QString uri = get("org.gnome.desktop.background", "picture-uri");
  EXPECT_EQ(uri, "file://" + pictures.path() + "/it's%20a%20picture.jpg");
  EXPECT_EQ(QUrl(uri).toLocalFile(), path);
  EXPECT_EQ(get("org.gnome.desktop.background", "picture-uri-dark"), uri);
  EXPECT_EQ(get("org.gnome.desktop.background", "picture-options"), "stretched");
}

TEST_F(GsettingsTest, CinnamonGetsAUriStretched) {
  const QString path = touchFile(pictures, QStringLiteral("Übersicht.bmp"));
  const SetResult result = makeGsettingsSetter(GsettingsDesktop::Cinnamon)->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();

  EXPECT_EQ(QUrl(get("org.cinnamon.desktop.background", "picture-uri")).toLocalFile(), path);
  EXPECT_EQ(get("org.cinnamon.desktop.background", "picture-options"), "stretched");
}

TEST_F(GsettingsTest, MateGetsThePlainPathEvenWithQuotesAndBackslashes) {
  const QString path = touchFile(pictures, QStringLiteral("'quoted' back\\slash \"x\".jpg"));
  const SetResult result = makeGsettingsSetter(GsettingsDesktop::Mate)->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();

  EXPECT_EQ(get("org.mate.background", "picture-filename"), path);
  EXPECT_EQ(get("org.mate.background", "picture-options"), "stretched");
}

TEST(MissingTools, ADesktopWhoseToolIsNotInstalledIsUnavailable) {
  QTemporaryDir emptyBin;
  const ScopedEnv path("PATH", emptyBin.path().toLocal8Bit());
  std::vector<std::unique_ptr<WallpaperSetter>> setters;
  setters.push_back(makeGsettingsSetter(GsettingsDesktop::Gnome));
  setters.push_back(makeXfceSetter({QStringLiteral("HDMI-1")}));
  setters.push_back(makeSwaySetter());
  setters.push_back(makePcmanfmSetter(PcmanfmFlavour::Gtk));
  for (const auto& setter : setters) {
    const SetResult result = setter->setWallpaper(QStringLiteral("/a.jpg"));
    EXPECT_EQ(result.status, SetStatus::Unavailable) << setter->name().toStdString();
    EXPECT_TRUE(result.detail.contains(QStringLiteral("not installed"))) << result.detail.toStdString();
  }
}

// --- XFCE through the real xfconf-query on a private session bus

namespace {

class XfceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto why = whyNotRunning("xfconf-query", {QStringLiteral("--version")}, "xfconf"))
      GTEST_SKIP() << *why;
    if (SessionBus::address().isEmpty()) GTEST_SKIP() << SessionBus::problem();
    // Each test starts from an empty desktop channel.
    xfconf({QStringLiteral("-p"), QStringLiteral("/backdrop"), QStringLiteral("-r"), QStringLiteral("-R")});
  }

  static ProgramRun xfconf(QStringList arguments) {
    arguments.prepend(QStringLiteral("xfce4-desktop"));
    arguments.prepend(QStringLiteral("-c"));
    return runProgram(QStringLiteral("xfconf-query"), arguments);
  }
  static QString value(const QString& property) {
    return QString::fromUtf8(xfconf({QStringLiteral("-p"), property}).output).trimmed();
  }
  static void create(const QString& property, const QString& type, const QString& value) {
    const ProgramRun run = xfconf({QStringLiteral("-p"), property, QStringLiteral("-n"), QStringLiteral("-t"),
                                   type, QStringLiteral("-s"), value});
    ASSERT_TRUE(run.succeeded()) << run.describeFailure(QStringLiteral("xfconf-query")).toStdString();
  }
  static QStringList properties() {
    return QString::fromUtf8(xfconf({QStringLiteral("-l")}).output).split(u'\n', Qt::SkipEmptyParts);
  }

  QTemporaryDir pictures;
};

}  // namespace

TEST_F(XfceTest, EveryExistingBackdropGetsThePictureStretched) {
  const QString workspace0 = QStringLiteral("/backdrop/screen0/monitoreDP-1/workspace0/");
  const QString workspace1 = QStringLiteral("/backdrop/screen0/monitoreDP-1/workspace1/");
  create(workspace0 + "last-image", "string", "/old/one.jpg");
  create(workspace0 + "image-style", "int", "5");
  create(workspace1 + "last-image", "string", "/old/two.jpg");
  const QString path = touchFile(pictures, QStringLiteral("new picture.jpg"));

  const SetResult result = makeXfceSetter({QStringLiteral("eDP-1")})->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();

  for (const QString& folder : {workspace0, workspace1}) {
    EXPECT_EQ(value(folder + "last-image"), path) << folder.toStdString();
    EXPECT_EQ(value(folder + "image-style"), "3") << folder.toStdString();
  }
  EXPECT_EQ(properties().size(), 4) << properties().join(u' ').toStdString();
}

TEST_F(XfceTest, AMonitorWithoutABackdropGetsOne) {
  const QString path = touchFile(pictures, QStringLiteral("first.jpg"));
  const SetResult result = makeXfceSetter({QStringLiteral("HDMI-1"), QString()})->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();

  // An output without a name is known by its number.
  for (const char* monitor : {"monitorHDMI-1", "monitor1"}) {
    const QString folder = QStringLiteral("/backdrop/screen0/%1/workspace0/").arg(QLatin1String(monitor));
    EXPECT_EQ(value(folder + "last-image"), path) << monitor;
    EXPECT_EQ(value(folder + "image-style"), "3") << monitor;
  }
}

TEST_F(XfceTest, APictureForOneMonitorChangesThatMonitorsBackdropsOnly) {
  const QString left = QStringLiteral("/backdrop/screen0/monitorDP-1/workspace0/");
  const QString right0 = QStringLiteral("/backdrop/screen0/monitorDP-2/workspace0/");
  const QString right1 = QStringLiteral("/backdrop/screen0/monitorDP-2/workspace1/");
  for (const QString& folder : {left, right0, right1}) create(folder + "last-image", "string", "/old.jpg");
  const QString path = touchFile(pictures, QStringLiteral("right.jpg"));
  const SetResult result =
      makeXfceSetter({QStringLiteral("DP-1"), QStringLiteral("DP-2")})
          ->setWallpaperOn(path,
                           WallpaperTarget::oneMonitor({QStringLiteral("DP-2"), QRect(1920, 0, 1920, 1080)}),
                           CancelToken());
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();
  EXPECT_EQ(value(left + "last-image"), "/old.jpg");
  EXPECT_EQ(value(right0 + "last-image"), path);
  EXPECT_EQ(value(right1 + "last-image"), path);
  // A monitor that has no backdrop yet gets one of its own, and only it.
  const SetResult fresh =
      makeXfceSetter({QStringLiteral("DP-1"), QStringLiteral("DP-3")})
          ->setWallpaperOn(path,
                           WallpaperTarget::oneMonitor({QStringLiteral("DP-3"), QRect(0, 1080, 800, 600)}),
                           CancelToken());
  ASSERT_EQ(fresh.status, SetStatus::Applied) << fresh.detail.toStdString();
  EXPECT_EQ(value(QStringLiteral("/backdrop/screen0/monitorDP-3/workspace0/last-image")), path);
  EXPECT_EQ(value(left + "last-image"), "/old.jpg");
}

// --- KDE Plasma: the script, run by a stand-in for the shell's script engine

TEST(KdeScript, EveryDesktopGetsThePictureStretched) {
  if (const auto why = whyNotRunning("node", {QStringLiteral("--version")}, "nodejs"))
    GTEST_SKIP() << *why << "; it runs the Plasma script";
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("a \"b\" c\\d 'e' ü.jpg"));
  // The shell's desktops, recording what the script does with them.
  const QString standIn = QStringLiteral(
      "const calls = [];\n"
      "function desktops() {\n"
      "  return [0, 1].map(id => ({\n"
      "    set wallpaperPlugin(v) { calls.push({id, key: 'plugin', value: v}); },\n"
      "    set currentConfigGroup(v) { calls.push({id, key: 'group', value: v.join('/')}); },\n"
      "    writeConfig(key, value) { calls.push({id, key, value}); },\n"
      "  }));\n"
      "}\n");
  QFile script(dir.filePath(QStringLiteral("script.js")));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write((standIn + plasmaWallpaperScript(path) + "console.log(JSON.stringify(calls));\n").toUtf8());
  script.close();

  const ProgramRun run = runProgram(QStringLiteral("node"), {script.fileName()});
  ASSERT_TRUE(run.succeeded()) << run.errors.toStdString();
  const QJsonArray calls = QJsonDocument::fromJson(run.output).array();
  ASSERT_EQ(calls.size(), 8) << run.output.toStdString();
  for (int id = 0; id < 2; ++id) {
    QJsonObject seen;
    QStringList order;
    for (const QJsonValue& call : calls) {
      if (call[QStringLiteral("id")].toInt() != id) continue;
      seen.insert(call[QStringLiteral("key")].toString(), call[QStringLiteral("value")]);
      order << call[QStringLiteral("key")].toString();
    }
    EXPECT_EQ(seen[QStringLiteral("plugin")].toString(), "org.kde.image");
    EXPECT_EQ(seen[QStringLiteral("group")].toString(), "Wallpaper/org.kde.image/General");
    EXPECT_EQ(seen[QStringLiteral("FillMode")].toInt(-1), 0);
    EXPECT_EQ(QUrl(seen[QStringLiteral("Image")].toString()).toLocalFile(), path);
    EXPECT_LT(order.indexOf(QStringLiteral("FillMode")), order.indexOf(QStringLiteral("Image")));
  }
}

TEST(KdeScript, APictureForOneMonitorGoesToTheDesktopOfThatScreenOnly) {
  if (const auto why = whyNotRunning("node", {QStringLiteral("--version")}, "nodejs"))
    GTEST_SKIP() << *why << "; it runs the Plasma script";
  QTemporaryDir dir;
  // Plasma's screen 0 is the right monitor, screen 1 the left one.
  const QString standIn = QStringLiteral(
      "const written = [];\n"
      "function screenGeometry(id) {\n"
      "  return id == 0 ? {x: 1920, y: 0, width: 1280, height: 1024} : {x: 0, y: 0, width: 1920, height: "
      "1080};\n"
      "}\n"
      "function desktops() {\n"
      "  return [0, 1].map(screen => ({\n"
      "    screen, set wallpaperPlugin(v) {}, set currentConfigGroup(v) {},\n"
      "    writeConfig(key, value) { if (key == 'Image') written.push(screen); },\n"
      "  }));\n"
      "}\n");
  const auto run = [&](const Monitor& monitor) {
    QFile script(dir.filePath(QStringLiteral("script.js")));
    EXPECT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write((standIn +
                  plasmaWallpaperScript(QStringLiteral("/p/a.jpg"), WallpaperTarget::oneMonitor(monitor)) +
                  "console.log(JSON.stringify(written));\n")
                     .toUtf8());
    script.close();
    return runProgram(QStringLiteral("node"), {script.fileName()});
  };
  const ProgramRun left = run({QStringLiteral("DP-1"), QRect(0, 0, 1920, 1080)});
  ASSERT_TRUE(left.succeeded()) << left.errors.toStdString();
  EXPECT_EQ(left.output.trimmed(), "[1]");
  const ProgramRun nowhere = run({QStringLiteral("VGA-1"), QRect(5000, 0, 800, 600)});
  EXPECT_FALSE(nowhere.succeeded()) << "no desktop on that screen is an error the shell reports";
}

TEST(KdeBus, WithoutAPlasmaShellOnTheBusTheFailureSaysItIsNotRunning) {
  if (SessionBus::address().isEmpty()) GTEST_SKIP() << SessionBus::problem();
  const SetResult result = makeKdeSetter()->setWallpaper(QStringLiteral("/a.jpg"));
  EXPECT_EQ(result.status, SetStatus::NotRunning);
  EXPECT_TRUE(result.detail.contains(QStringLiteral("plasmashell is not running")))
      << result.detail.toStdString();
  EXPECT_TRUE(result.detail.contains(QStringLiteral("org.kde.plasmashell"))) << result.detail.toStdString();
}

// --- sway against a stand-in that parses the command as sway does

namespace {

// swaymsg and swaybg of tests/standins/sway_stand_in.cpp, first on PATH.
class SwayStandIn {
 public:
  SwayStandIn() : m_path("PATH", (m_dir.path() + u':' + qEnvironmentVariable("PATH")).toLocal8Bit()) {
    QFile::link(QStringLiteral(NIMBRA_SWAY_STAND_IN), m_dir.filePath(QStringLiteral("swaybg")));
    QFile script(m_dir.filePath(QStringLiteral("swaymsg")));
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nexec '%1' swaymsg '%2' \"$@\"\n")
                     .arg(QStringLiteral(NIMBRA_SWAY_STAND_IN), m_dir.path())
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  ~SwayStandIn() {
    QFile pid(m_dir.filePath(QStringLiteral("swaybg.pid")));
    if (pid.open(QIODevice::ReadOnly)) ::kill(pid.readAll().trimmed().toInt(), SIGTERM);
  }
  SwayStandIn(const SwayStandIn&) = delete;
  SwayStandIn& operator=(const SwayStandIn&) = delete;

  // The file the running swaybg shows, as sway made it of the command.
  QString background() const {
    QFile file(m_dir.filePath(QStringLiteral("background")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  }

 private:
  QTemporaryDir m_dir;
  ScopedEnv m_path;
};

}  // namespace

TEST(Sway, TheBackgroundCommandKeepsAnyFileNameWhole) {
  SwayStandIn sway;
  QTemporaryDir dir;
  const char* names[] = {"plain.jpg",
                         "it's a pic.jpg",
                         "dq\"name.jpg",
                         "back\\slash.jpg",
                         "two  spaces.jpg",
                         "cost $5 $HOME.jpg",
                         "a, b; c [d] {e} (f) * ? ~ # & | < > ` ! \t.jpg",
                         "caf\xC3\xA9 \xF0\x9F\x8C\x84.jpg"};
  for (const char* name : names) {
    const QString path = touchFile(dir, QString::fromUtf8(name));
    const SetResult result = makeSwaySetter()->setWallpaper(path);
    EXPECT_EQ(result.status, SetStatus::Applied) << name << ": " << result.detail.toStdString();
    EXPECT_EQ(sway.background(), path) << name;
  }
}

TEST(Sway, AFileSwayPassesOverIsAFailure) {
  SwayStandIn sway;
  QTemporaryDir dir;
  const QString shown = touchFile(dir, QStringLiteral("shown.jpg"));
  ASSERT_EQ(makeSwaySetter()->setWallpaper(shown).status, SetStatus::Applied);
  // swaymsg ends well, and sway keeps the background it has.
  const CancelToken patience(QDeadlineTimer(2000));
  const SetResult result = makeSwaySetter()->setWallpaper(dir.filePath(QStringLiteral("gone.jpg")), patience);
  EXPECT_EQ(result.status, SetStatus::Failed);
  EXPECT_TRUE(result.detail.contains(QStringLiteral("no swaybg shows"))) << result.detail.toStdString();
  EXPECT_EQ(sway.background(), shown);
}

TEST(Sway, ANameWithALineBreakNeverReachesSway) {
  StandInPrograms programs;
  programs.addRecorder(QStringLiteral("swaymsg"));
  for (const char* name : {"/p/two\nlines.jpg", "/p/carriage\rreturn.jpg"}) {
    const SetResult result = makeSwaySetter()->setWallpaper(QString::fromUtf8(name));
    EXPECT_EQ(result.status, SetStatus::Failed);
    EXPECT_TRUE(result.detail.contains(QStringLiteral("line break"))) << result.detail.toStdString();
  }
  EXPECT_FALSE(programs.argumentsOf(QStringLiteral("swaymsg")));
}

TEST(Sway, ARefusedCommandIsAFailureWithSwaysAnswer) {
  StandInPrograms programs;
  programs.addRecorder(QStringLiteral("swaymsg"), 2, "Error: Background file unreadable");
  const SetResult result = makeSwaySetter()->setWallpaper(QStringLiteral("/a.jpg"));
  EXPECT_EQ(result.status, SetStatus::Failed);
  EXPECT_TRUE(result.detail.contains(QStringLiteral("unreadable"))) << result.detail.toStdString();
}

// --- LXQt against a stand-in that saves its settings as pcmanfm-qt 1.2 does

namespace {

// pcmanfm-qt 1.2 with its desktop running in the profile "lxqt": it saves the
// picture it is given and the mode it had, "none"; without its desktop it
// saves nothing and ends well all the same.
enum class PcmanfmDesktop { Running, NotRunning };

class PcmanfmQtStandIn {
 public:
  explicit PcmanfmQtStandIn(PcmanfmDesktop desktop) {
    const QString saves = QStringLiteral(
        "mkdir -p \"$XDG_CONFIG_HOME/pcmanfm-qt/lxqt\"\n"
        "printf '[Behavior]\\nSingleClick=false\\n\\n[Desktop]\\nPerScreenWallpaper=false\\n"
        "Wallpaper=%s\\nWallpaperMode=none\\n' \"${1#--set-wallpaper=}\" "
        "> \"$XDG_CONFIG_HOME/pcmanfm-qt/lxqt/settings.conf\"\n");
    m_programs.addRecorder(QStringLiteral("pcmanfm-qt"));
    if (desktop == PcmanfmDesktop::Running) m_programs.appendTo(QStringLiteral("pcmanfm-qt"), saves);
  }

  QString settingsFile() const {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/pcmanfm-qt/lxqt/settings.conf");
  }
  std::optional<QStringList> arguments() const {
    return m_programs.argumentsOf(QStringLiteral("pcmanfm-qt"));
  }

 private:
  StandInPrograms m_programs;
};

}  // namespace

TEST(Lxqt, TheFileManagerIsToldThePictureAndTheStretchMode) {
  const ConfigHome config;
  const PcmanfmQtStandIn pcmanfm(PcmanfmDesktop::Running);
  ASSERT_EQ(makePcmanfmSetter(PcmanfmFlavour::Qt)->setWallpaper(QStringLiteral("/p/-a b.jpg")).status,
            SetStatus::Applied);
  EXPECT_EQ(pcmanfm.arguments(), QStringList({"--set-wallpaper=/p/-a b.jpg", "--wallpaper-mode=stretch"}));
}

TEST(Lxqt, TheStretchModeIsSavedForTheNextStartOfTheDesktop) {
  const ConfigHome config;
  const PcmanfmQtStandIn pcmanfm(PcmanfmDesktop::Running);
  const SetResult result = makePcmanfmSetter(PcmanfmFlavour::Qt)->setWallpaper(QStringLiteral("/p/a.jpg"));
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();
  const QSettings saved(pcmanfm.settingsFile(), QSettings::IniFormat);
  EXPECT_EQ(saved.value(QStringLiteral("Desktop/WallpaperMode")).toString(), "stretch");
  EXPECT_EQ(saved.value(QStringLiteral("Desktop/Wallpaper")).toString(), "/p/a.jpg");
  EXPECT_EQ(saved.value(QStringLiteral("Behavior/SingleClick")).toString(), "false") << "the rest stays";
}

TEST(Lxqt, APictureThatNoDesktopTookIsAFailure) {
  const ConfigHome config;
  const PcmanfmQtStandIn pcmanfm(PcmanfmDesktop::NotRunning);
  const SetResult result = makePcmanfmSetter(PcmanfmFlavour::Qt)->setWallpaper(QStringLiteral("/p/a.jpg"));
  EXPECT_EQ(result.status, SetStatus::Failed);
  EXPECT_TRUE(result.detail.contains(QStringLiteral("--desktop"))) << result.detail.toStdString();
}

// --- every desktop that takes a path gets a file of its own for each picture

namespace {

// A desktop that remembers what it was handed, and the content then.
class RecordingDesktop : public WallpaperSetter {
 public:
  struct Handed {
    QString path;
    QByteArray content;
  };
  explicit RecordingDesktop(std::vector<Handed>* handed, SetStatus answer = SetStatus::Applied)
      : m_handed(handed), m_answer(answer) {}
  SetResult setWallpaper(const QString& path, const CancelToken&) override {
    QFile file(path);
    m_handed->push_back({path, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()});
    return {m_answer, m_answer == SetStatus::Applied ? QString() : QStringLiteral("refused")};
  }
  QString name() const override { return QStringLiteral("recording"); }

 private:
  std::vector<Handed>* m_handed;
  SetStatus m_answer;
};

void overwrite(const QString& path, const QByteArray& content) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(content);
}

QStringList copiesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files); }

}  // namespace

TEST(FreshCopies, ThePicturesFileOverwrittenAndSetAgainReachesTheDesktopUnderANewName) {
  QTemporaryDir dir;
  const QString folder = wallpaperCopyFolder(dir.path() + u'/');
  const QString picture = dir.filePath(QStringLiteral("l_sea.JPG"));
  std::vector<RecordingDesktop::Handed> handed;
  const auto setter = makeFreshCopySetter(std::make_unique<RecordingDesktop>(&handed), folder);

  overwrite(picture, "first");
  ASSERT_EQ(setter->setWallpaper(picture).status, SetStatus::Applied);
  overwrite(picture, "second");
  ASSERT_EQ(setter->setWallpaper(picture).status, SetStatus::Applied);

  ASSERT_EQ(handed.size(), 2u);
  EXPECT_EQ(handed[0].content, "first");
  EXPECT_EQ(handed[1].content, "second");
  EXPECT_NE(handed[0].path, handed[1].path);
  for (const auto& copy : handed) {
    EXPECT_TRUE(copy.path.startsWith(folder)) << copy.path.toStdString();
    EXPECT_TRUE(copy.path.endsWith(QStringLiteral(".jpg"))) << copy.path.toStdString();
  }
  EXPECT_EQ(copiesIn(folder), QStringList{QFileInfo(handed[1].path).fileName()}) << "the older copy is gone";
  EXPECT_TRUE(QFile::exists(picture)) << "the picture itself stays";
}

TEST(FreshCopies, ARefusedPictureLeavesTheCopyTheDesktopShows) {
  QTemporaryDir dir;
  const QString folder = wallpaperCopyFolder(dir.path() + u'/');
  const QString picture = dir.filePath(QStringLiteral("a.png"));
  std::vector<RecordingDesktop::Handed> handed;
  overwrite(picture, "shown");
  ASSERT_EQ(
      makeFreshCopySetter(std::make_unique<RecordingDesktop>(&handed), folder)->setWallpaper(picture).status,
      SetStatus::Applied);

  for (SetStatus refusal : {SetStatus::Failed, SetStatus::Unavailable, SetStatus::NotRunning}) {
    const auto refusing = makeFreshCopySetter(std::make_unique<RecordingDesktop>(&handed, refusal), folder);
    overwrite(picture, "refused");
    EXPECT_EQ(refusing->setWallpaper(picture).status, refusal);
    // The same picture again, refused: the copy the desktop shows stays.
    overwrite(picture, "shown");
    EXPECT_EQ(refusing->setWallpaper(picture).status, refusal);
    EXPECT_EQ(copiesIn(folder), QStringList{QFileInfo(handed.front().path).fileName()});
  }
}

TEST(FreshCopies, EveryBackendThatTakesAPathIsHandedCopies) {
  const ConfigHome config;
  const PcmanfmQtStandIn pcmanfm(PcmanfmDesktop::Running);
  QTemporaryDir dir;
  const QString folder = wallpaperCopyFolder(dir.path() + u'/');
  const QString picture = dir.filePath(QStringLiteral("same.jpg"));
  DesktopSession lxqt;
  lxqt.currentDesktop = QStringLiteral("LXQt");
  lxqt.x11Display = QStringLiteral(":0");
  BackendServices services;
  services.loadPicture = loadScreenPicture;
  services.copyFolder = folder;
  const auto setter = makeWallpaperSetter(detectDesktopFamily(lxqt), lxqt, services);

  QStringList told;
  for (const QByteArray& content : {QByteArray("old picture"), QByteArray("new picture")}) {
    overwrite(picture, content);
    ASSERT_EQ(setter->setWallpaper(picture).status, SetStatus::Applied);
    told << pcmanfm.arguments()->value(0).section(u'=', 1);
  }
  EXPECT_NE(told[0], told[1]);
  EXPECT_TRUE(told[1].startsWith(folder)) << told[1].toStdString();
  EXPECT_EQ(copiesIn(folder), QStringList{QFileInfo(told[1]).fileName()});
}

// --- bare X11: the root window of a virtual X server

namespace {

bool coloursNear(QRgb actual, QRgb expected, int tolerance) {
  return std::abs(qRed(actual) - qRed(expected)) <= tolerance &&
         std::abs(qGreen(actual) - qGreen(expected)) <= tolerance &&
         std::abs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

// A virtual X server: Xvfb, started once for the X11 tests, or Xephyr
// inside it for several monitors.
class VirtualScreen {
 public:
  static constexpr int kWidth = 320;
  static constexpr int kHeight = 200;

  explicit VirtualScreen(const QString& program = QStringLiteral("Xvfb"),
                         QStringList screens = {QStringLiteral("-screen"), QStringLiteral("0"),
                                                QStringLiteral("%1x%2x24").arg(kWidth).arg(kHeight)}) {
    m_server.start(program, screens << QStringLiteral("-displayfd") << QStringLiteral("1")
                                    << QStringLiteral("-nolisten")
                                    << QStringLiteral("tcp")
                                    // A session always has clients; without them the server
                                    // would reset and drop every retained pixmap.
                                    << QStringLiteral("-noreset"));
    // The server writes its display number once it accepts connections.
    while (m_server.waitForReadyRead(10000) && !m_server.canReadLine()) {
    }
    const QByteArray number = m_server.readLine().trimmed();
    if (!number.isEmpty()) m_display = ":" + number;
  }
  ~VirtualScreen() {
    m_server.terminate();
    if (!m_server.waitForFinished(5000)) m_server.kill();
    m_server.waitForFinished(1000);
  }
  bool running() const { return !m_display.isEmpty(); }
  const QByteArray& display() const { return m_display; }
  // What the server said before it gave up, when it did not start.
  QString errors() { return QString::fromLocal8Bit(m_server.readAllStandardError()).trimmed(); }

  // What the root window shows, read back by the X tools.
  static QImage rootPicture() {
    QProcess dump;
    QProcess convert;
    dump.setStandardOutputProcess(&convert);
    dump.start(QStringLiteral("xwd"), {QStringLiteral("-root"), QStringLiteral("-silent")});
    convert.start(QStringLiteral("convert"), {QStringLiteral("xwd:-"), QStringLiteral("png:-")});
    dump.waitForFinished(10000);
    convert.waitForFinished(10000);
    return QImage::fromData(convert.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32);
  }

  // A root window property as xprop prints it, e.g. "_XROOTPMAP_ID(PIXMAP): pixmap id # 0x200001".
  static QString rootProperty(const char* name) {
    return QString::fromUtf8(
        runProgram(QStringLiteral("xprop"), {QStringLiteral("-root"), QString::fromLatin1(name)})
            .output.trimmed());
  }

 private:
  QProcess m_server;
  QByteArray m_display;
};

// The root-window backend as the program makes it, reading through the picture layer.
std::unique_ptr<WallpaperSetter> rootSetter() { return makeX11RootSetter(openScreenPicture); }

class X11RootTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (const auto why = whyNotRunning("Xvfb", {QStringLiteral("-help")}, "xvfb")) {
      screenProblem = *why;
      return;
    }
    screen = new VirtualScreen;
    if (!screen->running()) screenProblem = "Xvfb did not start: " + screen->errors().toStdString();
  }
  static void TearDownTestSuite() {
    delete screen;
    screen = nullptr;
    screenProblem.clear();
  }
  void SetUp() override {
    if (!screen || !screen->running()) GTEST_SKIP() << screenProblem;
    // xwd and xprop answer even "-version" only with a display.
    display.emplace("DISPLAY", screen->display());
    const std::pair<const char*, const char*> tools[] = {
        {"xwd", "x11-apps"}, {"convert", "imagemagick"}, {"xprop", "x11-utils"}};
    for (const auto& [tool, package] : tools) {
      if (const auto why = whyNotRunning(tool, {QStringLiteral("-version")}, package)) GTEST_SKIP() << *why;
    }
  }

  // A picture of 8 x 5 blocks of 10 x 10 pixels, each block its own colour.
  static QColor blockColour(int column, int row, int seed) {
    return QColor::fromRgb((column * 31 + seed * 7) % 256, (row * 53 + seed * 11) % 256,
                           (column * row * 17 + 90) % 256);
  }
  QString writeBlockPicture(const QString& name, int seed) {
    QImage picture(80, 50, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        picture.setPixelColor(x, y, blockColour(x / 10, y / 10, seed));
    const QString path = pictures.filePath(name);
    EXPECT_TRUE(picture.save(path, "BMP"));
    return path;
  }

  // The stretched picture on a 320 x 200 screen has 40 x 40 blocks; away
  // from their edges, where smoothing mixes neighbours, every pixel is the
  // block's own colour.
  static int wrongPixels(const QImage& shown, int seed) {
    int wrong = 0;
    for (int y = 0; y < shown.height(); ++y) {
      for (int x = 0; x < shown.width(); ++x) {
        if (x % 40 < 3 || x % 40 > 36 || y % 40 < 3 || y % 40 > 36) continue;
        wrong += shown.pixelColor(x, y) != blockColour(x / 40, y / 40, seed) ? 1 : 0;
      }
    }
    return wrong;
  }

  static unsigned long pixmapIn(const char* property) {
    const QString text = VirtualScreen::rootProperty(property);
    const qsizetype hex = text.lastIndexOf(QStringLiteral("0x"));
    return hex < 0 ? 0 : text.mid(hex + 2).toULong(nullptr, 16);
  }

  static inline VirtualScreen* screen = nullptr;
  static inline std::string screenProblem;
  std::optional<ScopedEnv> display;
  QTemporaryDir pictures;
};

}  // namespace

TEST_F(X11RootTest, TheRootWindowShowsThePictureStretchedPixelByPixel) {
  const QString path = writeBlockPicture(QStringLiteral("blocks.bmp"), 1);
  const SetResult result = rootSetter()->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();

  const QImage shown = VirtualScreen::rootPicture();
  ASSERT_EQ(shown.size(), QSize(VirtualScreen::kWidth, VirtualScreen::kHeight));
  EXPECT_EQ(wrongPixels(shown, 1), 0);
  // Filtered as smoothly as Qt's own stretch does it, within rounding.
  const QImage expected = QImage(path).scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  int different = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      different += coloursNear(shown.pixel(x, y), expected.pixel(x, y), 2) ? 0 : 1;
  EXPECT_EQ(different, 0);
}

TEST_F(X11RootTest, ThePixmapOutlivesItsConnectionUntilTheNextPictureFreesIt) {
  ASSERT_EQ(rootSetter()->setWallpaper(writeBlockPicture(QStringLiteral("a.bmp"), 3)).status,
            SetStatus::Applied);
  const unsigned long first = pixmapIn("_XROOTPMAP_ID");
  EXPECT_NE(first, 0u);
  EXPECT_EQ(pixmapIn("ESETROOT_PMAP_ID"), first);
  EXPECT_EQ(x11RootPixmapId(), first);
  EXPECT_TRUE(x11PixmapExists(first));

  ASSERT_EQ(rootSetter()->setWallpaper(writeBlockPicture(QStringLiteral("b.bmp"), 4)).status,
            SetStatus::Applied);
  const unsigned long second = x11RootPixmapId();

  EXPECT_NE(first, second);
  EXPECT_FALSE(x11PixmapExists(first));
  EXPECT_TRUE(x11PixmapExists(second));
  EXPECT_EQ(wrongPixels(VirtualScreen::rootPicture(), 4), 0);
}

TEST_F(X11RootTest, APixmapThatAnotherProgramClaimsIsLeftAlone) {
  ASSERT_EQ(rootSetter()->setWallpaper(writeBlockPicture(QStringLiteral("a.bmp"), 5)).status,
            SetStatus::Applied);
  const unsigned long first = x11RootPixmapId();
  // A running desktop program that draws the background itself keeps only
  // _XROOTPMAP_ID up to date.
  runProgram(QStringLiteral("xprop"),
             {QStringLiteral("-root"), QStringLiteral("-remove"), QStringLiteral("ESETROOT_PMAP_ID")});

  ASSERT_EQ(rootSetter()->setWallpaper(writeBlockPicture(QStringLiteral("b.bmp"), 6)).status,
            SetStatus::Applied);
  EXPECT_TRUE(x11PixmapExists(first));
}

TEST_F(X11RootTest, AFileThatIsNoPictureChangesNothing) {
  ASSERT_EQ(rootSetter()->setWallpaper(writeBlockPicture(QStringLiteral("a.bmp"), 7)).status,
            SetStatus::Applied);
  const unsigned long before = x11RootPixmapId();
  const QString broken = touchFile(pictures, QStringLiteral("broken.jpg"));

  const SetResult result = rootSetter()->setWallpaper(broken);
  EXPECT_EQ(result.status, SetStatus::Failed);
  EXPECT_EQ(x11RootPixmapId(), before);
  EXPECT_TRUE(x11PixmapExists(before));
  EXPECT_EQ(wrongPixels(VirtualScreen::rootPicture(), 7), 0);
}

TEST_F(X11RootTest, WithoutAnXServerTheDesktopIsUnavailable) {
  const ScopedEnv noDisplay("DISPLAY", ":99999");
  EXPECT_EQ(rootSetter()->setWallpaper(writeBlockPicture(QStringLiteral("a.bmp"), 8)).status,
            SetStatus::Unavailable);
}

TEST_F(X11RootTest, ShowDesktopAsksTheWindowManager) {
  if (const auto why = whyNotRunning("openbox", {QStringLiteral("--version")}, "openbox"))
    GTEST_SKIP() << *why;
  QProcess windowManager;
  windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
  // A manager still starting up may reset the state it announces, so the
  // request is repeated until the manager has settled.
  const std::unique_ptr<DesktopControl> control = makeX11DesktopControl();
  QString showing;
  for (int i = 0; i < 50 && !showing.endsWith(u'1'); ++i) {
    control->showDesktop();
    QThread::msleep(100);
    showing = VirtualScreen::rootProperty("_NET_SHOWING_DESKTOP");
  }
  windowManager.terminate();
  windowManager.waitForFinished(5000);
  EXPECT_TRUE(showing.endsWith(u'1')) << showing.toStdString();
}

// --- names that are not UTF-8: the bytes reach the desktop, or nothing does

namespace {

// A file under the exact bytes of its name, which QFile cannot make.
QString touchRawFile(const QTemporaryDir& dir, const QByteArray& name) {
  const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
  EXPECT_TRUE(writeRawFile(path, "picture"));
  return decodeFileName(path);
}

}  // namespace

TEST_F(GsettingsTest, GnomeGetsAUriOfTheVeryBytesOfANameThatIsNotUtf8) {
  const RawNamesCleanup cleanup(pictures.path());
  const QString path = touchRawFile(pictures, "caf\xE9 1.jpg");
  const SetResult result = makeGsettingsSetter(GsettingsDesktop::Gnome)->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();

  const QString uri = get("org.gnome.desktop.background", "picture-uri");
  EXPECT_EQ(uri, "file://" + pictures.path() + "/caf%E9%201.jpg");
  EXPECT_EQ(QByteArray::fromPercentEncoding(uri.mid(7).toLatin1()), encodeFileName(path));
  EXPECT_EQ(get("org.gnome.desktop.background", "picture-uri-dark"), uri);
  // GIO, which GNOME loads its background through, finds the file by it.
  if (hasProgram("gio")) {
    const ProgramRun info = runProgram(QStringLiteral("gio"), {QStringLiteral("info"), QStringLiteral("-a"),
                                                               QStringLiteral("standard::size"), uri});
    EXPECT_TRUE(info.succeeded()) << info.describeFailure(QStringLiteral("gio")).toStdString();
    EXPECT_TRUE(info.output.contains("standard::size: 7")) << info.output.toStdString();
  }
}

TEST_F(GsettingsTest, MateCannotTakeANameThatIsNotUtf8AndKeepsItsPicture) {
  const RawNamesCleanup cleanup(pictures.path());
  const QString before = touchFile(pictures, QStringLiteral("before.jpg"));
  ASSERT_EQ(makeGsettingsSetter(GsettingsDesktop::Mate)->setWallpaper(before).status, SetStatus::Applied);
  const SetResult result =
      makeGsettingsSetter(GsettingsDesktop::Mate)->setWallpaper(touchRawFile(pictures, "caf\xE9.jpg"));
  EXPECT_EQ(result.status, SetStatus::Failed);
  EXPECT_TRUE(result.detail.contains(QStringLiteral("UTF-8"))) << result.detail.toStdString();
  EXPECT_EQ(get("org.mate.background", "picture-filename"), before);
}

TEST(TextOnlyTools, ANameThatIsNotUtf8IsNeverPassedAsAnotherName) {
  StandInPrograms programs;
  for (const char* tool : {"swaymsg", "pcmanfm", "pcmanfm-qt", "xfconf-query"})
    programs.addRecorder(QString::fromLatin1(tool));
  const QString path = decodeFileName("/pictures/caf\xE9.jpg");
  std::vector<std::unique_ptr<WallpaperSetter>> setters;
  setters.push_back(makeSwaySetter());
  setters.push_back(makePcmanfmSetter(PcmanfmFlavour::Gtk));
  setters.push_back(makePcmanfmSetter(PcmanfmFlavour::Qt));
  setters.push_back(makeXfceSetter({QStringLiteral("HDMI-1")}));
  for (const auto& setter : setters) {
    const SetResult result = setter->setWallpaper(path);
    EXPECT_EQ(result.status, SetStatus::Failed) << setter->name().toStdString();
    EXPECT_TRUE(result.detail.contains(QStringLiteral("UTF-8"))) << result.detail.toStdString();
  }
  EXPECT_FALSE(programs.argumentsOf(QStringLiteral("swaymsg")));
  EXPECT_FALSE(programs.argumentsOf(QStringLiteral("pcmanfm")));
  EXPECT_FALSE(programs.argumentsOf(QStringLiteral("pcmanfm-qt")));
  // Only asked which backdrops there are; nothing was set.
  EXPECT_EQ(programs.argumentsOf(QStringLiteral("xfconf-query")), QStringList({"-c", "xfce4-desktop", "-l"}));
}

TEST(KdeScript, ANameThatIsNotUtf8GoesAsAUriOfItsBytes) {
  const QString script = plasmaWallpaperScript(decodeFileName("/pictures/caf\xE9.jpg"));
  EXPECT_TRUE(script.contains(QStringLiteral("var picture = \"file:///pictures/caf%E9.jpg\";")))
      << script.toStdString();
}

TEST_F(X11RootTest, APictureWhoseNameIsNotUtf8IsShown) {
  const RawNamesCleanup cleanup(pictures.path());
  const QByteArray named = QFile::encodeName(pictures.path()) + "/caf\xE9.bmp";
  ASSERT_TRUE(renameRaw(writeBlockPicture(QStringLiteral("plain.bmp"), 9), named));

  const SetResult result = rootSetter()->setWallpaper(decodeFileName(named));
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();
  EXPECT_EQ(wrongPixels(VirtualScreen::rootPicture(), 9), 0);
}

// --- bare X11: pictures of any size, on each monitor, on any screen depth

namespace {

// The test pictures are four quarters: red and blue above, green and white below.
QRgb quarterColour(int x, int y, QSize size) {
  const bool right = x >= size.width() / 2;
  const bool lower = y >= size.height() / 2;
  if (!lower) return right ? qRgb(0, 0, 255) : qRgb(255, 0, 0);
  return right ? qRgb(255, 255, 255) : qRgb(0, 255, 0);
}

// Whether `shown` holds the quartered picture stretched to `area`, looked at
// in the middle of each quarter.
bool showsQuarters(const QImage& shown, const QRect& area, int tolerance) {
  for (const QPoint& at : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
    const int x = area.x() + area.width() * at.x() / 4;
    const int y = area.y() + area.height() * at.y() / 4;
    const QRgb expected = quarterColour(at.x() / 2, at.y() / 2, QSize(2, 2));
    if (!coloursNear(shown.pixel(x, y), expected, tolerance)) {
      ADD_FAILURE() << "at " << x << "," << y << " shown " << std::hex << shown.pixel(x, y) << " wanted "
                    << expected;
      return false;
    }
  }
  return true;
}

// A large photo as a camera writes it, row by row, so the test never holds
// the whole picture.
void writeQuarteredJpeg(const QString& path, QSize size) {
  FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
  ASSERT_NE(file, nullptr);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr error{};
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = JDIMENSION(size.width());
  cinfo.image_height = JDIMENSION(size.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 80, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(std::size_t(size.width()) * 3);
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) {
      const QRgb colour = quarterColour(x, y, size);
      row[std::size_t(x) * 3] = JSAMPLE(qRed(colour));
      row[std::size_t(x) * 3 + 1] = JSAMPLE(qGreen(colour));
      row[std::size_t(x) * 3 + 2] = JSAMPLE(qBlue(colour));
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(file);
}

void put32(QByteArray& bytes, int at, quint32 value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = char(value >> (8 * i));
}

// An uncompressed 24-bit bitmap, written row by row.
void writeQuarteredBitmap(const QString& path, QSize size, RowOrder order) {
  const int stride = (size.width() * 3 + 3) / 4 * 4;
  QByteArray header(54, '\0');
  header[0] = 'B';
  header[1] = 'M';
  put32(header, 2, quint32(54 + qint64(stride) * size.height()));
  put32(header, 10, 54);
  put32(header, 14, 40);
  put32(header, 18, quint32(size.width()));
  put32(header, 22, quint32(order == RowOrder::BottomUp ? size.height() : -size.height()));
  header[26] = 1;
  header[28] = 24;
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(header);
  QByteArray row(stride, '\0');
  for (int line = 0; line < size.height(); ++line) {
    const int y = order == RowOrder::BottomUp ? size.height() - 1 - line : line;
    for (int x = 0; x < size.width(); ++x) {
      const QRgb colour = quarterColour(x, y, size);
      row[x * 3] = char(qBlue(colour));
      row[x * 3 + 1] = char(qGreen(colour));
      row[x * 3 + 2] = char(qRed(colour));
    }
    ASSERT_EQ(file.write(row), stride);
  }
}

const QRect kWholeScreen(0, 0, VirtualScreen::kWidth, VirtualScreen::kHeight);

}  // namespace

TEST_F(X11RootTest, APhotoOfFortyEightMegapixelsApplies) {
  const QString path = pictures.filePath(QStringLiteral("phone photo.jpg"));
  writeQuarteredJpeg(path, QSize(8000, 6000));
  const SetResult result = rootSetter()->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();
  EXPECT_TRUE(showsQuarters(VirtualScreen::rootPicture(), kWholeScreen, 8));
}

TEST_F(X11RootTest, LargeBitmapsApplyInEitherRowOrder) {
  const QString large = pictures.filePath(QStringLiteral("scan.bmp"));
  writeQuarteredBitmap(large, QSize(8000, 6000), RowOrder::BottomUp);
  const SetResult result = rootSetter()->setWallpaper(large);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();
  EXPECT_TRUE(showsQuarters(VirtualScreen::rootPicture(), kWholeScreen, 0));
  QFile::remove(large);

  const QString topDown = pictures.filePath(QStringLiteral("top down.bmp"));
  writeQuarteredBitmap(topDown, QSize(101, 51), RowOrder::TopDown);
  ASSERT_EQ(rootSetter()->setWallpaper(topDown).status, SetStatus::Applied);
  EXPECT_TRUE(showsQuarters(VirtualScreen::rootPicture(), kWholeScreen, 0));
}

TEST_F(X11RootTest, ABitmapCutShortChangesNothing) {
  ASSERT_EQ(rootSetter()->setWallpaper(writeBlockPicture(QStringLiteral("a.bmp"), 10)).status,
            SetStatus::Applied);
  const unsigned long before = x11RootPixmapId();
  const QString path = pictures.filePath(QStringLiteral("cut.bmp"));
  writeQuarteredBitmap(path, QSize(400, 300), RowOrder::BottomUp);
  QFile file(path);
  ASSERT_TRUE(file.resize(file.size() / 2));

  EXPECT_EQ(rootSetter()->setWallpaper(path).status, SetStatus::Failed);
  EXPECT_EQ(x11RootPixmapId(), before);
  EXPECT_EQ(wrongPixels(VirtualScreen::rootPicture(), 10), 0);
}

// A JPEG is drawn while it is decoded: one damaged half way down must not
// leave half a background.
TEST_F(X11RootTest, AJpegCutShortChangesNothing) {
  ASSERT_EQ(rootSetter()->setWallpaper(writeBlockPicture(QStringLiteral("a.bmp"), 12)).status,
            SetStatus::Applied);
  const unsigned long before = x11RootPixmapId();
  const QString path = pictures.filePath(QStringLiteral("cut.jpg"));
  writeQuarteredJpeg(path, QSize(640, 400));
  QFile file(path);
  ASSERT_TRUE(file.resize(file.size() * 2 / 3));

  const SetResult result = rootSetter()->setWallpaper(path);
  EXPECT_EQ(result.status, SetStatus::Failed);
  EXPECT_TRUE(result.detail.contains(QStringLiteral("cut.jpg"))) << result.detail.toStdString();
  EXPECT_EQ(x11RootPixmapId(), before);
  EXPECT_EQ(wrongPixels(VirtualScreen::rootPicture(), 12), 0);
}

TEST_F(X11RootTest, EachMonitorShowsTheWholePicture) {
  if (const auto why = whyNotRunning("Xephyr", {QStringLiteral("-help")}, "xserver-xephyr"))
    GTEST_SKIP() << *why;
  // Two heads side by side, of different sizes.
  VirtualScreen heads(QStringLiteral("Xephyr"),
                      {QStringLiteral("+xinerama"), QStringLiteral("-screen"), QStringLiteral("320x200"),
                       QStringLiteral("-screen"), QStringLiteral("160x100")});
  ASSERT_TRUE(heads.running()) << heads.errors().toStdString();
  const ScopedEnv onHeads("DISPLAY", heads.display());
  const QString bitmap = pictures.filePath(QStringLiteral("halves.bmp"));
  writeQuarteredBitmap(bitmap, QSize(80, 50), RowOrder::BottomUp);
  // A JPEG is read once, a band at a time, for both heads at their own scales.
  const QString jpeg = pictures.filePath(QStringLiteral("halves.jpg"));
  writeQuarteredJpeg(jpeg, QSize(1000, 700));
  for (const auto& [path, tolerance] : {std::pair{bitmap, 0}, std::pair{jpeg, 8}}) {
    SCOPED_TRACE(path.toStdString());
    const SetResult result = rootSetter()->setWallpaper(path);
    ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();

    const QImage shown = VirtualScreen::rootPicture();
    ASSERT_EQ(shown.size(), QSize(480, 200));
    // Red, blue, red, blue across the top.
    EXPECT_TRUE(showsQuarters(shown, QRect(0, 0, 320, 200), tolerance));
    EXPECT_TRUE(showsQuarters(shown, QRect(320, 0, 160, 100), tolerance));
  }
}

// Each head its own picture: one for a monitor is drawn over what the
// others show, and a screen drawn anew (another program's background in
// between) gets every monitor's choice back from the store.
TEST_F(X11RootTest, EachMonitorKeepsItsOwnPicture) {
  if (const auto why = whyNotRunning("Xephyr", {QStringLiteral("-help")}, "xserver-xephyr"))
    GTEST_SKIP() << *why;
  VirtualScreen heads(QStringLiteral("Xephyr"),
                      {QStringLiteral("+xinerama"), QStringLiteral("-screen"), QStringLiteral("200x100"),
                       QStringLiteral("-screen"), QStringLiteral("100x100")});
  ASSERT_TRUE(heads.running()) << heads.errors().toStdString();
  const ScopedEnv onHeads("DISPLAY", heads.display());
  const MonitorList monitors = x11Monitors();
  ASSERT_EQ(monitors.size(), 2);
  EXPECT_EQ(monitors[1].geometry, QRect(200, 0, 100, 100));
  const auto solid = [this](const char* name, QColor colour) {
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(colour);
    const QString path = pictures.filePath(QLatin1String(name));
    EXPECT_TRUE(picture.save(path, "PNG"));
    return path;
  };
  const auto store = std::make_shared<MonitorChoiceStore>(pictures.filePath(QStringLiteral("values.reg")));
  const auto setter = makeRememberingSetter(makeX11RootSetter(openScreenPicture, store), store);
  const auto shows = [](QColor left, QColor right) {
    const QImage shown = VirtualScreen::rootPicture();
    return shown.pixel(100, 50) == left.rgb() && shown.pixel(250, 50) == right.rgb();
  };
  ASSERT_EQ(setter->setWallpaper(solid("red.png", Qt::red)).status, SetStatus::Applied);
  const unsigned long background = x11RootPixmapId();
  const WallpaperTarget right = WallpaperTarget::oneMonitor(monitors[1]);
  ASSERT_EQ(setter->setWallpaperOn(solid("blue.png", Qt::blue), right, CancelToken()).status,
            SetStatus::Applied);
  EXPECT_TRUE(shows(Qt::red, Qt::blue));
  EXPECT_EQ(x11RootPixmapId(), background) << "one monitor's picture is drawn into the background";
  EXPECT_TRUE(x11PixmapExists(background));

  // A picture that fails half way leaves every monitor as it was.
  const QString cut = pictures.filePath(QStringLiteral("cut.jpg"));
  writeQuarteredJpeg(cut, QSize(400, 400));
  QFile file(cut);
  ASSERT_TRUE(file.resize(file.size() / 2));
  EXPECT_EQ(setter->setWallpaperOn(cut, right, CancelToken()).status, SetStatus::Failed);
  EXPECT_TRUE(shows(Qt::red, Qt::blue));

  // A background drawn over all of it since: the restore draws each monitor's choice again.
  ASSERT_EQ(makeX11RootSetter(openScreenPicture)->setWallpaper(solid("green.png", Qt::green)).status,
            SetStatus::Applied);
  ASSERT_TRUE(shows(Qt::green, Qt::green));
  ASSERT_EQ(setter->restoreChoices(CancelToken()).status, SetStatus::Applied);
  EXPECT_TRUE(shows(Qt::red, Qt::blue));

  const SetResult unknown = setter->setWallpaperOn(
      solid("white.png", Qt::white),
      WallpaperTarget::oneMonitor({QStringLiteral("VGA-9"), QRect(9, 9, 9, 9)}), CancelToken());
  EXPECT_EQ(unknown.status, SetStatus::Failed);
  EXPECT_TRUE(shows(Qt::red, Qt::blue));
}

TEST_F(X11RootTest, ASixteenBitScreenShowsThePicture) {
  VirtualScreen shallow(QStringLiteral("Xvfb"),
                        {QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("320x200x16")});
  ASSERT_TRUE(shallow.running()) << shallow.errors().toStdString();
  const ScopedEnv onShallow("DISPLAY", shallow.display());
  const QString path = pictures.filePath(QStringLiteral("quarters.jpg"));
  writeQuarteredJpeg(path, QSize(640, 400));
  const SetResult result = rootSetter()->setWallpaper(path);
  ASSERT_EQ(result.status, SetStatus::Applied) << result.detail.toStdString();
  // Five or six bits a channel, and the loss of JPEG coding.
  EXPECT_TRUE(showsQuarters(VirtualScreen::rootPicture(), kWholeScreen, 12));
  EXPECT_TRUE(x11PixmapExists(x11RootPixmapId()));
}

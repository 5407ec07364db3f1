// The monitors: their order and names, the pictures chosen for each, the
// picture of the whole desktop for the desktops that keep one, and what
// the Wayland backends hand their tools.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "picture/JpegEncode.h"
#include "picture/ScreenPictureLoad.h"
#include "platform/DesktopComposition.h"
#include "platform/MonitorChoices.h"
#include "platform/Monitors.h"
#include "platform/WallpaperSetter.h"

namespace {

Monitor monitor(const char* name, int x, int y, int width, int height) {
  return {QString::fromLatin1(name), QRect(x, y, width, height)};
}

QStringList namesOf(const MonitorList& monitors) {
  QStringList names;
  for (const Monitor& each : monitors) names << each.name;
  return names;
}

QString writePicture(const QTemporaryDir& dir, const QString& name, QColor colour) {
  QImage picture(32, 24, QImage::Format_RGB32);
  picture.fill(colour);
  const QString path = dir.filePath(name);
  EXPECT_TRUE(picture.save(path, "PNG"));
  return path;
}

bool near(QRgb shown, QColor wanted) {
  return std::abs(qRed(shown) - wanted.red()) < 8 && std::abs(qGreen(shown) - wanted.green()) < 8 &&
         std::abs(qBlue(shown) - wanted.blue()) < 8;
}

// Answers every picture with `answer`, noting what it was handed.
class RecordingDesktop : public WallpaperSetter {
 public:
  SetResult setWallpaper(const QString& path, const CancelToken& cancel) override {
    return setWallpaperOn(path, WallpaperTarget::allMonitors(), cancel);
  }
  SetResult setWallpaperOn(const QString& path, const WallpaperTarget& target, const CancelToken&) override {
    paths << path;
    targets << target;
    if (target.kind == TargetKind::WholeDesktop) handedPicture = QImage(path);
    return answer;
  }
  QString name() const override { return QStringLiteral("recording desktop"); }

  SetResult answer = SetResult::applied();
  QStringList paths;
  QList<WallpaperTarget> targets;
  QImage handedPicture;
};

}  // namespace

TEST(Monitors, AreCountedLeftToRightThenTopToBottom) {
  const MonitorList ordered =
      orderedMonitors({monitor("RIGHT", 1920, 0, 1280, 1024), monitor("BELOW", 0, 1080, 1920, 1080),
                       monitor("OFF", 500, 0, 0, 0), monitor("TOP", 0, 0, 1920, 1080)});
  EXPECT_EQ(namesOf(ordered), (QStringList{"TOP", "BELOW", "RIGHT"}));
  EXPECT_EQ(findMonitor(ordered, QStringLiteral("3"))->name, QLatin1String("RIGHT"));
  EXPECT_EQ(findMonitor(ordered, QStringLiteral("BELOW"))->geometry, QRect(0, 1080, 1920, 1080));
  EXPECT_FALSE(findMonitor(ordered, QStringLiteral("4")));
  EXPECT_FALSE(findMonitor(ordered, QStringLiteral("top"))) << "output names are exact";
  EXPECT_EQ(desktopArea(ordered), QRect(0, 0, 3200, 2160));
}

TEST(Monitors, ANameGoesBeforeANumber) {
  const MonitorList monitors = {monitor("A", 0, 0, 10, 10), monitor("1", 10, 0, 10, 10)};
  EXPECT_EQ(findMonitor(monitors, QStringLiteral("1"))->name, QLatin1String("1"));
  EXPECT_EQ(findMonitor(monitors, QStringLiteral("2"))->name, QLatin1String("1"));
}

TEST(Monitors, SwayAndHyprlandTellTheirMonitorsInJson) {
  const QByteArray sway = R"([
    {"name": "HEADLESS-2", "active": true, "rect": {"x": 800, "y": 0, "width": 800, "height": 600}},
    {"name": "HEADLESS-1", "active": true, "rect": {"x": 0, "y": 0, "width": 800, "height": 600}},
    {"name": "HDMI-A-1", "active": false, "rect": {"x": 0, "y": 0, "width": 0, "height": 0}}])";
  EXPECT_EQ(namesOf(monitorsFromJson(sway)), (QStringList{"HEADLESS-1", "HEADLESS-2"}));
  const QByteArray hyprland = R"([{"id": 0, "name": "DP-1", "x": 0, "y": 0, "width": 2560, "height": 1440}])";
  const MonitorList found = monitorsFromJson(hyprland);
  ASSERT_EQ(found.size(), 1);
  EXPECT_EQ(found.first(), monitor("DP-1", 0, 0, 2560, 1440));
  EXPECT_TRUE(monitorsFromJson("not json").isEmpty());
}

TEST(MonitorChoices, APictureForAllReplacesEveryMonitorsOwn) {
  MonitorChoices choices;
  choices.choose(QStringLiteral("/a.jpg"), WallpaperTarget::allMonitors());
  choices.choose(QStringLiteral("/b.jpg"), WallpaperTarget::oneMonitor(monitor("DP-2", 0, 0, 1, 1)));
  EXPECT_EQ(choices.pictureOf(QStringLiteral("DP-1")), QLatin1String("/a.jpg"));
  EXPECT_EQ(choices.pictureOf(QStringLiteral("DP-2")), QLatin1String("/b.jpg"));
  choices.choose(QStringLiteral("/c.jpg"), WallpaperTarget::allMonitors());
  EXPECT_EQ(choices.pictureOf(QStringLiteral("DP-2")), QLatin1String("/c.jpg"));
  EXPECT_TRUE(choices.byMonitor.isEmpty());
}

TEST(MonitorChoices, AreKeptInTheValueStoreAndStaleOnesLeaveIt) {
  QTemporaryDir dir;
  const MonitorChoiceStore store(dir.filePath(QStringLiteral("values.reg")));
  MonitorChoices choices;
  choices.everyMonitor = QStringLiteral("/pictures/all \"of\" them.jpg");
  choices.byMonitor.insert(QStringLiteral("DP-1"), QStringLiteral("/pictures/left.jpg"));
  choices.byMonitor.insert(QStringLiteral("HDMI-1"), QStringLiteral("/pictures/right.jpg"));
  ASSERT_TRUE(store.save(choices));
  MonitorChoices loaded = store.load();
  EXPECT_EQ(loaded.everyMonitor, choices.everyMonitor);
  EXPECT_EQ(loaded.byMonitor, choices.byMonitor);

  loaded.choose(QStringLiteral("/pictures/new.jpg"), WallpaperTarget::allMonitors());
  ASSERT_TRUE(store.save(loaded));
  EXPECT_TRUE(store.load().byMonitor.isEmpty());
  EXPECT_EQ(store.load().everyMonitor, QLatin1String("/pictures/new.jpg"));
}

// --- the picture of the whole desktop

TEST(DesktopComposition, EachMonitorShowsItsChoiceOnItsRectangleAndTheRestIsBlack) {
  QTemporaryDir dir;
  MonitorChoices choices;
  choices.everyMonitor = writePicture(dir, QStringLiteral("red.png"), Qt::red);
  choices.byMonitor.insert(QStringLiteral("RIGHT"), writePicture(dir, QStringLiteral("blue.png"), Qt::blue));
  // A monitor left of the origin and one lower than the other.
  const MonitorList monitors = {monitor("LEFT", -40, 0, 40, 30), monitor("RIGHT", 0, 10, 20, 20)};
  QString why;
  const std::optional<QImage> desktop = composeDesktop(monitors, choices, loadScreenPicture, why);
  ASSERT_TRUE(desktop) << why.toStdString();
  ASSERT_EQ(desktop->size(), QSize(60, 30));
  EXPECT_TRUE(near(desktop->pixel(1, 1), Qt::red));
  EXPECT_TRUE(near(desktop->pixel(39, 29), Qt::red));
  EXPECT_TRUE(near(desktop->pixel(40, 10), Qt::blue));
  EXPECT_TRUE(near(desktop->pixel(59, 29), Qt::blue));
  EXPECT_TRUE(near(desktop->pixel(50, 5), Qt::black)) << "above the lower monitor lies no monitor";

  MonitorChoices onlyRight;
  onlyRight.byMonitor = choices.byMonitor;
  const std::optional<QImage> half = composeDesktop(monitors, onlyRight, loadScreenPicture, why);
  ASSERT_TRUE(half);
  EXPECT_TRUE(near(half->pixel(1, 1), Qt::black)) << "a monitor with no choice stays black";
  EXPECT_TRUE(near(half->pixel(45, 15), Qt::blue));
}

TEST(DesktopComposition, APictureThatCannotBeReadFailsWithItsName) {
  MonitorChoices choices;
  choices.everyMonitor = QStringLiteral("/nonexistent/gone.png");
  QString why;
  EXPECT_FALSE(composeDesktop({monitor("A", 0, 0, 10, 10)}, choices, loadScreenPicture, why));
  EXPECT_FALSE(why.isEmpty());
}

TEST(SpanningSetter, APictureForOneMonitorReachesTheDesktopAsOneForTheWholeDesktop) {
  QTemporaryDir dir;
  const auto store = std::make_shared<MonitorChoiceStore>(dir.filePath(QStringLiteral("values.reg")));
  MonitorChoices before;
  before.everyMonitor = writePicture(dir, QStringLiteral("green.png"), Qt::green);
  ASSERT_TRUE(store->save(before));
  auto desktop = std::make_unique<RecordingDesktop>();
  RecordingDesktop* seen = desktop.get();
  const MonitorList monitors = {monitor("A", 0, 0, 64, 48), monitor("B", 64, 0, 64, 48)};
  const auto setter =
      makeSpanningSetter(std::move(desktop),
                         {loadScreenPicture, [](const QImage& picture) { return encodeJpeg(picture, 90); },
                          [monitors](const CancelToken&) { return monitors; }, store, dir.filePath("cache")});

  const QString blue = writePicture(dir, QStringLiteral("blue.png"), Qt::blue);
  ASSERT_EQ(setter->setWallpaperOn(blue, WallpaperTarget::oneMonitor(monitors[1]), CancelToken()).status,
            SetStatus::Applied);
  ASSERT_EQ(seen->targets.size(), 1);
  EXPECT_EQ(seen->targets[0].kind, TargetKind::WholeDesktop);
  ASSERT_EQ(seen->handedPicture.size(), QSize(128, 48));
  EXPECT_TRUE(near(seen->handedPicture.pixel(10, 10), Qt::green));
  EXPECT_TRUE(near(seen->handedPicture.pixel(100, 10), Qt::blue));
  EXPECT_FALSE(QFile::exists(seen->paths[0])) << "the composed file is only the way to the desktop's copy";

  // A picture for all goes as it is, to be stretched on each.
  ASSERT_EQ(setter->setWallpaper(blue).status, SetStatus::Applied);
  EXPECT_EQ(seen->paths.last(), blue);
  EXPECT_EQ(seen->targets.last().kind, TargetKind::AllMonitors);

  const SetResult unknown =
      setter->setWallpaperOn(blue, WallpaperTarget::oneMonitor(monitor("C", 0, 0, 1, 1)), CancelToken());
  EXPECT_EQ(unknown.status, SetStatus::Failed);
  EXPECT_TRUE(unknown.detail.contains(QLatin1String("1 A (64x48), 2 B (64x48)")))
      << unknown.detail.toStdString();
}

TEST(RememberingSetter, KeepsAChoiceOnlyOnceTheDesktopTookIt) {
  QTemporaryDir dir;
  const auto store = std::make_shared<MonitorChoiceStore>(dir.filePath(QStringLiteral("values.reg")));
  auto desktop = std::make_unique<RecordingDesktop>();
  RecordingDesktop* seen = desktop.get();
  const auto setter = makeRememberingSetter(std::move(desktop), store);
  ASSERT_EQ(setter->setWallpaper(QStringLiteral("/all.jpg")).status, SetStatus::Applied);
  ASSERT_EQ(setter
                ->setWallpaperOn(QStringLiteral("/b.jpg"),
                                 WallpaperTarget::oneMonitor(monitor("B", 0, 0, 1, 1)), CancelToken())
                .status,
            SetStatus::Applied);
  seen->answer = SetResult::failed(QStringLiteral("refused"));
  setter->setWallpaperOn(QStringLiteral("/refused.jpg"),
                         WallpaperTarget::oneMonitor(monitor("B", 0, 0, 1, 1)), CancelToken());
  const MonitorChoices kept = store->load();
  EXPECT_EQ(kept.everyMonitor, QLatin1String("/all.jpg"));
  EXPECT_EQ(kept.pictureOf(QStringLiteral("B")), QLatin1String("/b.jpg"));
}

// A monitor's copy is the only one of that monitor's that goes: sway
// starts its swaybg anew with every output's file, so the others' must stay.
TEST(FreshCopies, APictureForOneMonitorLeavesTheOtherMonitorsCopies) {
  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("cache/"));
  auto desktop = std::make_unique<RecordingDesktop>();
  RecordingDesktop* seen = desktop.get();
  const auto setter = makeFreshCopySetter(std::move(desktop), folder);
  const QString red = writePicture(dir, QStringLiteral("red.png"), Qt::red);
  const QString blue = writePicture(dir, QStringLiteral("blue.png"), Qt::blue);
  const QString green = writePicture(dir, QStringLiteral("green.png"), Qt::green);
  const WallpaperTarget left = WallpaperTarget::oneMonitor(monitor("L", 0, 0, 1, 1));
  const WallpaperTarget right = WallpaperTarget::oneMonitor(monitor("R", 1, 0, 1, 1));
  ASSERT_EQ(setter->setWallpaperOn(red, left, CancelToken()).status, SetStatus::Applied);
  ASSERT_EQ(setter->setWallpaperOn(blue, right, CancelToken()).status, SetStatus::Applied);
  EXPECT_TRUE(QFile::exists(seen->paths[0])) << "the left monitor still shows its copy";
  ASSERT_EQ(setter->setWallpaperOn(green, right, CancelToken()).status, SetStatus::Applied);
  EXPECT_TRUE(QFile::exists(seen->paths[0]));
  EXPECT_FALSE(QFile::exists(seen->paths[1])) << "the right monitor's older copy";
  ASSERT_EQ(setter->setWallpaper(red).status, SetStatus::Applied);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QFileInfo(seen->paths.last()).fileName()});
}

// --- what the Wayland backends hand their tools

TEST(WaylandBackends, HyprpaperIsToldTheMonitorThePathAndFit) {
  EXPECT_EQ(hyprpaperArguments(QStringLiteral("/p/a b.jpg"),
                               WallpaperTarget::oneMonitor(monitor("DP-1", 0, 0, 1, 1))),
            (QStringList{"hyprpaper", "wallpaper", "DP-1,/p/a b.jpg,fit"}));
  EXPECT_EQ(hyprpaperArguments(QStringLiteral("/p/a.jpg"), WallpaperTarget::allMonitors()),
            (QStringList{"hyprpaper", "wallpaper", ",/p/a.jpg,fit"}));
}

TEST(WaylandBackends, SwayAndSwaybgNameTheOutput) {
  EXPECT_EQ(swayBackgroundArguments(QStringLiteral("/p/a.jpg"),
                                    WallpaperTarget::oneMonitor(monitor("HEADLESS-2", 0, 0, 1, 1))),
            (QStringList{"output", "HEADLESS-2", "bg", "/p/a.jpg", "stretch"}));
  MonitorChoices choices;
  choices.everyMonitor = QStringLiteral("/p/all.jpg");
  choices.byMonitor.insert(QStringLiteral("DP-2"), QStringLiteral("/p/two.jpg"));
  EXPECT_EQ(swaybgArguments(choices), (QStringList{"-o", "*", "-i", "/p/all.jpg", "-m", "stretch", "-o",
                                                   "DP-2", "-i", "/p/two.jpg", "-m", "stretch"}));
}

TEST(WaylandBackends, TheCosmicEntryIsStretchedAndEscaped) {
  EXPECT_EQ(cosmicBackgroundEntry(QStringLiteral("all"), QStringLiteral("/p/a \"b\" c\\d.jpg")),
            QStringLiteral("(\n"
                           "    output: \"all\",\n"
                           "    source: Path(\"/p/a \\\"b\\\" c\\\\d.jpg\"),\n"
                           "    filter_by_theme: false,\n"
                           "    rotation_frequency: 900,\n"
                           "    filter_method: Lanczos,\n"
                           "    scaling_mode: Stretch,\n"
                           "    sampling_method: Alphanumeric,\n"
                           ")"));
}

TEST(WaylandBackends, CosmicGetsOneOutputsEntryAndTheListThatNamesIt) {
  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("v1/"));
  const auto read = [&folder](const char* key) {
    QFile file(folder + QLatin1String(key));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  };
  const auto setter = makeCosmicSetter(folder);
  ASSERT_EQ(setter->setWallpaper(QStringLiteral("/p/all.jpg")).status, SetStatus::Applied);
  EXPECT_EQ(read("all"), cosmicBackgroundEntry(QStringLiteral("all"), QStringLiteral("/p/all.jpg")));
  EXPECT_EQ(read("same-on-all"), QLatin1String("true"));

  for (const char* output : {"DP-1", "HDMI-A-1", "DP-1"})
    ASSERT_EQ(setter
                  ->setWallpaperOn(QStringLiteral("/p/one.jpg"),
                                   WallpaperTarget::oneMonitor(monitor(output, 0, 0, 1, 1)), CancelToken())
                  .status,
              SetStatus::Applied);
  EXPECT_EQ(read("output.HDMI-A-1"),
            cosmicBackgroundEntry(QStringLiteral("HDMI-A-1"), QStringLiteral("/p/one.jpg")));
  EXPECT_EQ(read("backgrounds"), QLatin1String("[\"DP-1\", \"HDMI-A-1\"]"));
  EXPECT_EQ(read("same-on-all"), QLatin1String("false"));
  EXPECT_EQ(read("all"), cosmicBackgroundEntry(QStringLiteral("all"), QStringLiteral("/p/all.jpg")))
      << "the other monitors keep the picture for all";
}

// Test entry: every test executable runs with a private HOME,
// XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR, so no test can touch
// the real user's configuration or meet a running program. Logic tests get
// only an event loop; tests of pixmaps, screens or fonts a QGuiApplication and
// window tests a QApplication, both on the offscreen platform unless a display
// is asked for.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <cstdlib>

#if defined(NIMBRA_TEST_WINDOW)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(NIMBRA_TEST_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  const QByteArray homePath = home.path().toLocal8Bit();
  setenv("HOME", homePath.constData(), 1);
  setenv("XDG_CONFIG_HOME", (homePath + "/.config").constData(), 1);
  setenv("XDG_DATA_HOME", (homePath + "/.local/share").constData(), 1);
  const QByteArray runtime = homePath + "/runtime";
  if (mkdir(runtime.constData(), 0700) != 0) return 2;
  setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
  if (!getenv("NIMBRA_TEST_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  TestApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

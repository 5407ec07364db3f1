// Test entry: every test executable runs with a private HOME and
// XDG_CONFIG_HOME, so no test can touch the real user's configuration, and
// with a QApplication on the offscreen platform unless a display is asked for.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char** argv) {
  QTemporaryDir home;
  if (!home.isValid()) return 2;
  const QByteArray homePath = home.path().toLocal8Bit();
  setenv("HOME", homePath.constData(), 1);
  setenv("XDG_CONFIG_HOME", (homePath + "/.config").constData(), 1);
  if (!getenv("NIMBRA_TEST_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

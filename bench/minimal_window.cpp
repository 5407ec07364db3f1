// The yardstick of the start-up benchmark: the least a Qt 6 Widgets program
// does to show a window of the main window's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setFixedSize(799, 599);
  window.show();
  return app.exec();
}

// The yardstick of the start-up benchmark: the least a Qt 6 Widgets program
// does to show a window of the main window's size with a line of text in it.
// Without text a window never loads the font database, which every real
// window needs before it can map (a label sizes itself to its text).
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setFixedSize(799, 599);
  QLabel caption(QStringLiteral("Nimbra Wallpaper"), &window);
  caption.adjustSize();
  window.show();
  return app.exec();
}

// The start-up reference: the least a Qt Widgets program does before its
// first window is shown, on the same machine and display.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Bare window"));
  window.resize(640, 480);
  window.show();
  return QApplication::exec();
}

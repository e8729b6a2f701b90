// exogena: the desktop program.
#include <QApplication>

#include "ui/MainWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  exo::ui::MainWindow window;
  window.show();
  return app.exec();
}

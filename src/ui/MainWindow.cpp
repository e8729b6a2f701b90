// The main window of the desktop program.
#include "ui/MainWindow.h"

#include <QLabel>

namespace exo::ui {

QString mainWindowTitle() {
  return QString::fromUtf8("Norvasta - Información Exógena en Medios Magnéticos - 2011");
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(mainWindowTitle());
  resize(1000, 700);
}

}  // namespace exo::ui

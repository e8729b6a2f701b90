// The main window of the desktop program: title, page groups and the page area.
#pragma once

#include <QMainWindow>

namespace exo::ui {

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);
};

// The main window's title, as the program shows it.
QString mainWindowTitle();

}  // namespace exo::ui

// Pictures of the desktop program's screens taken without anyone at the display: with
// EXOGENA_CAPTURE=file.png the start-up dialog is saved as file-inicio.png and answered with its
// first button, the main window is saved as file.png once the company is chosen, and the program
// ends. The GUI tests and the README's screen pictures use it; a normal start does nothing here.
#pragma once

#include <QString>

namespace exo::ui {

class MainWindow;

class StartupCapture {
 public:
  // Reads EXOGENA_CAPTURE; inactive when it is unset or empty.
  StartupCapture();
  bool active() const { return !m_file.isEmpty(); }
  // Waits for the start-up dialog (however long the start takes), saves it and answers it.
  void watchStartupDialog(MainWindow& window) const;
  // After the company choice: saves the window a moment later and ends the program.
  void finish(MainWindow& window) const;

 private:
  QString m_file;
};

}  // namespace exo::ui

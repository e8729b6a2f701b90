// The one application object of the GUI test program, created on first use and never
// destroyed: Qt's own objects that outlive main() must still find it.
#pragma once

#include <QApplication>
#include <QWidget>

namespace guitest {

inline QApplication& app() {
  static int argc = 1;
  static char name[] = "tests_gui";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = new QApplication(argc, argv);
  return *instance;
}

// Saves a picture of a window when EXOGENA_SCREENSHOTS names a folder (to look at the screens).
inline void picture(QWidget& w, const char* name) {
  const QString folder = qEnvironmentVariable("EXOGENA_SCREENSHOTS");
  if (!folder.isEmpty())
    w.grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

}  // namespace guitest

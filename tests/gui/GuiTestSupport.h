// The one application object of the GUI test program, created on first use and never
// destroyed: Qt's own objects that outlive main() must still find it.
#pragma once

#include <QApplication>

namespace guitest {

inline QApplication& app() {
  static int argc = 1;
  static char name[] = "tests_gui";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = new QApplication(argc, argv);
  return *instance;
}

}  // namespace guitest

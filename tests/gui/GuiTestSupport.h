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
// With EXOGENA_SCREEN_SIZE=WxH (the screen in logical pixels: 1024x768, or 1536x864 for
// 1920x1080 at QT_SCALE_FACTOR=1.25) the main window is given the whole screen first, and a
// window larger than the screen is reported.
inline void picture(QWidget& w, const char* name) {
  const QString folder = qEnvironmentVariable("EXOGENA_SCREENSHOTS");
  if (folder.isEmpty()) return;
  const QStringList size = qEnvironmentVariable("EXOGENA_SCREEN_SIZE").split(QLatin1Char('x'));
  if (size.size() == 2) {
    const QSize screen(size[0].toInt(), size[1].toInt());
    if (w.inherits("QMainWindow")) {
      w.resize(screen);
      QApplication::processEvents();
    } else if (w.width() > screen.width() || w.height() > screen.height()) {
      qWarning("%s: %dx%d, larger than the screen", name, w.width(), w.height());
    }
  }
  w.grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

}  // namespace guitest

// exogena: the desktop program.
#include <QApplication>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>

#include "ui/MainWindow.h"
#include "ui/SideBar.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  exo::ui::MainWindow window;
  // Page 1 of the last group is built first, then the first group shows its page 1.
  window.sideBar()->openGroup(3);
  window.sideBar()->openGroup(1);
  const QRect screen = window.screen()->availableGeometry();
  window.move(screen.center() - window.rect().center());
  window.show();
  // EXOGENA_CAPTURE=file.png: saves a picture of the window after start-up and ends (for looking
  // at the screens in runs without anyone at the display).
  if (const QString capture = qEnvironmentVariable("EXOGENA_CAPTURE"); !capture.isEmpty()) {
    QTimer::singleShot(800, &window, [&window, capture] {
      window.grab().save(capture);
      window.terminate();
    });
  }
  return app.exec();
}

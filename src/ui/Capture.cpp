#include "ui/Capture.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "ui/MainWindow.h"

namespace exo::ui {

StartupCapture::StartupCapture() : m_file(qEnvironmentVariable("EXOGENA_CAPTURE")) {}

void StartupCapture::watchStartupDialog(MainWindow& window) const {
  if (!active()) return;
  auto* poll = new QTimer(&window);
  const QString file = m_file;
  QObject::connect(poll, &QTimer::timeout, &window, [poll, file] {
    auto* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) return;
    poll->stop();
    dialog->grab().save(
        QString(file).replace(QStringLiteral(".png"), QStringLiteral("-inicio.png")));
    if (auto* first = dialog->findChild<QPushButton*>()) first->click();
  });
  poll->start(300);
}

void StartupCapture::finish(MainWindow& window) const {
  if (!active()) return;
  const QString file = m_file;
  QTimer::singleShot(800, &window, [&window, file] {
    window.grab().save(file);
    window.terminate();
  });
}

}  // namespace exo::ui

// The desktop program's start-up and end.
#include "app/Desktop.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "app/Pages.h"
#include "expr/Interp.h"
#include "generation/XmlWriter.h"
#include "masterdata/ThirdParty.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "reports/pages/ReportFunctions.h"
#include "shell/Company.h"
#include "shell/ErrorHandler.h"
#include "shell/Paths.h"
#include "shell/Runtime.h"
#include "shell/Session.h"
#include "shell/pages/CompanyPages.h"
#include "store/Engine.h"
#include "store/RefTables.h"
#include "ui/Capture.h"
#include "ui/ErrorWindows.h"
#include "ui/MainWindow.h"
#include "ui/QtUserInterface.h"
#include "ui/SideBar.h"
#include "ui/SingleInstance.h"
#include "ui/Text.h"

namespace exo::app {

using ui::MainWindow;
using ui::qt;
using ui::QtUserInterface;
using ui::SingleInstance;
using ui::StartupCapture;

int INICIO(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

  // One copy per program name: a later one brings the running window to the front.
  SingleInstance instance(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName());
  if (!instance.isFirst()) {
    instance.activateRunning();
    return 0;
  }

  const shell::Folders folders = shell::Folders::fromEnvironment();
  std::error_code ec;
  std::filesystem::remove(shell::entryPath(folders.program, "TRACE.LOG"), ec);

  shell::Runtime runtime;
  Interp& ip = runtime.interp();
  store::Engine& engine = runtime.engine();
  masterdata::registerThirdPartyClasses(ip);
  QtUserInterface ui;
  shell::ErrorHandler handler(ip, ui, &engine, folders.program);
  shell::ERRORSYS(handler, ip);
  handler.setExit([](int code) {
    QApplication::exit(code);
    std::exit(code);
  });

  if (!runtime.openSession(ui, folders)) return 0;
  shell::Session& session = runtime.session();

  MainWindow window;
  ui.setParent(&window);
  ui::installErrorWindows(handler, &window, engine);
  QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
  });
  registerPages(window, session, engine);
  // Report definitions: the runner and the functions they print, browse and view with.
  reports::Runner runner(ip, ui, folders.program, &handler);
  reports::registerReportFunctions(ip, {&window, &engine, &ui, folders.program, {}, true});
  reports::registerWorkbookFunctions(ip, &ui, folders);
  generation::registerXmlFunctions(ip, session);

  int code = 0;
  try {
    store::CREATABLAS(engine);
    // Page 1 of the last group is built first, then the first group shows its page 1.
    window.sideBar()->openGroup(3);
    window.sideBar()->openGroup(1);
    const QRect screen = window.screen()->availableGeometry();
    window.move(screen.center() - window.rect().center());
    window.show();

    // Pictures of the screens on request (EXOGENA_CAPTURE); nothing otherwise.
    const StartupCapture capture;
    capture.watchStartupDialog(window);
    // The company is chosen as soon as the window is on screen; without one the program ends.
    QTimer::singleShot(0, &window, [&] {
      const auto showCompany = [&window](const std::string& text) { window.setInfo(qt(text)); };
      if (!shell::SELECEMPRESA(session, engine, &window, true, showCompany)) window.terminate();
      capture.finish(window);
    });
    code = app.exec();
  } catch (const FailureError&) {
    code = 1;  // abandoned by the error handler, which has shown and logged it
  }
  handler.setMainLoopRunning(false);
  // The end, however it comes: pending events, then every table committed and closed.
  QCoreApplication::processEvents();
  try {
    engine.closeAll(ip);
  } catch (const FailureError&) {
    code = 1;
  }
  return code;
}

}  // namespace exo::app

// An action of a page: while it runs the page's controls, the selector bar and "&Terminar" are
// held, and they come back however the action ends (finished, abandoned by the error handler,
// or by any other exception); the core routine's meter and status lines land on the page's own
// controls while messages reach the program's port.
#include <gtest/gtest.h>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <stdexcept>

#include "GuiTestSupport.h"
#include "expr/Failure.h"
#include "expr/Interp.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "ui/MainWindow.h"
#include "ui/PageAction.h"
#include "ui/SideBar.h"

namespace {

using namespace exo;

struct Page {
  QWidget* widget = nullptr;
  QPushButton* button = nullptr;
  QPushButton* off = nullptr;  // disabled before the action: must stay so
  QLabel* line0 = nullptr;
  QLabel* line1 = nullptr;
  QProgressBar* meter = nullptr;
  ui::PageControls controls() const { return {widget, {button, off}, {line0, line1}, meter}; }
};

class PageActions : public ::testing::Test {
 protected:
  void SetUp() override {
    window.setPageBuilder(1, 2, [this](QWidget* parent) {
      page.widget = new QWidget(parent);
      auto* layout = new QVBoxLayout(page.widget);
      page.button = new QPushButton(QStringLiteral("&Importar"), page.widget);
      page.off = new QPushButton(QStringLiteral("Otro"), page.widget);
      page.off->setEnabled(false);
      page.line0 = new QLabel(page.widget);
      page.line1 = new QLabel(page.widget);
      page.meter = new QProgressBar(page.widget);
      page.meter->setRange(0, 100);
      for (QWidget* w : std::initializer_list<QWidget*>{page.button, page.off, page.line0,
                                                        page.line1, page.meter})
        layout->addWidget(w);
      return page.widget;
    });
    window.show();
    window.sideBar()->select(1, 2);
  }

  // What the window looks like from inside the action.
  struct Seen {
    bool barVisible, terminateEnabled, buttonEnabled, offEnabled;
  };
  Seen look() const {
    return {window.sideBar()->isVisible(), window.terminateButton()->isEnabled(),
            page.button->isEnabled(), page.off->isEnabled()};
  }
  void expectRestored() const {
    EXPECT_TRUE(window.sideBar()->isVisible());
    EXPECT_TRUE(window.terminateButton()->isEnabled());
    EXPECT_TRUE(page.button->isEnabled());
    EXPECT_FALSE(page.off->isEnabled());
    EXPECT_FALSE(window.actionRunning());
  }

  struct App {
    App() { guitest::app(); }
  } app;  // before any widget
  Interp ip;
  shell::ScriptedUserInterface ui;
  shell::Session session{ip, ui, {}};
  ui::MainWindow window;
  Page page;
};

TEST_F(PageActions, HoldTheWindowAndShowProgressOnThePage) {
  Seen inside{};
  const int sideBarWidth = window.sideBar()->width();
  const QPoint pagePlace = page.widget->mapTo(&window, QPoint(0, 0));
  QPoint pageInside;
  const bool finished = ui::runPageAction(page.controls(), session, [&](shell::Session& s) {
    inside = look();
    pageInside = page.widget->mapTo(&window, QPoint(0, 0));
    s.ui().meterBegin("", 8, true);
    s.ui().meterAdvance(2);
    s.ui().status(0, "Procesando.....");
    s.ui().status(1, "Organizando archivos. Por favor espere...");
    s.ui().status(2, "sin etiqueta: se pierde");
    s.ui().message(shell::MessageKind::Stop, "Atenci\363n.....", "Alto");
    s.ui().pumpEvents();
  });
  EXPECT_TRUE(finished);
  EXPECT_FALSE(inside.barVisible);
  EXPECT_FALSE(inside.terminateEnabled);
  EXPECT_FALSE(inside.buttonEnabled);
  EXPECT_FALSE(inside.offEnabled);
  EXPECT_EQ(pageInside, pagePlace);  // the page keeps its place while the bar is away
  EXPECT_EQ(window.sideBar()->width(), sideBarWidth);
  expectRestored();
  EXPECT_EQ(page.meter->value(), 25);  // 2 of 8 on a 0..100 bar
  EXPECT_EQ(page.line0->text().toStdString(), "Procesando.....");
  EXPECT_EQ(page.line1->text().toStdString(), "Organizando archivos. Por favor espere...");
  // Progress stays on the page; messages and event pumping reach the program's port.
  EXPECT_TRUE(ui.callsOf("status").empty());
  EXPECT_TRUE(ui.callsOf("meterBegin").empty());
  ASSERT_EQ(ui.callsOf("message").size(), 1u);
  EXPECT_EQ(ui.callsOf("message")[0].text, "Alto");
  EXPECT_FALSE(ui.callsOf("pumpEvents").empty());
}

TEST_F(PageActions, ComeBackWhenTheActionIsAbandoned) {
  // Abandoned in the error handler: it has spoken already, the action ends quietly.
  EXPECT_FALSE(ui::runPageAction(page.controls(), session, [&](shell::Session&) {
    Failure f;
    f.genCode = GenCode::Open;
    f.description = "Open error";
    throw FailureError(f);
  }));
  expectRestored();
  EXPECT_TRUE(ui.callsOf("message").empty());

  // Any other exception is shown as an error.
  EXPECT_FALSE(ui::runPageAction(
      page.controls(), session, [&](shell::Session&) { throw std::runtime_error("disco lleno"); }));
  expectRestored();
  ASSERT_EQ(ui.callsOf("message").size(), 1u);
  EXPECT_EQ(ui.callsOf("message")[0].kind, shell::MessageKind::Error);
  EXPECT_NE(ui.callsOf("message")[0].text.find("disco lleno"), std::string::npos);

  // Nested actions: the window comes back only when the outer one ends.
  ui::runPageAction(page.controls(), session, [&](shell::Session& s) {
    ui::runPageAction(page.controls(), s, [](shell::Session&) {});
    EXPECT_FALSE(window.sideBar()->isVisible());
    EXPECT_FALSE(window.terminateButton()->isEnabled());
    EXPECT_FALSE(page.button->isEnabled());
  });
  expectRestored();
}

}  // namespace

// The error handler's windows: the dialog answers with the button pressed and lists the calls;
// the log browser lists the log newest first, stands on today's entry and shows its report.
#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <ctime>
#include <filesystem>

#include "GuiTestSupport.h"
#include "expr/Failure.h"
#include "expr/Interp.h"
#include "shell/ErrorLog.h"
#include "shell/ErrorReport.h"
#include "store/Engine.h"
#include "ui/ArrayModel.h"
#include "ui/BrowseGrid.h"
#include "ui/ErrorWindows.h"
#include "ui/Text.h"

namespace {

TEST(ErrorWindows, DialogListsTheCallsAndAnswersWithTheButtonPressed) {
  guitest::app();
  exo::ui::ErrorDialog dialog(nullptr, "Error DBFCDX/1021  Open error: X.DBF",
                              {"   Llamado por IMPORTACONTAB(120)", "   Llamado por INICIO(12)"},
                              {"&Reintentar", "&Omitir", "&Imprimir", "&Mas...", "&Salir"});
  EXPECT_EQ(dialog.windowTitle().toStdString(), "LISTA DE ERRORES PRODUCIDOS POR EL PROGAMA");
  ASSERT_EQ(dialog.callList()->count(), 2);
  EXPECT_EQ(dialog.callList()->item(1)->text().toStdString(), "   Llamado por INICIO(12)");
  dialog.show();
  guitest::picture(dialog, "error-dialogo");
  const auto buttons = dialog.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 5);
  EXPECT_TRUE(buttons.back()->isDefault());  // "&Salir"
  buttons[1]->click();
  EXPECT_EQ(dialog.chosen(), 1);
}

TEST(ErrorWindows, LogBrowserShowsTheNewestFirstAndTodaysReport) {
  guitest::app();
  const auto dir = std::filesystem::temp_directory_path() / "exo-gui-errorlog";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "Error");
  exo::Interp ip;
  exo::store::Engine engine(ip);
  const std::time_t now = std::time(nullptr);
  exo::shell::appendErrorLog(engine, dir / "Error", now - 5 * 86400, "Error viejo",
                             "informe viejo");
  exo::shell::appendErrorLog(engine, dir / "Error", now, "Error de hoy", "informe\r\nde hoy");
  exo::shell::appendErrorLog(engine, dir / "Error", now - 86400, "Error de ayer",
                             "informe de ayer");

  exo::ui::ErrorLogBrowser browser(nullptr, engine, dir / "Error");
  browser.show();
  guitest::picture(browser, "error-registro");
  auto* model = browser.grid()->model();
  ASSERT_EQ(model->rowCount(), 3);
  EXPECT_EQ(model->data(model->index(0, 2)).toString().toStdString(), "Error de hoy");
  EXPECT_EQ(model->data(model->index(2, 2)).toString().toStdString(), "Error viejo");
  EXPECT_EQ(browser.grid()->currentRowNumber(), 0);
  EXPECT_EQ(browser.report()->toPlainText().toStdString(), "informe\nde hoy");
  browser.grid()->setCurrentIndex(model->index(1, 0));
  EXPECT_EQ(browser.report()->toPlainText().toStdString(), "informe de ayer");
  engine.closeAll(ip);
  std::filesystem::remove_all(dir);
}

// The language's failures reach the user in Spanish, with their codes: in the error dialog's
// name of the error and in the error log's message column, which shows the whole message.
TEST(ErrorWindows, FailuresOfTheLanguageReadInSpanishWithTheirCodes) {
  guitest::app();
  struct Case {
    const char* expression;
    const char* message;  // the start of the one-line message (Windows-1252)
  };
  const Case cases[] = {
      {"NOEXISTE", "Error BASE/1003  La variable no existe: NOEXISTE"},
      {"SubStr(1, 2)", "Error BASE/1099  Error de argumento: SUBSTR"},
      {"Left(\"a\")", "Error BASE/"},
      {"NoHayTal()", "Error BASE/1001  Funci\363n no definida: NOHAYTAL"},
      {"{1, 2}[3]", "Error BASE/1132  Fuera de rango: acceso a un arreglo"},
      {"SubStr(\"abc\", 2", "Error BASE/"},
  };
  const char* const english[] = {"does not exist", "Argument error", "Undefined",
                                 "Bound error",    "Syntax error",   "Expected",
                                 "found",          "wrong number",   "(column "};
  const auto dir = std::filesystem::temp_directory_path() / "exo-gui-spanish";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "Error");
  exo::Interp ip;
  exo::store::Engine engine(ip);
  std::vector<std::string> messages;
  for (const Case& c : cases) {
    std::string message;
    try {
      ip.evalText(c.expression);
      ADD_FAILURE() << "no failure for " << c.expression;
    } catch (const exo::FailureError& e) {
      message = exo::shell::ERRORMESSAGE(e.failure());
    }
    EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
    for (const char* word : english) EXPECT_EQ(message.find(word), std::string::npos) << message;
    messages.push_back(message);

    exo::ui::ErrorDialog dialog(nullptr, message, {"   Llamado por EVALUA(1)"}, {"&Salir"});
    bool shown = false;
    for (QLabel* l : dialog.findChildren<QLabel*>())
      shown = shown || l->text() == QStringLiteral("Nombre del error: ") + exo::ui::qt(message);
    EXPECT_TRUE(shown) << message;
    exo::shell::appendErrorLog(engine, dir / "Error", std::time(nullptr), message, "informe");
  }
  exo::ui::ErrorLogBrowser browser(nullptr, engine, dir / "Error");
  browser.show();
  guitest::picture(browser, "error-registro-espanol");
  auto* grid = browser.grid();
  auto* model = grid->model();
  ASSERT_EQ(model->rowCount(), static_cast<int>(messages.size()));
  const QFontMetrics metrics(grid->font());
  for (int r = 0; r < model->rowCount(); ++r) {
    const QString text = model->data(model->index(r, 2)).toString();
    // The message column holds the whole message, however long.
    EXPECT_GE(grid->columnWidth(2), metrics.horizontalAdvance(text)) << text.toStdString();
  }
  engine.closeAll(ip);
  std::filesystem::remove_all(dir);
}

}  // namespace

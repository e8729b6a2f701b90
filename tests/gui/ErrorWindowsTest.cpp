// The error handler's windows: the dialog answers with the button pressed and lists the calls;
// the log browser lists the log newest first, stands on today's entry and shows its report.
#include <gtest/gtest.h>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <ctime>
#include <filesystem>

#include "GuiTestSupport.h"
#include "expr/Interp.h"
#include "shell/ErrorLog.h"
#include "store/Engine.h"
#include "ui/ArrayModel.h"
#include "ui/BrowseGrid.h"
#include "ui/ErrorWindows.h"

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

}  // namespace

// The import pages and the parameters page on a demo company, pressed as a user presses them:
// the chart and the year's movements land in the company folder, the fixes and the third-party
// refresh finish, the validation lists the faulty third parties, the consecutive number is saved
// and the maintenance gives the assignments their natures; a stop message gives the window back.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "GuiTestSupport.h"
#include "app/Pages.h"
#include "demo/Demo.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "import/ImportRun.h"
#include "import/pages/ChartImportPage.h"
#include "import/pages/ErrorListDialog.h"
#include "import/pages/MovementImportPage.h"
#include "masterdata/pages/ParametersPage.h"
#include "shell/Company.h"
#include "shell/MemFile.h"
#include "shell/Runtime.h"
#include "shell/ScriptedUserInterface.h"
#include "store/Engine.h"
#include "store/RefTables.h"
#include "ui/BrowseGrid.h"
#include "ui/MainWindow.h"
#include "ui/SideBar.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;
using guitest::picture;

class ImportScreens : public ::testing::Test {
 protected:
  void SetUp() override {
    guitest::app();
    root = fs::temp_directory_path() / ("exo-gui-import-" + std::to_string(::getpid()));
    fs::remove_all(root);
    demo::DemoOptions o;
    o.folder = root.string();
    o.lines = 1500;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    const auto inst = demo::installDemo(o);
    folders.program = inst.programFolder;
    folders.drive = inst.driveFolder;
    ledger = folders.drive / "NRVVS" / "ANDINA10";
    work = folders.program / "NRVVS" / "ANDINA10";
    ASSERT_TRUE(runtime.openSession(ui, folders));
    store::openReferenceTables(engine(), folders.program.string() + "/");
    // The company of the last session, applied as at start-up.
    shell::Session& s = runtime.session();
    for (const auto& e : shell::CARGAVRCTL(s, engine(), 1)) {
      if (trimBlanks(e.camino) == "ANDINA10\\") {
        ASSERT_TRUE(shell::chooseCompany(s, engine(), e, {}));
      }
    }
    window = std::make_unique<ui::MainWindow>();
    app::registerPages(*window, s, engine());
    window->resize(1100, 720);
    window->show();
  }
  void TearDown() override {
    window.reset();
    engine().closeAll(runtime.interp());
    fs::remove_all(root);
  }

  store::Engine& engine() { return runtime.engine(); }
  // Live records of a table of the company folder.
  std::int64_t records(const std::string& file) {
    const int area = engine().open((work / file).string(), {}, true, true);
    EXPECT_NE(area, 0) << file;
    if (area == 0) return -1;
    std::int64_t n = 0;
    engine().forEach(area, [&] {
      ++n;
      return true;
    });
    engine().close(runtime.interp(), area);
    return n;
  }
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& c : ui.callsOf("message")) out.push_back(c.text);
    return out;
  }
  void expectWindowBack(const std::vector<QPushButton*>& buttons) {
    EXPECT_TRUE(window->sideBar()->isVisible());
    EXPECT_TRUE(window->terminateButton()->isEnabled());
    for (QPushButton* b : buttons) EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
  }

  fs::path root, ledger, work;
  shell::Folders folders;
  shell::ScriptedUserInterface ui;
  shell::Runtime runtime;
  std::unique_ptr<ui::MainWindow> window;
};

TEST_F(ImportScreens, ChartPageImportsTheLedgerChart) {
  window->sideBar()->select(1, 8);
  auto* page = qobject_cast<import::ChartImportPage*>(window->page(1, 8));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(records("VRMAEEXO.DBF"), 0);
  page->importButton()->click();
  EXPECT_GT(records("VRMAEEXO.DBF"), 50);
  // The run ends with the count of the accounts copied.
  const std::string status = page->statusLine()->text().toStdString();
  EXPECT_EQ(status.rfind("Proceso terminado.....  Cuentas copiadas: " +
                             import::withThousands(records("VRMAEEXO.DBF")) + " de ",
                         0),
            0u)
      << status;
  EXPECT_EQ(page->meter()->value(), page->meter()->maximum());
  EXPECT_FALSE(page->meter()->isTextVisible());
  expectWindowBack({page->importButton()});
  picture(*window, "importar-puc");
}

TEST_F(ImportScreens, MovementPageRunsTheStepsInOrder) {
  window->sideBar()->select(1, 9);
  auto* page = qobject_cast<import::MovementImportPage*>(window->page(1, 9));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->yearLabel()->text().toStdString(), "A\xC3\xB1o:  2010");
  EXPECT_EQ(page->button(6)->text().toStdString(), "Validar Estructura\nFichas de Terceros");
  std::vector<QPushButton*> all;
  for (int n = 1; n <= 6; ++n) all.push_back(page->button(n));

  page->button(1)->click();
  EXPECT_TRUE(fs::exists(work / "vrTraCon.99"));
  EXPECT_GT(records("vrTraCon.99"), 500);
  const std::string processed = page->statusLine(0)->text().toStdString();
  EXPECT_EQ(processed.rfind("Procesados  ", 0), 0u);
  // The lines read (the count of the first line) and the lines kept in the year's table.
  const std::string read = processed.substr(12, processed.find("  registros") - 12);
  EXPECT_EQ(page->statusLine(1)->text().toStdString(),
            "Proceso terminado....  L\xC3\xADneas le\xC3\xAD"
            "das: " +
                read + "  conservadas: " + import::withThousands(records("vrTraCon.99")));
  EXPECT_EQ(page->statusLine(2)->text().toStdString().rfind("Tiempo:  ", 0), 0u);
  EXPECT_EQ(page->meter()->value(), page->meter()->maximum());
  EXPECT_TRUE(page->meter()->isTextVisible());
  expectWindowBack(all);
  picture(*window, "importar-movimientos");

  for (int n : {2, 3, 5}) {
    page->statusLine(0)->clear();
    page->button(n)->click();
    const std::string line = page->statusLine(0)->text().toStdString();
    EXPECT_EQ(line.rfind("Proceso terminado.", 0), 0u) << n;
    // Each fix says how many lines it looked at and how many it gave another third party.
    if (n != 5) {
      EXPECT_NE(line.find("  cambiadas de tercero: "), std::string::npos) << line;
    }
    expectWindowBack(all);
  }
  EXPECT_TRUE(messages().empty());
  // The integration builds the twelve format tables, with the page's lines and meter.
  page->statusLine(0)->clear();
  page->button(4)->click();
  EXPECT_TRUE(messages().empty());
  for (int n = 1; n <= 12; ++n) {
    EXPECT_TRUE(fs::exists(work / ("TrF" + std::to_string(1000 + n) + ".dbf"))) << n;
  }
  EXPECT_GT(records("TrF1001.dbf"), 0);
  EXPECT_EQ(page->statusLine(0)->text().toStdString().rfind("Procesados  ", 0), 0u);
  EXPECT_EQ(page->statusLine(1)->text().toStdString(), "Proceso terminado....");
  EXPECT_EQ(page->statusLine(2)->text().toStdString().rfind("Tiempo:  ", 0), 0u);
  EXPECT_EQ(page->meter()->value(), page->meter()->maximum());
  expectWindowBack(all);
  picture(*window, "integrar-movimientos");

  // The validation opens the error list over the faulty third parties.
  QString total, errors, code;
  int rows = -1;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<import::ErrorListDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    EXPECT_FALSE(window->sideBar()->isVisible());  // still inside the action
    EXPECT_EQ(dialog->windowTitle().toStdString(),
              "Listado de errores en la definici\xC3\xB3n de Fichas de Terceros");
    total = dialog->total()->text();
    rows = dialog->grid()->model()->rowCount();
    code = dialog->code();
    errors = dialog->errors();
    dialog->grid()->setCurrentIndex(dialog->grid()->model()->index(rows - 1, 0));
    picture(*dialog, "errores-terceros");
    dialog->findChild<QPushButton*>()->click();  // "&Salir"
  });
  page->button(6)->click();
  EXPECT_GT(rows, 0);
  EXPECT_EQ(total, QString::number(rows));
  EXPECT_FALSE(code.isEmpty());
  EXPECT_TRUE(errors.startsWith(QStringLiteral("Error "))) << errors.toStdString();
  EXPECT_EQ(records("ErrFDir.dbf"), rows);
  expectWindowBack(all);
}

TEST_F(ImportScreens, MovementImportStopsOnItsMessageAndGivesTheWindowBack) {
  for (const auto& e : fs::directory_iterator(ledger)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("VRTRACON.", 0) == 0 || name.rfind("vrtracon.", 0) == 0) fs::remove(e.path());
  }
  window->sideBar()->select(1, 9);
  auto* page = qobject_cast<import::MovementImportPage*>(window->page(1, 9));
  ASSERT_NE(page, nullptr);
  page->button(1)->click();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "Por favor verifique los per\355odos en su programa Norvasta.");
  EXPECT_FALSE(fs::exists(work / "vrTraCon.99"));
  std::vector<QPushButton*> all;
  for (int n = 1; n <= 6; ++n) all.push_back(page->button(n));
  expectWindowBack(all);
}

TEST_F(ImportScreens, ParametersPageSavesTheNumberAndMaintainsTheTables) {
  window->sideBar()->select(1, 10);
  auto* page = qobject_cast<masterdata::ParametersPage*>(window->page(1, 10));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->consecutive()->text().toStdString(), "1");
  // Typed: the running program's number at once; "Grabar" keeps it in "Consecut.mem".
  page->consecutive()->setText(QStringLiteral("27"));
  emit page->consecutive()->textEdited(QStringLiteral("27"));
  EXPECT_EQ(runtime.session().consecut(), "27 ");
  page->saveButton()->click();
  const auto saved = shell::readMemFile(work / "Consecut.mem");
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].name, "CCONSECUT");
  EXPECT_EQ(std::string(saved[0].value.textView()), "27 ");
  // Zero is no submission number: refused, the file keeps its number.
  page->consecutive()->setText(QStringLiteral("0"));
  emit page->consecutive()->textEdited(QStringLiteral("0"));
  page->saveButton()->click();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(std::string(shell::readMemFile(work / "Consecut.mem")[0].value.textView()), "27 ");

  // An assignment without its nature gets its concept's; the chart is imported again.
  {
    const int area = engine().open((work / "CodCont.dbf").string(), "CODICONT");
    ASSERT_NE(area, 0);
    engine().goTop(runtime.interp(), area);
    engine().put(area, "NATURALEZ", Value::text(" "));
    engine().close(runtime.interp(), area);
  }
  page->maintenanceButton()->click();
  EXPECT_EQ(page->statusLine()->text().toStdString(), "Proceso terminado.....");
  EXPECT_EQ(page->meter()->value(), 100);
  EXPECT_GT(records("VRMAEEXO.DBF"), 50);
  {
    const int area = engine().open((work / "CodCont.dbf").string(), "CODICONT", true, true);
    engine().goTop(runtime.interp(), area);
    EXPECT_NE(engine().text(area, "NATURALEZ"), " ");
    engine().close(runtime.interp(), area);
  }
  expectWindowBack({page->saveButton(), page->maintenanceButton()});
  picture(*window, "parametrizacion");
}

}  // namespace

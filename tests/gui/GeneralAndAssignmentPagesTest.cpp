// The pages of the groups "General" and "Asignación Contable" on a demo company, as a user
// reaches them from the side bar: every page is there, the grids and filters show what the
// tables hold, a page keeps its place between visits, the assignment dialog and the account
// picker open from a concept, and the copy of the assignments offers the companies.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "GuiTestSupport.h"
#include "app/Pages.h"
#include "assignment/pages/AssignmentDialog.h"
#include "assignment/pages/FormatPage.h"
#include "demo/Demo.h"
#include "expr/Text.h"
#include "import/pages/ChartImportPage.h"
#include "masterdata/pages/CopySourceDialog.h"
#include "masterdata/pages/ReferencePages.h"
#include "shell/Company.h"
#include "shell/Runtime.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/pages/CompanyPages.h"
#include "store/Engine.h"
#include "store/RefTables.h"
#include "ui/BrowseGrid.h"
#include "ui/MainWindow.h"
#include "ui/SideBar.h"
#include "ui/WorkAreaModel.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;
using guitest::picture;

class PageScreens : public ::testing::Test {
 protected:
  void SetUp() override {
    guitest::app();
    root = fs::temp_directory_path() / ("exo-gui-general-" + std::to_string(::getpid()));
    fs::remove_all(root);
    demo::DemoOptions o;
    o.folder = root.string();
    o.lines = 300;
    o.companies = 2;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    const auto inst = demo::installDemo(o);
    folders.program = inst.programFolder;
    folders.drive = inst.driveFolder;
    ASSERT_TRUE(runtime.openSession(ui, folders));
    store::openReferenceTables(engine(), folders.program.string() + "/");
    shell::Session& s = runtime.session();
    for (const auto& e : shell::CARGAVRCTL(s, engine(), 1))
      if (trimBlanks(e.camino) == "ANDINA10\\") {
        ASSERT_TRUE(shell::chooseCompany(s, engine(), e, {}));
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
  template <class Page>
  Page* open(int group, int n) {
    window->sideBar()->select(group, n);
    QApplication::processEvents();
    return qobject_cast<Page*>(window->page(group, n));
  }
  static std::string cell(const QAbstractItemModel* m, int row, int column) {
    return m->index(row, column).data().toString().toStdString();
  }

  fs::path root;
  shell::Folders folders;
  shell::ScriptedUserInterface ui;
  shell::Runtime runtime;
  std::unique_ptr<ui::MainWindow> window;
};

TEST_F(PageScreens, EveryPageOfTheTwoGroupsIsReachableFromTheSideBar) {
  const char* names[] = {"formatos",      "conceptos",  "tipo-documentos",
                         "departamentos", "municipios", "paises"};
  EXPECT_NE(open<masterdata::FormatsPage>(1, 1), nullptr);
  EXPECT_NE(open<masterdata::ConceptsPage>(1, 2), nullptr);
  EXPECT_NE(open<masterdata::DocumentTypesPage>(1, 3), nullptr);
  EXPECT_NE(open<masterdata::DepartmentsPage>(1, 4), nullptr);
  EXPECT_NE(open<masterdata::MunicipalitiesPage>(1, 5), nullptr);
  EXPECT_NE(open<masterdata::CountriesPage>(1, 6), nullptr);
  for (int n = 1; n <= 6; ++n) {
    window->sideBar()->select(1, n);
    QApplication::processEvents();
    picture(*window, (std::string("general-") + names[n - 1]).c_str());
  }
  EXPECT_NE(open<shell::CompanyPage>(1, 7), nullptr);
  EXPECT_NE(open<import::ChartImportPage>(1, 8), nullptr);
  EXPECT_NE(open<QWidget>(1, 9), nullptr);
  EXPECT_NE(open<QWidget>(1, 10), nullptr);
  for (int n = 1; n <= 12; ++n) {
    auto* page = open<assignment::FormatPage>(2, n);
    ASSERT_NE(page, nullptr) << n;
    EXPECT_EQ(page->assignmentButton()->isVisible(), n != 4 && n != 10 && n != 11) << n;
    EXPECT_FALSE(page->title()->text().isEmpty()) << n;
    // Every row of the page is a concept of its format.
    for (int r = 0; r < page->model()->rowCount(); ++r) {
      page->model()->moveTo(r);
      EXPECT_EQ(engine().text(page->model()->area(), "FORMATO"), page->formatCode());
    }
  }
  picture(*window, "asignacion-formato-1012");
  // Built once each: showing them again builds nothing.
  const int builds = window->buildCount();
  window->sideBar()->select(1, 2);
  window->sideBar()->select(2, 3);
  EXPECT_EQ(window->buildCount(), builds);
}

TEST_F(PageScreens, GridsShowTheColumnsAndFiltersCountTheRange) {
  auto* formats = open<masterdata::FormatsPage>(1, 1);
  ASSERT_NE(formats, nullptr);
  EXPECT_EQ(formats->rowCount(), 12);
  EXPECT_EQ(cell(formats->model(), 0, 0), "1001");
  EXPECT_FALSE(formats->detail()->text().isEmpty());

  auto* concepts = open<masterdata::ConceptsPage>(1, 2);
  ASSERT_NE(concepts, nullptr);
  const QAbstractItemModel* m = concepts->model();
  EXPECT_EQ(m->headerData(3, Qt::Horizontal).toString().toStdString(), "Base");
  EXPECT_EQ(m->headerData(4, Qt::Horizontal).toString().toStdString(), "Nat.");
  EXPECT_EQ(m->index(0, 4).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignCenter);
  const int all = concepts->rowCount();
  concepts->filter()->setCurrentIndex(7);
  emit concepts->filter()->activated(7);  // "Formato 1007   (Anexo 06)"
  EXPECT_EQ(concepts->filter()->currentText().toStdString(), "Formato 1007   (Anexo 06)");
  ASSERT_GT(concepts->rowCount(), 0);
  EXPECT_LT(concepts->rowCount(), all);
  for (int r = 0; r < concepts->rowCount(); ++r) EXPECT_EQ(cell(m, r, 2), "1007");
  EXPECT_TRUE(concepts->base()->text().startsWith(QStringLiteral("Base:")));
  picture(*window, "general-conceptos-1007");
  concepts->filter()->setCurrentIndex(0);
  emit concepts->filter()->activated(0);
  EXPECT_EQ(concepts->rowCount(), all);
  // A base with its picture, right-aligned: the concept of format 1001 whose base is 100,000.
  bool sawBase = false;
  for (int r = 0; r < concepts->rowCount() && !sawBase; ++r) {
    const std::string base = cell(m, r, 3);
    if (base.find(',') != std::string::npos) {
      sawBase = true;
      EXPECT_EQ(base.size(), 11u) << base;  // "###,###,###"
    }
  }
  EXPECT_TRUE(sawBase);

  // Municipalities of one department; the choice survives a visit elsewhere.
  auto* towns = open<masterdata::MunicipalitiesPage>(1, 5);
  ASSERT_NE(towns, nullptr);
  const int index = towns->filter()->findText(QStringLiteral("ANTIOQUIA"));
  ASSERT_GT(index, 0);
  towns->filter()->setCurrentIndex(index);
  emit towns->filter()->activated(index);
  const int antioquia = towns->rowCount();
  EXPECT_GT(antioquia, 50);
  for (int r = 0; r < antioquia; r += 17)
    EXPECT_EQ(QString::fromStdString(cell(towns->model(), r, 2)).trimmed().toStdString(),
              "ANTIOQUIA");
  towns->grid()->setCurrentIndex(towns->model()->index(40, 0));
  open<masterdata::CountriesPage>(1, 6);
  open<masterdata::MunicipalitiesPage>(1, 5);
  EXPECT_EQ(towns->rowCount(), antioquia);
  EXPECT_EQ(towns->grid()->currentRowNumber(), 40);
  EXPECT_EQ(towns->filter()->currentIndex(), index);
  picture(*window, "general-municipios-antioquia");
}

TEST_F(PageScreens, AFormatPageKeepsItsConceptAndOpensTheAssignmentDialog) {
  auto* page3 = open<assignment::FormatPage>(2, 3);
  ASSERT_NE(page3, nullptr);
  ASSERT_GE(page3->model()->rowCount(), 5);
  page3->grid()->setCurrentIndex(page3->model()->index(4, 0));
  const QString fifth = page3->detail()->text();
  open<assignment::FormatPage>(2, 7);
  open<assignment::FormatPage>(2, 3);
  EXPECT_EQ(page3->grid()->currentRowNumber(), 4);
  EXPECT_EQ(page3->detail()->text(), fifth);

  // Page 10 has no button, yet Enter on its concept opens the dialog; inside it "&Incluir"
  // opens the picker, which is cancelled.
  auto* page10 = open<assignment::FormatPage>(2, 10);
  ASSERT_NE(page10, nullptr);
  EXPECT_FALSE(page10->assignmentButton()->isVisible());
  std::string title, pickerTitle;
  int assigned = -1, accounts = -1;
  bool pageDisabled = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<assignment::AssignmentDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    title = dialog->windowTitle().toStdString();
    // 1010 has no DIAN concept: the heading shows the format's own description instead of the
    // technical note of the reference data.
    for (QLabel* l : dialog->findChildren<QLabel*>())
      EXPECT_EQ(l->text().indexOf(QStringLiteral("registro t")), -1) << l->text().toStdString();
    assigned = dialog->model()->rowCount();
    pageDisabled = !page10->isEnabled();
    picture(*dialog, "asignacion-dialogo");
    QTimer::singleShot(0, [&] {
      auto* picker = qobject_cast<assignment::PickerDialog*>(QApplication::activeModalWidget());
      if (picker == nullptr) return;
      pickerTitle = picker->windowTitle().toStdString();
      accounts = picker->model()->rowCount();
      picker->grid()->setCurrentIndex(picker->model()->index(3, 0));
      emit picker->grid()->rowActivated(3);  // CAJA GENERAL: marked
      picture(*picker, "asignacion-cuentas");
      picker->cancelButton()->click();
    });
    dialog->button(assignment::Mode::Add)->click();
    dialog->closeButton()->click();
  });
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(page10->grid(), &enter);
  EXPECT_EQ(title,
            "C\xC3\xB3"
            "digos contables asociados al concepto");
  EXPECT_EQ(pickerTitle, "Seleccione Cuenta");
  EXPECT_GE(assigned, 1);
  EXPECT_GT(accounts, 50);
  EXPECT_TRUE(pageDisabled);
  EXPECT_TRUE(page10->isEnabled());
  EXPECT_EQ(engine().areaOf("CodiCont"), 0);  // closed with the dialog
}

TEST_F(PageScreens, TheCopyFromAnotherCompanyOffersTheCompanies) {
  auto* chart = open<import::ChartImportPage>(1, 8);
  ASSERT_NE(chart, nullptr);
  int rows = -1;
  std::string heading;
  std::vector<std::string> folders, years;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<masterdata::CopySourceDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    const auto* model = dialog->chooser()->list()->model();
    rows = model->rowCount();
    for (int r = 0; r < rows; ++r) {
      years.push_back(
          model->data(model->index(r, 1), Qt::DisplayRole).toString().trimmed().toStdString());
      folders.push_back(model->data(model->index(r, 2)).toString().trimmed().toStdString());
    }
    heading = dialog->windowTitle().toStdString();
    picture(*dialog, "copiar-asignaciones");
    dialog->reject();
  });
  chart->fromCompanyButton()->click();
  EXPECT_EQ(heading,
            "Importar C\xC3\xB3"
            "digos Contables asignados a Conceptos");
  // Every company of the product but the current one, each with its year.
  EXPECT_EQ(rows, 1);
  for (std::size_t i = 0; i < folders.size(); ++i) {
    EXPECT_NE(folders[i], "ANDINA10\\") << i;
    EXPECT_EQ(years[i].size(), 4u) << years[i];
  }
  EXPECT_TRUE(window->sideBar()->isVisible());
  EXPECT_TRUE(chart->fromCompanyButton()->isEnabled());
}

// "Seleccione Cuenta": a search made of digits finds the code written with its dots; a search
// that finds nothing says so.
TEST_F(PageScreens, AccountSearchByDigitsFindsTheDottedCode) {
  auto* page = open<assignment::FormatPage>(2, 1);
  ASSERT_NE(page, nullptr);
  std::string dotted, digits, foundCode, notFound;
  int messagesBefore = -1, messagesAfter = -1;
  auto search = [](assignment::PickerDialog* picker, const QString& text) {
    QTimer::singleShot(0, [text] {
      auto* box = qobject_cast<assignment::SearchDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      box->field()->setText(text);
      box->accept();
    });
    picker->searchButton()->click();
  };
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<assignment::AssignmentDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    QTimer::singleShot(0, [&] {
      auto* picker = qobject_cast<assignment::PickerDialog*>(QApplication::activeModalWidget());
      if (picker == nullptr) return;
      const auto* model = picker->model();
      // The last account whose code has dots, searched for by its digits alone.
      for (int r = model->rowCount() - 1; r >= 0 && dotted.empty(); --r) {
        const QString code = model->data(model->index(r, 1), Qt::DisplayRole).toString().trimmed();
        if (code.count(QLatin1Char('.')) >= 2 && !code.endsWith(QLatin1Char('.')))
          dotted = code.toStdString();
      }
      if (dotted.empty()) return picker->cancelButton()->click();
      digits = QString::fromStdString(dotted).remove(QLatin1Char('.')).toStdString();
      messagesBefore = static_cast<int>(ui.callsOf("message").size());
      search(picker, QString::fromStdString(digits));
      const int row = picker->grid()->currentRowNumber();
      foundCode =
          model->data(model->index(row, 1), Qt::DisplayRole).toString().trimmed().toStdString();
      picture(*picker, "seleccione-cuenta-digitos");
      search(picker, QStringLiteral("99999999999"));
      messagesAfter = static_cast<int>(ui.callsOf("message").size());
      if (messagesAfter > 0) notFound = ui.callsOf("message").back().text;
      picker->cancelButton()->click();
    });
    dialog->button(assignment::Mode::Add)->click();
    dialog->closeButton()->click();
  });
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(page->grid(), &enter);
  ASSERT_FALSE(dotted.empty());
  // The first account whose code holds those digits: the one searched for, or one before it
  // whose digits contain them.
  EXPECT_NE(QString::fromStdString(foundCode)
                .remove(QLatin1Char('.'))
                .indexOf(QString::fromStdString(digits)),
            -1)
      << foundCode << " for " << digits;
  EXPECT_EQ(messagesAfter, messagesBefore + 1);
  EXPECT_EQ(notFound, "Ninguna cuenta tiene en su c\363digo \"99999999999\".");
}

}  // namespace

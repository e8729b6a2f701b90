// The pages of the group "Medios Magnéticos" on a demo company, pressed as a user presses them:
// after the import and the integration, the generation page writes the format's workbook and its
// XML file (the header dialog answered), converts the workbook into the XML file, runs the
// control report into a workbook and opens the review dialogs; a cancelled header writes
// nothing; the format choice drives the review button and the concept; the header dialog keeps
// its values honest; the analysis page stands with its choices.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "GuiTestSupport.h"
#include "app/Pages.h"
#include "consolidation/ControlReport.h"
#include "consolidation/pages/WithholdingBasesDialog.h"
#include "demo/Demo.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "generation/Audit.h"
#include "generation/Generation.h"
#include "generation/XmlWriter.h"
#include "generation/pages/AllFormatsDialogs.h"
#include "generation/pages/ConceptPicker.h"
#include "generation/pages/ControlsPage.h"
#include "generation/pages/GenerationPage.h"
#include "generation/pages/HeaderDialog.h"
#include "import/pages/MovementImportPage.h"
#include "masterdata/ThirdParty.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "reports/XlsxFile.h"
#include "shell/Company.h"
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

template <class D>
D* modal() {
  return qobject_cast<D*>(QApplication::activeModalWidget());
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The XML files of a folder.
std::vector<fs::path> xmlFiles(const fs::path& folder) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec))
    if (e.path().extension() == ".xml") out.push_back(e.path());
  return out;
}

class GenerationScreens : public ::testing::Test {
 protected:
  void SetUp() override {
    guitest::app();
    root = fs::temp_directory_path() / ("exo-gui-generation-" + std::to_string(::getpid()));
    fs::remove_all(root);
    demo::DemoOptions o;
    o.folder = root.string();
    o.lines = 1200;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    const auto inst = demo::installDemo(o);
    folders.program = inst.programFolder;
    folders.drive = inst.driveFolder;
    work = folders.program / "NRVVS" / "ANDINA10";
    output = work / "SALIDA";
    Interp& ip = runtime.interp();
    masterdata::registerThirdPartyClasses(ip);
    reports::registerWorkbookFunctions(ip, &ui, folders);
    ASSERT_TRUE(runtime.openSession(ui, folders));
    shell::Session& s = runtime.session();
    generation::registerXmlFunctions(ip, s);
    runner = std::make_unique<reports::Runner>(ip, ui, folders.program);
    // A program folder without the XML definitions gets the plain one: the file written
    // straight from the format's records.
    for (int n = 1; n <= 12; ++n) {
      const fs::path def = folders.program / "FORMS" / generation::xmlDefinition(n);
      if (!fs::exists(def)) std::ofstream(def) << "GENERAXML(OIMPRE:nFormat)\r\n";
    }
    store::openReferenceTables(engine(), folders.program.string() + "/");
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
    runner.reset();
    engine().closeAll(runtime.interp());
    fs::remove_all(root);
  }

  store::Engine& engine() { return runtime.engine(); }
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& c : ui.callsOf("message")) out.push_back(c.text);
    return out;
  }
  // The year's movements imported and integrated through the import page.
  void importAndIntegrate() {
    window->sideBar()->select(1, 9);
    auto* imports = qobject_cast<import::MovementImportPage*>(window->page(1, 9));
    ASSERT_NE(imports, nullptr);
    imports->button(1)->click();
    imports->button(4)->click();
    ASSERT_TRUE(fs::exists(work / "TrF1001.dbf"));
    ui.clear();
  }
  generation::GenerationPage* generationPage() {
    window->sideBar()->openGroup(3);
    window->sideBar()->select(3, 1);
    return qobject_cast<generation::GenerationPage*>(window->page(3, 1));
  }
  void expectWindowBack(generation::GenerationPage* page) {
    EXPECT_TRUE(window->sideBar()->isVisible());
    EXPECT_TRUE(window->terminateButton()->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{page->excelButton(), page->xmlButton(),
                                                      page->convertButton(), page->processButton(),
                                                      page->reviewButton(), page->formatChoice(1)})
      EXPECT_TRUE(w->isEnabled());
  }
  // Answers the next header dialog: `edit` changes it, then "&Continuar" or "Ca&ncelar".
  void answerHeader(std::function<void(generation::HeaderDialog&)> edit, bool accept,
                    QString* fileName = nullptr) {
    QTimer::singleShot(0, [this, edit, accept, fileName] {
      auto* d = modal<generation::HeaderDialog>();
      ASSERT_NE(d, nullptr);
      EXPECT_FALSE(window->sideBar()->isVisible());  // inside the action
      if (edit) edit(*d);
      if (fileName != nullptr) *fileName = d->fileName()->text();
      picture(*d, "encabezado-xml");
      (accept ? d->continueButton() : d->cancelButton())->click();
    });
  }

  fs::path root, work, output;
  shell::Folders folders;
  shell::ScriptedUserInterface ui;
  shell::Runtime runtime;
  std::unique_ptr<reports::Runner> runner;
  std::unique_ptr<ui::MainWindow> window;
};

TEST_F(GenerationScreens, WorkbookXmlConversionAndControlReportAreWritten) {
  importAndIntegrate();
  generation::GenerationPage* page = generationPage();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->yearLabel()->text().toStdString(), "A\xC3\xB1o:  2010");
  EXPECT_EQ(page->formatNumber(), 1);
  EXPECT_TRUE(page->formatChoice(1)->isChecked());
  EXPECT_EQ(page->conceptField()->text(), QStringLiteral("Todos..."));
  EXPECT_TRUE(page->outputChoice(1)->isChecked());
  EXPECT_TRUE(page->thirdParty()->text().isEmpty());
  EXPECT_FALSE(page->regularizationButton()->isVisible());

  // The workbook of 1001: the title rows, then one row per record from row 5.
  page->excelButton()->click();
  const fs::path book = generation::workbookPath(runtime.session(), 1);
  ASSERT_TRUE(fs::exists(book)) << book;
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(page->statusLine()->text().startsWith(QStringLiteral("Proceso terminado")));
  const auto read = reports::openXlsx(book);
  ASSERT_TRUE(read.book.has_value()) << read.error;
  const int rows = read.book->sheets().front().lastRow() - 4;
  EXPECT_GT(rows, 0);
  EXPECT_TRUE(
      page->statusLine()->text().contains(QStringLiteral("Registros: ") + QString::number(rows)))
      << page->statusLine()->text().toStdString();
  expectWindowBack(page);
  picture(*window, "generar-medios");

  // Asked again, the overwrite question; "Ca&ncelar" keeps the workbook as it was.
  const auto written = fs::last_write_time(book);
  ui.answer("Ca&ncelar");
  page->excelButton()->click();
  ASSERT_EQ(ui.callsOf("ask").size(), 1u);
  EXPECT_EQ(fs::last_write_time(book), written);

  // The review hands the workbook to the desktop.
  page->reviewButton()->click();
  ASSERT_EQ(ui.callsOf("openWithShell").size(), 1u);
  EXPECT_EQ(ui.callsOf("openWithShell")[0].text, book.string());

  // The XML file: replacement, sending number 7; the dialog's name is the file's name.
  QString shown;
  answerHeader(
      [](generation::HeaderDialog& d) {
        d.conceptList()->setCurrentIndex(1);
        QLineEdit* number = d.field(QStringLiteral("N\u00famero de env\u00edo:"));
        number->setText(QStringLiteral("7"));
        emit number->editingFinished();
      },
      true, &shown);
  page->xmlButton()->click();
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Dmuisca_0201001"))) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith(QStringLiteral("00000007.xml"))) << shown.toStdString();
  const fs::path xml = output / shown.toStdString();
  ASSERT_TRUE(fs::exists(xml)) << xml;
  const std::string doc = readFile(xml);
  EXPECT_NE(doc.find("<NumEnvio>7</NumEnvio>"), std::string::npos) << doc.substr(0, 600);
  // The period is the company-year's tax year, whatever the year of sending.
  EXPECT_NE(doc.find("<FecInicial>2010-01-01</FecInicial>\r\n<FecFinal>2010-12-31</FecFinal>"),
            std::string::npos)
      << doc.substr(0, 600);
  EXPECT_NE(doc.find("<CantReg>" + std::to_string(rows) + "</CantReg>"), std::string::npos);
  EXPECT_EQ(xmlFiles(output).size(), 1u);
  expectWindowBack(page);

  // A cancelled header writes nothing.
  fs::remove(xml);
  answerHeader({}, false);
  page->xmlButton()->click();
  EXPECT_TRUE(xmlFiles(output).empty());

  // The conversion of the reviewed workbook gives the same records.
  answerHeader({}, true, &shown);
  page->convertButton()->click();
  const fs::path converted = output / shown.toStdString();
  ASSERT_TRUE(fs::exists(converted)) << converted;
  EXPECT_NE(readFile(converted).find("<CantReg>" + std::to_string(rows) + "</CantReg>"),
            std::string::npos);
  expectWindowBack(page);

  // The control report of every third party of 1001 into its workbook.
  page->outputChoice(2)->click();
  page->processButton()->click();
  const fs::path control = consolidation::controlWorkbookPath(runtime.session(), 1);
  EXPECT_TRUE(fs::exists(control)) << control;
  EXPECT_TRUE(page->statusLine()->text().contains(QStringLiteral("Filas: ")));
  expectWindowBack(page);

  // 1002: the review of the bases builds its table; then its workbook can be written.
  page->formatChoice(2)->click();
  ASSERT_TRUE(page->regularizationButton()->isVisible());
  int baseRows = -1;
  QTimer::singleShot(0, [&] {
    auto* d = modal<consolidation::WithholdingBasesDialog>();
    if (d == nullptr) return;
    baseRows = d->grid()->model()->rowCount();
    d->accept();
  });
  page->regularizationButton()->click();
  EXPECT_GT(baseRows, 0);
  EXPECT_TRUE(fs::exists(work / "TrF1002B.dbf"));
  page->excelButton()->click();
  EXPECT_TRUE(fs::exists(generation::workbookPath(runtime.session(), 2)));

  // 1004 without its manual data: the message, nothing written, the window back.
  ui.clear();
  page->formatChoice(4)->click();
  page->excelButton()->click();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("Debe regularizar datos.", 0), 0u) << messages()[0];
  EXPECT_FALSE(fs::exists(generation::workbookPath(runtime.session(), 4)));
  expectWindowBack(page);
}

TEST_F(GenerationScreens, FormatChoiceDrivesTheReviewButtonAndTheConcept) {
  generation::GenerationPage* page = generationPage();
  ASSERT_NE(page, nullptr);
  page->formatChoice(2)->click();
  EXPECT_TRUE(page->regularizationButton()->isVisible());
  EXPECT_EQ(page->regularizationButton()->text(),
            QStringLiteral("Regularizar Base\nen Retenciones\npracticadas"));

  // The picker: "Todos..." first, then the concepts of 1002 in code order.
  const auto choices = generation::conceptChoices(engine(), 2);
  ASSERT_GT(choices.size(), 2u);
  EXPECT_EQ(choices[0], "Todos...");
  EXPECT_TRUE(std::is_sorted(choices.begin() + 1, choices.end()));
  int listed = -1;
  QTimer::singleShot(0, [&] {
    auto* picker = modal<generation::ConceptPicker>();
    ASSERT_NE(picker, nullptr);
    listed = picker->grid()->model()->rowCount();
    EXPECT_EQ(picker->grid()->currentRowNumber(), 0);  // the current "Todos..."
    picker->grid()->setCurrentIndex(picker->grid()->model()->index(2, 0));
    picture(*picker, "conceptos");
    emit picker->grid()->rowActivated(2);
  });
  page->conceptButton()->click();
  EXPECT_EQ(listed, static_cast<int>(choices.size()));
  EXPECT_EQ(page->conceptField()->text().toStdString(), choices[2]);
  // Closed without taking: the field stays.
  QTimer::singleShot(0, [&] {
    if (auto* picker = modal<generation::ConceptPicker>()) picker->reject();
  });
  page->conceptButton()->click();
  EXPECT_EQ(page->conceptField()->text().toStdString(), choices[2]);

  page->formatChoice(3)->click();
  EXPECT_EQ(page->conceptField()->text(), QStringLiteral("Todos..."));
  EXPECT_EQ(page->regularizationButton()->text(),
            QStringLiteral("Regularizar Base\nen Retenciones\nque le practicaron"));
  page->formatChoice(5)->click();
  EXPECT_FALSE(page->regularizationButton()->isVisible());
  page->formatChoice(10)->click();
  EXPECT_TRUE(page->regularizationButton()->isVisible());
  EXPECT_EQ(page->regularizationButton()->text(),
            QStringLiteral("Incluir/Modificar\nDatos Formato 1010"));

  // The third-party code is upper case, 20 characters at most.
  page->thirdParty()->setText(QStringLiteral("ab12"));
  emit page->thirdParty()->textEdited(QStringLiteral("ab12"));
  EXPECT_EQ(page->thirdParty()->text(), QStringLiteral("AB12"));
  EXPECT_EQ(page->thirdParty()->maxLength(), 20);

  // Another page and back: the format and its button are as they were.
  window->sideBar()->select(1, 1);
  window->sideBar()->select(3, 1);
  EXPECT_EQ(page->formatNumber(), 10);
  EXPECT_TRUE(page->regularizationButton()->isVisible());
  picture(*window, "generar-medios-1010");

  // XML of a format without its integration: the readiness message, nothing written.
  page->formatChoice(1)->click();
  page->xmlButton()->click();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_TRUE(xmlFiles(output).empty());
  expectWindowBack(page);
}

TEST_F(GenerationScreens, HeaderDialogShowsTheFileAndRefusesHalfTypedValues) {
  generation::Header h = generation::defaultHeader(1, "08", "1  ", "20110315093000");
  generation::HeaderDialog d(h, window.get());
  d.show();
  EXPECT_EQ(d.windowTitle(), QStringLiteral("Datos del encabezado - Formato 1001"));
  EXPECT_FALSE(d.field(QStringLiteral("C\u00f3digo del formato:"))->isEnabled());
  EXPECT_FALSE(d.field(QStringLiteral("Versi\u00f3n del formato:"))->isEnabled());
  EXPECT_TRUE(d.field(QStringLiteral("A\u00f1o de env\u00edo:"))->isEnabled());
  EXPECT_EQ(d.fileName()->text(), QStringLiteral("Dmuisca_010100108201100000001.xml"));
  EXPECT_EQ(d.header().fecEnv, "2011-03-15T09:30:00");
  picture(d, "encabezado-valores");

  // The year changed: the name follows; the dates stay as they were computed.
  QLineEdit* year = d.field(QStringLiteral("A\u00f1o de env\u00edo:"));
  year->setText(QStringLiteral("2010"));
  emit year->editingFinished();
  EXPECT_EQ(d.fileName()->text(), QStringLiteral("Dmuisca_010100108201000000001.xml"));
  EXPECT_EQ(d.header().fecIni, "2011-01-01");

  // Escape does not close it; a date that does not exist keeps it open with the reason.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&d, &escape);
  EXPECT_TRUE(d.isVisible());
  d.field(QStringLiteral("Fecha final:"))->setText(QStringLiteral("2011-02-30"));
  d.continueButton()->click();
  EXPECT_TRUE(d.isVisible());
  EXPECT_TRUE(d.problem()->text().contains(QStringLiteral("fecha final")))
      << d.problem()->text().toStdString();
  year->setText(QStringLiteral("20"));
  d.continueButton()->click();
  EXPECT_TRUE(d.isVisible());
  year->setText(QStringLiteral("2011"));
  d.field(QStringLiteral("Fecha final:"))->setText(QStringLiteral("2011-12-31"));
  d.continueButton()->click();
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.header().numEnv, "1");
}

TEST_F(GenerationScreens, HeaderDialogKeepsThePeriodInsideOneYear) {
  // Sent in 2011 for the tax year 2010.
  generation::HeaderDialog d(generation::defaultHeader(1, "7", "1  ", "20110315093000", "2010"),
                             window.get());
  d.show();
  QLineEdit* first = d.field(QStringLiteral("Fecha inicial:"));
  QLineEdit* last = d.field(QStringLiteral("Fecha final:"));
  EXPECT_EQ(first->text(), QStringLiteral("2010-01-01"));
  EXPECT_EQ(last->text(), QStringLiteral("2010-12-31"));
  EXPECT_EQ(d.fileName()->text(), QStringLiteral("Dmuisca_010100107201100000001.xml"));
  // Another year typed in the first date moves the last one with it, and the other way round.
  first->setText(QStringLiteral("2009-01-01"));
  emit first->textEdited(first->text());
  EXPECT_EQ(last->text(), QStringLiteral("2009-12-31"));
  last->setText(QStringLiteral("2008-06-30"));
  emit last->textEdited(last->text());
  EXPECT_EQ(first->text(), QStringLiteral("2008-01-01"));
  // Part of a year stays as typed; the year of sending does not touch the period.
  first->setText(QStringLiteral("2008-03-01"));
  emit first->textEdited(first->text());
  EXPECT_EQ(last->text(), QStringLiteral("2008-06-30"));
  QLineEdit* year = d.field(QStringLiteral("A\u00f1o de env\u00edo:"));
  year->setText(QStringLiteral("2012"));
  emit year->textEdited(year->text());
  EXPECT_EQ(first->text(), QStringLiteral("2008-03-01"));
  d.continueButton()->click();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.header().fecIni, "2008-03-01");
  EXPECT_EQ(d.header().fecFin, "2008-06-30");
  EXPECT_EQ(d.header().ano, "2012");
}

TEST_F(GenerationScreens, AnalysisPageOffersBothBalances) {
  window->sideBar()->openGroup(3);
  window->sideBar()->select(3, 2);
  auto* page = qobject_cast<generation::ControlsPage*>(window->page(3, 2));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->yearLabel()->text().toStdString(), "A\xC3\xB1o:  2010");
  EXPECT_EQ(page->choice(), 1);
  page->choiceButton(2)->click();
  EXPECT_EQ(page->choice(), 2);
  EXPECT_TRUE(page->analysisButton()->isEnabled());  // the program gives the analysis action
  picture(*window, "controles");

  // With an action, the button runs it with the choice inside the page's guard.
  int got = 0;
  bool barHidden = false;
  generation::ControlsPage withAction(
      runtime.session(),
      [&](shell::Session&, int choice) {
        got = choice;
        barHidden = !window->sideBar()->isVisible();
      },
      window.get());
  withAction.choiceButton(2)->click();
  withAction.analysisButton()->click();
  EXPECT_EQ(got, 2);
  EXPECT_TRUE(barHidden);
  EXPECT_TRUE(window->sideBar()->isVisible());
}

// "Generar todos los formatos": every format in one run through the page, the header asked once
// and carried to every format, the messages of the formats that cannot be generated kept in the
// summary instead of boxes, and one summary with records, total, files and observations.
TEST_F(GenerationScreens, OneRunGeneratesEveryFormatWithOneHeaderAndASummary) {
  importAndIntegrate();
  generation::GenerationPage* page = generationPage();
  ASSERT_NE(page, nullptr);
  int choices = 0, headers = 0, summaries = 0;
  bool pollChooses = true;
  std::vector<std::string> rows;
  QString details, status;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* w = QApplication::activeModalWidget();
    if (auto* d = qobject_cast<generation::AllFormatsDialog*>(w); d != nullptr && pollChooses) {
      ++choices;
      for (int n = 1; n <= 12; ++n) EXPECT_TRUE(d->formatBox(n)->isChecked()) << n;
      EXPECT_TRUE(d->excelBox()->isChecked());
      EXPECT_TRUE(d->xmlBox()->isChecked());
      picture(*d, "generar-todos");
      d->generateButton()->click();
    } else if (auto* h = qobject_cast<generation::HeaderDialog*>(w)) {
      ++headers;
      QLineEdit* number = h->field(QStringLiteral("N\u00famero de env\u00edo:"));
      number->setText(QStringLiteral("9"));
      emit number->editingFinished();
      h->continueButton()->click();
    } else if (auto* r = qobject_cast<generation::AllFormatsSummary*>(w)) {
      ++summaries;
      status = page->statusLine()->text();
      QTableWidget* t = r->table();
      for (int row = 0; row < t->rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < t->columnCount(); ++c)
          cells << (t->item(row, c) != nullptr ? t->item(row, c)->text() : QString());
        rows.push_back(cells.join(QLatin1Char('|')).toStdString());
      }
      details = r->details()->toPlainText();
      if (pollChooses) picture(*r, "generar-todos-resumen");
      r->closeButton()->click();
    }
  });
  poll.start();
  page->allFormatsButton()->click();
  poll.stop();
  EXPECT_EQ(choices, 1);
  EXPECT_EQ(headers, 1);  // asked once for the twelve formats
  ASSERT_EQ(summaries, 1);
  // Nothing popped up on the way: what the formats had to say is in the summary.
  EXPECT_TRUE(messages().empty()) << messages().front();
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(rows[0].rfind("1001|", 0), 0u) << rows[0];
  EXPECT_EQ(rows[11].rfind("1012|", 0), 0u) << rows[11];
  // 1002 needs its regularised bases first: not generated, and the reason is in the details.
  EXPECT_NE(rows[1].find("no generado"), std::string::npos) << rows[1];
  EXPECT_NE(details.indexOf(QStringLiteral("Formato 1002: no generado\n  Debe regularizar Base en "
                                           "Retenciones")),
            -1)
      << details.toStdString();

  // Every format generated has its workbook and its XML file, all with the one header.
  const std::vector<fs::path> xmls = xmlFiles(output);
  int generated = 0;
  for (int n = 1; n <= 12; ++n) {
    const std::string& row = rows[static_cast<std::size_t>(n) - 1];
    if (row.find("no generado") != std::string::npos) continue;
    ++generated;
    EXPECT_TRUE(fs::exists(generation::workbookPath(runtime.session(), n))) << n;
    const std::string code = std::to_string(1000 + n);
    bool found = false;
    for (const fs::path& x : xmls) {
      const std::string name = x.filename().string();
      if (name.find("Dmuisca_010" + code) == 0) {
        found = true;
        EXPECT_TRUE(name.ends_with("00000009.xml")) << name;
        EXPECT_NE(row.find(name), std::string::npos) << row;
      }
    }
    EXPECT_TRUE(found) << code;
  }
  EXPECT_GE(generated, 6);
  EXPECT_EQ(static_cast<int>(xmls.size()), generated);
  EXPECT_EQ(status.toStdString(),
            "Proceso terminado.....  Formatos generados: " + std::to_string(generated) + " de 12");

  // The records and the total of 1001 as the XML file counts them, the total grouped with
  // commas as the program shows amounts.
  const QStringList first = QString::fromStdString(rows[0]).split(QLatin1Char('|'));
  for (const fs::path& x : xmls) {
    if (x.filename().string().find("Dmuisca_0101001") != 0) continue;
    const std::string doc = readFile(x);
    EXPECT_NE(doc.find("<CantReg>" + QString(first[1]).remove(QLatin1Char(',')).toStdString() +
                       "</CantReg>"),
              std::string::npos);
  }
  EXPECT_NE(details.indexOf(QStringLiteral("Formato 1001: ")), -1);
  EXPECT_TRUE(first[2].contains(QLatin1Char(',')) || first[2].size() <= 3)
      << first[2].toStdString();
  EXPECT_FALSE(first[2].contains(QLatin1Char('.'))) << first[2].toStdString();
  EXPECT_NE(details.indexOf(QStringLiteral("Observaciones de los archivos XML: ")), -1);
  expectWindowBack(page);
  EXPECT_TRUE(page->allFormatsButton()->isEnabled());

  // Again, only the workbooks of 1001 and 1005: one question covers the workbooks there are;
  // "Ca&ncelar" leaves them as they were, "&Continuar" writes them without asking each.
  const fs::path book1 = generation::workbookPath(runtime.session(), 1);
  const auto before = fs::last_write_time(book1);
  auto choose = [&](generation::AllFormatsDialog* d) {
    for (int n = 1; n <= 12; ++n) d->formatBox(n)->setChecked(n == 1 || n == 5);
    d->xmlBox()->setChecked(false);
    EXPECT_EQ(d->formats(), (std::vector<int>{1, 5}));
    d->generateButton()->click();
  };
  summaries = 0;
  pollChooses = false;
  ui.clear();
  ui.answer("Ca&ncelar");
  QTimer::singleShot(0, [&] {
    choose(qobject_cast<generation::AllFormatsDialog*>(QApplication::activeModalWidget()));
  });
  page->allFormatsButton()->click();
  ASSERT_EQ(ui.callsOf("ask").size(), 1u);
  EXPECT_NE(ui.callsOf("ask")[0].text.find("1001 y 1005"), std::string::npos)
      << ui.callsOf("ask")[0].text;
  EXPECT_EQ(fs::last_write_time(book1), before);
  EXPECT_TRUE(QApplication::activeModalWidget() == nullptr);

  ui.clear();
  ui.answer("&Continuar");
  rows.clear();
  poll.start();
  QTimer::singleShot(0, [&] {
    choose(qobject_cast<generation::AllFormatsDialog*>(QApplication::activeModalWidget()));
  });
  page->allFormatsButton()->click();
  poll.stop();
  EXPECT_EQ(ui.callsOf("ask").size(), 1u);
  EXPECT_EQ(summaries, 1);
  EXPECT_EQ(headers, 1);  // no XML file: no header
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].find("no generado"), std::string::npos) << rows[0];
  EXPECT_EQ(rows[1].find("no generado"), std::string::npos) << rows[1];
}

// With no program to open a file, "Revisar archivo Excel" and "Prevalidador DIAN" say so, name
// the folder and offer to open it.
TEST_F(GenerationScreens, ButtonsWithoutALauncherSayWhereTheFileIs) {
  importAndIntegrate();
  generation::GenerationPage* page = generationPage();
  ASSERT_NE(page, nullptr);
  page->excelButton()->click();
  const fs::path book = generation::workbookPath(runtime.session(), 1);
  ASSERT_TRUE(fs::exists(book));
  ui.clear();
  ui.shellOpens = false;
  ui.answer("Abrir &carpeta");
  page->reviewButton()->click();
  auto asked = ui.callsOf("ask");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text.rfind("No hay un programa para abrir el archivo " +
                                    book.filename().string() + ".\r\n\r\nEl archivo est\341 en ",
                                0),
            0u)
      << asked[0].text;
  EXPECT_NE(asked[0].text.find(book.parent_path().string()), std::string::npos);
  EXPECT_EQ(asked[0].buttons, (std::vector<std::string>{"Abrir &carpeta", "&Cerrar"}));
  auto opened = ui.callsOf("openWithShell");
  ASSERT_EQ(opened.size(), 2u);  // the workbook, then its folder
  EXPECT_EQ(opened[1].text, book.parent_path().string());
  // The folder does not open either: that is said too.
  ASSERT_EQ(ui.callsOf("message").size(), 1u);
  EXPECT_NE(ui.callsOf("message")[0].text.find("Tampoco hay un programa para abrir la carpeta"),
            std::string::npos);

  // The pre-validation workbook missing from its folder: where it should be.
  const fs::path prevalidator = folders.program / "PREVALIDADOR";
  fs::create_directories(prevalidator);
  ui.clear();
  ui.answer("&Cerrar");
  page->prevalidatorButton()->click();
  asked = ui.callsOf("ask");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text.rfind("No se encuentra el archivo Prevalidador_Tributario_2010_v1.0.xls."
                                "\r\n\r\nDebe estar en la carpeta ",
                                0),
            0u)
      << asked[0].text;
  EXPECT_TRUE(ui.callsOf("openWithShell").empty());
  // There, but nothing to open it with.
  std::ofstream(prevalidator / "Prevalidador_Tributario_2010_v1.0.xls") << "x";
  ui.clear();
  ui.answer("&Cerrar");
  page->prevalidatorButton()->click();
  asked = ui.callsOf("ask");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text.rfind("No hay un programa para abrir el archivo Prevalidador", 0), 0u)
      << asked[0].text;
  EXPECT_EQ(ui.callsOf("openWithShell").size(), 1u);  // the file only: "&Cerrar"
  expectWindowBack(page);
}

// The concept picker of the control report shows each concept's name beside its code.
TEST_F(GenerationScreens, ConceptPickerShowsTheNames) {
  generation::GenerationPage* page = generationPage();
  ASSERT_NE(page, nullptr);
  page->setFormat(1);
  QString code, name;
  int columns = 0;
  QTimer::singleShot(0, [&] {
    auto* picker = qobject_cast<generation::ConceptPicker*>(QApplication::activeModalWidget());
    ASSERT_NE(picker, nullptr);
    const auto* model = picker->grid()->model();
    columns = model->columnCount();
    if (model->rowCount() > 1 && columns > 1) {
      code = model->data(model->index(1, 0)).toString();
      name = model->data(model->index(1, 1)).toString();
    }
    picture(*picker, "conceptos-nombres");
    picker->reject();
  });
  page->conceptButton()->click();
  EXPECT_EQ(columns, 2);
  EXPECT_EQ(code.toStdString(), "5001");
  EXPECT_FALSE(name.isEmpty());
  EXPECT_EQ(name.indexOf(QStringLiteral("registro t")), -1);
  // The formats without DIAN concepts show their own description, not the technical note.
  const auto names = generation::conceptNames(engine(), 5);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[1].find("registro t"), std::string::npos) << names[1];
  EXPECT_FALSE(names[1].empty());
}

}  // namespace

namespace {

TEST_F(GenerationScreens, ControlsPageWritesTheAnalysisAndCoverageWorkbooks) {
  importAndIntegrate();
  window->sideBar()->openGroup(3);
  window->sideBar()->select(3, 2);
  auto* page = qobject_cast<generation::ControlsPage*>(window->page(3, 2));
  ASSERT_NE(page, nullptr);
  page->choiceButton(2)->click();
  page->analysisButton()->click();
  const fs::path book = generation::auditWorkbookPath(runtime.session(), 9);
  ASSERT_TRUE(fs::exists(book)) << book;
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(page->statusLine()->text().startsWith(QStringLiteral("Proceso terminado")));
  EXPECT_TRUE(page->statusLine()->text().contains(QStringLiteral("ANDINA10-Analisis1009.xlsx")))
      << page->statusLine()->text().toStdString();
  const auto read = reports::openXlsx(book);
  ASSERT_TRUE(read.book.has_value()) << read.error;
  EXPECT_EQ(read.book->sheets().size(), 2u);

  page->coverageButton()->click();
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(fs::exists(output / "ANDINA10-Cobertura.xlsx"));
  EXPECT_TRUE(page->statusLine()->text().contains(QStringLiteral("ANDINA10-Cobertura.xlsx")))
      << page->statusLine()->text().toStdString();
  for (QWidget* w : std::initializer_list<QWidget*>{page->analysisButton(), page->coverageButton(),
                                                    page->choiceButton(1)})
    EXPECT_TRUE(w->isEnabled());
  EXPECT_TRUE(window->sideBar()->isVisible());
  picture(*window, "controles-libros");
}

}  // namespace

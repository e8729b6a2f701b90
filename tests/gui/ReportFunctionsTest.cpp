// The printing, browsing and viewing functions of report definitions, on the offscreen platform:
// listings and drawings go to PDF files, which poppler's tools turn back into text and pictures.
#include "reports/pages/ReportFunctions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QTableView>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "GuiTestSupport.h"
#include "expr/Dates.h"
#include "expr/Interp.h"
#include "reports/Runner.h"
#include "shell/ScriptedUserInterface.h"
#include "store/Engine.h"

namespace {

namespace fs = std::filesystem;
using exo::Value;

std::string commandOutput(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

// The text of a PDF with every run of blanks and line ends made one blank.
std::string pdfWords(const std::string& pdf) {
  const std::string raw = commandOutput("pdftotext -layout '" + pdf + "' -");
  std::string out;
  for (const char c : raw) {
    const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\f';
    if (!blank) out += c;
    else if (!out.empty() && out.back() != ' ') out += ' ';
  }
  return out;
}

bool havePoppler() { return std::system("command -v pdftoppm >/dev/null 2>&1") == 0; }

class ReportFunctionsTest : public ::testing::Test {
 protected:
  QApplication& app = guitest::app();
  fs::path dir;
  exo::Interp ip;
  exo::store::Engine engine{ip};
  exo::shell::ScriptedUserInterface ui;
  QMainWindow window;

  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "exo-listing-XXXXXX").string();
    dir = ::mkdtemp(templ.data());
    exo::reports::registerReportFunctions(ip, {&window, &engine, &ui, dir, dir / "pdf", false});
    if (!havePoppler() && std::getenv("CI") != nullptr) FAIL() << "pdftoppm is missing";
  }
  void TearDown() override { fs::remove_all(dir); }

  // A table with a field of each kind, left selected.
  void movements(int rows) {
    const std::string file = (dir / "Movtos.dbf").string();
    engine.createTable(file, {{"NIT", 'C', 12, 0},
                              {"NOMBRE", 'C', 30, 0},
                              {"FECHA", 'D', 8, 0},
                              {"MONTO", 'N', 17, 2},
                              {"ACTIVO", 'L', 1, 0}});
    const int area = engine.open(file, "MOVTOS");
    for (int i = 1; i <= rows; ++i) {
      engine.appendBlank(area);
      engine.put(area, "NIT", Value::text(std::to_string(800000000 + i)));
      engine.put(area, "NOMBRE", Value::text("Tercero n\372mero " + std::to_string(i)));
      engine.put(area, "FECHA", Value::date(exo::julianFromYmd(2010, 1 + i % 12, 1 + i % 28)));
      engine.put(area, "MONTO", Value::number(1234.5 * i, 2));
      engine.put(area, "ACTIVO", Value::logical(i % 2 == 0));
    }
    engine.goTop(ip, area);
  }
};

TEST_F(ReportFunctionsTest, ListingOfTheSelectedTableGoesToPdfWithHeaderFooterAndPictures) {
  if (!havePoppler()) GTEST_SKIP() << "pdftoppm is missing";
  movements(70);  // more than one page
  ip.memvars().declarePublic("G_EMPRESA", Value::text("  Comercializadora Andina S.A.S.  "));
  ip.evalText("REPMIBRW()");  // no browse: the selected table, titled with its alias
  const fs::path pdf = dir / "pdf" / "MOVTOS.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  // Written beside under a temporary name and put in place whole: nothing else in the folder.
  for (const auto& e : fs::directory_iterator(pdf.parent_path()))
    EXPECT_EQ(e.path().filename(), pdf.filename());
  EXPECT_EQ(engine.recNo(engine.areaOf("MOVTOS")), 1);  // back on the first record
  const auto waits = ui.callsOf("waitOpen");
  ASSERT_EQ(waits.size(), 1u);
  EXPECT_EQ(waits[0].text, "Procesando Informe......");
  EXPECT_FALSE(ui.waitIsOpen());

  const std::string text = pdfWords(pdf.string());
  EXPECT_NE(text.find("Fichero: MOVTOS"), std::string::npos) << text;
  EXPECT_NE(text.find("Comercializadora Andina S.A.S."), std::string::npos);
  EXPECT_NE(text.find("Fecha: "), std::string::npos);
  EXPECT_NE(text.find(", Hora: "), std::string::npos);
  EXPECT_NE(text.find("P\303\241gina: 1"), std::string::npos);  // UTF-8 from pdftotext
  EXPECT_NE(text.find("P\303\241gina: 2"), std::string::npos);
  EXPECT_NE(text.find("1,234.50"), std::string::npos);   // the number picture
  EXPECT_NE(text.find("86,415.00"), std::string::npos);  // row 70
  EXPECT_NE(text.find("Tercero n\303\272mero 70"), std::string::npos);
  EXPECT_NE(text.find(".T."), std::string::npos);  // logical and date without picture
  EXPECT_NE(text.find("-2010"), std::string::npos);
  for (const char* heading : {"NIT", "NOMBRE", "FECHA", "MONTO", "ACTIVO"})
    EXPECT_NE(text.find(heading), std::string::npos) << heading;

  // The first page as a picture (kept beside the test's output when asked for).
  const fs::path png = dir / "pagina";
  ASSERT_EQ(
      std::system(
          ("pdftoppm -png -r 60 -f 1 -l 1 '" + pdf.string() + "' '" + png.string() + "'").c_str()),
      0);
  QImage image;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".png") image.load(QString::fromStdString(e.path().string()));
  ASSERT_FALSE(image.isNull());
  int dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
  EXPECT_GT(dark, 500);  // text on the page
  if (const char* keep = std::getenv("EXOGENA_SCREENSHOTS"))
    image.save(QString::fromLocal8Bit(keep) + QStringLiteral("/listado.png"));
}

TEST_F(ReportFunctionsTest, DrawingHelpersWorkOnThePrinterObject) {
  if (!havePoppler()) GTEST_SKIP() << "pdftoppm is missing";
  ip.evalText("PUBLICA('OPRN', TPrinter():New('Caja', .F.))");
  ip.evalText("PUBLICA('OPEN', ACTIVAPEN(OPRN, 30, 0))");
  ip.evalText("PUBLICA('OFONT', ACTIVAFONT('Arial', 0, 14, OPRN, .T.))");
  EXPECT_TRUE(ip.evalText("OFONT:lBold").logical());
  EXPECT_FALSE(ip.evalText("OFONT:lItalic").logical());
  ip.evalText("OPRN:StartPage()");
  ip.evalText("CAJARECT(2, 2, 10, 12, OPRN, OPEN)");          // centimetres
  ip.evalText("LINEA(500, 500, 2000, 3000, OPRN, OPEN, 2)");  // device pixels
  ip.evalText("CAJARECT(12, 2, 20, 12, OPRN, OPEN, 3)");      // any other unit: nothing
  ip.evalText("OPRN:Say(1, 2, 'Caja de prueba', OFONT)");
  const Value pix = ip.evalText("OPRN:Cmtr2Pix(2.54, 2.54)");
  ASSERT_TRUE(pix.isArray());
  EXPECT_EQ(pix.arrayData().items[0].num(), 1200);  // one inch at the printer's resolution
  ip.evalText("OPRN:EndPage()");
  const std::string pdf(ip.evalText("OPRN:cFile").textView());
  ip.evalText("OPRN:End()");
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_NE(commandOutput("pdftotext '" + pdf + "' -").find("Caja de prueba"), std::string::npos);

  ASSERT_EQ(std::system(
                ("pdftoppm -png -r 72 -singlefile '" + pdf + "' '" + (dir / "caja").string() + "'")
                    .c_str()),
            0);
  QImage image(QString::fromStdString((dir / "caja.png").string()));
  ASSERT_FALSE(image.isNull());
  // Positions are relative to the printable area, whose margin is under a centimetre: an edge
  // is looked for within a centimetre after where it was drawn.
  const auto px = [](double cm) { return static_cast<int>(cm * 72 / 2.54); };
  const auto darkAfter = [&](double xCm, double yCm, bool down) {
    for (int i = 0; i < px(1); ++i) {
      const int x = px(xCm) + (down ? 0 : i), y = px(yCm) + (down ? i : 0);
      if (qGray(image.pixel(x, y)) < 160) return true;
    }
    return false;
  };
  EXPECT_TRUE(darkAfter(7, 2, true));    // top edge of the box
  EXPECT_TRUE(darkAfter(2, 6, false));   // left edge
  EXPECT_FALSE(darkAfter(7, 5, true));   // inside: empty
  EXPECT_FALSE(darkAfter(7, 16, true));  // the box of unit 3 was not drawn
  EXPECT_FALSE(darkAfter(2, 16, false));
  if (const char* keep = std::getenv("EXOGENA_SCREENSHOTS"))
    image.save(QString::fromLocal8Bit(keep) + QStringLiteral("/caja.png"));
}

TEST_F(ReportFunctionsTest, BrowseViewerAndPrinters) {
  movements(5);
  ip.evalText("HACEBROWSE('MOVTOS')");
  auto* browse = window.findChild<QWidget*>(QStringLiteral("HACEBROWSE"));
  ASSERT_NE(browse, nullptr);
  auto* grid = browse->findChild<QTableView*>();
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->model()->rowCount(), 5);
  EXPECT_EQ(grid->model()->columnCount(), 5);
  EXPECT_EQ(grid->model()->index(0, 1).data().toString().trimmed(),
            QStringLiteral("Tercero número 1"));
  browse->close();

  ip.evalText("SEETEXTO('" + (dir / "noesta.txt").string() + "')");
  const auto messages = ui.callsOf("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "El archivo " + (dir / "noesta.txt").string() + " no existe.");

  std::ofstream(dir / "texto.txt") << "primera l\355nea\r\nsegunda\r\ntercera";
  ip.evalText("SEETEXTO('" + (dir / "texto.txt").string() + "')");
  auto* viewer = window.findChild<QMainWindow*>(QStringLiteral("SEETEXTO"));
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Visualizador de archivo texto"));
  auto* lines = viewer->findChild<QTableView*>();
  ASSERT_EQ(lines->model()->rowCount(), 3);
  EXPECT_EQ(lines->model()->index(0, 0).data().toString(), QStringLiteral("primera línea"));
  EXPECT_EQ(lines->model()->headerData(0, Qt::Horizontal).toString(),
            QString::fromStdString("Archivo " + (dir / "texto.txt").string()));
  viewer->close();

  const Value printers = ip.evalText("AGETPRINTERS()");
  ASSERT_TRUE(printers.isArray());
  for (const Value& p : printers.arrayData().items) EXPECT_LE(p.textView().size(), 32u);
}

// A definition run by the runner prints through the same functions.
TEST_F(ReportFunctionsTest, ADefinitionPrintsAListing) {
  if (!havePoppler()) GTEST_SKIP() << "pdftoppm is missing";
  movements(3);
  fs::create_directories(dir / "FORMS");
  std::ofstream(dir / "FORMS" / "LISTA.RPO")
      << "// listado de prueba\r\nPRIVADA('G_EMPRESA', 'Empresa de prueba')\r\n"
         "REPMIBRW(, 'Movimientos')\r\n";
  exo::reports::Runner runner(ip, ui, dir);
  runner.EJECUTAR("LISTA.RPO");
  const fs::path pdf = dir / "pdf" / "Movimientos.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  const std::string text = pdfWords(pdf.string());
  EXPECT_NE(text.find("Fichero: Movimientos"), std::string::npos) << text;
  EXPECT_NE(text.find("Empresa de prueba"), std::string::npos);
}

}  // namespace

// exogena-cli batch on a demo of three companies of one product: two with a sound ledger and their
// assignments, one whose month file is damaged and which must fail alone.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "CliSupport.h"
#include "reports/XlsxFile.h"

namespace {

using clitest::Demo;
namespace fs = std::filesystem;

std::string cellText(const exo::reports::Workbook& book, const exo::reports::Sheet& sh, int row,
                     int col) {
  const exo::reports::Cell* c = sh.find(row, col);
  return c == nullptr ? std::string() : book.displayText(*c);
}

class BatchCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(demo.ok());
    for (const char* company : {"ANDINA09", "PORVEN10"}) {
      const clitest::Run r = demo.cli(std::string("--company ") + company +
                                      " copy-assignments --from-company ANDINA10 --yes");
      ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    }
  }

  // The March file of PORVEN10 with its record count raised past the end of the file: a
  // truncated table, which the movement import must refuse.
  void damageLedger() {
    const fs::path month = demo.drive() / "NRVVS" / "PORVEN10" / "VRTRACON.03";
    std::fstream f(month, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(f.good());
    f.seekp(4);
    const unsigned char count[4] = {0x40, 0x42, 0x0F, 0x00};
    f.write(reinterpret_cast<const char*>(count), 4);
  }

  Demo demo{"--lines 3000 --companies 3 --products orbisal"};
};

TEST_F(BatchCommand, DamagedCompanyFailsAloneAndTheSummaryListsEveryFormat) {
  damageLedger();
  const clitest::Run r =
      demo.cli("batch --companies ANDINA10,ANDINA09,PORVEN10 --jobs 2 --anio 2011");
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("Empresas terminadas: 2 de 3"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("PORVEN10 (FERRETER"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("se detuvo en import-movements"), std::string::npos) << r.out;
  // Each company's whole output is kept.
  EXPECT_NE(
      clitest::readAll(demo.program() / "Informes" / "Lote-ANDINA09.txt").find("Formato 1012"),
      std::string::npos);

  const exo::reports::XlsxRead read =
      exo::reports::openXlsx(demo.program() / "Resumen-declaraciones.xlsx");
  ASSERT_TRUE(read.book) << read.error;
  const exo::reports::Workbook& book = *read.book;
  const exo::reports::Sheet& sh = book.active();
  EXPECT_EQ(cellText(book, sh, 1, 1), "Empresa");
  std::map<std::string, std::set<std::string>> formats;
  std::map<std::string, std::string> status;
  for (int row = 2; row <= sh.lastRow(); ++row) {
    const std::string folder = cellText(book, sh, row, 2);
    if (!cellText(book, sh, row, 4).empty()) formats[folder].insert(cellText(book, sh, row, 4));
    status[folder] = cellText(book, sh, row, 9);
    if (folder == "ANDINA10" && cellText(book, sh, row, 4) == "1001") {
      EXPECT_GT(sh.find(row, 5)->num, 0);  // records
      EXPECT_GT(sh.find(row, 6)->num, 0);  // total
      EXPECT_EQ(sh.find(row, 7)->num, 2);  // workbook and XML file
      EXPECT_EQ(cellText(book, sh, row, 3), "2010");
    }
  }
  EXPECT_EQ(formats["ANDINA10"].size(), 12u);
  EXPECT_EQ(formats["ANDINA09"].size(), 12u);
  EXPECT_TRUE(formats["PORVEN10"].empty());
  EXPECT_EQ(status["ANDINA10"], "generado");
  EXPECT_NE(status["PORVEN10"].find("import-movements"), std::string::npos);
  // The sound companies' files are those of a run of their own.
  EXPECT_FALSE(fs::is_empty(demo.program() / "NRVVS" / "ANDINA09" / "SALIDA"));
}

TEST_F(BatchCommand, AQuestionEndsTheCompanyWithItsText) {
  // A second generation finds its files written and asks before replacing them; the batch gives
  // no answer, so the company ends there, unless the user answers with --yes.
  const clitest::Run first = demo.cli("batch --companies ANDINA10");
  ASSERT_EQ(first.exitCode, 0) << first.out;
  const std::string steps = "batch --companies ANDINA10 --steps generate";
  const clitest::Run again = demo.cli(steps);
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.out.find("pregunta sin respuesta en generate"), std::string::npos) << again.out;
  EXPECT_NE(again.out.find("ya existe"), std::string::npos) << again.out;
  EXPECT_EQ(demo.cli(steps + " --yes").exitCode, 0);
}

// The control file belongs to the ledger product. A folder there written to climb out of the
// drive is not worked on, and the log that says so stays in "Informes" under a name that no
// system reads as a path.
TEST_F(BatchCommand, AControlFileFolderThatClimbsOutStaysInItsLog) {
  const fs::path control = demo.drive() / "NRVVS" / "vrCtl.org";
  std::string bytes = clitest::readAll(control);
  const std::size_t at = bytes.find("ANDINA09\\");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 13, "..\\..\\..\\TMP\\");
  std::ofstream(control, std::ios::binary | std::ios::trunc) << bytes;
  const clitest::Run r = demo.cli("batch --all --steps import");
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("Empresas terminadas: 2 de 3"), std::string::npos) << r.out;
  std::set<std::string> logs;
  for (const fs::directory_entry& e : fs::directory_iterator(demo.program() / "Informes"))
    logs.insert(e.path().filename().string());
  EXPECT_TRUE(logs.count("Lote-.._.._.._TMP.txt")) << r.out;
  for (const std::string& name : logs) EXPECT_EQ(name.find('\\'), std::string::npos) << name;
}

TEST_F(BatchCommand, WrongArgumentsChangeNothing) {
  EXPECT_EQ(demo.cli("batch --steps import,pagar").exitCode, 2);
  EXPECT_EQ(demo.cli("batch --jobs 0").exitCode, 2);
  EXPECT_EQ(demo.cli("batch --jobs 2x").exitCode, 2);
  // One company named twice would run in two processes on the same folder at once.
  const clitest::Run twice = demo.cli("batch --companies ANDINA10,andina10");
  EXPECT_EQ(twice.exitCode, 2);
  EXPECT_NE(twice.err.find("repetida"), std::string::npos) << twice.err;
  const clitest::Run r = demo.cli("batch --companies NOEXISTE");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("NOEXISTE"), std::string::npos);
  EXPECT_FALSE(fs::exists(demo.program() / "Resumen-declaraciones.xlsx"));
}

}  // namespace

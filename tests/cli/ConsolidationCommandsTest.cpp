// exogena-cli integrate, check and control on a demo installation, through the real binary.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/CliSupport.h"

namespace {

using clitest::Demo;
namespace fs = std::filesystem;

bool havePoppler() { return std::system("command -v pdftotext >/dev/null 2>&1") == 0; }

TEST(ConsolidationCommands, CheckIntegrateAndControl) {
  Demo demo("--lines 2000 --companies 1");
  ASSERT_TRUE(demo.ok());
  ASSERT_EQ(demo.cli("import-movements").exitCode, 0);

  // After the import alone the formats are not ready: the check's message, exit code 1.
  auto r = demo.cli("check");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("1001: no inicializado"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Sistema no inicializado adecuadamente."), std::string::npos) << r.err;
  r = demo.cli("control");
  EXPECT_EQ(r.exitCode, 1);

  r = demo.cli("integrate");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Proceso terminado...."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("formato 1001: "), std::string::npos);
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  for (int n = 1001; n <= 1012; ++n)
    EXPECT_TRUE(fs::exists(work / ("TrF" + std::to_string(n) + ".dbf"))) << n;
  r = demo.cli("check 1007");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.find("no inicializado"), std::string::npos);
  EXPECT_EQ(demo.cli("check 13").exitCode, 2);

  // The control report of format 1001 as a PDF; then one third party and concept.
  r = demo.cli("control --format 1001");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const fs::path pdf = demo.program() / "Informes" / "Control_Formato_1001.pdf";
  ASSERT_TRUE(fs::exists(pdf)) << r.out << r.err;
  if (!havePoppler()) GTEST_SKIP() << "pdftotext is missing";
  const fs::path text = demo.root() / "control.txt";
  ASSERT_EQ(
      std::system(("pdftotext -layout '" + pdf.string() + "' '" + text.string() + "'").c_str()), 0);
  const std::string all = clitest::readAll(text);
  EXPECT_NE(all.find("Informe de control - Formato 1001"), std::string::npos);
  EXPECT_NE(all.find("Todos los terceros"), std::string::npos);
  EXPECT_NE(all.find("Total general"), std::string::npos);

  r = demo.cli("control 00001 --format 1 --concept 5016");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("filas del informe: "), std::string::npos);
  EXPECT_EQ(r.out.find("filas del informe: 0\n"), std::string::npos) << r.out;
  ASSERT_EQ(
      std::system(("pdftotext -layout '" + pdf.string() + "' '" + text.string() + "'").c_str()), 0);
  const std::string one = clitest::readAll(text);
  EXPECT_NE(one.find("Total 00001 concepto 5016"), std::string::npos) << one;
  EXPECT_EQ(one.find("Total 00002"), std::string::npos);
}

// The control report as a workbook, read back by an independent reader; a definition that fails
// ends the command with its report and exit code 1, the program's tables closed in order.
TEST(ConsolidationCommands, ControlWorkbookAndAFailingDefinition) {
  Demo demo("--lines 2000 --companies 1");
  ASSERT_TRUE(demo.ok());
  ASSERT_EQ(demo.cli("import-movements").exitCode, 0);
  ASSERT_EQ(demo.cli("integrate").exitCode, 0);
  auto r = demo.cli("control --excel --format 1 --yes");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const fs::path book = demo.program() / "NRVVS" / "ANDINA10" / "SALIDA" / "ANDINA10-FrmExc01.xlsx";
  ASSERT_TRUE(fs::exists(book)) << r.out;
  if (std::system("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null") == 0) {
    const fs::path out = demo.root() / "libro.txt";
    const std::string script =
        "import sys, openpyxl\n"
        "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
        "print(ws['A1'].value)\n"
        "print([c.value for c in ws[5]])\n"
        "print(any(r[5].value == 'Total general' for r in ws.iter_rows()))\n";
    ASSERT_EQ(std::system(("/usr/bin/python3 -c \"" + script + "\" '" + book.string() + "' >'" +
                           out.string() + "'")
                              .c_str()),
              0);
    const std::string text = clitest::readAll(out);
    EXPECT_NE(text.find("Informe de control - Formato 1001"), std::string::npos) << text;
    EXPECT_NE(text.find("'Tercero', 'Identificaci"), std::string::npos) << text;
    EXPECT_NE(text.find("True"), std::string::npos) << text;
  }
  // Asked again, the existing workbook is replaced only when the question is answered yes.
  EXPECT_EQ(demo.cli("control --excel --format 1 --no").exitCode, 1);

  std::ofstream(demo.program() / "FORMS" / "Inf01XC.RPO", std::ios::binary | std::ios::trunc)
      << "NUNO := 1\r\nNUNO + NOEXISTE\r\n";
  r = demo.cli("control --excel --format 1 --yes");
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("Inf01XC.RPO - Lin.: 2"), std::string::npos) << r.err;
}

}  // namespace

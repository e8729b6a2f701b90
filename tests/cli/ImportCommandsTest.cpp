// The import commands run through the real exogena-cli on a small demo: the steps in their
// order with their results on stdout, the error rows of the third-party check, the stop
// messages on stderr with a non-zero exit, and --yes/--no taken by every command.
#include <gtest/gtest.h>

#include "CliSupport.h"

namespace {

using clitest::Demo;
namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ImportCommands, RunTheStepsOfTheImportInOrder) {
  Demo demo;
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  auto r = demo.cli("import-chart --yes");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Proceso terminado.....")) << r.out;
  EXPECT_TRUE(contains(r.out, "Cuentas en uso: ")) << r.out;

  r = demo.cli("import-movements --no --company andina10");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Importando movimientos de  per\xC3\xADodo 00.....")) << r.out;
  EXPECT_TRUE(contains(r.out, "Importando movimientos de  Diciembre.....")) << r.out;
  EXPECT_TRUE(contains(r.out, "Meses: 01 a 12")) << r.out;
  EXPECT_TRUE(fs::exists(work / "vrTraCon.99"));
  EXPECT_TRUE(r.err.empty()) << r.err;  // no terminal: no bar

  for (const char* fix : {"fix-iva --yes", "fix-comisiones --no"}) {
    r = demo.cli(fix);
    ASSERT_EQ(r.exitCode, 0) << fix << r.err;
    EXPECT_TRUE(contains(r.out, "cambiadas de tercero: ")) << r.out;
  }
  r = demo.cli("fix-iva");  // a second run finds nothing left to move
  EXPECT_TRUE(contains(r.out, "cambiadas de tercero: 0\n")) << r.out;

  r = demo.cli("import-terceros --yes");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Proceso terminado.")) << r.out;

  // The faulty third parties of the demo's directory: a line each, its errors indented.
  r = demo.cli("validate-terceros");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "\n    Error ")) << r.out;
  EXPECT_TRUE(contains(r.out, "con errores: ")) << r.out;
  EXPECT_FALSE(contains(r.out, "con errores: 0\n")) << r.out;
  EXPECT_TRUE(fs::exists(work / "ErrFDir.dbf"));

  r = demo.cli("maintenance --yes");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Proceso terminado.....")) << r.out;
}

TEST(ImportCommands, StopMessagesGoToStderrWithANonZeroExit) {
  Demo demo("--lines 800");
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  const fs::path ledger = demo.drive() / "NRVVS" / "ANDINA10";
  // A fix before the directory copy exists.
  for (const char* copy : {"VRDIREXO.DBF", "VRDIREXO.FPT", "VRDIREXX.CDX"}) fs::remove(work / copy);
  auto r = demo.cli("fix-comisiones");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, "Debe Importar Movimientos Contables primero")) << r.err;
  // A ledger without month files.
  for (const auto& e : fs::directory_iterator(ledger)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("VRTRACON.", 0) == 0) fs::remove(e.path());
  }
  r = demo.cli("import-movements");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, "Por favor verifique los per\xC3\xADodos en su programa Norvasta."))
      << r.err;
  EXPECT_FALSE(fs::exists(work / "vrTraCon.99"));
}

// A month missing inside the year's range is a question that names it: without an answer the
// command ends with 3, with --no with 1, and nothing is imported; --yes imports the others.
TEST(ImportCommands, AMissingMonthIsAQuestionTheUserAnswers) {
  Demo demo("--lines 800 --companies 1");
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  const fs::path ledger = demo.drive() / "NRVVS" / "ANDINA10";
  ASSERT_TRUE(fs::remove(ledger / "VRTRACON.05"));
  fs::remove(work / "vrTraCon.99");
  auto r = demo.cli("import-movements --company andina10");
  EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
  EXPECT_TRUE(contains(r.out + r.err, "Falta el mes Mayo (VRTRACON.05) entre Enero y Diciembre"))
      << r.out << r.err;
  r = demo.cli("import-movements --no --company andina10");
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_FALSE(fs::exists(work / "vrTraCon.99"));
  r = demo.cli("import-movements --yes --company andina10");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(contains(r.out, "Meses: 01 a 12")) << r.out;
  EXPECT_TRUE(contains(r.err, "aviso: falta el mes 05")) << r.err;
  EXPECT_TRUE(fs::exists(work / "vrTraCon.99"));
}

}  // namespace

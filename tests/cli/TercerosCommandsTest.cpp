// The third-party commands run through the real exogena-cli on a small demo: the directory copy
// refreshed, the faulty third parties of the demo's directory listed with their errors, and a
// missing ledger directory stopping with its message on stderr and a non-zero exit.
#include <gtest/gtest.h>

#include "CliSupport.h"

namespace {

using clitest::Demo;
namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(TercerosCommands, RefreshTheCopyAndListTheFaultyThirdParties) {
  Demo demo("--lines 800");
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  fs::remove(work / "VRDIREXO.DBF");
  auto r = demo.cli("import-terceros --yes");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Proceso terminado.")) << r.out;
  EXPECT_TRUE(fs::exists(work / "VRDIREXO.DBF"));

  r = demo.cli("validate-terceros --no --company 'andina10\\'");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Each faulty third party on a line (code, document, name), its errors indented below, and
  // as many as the summary counts.
  std::size_t rows = 0, errors = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = r.out.substr(start, end - start);
    if (line.find('\t') != std::string::npos) ++rows;
    if (line.rfind("    Error ", 0) == 0) ++errors;
  }
  EXPECT_GT(rows, 0u) << r.out;
  EXPECT_GE(errors, rows) << r.out;
  EXPECT_TRUE(contains(r.out, "con errores: " + std::to_string(rows) + "\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Error 2  -  Digito verificador no corresponde")) << r.out;
  EXPECT_TRUE(fs::exists(work / "ErrFDir.dbf"));
}

TEST(TercerosCommands, AMissingLedgerDirectoryStopsWithItsMessage) {
  Demo demo("--lines 500");
  ASSERT_TRUE(demo.ok());
  const fs::path ledger = demo.drive() / "NRVVS" / "ANDINA10";
  for (const auto& e : fs::directory_iterator(ledger)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("VRDIR", 0) == 0) fs::remove(e.path());
  }
  const fs::path copy = demo.program() / "NRVVS" / "ANDINA10" / "VRDIREXO.DBF";
  const auto before = fs::file_size(copy);
  for (const char* command : {"import-terceros", "validate-terceros"}) {
    const auto r = demo.cli(command);
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_FALSE(r.err.empty()) << command;
    EXPECT_TRUE(contains(r.err, "VRDIR")) << command << ": " << r.err;
  }
  EXPECT_EQ(fs::file_size(copy), before);  // the copy is left whole
}

}  // namespace

// exogena-cli bases on a demo company: the format tables written beside the imported year as the
// dictionary describes them, then the real binary prepares and lists the bases and the
// manual-data tables; a restore needs an answer.
#include <gtest/gtest.h>

#include <map>

#include "CliSupport.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace {

using clitest::Demo;
namespace fs = std::filesystem;

// Format tables of 1002 and 1012 built by hand from the first movements of the year's table.
void writeFormatTables(const fs::path& company) {
  exo::Interp ip;
  exo::store::Engine e(ip);
  for (const char* code : {"1002", "1012"})
    exo::store::createCompanyTable(e, company.string(), exo::store::formatTableFile(code));
  const int f = e.open((company / "TrF1002.dbf").string(), "F", false);
  const char* rows[][3] = {{"2318", "-800", "2"}, {"2320", "-1600", "2"}, {"2302", "-90", "2"}};
  for (const auto& r : rows) {
    e.appendBlank(f);
    e.put(f, "CTA_DIR", exo::Value::text("T0001"));
    e.put(f, "CODIGO", exo::Value::text("2367050001"));
    e.put(f, "CONC", exo::Value::text(r[0]));
    e.put(f, "MONTO", exo::Value::number(std::stod(r[1])));
    e.put(f, "NAT", exo::Value::text(r[2]));
    e.put(f, "NIT", exo::Value::text("800100200"));
  }
  e.closeAll(ip);
}

TEST(BasesCommand, PreparesAndListsTheTables) {
  Demo demo("--lines 2000 --companies 1");
  ASSERT_TRUE(demo.ok());
  const std::string company = " --company ANDINA10";
  ASSERT_EQ(demo.cli("import-chart" + company).exitCode, 0);
  ASSERT_EQ(demo.cli("import-movements" + company).exitCode, 0);
  // Before any format table: the readiness message.
  auto r = demo.cli("bases --format 1002" + company);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Sistema no inicializado"), std::string::npos) << r.err;

  writeFormatTables(demo.program() / "NRVVS" / "ANDINA10");
  r = demo.cli("bases --format 1002" + company);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\t2318\t800\t50.00\t16.00\t10000\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\t2320\t1600\t100.00\t16.00\t10000\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\t2302\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("TrF1002B.dbf: 3 filas (construida), 1 del concepto 2302"),
            std::string::npos)
      << r.out;
  // Stored now: shown as it is; a restore asks, and without an answer nothing happens.
  r = demo.cli("bases --format 1002" + company);
  EXPECT_NE(r.out.find("TrF1002B.dbf: 3 filas, 1"), std::string::npos) << r.out;
  EXPECT_EQ(demo.cli("bases --format 1002 --restore" + company).exitCode, 3);
  r = demo.cli("bases --format 1002 --restore --yes" + company);
  EXPECT_NE(r.out.find("(construida)"), std::string::npos) << r.out;

  // 1012: one row per assignment of the demo's format 1012; 1010 starts empty.
  r = demo.cli("bases --format 1012" + company);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("(creada)"), std::string::npos) << r.out;
  r = demo.cli("bases --format 1010" + company);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("TrF1010B.dbf: 0 filas (creada)"), std::string::npos) << r.out;
  EXPECT_EQ(demo.cli("bases --format 1005" + company).exitCode, 2);
  EXPECT_EQ(demo.cli("bases --format 1010 --restore" + company).exitCode, 2);
}

}  // namespace

namespace {

// The whole road on a demo: import, integration, then every table of the bases; the balances of
// 1012 agree with the integrated movements read independently.
TEST(BasesCommand, EndToEndOnTheDemoAfterTheIntegration) {
  Demo demo("--lines 3000 --companies 1");
  ASSERT_TRUE(demo.ok());
  const std::string company = " --company ANDINA10";
  for (const char* step : {"import-chart", "import-movements", "integrate"})
    ASSERT_EQ(demo.cli(step + company).exitCode, 0) << step;
  for (const char* code : {"1002", "1003", "1004", "1010", "1011", "1012"}) {
    const auto r = demo.cli(std::string("bases --format ") + code + company);
    EXPECT_EQ(r.exitCode, 0) << code << r.err;
  }
  const fs::path folder = demo.program() / "NRVVS" / "ANDINA10";
  exo::Interp ip;
  exo::store::Engine e(ip);
  std::map<std::string, double> totals;
  const int movements = e.open((folder / "TrF1012.dbf").string(), "M", true, true);
  e.forEach(movements, [&] {
    totals[std::string(exo::trimRight(e.text(movements, "CODIGO"))) + "/" +
           e.text(movements, "CONC")] += e.number(movements, "MONTO");
    return true;
  });
  // The balance of an account is its whole year: the lines with a third party integrated into
  // the format, and the lines without one that the movement import totalled per account.
  std::map<std::string, double> withoutParty;
  const int lines = e.open((folder / "vrSinTer.99").string(), "S", true, true);
  e.forEach(lines, [&] {
    withoutParty[std::string(exo::trimRight(e.text(lines, "CODIGO")))] += e.number(lines, "MONTO");
    return true;
  });
  EXPECT_NE(withoutParty["1.1.10.05.01"], 0);
  const int base = e.open((folder / "TrF1012B.dbf").string(), "B", true, true);
  int rows = 0;
  e.forEach(base, [&] {
    ++rows;
    const std::string key =
        std::string(exo::trimRight(e.text(base, "CODI_CONT"))) + "/" + e.text(base, "CPT");
    EXPECT_DOUBLE_EQ(
        e.number(base, "VAL"),
        totals[key] + withoutParty[std::string(exo::trimRight(e.text(base, "CODI_CONT")))])
        << key;
    EXPECT_FALSE(exo::trimBlanks(e.text(base, "NOMB_CONT")).empty()) << key;
    return true;
  });
  EXPECT_GT(rows, 0);
  // The withholding bases hold rows, and the view of 1002 leaves out concept 2302.
  const auto r = demo.cli("bases --format 1002" + company);
  EXPECT_EQ(r.out.find("\t2302\t"), std::string::npos);
  EXPECT_NE(r.out.find("\t2318\t"), std::string::npos) << r.out;
  e.closeAll(ip);
}

}  // namespace

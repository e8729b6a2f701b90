// The analysis workbooks of 1008 and 1009 of the demo company through the real exogena-cli, read
// back by python3-openpyxl and checked against the format movement tables read by
// python3-dbfread: one row per third party (for 1008 only the non-zero balances), one per
// concept and third party whose balance reaches a peso, subtotals and totals equal to the
// table's, and an auto-filter over the headings and the data of each sheet. The coverage of the
// demo: its covered and uncovered third-party lines add up to the year's table read by dbfread.
#include <gtest/gtest.h>

#include <regex>

#include "../cli/CliSupport.h"
#include "InteropSupport.h"

namespace {

using interop::kPython;

const char* kCheck = R"PY(
import sys, openpyxl, dbfread
from collections import defaultdict
book, table, fmt = sys.argv[1], sys.argv[2], sys.argv[3]
party, pair = defaultdict(float), defaultdict(float)
for r in dbfread.DBF(table, encoding='latin1'):
    party[r['CTA_DIR']] += r['MONTO']
    pair[(r['CONC'], r['CTA_DIR'])] += r['MONTO']
parties = {k: v for k, v in party.items() if fmt == '1009' or round(v, 2) != 0}
pairs = {k: v for k, v in pair.items() if round(v) != 0}
wb = openpyxl.load_workbook(book)
print('sheets', '|'.join(ws.title for ws in wb.worksheets))
ws = wb['Saldos por tercero']
rows = list(ws.iter_rows(min_row=6, values_only=True))
data = rows[:rows.index((None,) * len(rows[0]))]
print('filter1', ws.auto_filter.ref == 'A5:D%d' % (5 + len(data)))
print('parties', len(data) == len(parties), all(isinstance(r[3], (int, float)) for r in data))
print('party amounts', all(abs(parties[r[0]] - r[3]) < 0.005 for r in data))
print('party total', abs(rows[len(data) + 1][3] - sum(parties.values())) < 0.005,
      abs(sum(r[3] for r in data) - sum(parties.values())) < 0.005)
ws = wb['Por concepto y tercero']
rows = list(ws.iter_rows(min_row=6, values_only=True))
data = rows[:rows.index((None,) * len(rows[0]))]
detail = [r for r in data if r[5] == 'Tercero']
subtotals = [r for r in data if r[5] == 'Subtotal']
print('filter2', ws.auto_filter.ref == 'A5:F%d' % (5 + len(data)))
print('pairs', len(detail) == len(pairs),
      all(abs(pairs[(r[0], r[1])] - r[4]) < 0.005 for r in detail))
bycon = defaultdict(float)
for (c, _), v in pairs.items():
    bycon[c] += v
print('subtotals', len(subtotals) == len(bycon),
      all(abs(bycon[r[0]] - r[4]) < 0.005 for r in subtotals))
print('pair total', abs(rows[len(data) + 1][4] - sum(pairs.values())) < 0.005)
print('names', sum(1 for r in detail if r[3] and 'NO REGISTRADO' not in r[3]) == len(detail))
)PY";

TEST(AuditWorkbooks, DemoWorkbooksReadBackWithTheFormatTablesTotals) {
  REQUIRE_TOOL(std::string(kPython) + " -c 'import openpyxl, dbfread'");
  clitest::Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  const std::string company = "--company ANDINA10 ";
  for (const char* step : {"import-chart", "import-movements", "integrate"})
    ASSERT_EQ(demo.cli(company + step).exitCode, 0) << step;

  const clitest::Run wrong = demo.cli(company + "audit --format 1005");
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_NE(wrong.err.find("--format 1008 o --format 1009"), std::string::npos) << wrong.err;

  const std::filesystem::path folder = demo.program() / "NRVVS" / "ANDINA10";
  for (const std::string code : {"1008", "1009"}) {
    const clitest::Run r = demo.cli(company + "audit --format " + code);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::filesystem::path book = folder / "SALIDA" / ("ANDINA10-Analisis" + code + ".xlsx");
    EXPECT_NE(r.out.find("Libro: " + book.string()), std::string::npos) << r.out;
    std::string out;
    ASSERT_EQ(storetest::runCommand(std::string(kPython) + " -c \"$(cat <<'EOF'\n" + kCheck +
                                        "\nEOF\n)\" '" + book.string() + "' '" +
                                        (folder / ("TrF" + code + ".dbf")).string() + "' " + code +
                                        " 2>&1",
                                    out),
              0)
        << out;
    EXPECT_NE(out.find("sheets Saldos por tercero|Por concepto y tercero"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("False"), std::string::npos) << code << "\n" << out;
    EXPECT_NE(out.find("pair total True"), std::string::npos) << out;
    // Nothing but the workbook stays: the work tables are erased.
    for (const auto& e : std::filesystem::directory_iterator(folder))
      EXPECT_EQ(e.path().filename().string().find("TotDa"), std::string::npos) << e.path();
  }
}

// The year's third-party lines as python3-dbfread reads the year's table: "LINES TOTAL".
const char* kYearLines = R"PY(
import sys, dbfread
rows = [r for r in dbfread.DBF(sys.argv[1], encoding='latin1') if r['CTA_DIR'].strip()]
print(len(rows), '%.2f' % sum(r['MONTO'] for r in rows))
)PY";

TEST(CoverageWorkbook, DemoCoveredAndUncoveredAddUpToTheYearsThirdPartyLines) {
  REQUIRE_TOOL(std::string(kPython) + " -c 'import openpyxl, dbfread'");
  clitest::Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  const std::string company = "--company ANDINA10 ";
  EXPECT_EQ(demo.cli(company + "coverage").exitCode, 1);  // nothing imported yet
  for (const char* step : {"import-chart", "import-movements", "integrate"})
    ASSERT_EQ(demo.cli(company + step).exitCode, 0) << step;
  const clitest::Run r = demo.cli(company + "coverage");
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const std::filesystem::path folder = demo.program() / "NRVVS" / "ANDINA10";
  std::string year;
  ASSERT_EQ(storetest::runCommand(std::string(kPython) + " -c \"$(cat <<'EOF'\n" + kYearLines +
                                      "\nEOF\n)\" '" + (folder / "vrTraCon.99").string() + "'",
                                  year),
            0)
      << year;
  std::smatch m;
  const std::regex party("del a\xC3\xB1o: (\\d+) l\xC3\xADneas, total (-?[0-9.]+)\\n");
  ASSERT_TRUE(std::regex_search(r.out, m, party)) << r.out;
  EXPECT_EQ(m[1].str() + " " + m[2].str() + "\n", year) << r.out;
  const std::regex covered("asignadas: (\\d+) l\xC3\xADneas, total (-?[0-9.]+)\\n");
  const std::regex uncovered("sin concepto: (\\d+) l\xC3\xADneas, total (-?[0-9.]+) ");
  std::smatch a, b;
  ASSERT_TRUE(std::regex_search(r.out, a, covered) && std::regex_search(r.out, b, uncovered))
      << r.out;
  EXPECT_EQ(std::stoll(a[1]) + std::stoll(b[1]), std::stoll(m[1]));
  EXPECT_NEAR(std::stod(a[2]) + std::stod(b[2]), std::stod(m[2]), 0.005);

  std::string out;
  ASSERT_EQ(
      storetest::runCommand(std::string(kPython) +
                                " -c \"import sys, openpyxl; wb = openpyxl.load_workbook("
                                "sys.argv[1]); print([ws.title for ws in wb.worksheets], "
                                "[ws.auto_filter.ref is not None for ws in wb.worksheets])\" '" +
                                (folder / "SALIDA" / "ANDINA10-Cobertura.xlsx").string() + "' 2>&1",
                            out),
      0)
      << out;
  EXPECT_NE(
      out.find("['Cuentas sin concepto', 'Conceptos', 'Cuentas en dos conceptos'] [True, True"),
      std::string::npos)
      << out;
}

}  // namespace

// The coverage workbook on a small ledger written as real files, imported and integrated by the
// real steps: the third-party lines split into covered and uncovered accounts add up to the
// year's, the uncovered accounts come largest first, and each concept's ledger total is
// explained by the lines without a third party, those its filters left out and what reached
// the format; the workbook reads back with the same figures.
#include <gtest/gtest.h>

#include <cmath>

#include "consolidation/Coverage.h"
#include "consolidation/Integration.h"
#include "import/LedgerFixture.h"
#include "import/LedgerImport.h"
#include "reports/XlsxFile.h"
#include "store/Dictionary.h"
#include "store/RefTables.h"

namespace {

using exo::Value;
using ledgertest::LedgerCompany;
using ledgertest::Line;
namespace fs = std::filesystem;
namespace store = exo::store;
namespace consolidation = exo::consolidation;

const std::vector<Line> kJanuary = {
    {"CE", "00000001", "5.1.05.06", "00005", 1000},
    {"CE", "00000001", "5.1.05.06", "00017", -250},
    {"CE", "00000003", "1.4.05", "00005", 5000},
    {"FC", "00000004", "1.4.05", "00017", 6000},  // not a purchase: left out of 5007
    {"CC", "00000005", "1.4.05.10", "00020", 7000},
    {"CE", "00000006", "1.5.05", "00005", 8000},
    {"FC", "00000010", "4.1.35.05", "00005", -20000},
    {"FC", "00000010", "4.1.35.05", "00005", -5000},
    {"FC", "00000010", "2.4.08.01", "00005", -4000},
    {"FC", "00000011", "2.4.08.01", "00017", -1600},
};
const std::vector<Line> kFebruary = {
    {"CE", "00000020", "5.1.05.06", "99999", 300},
    {"FC", "00000021", "4.1.35.05", "00020", -9000},
    {"FC", "00000021", "2.4.08.01", "00020", -1440},
    {"NC", "00000022", "5.1.05.06", "00020", 450},
};

class Coverage : public ::testing::Test {
 protected:
  void SetUp() override {
    c.writeDirectory({{"00005", "800100200"}, {"00017", "900300400"}, {"00020", "71222333"}});
    c.writeChart({{"1.4.05", "", 0}});
    c.writePeriod(0, {});
    c.writePeriod(1, kJanuary);
    c.writePeriod(2, kFebruary);
    store::RefData ref;
    ref.concepts.push_back({"1001", "5002", "Honorarios", 100000, "1", "MONTO > 0"});
    ref.concepts.push_back({"1001", "5007", "Compras", 0, "1", ""});
    ref.concepts.push_back({"1007", "4001", "Ingresos", 0, "2", ""});
    store::writeRefTables(ref, c.folders.program.string());
    ASSERT_TRUE(exo::import::IMPORTATRACON(*c.session, c.engine).done);
    // Lines without a third party, as the year's table may hold them: never integrated.
    const int year =
        store::openCompanyTable(c.engine, c.work().string(), store::kYearMovements, "YEAR", false);
    for (const auto& [account, amount] : {std::pair{"5.1.05.06", 777.0}, {"1.5.05", 90000.0}}) {
      c.engine.appendBlank(year);
      c.engine.put(year, "TIPO_COMP", Value::text("CE"));
      c.engine.put(year, "CODIGO", Value::text(account));
      c.engine.put(year, "MONTO", Value::number(amount));
    }
    c.engine.close(c.ip, year);
  }

  void assign(const std::vector<std::array<std::string, 3>>& rows) {
    const std::string work = c.work().string();
    store::createCompanyTable(c.engine, work, store::kAssignments);
    const int area = store::openCompanyTable(c.engine, work, store::kAssignments, "ASIG", false);
    for (const auto& [account, format, conc] : rows) {
      c.engine.appendBlank(area);
      c.engine.put(area, "COD_CONT", Value::text(account));
      c.engine.put(area, "FORMATO", Value::text(format));
      c.engine.put(area, "CONCEPTO", Value::text(conc));
    }
    store::buildCompanyIndexes(c.engine, area, work, store::kAssignments);
    c.engine.close(c.ip, area);
  }

  LedgerCompany c;
};

const consolidation::ConceptCoverage* find(const consolidation::CoverageResult& r, int format,
                                           const std::string& conc) {
  for (const auto& k : r.concepts)
    if (k.format == format && k.conceptCode == conc) return &k;
  return nullptr;
}

TEST_F(Coverage, CoveredAndUncoveredAddUpToTheYearsThirdPartyMovements) {
  assign(
      {{"5.1.05.06", "1001", "5002"}, {"1.4.05", "1001", "5007"}, {"4.1.35.05", "1007", "4001"}});
  ASSERT_TRUE(consolidation::IMPORTACONTAB(*c.session, c.engine).done);
  const consolidation::CoverageResult r = consolidation::coverageReport(*c.session, c.engine);
  ASSERT_TRUE(r.done);

  std::int64_t lines = 0;
  double total = 0;
  for (const auto* month : {&kJanuary, &kFebruary})
    for (const Line& l : *month)
      if (!l.ctaDir.empty()) ++lines, total += l.monto;
  EXPECT_EQ(r.partyLines, lines);
  EXPECT_DOUBLE_EQ(r.partyTotal, total);
  EXPECT_EQ(r.coveredLines + r.uncoveredLines, r.partyLines);
  EXPECT_DOUBLE_EQ(r.coveredTotal + r.uncoveredTotal, r.partyTotal);
  EXPECT_EQ(r.uncoveredLines, 5);

  // Largest movement first; the line without a third party on 1.5.05 is not counted.
  ASSERT_EQ(r.uncovered.size(), 3u);
  EXPECT_EQ(r.uncovered[0].account, "1.5.05");
  EXPECT_DOUBLE_EQ(r.uncovered[0].debits, 8000);
  EXPECT_EQ(r.uncovered[1].account, "2.4.08.01");
  EXPECT_EQ(r.uncovered[1].lines, 3);
  EXPECT_DOUBLE_EQ(r.uncovered[1].credits, -7040);
  EXPECT_EQ(r.uncovered[2].account, "1.4.05.10");

  // 5002: 777 without a third party, the credit of -250 left out by "MONTO > 0", every
  // integrated third party under the threshold of 100000.
  const auto* fees = find(r, 1, "5002");
  ASSERT_NE(fees, nullptr);
  EXPECT_DOUBLE_EQ(fees->ledger, 2277);
  EXPECT_DOUBLE_EQ(fees->withoutParty, 777);
  EXPECT_DOUBLE_EQ(fees->integrated, 1750);
  EXPECT_EQ(fees->integratedLines, 3);
  EXPECT_DOUBLE_EQ(fees->filtered(), -250);
  EXPECT_DOUBLE_EQ(fees->minor, 1750);
  // 5007 takes only the purchase vouchers of inventory accounts.
  const auto* purchases = find(r, 1, "5007");
  ASSERT_NE(purchases, nullptr);
  EXPECT_DOUBLE_EQ(purchases->integrated, 5000);
  EXPECT_DOUBLE_EQ(purchases->filtered(), 6000);
  const auto* income = find(r, 7, "4001");
  ASSERT_NE(income, nullptr);
  EXPECT_DOUBLE_EQ(income->integrated, -34000);
  EXPECT_DOUBLE_EQ(income->filtered(), 0);

  const exo::reports::XlsxRead book = exo::reports::openXlsx(r.workbook);
  ASSERT_TRUE(book.book.has_value()) << book.error;
  const auto& sheets = book.book->sheets();
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0].name, "Cuentas sin concepto");
  EXPECT_EQ(sheets[1].name, "Conceptos");
  EXPECT_EQ(sheets[2].name, "Cuentas en dos conceptos");
  const exo::reports::Cell* first = sheets[0].find(6, 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(book.book->text(first->text), "1.5.05");
  // The three summary lines under the accounts: uncovered, covered, the year's.
  ASSERT_NE(sheets[0].find(12, 5), nullptr);
  EXPECT_DOUBLE_EQ(sheets[0].find(10, 5)->num + sheets[0].find(11, 5)->num,
                   sheets[0].find(12, 5)->num);
  EXPECT_DOUBLE_EQ(sheets[0].find(12, 5)->num, total);
}

TEST_F(Coverage, WithoutIntegrationItStopsOnTheReadinessMessage) {
  assign({{"5.1.05.06", "1001", "5002"}});
  c.ui.clear();
  const consolidation::CoverageResult r = consolidation::coverageReport(*c.session, c.engine);
  EXPECT_FALSE(r.done);
  EXPECT_FALSE(fs::exists(r.workbook));
  EXPECT_EQ(c.ui.callsOf("message").size(), 1u);
}

}  // namespace

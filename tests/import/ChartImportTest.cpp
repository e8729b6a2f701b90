// The chart import and the maintenance of the assignment table over ledger and company files
// written by the test.
#include <gtest/gtest.h>

#include "LedgerFixture.h"
#include "import/LedgerImport.h"
#include "store/Cdx.h"
#include "store/RefTables.h"

namespace {

using namespace ledgertest;
using exo::import::AUTOMANTENIM;
using exo::import::IMPORTAPUC;

class ChartImport : public ::testing::Test, public LedgerCompany {
 protected:
  void SetUp() override {
    writeChart({{"5.2.95", "", 1},
                {"1.1.05", "", 0},
                {"5.2.95", "", 2},   // the same code again: the first one stays
                {"2.3.65", "X", 3},  // not in use
                {"1.1.", "", 0}});
  }
};

TEST_F(ChartImport, FirstRowOfEachCodeInUseIsCopied) {
  // An old chart copy with an account the ledger no longer has.
  writeTable(work() / "VRMAEEXO.DBF", {{"CODIGO", 'C', 20, 0}}, {{{"CODIGO", Value::text("9.")}}});
  const auto r = IMPORTAPUC(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.accounts, 4);
  EXPECT_EQ(r.copied, 3);
  // In the order of the ledger's index: by code.
  EXPECT_EQ(
      column("VRMAEEXO.DBF", "CODIGO"),
      (std::vector<std::string>{std::string("1.1.") + std::string(16, ' '),
                                "1.1.05" + std::string(14, ' '), "5.2.95" + std::string(14, ' ')}));
  EXPECT_EQ(column("VRMAEEXO.DBF", "POR_RET").back(), "1.000000");
  // The structure of the ledger's chart and the tag "Codigo".
  exo::store::Dbf copy = exo::store::Dbf::open((work() / "VRMAEEXO.DBF").string());
  exo::store::Dbf original = exo::store::Dbf::open((ledger() / "VRMAE.DBF").string());
  ASSERT_EQ(copy.fields().size(), original.fields().size());
  for (std::size_t i = 0; i < copy.fields().size(); ++i) {
    EXPECT_EQ(copy.fields()[i].name, original.fields()[i].name);
    EXPECT_EQ(copy.fields()[i].length, original.fields()[i].length);
  }
  const int area = engine.open((work() / "VRMAEEXO.DBF").string(), "C", true, true);
  engine.addIndex(area, "VRMAEEXX.CDX");
  ASSERT_EQ(engine.orders(area).size(), 1u);
  EXPECT_EQ(engine.orders(area)[0].tag, "CODIGO");
  EXPECT_EQ(engine.orders(area)[0].forCondition, "!Deleted()");
  engine.setOrder(area, "Codigo");
  EXPECT_FALSE(engine.seekKey(area, Value::text("2.3.65")));  // APLICA not empty
  engine.close(ip, area);

  EXPECT_EQ(statusTexts(0),
            (std::vector<std::string>{"Procesando.....", "Proceso terminado....."}));
  const auto meter = ui.callsOf("meterBegin");
  ASSERT_EQ(meter.size(), 1u);
  EXPECT_EQ(meter[0].number, 4);
  EXPECT_EQ(ui.callsOf("meterAdvance").size(), 4u);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ChartImport, AnAccountWhoseKeyTheLedgerIndexLacksIsCopiedAllTheSame) {
  // A chart of 5 + 30 accounts whose index lost the key of "1.1.05" (record 2), far from the
  // last records an open looks at.
  std::vector<std::tuple<std::string, std::string, double>> accounts = {
      {"5.2.95", "", 1}, {"1.1.05", "", 0}, {"5.2.95", "", 2}, {"2.3.65", "X", 3}, {"1.1.", "", 0}};
  for (int i = 0; i < 30; ++i) accounts.emplace_back("9.9." + std::to_string(10 + i), "", 0);
  writeChart(accounts);
  {
    exo::store::Cdx index =
        exo::store::Cdx::open((ledger() / "VRMAEX1.CDX").string(), {false, false, 0});
    ASSERT_TRUE(index.deleteKey(0, " 1.1.05" + std::string(14, ' '), 2));
    index.close();
  }
  const auto r = IMPORTAPUC(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.accounts, 34);
  EXPECT_EQ(r.copied, 33);
  // Still in code order, and the first "5.2.95" (1 %) kept.
  const auto codes = column("VRMAEEXO.DBF", "CODIGO");
  ASSERT_EQ(codes.size(), 33u);
  EXPECT_EQ(codes[0], std::string("1.1.") + std::string(16, ' '));
  EXPECT_EQ(codes[1], "1.1.05" + std::string(14, ' '));
  EXPECT_EQ(codes[2], "5.2.95" + std::string(14, ' '));
  EXPECT_EQ(codes[3], "9.9.10" + std::string(14, ' '));
  EXPECT_EQ(column("VRMAEEXO.DBF", "POR_RET")[2], "1.000000");
}

TEST_F(ChartImport, ADamagedLedgerChartLeavesTheCopyAsItWas) {
  ASSERT_TRUE(IMPORTAPUC(*session, engine).done);
  const std::string before = readBytes(work() / "VRMAEEXO.DBF");
  const std::string index = readBytes(work() / "VRMAEEXX.CDX");
  fs::resize_file(ledger() / "VRMAE.DBF", fs::file_size(ledger() / "VRMAE.DBF") - 40);
  EXPECT_THROW(IMPORTAPUC(*session, engine), exo::FailureError);
  EXPECT_EQ(readBytes(work() / "VRMAEEXO.DBF"), before);
  EXPECT_EQ(readBytes(work() / "VRMAEEXX.CDX"), index);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(ChartImport, MaintenanceFillsEmptyNaturesRemovesDeletedAndReloadsTheChart) {
  // The concepts of the program folder: 1001/5002 of nature "1", 1003/1301 of nature "2".
  const fs::path concepts = folders.program / exo::store::kConceptsFile;
  writeTable(concepts, exo::store::conceptsFields(),
             {{{"FORMATO", Value::text("1001")},
               {"CONCEPTO", Value::text("5002")},
               {"TIPO", Value::text("1")}},
              {{"FORMATO", Value::text("1003")},
               {"CONCEPTO", Value::text("1301")},
               {"TIPO", Value::text("2")}}});
  index(concepts, exo::store::kConceptsIndex, "FormConc", "FORMATO+CONCEPTO", "!Deleted()");
  // The assignments: empty nature, a nature already set, a deleted one, an unknown concept.
  auto row = [](const char* code, const char* format, const char* conc, const char* nature) {
    return std::map<std::string, Value>{{"COD_CONT", Value::text(code)},
                                        {"FORMATO", Value::text(format)},
                                        {"CONCEPTO", Value::text(conc)},
                                        {"NATURALEZ", Value::text(nature)}};
  };
  writeTable(work() / "CodCont.dbf", exo::store::tableDef(exo::store::kAssignments).fields,
             {row("5.2.95", "1001", "5002", ""), row("2.3.65", "1003", "1301", "4"),
              row("1.1.05", "1001", "5002", ""), row("9.9", "1009", "9999", "")});
  {
    const int area = engine.open((work() / "CodCont.dbf").string(), "D", false);
    engine.goTo(ip, area, 3);
    engine.deleteRecord(ip, area);
    engine.close(ip, area);
  }
  ASSERT_TRUE(AUTOMANTENIM(*session, engine));
  EXPECT_EQ(column("CodCont.dbf", "NATURALEZ"), (std::vector<std::string>{"1", "4", " "}));
  exo::store::Dbf codes = exo::store::Dbf::open((work() / "CodCont.dbf").string());
  EXPECT_EQ(codes.recordCount(), 3u);  // the deleted assignment removed for good
  const int area = engine.open((work() / "CodCont.dbf").string(), "C", true, true);
  engine.addIndex(area, "CodContx.cdx");
  EXPECT_EQ(engine.orders(area).size(), 2u);
  engine.close(ip, area);
  EXPECT_EQ(column("VRMAEEXO.DBF", "CODIGO").size(), 3u);  // the chart imported again
}

}  // namespace

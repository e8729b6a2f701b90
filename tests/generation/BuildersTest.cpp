// The output records of the formats built from real format movement tables: thresholds and the
// minor-amounts record, totals of zero or less, the separate threshold of concept 5001, the
// balances of 1008 and 1009, the returns of 1007, the retention bases of 1002; and the file
// names and header defaults of a run.
#include <gtest/gtest.h>

#include "consolidation/Bases.h"
#include "consolidation/BasesFixture.h"
#include "consolidation/BasesSupport.h"
#include "generation/Builders.h"
#include "generation/Generation.h"
#include "generation/XmlWriter.h"
#include "masterdata/ThirdParty.h"
#include "shell/RunFiles.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace {

namespace fs = std::filesystem;
using basestest::Company;
using basestest::Movement;
using namespace exo;

const std::vector<std::string> kFields = {"CTA_DIR", "CONC", "FORM", "MONTO", "VLR_ADIC1"};

// The records of the output table of `format`, in its order, as "CTA_DIR|CONC|FORM|MONTO|ADIC".
std::vector<std::string> build(Company& c, int format) {
  consolidation::ScratchFiles scratch(c.work());
  shell::OpenAreas areas(c.engine);
  const generation::BuildResult r =
      generation::buildRecords(*c.session, c.engine, areas, scratch, format);
  if (!r.built) return {"not built"};
  EXPECT_EQ(c.engine.areaOf("TraCon"), r.area);
  return c.rows(r.area, kFields);
}

void noScratchLeft(Company& c) {
  for (const auto& e : fs::directory_iterator(c.work())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name.find("TotDat") == std::string::npos && name != "vrTraCx2.cdx" &&
                name.find("Tmp1007") == std::string::npos)
        << name;
  }
}

TEST(FormatBuilders, ThresholdMinorAmountsAndDroppedTotals) {
  Company c;
  // Threshold 1000 for every concept of 1005; debits count as they are (nature 1).
  c.formatTable("1005", {{"A0001", "2408", "2408", 1000, "1", 1000},  // exactly the threshold
                         {"B0002", "2408", "2408", 300, "1", 1000},   // below: minor amounts
                         {"C0003", "2408", "2408", 200, "1", 1000},   // below: minor amounts
                         {"D0004", "2408", "2408", -50, "1", 1000},   // negative: dropped
                         {"E0005", "2408", "2408", 400, "1", 1000},   // zero in total: dropped
                         {"E0005", "2408", "2408", -400, "1", 1000}});
  EXPECT_EQ(build(c, 5),
            (std::vector<std::string>{"A0001|2408|1005|1000|0", "B0002|2408|Meno|500|0"}));
  noScratchLeft(c);
}

TEST(FormatBuilders, AThirdPartysTotalLeavesDeletedMovementsOutAndTakesItsFirstMovementsThreshold) {
  Company c;
  c.formatTable("1005", {{"A0001", "2408", "2408", 600, "1", 1000},
                         {"A0001", "2408", "2408", 900, "1", 1000},  // deleted below
                         {"B0002", "2408", "2408", 700, "1", 2000},  // B0002's first movement
                         {"B0002", "2409", "2409", 800, "1", 100}});
  const int t = c.engine.open((c.work() / "TrF1005.dbf").string(), "T1005", false);
  c.engine.goTo(c.ip, t, 2);
  c.engine.deleteRecord(c.ip, t);
  c.engine.close(c.ip, t);
  // A0001: 600 alone, under 1000. B0002: 1500 under the threshold of its first movement (2000),
  // although its other movement's threshold (100) is below it: both go to the minor amounts.
  EXPECT_EQ(build(c, 5),
            (std::vector<std::string>{"A0001|2408|Meno|1300|0", "B0002|2409|Meno|800|0"}));
  noScratchLeft(c);
}

TEST(FormatBuilders, OneThresholdPerThirdPartyOverAllItsConceptsSignedByNature) {
  Company c;
  // Credit nature: the amounts are negative in the ledger and reported positive. The third
  // party's total over both concepts (1200) reaches the threshold of its first movement.
  c.formatTable("1005", {{"A0001", "2408", "2408", -700, "2", 1000},
                         {"A0001", "2409", "2409", -500, "2", 1000},
                         {"B0002", "2408", "2408", -600, "2", 1000},
                         {"B0002", "2409", "2409", -100, "2", 1000}});
  EXPECT_EQ(build(c, 5),
            (std::vector<std::string>{"A0001|2408|1005|700|0", "B0002|2408|Meno|600|0",
                                      "A0001|2409|1005|500|0", "B0002|2409|Meno|100|0"}));
}

TEST(FormatBuilders, Concept5001HasItsOwnThresholdIn1001) {
  Company c;
  // A0001: 5001 under its threshold, 5002 above: bucketed for 5001 only. Amounts as stored.
  c.formatTable("1001", {{"A0001", "5105", "5001", 300, "1", 1000},
                         {"A0001", "5110", "5002", 5000, "1", 1000},
                         {"B0002", "5105", "5001", 2000, "1", 1000},
                         {"C0003", "5105", "5001", 100, "1", 1000}});
  EXPECT_EQ(build(c, 1),
            (std::vector<std::string>{"B0002|5001|1001|2000|0", "A0001|5001|Meno|400|0",
                                      "A0001|5002|1001|5000|0"}));
}

TEST(FormatBuilders, BalancesOf1008KeepNegativesInTheBucketAnd1318CarriesItsMark) {
  Company c;
  c.formatTable("1008", {{"A0001", "1305", "1315", 5000, "1", 1000},
                         {"B0002", "1305", "1315", 300, "1", 1000},
                         {"C0003", "1305", "1315", -900, "1", 1000},   // bucket total not positive
                         {"D0004", "1399", "1318", 200, "1", 1000},    // negated for 1318: bucket
                         {"E0005", "1305", "1316", 0.4, "1", 1000}});  // rounds to 0: left out
  EXPECT_EQ(build(c, 8),
            (std::vector<std::string>{"A0001|1315|1008|5000|0", "D0004|1318|1318|200|0"}));
}

TEST(FormatBuilders, BalancesOf1009GoToTheBucketWhenTheirOwnAmountIsPositive) {
  Company c;
  c.formatTable("1009", {{"A0001", "2205", "2201", -5000, "2", 1000},   // 5000 >= 1000: reported
                         {"B0002", "2205", "2201", 700, "2", 1000},     // own amount > 0: bucket
                         {"C0003", "2205", "2201", -200, "2", 1000}});  // below: bucket
  // The bucket's total is 200 - 700 = -500 after the sign of nature 2: not positive, dropped.
  EXPECT_EQ(build(c, 9), (std::vector<std::string>{"A0001|2201|1009|5000|0"}));
}

TEST(FormatBuilders, RecordsComeByThirdPartyAndConceptInCollationOrderAsAnIndexWalksThem) {
  Company c;
  // Codes whose byte order differs from the Spanish collation (accented letters beside their
  // base letter, \321 after N); N0002 has two movements under one concept: one record, its first
  // movement's account, the amounts added up.
  c.formatTable("1005", {{"\3210001", "2408", "2408", 500, "1", 100},
                         {"N0002", "2408", "2408", 500, "1", 100},
                         {"O0003", "2408", "2408", 500, "1", 100},
                         {"\3010004", "2408", "2408", 500, "1", 100},
                         {"B0005", "2408", "2408", 500, "1", 100},
                         {"N0002", "2409", "2408", 250, "1", 100},
                         {"A0006", "2408", "2408", 500, "1", 100}});
  // What a total of the table in the order of an index on CTA_DIR+CONC gives.
  std::vector<std::string> expected;
  {
    const std::string table = (c.work() / "TrF1005.dbf").string();
    const std::string totals = (c.work() / "Esperado.dbf").string();
    const int t = c.engine.open(table, "T1005", false);
    c.engine.buildIndex(t, (c.work() / "Esperado.cdx").string(), "Clave", "CTA_DIR+CONC",
                        store::kNotDeleted);
    c.engine.setOrder(t, "Clave");
    c.engine.total(t, totals, "CTA_DIR+CONC", {"MONTO"});
    c.engine.close(c.ip, t);
    const int e = c.engine.open(totals, "ESPERADO", false);
    expected = c.rows(e, {"CTA_DIR", "CODIGO", "MONTO"});
    c.engine.close(c.ip, e);
  }
  ASSERT_EQ(expected.size(), 6u);
  EXPECT_EQ(expected[0], "A0006|2408|500");
  EXPECT_EQ(expected[1], "\3010004|2408|500");
  EXPECT_EQ(expected[3], "N0002|2408|750");
  EXPECT_EQ(expected[4], "\3210001|2408|500");

  consolidation::ScratchFiles scratch(c.work());
  shell::OpenAreas areas(c.engine);
  const generation::BuildResult r =
      generation::buildRecords(*c.session, c.engine, areas, scratch, 5);
  ASSERT_TRUE(r.built);
  EXPECT_EQ(c.rows(r.area, {"CTA_DIR", "CODIGO", "MONTO"}), expected);
}

TEST(FormatBuilders, SaleReturnsOf1007AreReportedAsReturnsAndTheTableIsLeftAlone) {
  Company c;
  c.formatTable("1007", {{"A0001", "4135", "4001", -9000, "2", 1000},
                         {"A0001", "4175", "4001", 1500, "2", 1000}});
  const int t = c.engine.open((c.work() / "TrF1007.dbf").string(), "T1007", false);
  c.engine.goTo(c.ip, t, 2);
  c.engine.put(t, "TIPO_COMP", Value::text("FD"));
  c.engine.put(t, "MONTO", Value::number(-1500));
  c.engine.put(t, "VLR_ADIC1", Value::number(0));
  c.engine.close(c.ip, t);
  // The FD voucher's -1500 moves to returns; income 9000 stays.
  EXPECT_EQ(build(c, 7), (std::vector<std::string>{"A0001|4001|1007|9000|-1500"}));
  const int again = c.engine.open((c.work() / "TrF1007.dbf").string(), "T1007", false);
  c.engine.goTo(c.ip, again, 2);
  EXPECT_EQ(c.engine.number(again, "MONTO"), -1500);
  c.engine.close(c.ip, again);
  noScratchLeft(c);
}

TEST(FormatBuilders, RetentionBasesOf1002AndTheMinorAmountsBaseAddsUp) {
  Company c;
  c.chart({{"2365050001", 10, "RETENCION"}});
  c.directory({terceros::sound("A0001"), terceros::sound("B0002"), terceros::sound("C0003")});
  c.formatTable("1002", {{"A0001", "2365050001", "2304", -5000, "2", 1000},
                         {"B0002", "2365050001", "2304", -100, "2", 1000},
                         {"C0003", "2365050001", "2304", -200, "2", 1000},
                         {"A0001", "2365050001", "2302", -300, "2", 1000}});
  ASSERT_TRUE(consolidation::RESUMEN1002(*c.session, c.engine, true).done);
  c.engine.closeAll(c.ip);
  // Bases at 10 %: 50000, 1000, 2000; concept 2302 works its base back from the rate.
  EXPECT_EQ(build(c, 2),
            (std::vector<std::string>{"A0001|2302|1002|300|3000", "A0001|2304|1002|5000|50000",
                                      "B0002|2304|Meno|300|3000"}));
}

TEST(FormatBuilders, MissingBasesAreFlagged) {
  Company c;
  c.chart({{"2365050001", 0, "RETENCION"}});
  c.directory({terceros::sound("A0001")});
  c.formatTable("1002", {{"A0001", "2365050001", "2304", -5000, "2", 1000}});
  ASSERT_TRUE(consolidation::RESUMEN1002(*c.session, c.engine, true).done);
  c.engine.closeAll(c.ip);
  consolidation::ScratchFiles scratch(c.work());
  shell::OpenAreas areas(c.engine);
  EXPECT_TRUE(generation::buildRecords(*c.session, c.engine, areas, scratch, 2).missingBases);
}

TEST(GenerationNames, FilesOfARun) {
  generation::Header h = generation::defaultHeader(1, "7", "1  ", "20081105093010");
  h.ano = "2008";
  EXPECT_EQ(generation::xmlFileName(h), "Dmuisca_010100107200800000001.xml");
  EXPECT_EQ(h.numEnv, "1  ");
  EXPECT_EQ(h.fecEnv, "2008-11-05T09:30:10");
  EXPECT_EQ(h.fecIni, "2008-01-01");
  EXPECT_EQ(h.fecFin, "2008-12-31");
  h.codCpt = std::string(generation::kReplacement);
  EXPECT_EQ(generation::xmlFileName(h).substr(0, 10), "Dmuisca_02");
  h.versi = "10";  // both of the name's places for the version
  EXPECT_EQ(generation::xmlFileName(h), "Dmuisca_020100110200800000001.xml");
  // Whatever was typed as the sending number, the driver names the file the writer writes.
  for (const char* typed : {"-3", "123456789012", " 7x", "1.9"}) {
    h.numEnv = typed;
    const generation::XmlHeader x{h.ano,    "2",      h.format, h.versi,
                                  h.numEnv, h.fecEnv, h.fecIni, h.fecFin};
    EXPECT_EQ(generation::xmlFileName(h), generation::xmlFileName(x, 1)) << typed;
  }
  EXPECT_EQ(generation::defaultHeader(12, "08", "", "20100101000000").versi, "8");
  EXPECT_EQ(generation::defaultHeader(12, "", "", "20100101000000").versi, "0");
  EXPECT_EQ(generation::defaultHeader(12, "", "", "20100101000000").format, "1012");
  EXPECT_EQ(generation::excelDefinition(1), "MMG01EC.RPO");
  EXPECT_EQ(generation::xmlDefinition(12), "MMG12XC.RPO");
  EXPECT_EQ(generation::companyCode("NRVVS\\EMPRESA1\\"), "EMPRESA1");
  Company c;
  EXPECT_EQ(generation::workbookPath(*c.session, 3).filename().string(), "EMP1-MMgmExc03.xlsx");
}

TEST(GenerationDriver, MissingPreparedDataStopsWithItsMessage) {
  Company c;
  c.formatTable("1002", {{"A0001", "2365050001", "2304", -5000, "2", 1000}});
  c.formatTable("1010", {});
  consolidation::ScratchFiles scratch(c.work());
  shell::OpenAreas areas(c.engine);
  // Without its manual-data table, 1010 has nothing to build.
  EXPECT_FALSE(generation::buildRecords(*c.session, c.engine, areas, scratch, 10).built);
}

TEST(OutputThirdParty, MinorAmountsTakeTheGenericIdentification) {
  masterdata::DirectoryEntry e{"A0001",    "PEREZ  JUAN", "1010", "N",   "13",
                               "79123456", "CL 1",        "11",   "001", "0169"};
  const auto person =
      masterdata::TDatosTercero::New(e, "5001", "PEREZ JUAN", "1001", "", "", "", "0169");
  EXPECT_EQ(person.record().priApell, "PEREZ");
  EXPECT_EQ(person.record().priNomb, "JUAN");
  EXPECT_EQ(person.record().nit2, "79123456");
  EXPECT_EQ(person.concepto, "5001");
  const auto minor =
      masterdata::TDatosTercero::New(e, "5001", "PEREZ JUAN", "Meno", "CRA 2", "05", "001", "0169");
  EXPECT_EQ(minor.record().nit2, "222222222");
  EXPECT_EQ(minor.record().tipoDoc, "43");
  EXPECT_EQ(minor.record().digVerf, "");
  EXPECT_EQ(minor.record().priApell + minor.record().priNomb, "");
  EXPECT_EQ(minor.record().razonSoc, "CUANTIAS MENORES");
  EXPECT_EQ(minor.record().direccion, "CRA 2");
  EXPECT_EQ(minor.record().codPais, "169");
  // A foreigner keeps the country of the directory and is judged by rule 3.
  masterdata::DirectoryEntry f = e;
  f.pais = "0249";
  f.tpP = "J";
  f.estrNomb = "0000";
  f.tpN = "31";
  const auto foreign = masterdata::TDatosTercero::New(f, "5001", "X", "1001", "", "", "", "");
  EXPECT_EQ(foreign.record().codPais, "249");
  EXPECT_NE(foreign.record().cError.find("Error 3"), std::string::npos);
}

}  // namespace

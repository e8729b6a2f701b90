// The withholding bases of formats 1002 and 1003 built from real format movement tables: the
// default percentages and base formulas, the threshold and the grouped minor amounts, the hidden
// concept, the percentages edited, and the restore question.
#include <gtest/gtest.h>

#include <cmath>

#include "BasesFixture.h"
#include "consolidation/Bases.h"

namespace {

namespace fs = std::filesystem;
using basestest::Company;
using basestest::Movement;
using namespace exo;
using consolidation::Percentages;

TEST(WithholdingBases, DefaultPercentagesAndBasesOfFormat1002) {
  Company c;
  c.chart({{"2365050001", 3.5, "RETENCION SERVICIOS"},
           {"2365100001", 0, "RETENCION HONORARIOS"},
           {"2367050001", 0, "RETEIVA"}});
  c.directory({terceros::sound("A0001", "ALFA LTDA"), terceros::sound("B0002", "BETA SA")});
  // Credit nature: the amount withheld is booked as a credit (negative).
  c.formatTable("1002", {{"A0001", "2367050001", "2320", -1600, "2"},
                         {"A0001", "2367050001", "2318", -800, "2"},
                         {"A0001", "2365050001", "2304", -350, "2"},
                         {"B0002", "2365100001", "2305", -500, "2"},
                         {"B0002", "2365050001", "2302", -90, "2"}});
  const auto r = consolidation::RESUMEN1002(*c.session, c.engine, true);
  ASSERT_TRUE(r.done);
  EXPECT_TRUE(r.built);
  EXPECT_EQ(r.rows, 5);
  EXPECT_EQ(r.hidden, 1);
  EXPECT_EQ(c.engine.areaOf("BaseRet"), r.area);
  // Concept 2320 at 100 %, 2318 at 50 % with 16 % VAT, 2304 with its account's 3.50 %, 2305 on
  // an account without a percentage gets none and a base of 0; 2302 is not in view.
  EXPECT_EQ(
      c.rows(r.area, {"CTA_DIR", "NOMBRE", "CONC", "MONTO", "POR_RET", "POR_IVA", "BASE_RET"}),
      (std::vector<std::string>{
          "A0001|ALFA LTDA|2304|350|3.50|0|10000", "A0001|ALFA LTDA|2318|800|50|16|10000",
          "A0001|ALFA LTDA|2320|1600|100|16|10000", "B0002|BETA SA|2305|500|0|0|0"}));
  // The table keeps the hidden concept's row; the view hides it.
  c.engine.setFilter(c.ip, r.area, "");
  EXPECT_EQ(c.engine.keyCount(c.ip, r.area), 5);
  EXPECT_TRUE(c.ui.callsOf("waitOpen").size() == 1 && !c.ui.waitIsOpen());
  c.engine.closeAll(c.ip);
  // No working file is left behind.
  for (const auto& e : fs::directory_iterator(c.work())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name.find("TotDat") == std::string::npos && name != "vrTraCx2.cdx" &&
                name.front() != '~')
        << name;
  }
}

TEST(WithholdingBases, ThresholdOverAllConceptsAndGroupedMinorAmounts) {
  Company c;
  c.chart({{"2365050001", 10, "RETENCION"}});
  c.directory({terceros::sound("A0001", "ALFA LTDA"), terceros::sound("B0002", "BETA SA"),
               terceros::sound("C0003", "GAMA SA"), terceros::sound("D0004", "DELTA SA")});
  // Threshold 1000 on every concept; debit nature.
  c.formatTable("1003", {{"A0001", "2365050001", "1301", 900, "1", 1000},
                         {"A0001", "2365050001", "1303", 200, "1", 1000},  // total 1100: kept
                         {"B0002", "2365050001", "1303", 300, "1", 1000},  // minor
                         {"C0003", "2365050001", "1303", 100, "1", 1000},  // minor
                         {"D0004", "2365050001", "1303", -50, "1", 1000},  // total < 0: dropped
                         {"Z9999", "2365050001", "1302", 5000, "1", 1000}});
  const auto r = consolidation::RESUMEN1003(*c.session, c.engine, true);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.hidden, 1);
  // A0001 keeps both concepts, even the small one; the minor amounts of B0002 and C0003 make one
  // row of concept 1303 under the first minor third party; the unknown Z9999 is named as such.
  EXPECT_EQ(c.rows(r.area, {"CTA_DIR", "NOMBRE", "NIT", "CONC", "MONTO", "BASE_RET"}),
            (std::vector<std::string>{"A0001|ALFA LTDA|NIT-A0001|1301|900|9000",
                                      "A0001|ALFA LTDA|NIT-A0001|1303|200|2000",
                                      "B0002|BETA SA|NIT-B0002|1303|400|4000"}));
  c.engine.setFilter(c.ip, r.area, "");
  // The hidden concept's rows keep their place among the third parties; grouped rows come last.
  EXPECT_EQ(c.rows(r.area, {"CTA_DIR", "NOMBRE", "CONC"}),
            (std::vector<std::string>{"A0001|ALFA LTDA|1301", "A0001|ALFA LTDA|1303",
                                      "Z9999|** NO REGISTRADO **|1302", "B0002|BETA SA|1303"}));
  c.engine.closeAll(c.ip);
}

TEST(WithholdingBases, RoundingIsHalfAwayFromZero) {
  // 1 / 0.40 = 2.5 and -1 / 0.40 = -2.5.
  EXPECT_EQ(consolidation::initialBase(1, {40, 0}, false), 3);
  EXPECT_EQ(consolidation::initialBase(-1, {40, 0}, false), -3);
  // 7 / 0.16 / 0.50 = 87.5.
  EXPECT_EQ(consolidation::initialBase(7, {50, 16}, true), 88);
  // A zero percentage in a divisor gives 0 when the row is built; an edited VAT of 0 divides
  // by 1 instead.
  EXPECT_EQ(consolidation::initialBase(800, {50, 0}, true), 0);
  EXPECT_EQ(consolidation::editedBase(800, {50, 0}, true), 1600);
  EXPECT_EQ(consolidation::editedBase(800, {0, 16}, true), 0);
  // Amounts up to the width of the fields are exact.
  EXPECT_EQ(consolidation::initialBase(99999999999999999.0, {100, 0}, false), 99999999999999999.0);
}

TEST(WithholdingBases, EditedPercentagesRecomputeTheBaseUnderTheRowLock) {
  Company c;
  c.chart({{"1355150001", 0, "RETEIVA"}});
  c.directory({terceros::sound("A0001")});
  c.formatTable("1003", {{"A0001", "1355150001", "1309", 400, "1"}});
  auto r = consolidation::RESUMEN1003(*c.session, c.engine, true);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(c.rows(r.area, {"POR_RET", "POR_IVA", "BASE_RET"}),
            std::vector<std::string>{"50|16|5000"});
  consolidation::storePercentages(c.engine, r.area, "1003", {25, 16});
  EXPECT_EQ(c.rows(r.area, {"POR_RET", "POR_IVA", "BASE_RET"}),
            std::vector<std::string>{"25|16|10000"});
  // A VAT of 0 on a VAT withholding: the base of the retention alone.
  consolidation::storePercentages(c.engine, r.area, "1003", {50, 0});
  EXPECT_EQ(c.rows(r.area, {"BASE_RET"}), std::vector<std::string>{"800"});
  consolidation::CALCULACOLBASE(c.engine, r.area, "1003", 0, 16);
  EXPECT_EQ(c.rows(r.area, {"BASE_RET"}), std::vector<std::string>{"0"});
  consolidation::storeBase(c.engine, r.area, 12345);
  // Written at once: another opening of the file sees the typed base.
  EXPECT_EQ(c.column("TrF1003B.dbf", "BASE_RET"), std::vector<std::string>{"12345.000000"});
  c.engine.closeAll(c.ip);
}

TEST(WithholdingBases, StoredTableIsKeptUntilTheUserRestoresIt) {
  Company c;
  c.chart({{"2367050001", 0, "RETEIVA"}});
  c.directory({terceros::sound("A0001")});
  c.formatTable("1002", {{"A0001", "2367050001", "2318", -800, "2"}});
  auto r = consolidation::prepareWithholdingBases(*c.session, c.engine, 2);
  ASSERT_TRUE(r.done && r.built);
  consolidation::storeBase(c.engine, r.area, 7777);
  // A new integration changes the movements; the stored table is shown as it was.
  c.engine.closeAll(c.ip);
  c.formatTable("1002", {{"A0001", "2367050001", "2318", -1600, "2"}});
  r = consolidation::prepareWithholdingBases(*c.session, c.engine, 2);
  ASSERT_TRUE(r.done);
  EXPECT_FALSE(r.built);
  EXPECT_EQ(c.rows(r.area, {"MONTO", "BASE_RET"}), std::vector<std::string>{"800|7777"});
  // The restore question answered "No" changes nothing.
  c.ui.answer("   &No   ");
  auto declined = consolidation::RESUMEN1002(*c.session, c.engine, true, true);
  EXPECT_FALSE(declined.built);
  const auto asks = c.ui.callsOf("ask");
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_EQ(asks[0].title, "Seleccione opci\363n....");
  EXPECT_EQ(asks[0].text,
            "Si restaura valores perder\341 los que haya digitado manualmente.\r\n\r\n"
            "Seguro desea restaurarlos ?");
  EXPECT_EQ(asks[0].buttons, (std::vector<std::string>{"   &No   ", "   &Si   "}));
  EXPECT_EQ(c.rows(declined.area, {"MONTO", "BASE_RET"}), std::vector<std::string>{"800|7777"});
  // "Si" rebuilds from the new movements with the defaults.
  c.ui.answer("   &Si   ");
  r = consolidation::RESUMEN1002(*c.session, c.engine, true, true);
  ASSERT_TRUE(r.built);
  EXPECT_EQ(c.rows(r.area, {"MONTO", "BASE_RET"}), std::vector<std::string>{"1600|20000"});
  c.engine.closeAll(c.ip);
}

TEST(WithholdingBases, MissingFormatTableStopsWithTheReadinessMessage) {
  Company c;
  const auto r = consolidation::prepareWithholdingBases(*c.session, c.engine, 3);
  EXPECT_FALSE(r.done);
  const auto messages = c.ui.callsOf("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Atenci\363n, Sistema no inicializado.....");
  EXPECT_NE(messages[0].text.find("Importar Movimientos Contables"), std::string::npos);
  EXPECT_FALSE(fs::exists(c.work() / "TrF1003B.dbf"));
}

}  // namespace

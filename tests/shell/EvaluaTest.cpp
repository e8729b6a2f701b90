#include "shell/Evalua.h"

#include <gtest/gtest.h>

#include "expr/Interp.h"
#include "support/MemoryTables.h"

namespace {

using exo::Value;

TEST(Evalua, BlankIsTrueAndConditionsSeeTheSelectedRecord) {
  exo::Interp ip;
  exo::MemoryTables tables;
  ip.setWorkAreas(&tables);
  const int area = tables.open("VRTRACON", {{"CODIGO", 'C', 20, 0}, {"MONTO", 'N', 17, 2}});
  tables.addRecord(area, {Value::text("5105061"), Value::number(10)});
  EXPECT_TRUE(exo::EVALUA(ip, "   "));
  EXPECT_FALSE(exo::EVALUA(ip, ".F."));
  EXPECT_TRUE(exo::EVALUA(ip, "SubStr(CODIGO,1,4) = '5105' .AND. MONTO > 0"));
  ip.memvars().declarePublic("NTOPE", Value::number(100));
  EXPECT_FALSE(exo::EVALUA(ip, "MONTO > NTOPE"));
  EXPECT_FALSE(exo::EVALUA(ip, "MONTO"));  // not a logical value
  EXPECT_THROW(exo::EVALUA(ip, "CODIGO = "), exo::FailureError);
  EXPECT_THROW(exo::EVALUA(ip, "NOEXISTE > 1"), exo::FailureError);
}

TEST(Evalua, CicloWalksAnIndexUntilTheConditionFails) {
  exo::Interp ip;
  exo::registerEvaluaFunctions(ip);
  ip.evalText("i := 1, aLabels := Array(12)");
  exo::CICLO(ip, "{aLabels[i] := Str(i * 10, 3), i := i + 1}", "i<=12");
  EXPECT_EQ(exo::displayValue(ip.evalText("aLabels[12] + Str(i, 3)")), "120 13");
  EXPECT_EQ(exo::displayValue(ip.evalText("Type(\"Z\")")), "U");  // Z was private to the loop
  EXPECT_EQ(exo::displayValue(ip.evalText("n := 0, CICLO(\"{n++}\", \"n < 5\"), n")), "         5");
}

TEST(Evalua, DivZeroGivesZeroForAZeroDivisor) {
  EXPECT_EQ(exo::DIV_ZERO(100, 0), 0);
  EXPECT_EQ(exo::DIV_ZERO(150, 0.5), 300);
  exo::Interp ip;
  exo::registerEvaluaFunctions(ip);
  EXPECT_EQ(exo::displayValue(ip.evalText("Abs(DIV_ZERO(-50, 10 / 100))")), "       500.00");
}

}  // namespace

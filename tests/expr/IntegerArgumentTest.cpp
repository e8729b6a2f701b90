// Numbers used as integers (work areas, positions, counts, widths, record numbers, days): a NaN or
// a number beyond the range raises an argument error instead of an undefined conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "expr/Interp.h"
#include "expr/Numbers.h"
#include "support/MemoryTables.h"

namespace {

using exo::Failure;
using exo::FailureError;
using exo::GenCode;
using exo::Interp;
using exo::Value;

Failure failureOf(Interp& ip, const std::string& text) {
  try {
    ip.evalText(text);
  } catch (const FailureError& e) {
    return e.failure();
  }
  ADD_FAILURE() << "no failure for " << text;
  return {};
}

TEST(IntegerIn, TruncatesTowardZeroAndRefusesNaNAndOutOfRange) {
  EXPECT_EQ(exo::integerIn(3.9, 0, 10), 3);
  EXPECT_EQ(exo::integerIn(-3.9, -10, 10), -3);
  EXPECT_EQ(exo::integerIn(10.99, 0, 10), 10);
  EXPECT_EQ(exo::integerIn(-0.5, 0, 10), 0);
  EXPECT_FALSE(exo::integerIn(11, 0, 10));
  EXPECT_FALSE(exo::integerIn(-1, 0, 10));
  EXPECT_FALSE(exo::integerIn(std::nan(""), 0, 10));
  EXPECT_FALSE(exo::integerIn(std::numeric_limits<double>::infinity(), 0, exo::kMaxExactInteger));
  EXPECT_FALSE(exo::integerIn(-1e300, -exo::kMaxExactInteger, exo::kMaxExactInteger));
  EXPECT_EQ(exo::integerIn(9007199254740992.0, 0, exo::kMaxExactInteger), exo::kMaxExactInteger);
}

// Every expression gives a number out of any integer's range (or NaN) where an integer is meant.
TEST(IntegerArguments, HugeOrNaNNumbersAreArgumentErrorsOfTheOperation) {
  Interp ip;
  exo::MemoryTables tables;
  ip.setWorkAreas(&tables);
  const int area = tables.open("MOVTOS", {{"MONTO", 'N', 10, 2}});
  tables.addRecord(area, {Value::number(5, 2)});
  ip.evalText("nan := Exp(1000) - Exp(1000), big := 10 ^ 300");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"(20700000000)->MONTO", "->"},
      {"(nan)->MONTO", "->"},
      {"(-1)->(RecNo())", "->"},
      {"(big)->(RecNo())", "->"},
      {"Alias(big)", "ALIAS"},
      {"dbSelectArea(nan)", "DBSELECTAREA"},
      {"SubStr(\"abc\", nan)", "SUBSTR"},
      {"SubStr(\"abc\", 1, big)", "SUBSTR"},
      {"Left(\"abc\", nan)", "LEFT"},
      {"Right(\"abc\", -big)", "RIGHT"},
      {"Stuff(\"abc\", nan, 1, \"x\")", "STUFF"},
      {"Str(1, nan)", "STR"},
      {"Str(1, 5, big)", "STR"},
      {"Chr(big)", "CHR"},
      {"Round(1.5, nan)", "ROUND"},
      {"ADel({1, 2}, nan)", "ADEL"},
      {"AScan({1, 2}, 1, big)", "ASCAN"},
      {"ACopy({1}, {2}, 1, 1, nan)", "ACOPY"},
      {"FieldGet(big)", "FIELDGET"},
      {"dbSkip(big)", "DBSKIP"},
      {"dbGoto(nan)", "DBGOTO"},
      {"dbGoto(2 ^ 40)", "DBGOTO"},
      {"Date() + big", "+"},
      {"nan + Date()", "+"},
      {"Date() - nan", "-"},
      {"StoD(\"99991231\") + 1", "+"},
  };
  for (const auto& [text, operation] : cases) {
    SCOPED_TRACE(text);
    const Failure f = failureOf(ip, text);
    EXPECT_EQ(f.genCode, GenCode::Arg);
    EXPECT_EQ(f.operation, operation);
  }
  // In range, the same routes give their ordinary results.
  EXPECT_EQ(exo::displayValue(ip.evalText("(1)->MONTO")), "      5.00");
  EXPECT_EQ(exo::displayValue(ip.evalText("SubStr(\"abcdef\", 2.9, 2.9)")), "bc");
  EXPECT_EQ(exo::displayValue(ip.evalText("StoD(\"99991230\") + 1.7")), "31-12-9999");
  EXPECT_EQ(exo::displayValue(ip.evalText("StoD(\"20110301\") - 1")), "28-02-2011");
}

// Found by fuzzing: "W += W" repeated doubled a text up to a gigabyte; a join longer than the
// language's longest text is a string overflow, like Replicate() and Space().
TEST(TextLimits, JoinsStopAtTheLongestText) {
  Interp ip;
  ip.evalText("w := Replicate(\"x\", 40000000)");
  EXPECT_EQ(failureOf(ip, "w += w").genCode, GenCode::StrOverflow);
  EXPECT_EQ(failureOf(ip, "w - w").genCode, GenCode::StrOverflow);
  EXPECT_EQ(exo::displayValue(ip.evalText("Len(w + Left(w, 10))")), "  40000010");
}

// Array(100000, 100000): each dimension within bounds, ten thousand million elements together.
TEST(ArrayLimits, TheDimensionsTogetherStayWithinTheLargestArray) {
  Interp ip;
  for (const char* text : {"Array(100000, 100000)", "Array(2, 2048, 2048)", "Array(5000000)"}) {
    const Failure f = failureOf(ip, text);
    EXPECT_EQ(f.genCode, GenCode::Bound) << text;
    EXPECT_EQ(f.operation, "ARRAY") << text;
  }
  EXPECT_EQ(exo::displayValue(ip.evalText("Len(Array(2048, 2048)[2048])")), "      2048");
  EXPECT_EQ(exo::displayValue(ip.evalText("Len(Array(3, 0))")), "         3");
}

TEST(IntegerArguments, TheHandlersValueStandsForTheFailedOperation) {
  Interp ip;
  exo::MemoryTables tables;
  ip.setWorkAreas(&tables);
  tables.open("MOVTOS", {{"MONTO", 'N', 10, 2}});
  std::vector<std::string> seen;
  ip.setErrorHandler([&](Interp&, const Failure& f) {
    seen.push_back(f.operation);
    return exo::ErrorReply::substitute(Value::text("otro"));
  });
  EXPECT_EQ(exo::displayValue(ip.evalText("(20700000000)->MONTO")), "otro");
  EXPECT_EQ(exo::displayValue(ip.evalText("Left(\"abc\", 10 ^ 300) + \"!\"")), "otro!");
  EXPECT_EQ(exo::displayValue(ip.evalText("ValType(Date() + 10 ^ 300)")), "C");
  EXPECT_EQ(seen, (std::vector<std::string>{"->", "LEFT", "+"}));
}

}  // namespace

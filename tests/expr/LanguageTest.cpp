// Values of expressions in the language's display form, per function group.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expr/Interp.h"

namespace {

struct Case {
  const char* expr;
  const char* shown;
};

void expectAll(const std::vector<Case>& cases) {
  exo::Interp ip;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expr);
    try {
      EXPECT_EQ(exo::displayValue(ip.evalText(c.expr)), c.shown);
    } catch (const exo::FailureError& e) {
      ADD_FAILURE() << "failed: " << e.what();
    }
  }
}

TEST(Language, TextComparisonFollowsThePrefixRule) {
  expectAll({
      {"\"ABC\" = \"\"", ".T."},
      {"\"ABC\" = \"AB\"", ".T."},
      {"\"AB\" = \"ABC\"", ".F."},
      {"\"ABC\" == \"AB\"", ".F."},
      {"\"ABC\" == \"ABC\"", ".T."},
      {"\"ABC\" != \"AB\"", ".F."},
      {"\"ABC\" <> \"\"", ".F."},
      {"\"ABC\" # \"ABD\"", ".T."},
      {"\"AB\" < \"ABC\"", ".T."},
      {"\"ABC\" > \"AB\"", ".F."},
      {"\"\xD1U\" > \"NUBE\"", ".T."},  // Ñ sorts after N
      {"\"\xC1RBOL\" < \"B\"", ".T."},  // Á sorts with A
      {"\"ES\" $ \"MESA\"", ".T."},
      {"\"\" $ \"MESA\"", ".F."},
      {"NIL == NIL", ".T."},
      {"\"A\" = NIL", ".F."},
  });
}

TEST(Language, TextFunctions) {
  expectAll({
      {"SubStr(\"Hola mundo\", 6)", "mundo"},
      {"SubStr(\"Hola mundo\", -5, 3)", "mun"},
      {"SubStr(\"ABC\", 5)", ""},
      {"SubStr(\"ABC\", 0, 2)", "AB"},
      {"Left(\"ABC\", 5) + Right(\"ABC\", 2)", "ABCBC"},
      {"\"[\" + Trim(\"  a  \") + \"|\" + LTrim(\"  a  \") + \"|\" + AllTrim(\"  a  \") + \"]\"",
       "[  a|a  |a]"},
      {"\"ABC  \" - \"DEF\"", "ABCDEF  "},
      {"Upper(\"\xF1"
       "and\xFA\")",
       "\xD1"
       "AND\xDA"},
      {"Lower(\"\xC1RBOL\")", "\xE1rbol"},
      {"Len(\"ABCD\") + Len({1, 2})", "         6"},
      {"At(\"un\", \"Hola mundo\")", "         7"},
      {"RAt(\"o\", \"Hola mundo\")", "        10"},
      {"At(\"\", \"abc\")", "         0"},
      {"StrTran(\"a.b.c\", \".\")", "abc"},
      {"StrTran(\"a.b.c.d\", \".\", \"-\", 2, 1)", "a.b-c.d"},
      {"Stuff(\"ABCDEF\", 2, 3, \"xy\")", "AxyEF"},
      {"Replicate(\"ab\", 3) + Space(2) + \"|\"", "ababab  |"},
      {"PadL(\"7\", 3, \"0\") + PadR(\"ab\", 4, \"*\") + PadC(\"x\", 5, \"-\")", "007ab**--x--"},
      {"PadL(12, 5)", "   12"},
      {"PadR(\"abcdef\", 3)", "abc"},
      {"Chr(65) + Str(Asc(\"a\"), 3)", "A 97"},
      {"IsDigit(\"5a\") .AND. IsAlpha(\"\xF1\") .AND. IsUpper(\"\xD1\") .AND. IsLower(\"a\") .AND. "
       "!IsDigit(\"\")",
       ".T."},
      {"Empty(\"  \") .AND. Empty(0) .AND. Empty(CtoD(\"\")) .AND. Empty({}) .AND. Empty(NIL) "
       ".AND. !Empty(\"x\")",
       ".T."},
      {"Like(\"5.1.*\", \"5.1.05\") .AND. Like(\"?BC\", \"ABC\") .AND. !Like(\"A*Z\", \"ABC\")",
       ".T."},
  });
}

TEST(Language, NumbersKeepTheirDisplayWidthAndDecimals) {
  expectAll({
      {"Str(10)", "        10"},
      {"Str(1.5)", "         1.5"},
      {"Str(-3)", "        -3"},
      {"Str(123.456, 8, 2)", "  123.46"},
      {"Str(1.5, 5)", "    2"},
      {"Str(2.675, 17, 2)", "             2.68"},
      {"Str(-2.5, 4)", "  -3"},
      {"Str(12345, 3)", "***"},
      {"Str(99999999999998.75, 17, 2)", "99999999999998.75"},
      {"10 / 4", "         2.50"},
      {"10 / 5", "         2"},
      {"1.25 * 2.5", "         3.125"},
      {"7 % 3", "         1.00"},
      {"2 ** 3", "         8.00"},
      {"-2 ^ 2", "         4.00"},
      {"Round(2.675, 2)", "         2.68"},
      {"Round(-2.5, 0)", "        -3"},
      {"Round(1234.5, -2)", "      1200"},
      {"Int(-7.9) + Abs(-2)", "        -5"},
      {"Max(3, 9) + Min(3, 9)", "        12"},
      {"Mod(-7, 3)", "         2"},
      {"Sqrt(16)", "         4.00"},
      {"Round(Exp(1), 4)", "         2.7183"},
      {"Round(Log(100), 3)", "         4.605"},
      {"Val(\"  12.50xyz\")", "     12.50"},  // as wide as the text
      {"Val(\"abc\")", "  0"},
      {"1/0", "         0"},
      {"1 + 2 * 3 - 4 / 2", "         5"},
      {"1 + 4 / 3", "         2.33"},
  });
}

TEST(Language, TransformPictures) {
  expectAll({
      {"Transform(1234567.5, \"@ 999,999,999.99\")", "  1,234,567.50"},
      {"Transform(12345, \"###,###,###\")", "     12,345"},
      {"Transform(0, \"###,###,###\")", "          0"},
      {"Transform(1234567.891, \"##,###,###,###.##\")", "     1,234,567.89"},
      {"Transform(-1234.5, \"@ 999,999.99\")", " -1,234.50"},
      {"Transform(12345678, \"@ 999,999\")", "*******"},
      {"Transform(42, \"@ ###\")", " 42"},
      {"Transform(0, \"@Z 999\")", "   "},
      {"Transform(1234.5, \"@E 9,999.99\")", "1.234,50"},
      {"Transform(\"2011-12-31T10:20:30\", \"@ ####-##-##T##:##:##\")", "2011-12-31T10:20:30"},
      {"Transform(\"20111231\", \"@R ####-##-##\")", "2011-12-31"},
      {"Transform(\"a\xF1o\", \"@!\")", "A\xD1O"},
      {"Transform(\"abc\", \"!XX\")", "Abc"},
      {"Transform(.T., \"Y\")", "Y"},
      {"Transform(CtoD(\"01-02-2011\"), \"@D\")", "01-02-2011"},
  });
}

TEST(Language, DatesUseDayMonthYearAndTheNinetiesEpoch) {
  expectAll({
      {"CtoD(\"31-12-11\")", "31-12-2011"},
      {"CtoD(\"01-01-95\")", "01-01-1995"},
      {"CtoD(\"31-02-2011\")", "  -  -    "},
      {"DtoC(CtoD(\"5-3-2011\"))", "05-03-2011"},
      {"DtoS(CtoD(\"05-03-2011\"))", "20110305"},
      {"\"[\" + DtoS(CtoD(\"\")) + \"]\"", "[        ]"},
      {"StoD(\"20111231\") - StoD(\"20110101\")", "       364"},
      {"StoD(\"20111231\") + 1", "01-01-2012"},
      {"Year(StoD(\"20110305\")) + Month(StoD(\"20110305\")) + Day(StoD(\"20110305\"))",
       "      2019"},
      {"DoW(StoD(\"20111231\"))", "  7"},
      {"CMonth(StoD(\"20110305\")) + \" \" + CDoW(StoD(\"20110305\"))", "Marzo S\341bado"},
      {"{^2011-12-31} == StoD(\"20111231\")", ".T."},
      {"ValType(Date()) + ValType(Time()) + ValType(Seconds())", "DCN"},
      {"Len(Time())", "         8"},
  });
}

TEST(Language, ArraysHaveReferenceSemantics) {
  expectAll({
      {"a := {1, 2, 3}, b := a, b[2] := 20, a[2]", "        20"},
      {"a := {{1, 2}, {3, 4}}, a[2][1] + a[2, 2]", "         7"},
      {"a := Array(2, 3), Len(a) * 10 + Len(a[1])", "        23"},
      {"a := {}, AAdd(a, \"x\"), AAdd(a, \"y\"), Len(a)", "         2"},
      {"a := {1, 2, 3}, ASize(a, 5), Len(a)", "         5"},
      {"a := {1, 2, 3}, ADel(a, 1), a", "{         2,          3, NIL}"},
      {"a := {1, 2, 3}, AIns(a, 2), a", "{         1, NIL,          2}"},
      {"AScan({\"ab\", \"cd\"}, \"c\")", "         2"},
      {"AScan({5, 6, 7}, {|x| x > 5})", "         2"},
      {"ASort({3, 1, 2})", "{         1,          2,          3}"},
      {"ASort({3, 1, 2}, , , {|x, y| x > y})", "{         3,          2,          1}"},
      {"ASort({\"Oso\", \"\xD1u\", \"Nube\", \"\xC1rbol\"})",
       "{\"\xC1rbol\", \"Nube\", \"\xD1u\", \"Oso\"}"},
      {"s := 0, AEval({1, 2, 3}, {|x, i| s += x * i}), s", "        14"},
      {"a := {1, {2}}, b := AClone(a), b[2][1] := 9, a[2][1]", "         2"},
      {"a := {0, 0, 0}, ACopy({7, 8}, a, 1, 2, 2), a", "{         0,          7,          8}"},
      {"a := {1, 2}, a[1] += 5, a[2]++, a", "{         6,          3}"},
  });
}

TEST(Language, BlocksOperatorsAndAssignments) {
  expectAll({
      {"Eval({|x, y| x * y}, 6, 7)", "        42"},
      {"Eval(Eval({|a| {|b| a + b}}, 10), 5)", "        15"},
      {"b := {|n| IIF(n <= 1, 1, n * Eval(b, n - 1))}, Eval(b, 10)", "   3628800"},
      {"{|| 1, 2, 3}:Eval()", "         3"},
      {"x := 5, x += 2, x *= 3, x -= 1, x /= 4, x", "         5"},
      {"n := 1, m := n++, Str(m, 1) + Str(n, 1)", "12"},
      {"n := 1, m := ++n, Str(m, 1) + Str(n, 1)", "22"},
      {"n := 5, --n", "         4"},
      {"(1, 2, 3)", "         3"},
      {"IIF(.T., \"si\", \"no\") + IF(.N., \"si\", \"no\")", "sino"},
      {".T. .OR. Undefined()", ".T."},
      {".F. .AND. Undefined()", ".F."},
      {"!.T. .OR. .NOT. .F.", ".T."},
      {"!1 = 2", ".T."},
      {"[texto] + 'otro'", "textootro"},
      {"c := \"1 + 2\", &c", "         3"},
      {"c := \"Upper\", &(c + '(\"x\")')", "X"},
      {"ValType(NIL) + ValType({}) + ValType({||1}) + ValType(.T.) + ValType(TPublic())", "UABLO"},
      {"Type(\"1 +\") + \"/\" + Type(\"NoExiste\") + \"/\" + Type(\"1 + 1\") + \"/\" + "
       "Type(\"'a'\")",
       "UE/U/N/C"},
  });
}

}  // namespace

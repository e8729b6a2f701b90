// Memory-variable scoping, fields and aliases, failures and the handler, the named-value
// container, limits on hostile texts, and allocation-free evaluation of filters.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "expr/Interp.h"
#include "expr/TPublic.h"
#include "support/MemoryTables.h"

// Counts heap allocations while a test asks for it.
namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
}  // namespace

void* operator new(std::size_t n) {
  if (gCounting) ++gAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (gCounting) ++gAllocations;
  return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using exo::Failure;
using exo::FailureError;
using exo::GenCode;
using exo::Interp;
using exo::Value;

std::string show(Interp& ip, const char* text) { return exo::displayValue(ip.evalText(text)); }

Failure failureOf(Interp& ip, const char* text) {
  try {
    ip.evalText(text);
  } catch (const FailureError& e) {
    return e.failure();
  }
  ADD_FAILURE() << "no failure for " << text;
  return {};
}

TEST(Memvars, PrivatesAreReleasedWhenTheirRoutineReturns) {
  Interp ip;
  ip.evalText("PUBLICA(\"cGlobal\", \"uno\")");
  ip.memvars().pushFrame();
  ip.evalText(
      "PRIVADA(\"cGlobal\", \"oculta\"), nLocal := 5");  // hides the public; creates a private
  EXPECT_EQ(show(ip, "cGlobal + Str(nLocal, 2)"), "oculta 5");
  ip.memvars().pushFrame();
  EXPECT_EQ(show(ip, "cGlobal"), "oculta");  // visible to called routines
  ip.memvars().popFrame();
  ip.memvars().popFrame();
  EXPECT_EQ(show(ip, "cGlobal"), "uno");
  EXPECT_EQ(failureOf(ip, "nLocal").subCode, 1003);
}

TEST(Memvars, MasksSelectPublicsIgnoringCase) {
  exo::Memvars m;
  m.declarePublic("MVAR01", Value::text("a"));
  m.declarePublic("mvar02", Value::text("b"));
  m.declarePublic("CCONSECUT", Value::text("1  "));
  EXPECT_EQ(m.visibleNames("mVar*"), (std::vector<std::string>{"MVAR01", "MVAR02"}));
  EXPECT_EQ(m.visibleNames("cConsecut*"), (std::vector<std::string>{"CCONSECUT"}));
}

class WithTables : public ::testing::Test {
 protected:
  void SetUp() override {
    ip.setWorkAreas(&tables);
    movs = tables.open("MOVTOS",
                       {{"CODIGO", 'C', 20, 0}, {"MONTO", 'N', 17, 2}, {"CTA_DIR", 'C', 5, 0}});
    tables.addRecord(movs,
                     {Value::text("5105061"), Value::number(1500, 2, 14), Value::text("00012")});
    tables.addRecord(movs,
                     {Value::text("2365151"), Value::number(-200, 2, 14), Value::text("     ")});
    dir = tables.open("DIREC", {{"CLAVE", 'C', 5, 0}, {"NOMBRE", 'C', 40, 0}});
    tables.addRecord(dir, {Value::text("00012"), Value::text("ACME S.A.")});
    tables.select(movs);
    tables.goTop(ip, movs);
  }
  Interp ip;
  exo::MemoryTables tables;
  int movs = 0, dir = 0;
};

TEST_F(WithTables, FieldsComeBeforeVariablesAndAliasesReachOtherAreas) {
  ip.memvars().declarePublic("MONTO", Value::number(1));
  EXPECT_EQ(show(ip, "MONTO"), "          1500.00");
  EXPECT_EQ(show(ip, "M->MONTO"), "         1");
  EXPECT_EQ(show(ip, "FIELD->CTA_DIR + direc->NOMBRE"),
            "00012ACME S.A.                               ");
  EXPECT_EQ(show(ip, "DIREC->(RecNo()) + Select()"), "         2");  // area restored afterwards
  EXPECT_EQ(show(ip, "Alias() + Alias(2)"), "MOVTOSDIREC");
  EXPECT_EQ(show(ip, "SubStr(CODIGO,1,4)='5105' .AND. MONTO > 0 .AND. !Empty(CTA_DIR)"), ".T.");
  ip.evalText("dbSkip()");
  EXPECT_EQ(show(ip, "SubStr(CODIGO,1,4)='5105' .AND. MONTO > 0 .AND. !Empty(CTA_DIR)"), ".F.");
  EXPECT_EQ(show(ip, "RecNo()"), "         2");
}

TEST_F(WithTables, OneCompiledFilterServesTablesOfDifferentLayouts) {
  const auto filter = ip.compile("MONTO > 0");
  EXPECT_TRUE(ip.eval(*filter).logical());
  const int other = tables.open("OTRA", {{"X", 'C', 1, 0}, {"MONTO", 'N', 5, 0}});
  tables.addRecord(other, {Value::text("a"), Value::number(-1)});
  EXPECT_FALSE(ip.eval(*filter).logical());
  tables.select(movs);
  EXPECT_TRUE(ip.eval(*filter).logical());
}

TEST_F(WithTables, AssignmentToAFieldWritesTheRecordAndWorkAreaFunctionsNavigate) {
  ip.evalText("MONTO := 99, dbGoBottom()");
  EXPECT_EQ(show(ip, "RecNo()"), "         2");
  ip.evalText("dbGoTop()");
  EXPECT_EQ(show(ip, "FieldGet(2)"), "            99.00");
  ip.evalText("dbDelete(), dbSkip(-1)");
  EXPECT_EQ(show(ip, "Bof()"), ".T.");
  ip.evalText("n := 0, dbEval({|| n++}), dbGoTop()");
  EXPECT_EQ(show(ip, "n"), "         1");  // the deleted record is invisible
  EXPECT_EQ(failureOf(ip, "NOEXISTE->CODIGO").subCode, 1002);
  EXPECT_EQ(failureOf(ip, "DIREC->NOEXISTE").subCode, 1003);
}

TEST_F(WithTables, FilterEvaluationDoesNotAllocate) {
  const auto filter = ip.compile("SubStr(CODIGO,1,4)='5105' .AND. MONTO > 0 .AND. !Empty(CTA_DIR)");
  ip.eval(*filter);  // warms the arena and the caches
  gAllocations = 0;
  gCounting = true;
  for (int i = 0; i < 1000; ++i) {
    tables.goTop(ip, movs);
    ip.eval(*filter);
    tables.skip(ip, movs, 1);
    ip.eval(*filter);
  }
  gCounting = false;
  EXPECT_EQ(gAllocations.load(), 0);
}

TEST(Failures, CarryCodesAndClearDescriptions) {
  Interp ip;
  Failure f = failureOf(ip, "NoExiste + 1");
  EXPECT_EQ(f.genCode, GenCode::NoVar);
  EXPECT_EQ(exo::errorMessage(f), "Error BASE/1003  La variable no existe: NOEXISTE");
  // Caught as any exception, the failure reads as its one-line message, asked once or again,
  // and copies of it read the same.
  try {
    ip.evalText("NoExiste + 1");
    ADD_FAILURE() << "no failure";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Error BASE/1003  La variable no existe: NOEXISTE");
    EXPECT_STREQ(e.what(), "Error BASE/1003  La variable no existe: NOEXISTE");
    const FailureError copy = dynamic_cast<const FailureError&>(e);
    EXPECT_STREQ(copy.what(), e.what());
  }
  f = failureOf(ip, "Inventada(1)");
  EXPECT_EQ(f.subCode, 1001);
  EXPECT_EQ(f.operation, "INVENTADA");
  f = failureOf(ip, "1 + \"a\"");
  EXPECT_EQ(f.subCode, 1081);
  EXPECT_EQ(f.args, (std::vector<std::string>{"         1", "\"a\""}));
  f = failureOf(ip, "SubStr(\"abc\", 2");
  EXPECT_EQ(f.genCode, GenCode::Syntax);
  EXPECT_NE(f.description.find("columna 16"), std::string::npos) << f.description;
  f = failureOf(ip, "SubStr(1, 2)");
  EXPECT_EQ(f.operation, "SUBSTR");
  f = failureOf(ip, "Left(\"a\")");
  EXPECT_NE(f.description.find("n\372mero de argumentos"), std::string::npos);
  f = failureOf(ip, "{1, 2}[3]");
  EXPECT_EQ(f.genCode, GenCode::Bound);
  EXPECT_EQ(failureOf(ip, "1 := 2").genCode, GenCode::Syntax);
}

TEST(Failures, TheHandlerMayRetrySubstituteOrGoOnWithDefault) {
  Interp ip;
  int calls = 0;
  ip.setErrorHandler([&](Interp& in, const Failure& f) {
    ++calls;
    if (f.genCode == GenCode::NoVar) {
      in.memvars().declarePublic(f.operation, Value::number(41));
      return exo::ErrorReply::retry();
    }
    if (f.genCode == GenCode::Arg) return exo::ErrorReply::substitute(Value::text("sustituto"));
    return exo::ErrorReply::byDefault();
  });
  EXPECT_EQ(show(ip, "Tarde + 1"), "        42");
  EXPECT_EQ(show(ip, "1 + \"a\""), "sustituto");
  EXPECT_EQ(show(ip, "Upper(5)"), "sustituto");
  EXPECT_EQ(show(ip, "NoHay()"), "NIL");
  EXPECT_EQ(calls, 4);
}

TEST(Failures, DivisionByZeroYieldsZeroThroughTheHandler) {
  Interp ip;
  std::vector<GenCode> seen;
  ip.setErrorHandler([&](Interp& in, const Failure& f) {
    seen.push_back(f.genCode);
    return exo::defaultErrorHandler(in, f);
  });
  EXPECT_EQ(show(ip, "100 / 0 + Mod(5, 0) + 7 % 0"), "         0");
  EXPECT_EQ(seen, (std::vector<GenCode>{GenCode::ZeroDiv, GenCode::ZeroDiv, GenCode::ZeroDiv}));
}

TEST(Failures, HostileTextsFailWithoutCrashingOrHanging) {
  Interp ip;
  const std::string deep = std::string(5000, '(') + "1" + std::string(5000, ')');
  EXPECT_EQ(failureOf(ip, deep.c_str()).genCode, GenCode::Syntax);
  const std::string blocks = std::string(3000, '{') + std::string(3000, '}');
  EXPECT_EQ(failureOf(ip, blocks.c_str()).genCode, GenCode::Syntax);
  EXPECT_EQ(failureOf(ip, "b := {|| Eval(b)}, Eval(b)").genCode, GenCode::Limit);
  EXPECT_EQ(failureOf(ip, "c := \"&c\", &c").genCode, GenCode::Limit);
  EXPECT_EQ(failureOf(ip, "Replicate(\"x\", 1000000000000)").genCode, GenCode::StrOverflow);
  EXPECT_EQ(failureOf(ip, "Array(1000000000000)").genCode, GenCode::Bound);
  EXPECT_EQ(failureOf(ip, "a := {}, AAdd(a, a), AClone(a)").genCode, GenCode::Limit);
  ip.evalText("ASize(a, 0)");  // breaks the cycle so the array is freed
  EXPECT_EQ(failureOf(ip, "\"abc").genCode, GenCode::Syntax);
  EXPECT_EQ(failureOf(ip, "{^2011-02-30}").genCode, GenCode::Syntax);
  ip.stepBudget = 1000;
  EXPECT_EQ(failureOf(ip, "AEval(Array(100000), {|x| Len(\"a\")})").genCode, GenCode::Limit);
}

TEST(TPublicContainer, NamesAreCaseInsensitiveAndAutomaticAdds) {
  Interp ip;
  EXPECT_EQ(show(ip, "o := TPublic():New(), o:Add(\"ano\", \"2011\"), o:ANO"), "2011");
  EXPECT_EQ(show(ip, "o:nueva := 5, o:Get(\"NUEVA\") + o:nCount()"), "         7");
  EXPECT_EQ(show(ip, "o:GetPos(\"Nueva\")"), "         2");
  EXPECT_EQ(show(ip, "o:Set(\"ano\", \"2012\"), o:ano"), "2012");
  EXPECT_EQ(show(ip, "o:Del(\"ano\"), o:IsDef(\"ano\")"), ".F.");
  EXPECT_EQ(show(ip, "o:nPos"), "         0");
  // The object of an assignment is taken before the value is evaluated.
  EXPECT_EQ(show(ip, "q := TPublic():New(), p := q, q:x := (q := TPublic():New(), 5), p:x"),
            "         5");
  EXPECT_EQ(show(ip,
                 "s := o:Save(), o:Release(), n := o:nCount(), o:Restore(s), Str(n, 1) + "
                 "Str(o:nCount(), 1)"),
            "01");
}

TEST(TPublicContainer, UnknownNamesRaiseMessageNotFound) {
  Interp ip;
  ip.evalText("o := TPublic():New(.F.), o:Add(\"uno\", 1), o:GetPos(\"uno\")");
  Failure f = failureOf(ip, "o:dos := 2");
  EXPECT_EQ(f.subsystem, "BASE");
  EXPECT_EQ(f.subCode, 1005);
  EXPECT_EQ(f.description, "Mensaje no encontrado");
  EXPECT_EQ(f.operation, "TPublic:DOS");
  EXPECT_EQ(failureOf(ip, "o:tres").subCode, 1004);
  EXPECT_EQ(failureOf(ip, "o:Get(\"tres\")").subCode, 1004);
  EXPECT_EQ(show(ip, "o:cName + Str(o:nPos, 1)"), "0");  // emptied after the failure

  exo::TPublic header;
  header.add(" FecEnv ", Value::text("x"));
  EXPECT_EQ(header.vars().front().first, "FECENV");
  EXPECT_TRUE(header.isDef("fecenv"));
}

}  // namespace

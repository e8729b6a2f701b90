// EVALUA, CICLO and DIV_ZERO.
#include "shell/Evalua.h"

#include "expr/Interp.h"
#include "expr/Text.h"

namespace exo {
namespace {

// "{a, b}" is a list of statements; anything else is one statement.
std::string_view statementBody(std::string_view s) {
  s = trimBlanks(s);
  if (s.size() >= 2 && s.front() == '{' && s.back() == '}' && s.find('|') != 1)
    return s.substr(1, s.size() - 2);
  return s;
}

}  // namespace

bool EVALUA(Interp& ip, std::string_view condition) {
  if (isWhiteText(condition)) return true;
  const Value v = ip.evalText(condition);
  return v.isLogical() && v.logical();
}

void CICLO(Interp& ip, std::string_view statements, std::string_view condition) {
  ip.memvars().pushFrame();
  struct Pop {
    Interp& ip;
    ~Pop() { ip.memvars().popFrame(); }
  } pop{ip};
  ip.memvars().declarePrivate("Z", Value());
  const ProgramPtr body = ip.compile(statementBody(statements));
  const ProgramPtr test = ip.compile(isWhiteText(condition) ? ".T." : condition);
  for (;;) {
    const Value go = ip.eval(*test);
    if (!go.isLogical() || !go.logical()) break;
    ip.memvars().assign("Z", ip.eval(*body));
  }
}

double DIV_ZERO(double a, double b) { return b == 0 ? 0.0 : a / b; }

namespace {
Value evaluaFn(Args& a) {
  return Value::logical(EVALUA(a.interp(), a.has(0) ? a.text(0) : std::string_view()));
}
Value cicloFn(Args& a) {
  CICLO(a.interp(), a.text(0), a.text(1));
  return Value();
}
Value divZeroFn(Args& a) { return Value::number(DIV_ZERO(a.num(0), a.num(1)), 2); }
}  // namespace

void registerEvaluaFunctions(Interp& ip) {
  ip.functions().add("EVALUA", evaluaFn, 0, 1);
  ip.functions().add("CICLO", cicloFn, 2, 2);
  ip.functions().add("DIV_ZERO", divZeroFn, 2, 2);
}

}  // namespace exo

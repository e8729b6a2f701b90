// Type, block and memory-variable functions of the language.
#include "expr/Library.h"

namespace exo::lib {
namespace {

Value valtype(Args& a) {
  const char c = a[0].typeLetter();
  return tempText(a.interp(), std::string_view(&c, 1));
}

// Type(text): the type of the expression in the text, "U" when it names something undefined,
// "UE" when it does not compile.
Value typeFn(Args& a) {
  const std::string text(a.text(0));
  Interp& ip = a.interp();
  ErrorHandler saved = ip.errorHandler();
  ip.setErrorHandler([](Interp&, const Failure&) { return ErrorReply::abandon(); });
  struct Restore {
    Interp& ip;
    ErrorHandler h;
    ~Restore() { ip.setErrorHandler(std::move(h)); }
  } restore{ip, std::move(saved)};
  ProgramPtr p;
  try {
    p = ip.compile(text);
  } catch (const FailureError&) {
    return Value::text("UE");
  }
  try {
    const Value v = ip.eval(*p);
    const char c = v.typeLetter();
    return Value::text(std::string_view(&c, 1));
  } catch (const FailureError&) {
    return Value::text("U");
  }
}

Value evalFn(Args& a) {
  if (!a[0].isBlock()) return a.fail();
  auto all = a.all();
  return a.interp().evalBlock(a[0], std::span<const Value>(all.data() + 1, all.size() - 1));
}

// PUBLICA(name, value): a session-wide variable.
Value publica(Args& a) {
  a.interp().memvars().declarePublic(a.text(0), a[1]);
  return a[1];
}

// PRIVADA(name, value): a variable private to the calling routine and those it calls.
Value privada(Args& a) {
  a.interp().memvars().declarePrivate(a.text(0), a[1]);
  return a[1];
}

}  // namespace

void registerMisc(Functions& f) {
  f.add("VALTYPE", valtype, 1, 1);
  f.add("TYPE", typeFn, 1, 1);
  f.add("EVAL", evalFn, 1, -1);
  f.add("PUBLICA", publica, 1, 2);
  f.add("PRIVADA", privada, 1, 2);
}

}  // namespace exo::lib

namespace exo {

void registerStandardLibrary(Functions& f) {
  lib::registerText(f);
  lib::registerNumbers(f);
  lib::registerDates(f);
  lib::registerArrays(f);
  lib::registerMisc(f);
  lib::registerWorkAreas(f);
  lib::registerObjects(f);
}

}  // namespace exo

// Operators on values.
#include "expr/Ops.h"

#include <cmath>
#include <cstring>
#include <span>

#include "expr/Collation.h"
#include "expr/Dates.h"
#include "expr/Interp.h"
#include "expr/Text.h"

namespace exo {

std::string_view opText(Op op) {
  switch (op) {
    case Op::Add:
    case Op::Plus: return "+";
    case Op::Sub:
    case Op::Neg: return "-";
    case Op::Mul: return "*";
    case Op::Div: return "/";
    case Op::Mod: return "%";
    case Op::Pow: return "**";
    case Op::Eq: return "=";
    case Op::ExactEq: return "==";
    case Op::Ne: return "<>";
    case Op::Lt: return "<";
    case Op::Le: return "<=";
    case Op::Gt: return ">";
    case Op::Ge: return ">=";
    case Op::Contains: return "$";
    case Op::Not: return ".NOT.";
    case Op::None: break;
  }
  return "";
}

int compareText(std::string_view a, std::string_view b, bool exact) {
  if (!exact && a.size() > b.size()) a = a.substr(0, b.size());
  return collate(a, b);
}

namespace {

// Classic run-time subcodes of operator argument errors.
int subCodeOf(Op op) {
  switch (op) {
    case Op::Add: return 1081;
    case Op::Sub: return 1082;
    case Op::Mul: return 1083;
    case Op::Div: return 1084;
    case Op::Mod: return 1085;
    case Op::Pow: return 1088;
    case Op::Eq: return 1071;
    case Op::Ne: return 1072;
    case Op::Lt: return 1073;
    case Op::Le: return 1074;
    case Op::Gt: return 1075;
    case Op::Ge: return 1076;
    case Op::ExactEq: return 1070;
    case Op::Contains: return 1109;
    case Op::Neg: return 1080;
    case Op::Not: return 1077;
    default: return 1099;
  }
}

Value mismatch(Interp& ip, Op op, const Value& a, const Value* b) {
  const Value pair[2] = {a, b ? *b : Value()};
  return ip.raise(
      argumentError(opText(op), subCodeOf(op), std::span<const Value>(pair, b ? 2 : 1)));
}

Value zeroDivide(Interp& ip, Op op, const Value& a, const Value& b) {
  Failure f = argumentError(opText(op), op == Op::Mod ? 1341 : 1340, std::span<const Value>());
  f.genCode = GenCode::ZeroDiv;
  f.description = "Divisi\363n por cero";
  f.args = {displayValue(a), displayValue(b)};
  return ip.raise(std::move(f));
}

constexpr int kDefaultDecimals = 2;

Value arithmetic(Interp& ip, Op op, const Value& a, const Value& b) {
  const double x = a.num(), y = b.num();
  const int da = a.decimals(), db = b.decimals();
  switch (op) {
    case Op::Add: return Value::number(x + y, std::max(da, db));
    case Op::Sub: return Value::number(x - y, std::max(da, db));
    case Op::Mul: return Value::number(x * y, da + db);
    case Op::Div: {
      if (y == 0) return zeroDivide(ip, op, a, b);
      const double r = x / y;
      const bool whole = da == 0 && db == 0 && r == std::trunc(r);
      return Value::number(r, whole ? 0 : kDefaultDecimals);
    }
    case Op::Mod: {
      // The remainder takes the sign of the dividend and, whatever the operands, the default
      // number of decimals (Str(-7.5 % 2) is "     -1.50", Str(10 % 3) "      1.00").
      if (y == 0) return zeroDivide(ip, op, a, b);
      return Value::number(std::fmod(x, y), kDefaultDecimals);
    }
    case Op::Pow: return Value::number(std::pow(x, y), kDefaultDecimals);
    default: return mismatch(ip, op, a, &b);
  }
}

// Text + text, or text - text (trailing blanks of the left operand moved to the end).
Value concat(Interp& ip, const Value& a, const Value& b, bool moveBlanks) {
  std::string_view x = a.textView(), y = b.textView();
  const std::size_t n = x.size() + y.size();
  if (n > kMaxTextLength) {
    Failure f = argumentError(moveBlanks ? "-" : "+", 1209, {});
    f.genCode = GenCode::StrOverflow;
    f.description = "Texto demasiado largo";
    return ip.raise(std::move(f));
  }
  char* out = ip.arena().allocate(n);
  const std::size_t keep = moveBlanks ? trimRight(x).size() : x.size();
  std::memcpy(out, x.data(), keep);
  std::memcpy(out + keep, y.data(), y.size());
  std::memset(out + keep + y.size(), ' ', x.size() - keep);
  return Value::temp({out, n});
}

// date + days, days + date, date - days: the count of days must keep the result between the
// empty date and the last day of the year 9999; NaN or any other count is an argument error.
Value shiftDate(Interp& ip, Op op, const Value& a, const Value& b) {
  static const std::int64_t kLastDay = julianFromYmd(9999, 12, 31);
  const std::int64_t jd = (a.isDate() ? a : b).julian();
  const double days = a.isDate() ? b.num() : a.num();
  const Value both[] = {a, b};
  const bool add = op == Op::Add;
  Value reply;
  const auto n = checkedInteger(ip, days, add ? -jd : jd - kLastDay, add ? kLastDay - jd : jd,
                                opText(op), both, &reply);
  if (!n) return reply;
  return Value::date(static_cast<std::int32_t>(add ? jd + *n : jd - *n));
}

Value dateArithmetic(Interp& ip, Op op, const Value& a, const Value& b) {
  if ((op == Op::Add && a.isDate() && b.isNumber()) ||
      (op == Op::Add && a.isNumber() && b.isDate()) ||
      (op == Op::Sub && a.isDate() && b.isNumber()))
    return shiftDate(ip, op, a, b);
  if (op == Op::Sub && a.isDate() && b.isDate()) return Value::number(a.julian() - b.julian());
  return mismatch(ip, op, a, &b);
}

// Three-way comparison of two values of comparable types; sets ok = false on a mismatch.
int compareValues(const Value& a, const Value& b, bool exact, bool& ok) {
  ok = true;
  if (a.type() != b.type()) {
    ok = false;
    return 0;
  }
  switch (a.type()) {
    case Type::Character: return compareText(a.textView(), b.textView(), exact);
    case Type::Numeric: return a.num() < b.num() ? -1 : a.num() > b.num() ? 1 : 0;
    case Type::Date: return a.julian() < b.julian() ? -1 : a.julian() > b.julian() ? 1 : 0;
    case Type::Logical: return int{a.logical()} - int{b.logical()};
    default: ok = false; return 0;
  }
}

bool sameReference(const Value& a, const Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Type::Nil: return true;
    case Type::Array: return &a.arrayData() == &b.arrayData();
    case Type::Block: return &a.blockData() == &b.blockData();
    case Type::Object: return &a.objectRef() == &b.objectRef();
    default: return false;
  }
}

Value comparison(Interp& ip, Op op, const Value& a, const Value& b) {
  const bool equality = op == Op::Eq || op == Op::ExactEq || op == Op::Ne;
  if (equality && (a.isNil() || b.isNil() || (op == Op::ExactEq && a.isArray()) || a.isBlock() ||
                   a.isObject())) {
    const bool same = sameReference(a, b);
    if (a.type() == b.type() || a.isNil() || b.isNil())
      return Value::logical(op == Op::Ne ? !same : same);
  }
  bool ok = true;
  const int c = compareValues(a, b, op == Op::ExactEq, ok);
  if (!ok) return mismatch(ip, op, a, &b);
  switch (op) {
    case Op::Eq:
    case Op::ExactEq: return Value::logical(c == 0);
    case Op::Ne: return Value::logical(c != 0);
    case Op::Lt: return Value::logical(c < 0);
    case Op::Le: return Value::logical(c <= 0);
    case Op::Gt: return Value::logical(c > 0);
    case Op::Ge: return Value::logical(c >= 0);
    default: return mismatch(ip, op, a, &b);
  }
}

}  // namespace

Value binaryOp(Interp& ip, Op op, const Value& a, const Value& b) {
  switch (op) {
    case Op::Add:
    case Op::Sub:
      if (a.isNumber() && b.isNumber()) return arithmetic(ip, op, a, b);
      if (a.isText() && b.isText()) return concat(ip, a, b, op == Op::Sub);
      return dateArithmetic(ip, op, a, b);
    case Op::Mul:
    case Op::Div:
    case Op::Mod:
    case Op::Pow:
      if (a.isNumber() && b.isNumber()) return arithmetic(ip, op, a, b);
      return mismatch(ip, op, a, &b);
    case Op::Contains:
      if (a.isText() && b.isText()) {
        return Value::logical(b.textView().find(a.textView()) != std::string_view::npos &&
                              (!a.textView().empty() || false));
      }
      return mismatch(ip, op, a, &b);
    default: return comparison(ip, op, a, b);
  }
}

Value unaryOp(Interp& ip, Op op, const Value& a) {
  if (op == Op::Not) {
    if (a.isLogical()) return Value::logical(!a.logical());
    return mismatch(ip, op, a, nullptr);
  }
  if (!a.isNumber()) return mismatch(ip, op, a, nullptr);
  if (op == Op::Plus) return a;
  Value r = Value::number(-a.num(), a.decimals(), a.width());
  return r;
}

bool isTrueSlow(Interp& ip, const Value& v, std::string_view operation) {
  const Value one[1] = {v};
  Value r = ip.raise(argumentError(operation, 1066, one));
  return r.isLogical() && r.logical();
}

}  // namespace exo

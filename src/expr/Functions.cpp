// Function registry, argument helpers, and the display form of values.
#include "expr/Functions.h"

#include "expr/Block.h"
#include "expr/Dates.h"
#include "expr/Interp.h"
#include "expr/Numbers.h"
#include "expr/Object.h"

namespace exo {

void Functions::add(std::string_view name, NativeFn fn, int minArgs, int maxArgs) {
  std::string key = upperName(name);
  defs_[key] = FunctionDef{key, fn, minArgs, maxArgs};
}

const FunctionDef* Functions::find(std::string_view name) const {
  auto it = defs_.find(upperName(name));
  return it == defs_.end() ? nullptr : &it->second;
}

const Value& Args::operator[](std::size_t i) const {
  static const Value kNil;
  return i < v_.size() ? v_[i] : kNil;
}

Value& Args::at(std::size_t i) { return v_[i]; }

Value Args::fail() { return ip_.raise(argumentError(fn_, 1099, v_)); }

std::string_view Args::text(std::size_t i) {
  if (i < v_.size() && v_[i].isText()) return v_[i].textView();
  throw ArgSubstitute{fail()};
}

double Args::num(std::size_t i) {
  if (i < v_.size() && v_[i].isNumber()) return v_[i].num();
  throw ArgSubstitute{fail()};
}

double Args::num(std::size_t i, double dflt) { return has(i) ? num(i) : dflt; }

std::int32_t Args::date(std::size_t i) {
  if (i < v_.size() && v_[i].isDate()) return v_[i].julian();
  throw ArgSubstitute{fail()};
}

bool Args::logical(std::size_t i) {
  if (i < v_.size() && v_[i].isLogical()) return v_[i].logical();
  throw ArgSubstitute{fail()};
}

bool Args::logical(std::size_t i, bool dflt) { return has(i) ? logical(i) : dflt; }

std::optional<std::int64_t> checkedInteger(Interp& ip, double x, std::int64_t lo, std::int64_t hi,
                                           std::string_view operation, std::span<const Value> args,
                                           Value* reply) {
  if (const auto n = integerIn(x, lo, hi)) return n;
  Failure f = argumentError(operation, 1099, args);
  f.description = "Error de argumento: n\372mero fuera de rango";
  Value v = ip.raise(std::move(f));
  if (reply) *reply = std::move(v);
  return std::nullopt;
}

std::int64_t Args::integer(std::size_t i, std::int64_t lo, std::int64_t hi) {
  Value reply;
  if (const auto n = checkedInteger(ip_, num(i), lo, hi, fn_, v_, &reply)) return *n;
  throw ArgSubstitute{std::move(reply)};
}

std::int64_t Args::integer(std::size_t i, std::int64_t lo, std::int64_t hi, std::int64_t dflt) {
  return has(i) ? integer(i, lo, hi) : dflt;
}

Failure argumentError(std::string_view operation, int subCode, std::span<const Value> args) {
  Failure f;
  f.genCode = GenCode::Arg;
  f.subsystem = "BASE";
  f.subCode = subCode;
  f.description = "Error de argumento";
  f.operation = std::string(operation);
  f.canSubstitute = true;
  for (const Value& a : args) {
    std::string shown = displayValue(a);
    if (a.isText()) shown = "\"" + shown + "\"";
    f.args.push_back(std::move(shown));
  }
  return f;
}

std::string displayValue(const Value& v) {
  switch (v.type()) {
    case Type::Nil: return "NIL";
    case Type::Character: return std::string(v.textView());
    case Type::Numeric:
      return formatNumber(v.num(), displayWidth(v.num(), v.width(), v.decimals()), v.decimals());
    case Type::Date: return dateToText(v.julian());
    case Type::Logical: return v.logical() ? ".T." : ".F.";
    case Type::Array: {
      std::string s = "{";
      const auto& items = v.arrayData().items;
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) s += ", ";
        if (items[i].isText()) s += "\"" + std::string(items[i].textView()) + "\"";
        else if (items[i].isArray()) s += "{...}";
        else s += displayValue(items[i]);
      }
      return s + "}";
    }
    case Type::Block: return v.blockData().code().source;
    case Type::Object: return "Class: " + std::string(v.objectRef().className());
  }
  return "";
}

}  // namespace exo

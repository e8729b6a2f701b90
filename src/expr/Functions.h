// The registry of functions the language can call, by case-insensitive name, and the helpers
// native functions use to read their arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "expr/Value.h"

namespace exo {

class Interp;

// Arguments of a native function call. Missing arguments read as NIL.
class Args {
 public:
  Args(Interp& ip, std::string_view function, std::span<Value> values)
      : ip_(ip), fn_(function), v_(values) {}
  std::size_t count() const { return v_.size(); }
  const Value& operator[](std::size_t i) const;
  Value& at(std::size_t i);
  bool has(std::size_t i) const { return i < v_.size() && !v_[i].isNil(); }
  std::span<Value> all() const { return v_; }
  std::string_view function() const { return fn_; }
  Interp& interp() const { return ip_; }

  // Typed reads: a value of another type raises an argument error (the handler may substitute).
  std::string_view text(std::size_t i);
  double num(std::size_t i);
  double num(std::size_t i, double dflt);
  std::int32_t date(std::size_t i);
  bool logical(std::size_t i);
  bool logical(std::size_t i, bool dflt);
  // A number argument as an integer in [lo, hi] (truncated toward zero); NaN or a number out of
  // range raises an argument error whose handler value becomes the result of the whole call.
  std::int64_t integer(std::size_t i, std::int64_t lo, std::int64_t hi);
  std::int64_t integer(std::size_t i, std::int64_t lo, std::int64_t hi, std::int64_t dflt);
  // Raises the argument error of this call and returns the handler's value.
  Value fail();

 private:
  Interp& ip_;
  std::string_view fn_;
  std::span<Value> v_;
};

// Thrown by Args typed reads after the handler chose a value for the whole call.
struct ArgSubstitute {
  Value value;
};

// Limits of the integers the language takes from numbers.
constexpr std::int64_t kMaxAreaNumber = 65535;           // work areas
constexpr std::int64_t kMaxRecordNumber = 4294967295LL;  // a table holds a 32-bit record count
constexpr std::int64_t kMaxIntArg = 2147483647;          // widths, counts and positions

// The integer of x in [lo, hi] for `operation` (see integerIn()). NaN or a number out of range
// raises the argument error of `operation` with `args` and gives nothing; *reply then receives
// the handler's value, which stands for the operation's result.
std::optional<std::int64_t> checkedInteger(Interp& ip, double x, std::int64_t lo, std::int64_t hi,
                                           std::string_view operation, std::span<const Value> args,
                                           Value* reply = nullptr);

using NativeFn = Value (*)(Args&);

struct FunctionDef {
  std::string name;
  NativeFn fn;
  int minArgs;
  int maxArgs;  // -1 = any
};

class Functions {
 public:
  // Registers (or replaces) a function.
  void add(std::string_view name, NativeFn fn, int minArgs = 0, int maxArgs = -1);
  const FunctionDef* find(std::string_view name) const;

 private:
  std::unordered_map<std::string, FunctionDef> defs_;
};

// Registers the standard library (text, numbers, dates, types, arrays, blocks, work areas,
// memory variables, the named-value container).
void registerStandardLibrary(Functions& f);

}  // namespace exo

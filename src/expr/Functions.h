// The registry of functions the language can call, by case-insensitive name, and the helpers
// native functions use to read their arguments.
#pragma once

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

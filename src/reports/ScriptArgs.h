// Internal to the spreadsheet script: tolerant reads of optional message arguments. A missing
// argument, NIL, or a value of another type counts as omitted, as the script's operations
// treat every argument as optional.
#pragma once

#include <optional>
#include <string>

#include "expr/Functions.h"

namespace exo::reports {

inline std::optional<double> optNum(const Args& a, std::size_t i) {
  if (i < a.count() && a[i].isNumber()) return a[i].num();
  return std::nullopt;
}

inline std::optional<std::string> optText(const Args& a, std::size_t i) {
  if (i < a.count() && a[i].isText()) return std::string(a[i].textView());
  return std::nullopt;
}

inline std::optional<bool> optBool(const Args& a, std::size_t i) {
  if (i < a.count() && a[i].isLogical()) return a[i].logical();
  return std::nullopt;
}

// A whole number argument clamped to [lo, hi].
inline std::optional<int> optInt(const Args& a, std::size_t i, int lo, int hi) {
  const auto n = optNum(a, i);
  if (!n) return std::nullopt;
  const double v = *n < lo ? lo : *n > hi ? hi : *n;
  return static_cast<int>(v);
}

}  // namespace exo::reports

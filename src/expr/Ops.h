// Operators of the language on values: arithmetic, concatenation, comparison and substring.
#pragma once

#include <string_view>

#include "expr/Value.h"

namespace exo {

class Interp;

enum class Op {
  None,
  Add,
  Sub,
  Mul,
  Div,
  Mod,
  Pow,
  Eq,       // =  (prefix comparison of text)
  ExactEq,  // ==
  Ne,       // != <> #
  Lt,
  Le,
  Gt,
  Ge,
  Contains,  // $
  Neg,
  Not,
  Plus,
};

// Spelling of an operator, for failures.
std::string_view opText(Op op);

// The text comparison rule of the language with exact comparison off: unless `exact`, only as
// many characters of `a` as `b` has are compared, so an empty `b` always matches; order follows
// the Spanish collation. With `exact`, the texts must be identical to be equal.
// Returns negative, zero or positive.
int compareText(std::string_view a, std::string_view b, bool exact);

// Applies a binary operator. Text results go to the interpreter's arena. Type mismatches and
// division by zero are raised as failures; the result is then the handler's value.
Value binaryOp(Interp& ip, Op op, const Value& a, const Value& b);
Value unaryOp(Interp& ip, Op op, const Value& a);

// True when the value counts as true in a condition; other types raise a failure.
bool isTrueSlow(Interp& ip, const Value& v, std::string_view operation);
inline bool isTrue(Interp& ip, const Value& v, std::string_view operation) {
  return v.isLogical() ? v.logical() : isTrueSlow(ip, v, operation);
}

}  // namespace exo

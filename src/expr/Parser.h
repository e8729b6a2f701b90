// Parser of the expression language: builds the nodes of a text, resolving block parameters
// and registered functions once.
#pragma once

#include <string_view>

#include "expr/Ast.h"
#include "expr/Failure.h"

namespace exo {

class Interp;

struct ParseResult {
  NodePtr root;     // null on failure
  Failure failure;  // a syntax error naming the column
};

// Parses a text: one expression or a comma list. Nesting is limited so that no text can exhaust
// the stack.
ParseResult parseExpression(Interp& ip, std::string_view text);

}  // namespace exo

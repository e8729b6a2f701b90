// Evaluation of conditions and statement lists stored as text (the concept filters, loops over
// labels), and the safe division used when a base is derived from a withholding.
#pragma once

#include <string_view>

namespace exo {

class Interp;

// EVALUA: true when the text is empty (only blanks), otherwise the value of the condition
// against the selected work area's current record and the memory variables. A text that does not
// compile or names nothing known is a failure raised through the interpreter's handler; a
// condition whose value is not logical counts as false.
bool EVALUA(Interp& ip, std::string_view condition);

// CICLO: while the condition is true, evaluates the statement list (expressions in braces,
// "{a, b}", each evaluated in order, the last value kept in the private variable Z).
// REQUIRES: the statements change something the condition depends on.
void CICLO(Interp& ip, std::string_view statements, std::string_view condition);

// DIV_ZERO: a / b, or 0 when b is 0.
double DIV_ZERO(double a, double b);

// Registers EVALUA, CICLO and DIV_ZERO as functions of the language.
void registerEvaluaFunctions(Interp& ip);

}  // namespace exo

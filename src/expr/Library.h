// Internal to the function library: registration of each group and small shared helpers.
#pragma once

#include <string_view>

#include "expr/Functions.h"
#include "expr/Interp.h"
#include "expr/Text.h"

namespace exo::lib {

void registerText(Functions& f);
void registerNumbers(Functions& f);
void registerDates(Functions& f);
void registerArrays(Functions& f);
void registerMisc(Functions& f);
void registerWorkAreas(Functions& f);
void registerObjects(Functions& f);

// Text result placed in the arena.
inline Value tempText(Interp& ip, std::string_view s) { return Value::temp(ip.arena().store(s)); }

// A count argument clamped to what a text may hold; larger requests raise a failure.
std::size_t textLength(Args& a, double n);

// Windows-1252 letter case (expr/Text.h).
using exo::isAlpha1252;
using exo::toLower1252;
using exo::toUpper1252;

}  // namespace exo::lib

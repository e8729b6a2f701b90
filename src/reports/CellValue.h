// Conversion of a workbook cell's value into the text or number a definition works with: a
// number is written with as many decimals as it needs, a date as YYYYMMDD, text is read as a
// number when a number is asked for.
#pragma once

#include "expr/Value.h"

namespace exo::reports {

// The decimals needed to write `n` without trailing zeros (at most 10); 0 for a number too
// large to be written with 10 decimals in 21 characters.
int numGetDecimals(double n);

// `value` converted to type 'C' (text) or 'N' (number). To 'C': a number becomes its text
// right-aligned in 21 characters with numGetDecimals() decimals (rounded half away from zero),
// a date "YYYYMMDD", anything else is returned unchanged. To 'N': text is read as a number (0
// when it is not one), a number is rounded as for 'C', anything else is unchanged.
Value convertCellValue(const Value& value, char type);

}  // namespace exo::reports

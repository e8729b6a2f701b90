// The cell-value conversion used by the script's Get.
#include "reports/CellValue.h"

#include <cmath>

#include "expr/Dates.h"
#include "expr/Numbers.h"

namespace exo::reports {

int numGetDecimals(double n) {
  // A whole number (the usual amount) shows no decimals, and neither does one that is not finite.
  if (!std::isfinite(n) || n == std::trunc(n)) return 0;
  bool overflow = false;
  const std::string text = formatNumber(n, 21, 10, &overflow);
  const auto dot = text.find('.');
  if (overflow || dot == std::string::npos) return 0;
  std::size_t end = text.size();
  while (end > dot + 1 && text[end - 1] == '0') --end;
  return static_cast<int>(end - dot - 1);
}

Value convertCellValue(const Value& value, char type) {
  if (type == 'N') {
    if (value.isText()) {
      int decimals = 0;
      const double n = parseNumber(value.textView(), &decimals);
      return Value::number(n, decimals);
    }
    if (value.isNumber()) {
      const int dec = numGetDecimals(value.num());
      return Value::number(parseNumber(formatNumber(value.num(), 21, dec)), dec);
    }
    return value;
  }
  if (value.isNumber())
    return Value::text(formatNumber(value.num(), 21, numGetDecimals(value.num())));
  if (value.isDate())
    return Value::text(value.julian() == 0 ? "        " : dateToKey(value.julian()));
  return value;
}

}  // namespace exo::reports

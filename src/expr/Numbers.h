// Number formatting and rounding as the language shows numbers: Str(), field text, rounding
// half away from zero on the decimal value the user sees.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace exo {

// x rounded to `dec` decimals, half away from zero, judged on x's shortest decimal form
// (so 2.675 rounds to 2.68 although its binary value is slightly below).
double roundHalfAway(double x, int dec);

// Right-aligned text of total width `width` with `dec` decimals, as Str(x, width, dec) gives it.
// A number that does not fit gives `width` asterisks and sets *overflow when given.
std::string formatNumber(double x, int width, int dec, bool* overflow = nullptr);

// Text of x with exactly `dec` decimals and no padding ("-12.50").
std::string formatFixed(double x, int dec);

// The default integer-part width of a number without an explicit width, written with `dec`
// decimals: at least 10 columns, and as many as its integer part and sign take when they do not
// fit in 10 (12345678901 takes 11, -1234567890 takes 11).
int defaultIntWidth(double x, int dec = 0);

// Total display width of a number whose integer-part width is intWidth (0 = default).
int displayWidth(double x, int intWidth, int dec);

// Value of the leading number in a text, as Val() reads it (blanks skipped, stops at the first
// character that cannot continue the number). *decimals receives the digits after the point.
double parseNumber(std::string_view s, int* decimals = nullptr, int* intWidth = nullptr);

// The largest magnitude below which every integer is exact in a double (2^53).
constexpr std::int64_t kMaxExactInteger = std::int64_t{1} << 53;

// The integer part of x (truncated toward zero) when x is a number whose integer part lies in
// [lo, hi]; nothing when x is NaN or out of range. Every number of the language used as a count,
// position, width, work area, record number or day offset becomes an integer through here, so
// no conversion can overflow. REQUIRES: -kMaxExactInteger <= lo <= hi <= kMaxExactInteger.
std::optional<std::int64_t> integerIn(double x, std::int64_t lo, std::int64_t hi);

}  // namespace exo

// How values are written as bytes in xBase tables and index keys: numeric text of N/F fields
// (rounded half away from zero on the decimal value shown), YYYYMMDD dates and Julian day
// numbers, and the order-preserving binary form of numeric and date index keys.
#pragma once

#include <cstdint>
#include <string_view>

namespace exo::store {

// Julian day number of a Gregorian date (2000-01-01 = 2451545). REQUIRES: a valid date.
std::int32_t julianDay(int year, int month, int day);
// Gregorian date of a Julian day number. REQUIRES: jdn > 0.
void civilDate(std::int32_t jdn, int& year, int& month, int& day);

// Writes `value` as xBase numeric text of exactly `width` bytes into `out`: right-aligned,
// `decimals` digits after a '.', rounded half away from zero on the shortest decimal form of
// the value, "-" before the first digit, never "-0". Returns false when the text does not fit
// (or the value is not finite); `out` then holds `width` asterisks.
// REQUIRES: width >= 1, decimals < width when decimals > 0.
bool formatNumber(double value, int width, int decimals, char* out);

enum class NumberState { Value, Empty, Overflow, Invalid };
struct NumberValue {
  double value = 0;
  NumberState state = NumberState::Empty;
};
// Reads numeric text: blanks (or NUL bytes) are Empty, all asterisks Overflow, anything that
// is not an optionally signed decimal number Invalid; value is 0 unless state is Value.
NumberValue parseNumber(std::string_view text);

// Reads the block number of a memo field held as text: blanks (or NUL bytes) are passed over,
// the digits give the number. False when another byte is there or the number passes 32 bits.
bool parseBlockNumber(std::string_view text, std::uint32_t& block);

// Reads 8 bytes "YYYYMMDD" as a Julian day number; blanks, zeros, NULs and impossible dates
// give 0 (empty date).
std::int32_t parseDate(std::string_view text);
// Writes a Julian day number as "YYYYMMDD", or 8 blanks for 0. REQUIRES: out has 8 bytes.
void formatDate(std::int32_t jdn, char* out);

// Index key of a number or date (Julian day): 8 bytes whose byte order equals numeric order.
void encodeNumberKey(double value, char* out8);
double decodeNumberKey(const char* key8);

}  // namespace exo::store

// Numeric text, dates and binary keys of xBase files.
#include "store/FieldCodec.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "expr/Text.h"

namespace exo::store {

std::int32_t julianDay(int year, int month, int day) {
  const int a = (14 - month) / 12;
  const int y = year + 4800 - a;
  const int m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void civilDate(std::int32_t jdn, int& year, int& month, int& day) {
  const std::int64_t a = std::int64_t{jdn} + 32044;
  const std::int64_t b = (4 * a + 3) / 146097;
  const std::int64_t c = a - 146097 * b / 4;
  const std::int64_t d = (4 * c + 3) / 1461;
  const std::int64_t e = c - 1461 * d / 4;
  const std::int64_t m = (5 * e + 2) / 153;
  day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  month = static_cast<int>(m + 3 - 12 * (m / 10));
  year = static_cast<int>(100 * b + d - 4800 + m / 10);
}

namespace {

// Rounds the decimal digits "int.frac" of a magnitude to `decimals` places, half away from
// zero. Returns the integer digits and exactly `decimals` fraction digits.
void roundDigits(std::string& intPart, std::string& frac, int decimals) {
  const bool up = static_cast<int>(frac.size()) > decimals && frac[decimals] >= '5';
  frac.resize(decimals, '0');
  if (!up) return;
  int i = decimals - 1;
  for (; i >= 0; --i) {
    if (frac[i] != '9') {
      ++frac[i];
      return;
    }
    frac[i] = '0';
  }
  int j = static_cast<int>(intPart.size()) - 1;
  for (; j >= 0; --j) {
    if (intPart[j] != '9') {
      ++intPart[j];
      return;
    }
    intPart[j] = '0';
  }
  intPart.insert(intPart.begin(), '1');
}

}  // namespace

bool formatNumber(double value, int width, int decimals, char* out) {
  std::memset(out, '*', static_cast<std::size_t>(width));
  if (!std::isfinite(value)) return false;
  // Whole numbers (amounts in whole units, thresholds, zero) are written without the general
  // conversion: their digits, then as many zeros as the field has decimals.
  const double magnitude = std::fabs(value);
  if (magnitude < 1e15 && magnitude == std::floor(magnitude) && decimals >= 0 && decimals <= 30) {
    char digits[20];
    int count = 0;
    for (auto n = static_cast<std::uint64_t>(magnitude); count == 0 || n != 0; n /= 10)
      digits[count++] = static_cast<char>('0' + n % 10);
    char text[64];
    int length = 0;
    if (value < 0 && magnitude != 0) text[length++] = '-';
    while (count > 0) text[length++] = digits[--count];
    if (decimals > 0) {
      text[length++] = '.';
      std::memset(text + length, '0', static_cast<std::size_t>(decimals));
      length += decimals;
    }
    if (length > width) return false;
    std::memset(out, ' ', static_cast<std::size_t>(width));
    std::memcpy(out + (width - length), text, static_cast<std::size_t>(length));
    return true;
  }
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
  if (res.ec != std::errc()) return false;
  const std::string digits(buf, res.ptr);
  const std::size_t dot = digits.find('.');
  std::string intPart = digits.substr(0, dot);
  std::string frac = dot == std::string::npos ? std::string() : digits.substr(dot + 1);
  roundDigits(intPart, frac, decimals);
  const std::size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
  const bool zero = intPart == "0" && frac.find_first_not_of('0') == std::string::npos;
  std::string text = (value < 0 && !zero) ? "-" : "";
  text += intPart;
  if (decimals > 0) text += "." + frac;
  if (static_cast<int>(text.size()) > width) return false;
  std::memset(out, ' ', static_cast<std::size_t>(width));
  std::memcpy(out + (width - static_cast<int>(text.size())), text.data(), text.size());
  return true;
}

namespace {

// Eight bytes at a time (the byte at the lowest address is the least significant of a word
// loaded from memory): a field's blanks are passed over and a date's digits checked with a
// comparison or two per eight bytes rather than two or three per byte.
static_assert(std::endian::native == std::endian::little);
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHigh = 0x8080808080808080ULL;

std::uint64_t load8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

// 0x80 in each byte of `w` that is zero, 0 in the others (exact: no carry crosses bytes).
std::uint64_t zeroBytes(std::uint64_t w) {
  const std::uint64_t low7 = ~kHigh;
  return ~(((w & low7) + low7) | w | low7);
}

// 0x80 in each byte that is a blank of a numeric field (a space or a NUL).
std::uint64_t blankBytes(std::uint64_t w) { return zeroBytes(w) | zeroBytes(w ^ (kOnes * ' ')); }

// The first byte of [p, end) that is no blank, or end.
const char* skipBlanks(const char* p, const char* end) {
  while (end - p >= 8) {
    const std::uint64_t other = ~blankBytes(load8(p)) & kHigh;
    if (other != 0) return p + std::countr_zero(other) / 8;
    p += 8;
  }
  while (p < end && (*p == ' ' || *p == '\0')) ++p;
  return p;
}

// The end of [p, end) once the blanks that end it are taken off.
const char* trimBlanks(const char* p, const char* end) {
  while (end - p >= 8) {
    const std::uint64_t other = ~blankBytes(load8(end - 8)) & kHigh;
    if (other != 0) return end - std::countl_zero(other) / 8;
    end -= 8;
  }
  while (end > p && (end[-1] == ' ' || end[-1] == '\0')) --end;
  return end;
}

// True when each of the eight bytes of `w` is a decimal digit: every byte's high half is 3 and
// its low half stays below 10 when 6 is added (no carry crosses bytes once the halves are 3).
bool eightDigits(std::uint64_t w) {
  constexpr std::uint64_t kHalves = kOnes * 0xF0;
  return (w & kHalves) == kOnes * 0x30 && ((w + kOnes * 6) & kHalves) == kOnes * 0x30;
}

// The value of eight digits (the first one, at the lowest address, the most significant), in
// three multiplications: pairs, then fours, then the eight.
std::uint64_t eightDigitsValue(std::uint64_t w) {
  w = ((w & 0x0F0F0F0F0F0F0F0FULL) * 2561) >> 8;
  w = ((w & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;
  return ((w & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32;
}

// The eight bytes that end at `end` with the `lead` first of them made '0' digits (they lie
// before the text being read). REQUIRES: 0 <= lead <= 8, eight readable bytes before `end`.
std::uint64_t lastEight(const char* end, std::ptrdiff_t lead) {
  const std::uint64_t low = lead == 0 ? 0 : ~std::uint64_t{0} >> (64 - 8 * lead);
  return (load8(end - 8) & ~low) | (kOnes * '0' & low);
}

}  // namespace

bool parseBlockNumber(std::string_view text, std::uint32_t& block) {
  const char* p = text.data();
  const char* end = p + text.size();
  // The usual pointer: blanks, then at most eight digits up to the field's end, read as one word.
  if (text.size() >= 8) {
    const char* digits = skipBlanks(p, end);
    if (end - digits <= 8) {
      const std::uint64_t w = lastEight(end, 8 - (end - digits));
      if (eightDigits(w)) {
        block = static_cast<std::uint32_t>(eightDigitsValue(w));
        return true;
      }
    }
  }
  // Any other form: blanks anywhere are passed over, every other byte must be a digit.
  std::uint64_t n = 0;
  for (; p < end; ++p) {
    if (*p == ' ' || *p == '\0') continue;
    if (*p < '0' || *p > '9' || n > 0xFFFFFFFFull / 10) return false;
    n = n * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  if (n > 0xFFFFFFFFull) return false;
  block = static_cast<std::uint32_t>(n);
  return true;
}

NumberValue parseNumber(std::string_view text) {
  // The usual field in one pass: blanks, an optional minus, at most 15 digits with one point at
  // most, blanks. Anything else goes the general way below, on the text without its blanks
  // (some writers fill an empty field with NUL bytes instead of blanks).
  {
    const char* p = skipBlanks(text.data(), text.data() + text.size());
    const char* end = trimBlanks(p, text.data() + text.size());
    if (p == end) return {};
    const std::string_view trimmed(p, static_cast<std::size_t>(end - p));
    const bool negative = *p == '-';
    if (negative) ++p;
    static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // Up to eight bytes of digits and a point, with eight bytes of the field up to their end: read
    // as one word, the point taken out by moving the digits before it up one byte.
    if (end - text.data() >= 8 && end - p <= 8) {
      const std::ptrdiff_t lead = 8 - (end - p);
      std::uint64_t w = lastEight(end, lead);
      const std::uint64_t points = zeroBytes(w ^ (kOnes * '.'));
      int fraction = 0;
      std::ptrdiff_t count = end - p;
      if (points != 0 && (points & (points - 1)) == 0) {
        const int at = std::countr_zero(points) / 8;
        const std::uint64_t before = at == 0 ? 0 : ~std::uint64_t{0} >> (64 - 8 * at);
        w = ((w & before) << 8) | (w & ~before & ~(std::uint64_t{0xFF} << (8 * at))) | '0';
        fraction = 7 - at;
        --count;
      }
      if (count > 0 && eightDigits(w)) {
        double v = static_cast<double>(eightDigitsValue(w));
        if (fraction > 0) v /= kTens[fraction];
        if (negative) v = -v;
        return {v == 0 ? 0.0 : v, NumberState::Value};
      }
    }
    std::uint64_t whole = 0;
    int count = 0, fraction = -1;
    for (; p < end; ++p) {
      const char c = *p;
      if (c >= '0' && c <= '9') {
        whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
        ++count;
        if (fraction >= 0) ++fraction;
      } else if (c == '.' && fraction < 0) {
        fraction = 0;
      } else {
        break;
      }
    }
    if (p == end && count > 0 && count <= 15) {
      double v = static_cast<double>(whole);
      if (fraction > 0) v /= kTens[fraction];
      if (negative) v = -v;
      return {v == 0 ? 0.0 : v, NumberState::Value};
    }
    // Past an optional minus, digits and one point, only asterisks (a value that did not fit),
    // a plus that opens the text or a second point can still be read or told apart below:
    // any other byte makes the text no number.
    if (p != end && *p != '*' && *p != '+' && *p != '.') return {0, NumberState::Invalid};
    text = trimmed;
  }
  if (text.find_first_not_of('*') == std::string_view::npos) return {0, NumberState::Overflow};
  if (text.front() == '+') text.remove_prefix(1);
  bool sawDigit = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      sawDigit = true;
    } else if (!(c == '.' || (c == '-' && i == 0))) {
      return {0, NumberState::Invalid};
    }
  }
  if (!sawDigit) return {0, NumberState::Invalid};
  // The usual field (at most 15 digits, one point at most) is read as a whole number divided by
  // a power of ten: both are exact doubles, so the quotient is the correctly rounded value, the
  // same as the general conversion below gives.
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  {
    std::string_view digits = text;
    const bool negative = digits.front() == '-';
    if (negative) digits.remove_prefix(1);
    std::uint64_t whole = 0;
    int count = 0, fraction = -1;
    bool plain = true;
    for (const char c : digits) {
      if (c == '.') {
        if (fraction >= 0) {
          plain = false;
          break;
        }
        fraction = 0;
        continue;
      }
      whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
      ++count;
      if (fraction >= 0) ++fraction;
    }
    if (plain && count <= 15) {
      double v = static_cast<double>(whole);
      if (fraction > 0) v /= kPowers[fraction];
      if (negative) v = -v;
      return {v == 0 ? 0.0 : v, NumberState::Value};
    }
  }
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return {0, NumberState::Invalid};
  return {v == 0 ? 0.0 : v, NumberState::Value};
}

std::int32_t parseDate(std::string_view text) {
  if (text.size() < 8) return 0;
  // Eight digits: every byte's high half is 3 and its low half stays below 10 when 6 is added.
  const std::uint64_t w = load8(text.data());
  constexpr std::uint64_t kHalves = kOnes * 0xF0;
  if ((w & kHalves) != kOnes * 0x30 || ((w + kOnes * 6) & kHalves) != kOnes * 0x30) return 0;
  int v[8];
  for (int i = 0; i < 8; ++i) v[i] = static_cast<int>((w >> (8 * i)) & 0x0F);
  const int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  const int m = v[4] * 10 + v[5];
  const int d = v[6] * 10 + v[7];
  if (y == 0 || m < 1 || m > 12 || d < 1 || d > 31) return 0;
  return julianDay(y, m, d);
}

void formatDate(std::int32_t jdn, char* out) {
  if (jdn <= 0) {
    std::memset(out, ' ', 8);
    return;
  }
  int y = 0, m = 0, d = 0;
  civilDate(jdn, y, m, d);
  if (y < 0 || y > 9999) {
    std::memset(out, ' ', 8);
    return;
  }
  const int parts[8] = {y / 1000, y / 100 % 10, y / 10 % 10, y % 10,
                        m / 10,   m % 10,       d / 10,      d % 10};
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>('0' + parts[i]);
}

void encodeNumberKey(double value, char* out8) {
  if (value == 0) value = 0;  // -0.0 becomes +0.0
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, 8);
  bits = (bits >> 63) ? ~bits : (bits | 0x8000000000000000ull);
  for (int i = 0; i < 8; ++i) out8[i] = static_cast<char>(bits >> (56 - 8 * i));
}

double decodeNumberKey(const char* key8) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | static_cast<unsigned char>(key8[i]);
  bits = (bits >> 63) ? (bits & 0x7FFFFFFFFFFFFFFFull) : ~bits;
  double v = 0;
  std::memcpy(&v, &bits, 8);
  return v;
}

}  // namespace exo::store

// Number formatting and rounding.
#include "expr/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace exo {
namespace {

// Decimal digits of |x| with 16 significant digits: digits and the exponent of the first digit.
struct Decimal {
  char digits[20];
  int count;
  int exp10;  // value = 0.d1d2d3... * 10^exp10
};

Decimal toDecimal(double x) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15e", std::fabs(x));
  Decimal d{};
  d.count = 0;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d.digits[d.count++] = *p;
  }
  d.exp10 = (*p == 'e' ? std::atoi(p + 1) : 0) + 1;
  return d;
}

// Rounds |x| to dec decimals; returns the digits of the integer-scaled result (x * 10^dec).
std::string scaledDigits(double x, int dec) {
  const Decimal d = toDecimal(x);
  const int keep = d.exp10 + dec;  // digits kept before rounding
  std::string out;
  if (keep < 0 || x == 0.0) return "0";
  for (int i = 0; i < keep; ++i) out += i < d.count ? d.digits[i] : '0';
  const bool up = keep < d.count && d.digits[keep] >= '5';
  if (up) {
    int i = static_cast<int>(out.size()) - 1;
    while (i >= 0 && out[i] == '9') out[i--] = '0';
    if (i < 0) {
      out.insert(out.begin(), '1');
    } else {
      ++out[i];
    }
  }
  const auto first = out.find_first_not_of('0');
  return first == std::string::npos ? "0" : out.substr(first);
}

}  // namespace

double roundHalfAway(double x, int dec) {
  if (!std::isfinite(x)) return x;
  if (dec < 0) {
    const double p = std::pow(10.0, -dec);
    return roundHalfAway(x / p, 0) * p;
  }
  if (dec > 15) return x;
  const std::string digits = scaledDigits(x, dec);
  double r = std::strtod(digits.c_str(), nullptr) / std::pow(10.0, dec);
  return x < 0 ? -r : r;
}

std::string formatFixed(double x, int dec) {
  if (dec < 0) dec = 0;
  if (!std::isfinite(x)) return std::string(1, '*');
  std::string digits;
  if (dec == 0 && std::fabs(x) < 9e15 && x == std::trunc(x)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(std::fabs(x)));
    digits = buf;
  } else {
    digits = scaledDigits(x, dec);
  }
  if (static_cast<int>(digits.size()) <= dec) {
    digits.insert(0, static_cast<std::size_t>(dec) + 1 - digits.size(), '0');
  }
  if (dec > 0) digits.insert(digits.size() - static_cast<std::size_t>(dec), 1, '.');
  const bool negative = x < 0 && digits.find_first_not_of("0.") != std::string::npos;
  return negative ? "-" + digits : digits;
}

std::string formatNumber(double x, int width, int dec, bool* overflow) {
  if (width <= 0) width = 10;
  std::string s = formatFixed(x, dec);
  if (static_cast<int>(s.size()) > width) {
    if (overflow) *overflow = true;
    return std::string(static_cast<std::size_t>(width), '*');
  }
  if (overflow) *overflow = false;
  return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

int defaultIntWidth(double x, int dec) {
  constexpr int kLeast = 10;
  if (std::isfinite(x) && std::fabs(x) < 1e8) return kLeast;
  const int chars = static_cast<int>(formatFixed(x, dec).size()) - (dec > 0 ? dec + 1 : 0);
  return std::max(kLeast, chars);
}

int displayWidth(double x, int intWidth, int dec) {
  const int w = intWidth > 0 ? intWidth : defaultIntWidth(x, dec);
  return dec > 0 ? w + dec + 1 : w;
}

std::optional<std::int64_t> integerIn(double x, std::int64_t lo, std::int64_t hi) {
  if (std::isnan(x)) return std::nullopt;
  const double t = std::trunc(x);
  if (t < static_cast<double>(lo) || t > static_cast<double>(hi)) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

double parseNumber(std::string_view s, int* decimals, int* intWidth) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  const std::size_t start = i;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  const std::size_t point = i;
  int dec = 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      ++i;
      ++dec;
    }
  }
  if (decimals) *decimals = dec;
  if (intWidth) *intWidth = static_cast<int>(point - start);
  const std::string text(s.substr(start, i - start));
  return text.empty() ? 0.0 : std::strtod(text.c_str(), nullptr);
}

}  // namespace exo

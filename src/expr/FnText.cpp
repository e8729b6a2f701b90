// Text functions of the language.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "expr/Codepage.h"
#include "expr/Dates.h"
#include "expr/Library.h"
#include "expr/Numbers.h"
#include "expr/Text.h"

namespace exo::lib {

constexpr std::size_t kMaxText = kMaxTextLength;

std::size_t textLength(Args& a, double n) {
  if (!(n > 0)) return 0;
  const auto length = integerIn(n, 0, static_cast<std::int64_t>(kMaxText));
  if (!length) {
    Failure f = argumentError(a.function(), 1234, a.all());
    f.genCode = GenCode::StrOverflow;
    f.description = "Texto demasiado largo";
    throw ArgSubstitute{a.interp().raise(std::move(f))};
  }
  return static_cast<std::size_t>(*length);
}

namespace {

Value substr(Args& a) {
  std::string_view s = a.text(0);
  std::int64_t start = a.integer(1, -kMaxIntArg, kMaxIntArg);
  const auto n = static_cast<std::int64_t>(s.size());
  if (start < 0) start = std::max<std::int64_t>(0, n + start + 1);
  if (start == 0) start = 1;
  if (start > n) return Value::text("");
  const std::int64_t len = a.has(2) ? a.integer(2, -kMaxIntArg, kMaxIntArg) : n;
  if (len <= 0) return Value::text("");
  const auto from = static_cast<std::size_t>(start) - 1;
  const auto count = static_cast<std::size_t>(std::min(len, n - start + 1));
  return tempText(a.interp(), s.substr(from, count));
}

Value left(Args& a) {
  std::string_view s = a.text(0);
  const std::int64_t n = a.integer(1, -kMaxIntArg, kMaxIntArg);
  return tempText(a.interp(),
                  n <= 0 ? std::string_view() : s.substr(0, static_cast<std::size_t>(n)));
}

Value right(Args& a) {
  std::string_view s = a.text(0);
  const std::int64_t n = a.integer(1, -kMaxIntArg, kMaxIntArg);
  if (n <= 0) return Value::text("");
  const std::size_t k = std::min(static_cast<std::size_t>(n), s.size());
  return tempText(a.interp(), s.substr(s.size() - k));
}

// Trim() and RTrim() remove trailing blanks; LTrim() and AllTrim() also leading tabs and line
// breaks.
Value trimR(Args& a) { return tempText(a.interp(), trimRight(a.text(0))); }
Value trimL(Args& a) { return tempText(a.interp(), trimLeftWhite(a.text(0))); }
Value trimAll(Args& a) { return tempText(a.interp(), trimLeftWhite(trimRight(a.text(0)))); }
// Names read from the ledger's files are in its OEM code page; reports show them in Windows-1252.
Value oemText(Args& a) { return tempText(a.interp(), oemToAnsi(a.text(0))); }

Value mapCase(Args& a, unsigned char (*fn)(unsigned char)) {
  std::string_view s = a.text(0);
  char* out = a.interp().arena().allocate(s.size());
  for (std::size_t i = 0; i < s.size(); ++i)
    out[i] = static_cast<char>(fn(static_cast<unsigned char>(s[i])));
  return Value::temp({out, s.size()});
}
Value upper(Args& a) { return mapCase(a, toUpper1252); }
Value lower(Args& a) { return mapCase(a, toLower1252); }

Value len(Args& a) {
  const Value& v = a[0];
  if (v.isText()) return Value::number(static_cast<double>(v.textView().size()));
  if (v.isArray()) return Value::number(static_cast<double>(v.arrayData().items.size()));
  return a.fail();
}

Value at(Args& a) {
  std::string_view needle = a.text(0), hay = a.text(1);
  if (needle.empty()) return Value::number(0);
  const std::size_t p = hay.find(needle);
  return Value::number(p == std::string_view::npos ? 0.0 : static_cast<double>(p + 1));
}

Value rat(Args& a) {
  std::string_view needle = a.text(0), hay = a.text(1);
  if (needle.empty()) return Value::number(0);
  const std::size_t p = hay.rfind(needle);
  return Value::number(p == std::string_view::npos ? 0.0 : static_cast<double>(p + 1));
}

// StrTran(text, find, replace, first occurrence to replace, how many)
Value strtran(Args& a) {
  std::string_view s = a.text(0), find = a.text(1);
  std::string_view repl = a.has(2) ? a.text(2) : std::string_view();
  const double first = a.num(3, 1), count = a.num(4, -1);
  if (find.empty()) return a[0];
  std::string out;
  std::size_t pos = 0, seen = 0, done = 0;
  for (;;) {
    const std::size_t hit = s.find(find, pos);
    if (hit == std::string_view::npos || (count >= 0 && static_cast<double>(done) >= count)) break;
    ++seen;
    out.append(s.substr(pos, hit - pos));
    if (static_cast<double>(seen) >= first) {
      out.append(repl);
      ++done;
    } else {
      out.append(find);
    }
    pos = hit + find.size();
    if (out.size() > kMaxText) return a.fail();
  }
  out.append(s.substr(pos));
  return tempText(a.interp(), out);
}

Value stuff(Args& a) {
  std::string_view s = a.text(0);
  std::int64_t start = a.integer(1, -kMaxIntArg, kMaxIntArg);
  std::int64_t del = a.integer(2, -kMaxIntArg, kMaxIntArg);
  std::string_view ins = a.has(3) ? a.text(3) : std::string_view();
  const auto n = static_cast<std::int64_t>(s.size());
  start = std::clamp<std::int64_t>(start, 1, n + 1) - 1;
  del = std::clamp<std::int64_t>(del, 0, n - start);
  std::string out(s.substr(0, static_cast<std::size_t>(start)));
  out.append(ins);
  out.append(s.substr(static_cast<std::size_t>(start + del)));
  return tempText(a.interp(), out);
}

Value replicate(Args& a) {
  std::string_view s = a.text(0);
  const std::size_t n = textLength(a, a.num(1));
  if (s.empty() || n == 0) return Value::text("");
  const std::size_t total = textLength(a, static_cast<double>(s.size()) * static_cast<double>(n));
  char* out = a.interp().arena().allocate(total);
  for (std::size_t i = 0; i < n; ++i) std::memcpy(out + i * s.size(), s.data(), s.size());
  return Value::temp({out, total});
}

Value space(Args& a) {
  const std::size_t n = textLength(a, a.num(0));
  char* out = a.interp().arena().allocate(n);
  std::memset(out, ' ', n);
  return Value::temp({out, n});
}

// Text form of a value for the Pad functions.
std::string padSource(Args& a) {
  const Value& v = a[0];
  if (v.isText()) return std::string(v.textView());
  if (v.isNumber()) return std::string(trimLeftWhite(displayValue(v)));
  if (v.isDate()) return dateToText(v.julian());
  if (v.isLogical()) return v.logical() ? "T" : "F";
  if (v.isNil()) return "";
  throw ArgSubstitute{a.fail()};
}

Value pad(Args& a, int where) {  // -1 left, 0 centre, 1 right
  std::string s = padSource(a);
  const std::size_t n = textLength(a, a.num(1));
  const char fill = a.has(2) && !a.text(2).empty() ? a.text(2)[0] : ' ';
  return tempText(a.interp(), where < 0    ? padLeft(s, n, fill)
                              : where == 0 ? padCentre(s, n, fill)
                                           : padRight(s, n, fill));
}
Value padl(Args& a) { return pad(a, -1); }
Value padr(Args& a) { return pad(a, 1); }
Value padc(Args& a) { return pad(a, 0); }

Value str(Args& a) {
  const Value& v = a[0];
  if (!v.isNumber()) return a.fail();
  int dec = v.decimals();
  int width = displayWidth(v.num(), v.width(), dec);
  if (a.has(1)) {
    width =
        static_cast<int>(std::clamp<std::int64_t>(a.integer(1, -kMaxIntArg, kMaxIntArg), 1, 255));
    dec = a.has(2) ? static_cast<int>(
                         std::clamp<std::int64_t>(a.integer(2, -kMaxIntArg, kMaxIntArg), 0, 99))
                   : 0;
    if (dec > 0 && dec >= width - 1) dec = std::max(0, width - 2);
  }
  return tempText(a.interp(), formatNumber(v.num(), width, dec));
}

// Val() gives the number as wide as its text (Str(Val("12.50")) is "12.50", Str(Val("  7")) is
// "  7"), with the decimals written in it; an empty text gives the default width.
Value val(Args& a) {
  const std::string_view s = a.text(0);
  int dec = 0;
  const double n = parseNumber(s, &dec);
  if (s.empty()) return Value::number(n, dec);
  const int total = static_cast<int>(std::min<std::size_t>(s.size(), 255));
  const int fraction = dec > 0 ? dec + 1 : 0;
  const int needed = static_cast<int>(formatFixed(n, dec).size()) - fraction;
  return Value::number(n, dec, std::max(total - fraction, needed));
}

Value chr(Args& a) {
  const char c = static_cast<char>(a.integer(0, -kMaxExactInteger, kMaxExactInteger) & 0xFF);
  return tempText(a.interp(), std::string_view(&c, 1));
}

Value asc(Args& a) {
  std::string_view s = a.text(0);
  return Value::number(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
}

Value testFirst(Args& a, bool (*fn)(unsigned char)) {
  std::string_view s = a.text(0);
  return Value::logical(!s.empty() && fn(static_cast<unsigned char>(s[0])));
}
Value isdigit(Args& a) {
  return testFirst(a, [](unsigned char c) { return c >= '0' && c <= '9'; });
}
Value isalpha(Args& a) { return testFirst(a, isAlpha1252); }
Value isupper(Args& a) {
  return testFirst(a, [](unsigned char c) { return isAlpha1252(c) && toUpper1252(c) == c; });
}
Value islower(Args& a) {
  return testFirst(a, [](unsigned char c) { return isAlpha1252(c) && toLower1252(c) == c; });
}

Value empty(Args& a) {
  const Value& v = a[0];
  switch (v.type()) {
    case Type::Nil: return Value::logical(true);
    case Type::Character: return Value::logical(isWhiteText(v.textView()));
    case Type::Numeric: return Value::logical(v.num() == 0);
    case Type::Date: return Value::logical(v.julian() == 0);
    case Type::Logical: return Value::logical(!v.logical());
    case Type::Array: return Value::logical(v.arrayData().items.empty());
    default: return Value::logical(false);
  }
}

// Wildcard match: '*' any run, '?' any one character.
bool wildMatch(std::string_view p, std::string_view s) {
  std::size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == s[si])) {
      ++pi;
      ++si;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = si;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}
Value like(Args& a) { return Value::logical(wildMatch(a.text(0), a.text(1))); }

}  // namespace

Value transform(Args& a);

void registerText(Functions& f) {
  f.add("SUBSTR", substr, 2, 3);
  f.add("LEFT", left, 2, 2);
  f.add("RIGHT", right, 2, 2);
  f.add("TRIM", trimR, 1, 1);
  f.add("RTRIM", trimR, 1, 1);
  f.add("LTRIM", trimL, 1, 1);
  f.add("ALLTRIM", trimAll, 1, 1);
  f.add("OEMTOANSI", oemText, 1, 1);
  f.add("UPPER", upper, 1, 1);
  f.add("LOWER", lower, 1, 1);
  f.add("LEN", len, 1, 1);
  f.add("AT", at, 2, 2);
  f.add("RAT", rat, 2, 2);
  f.add("STRTRAN", strtran, 2, 5);
  f.add("STUFF", stuff, 3, 4);
  f.add("REPLICATE", replicate, 2, 2);
  f.add("SPACE", space, 1, 2);
  f.add("PADL", padl, 2, 3);
  f.add("PADR", padr, 2, 3);
  f.add("PADC", padc, 2, 3);
  f.add("STR", str, 1, 3);
  f.add("VAL", val, 1, 1);
  f.add("TRANSFORM", transform, 2, 2);
  f.add("CHR", chr, 1, 1);
  f.add("ASC", asc, 1, 1);
  f.add("ISDIGIT", isdigit, 1, 1);
  f.add("ISALPHA", isalpha, 1, 1);
  f.add("ISUPPER", isupper, 1, 1);
  f.add("ISLOWER", islower, 1, 1);
  f.add("EMPTY", empty, 1, 1);
  f.add("LIKE", like, 2, 2);
}

}  // namespace exo::lib

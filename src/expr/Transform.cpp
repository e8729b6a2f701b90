// Transform(): values formatted with a picture ("@! ...", "999,999.99", "####-##-##").
#include <algorithm>
#include <cmath>
#include <string>

#include "expr/Dates.h"
#include "expr/Library.h"
#include "expr/Numbers.h"

namespace exo::lib {
namespace {

struct Picture {
  std::string functions;  // upper-case function letters after '@'
  std::string mask;       // the template
  bool has(char c) const { return functions.find(c) != std::string::npos; }
};

Picture splitPicture(std::string_view pic) {
  Picture p;
  if (!pic.empty() && pic[0] == '@') {
    std::size_t i = 1;
    while (i < pic.size() && pic[i] != ' ')
      p.functions += static_cast<char>(toUpper1252(static_cast<unsigned char>(pic[i++])));
    if (i < pic.size()) ++i;
    p.mask = std::string(pic.substr(i));
  } else {
    p.mask = std::string(pic);
  }
  return p;
}

bool isDigitSlot(char c) { return c == '9' || c == '#' || c == '*' || c == '$'; }

// Numeric template: digit slots filled from the decimal point outwards.
std::string numericMask(double x, const std::string& mask) {
  const std::size_t point = mask.find('.');
  const std::size_t intEnd = point == std::string::npos ? mask.size() : point;
  int decSlots = 0;
  for (std::size_t i = intEnd; i < mask.size(); ++i) decSlots += isDigitSlot(mask[i]) ? 1 : 0;
  const std::string fixed = formatFixed(std::fabs(x), decSlots);
  const std::size_t fixedPoint = fixed.find('.');
  std::string intDigits = fixed.substr(0, fixedPoint);
  const std::string decDigits = fixedPoint == std::string::npos ? "" : fixed.substr(fixedPoint + 1);
  const bool negative = x < 0 && fixed.find_first_not_of("0.") != std::string::npos;
  if (intDigits == "0" && decSlots > 0) {
    int intSlots = 0;
    for (std::size_t i = 0; i < intEnd; ++i) intSlots += isDigitSlot(mask[i]) ? 1 : 0;
    if (intSlots == 0) intDigits.clear();
  }
  std::string out = mask;
  // Integer part, right to left.
  std::size_t k = intDigits.size();
  bool signPlaced = !negative;
  bool overflow = false;
  for (std::size_t i = intEnd; i-- > 0;) {
    const char m = mask[i];
    if (isDigitSlot(m)) {
      if (k > 0) {
        out[i] = intDigits[--k];
      } else if (!signPlaced) {
        out[i] = '-';
        signPlaced = true;
      } else {
        out[i] = m == '*' ? '*' : ' ';
      }
    } else if (m == ',') {
      bool digitLeft = false;
      for (std::size_t j = i; j-- > 0;) {
        if (isDigitSlot(mask[j])) {
          digitLeft = k > 0;
          break;
        }
      }
      out[i] = digitLeft ? ',' : ' ';
    }
  }
  if (k > 0 || !signPlaced) overflow = true;
  // Decimal part, left to right.
  std::size_t d = 0;
  for (std::size_t i = intEnd + 1; i < mask.size(); ++i) {
    if (isDigitSlot(mask[i])) out[i] = d < decDigits.size() ? decDigits[d++] : '0';
  }
  if (overflow) {
    for (char& c : out) {
      if (c != '.') c = '*';
    }
  }
  return out;
}

std::string transformNumber(double x, int dec, int width, const Picture& p) {
  std::string out;
  if (p.mask.empty()) {
    out = formatNumber(x, displayWidth(x, width, dec), dec);
  } else {
    out = numericMask(x, p.mask);
  }
  if (p.has('(') && x < 0) {
    std::string body(trimLeft(out));
    if (!body.empty() && body[0] == '-') body.erase(0, 1);
    out = "(" + body + ")";
  }
  if (p.has('X') && x < 0) out += " DB";
  if (p.has('C') && x > 0) out += " CR";
  if (p.has('Z') && x == 0) out.assign(out.size(), ' ');
  if (p.has('E')) {
    for (char& c : out) c = c == '.' ? ',' : c == ',' ? '.' : c;
  }
  if (p.has('B')) {
    out = padRight(trimLeft(out), out.size());
  }
  return out;
}

bool isTextSlot(char c) {
  switch (c) {
    case 'A':
    case 'N':
    case 'X':
    case '9':
    case '#':
    case '!':
    case 'L':
    case 'Y':
    case 'a':
    case 'n':
    case 'x':
    case 'l':
    case 'y': return true;
    default: return false;
  }
}

std::string transformText(std::string_view s, const Picture& p) {
  const bool upper = p.has('!');
  auto conv = [&](char c, bool up) {
    return up ? static_cast<char>(toUpper1252(static_cast<unsigned char>(c))) : c;
  };
  if (p.mask.empty()) {
    std::string out;
    for (char c : s) out += conv(c, upper);
    return out;
  }
  const bool insert = p.has('R');
  std::string out;
  std::size_t k = 0;
  for (char m : p.mask) {
    if (isTextSlot(m)) {
      out += k < s.size() ? conv(s[k], upper || m == '!') : ' ';
      ++k;
    } else {
      out += m;
      if (!insert) ++k;
    }
  }
  return out;
}

}  // namespace

Value transform(Args& a) {
  const Value& v = a[0];
  const Picture p = splitPicture(a.has(1) ? a.text(1) : std::string_view());
  Interp& ip = a.interp();
  switch (v.type()) {
    case Type::Numeric: return tempText(ip, transformNumber(v.num(), v.decimals(), v.width(), p));
    case Type::Character: return tempText(ip, transformText(v.textView(), p));
    case Type::Date: return tempText(ip, dateToText(v.julian()));
    case Type::Logical: {
      const bool yes = p.mask.find_first_of("Yy") != std::string::npos || p.has('Y');
      return tempText(ip, yes ? (v.logical() ? "Y" : "N") : (v.logical() ? "T" : "F"));
    }
    case Type::Nil: return Value::text("");
    default: return a.fail();
  }
}

}  // namespace exo::lib

// A1-style references: column letters both ways and range parsing.
#include "reports/CellRef.h"

#include <algorithm>
#include <cctype>

#include "expr/Text.h"

namespace exo::reports {

std::string columnLetters(int col) {
  std::string out;
  while (col > 0) {
    const int rem = (col - 1) % 26;
    out.insert(out.begin(), static_cast<char>('A' + rem));
    col = (col - 1) / 26;
  }
  return out;
}

int columnNumber(std::string_view letters) {
  long n = 0;
  bool any = false;
  for (char ch : letters) {
    if (ch == '$') continue;
    const int c = std::toupper(static_cast<unsigned char>(ch));
    if (c < 'A' || c > 'Z') return 0;
    n = n * 26 + (c - 'A' + 1);
    any = true;
    if (n > kMaxCols) return 0;
  }
  return any ? static_cast<int>(n) : 0;
}

std::string cellName(int row, int col) { return columnLetters(col) + std::to_string(row); }

std::string rangeName(const CellRange& r) {
  std::string out = cellName(r.top, r.left);
  if (r.bottom != r.top || r.right != r.left) out += ":" + cellName(r.bottom, r.right);
  return out;
}

namespace {

// One corner: letters and/or digits, each optionally preceded by "$". Missing parts are 0.
bool parseCorner(std::string_view s, int& row, int& col) {
  std::size_t i = 0;
  if (i < s.size() && s[i] == '$') ++i;
  const std::size_t letterStart = i;
  while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
  const std::string_view letters = s.substr(letterStart, i - letterStart);
  if (i < s.size() && s[i] == '$') ++i;
  const std::size_t digitStart = i;
  long r = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
    r = r * 10 + (s[i] - '0');
    if (r > kMaxRows) return false;
    ++i;
  }
  if (i != s.size() || (letters.empty() && digitStart == i)) return false;
  col = letters.empty() ? 0 : columnNumber(letters);
  if (!letters.empty() && col == 0) return false;
  row = static_cast<int>(r);
  if (digitStart != i && row == 0) return false;
  return true;
}

}  // namespace

std::optional<CellRange> parseRange(std::string_view text) {
  text = trimBlanks(text);
  if (const auto bang = text.rfind('!'); bang != std::string_view::npos)
    text = text.substr(bang + 1);
  const auto colon = text.find(':');
  const std::string_view first = text.substr(0, colon);
  const std::string_view second = colon == std::string_view::npos ? first : text.substr(colon + 1);
  int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
  if (!parseCorner(first, r1, c1) || !parseCorner(second, r2, c2)) return std::nullopt;
  // Both corners must be of the same kind: cells, whole columns or whole rows.
  if ((r1 == 0) != (r2 == 0) || (c1 == 0) != (c2 == 0)) return std::nullopt;
  CellRange r;
  r.top = r1 == 0 ? 1 : std::min(r1, r2);
  r.bottom = r1 == 0 ? kMaxRows : std::max(r1, r2);
  r.left = c1 == 0 ? 1 : std::min(c1, c2);
  r.right = c1 == 0 ? kMaxCols : std::max(c1, c2);
  return r;
}

}  // namespace exo::reports

// The in-memory workbook: cells, interned texts and styles, sheets.
#include "reports/Workbook.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>

#include "expr/Dates.h"
#include "expr/Numbers.h"
#include "expr/Text.h"

namespace exo::reports {

std::size_t CellStyleHash::operator()(const CellStyle& s) const {
  std::size_t h = std::hash<std::string>()(s.font);
  auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
  mix(std::hash<double>()(s.size));
  mix(static_cast<std::size_t>(s.bold) | static_cast<std::size_t>(s.italic) << 1 |
      static_cast<std::size_t>(s.underline) << 2 | static_cast<std::size_t>(s.wrap) << 3 |
      static_cast<std::size_t>(s.locked) << 4);
  mix(s.color);
  mix(static_cast<std::size_t>(s.background));
  mix(static_cast<std::size_t>(s.align) * 31 + static_cast<std::size_t>(s.orientation));
  mix(static_cast<std::size_t>(s.border));
  mix(std::hash<std::string>()(s.numberFormat));
  return h;
}

const Cell* Sheet::find(int row, int col) const {
  if (row < 1 || col < 1 || static_cast<std::size_t>(row) > rows.size()) return nullptr;
  const auto& r = rows[static_cast<std::size_t>(row) - 1];
  return static_cast<std::size_t>(col) > r.size() ? nullptr : &r[static_cast<std::size_t>(col) - 1];
}

Cell& Sheet::at(int row, int col) {
  const auto r = static_cast<std::size_t>(row), c = static_cast<std::size_t>(col);
  if (rows.size() < r) rows.resize(r);
  auto& cells = rows[r - 1];
  if (cells.size() < c) cells.resize(c);
  return cells[c - 1];
}

int Sheet::lastRow() const {
  for (std::size_t r = rows.size(); r > 0; --r) {
    for (const Cell& c : rows[r - 1])
      if (c.kind != CellKind::Empty || c.style != 0) return static_cast<int>(r);
  }
  return 0;
}

int Sheet::lastCol() const {
  int last = 0;
  for (const auto& r : rows) {
    for (std::size_t c = r.size(); c > static_cast<std::size_t>(last); --c) {
      if (r[c - 1].kind != CellKind::Empty || r[c - 1].style != 0) {
        last = static_cast<int>(c);
        break;
      }
    }
  }
  return last;
}

Workbook::Workbook() {
  m_styles.emplace_back();
  m_styleIds.emplace(m_styles.front(), 0);
  intern("");
  m_sheets.emplace_back();
  m_sheets.back().name = "Hoja1";
}

std::optional<std::size_t> Workbook::findSheet(std::string_view name) const {
  const std::string wanted = upper1252(trimBlanks(name));
  for (std::size_t i = 0; i < m_sheets.size(); ++i)
    if (upper1252(m_sheets[i].name) == wanted) return i;
  return std::nullopt;
}

std::string Workbook::freeSheetName(int from) const {
  for (int n = from;; ++n) {
    std::string name = "Hoja" + std::to_string(n);
    if (!findSheet(name)) return name;
  }
}

Sheet& Workbook::addSheet() {
  Sheet sh;
  sh.name = freeSheetName(static_cast<int>(m_sheets.size()) + 1);
  m_sheets.insert(m_sheets.begin() + static_cast<std::ptrdiff_t>(m_active), std::move(sh));
  return m_sheets[m_active];
}

std::uint32_t Workbook::intern(std::string_view text) {
  const std::uint64_t h = HashSlots::hashOf(text);
  const std::uint32_t known =
      m_stringIds.find(h, [&](std::uint32_t id) { return m_strings[id] == text; });
  if (known != HashSlots::kNone) return known;
  const auto id = static_cast<std::uint32_t>(m_strings.size());
  m_strings.emplace_back(text);
  m_stringIds.add(h, id);
  return id;
}

std::uint32_t Workbook::styleId(const CellStyle& s) {
  for (const std::uint32_t recent : m_recentStyles)
    if (m_styles[recent] == s) return recent;
  std::uint32_t id;
  if (auto it = m_styleIds.find(s); it != m_styleIds.end()) {
    id = it->second;
  } else {
    id = static_cast<std::uint32_t>(m_styles.size());
    m_styles.push_back(s);
    m_styleIds.emplace(s, id);
  }
  m_recentStyles[1] = m_recentStyles[0];
  m_recentStyles[0] = id;
  return id;
}

void Workbook::setNumber(Sheet& sh, int row, int col, double n) {
  Cell& c = sh.at(row, col);
  c.kind = CellKind::Number;
  c.num = std::isfinite(n) ? n : 0;
}

void Workbook::setText(Sheet& sh, int row, int col, std::string_view text) {
  Cell& c = sh.at(row, col);
  c.kind = CellKind::Text;
  c.text = intern(text);
}

void Workbook::setLogical(Sheet& sh, int row, int col, bool b) {
  Cell& c = sh.at(row, col);
  c.kind = CellKind::Logical;
  c.num = b ? 1 : 0;
}

void Workbook::setDate(Sheet& sh, int row, int col, double serial) {
  Cell& c = sh.at(row, col);
  c.kind = CellKind::Date;
  c.num = serial;
}

void Workbook::setFormula(Sheet& sh, int row, int col, std::string_view formula) {
  Cell& c = sh.at(row, col);
  c.kind = CellKind::Formula;
  c.text = intern(formula);
  c.num = 0;
}

void Workbook::clear(Sheet& sh, int row, int col) {
  if (sh.find(row, col) == nullptr) return;
  Cell& c = sh.at(row, col);
  c.kind = CellKind::Empty;
  c.num = 0;
  c.text = 0;
}

namespace {

// Decimals, thousands separator and percent sign of a number format such as "#,##0.00".
struct NumberShape {
  int decimals = -1;  // -1: general
  bool thousands = false;
  bool percent = false;
};

NumberShape shapeOf(std::string_view format) {
  NumberShape s;
  if (format.empty() || format == "General" || format == "@") return s;
  const auto section = format.substr(0, format.find(';'));
  const auto dot = section.find('.');
  s.decimals = 0;
  if (dot != std::string_view::npos) {
    for (std::size_t i = dot + 1; i < section.size() && (section[i] == '0' || section[i] == '#');
         ++i)
      ++s.decimals;
  }
  s.thousands = section.find(',') != std::string_view::npos;
  s.percent = section.find('%') != std::string_view::npos;
  return s;
}

std::string generalNumber(double n) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10G", n);
  return buf;
}

std::string shapedNumber(double n, const NumberShape& s) {
  if (s.decimals < 0) return generalNumber(n);
  if (s.percent) n *= 100;
  std::string text = formatFixed(roundHalfAway(n, s.decimals), s.decimals);
  if (s.thousands) {
    const bool negative = !text.empty() && text[0] == '-';
    std::size_t end = text.find('.');
    if (end == std::string::npos) end = text.size();
    for (std::size_t i = end; i > (negative ? 4u : 3u); i -= 3) text.insert(i - 3, ",");
  }
  return s.percent ? text + "%" : text;
}

}  // namespace

std::string Workbook::displayText(const Cell& c) const {
  const CellStyle& st = m_styles[c.style];
  switch (c.kind) {
    case CellKind::Empty: return {};
    case CellKind::Text: return m_strings[c.text];
    case CellKind::Logical: return c.num != 0 ? "VERDADERO" : "FALSO";
    case CellKind::Date: {
      const std::int32_t jd = julianFromSerial(c.num);
      if (jd <= 0) return generalNumber(c.num);
      int y, m, d;
      ymdFromJulian(jd, y, m, d);
      char buf[16];
      std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d, m, y);
      return buf;
    }
    case CellKind::Number:
    case CellKind::Formula: return shapedNumber(c.num, shapeOf(st.numberFormat));
  }
  return {};
}

namespace {
const std::int32_t kSerialBase = julianFromYmd(1899, 12, 30);
}

double serialFromJulian(std::int32_t jd) {
  if (jd <= 0) return 0;
  double serial = jd - kSerialBase;
  // Before 1900-03-01 the format counts one day less (it has no 1900-02-29 of its own).
  if (serial < 61) serial -= 1;
  return serial;
}

std::int32_t julianFromSerial(double serial) {
  if (!(serial >= 1) || serial > 2958465) return 0;
  auto whole = static_cast<std::int32_t>(std::floor(serial));
  if (whole < 61) whole += 1;
  return kSerialBase + whole;
}

bool isDateFormat(std::string_view format) {
  bool inQuote = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char ch = format[i];
    if (ch == '"') inQuote = !inQuote;
    if (inQuote) continue;
    if (ch == '\\' || ch == '_') {
      ++i;
      continue;
    }
    if (ch == '[') {  // colours and conditions, but [h] [m] [s] are elapsed times
      const auto close = format.find(']', i);
      if (close == std::string_view::npos) return false;
      i = close;
      continue;
    }
    const int lower = std::tolower(static_cast<unsigned char>(ch));
    if (lower == 'd' || lower == 'y' || lower == 'm' || lower == 'h' || lower == 's') return true;
    if (ch == 'G' && format.substr(i, 7) == "General") i += 6;
  }
  return false;
}

double estimateColumnWidth(const Workbook& book, const Sheet& sh, int col) {
  double best = 0;
  for (std::size_t r = 0; r < sh.rows.size(); ++r) {
    const Cell* c = sh.find(static_cast<int>(r) + 1, col);
    if (c == nullptr || c->kind == CellKind::Empty) continue;
    const CellStyle& st = book.style(c->style);
    const std::string text = book.displayText(*c);
    // Wrapped text and multi-line text fit their longest line.
    std::size_t longest = 0, run = 0;
    for (char ch : text) {
      run = ch == '\n' ? 0 : run + 1;
      longest = std::max(longest, run);
    }
    double width = static_cast<double>(longest) * st.size / 11.0 * (st.bold ? 1.1 : 1.0);
    best = std::max(best, width);
  }
  return best == 0 ? 0 : std::min(255.0, best + 1.5);
}

}  // namespace exo::reports

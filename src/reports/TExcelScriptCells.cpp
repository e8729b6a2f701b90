// The script's cell operations: writing and reading values, styles of cells and ranges,
// formulas, comments, merges, widths, the active cell, inserting and copying, find and replace.
#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "reports/CellValue.h"
#include "reports/ScriptArgs.h"
#include "reports/TExcelScript.h"

namespace exo::reports {

template <class Change>
void TExcelScript::restyle(Workbook& b, Sheet& sh, const CellRange& r, Change change) {
  // Cells of one style all get the same new style: remember the mapping.
  std::unordered_map<std::uint32_t, std::uint32_t> done;
  const CellRange in = bounded(sh, r);
  for (int row = in.top; row <= in.bottom; ++row) {
    for (int col = in.left; col <= in.right; ++col) {
      Cell& c = sh.at(row, col);
      auto it = done.find(c.style);
      if (it == done.end()) {
        CellStyle s = b.style(c.style);
        change(s);
        it = done.emplace(c.style, b.styleId(s)).first;
      }
      c.style = it->second;
    }
  }
}

namespace {

// Spanish function names a definition may write in a formula, and the names the file keeps.
const std::unordered_map<std::string, std::string>& localFunctions() {
  static const std::unordered_map<std::string, std::string> names = {
      {"SUMA", "SUM"},
      {"PROMEDIO", "AVERAGE"},
      {"SI", "IF"},
      {"CONTAR", "COUNT"},
      {"CONTARA", "COUNTA"},
      {"REDONDEAR", "ROUND"},
      {"SUBTOTALES", "SUBTOTAL"},
      {"CONCATENAR", "CONCATENATE"},
      {"HOY", "TODAY"},
      {"Y", "AND"},
      {"O", "OR"},
      {"ENTERO", "INT"},
      {"SUMAR.SI", "SUMIF"},
      {"BUSCARV", "VLOOKUP"},
      {"CONTAR.SI", "COUNTIF"},
      {"MAXIMO", "MAX"},
      {"MINIMO", "MIN"},
      {"ABS", "ABS"},
  };
  return names;
}

// The formula as the file keeps it: ";" between arguments becomes ",", Spanish function
// names become the file's. Empty when the text is not a formula that a spreadsheet would take
// (no leading "=", unbalanced parentheses or quotes).
std::string fileFormula(std::string_view local) {
  local = trimBlanks(local);
  if (local.size() < 2 || local[0] != '=') return {};
  std::string out = "=";
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 1; i < local.size(); ++i) {
    const char ch = local[i];
    if (ch == '"') quoted = !quoted;
    if (quoted) {
      out += ch;
      continue;
    }
    if (std::isalpha(static_cast<unsigned char>(ch))) {
      std::size_t j = i;
      while (j < local.size() && (std::isalnum(static_cast<unsigned char>(local[j])) ||
                                  local[j] == '.' || local[j] == '_'))
        ++j;
      const std::string word(local.substr(i, j - i));
      const auto it = j < local.size() && local[j] == '(' ? localFunctions().find(upper1252(word))
                                                          : localFunctions().end();
      out += it == localFunctions().end() ? word : it->second;
      i = j - 1;
      continue;
    }
    if (ch == '(') ++depth;
    if (ch == ')' && --depth < 0) return {};
    out += ch == ';' ? ',' : ch;
  }
  return depth == 0 && !quoted ? out : std::string();
}

}  // namespace

void TExcelScript::writeValue(Workbook& b, Sheet& sh, int row, int col, const Value& v) {
  switch (v.type()) {
    case Type::Numeric: b.setNumber(sh, row, col, v.num()); break;
    case Type::Date:
      if (v.julian() == 0) b.clear(sh, row, col);
      else b.setDate(sh, row, col, serialFromJulian(v.julian()));
      break;
    case Type::Logical: b.setLogical(sh, row, col, v.logical()); break;
    case Type::Character: {
      const std::string_view t = v.textView();
      // As a spreadsheet takes typed input: "=..." is a formula, a leading apostrophe only
      // marks text. Digits stay text, so identification numbers keep their leading zeros.
      if (t.size() > 1 && t[0] == '=' && !fileFormula(t).empty())
        b.setFormula(sh, row, col, fileFormula(t));
      else b.setText(sh, row, col, !t.empty() && t[0] == '\'' ? t.substr(1) : t);
      break;
    }
    default: b.clear(sh, row, col); break;
  }
}

Value TExcelScript::cellValue(const Workbook& b, const Cell* c) const {
  if (c == nullptr) return Value::text("");
  switch (c->kind) {
    case CellKind::Empty: return Value::text("");
    case CellKind::Text: return Value::text(b.text(c->text));
    case CellKind::Logical: return Value::logical(c->num != 0);
    case CellKind::Date: return Value::date(julianFromSerial(c->num));
    case CellKind::Number:
    case CellKind::Formula: return Value::number(c->num, numGetDecimals(c->num));
  }
  return Value::text("");
}

CellStyle TExcelScript::sayStyle(Args& a, const CellStyle& current, bool numeric) {
  CellStyle s = current;
  const auto font = optText(a, 3);
  const auto size = optNum(a, 4);
  const auto bold = optBool(a, 5), italic = optBool(a, 6), underline = optBool(a, 7);
  const auto align = optInt(a, 8, -5000, 5000);
  const auto color = optNum(a, 9), back = optNum(a, 10);
  const auto orientation = optInt(a, 11, -5000, 5000), border = optInt(a, 12, -5000, 5000);
  const auto format = optText(a, 13);
  if (m_default) {
    s.font = font.value_or(m_font);
    s.size = size.value_or(m_size);
    s.bold = bold.value_or(m_bold);
    s.italic = italic.value_or(m_italic);
    s.underline = underline.value_or(m_underline);
    s.align = align.value_or(m_align);
    s.color = static_cast<std::uint32_t>(color.value_or(0));
    s.background = static_cast<std::int64_t>(back.value_or(kWhite));
    s.orientation = orientation.value_or(0);
    s.border = border.value_or(1);
    if (numeric) s.numberFormat = format.value_or("0");
    return s;
  }
  if (font) s.font = *font;
  if (size) s.size = *size;
  if (bold) s.bold = *bold;
  if (italic) s.italic = *italic;
  if (underline) s.underline = *underline;
  if (align) s.align = *align;
  if (color) s.color = static_cast<std::uint32_t>(*color);
  if (back) s.background = static_cast<std::int64_t>(*back);
  if (orientation) s.orientation = *orientation;
  if (border) s.border = *border;
  if (format && numeric) s.numberFormat = *format;
  return s;
}

Value TExcelScript::opSay(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  Workbook& b = *book();
  int row, col;
  position(a, 0, row, col);
  const Value value = a.count() > 2 ? a[2] : Value();
  Cell& cell = sh->at(row, col);
  cell.style = b.styleId(sayStyle(a, b.style(cell.style), value.isNumber()));
  writeValue(b, *sh, row, col, value);
  return Value();
}

Value TExcelScript::opGet(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  int row, col;
  position(a, 0, row, col);
  const std::string type = upper1252(trimBlanks(optText(a, 2).value_or("C")));
  const Value v = cellValue(*book(), sh->find(row, col));
  return convertCellValue(v, type == "N" ? 'N' : 'C');
}

Value TExcelScript::opCellFormat(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  int row, col;
  position(a, 0, row, col);
  auto back = optNum(a, 2);
  if (!back && m_default) back = kWhite;
  const auto format = optText(a, 4);
  restyle(*book(), *sh, {row, col, row, col}, [&](CellStyle& s) {
    if (back) s.background = static_cast<std::int64_t>(*back);
    if (format) s.numberFormat = *format;
  });
  return Value();
}

Value TExcelScript::opBorders(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  std::optional<CellRange> r;
  if (optText(a, 0) && !trimBlanks(*optText(a, 0)).empty()) {
    r = rangeArg(a, 0);
  } else {
    int row, col;
    position(a, 1, row, col);
    r = CellRange{row, col, row, col};
  }
  if (!r) return Value();
  const int style = optInt(a, 3, -5000, 5000).value_or(1);
  restyle(*book(), *sh, *r, [style](CellStyle& s) { s.border = style; });
  return Value();
}

Value TExcelScript::opRangeFondo(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r = sh ? rangeArg(a, 0) : std::nullopt;
  if (!r) return Value();
  const auto colour = static_cast<std::int64_t>(optNum(a, 1).value_or(kWhite));
  restyle(*book(), *sh, *r, [colour](CellStyle& s) { s.background = colour; });
  return Value();
}

Value TExcelScript::opFormatRange(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r = sh ? rangeArg(a, 0) : std::nullopt;
  if (!r) return Value();
  const auto font = optText(a, 1);
  const auto size = optNum(a, 2);
  const auto bold = optBool(a, 3), italic = optBool(a, 4);
  const auto align = optInt(a, 5, -5000, 5000);
  const auto color = optNum(a, 6), back = optNum(a, 7);
  const auto border = optInt(a, 8, -5000, 5000);
  const auto format = optText(a, 9);
  restyle(*book(), *sh, *r, [&](CellStyle& s) {
    if (font) s.font = *font;
    if (size) s.size = *size;
    if (bold) s.bold = *bold;
    if (italic) s.italic = *italic;
    if (align) s.align = *align;
    if (color) s.color = static_cast<std::uint32_t>(*color);
    if (back) s.background = static_cast<std::int64_t>(*back);
    if (border) s.border = *border;
    if (format) s.numberFormat = *format;
  });
  if (optBool(a, 10).value_or(false)) {
    const CellRange in = bounded(*sh, *r);
    for (int col = in.left; col <= in.right; ++col) {
      const double w = estimateColumnWidth(*book(), *sh, col);
      if (w > 0) sh->columnWidths[col] = w;
    }
  }
  return Value();
}

Value TExcelScript::opFormula(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  int row, col;
  position(a, 0, row, col);
  const std::string text = optText(a, 2).value_or("");
  const std::string formula = fileFormula(text);
  if (formula.empty()) {
    if (m_ui != nullptr)
      m_ui->message(shell::MessageKind::Alert, "Aviso al usuario",
                    "La formula no es correcta " + text);
    return Value::logical(false);
  }
  book()->setFormula(*sh, row, col, formula);
  return Value::logical(true);
}

Value TExcelScript::opAddComent(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  int row, col;
  position(a, 0, row, col);
  const std::string text = optText(a, 2).value_or("");
  if (!text.empty()) sh->comments[{row, col}] = text;
  return Value();
}

Value TExcelScript::opMultiLine(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  int row, col;
  position(a, 0, row, col);
  restyle(*book(), *sh, {row, col, row, col}, [](CellStyle& s) { s.wrap = true; });
  return Value();
}

Value TExcelScript::opRanMultiLine(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r = sh ? rangeArg(a, 0) : std::nullopt;
  if (r) restyle(*book(), *sh, *r, [](CellStyle& s) { s.wrap = true; });
  return Value();
}

Value TExcelScript::opCombinar(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r = sh ? rangeArg(a, 0) : std::nullopt;
  if (!r || (r->rows() == 1 && r->cols() == 1)) return Value();
  const CellRange m = bounded(*sh, *r);
  // A merge replaces the merges it overlaps.
  std::erase_if(sh->merges, [&m](const CellRange& o) {
    return o.left <= m.right && m.left <= o.right && o.top <= m.bottom && m.top <= o.bottom;
  });
  sh->merges.push_back(m);
  return Value();
}

Value TExcelScript::opColumnWidth(Args& a) {
  Sheet* sh = needSheet(a);
  const auto col = optInt(a, 0, 1, kMaxCols);
  const auto width = optNum(a, 1);
  if (sh && col && width) sh->columnWidths[*col] = std::clamp(*width, 0.0, 255.0);
  return Value();
}

Value TExcelScript::opAutoFit(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  const int col = optInt(a, 0, 1, kMaxCols).value_or(sh->activeCol);
  const double w = estimateColumnWidth(*book(), *sh, col);
  if (w > 0) sh->columnWidths[col] = w;
  return Value();
}

Value TExcelScript::opSetFont(Args& a) {
  Sheet* sh = needSheet(a);
  const auto font = optText(a, 0);
  if (sh && font)
    restyle(*book(), *sh, {1, 1, kMaxRows, kMaxCols}, [&](CellStyle& s) { s.font = *font; });
  return Value();
}

Value TExcelScript::opSizeFont(Args& a) {
  Sheet* sh = needSheet(a);
  const auto size = optNum(a, 0);
  if (sh && size)
    restyle(*book(), *sh, {1, 1, kMaxRows, kMaxCols}, [&](CellStyle& s) { s.size = *size; });
  return Value();
}

Value TExcelScript::opDefaults(Args& a) {
  const std::string_view op = a.function();
  if (op == "FONT" && optText(a, 0)) m_font = *optText(a, 0);
  if (op == "SIZE" && optNum(a, 0)) m_size = *optNum(a, 0);
  if (op == "ALIGN" && optNum(a, 0)) m_align = static_cast<int>(*optNum(a, 0));
  return Value();
}

Value TExcelScript::opGetCell(Args& a) {
  const Sheet* sh = needSheet(a);
  return sh ? Value::text(cellName(sh->activeRow, sh->activeCol)) : Value();
}

Value TExcelScript::opSetPos(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r = sh ? rangeArg(a, 0) : std::nullopt;
  if (r) {
    sh->activeRow = r->top;
    sh->activeCol = r->left;
  }
  return Value();
}

}  // namespace exo::reports

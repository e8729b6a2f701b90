// The script's sheet operations: adding, copying, deleting, moving, naming and choosing sheets,
// the used area, page set-up, headers and footers, page breaks, auto-filter, subtotals, charts,
// pictures and protection.
#include <algorithm>
#include <cmath>

#include "expr/Interp.h"
#include "expr/PathPolicy.h"
#include "expr/Text.h"
#include "reports/ScriptArgs.h"
#include "reports/TExcelScript.h"

namespace exo::reports {

std::optional<std::size_t> TExcelScript::sheetIndex(Args& a, std::size_t i) {
  Workbook* b = book();
  if (b == nullptr) return std::nullopt;
  if (const auto n = optNum(a, i)) {
    if (*n >= 1 && *n <= static_cast<double>(b->sheets().size()))
      return static_cast<std::size_t>(*n) - 1;
    return std::nullopt;
  }
  if (const auto name = optText(a, i)) return b->findSheet(*name);
  return b->activeIndex();
}

Value TExcelScript::opAddSheet(Args& a) {
  if (Workbook* b = needBook(a)) b->addSheet();
  return Value();
}

Value TExcelScript::opCopySheet(Args& a) {
  Workbook* b = needBook(a);
  if (b == nullptr) return Value();
  // The copy goes after the current sheet and becomes current, named "NAME (2)".
  Sheet copy = b->active();
  std::string base = copy.name.substr(0, 27);
  copy.name = base + " (2)";
  for (int n = 3; b->findSheet(copy.name); ++n) copy.name = base + " (" + std::to_string(n) + ")";
  const std::size_t at = b->activeIndex() + 1;
  b->sheets().insert(b->sheets().begin() + static_cast<std::ptrdiff_t>(at), std::move(copy));
  b->setActive(at);
  return Value();
}

Value TExcelScript::opDelSheet(Args& a) {
  Workbook* b = needBook(a);
  const auto i = b ? sheetIndex(a, 0) : std::nullopt;
  // A workbook keeps at least one sheet.
  if (!i || b->sheets().size() < 2) return Value::logical(false);
  b->sheets().erase(b->sheets().begin() + static_cast<std::ptrdiff_t>(*i));
  if (b->activeIndex() >= b->sheets().size()) b->setActive(b->sheets().size() - 1);
  return Value::logical(true);
}

Value TExcelScript::opMoveSheet(Args& a) {
  Workbook* b = needBook(a);
  const auto from = b ? sheetIndex(a, 0) : std::nullopt;
  if (!from) return Value();
  const auto before = a.has(1) ? sheetIndex(a, 1) : std::nullopt;
  const auto after = a.has(2) ? sheetIndex(a, 2) : std::nullopt;
  if (!before && !after) return Value();
  auto& sheets = b->sheets();
  const std::string activeName = b->active().name;
  std::size_t to = before ? *before : *after + 1;
  Sheet moving = std::move(sheets[*from]);
  sheets.erase(sheets.begin() + static_cast<std::ptrdiff_t>(*from));
  if (to > *from) --to;
  sheets.insert(sheets.begin() + static_cast<std::ptrdiff_t>(std::min(to, sheets.size())),
                std::move(moving));
  b->setActive(*b->findSheet(activeName));
  return Value();
}

Value TExcelScript::opNameSheet(Args& a) {
  Workbook* b = needBook(a);
  if (b == nullptr) return Value::logical(false);
  const std::optional<std::size_t> i = sheetIndex(a, 0);
  const std::string name(trimBlanks(optText(a, 1).value_or("")));
  if (!i.has_value()) return Value::logical(false);
  const std::size_t index = i.value();
  const auto clash = b->findSheet(name);
  if (name.empty() || name.size() > 31 || name.find_first_of("[]:*?/\\") != std::string::npos ||
      (clash.has_value() && clash.value() != index)) {
    notice("El nombre de hoja " + name + " no es v\341lido");
    return Value::logical(false);
  }
  b->sheets()[index].name = name;
  return Value::logical(true);
}

Value TExcelScript::opSetSheet(Args& a) {
  Workbook* b = needBook(a);
  const auto i = b ? sheetIndex(a, 0) : std::nullopt;
  if (!i) return Value::logical(false);
  b->setActive(*i);
  return Value::logical(true);
}

Value TExcelScript::opCountSheets(Args& a) {
  Workbook* b = needBook(a);
  return Value::number(b ? static_cast<double>(b->sheets().size()) : 0);
}

Value TExcelScript::opHowSheet(Args& a) {
  Value names = Value::newArray();
  if (Workbook* b = needBook(a))
    for (const Sheet& sh : b->sheets()) names.arrayData().items.push_back(Value::text(sh.name));
  m_sheetNames = names;
  return names;
}

Value TExcelScript::opSeekSheet(Args& a) {
  Workbook* b = needBook(a);
  return Value::logical(b != nullptr && b->findSheet(optText(a, 0).value_or("")).has_value());
}

Value TExcelScript::opUsedRows(Args& a) {
  const Sheet* sh = needSheet(a);
  return Value::number(sh ? sh->lastRow() : 0);
}

Value TExcelScript::opUsedCols(Args& a) {
  const Sheet* sh = needSheet(a);
  return Value::number(sh ? sh->lastCol() : 0);
}

Value TExcelScript::opPage(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  PageSetup& p = sh->page;
  const std::string_view op = a.function();
  if (op == "SETLANDSCAPE") p.landscape = true;
  if (op == "SETPORTRAIT") p.landscape = false;
  if (op == "LCENTERH") p.centerH = optBool(a, 0).value_or(true);
  if (op == "LCENTERV") p.centerV = optBool(a, 0).value_or(true);
  if (op == "ZOOM") p.zoom = optInt(a, 0, 10, 400).value_or(100);
  if (op == "SETPAGE") p.paperSize = optInt(a, 0, 0, 255).value_or(0);
  if (op == "SETPRINTAREA" || op == "TITLEROWS") {
    std::optional<CellRange> r;
    if (const auto text = optText(a, 0); text && !trimBlanks(*text).empty()) r = rangeArg(a, 0);
    (op == "TITLEROWS" ? p.titleRows : p.printArea) = r;
  }
  return Value();
}

Value TExcelScript::opMargins(Args& a) {
  Sheet* sh = needSheet(a);
  const int which = optInt(a, 0, 0, 6).value_or(0);
  const auto value = optNum(a, 1);
  if (sh == nullptr || !value || *value < 0) return Value();
  // Margins are given in points, as the page set-up of a spreadsheet takes them.
  const double inches = *value / 72.0;
  if (which == 0) std::fill(std::begin(sh->page.margins), std::end(sh->page.margins), inches);
  else sh->page.margins[which - 1] = inches;
  return Value();
}

Value TExcelScript::opHeaders(Args& a) {
  Sheet* sh = needSheet(a);
  const int which = optInt(a, 0, 1, 3).value_or(1);
  if (sh) sh->page.header[which - 1] = optText(a, 1).value_or("");
  return Value();
}

Value TExcelScript::opFooters(Args& a) {
  Sheet* sh = needSheet(a);
  const int which = optInt(a, 0, 1, 3).value_or(1);
  if (sh) sh->page.footer[which - 1] = optText(a, 1).value_or("");
  return Value();
}

Value TExcelScript::opPageBreak(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  int row = sh->activeRow;
  if (const auto n = optInt(a, 0, 1, kMaxRows)) row = *n;
  if (const auto text = optText(a, 0))
    if (const auto r = parseRange(*text)) row = r->top;
  auto& breaks = sh->page.pageBreaks;
  if (std::find(breaks.begin(), breaks.end(), row) == breaks.end()) breaks.push_back(row);
  std::sort(breaks.begin(), breaks.end());
  return Value();
}

Value TExcelScript::opAutoFilter(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r = sh ? rangeArg(a, 0) : std::nullopt;
  if (!r) return Value();
  AutoFilter f;
  f.range = bounded(*sh, *r);
  f.field = optInt(a, 1, 0, kMaxCols).value_or(0);
  f.criteria = optText(a, 2).value_or("");
  sh->autoFilter = f;
  return Value();
}

Value TExcelScript::opChart(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r = sh ? rangeArg(a, 0) : std::nullopt;
  if (!r) return Value();
  Chart ch;
  ch.data = bounded(*sh, *r);
  ch.title = optText(a, 1).value_or("Grafica");
  ch.type = optInt(a, 2, -5000, 5000).value_or(0);
  // Placed beside the data, two columns to its right.
  ch.row = ch.data.top;
  ch.col = std::min(kMaxCols, ch.data.right + 2);
  sh->charts.push_back(ch);
  return Value();
}

namespace {

// The cell under a point of the sheet (in points from its top-left corner) and the offset
// inside it; default widths are 8.43 characters (48 points), rows 15 points.
void anchorOf(const Sheet& sh, double left, double top, Picture& p) {
  p.col = 1;
  for (;;) {
    const auto it = sh.columnWidths.find(p.col);
    const double w = (it == sh.columnWidths.end() ? 8.43 : it->second) * 5.7;
    if (left < w || p.col >= kMaxCols) break;
    left -= w;
    ++p.col;
  }
  p.row = std::clamp(static_cast<int>(top / 15.0) + 1, 1, kMaxRows);
  p.offsetX = left;
  p.offsetY = top - (p.row - 1) * 15.0;
}

}  // namespace

Value TExcelScript::opPicture(Args& a) {
  Sheet* sh = needSheet(a);
  const std::string file(trimBlanks(optText(a, 0).value_or("")));
  if (sh == nullptr || file.empty()) return Value();
  Picture p;
  p.file = nativeName(a.interp(), file).string();
  if (!allowPath(a.interp(), p.file, PathUse::Read,
                 std::string("TExcelScript:") + std::string(a.function())))
    return Value();
  if (!std::filesystem::is_regular_file(p.file)) {
    notice("No existe la imagen " + file);
    return Value();
  }
  const auto r = rangeArg(a, 1);
  p.row = r ? r->top : sh->activeRow;
  p.col = r ? r->left : sh->activeCol;
  sh->pictures.push_back(p);
  return Value();
}

Value TExcelScript::opAddPicture(Args& a) {
  Sheet* sh = needSheet(a);
  const std::string file(trimBlanks(optText(a, 0).value_or("")));
  if (sh == nullptr || file.empty()) return Value();
  Picture p;
  p.file = nativeName(a.interp(), file).string();
  if (!allowPath(a.interp(), p.file, PathUse::Read,
                 std::string("TExcelScript:") + std::string(a.function())))
    return Value();
  if (!std::filesystem::is_regular_file(p.file)) {
    notice("No existe la imagen " + file);
    return Value();
  }
  anchorOf(*sh, std::max(0.0, optNum(a, 1).value_or(1)), std::max(0.0, optNum(a, 2).value_or(1)),
           p);
  p.width = std::max(1.0, optNum(a, 3).value_or(100));
  p.height = std::max(1.0, optNum(a, 4).value_or(100));
  sh->pictures.push_back(p);
  return Value();
}

Value TExcelScript::opAddShape(Args&) {
  // Drawn shapes are not kept in the workbook: nothing is added.
  return Value();
}

Value TExcelScript::opProtect(Args& a) {
  Workbook* b = needBook(a);
  if (b == nullptr) return Value();
  const std::string_view op = a.function();
  const std::string key = optText(a, 0).value_or("");
  const bool on = op.substr(0, 2) != "UN";
  const bool bookToo = op.find("SHEET") == std::string_view::npos;
  const bool sheetToo = op.find("BOOK") == std::string_view::npos;
  if (bookToo) {
    b->structureProtected = on;
    b->structurePassword = on ? key : "";
  }
  if (sheetToo) {
    b->active().isProtected = on;
    b->active().password = on ? key : "";
  }
  return Value();
}

}  // namespace exo::reports

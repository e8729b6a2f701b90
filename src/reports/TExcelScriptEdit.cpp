// The script's editing operations: inserting rows and columns, duplicating a row, clearing,
// copying and pasting, and find and replace from the active cell.
#include <algorithm>
#include <map>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "reports/ScriptArgs.h"
#include "reports/TExcelScript.h"

namespace exo::reports {

namespace {

void shiftRange(CellRange& r, bool rows, int at, int count) {
  int& first = rows ? r.top : r.left;
  int& last = rows ? r.bottom : r.right;
  const int limit = rows ? kMaxRows : kMaxCols;
  if (first >= at) first = std::min(limit, first + count);
  if (last >= at) last = std::min(limit, last + count);
}

}  // namespace

void TExcelScript::shiftRows(Sheet& sh, int at, int count) {
  if (static_cast<std::size_t>(at) <= sh.rows.size())
    sh.rows.insert(sh.rows.begin() + (at - 1), static_cast<std::size_t>(count), {});
  if (sh.rows.size() > static_cast<std::size_t>(kMaxRows)) sh.rows.resize(kMaxRows);
  std::map<std::pair<int, int>, std::string> comments;
  for (auto& [pos, text] : sh.comments) {
    const int row = pos.first >= at ? pos.first + count : pos.first;
    if (row <= kMaxRows) comments[{row, pos.second}] = std::move(text);
  }
  sh.comments = std::move(comments);
  for (CellRange& m : sh.merges) shiftRange(m, true, at, count);
}

void TExcelScript::shiftCols(Sheet& sh, int at, int count) {
  for (auto& row : sh.rows) {
    if (static_cast<std::size_t>(at) <= row.size())
      row.insert(row.begin() + (at - 1), static_cast<std::size_t>(count), Cell{});
    if (row.size() > static_cast<std::size_t>(kMaxCols)) row.resize(kMaxCols);
  }
  std::map<std::pair<int, int>, std::string> comments;
  for (auto& [pos, text] : sh.comments) {
    const int col = pos.second >= at ? pos.second + count : pos.second;
    if (col <= kMaxCols) comments[{pos.first, col}] = std::move(text);
  }
  sh.comments = std::move(comments);
  std::map<int, double> widths;
  for (const auto& [col, w] : sh.columnWidths)
    if (const int c = col >= at ? col + count : col; c <= kMaxCols) widths[c] = w;
  sh.columnWidths = std::move(widths);
  for (CellRange& m : sh.merges) shiftRange(m, false, at, count);
}

Value TExcelScript::opInsertRow(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  if (optText(a, 0)) opSetPos(a);
  shiftRows(*sh, sh->activeRow, 1);
  return Value();
}

Value TExcelScript::opInsertCol(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  if (optText(a, 0)) opSetPos(a);
  shiftCols(*sh, sh->activeCol, 1);
  return Value();
}

Value TExcelScript::opDuplicate(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr) return Value();
  const int row = optInt(a, 0, 1, kMaxRows - 1).value_or(sh->activeRow);
  std::vector<Cell> copy;
  if (static_cast<std::size_t>(row) <= sh->rows.size()) copy = sh->rows[row - 1];
  shiftRows(*sh, row + 1, 1);
  if (!copy.empty()) {
    sh->at(row + 1, 1);
    sh->rows[static_cast<std::size_t>(row)] = std::move(copy);
  }
  return Value();
}

Value TExcelScript::opClear(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r = sh ? rangeArg(a, 0) : std::nullopt;
  if (!r) return Value();
  sh->activeRow = r->top;
  sh->activeCol = r->left;
  const CellRange in = bounded(*sh, *r);
  for (int row = in.top; row <= in.bottom; ++row)
    for (int col = in.left; col <= in.right; ++col) book()->clear(*sh, row, col);
  return Value();
}

Value TExcelScript::opCopy(Args& a) {
  Sheet* sh = needSheet(a);
  const auto text = optText(a, 0);
  if (sh == nullptr || !text || trimBlanks(*text).empty()) return Value();
  const auto r = rangeArg(a, 0);
  if (!r) return Value();
  const CellRange in = bounded(*sh, *r);
  m_clip = {};
  m_clip.from = book();
  for (int row = in.top; row <= in.bottom; ++row) {
    std::vector<Cell> cells;
    for (int col = in.left; col <= in.right; ++col) {
      const Cell* c = sh->find(row, col);
      cells.push_back(c ? *c : Cell{});
    }
    m_clip.cells.push_back(std::move(cells));
  }
  m_clip.full = true;
  return Value();
}

Value TExcelScript::opPaste(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr || !m_clip.full) return Value();
  Workbook& b = *book();
  // The clipboard refers to the texts and styles of the workbook it was copied from.
  bool fromOpen = false;
  for (const auto& ob : m_books) fromOpen = fromOpen || &ob->book == m_clip.from;
  if (!fromOpen) return Value();
  const Workbook& from = *m_clip.from;
  for (std::size_t r = 0; r < m_clip.cells.size(); ++r) {
    for (std::size_t c = 0; c < m_clip.cells[r].size(); ++c) {
      const int row = sh->activeRow + static_cast<int>(r),
                col = sh->activeCol + static_cast<int>(c);
      if (row > kMaxRows || col > kMaxCols) continue;
      Cell cell = m_clip.cells[r][c];
      if (&from != &b) {
        cell.style = b.styleId(from.style(cell.style));
        if (cell.kind == CellKind::Text || cell.kind == CellKind::Formula)
          cell.text = b.intern(from.text(cell.text));
      }
      sh->at(row, col) = cell;
    }
  }
  return Value();
}

// Looks for the search text in the cells after (row, col) in row order, wrapping round to the
// first cell when `wrap`. On a hit the cell becomes active and remembered.
bool TExcelScript::searchFrom(Interp&, int row, int col, bool wrap, bool) {
  Sheet& sh = book()->active();
  const std::string wanted = upper1252(m_findText);
  const auto matches = [&](int r, int c) {
    const Cell* cell = sh.find(r, c);
    return cell && cell->kind != CellKind::Empty &&
           upper1252(book()->displayText(*cell)).find(wanted) != std::string::npos;
  };
  const int rows = static_cast<int>(sh.rows.size());
  auto scan = [&](int fromRow, int fromCol, int toRow, int toCol) {
    for (int r = fromRow; r <= std::min(rows, toRow); ++r) {
      const int width = static_cast<int>(sh.rows[r - 1].size());
      for (int c = r == fromRow ? fromCol : 1; c <= width && (r < toRow || c <= toCol); ++c) {
        if (matches(r, c)) {
          m_found = true;
          m_findRow = sh.activeRow = r;
          m_findCol = sh.activeCol = c;
          return true;
        }
      }
    }
    return false;
  };
  if (scan(row, col + 1, kMaxRows, kMaxCols)) return true;
  return wrap && scan(1, 1, row, col);
}

bool TExcelScript::checkHit(Args&, std::string_view text, bool partial) {
  const Cell* c = book()->active().find(m_findRow, m_findCol);
  if (c == nullptr) return false;
  const std::string shown = upper1252(trimRight(book()->displayText(*c)));
  const std::string wanted = upper1252(trimRight(text));
  return partial ? shown.find(wanted) != std::string::npos : shown == wanted;
}

Value TExcelScript::opFind(Args& a) {
  Sheet* sh = needSheet(a);
  const auto text = optText(a, 0);
  if (sh == nullptr || !text || text->empty()) return Value::logical(false);
  const bool next = optBool(a, 1).value_or(false), partial = optBool(a, 2).value_or(false);
  m_findText = *text;
  m_found = false;
  if (!searchFrom(a.interp(), sh->activeRow, sh->activeCol, true, true))
    return Value::logical(false);
  if (!next && partial) return Value::logical(true);
  while (!checkHit(a, *text, partial)) {
    if (!opFindNext(a).logical()) return Value::logical(false);
  }
  return Value::logical(true);
}

Value TExcelScript::opFindNext(Args& a) {
  Sheet* sh = needSheet(a);
  if (sh == nullptr || !m_found) return Value::logical(false);
  const int row = sh->activeRow, col = sh->activeCol;
  // Only a hit after the current cell counts; the search does not go round again.
  if (searchFrom(a.interp(), m_findRow, m_findCol, false, true) &&
      (m_findRow > row || (m_findRow == row && m_findCol > col)))
    return Value::logical(true);
  sh->activeRow = row;
  sh->activeCol = col;
  m_found = false;
  return Value::logical(false);
}

Value TExcelScript::opReplace(Args& a) {
  Sheet* sh = needSheet(a);
  const auto find = optText(a, 0);
  if (sh == nullptr || !find || find->empty()) return Value::logical(false);
  const std::string repl = optText(a, 1).value_or("");
  const bool all = optBool(a, 4).value_or(false), whole = optBool(a, 5).value_or(false);
  const auto format = optText(a, 6);
  Value findArgs[3] = {Value::text(*find), a.count() > 2 ? a[2] : Value(),
                       a.count() > 3 ? a[3] : Value()};
  Args fa(a.interp(), "FIND", findArgs);
  bool any = false;
  bool hit = opFind(fa).logical();
  while (hit) {
    Workbook& b = *book();
    Cell& c = sh->at(m_findRow, m_findCol);
    if (format) {
      CellStyle s = b.style(c.style);
      s.numberFormat = *format;
      c.style = b.styleId(s);
    }
    std::string text = whole ? repl : b.displayText(c);
    if (!whole) {
      const std::string upperFind = upper1252(*find);
      std::string out;
      for (std::size_t i = 0; i < text.size();) {
        if (upper1252(text.substr(i, find->size())) == upperFind) {
          out += repl;
          i += find->size();
        } else {
          out += text[i++];
        }
      }
      text = out;
    }
    b.setText(*sh, m_findRow, m_findCol, text);
    any = true;
    if (!all) break;
    hit = opFindNext(fa).logical();
  }
  return Value::logical(any);
}

}  // namespace exo::reports

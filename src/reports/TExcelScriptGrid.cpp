// The script's grid writer (columns defined by code blocks, written from a table or an array)
// and the subtotals of a range.
#include <cmath>
#include <vector>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "expr/WorkAreas.h"
#include "reports/ScriptArgs.h"
#include "reports/TExcelScript.h"

namespace exo::reports {

namespace {

// Column definition fields, in the order AddCol takes them.
enum ColField { kData, kAlign, kColor, kBack, kHeader, kFooter, kFieldCount };

Value evalPart(Interp& ip, const Value& v, std::span<const Value> args = {}) {
  return v.isBlock() ? ip.evalBlock(v, args) : v;
}

}  // namespace

Value TExcelScript::opAddCol(Args& a) {
  Value col = Value::newArray(kFieldCount);
  auto& f = col.arrayData().items;
  f[kData] = a.count() > 0 ? a[0].owned() : Value();
  f[kAlign] = optNum(a, 1) ? a[1] : Value::number(1);
  f[kColor] = a.has(2) ? a[2].owned() : Value::number(0);
  f[kBack] = a.has(3) ? a[3].owned() : Value::number(kWhite);
  f[kHeader] = a.has(4) ? a[4].owned() : Value::text("");
  f[kFooter] = a.has(5) ? a[5].owned() : Value::text("");
  if (!m_cols.isArray()) m_cols = Value::newArray();
  m_cols.arrayData().items.push_back(col);
  return self();
}

Value TExcelScript::opSetArray(Args& a) {
  m_data = a.count() > 0 && a[0].isArray() ? a[0].owned() : Value::newArray();
  return self();
}

Value TExcelScript::opWBrowse(Args& a) {
  Sheet* sh = needSheet(a);
  const std::string alias(trimBlanks(optText(a, 2).value_or("")));
  if (sh == nullptr || alias.empty() || !m_cols.isArray()) return Value();
  Interp& ip = a.interp();
  const int top = optInt(a, 0, 1, kMaxRows).value_or(1);
  const int left = optInt(a, 1, 1, kMaxCols).value_or(1);
  const std::string font = optText(a, 3).value_or("Tahoma");
  const double size = optNum(a, 4).value_or(10);
  const Value rowColor = a.count() > 5 ? a[5].owned() : Value();
  const Value rowBack = a.count() > 6 ? a[6].owned() : Value();
  const std::vector<Value> cols = m_cols.arrayData().items;
  m_alias = alias;
  m_at = 0;
  int row = top;
  // Every cell goes through Say with the grid's font, the column's alignment and colours, and
  // a border.
  const auto say = [&](int r, int c, const Value& v, const Value& colDef,
                       std::span<const Value> args) {
    const auto& f = colDef.arrayData().items;
    const Value colour = evalPart(ip, rowColor.isNil() ? f[kColor] : rowColor, args);
    const Value back = evalPart(ip, rowBack.isNil() ? f[kBack] : rowBack, args);
    Value sayArgs[13] = {Value::number(r),
                         Value::number(c),
                         v,
                         Value::text(font),
                         Value::number(size),
                         Value(),
                         Value(),
                         Value(),
                         f[kAlign],
                         colour.isNumber() ? colour : Value::number(0),
                         back.isNumber() ? back : Value::number(kWhite),
                         Value(),
                         Value::number(1)};
    Args sa(ip, "SAY", sayArgs);
    const bool keep = m_default;
    m_default = true;
    opSay(sa);
    m_default = keep;
  };
  const auto writeRow = [&](ColField which, std::span<const Value> args) {
    for (std::size_t i = 0; i < cols.size(); ++i) {
      if (!cols[i].isArray() || cols[i].arrayData().items.size() < kFieldCount) continue;
      say(row, left + static_cast<int>(i), evalPart(ip, cols[i].arrayData().items[which], args),
          cols[i], args);
    }
    ++row;
  };
  writeRow(kHeader, {});
  if (upper1252(alias) == "ARRAY") {
    const std::vector<Value> rows =
        m_data.isArray() ? m_data.arrayData().items : std::vector<Value>{};
    for (const Value& r : rows) {
      m_at += 1;
      const Value args[2] = {r, Value::number(m_at)};
      writeRow(kData, args);
    }
  } else if (WorkAreas* wa = ip.workAreas(); wa != nullptr && wa->areaOf(alias) != 0) {
    const int area = wa->areaOf(alias);
    const int previous = wa->selected();
    wa->select(area);
    while (!wa->eof(area) && row <= kMaxRows) {
      m_at += 1;
      writeRow(kData, {});
      wa->skip(ip, area, 1);
    }
    wa->select(previous);
  }
  writeRow(kFooter, {});
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const int c = left + static_cast<int>(i);
    const double w = estimateColumnWidth(*book(), *sh, c);
    if (w > 0) sh->columnWidths[c] = w;
  }
  return Value();
}

namespace {

// The spreadsheet's SUBTOTAL function number of a script function number, and the value it
// gives over a list of numbers.
int subtotalFunction(int fn) {
  switch (fn) {
    case 2: return 1;   // average
    case 3: return 3;   // count
    case 4: return 7;   // standard deviation of a sample
    case 5: return 8;   // standard deviation of the population
    default: return 9;  // sum
  }
}

double subtotalValue(int fn, const std::vector<double>& v, std::size_t cells) {
  double sum = 0;
  for (double x : v) sum += x;
  const double n = static_cast<double>(v.size());
  switch (fn) {
    case 1: return v.empty() ? 0 : sum / n;
    case 3: return static_cast<double>(cells);
    case 7:
    case 8: {
      const double denom = fn == 7 ? n - 1 : n;
      if (denom <= 0) return 0;
      double sq = 0;
      for (double x : v) sq += (x - sum / n) * (x - sum / n);
      return std::sqrt(sq / denom);
    }
    default: return sum;
  }
}

}  // namespace

Value TExcelScript::opSubtotal(Args& a) {
  Sheet* sh = needSheet(a);
  const auto r0 = sh ? rangeArg(a, 0) : std::nullopt;
  if (!r0) return Value();
  Workbook& b = *book();
  const CellRange r = bounded(*sh, *r0);
  const int groupCol = r.left + optInt(a, 1, 1, r.cols()).value_or(1) - 1;
  const int fn = subtotalFunction(optInt(a, 2, 1, 5).value_or(1));
  std::vector<int> totals;
  if (a.count() > 3 && a[3].isArray())
    for (const Value& v : a[3].arrayData().items)
      if (v.isNumber() && v.num() >= 1 && v.num() <= r.cols())
        totals.push_back(r.left + static_cast<int>(v.num()) - 1);
  if (totals.empty() || r.rows() < 2) return Value();
  // Runs of equal group values, first row after the heading; totals are inserted from the
  // bottom so earlier positions stay valid.
  struct Run {
    int first, last;
    std::string label;
  };
  std::vector<Run> runs;
  for (int row = r.top + 1; row <= r.bottom; ++row) {
    const Cell* c = sh->find(row, groupCol);
    const std::string key = c ? b.displayText(*c) : std::string();
    if (runs.empty() || runs.back().label != key) runs.push_back({row, row, key});
    runs.back().last = row;
  }
  const auto writeTotal = [&](int at, int first, int last, const std::string& label) {
    b.setText(*sh, at, groupCol, label);
    for (int col : totals) {
      std::vector<double> nums;
      std::size_t filled = 0;
      for (int row = first; row <= last; ++row) {
        const Cell* c = sh->find(row, col);
        if (c == nullptr || c->kind == CellKind::Empty || c->kind == CellKind::Formula) continue;
        ++filled;
        if (c->kind == CellKind::Number) nums.push_back(c->num);
      }
      const std::string ref = columnLetters(col) + std::to_string(first) + ":" +
                              columnLetters(col) + std::to_string(last);
      b.setFormula(*sh, at, col, "=SUBTOTAL(" + std::to_string(fn) + "," + ref + ")");
      sh->at(at, col).num = subtotalValue(fn, nums, filled);
    }
  };
  int inserted = static_cast<int>(runs.size());
  const int lastData = r.bottom + inserted;
  shiftRows(*sh, r.bottom + 1, 1);
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    shiftRows(*sh, it->last + 1, 1);
    --inserted;
    // Rows below this run moved by the totals inserted after it; this run did not move.
    writeTotal(it->last + 1, it->first, it->last, it->label + " Total");
  }
  writeTotal(lastData + 1, r.top + 1, lastData, "Total general");
  return Value();
}

}  // namespace exo::reports

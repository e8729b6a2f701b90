// The in-memory workbook behind the spreadsheet script: sheets of cells with values, styles,
// formulas (kept as text, never computed), comments, merges, column widths, page set-up, print
// titles and area, auto-filter, protection, pictures and charts. It is written to and read from
// Office Open XML files by XlsxWriter and XlsxReader.
//
// Texts are Windows-1252 bytes, as everywhere in the core. Rows and columns are 1-based.
// Cells are kept densely per row (a row holds its cells up to its last written column), texts
// and formulas are interned once per workbook, and styles are interned into a table, so a large
// sheet costs about 24 bytes a cell.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "expr/HashSlots.h"
#include "reports/CellRef.h"

namespace exo::reports {

// The automation colour of white (red + 256 × green + 65536 × blue).
inline constexpr std::uint32_t kWhite = 16777215;

// The look of a cell. Colours are automation colour numbers; `background` < 0 means no fill.
// `align` is the horizontal alignment number definitions use (1 general, 2 left, 3 centre,
// 4 right, 5 fill, 6 justify, 7 centre across the selection, or the automation constants
// -4131, -4108, -4152, -4130); `border` the line style number of all four edges (0 none, 1
// continuous, -4115 dashes, -4118 dots, -4119 double, 4 dash-dot, 5 dash-dot-dot, 13 slanted).
struct CellStyle {
  std::string font = "Calibri";
  double size = 11;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  std::uint32_t color = 0;
  std::int64_t background = -1;
  int align = 1;
  int orientation = 0;
  int border = 0;
  std::string numberFormat;  // "" is the general format
  bool wrap = false;
  bool locked = true;
  bool operator==(const CellStyle&) const = default;
};

struct CellStyleHash {
  std::size_t operator()(const CellStyle& s) const;
};

enum class CellKind : std::uint8_t { Empty, Number, Text, Logical, Date, Formula };

// One cell. Number: `num`; Date: `num` is the serial day (1 = 1900-01-01); Logical: `num` 0/1;
// Text: `text` indexes the workbook's strings; Formula: `text` is the formula (with its "="),
// `num` the value last computed by a spreadsheet program (0 for formulas written here).
struct Cell {
  double num = 0;
  std::uint32_t text = 0;
  std::uint32_t style = 0;
  CellKind kind = CellKind::Empty;
};

struct Picture {
  std::string file;  // native path of the image
  int row = 1;       // anchor cell
  int col = 1;
  double offsetX = 0;  // points from the anchor cell
  double offsetY = 0;
  double width = 0;  // points; 0 keeps the image's own size
  double height = 0;
};

struct Chart {
  CellRange data;
  std::string title = "Grafica";
  int type = 0;  // automation chart type number; 0 the default column chart
  int row = 1;   // where the chart is placed
  int col = 1;
};

struct PageSetup {
  bool landscape = false;
  int paperSize = 0;  // 0 the printer's default
  int zoom = 100;
  bool centerH = false;
  bool centerV = false;
  // Right, top, left, bottom, footer, header, in inches; negative keeps the default.
  double margins[6] = {-1, -1, -1, -1, -1, -1};
  std::string header[3];  // centre, left, right
  std::string footer[3];
  std::optional<CellRange> printArea;
  std::optional<CellRange> titleRows;
  std::vector<int> pageBreaks;  // rows that start a new page
};

struct AutoFilter {
  CellRange range;
  int field = 0;  // 1-based column within the range; 0 no criteria
  std::string criteria;
};

struct Sheet {
  std::string name;
  std::vector<std::vector<Cell>> rows;  // rows[r - 1][c - 1]
  std::map<int, double> columnWidths;   // in characters of the default font
  std::map<std::pair<int, int>, std::string> comments;
  std::vector<CellRange> merges;
  PageSetup page;
  std::optional<AutoFilter> autoFilter;
  bool isProtected = false;
  std::string password;
  std::vector<Picture> pictures;
  std::vector<Chart> charts;
  int activeRow = 1;
  int activeCol = 1;

  // The cell, or nullptr when it lies outside what was written.
  const Cell* find(int row, int col) const;
  // The cell, created empty when needed. REQUIRES: 1 <= row <= kMaxRows, 1 <= col <= kMaxCols.
  Cell& at(int row, int col);
  // The last row holding a cell, and the largest column of any row (0 for an empty sheet).
  int lastRow() const;
  int lastCol() const;
};

class Workbook {
 public:
  Workbook();

  std::vector<Sheet>& sheets() { return m_sheets; }
  const std::vector<Sheet>& sheets() const { return m_sheets; }
  // The current sheet. REQUIRES: at least one sheet (a workbook always keeps one).
  Sheet& active() { return m_sheets[m_active]; }
  const Sheet& active() const { return m_sheets[m_active]; }
  std::size_t activeIndex() const { return m_active; }
  void setActive(std::size_t i) { m_active = i < m_sheets.size() ? i : m_active; }
  // Index of the sheet of that name (case ignored), or nullopt.
  std::optional<std::size_t> findSheet(std::string_view name) const;
  // Adds a sheet before the active one with the next free name "HojaN"; it becomes active.
  Sheet& addSheet();
  // A name no sheet carries: "HojaN" with the smallest N from `from`.
  std::string freeSheetName(int from) const;

  // Interned texts (Windows-1252).
  std::uint32_t intern(std::string_view text);
  const std::string& text(std::uint32_t id) const { return m_strings[id]; }
  std::size_t textCount() const { return m_strings.size(); }

  // Interned styles; style 0 is the plain default.
  std::uint32_t styleId(const CellStyle& s);
  const CellStyle& style(std::uint32_t id) const { return m_styles[id]; }
  std::size_t styleCount() const { return m_styles.size(); }

  // Cell writes on a sheet of this workbook. Writing keeps the cell's style.
  void setNumber(Sheet& sh, int row, int col, double n);
  void setText(Sheet& sh, int row, int col, std::string_view text);
  void setLogical(Sheet& sh, int row, int col, bool b);
  void setDate(Sheet& sh, int row, int col, double serial);
  void setFormula(Sheet& sh, int row, int col, std::string_view formula);
  void clear(Sheet& sh, int row, int col);

  // The text shown for a cell, as a spreadsheet would show it in the general format or its own
  // number format (used for auto-fit and searches).
  std::string displayText(const Cell& c) const;

  bool structureProtected = false;
  std::string structurePassword;

 private:
  std::vector<Sheet> m_sheets;
  std::size_t m_active = 0;
  std::deque<std::string> m_strings;
  HashSlots m_stringIds;  // the texts' ids by their hashes
  std::vector<CellStyle> m_styles;
  std::unordered_map<CellStyle, std::uint32_t, CellStyleHash> m_styleIds;
  // The styles asked last: a sheet written row by row asks the same few again and again.
  std::uint32_t m_recentStyles[2] = {0, 0};
};

// Serial day of a Julian day number and back (serial 1 is 1900-01-01, counting the leap day
// the spreadsheet format keeps for 1900).
double serialFromJulian(std::int32_t jd);
std::int32_t julianFromSerial(double serial);

// Whether a number format shows dates ("dd/mm/yyyy", "d-mmm-yy", built-in ids 14 to 22).
bool isDateFormat(std::string_view format);

// The column width (in characters) that fits every cell of the column, estimated from the
// text each shows and its font size; 0 when the column is empty.
double estimateColumnWidth(const Workbook& book, const Sheet& sh, int col);

}  // namespace exo::reports

// Cell and range references in the A1 style that report definitions write ("B7", "A1:C5",
// "$A$1", whole columns "A:C" and whole rows "3:5"), and the column letters of a column number.
// Rows and columns are 1-based, as definitions count them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace exo::reports {

// The largest row and column an Office Open XML sheet holds.
inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxCols = 16384;

// A rectangle of cells, corners included. REQUIRES for a valid range: 1 <= top <= bottom and
// 1 <= left <= right.
struct CellRange {
  int top = 1;
  int left = 1;
  int bottom = 1;
  int right = 1;
  bool contains(int row, int col) const {
    return row >= top && row <= bottom && col >= left && col <= right;
  }
  int rows() const { return bottom - top + 1; }
  int cols() const { return right - left + 1; }
};

// Column letters: 1 is A, 26 is Z, 27 is AA, 52 is AZ, 53 is BA, 703 is AAA. Columns below 1
// give an empty text.
std::string columnLetters(int col);

// Column number of letters (case ignored, "$" skipped): A is 1, AA is 27. 0 when the text holds
// no letters or names a column beyond the sheet's last.
int columnNumber(std::string_view letters);

// "B7"; a range "B7:D9", or "B7" when its corners are the same cell.
std::string cellName(int row, int col);
std::string rangeName(const CellRange& r);

// Parses "A1", "A1:C5", "$A$1:$B$2", "A:C", "3:5"; corners are put in order. A sheet prefix
// ("Hoja1!A1") is skipped. nullopt when the text is not a reference inside the sheet.
std::optional<CellRange> parseRange(std::string_view text);

}  // namespace exo::reports

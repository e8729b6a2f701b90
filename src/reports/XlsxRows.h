// The cell rows of a sheet that the workbook writer saves in the library's constant-memory
// mode, written here exactly as that mode writes them, and put into the package the library
// made for the rest of the workbook. The library would build, print and free a structure per
// cell and deflate the sheet at its slow default level; here a sheet's rows are one text and
// the package is assembled again with the sheets deflated at a fast level. The parts inside
// stay what the library alone would write.
#pragma once

#include <xlsxwriter.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reports/Workbook.h"

namespace exo::reports {

class StreamedRows {
 public:
  // The most characters the library accepts in a text cell.
  static constexpr std::size_t kMaxCellChars = 32767;

  StreamedRows(lxw_worksheet* ws, const Workbook& book) : m_ws(ws), m_book(book) {}

  // Takes a cell in row order, as the library's write function of its kind would (the sheet's
  // dimension grows with it); an error is the library's for that cell. `format` is nullptr for
  // the plain style.
  lxw_error add(lxw_row_t row, lxw_col_t col, const Cell& cell, lxw_format* format);

  // Writes the last row. The library keeps each sheet's last row until the package is
  // assembled and numbers the styles of its cells only then, after the other sheets' rows: call
  // it for every sheet, in sheet order, once all of them were added.
  void finish();

  // The text of the rows, to stand inside the sheet's "sheetData" element.
  const std::string& rows() const { return m_out; }

 private:
  struct Pending {
    lxw_col_t col;
    const Cell* cell;
    lxw_format* format;
    std::string value;  // the text or formula, as UTF-8
  };

  void emit(lxw_row_t row);
  void emitCell(lxw_row_t row, const Pending& p);
  void appendInlineString(std::string_view text);
  void appendEscaped(std::string_view text);
  void appendInt(std::int64_t n);
  void appendNumber(double n);

  lxw_worksheet* m_ws;
  const Workbook& m_book;
  std::vector<Pending> m_cells;  // the row being gathered
  lxw_row_t m_row = 0;
  bool m_hasRow = false;
  std::string m_out;
};

// Copies the package `from` (as the library wrote it, with empty "sheetData" in the sheets
// whose rows were streamed) to `to`, the rows of sheet i + 1 ("xl/worksheets/sheet<i+1>.xml")
// put in from `rows[i]` when that sheet was streamed (`rows[i]` is nullptr otherwise). Returns
// an empty text, or what went wrong.
std::string repackWithRows(const std::string& from, const std::string& to,
                           const std::vector<const StreamedRows*>& rows);

// A zip archive of one entry holding `text` deflated at the sheets' level in `pieces` pieces
// (1 to 4), each on a thread of its own and joined into one deflate stream; nothing when the
// text is too long for such an archive or the compression fails. The package takes a long
// sheet from such an archive as it stands, deflated in as many pieces as there are processors.
std::optional<std::string> deflatedArchive(std::string_view text, unsigned pieces);

}  // namespace exo::reports

// Office Open XML (.xlsx) files of the in-memory workbook: writing a whole workbook, and reading
// one back with its values, shared strings, formulas, styles, column widths and merges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "reports/Workbook.h"

namespace exo::reports {

// Writes the workbook to `path` (replacing the file). Returns an empty text on success, else a
// Spanish description of what went wrong. The file is written beside its final name first and
// renamed into place, so a failed save leaves an older file intact.
// How a workbook is written. With `streamRows` the rows of a book without merged ranges or
// comments are written by the program (XlsxRows.h) and its package made again with a fast
// deflate; without it the library writes everything. The parts are the same either way.
struct XlsxWriteOptions {
  bool streamRows = true;
};
std::string saveXlsx(const Workbook& book, const std::filesystem::path& path,
                     const XlsxWriteOptions& options = {});

// The result of reading a workbook: the book, or a Spanish description of why the file could
// not be read (not a zip archive, no workbook part, a damaged part, too large).
struct XlsxRead {
  std::optional<Workbook> book;
  std::string error;
};

// Limits that keep a damaged or hostile file from exhausting memory.
struct XlsxLimits {
  std::size_t maxPartBytes = std::size_t{512} << 20;  // one uncompressed part
  std::size_t maxCells = 40'000'000;                  // cells held, counting row gaps
};

// What a formula cell becomes. Kept: a Formula cell (its formula, and as `num` the number a
// spreadsheet program last computed), for a workbook opened to be changed and saved again.
// Values: the value last computed, as a cell of its kind (number, date, text, logical), for a
// workbook whose values are read; a formula without a computed value, or whose value is an error
// ("#N/A", "#DIV/0!"), stays a Formula cell: it has no value to read, and a reader must not take
// it for 0.
enum class FormulaCells : std::uint8_t { Kept, Values };

XlsxRead openXlsx(const std::filesystem::path& path, const XlsxLimits& limits = {},
                  FormulaCells formulas = FormulaCells::Kept);
XlsxRead openXlsxBytes(std::string_view bytes, const XlsxLimits& limits = {},
                       FormulaCells formulas = FormulaCells::Kept);

}  // namespace exo::reports

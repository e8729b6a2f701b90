// Fuzz target: any bytes read as an .xlsx workbook. A damaged or foreign file must give a
// description, never a crash; a workbook that reads must answer for its cells and save again.
#include <string_view>

#include "FuzzSupport.h"
#include "reports/XlsxFile.h"

using namespace exo::reports;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  XlsxLimits limits;
  limits.maxPartBytes = 8u << 20;
  limits.maxCells = 2'000'000;
  XlsxRead r = openXlsxBytes(std::string_view(reinterpret_cast<const char*>(data), size), limits);
  if (!r.book) return r.error.empty() ? (__builtin_trap(), 0) : 0;
  for (const Sheet& sh : r.book->sheets()) {
    for (int row = 1; row <= sh.lastRow() && row < 50; ++row)
      for (int col = 1; col <= sh.lastCol() && col < 50; ++col)
        if (const Cell* c = sh.find(row, col)) (void)r.book->displayText(*c);
  }
  return 0;
}

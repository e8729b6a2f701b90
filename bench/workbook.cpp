// Writes a workbook of 50,000 rows by 15 columns (numbers and texts, a style per column)
// through the spreadsheet script, as a report definition does: a code block evaluated once per
// record of the table in the selected work area. Prints the whole run, the save alone, the
// peak resident size, and python3-openpyxl writing the same sheet in its write-only mode.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "expr/Interp.h"
#include "expr/WorkAreas.h"
#include "reports/WorkbookScript.h"
#include "support/MemoryTables.h"

namespace {

using bench::seconds;

// Python writing the same sheet: openpyxl's write-only mode, one style per column.
const char* kOpenpyxl = R"(import sys, time
from openpyxl import Workbook
from openpyxl.cell import WriteOnlyCell
from openpyxl.styles import Font, PatternFill
rows, out = int(sys.argv[1]), sys.argv[2]
t = time.time()
wb = Workbook(write_only=True)
ws = wb.create_sheet('Hoja1')
fonts = [Font(name='Arial', size=10, bold=(c % 3 == 0), color='FF%06X' % (c * 4099)) for c in range(15)]
fill = PatternFill('solid', fgColor='FFFFFFCC')
for r in range(1, rows + 1):
    row = []
    for c in range(15):
        v = r * 7.5 + c if c % 2 == 0 else 'Texto %d-%d' % (r % 997, c)
        cell = WriteOnlyCell(ws, value=v)
        cell.font = fonts[c]
        cell.fill = fill
        cell.number_format = '#,##0.00' if c % 2 == 0 else 'General'
        row.append(cell)
    ws.append(row)
wb.save(out)
print('%.3f' % (time.time() - t))
)";

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 50000;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "bench_workbook";
  std::filesystem::create_directories(dir);
  const std::string ours = (dir / "nuestro.xlsx").string();

  exo::Interp ip;
  exo::MemoryTables tables;
  ip.setWorkAreas(&tables);
  exo::reports::registerWorkbookFunctions(ip, nullptr);
  std::vector<exo::FieldInfo> fields;
  for (int c = 0; c < 15; ++c)
    fields.push_back({"F" + std::to_string(c + 1), c % 2 == 0 ? 'N' : 'C', c % 2 == 0 ? 14 : 20,
                      c % 2 == 0 ? 2 : 0});
  const int area = tables.open("DATOS", fields);
  for (long r = 1; r <= rows; ++r) {
    std::vector<exo::Value> rec;
    for (int c = 0; c < 15; ++c) {
      if (c % 2 == 0) {
        rec.push_back(exo::Value::number(static_cast<double>(r) * 7.5 + c, 2));
      } else {
        char text[32];
        std::snprintf(text, sizeof text, "Texto %ld-%d", r % 997, c);
        rec.push_back(exo::Value::text(text));
      }
    }
    tables.addRecord(area, std::move(rec));
  }

  // The definition: one code block per record, one Say per column with that column's style.
  std::string block = "{|| nFila := nFila + 1";
  for (int c = 0; c < 15; ++c) {
    char say[160];
    std::snprintf(say, sizeof say,
                  ", oX:Say(nFila, %d, F%d, 'Arial', 10, %s, , , 1, %d, 13434879, , 0, '%s')",
                  c + 1, c + 1, c % 3 == 0 ? ".T." : ".F.", c * 4099,
                  c % 2 == 0 ? "#,##0.00" : "General");
    block += say;
  }
  block += "}";

  const auto start = std::chrono::steady_clock::now();
  ip.evalText("PUBLICA('oX', TExcelScript():New())");
  ip.evalText("PUBLICA('nFila', 0)");
  ip.evalText("oX:Create('" + ours + "')");
  const exo::Value perRecord = ip.evalText(block);
  tables.goTop(ip, area);
  while (!tables.eof(area)) {
    ip.evalBlock(perRecord, {});
    tables.skip(ip, area, 1);
  }
  const auto saveStart = std::chrono::steady_clock::now();
  ip.evalText("oX:Save()");
  const double save = seconds(saveStart);
  const double whole = seconds(start);
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  ip.evalText("oX:End()");

  const std::string script = (dir / "openpyxl_bench.py").string();
  std::ofstream(script) << kOpenpyxl;
  const std::string theirs = (dir / "openpyxl.xlsx").string();
  double py = -1;
  const std::string cmd =
      "/usr/bin/python3 '" + script + "' " + std::to_string(rows) + " '" + theirs + "'";
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &py) != 1) py = -1;
    ::pclose(p);
  }

  std::printf("workbook %ld rows x 15 columns (%s, %.1f MB)\n", rows, ours.c_str(),
              static_cast<double>(std::filesystem::file_size(ours)) / 1e6);
  std::printf("  TExcelScript, whole run:      %8.3f s\n", whole);
  std::printf("  TExcelScript, save alone:     %8.3f s\n", save);
  std::printf("  peak resident size:           %8.1f MB\n",
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  if (py > 0) {
    std::printf("  openpyxl write-only:          %8.3f s\n", py);
    std::printf("  ratio openpyxl / ours:        %8.1fx\n", py / whole);
  } else {
    std::printf("  openpyxl write-only:          not available\n");
  }
  return 0;
}

// The import of the ledger's chart of accounts and of the year's movements into the company
// folder, the two fixes that put value-added-tax and sales-commission lines on their real third
// party, and the maintenance of the assignment table and the chart copy.
//
// Every routine talks to the user through session.ui() only: message boxes, the page's meter and
// status lines (0 main, 1 second, 2 time), and pumpEvents() at the repaint points. The page
// enables and disables its buttons around the call. A routine that stops on a message returns a
// result with done == false.
//
// The files a routine replaces ("VRMAEEXO.DBF", "vrTraCon.99", the directory copy) are built
// beside under temporary names and renamed into place only when everything is written: a failure
// or an interruption half-way leaves the previous files as they were.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::import {

struct ChartImportResult {
  bool done = false;
  std::int64_t accounts = 0;  // ledger accounts in use (empty APLICA)
  std::int64_t copied = 0;    // rows written to the chart copy (first of each code)
};
// IMPORTAPUC: "VRMAEEXO.DBF" re-created with the structure of the ledger's "VRMAE.DBF" and
// filled with the first row of each code among the accounts whose APLICA is empty, read in the
// order of "VRMAEX1.CDX"; its index "VRMAEEXX.CDX" with the tag "Codigo".
ChartImportResult IMPORTAPUC(shell::Session& session, store::Engine& engine);

struct PeriodCount {
  int period = 0;
  std::int64_t read = 0;      // lines counted (non-zero MONTO; in period 00 "INICIO" only)
  std::int64_t imported = 0;  // lines appended to the year's table
};
struct MovementImportResult {
  bool done = false;
  int firstMonth = 0, lastMonth = 0;
  std::int64_t counted = 0;             // the count the status line shows
  std::vector<PeriodCount> periods;     // 00, then first..last month
  std::vector<int> missingMonths;       // months without their file between first and last
  std::vector<std::string> notCarried;  // fields of a month file that could not be carried
  double seconds = 0;
};
// IMPORTATRACON: the directory copied, "vrTraCon.99" built from period 00 and the months found,
// the tags "CmpCtaDir" and "SoloCmp" built, the month range saved in "Periodos.mem".
// A month file missing between the first and the last month is first put to the user as a
// question that names the months ("No" first: nothing is done); when the user goes on, the
// month is skipped and named on the second status line. The directory copy is checked as the
// third-party import checks it before anything is replaced. A numeric field of a month file
// that cannot be read as a number (asterisks of a value that did not fit) stops the import
// through the error handler, naming the file, the record and the field: nothing is replaced.
// The lines the same rules read but that carry no third party are kept as totals per account in
// "vrSinTer.99" (lines, debits, credits, balance), written and replaced together with
// "vrTraCon.99". Texts of the lines (all but the codes CODIGO and CTA_DIR) are converted to
// Windows-1252 by the period file's code-page mark.
MovementImportResult IMPORTATRACON(shell::Session& session, store::Engine& engine);

struct FixResult {
  bool done = false;
  std::int64_t scanned = 0;  // lines of the restricted voucher types
  std::int64_t moved = 0;    // lines given another third party
  double seconds = 0;
};
// ARREGLAIVA: each line on a pseudo third party "IVA..." of an invoice or purchase voucher goes
// to the lowest third-party code of its voucher that is neither "IVA..." nor a commission line,
// with that third party's identification in NIT.
FixResult ARREGLAIVA(shell::Session& session, store::Engine& engine);
// ARREGLACOMIS: the commission expense of a sales invoice goes to the salesperson of its "CO"
// line.
FixResult ARREGLACOMIS(shell::Session& session, store::Engine& engine);

// AUTOMANTENIM: assignment table compaction and natures, chart copy recreated, chart import.
bool AUTOMANTENIM(shell::Session& session, store::Engine& engine);

}  // namespace exo::import

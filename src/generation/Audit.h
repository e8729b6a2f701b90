// The analysis workbooks of the balance formats 1008 (receivables at 31 December) and 1009
// (payables at 31 December): the format movement table totalled per third party and per concept
// and third party, handed to the analysis definition ("Audi08.rpo" or "Audi09.rpo") that writes
// the workbook through the spreadsheet class.
//
// While the definition runs, OIMPRE holds nFormat (8 or 9), cElForm (the format code) and cLibro
// (the workbook's native path); the work areas are:
//   TotDat67  the totals per third party, order "TotTerc" (CTA_DIR); for 1008 only the third
//             parties whose balance is not 0.00, for 1009 all of them;
//   TotDat66  the totals per concept and third party whose balance rounded to whole units is not
//             0, order "TotConTer" (CONC+CTA_DIR); selected when the definition starts;
//   DIREC     the company's directory copy, for the names (BUSNOMDI).
// Every work table is erased when the run ends, however it ends: only the workbook stays.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}
namespace exo::reports {
class Runner;
}

namespace exo::generation {

struct AuditResult {
  bool done = false;
  std::int64_t thirdParties = 0;   // records of TotDat67 in its order
  std::int64_t conceptRows = 0;    // records of TotDat66 in its order
  std::filesystem::path workbook;  // the workbook the definition writes
};

// The analysis definition of a format: "Audi08.rpo" for 8, "Audi09.rpo" for 9.
std::string auditDefinition(int formatNumber);
// The workbook: program folder + CELPATH + CDIRSALIDA + the company folder's name + "-Analisis" +
// the format code + ".xlsx".
std::filesystem::path auditWorkbookPath(const shell::Session& session, int formatNumber);

// AUDITORIA: choice 1 runs AUDIT1008 with 8, choice 2 AUDIT1009 with 9 (any other choice does
// nothing); the work tables are closed and erased afterwards.
AuditResult AUDITORIA(shell::Session& session, store::Engine& engine, reports::Runner& runner,
                      int choice);

// Prepare the work tables of the format and run its definition.
AuditResult AUDIT1008(shell::Session& session, store::Engine& engine, reports::Runner& runner,
                      int formatNumber);
AuditResult AUDIT1009(shell::Session& session, store::Engine& engine, reports::Runner& runner,
                      int formatNumber);

// The other formats have no analysis workbook: these do nothing.
AuditResult AUDIT1001(shell::Session&, store::Engine&, reports::Runner&, int);
AuditResult AUDIT1003(shell::Session&, store::Engine&, reports::Runner&, int);
AuditResult AUDIT1004(shell::Session&, store::Engine&, reports::Runner&, int);
AuditResult AUDIT1005(shell::Session&, store::Engine&, reports::Runner&, int);
AuditResult AUDIT1006(shell::Session&, store::Engine&, reports::Runner&, int);
AuditResult AUDIT1007(shell::Session&, store::Engine&, reports::Runner&, int);
AuditResult AUDIT1010(shell::Session&, store::Engine&, reports::Runner&, int);
AuditResult AUDIT1011(shell::Session&, store::Engine&, reports::Runner&, int);
AuditResult AUDIT1012(shell::Session&, store::Engine&, reports::Runner&, int);

}  // namespace exo::generation

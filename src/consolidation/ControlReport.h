// The control report of the consolidated movements: the rows of one format's movement table for
// one third party (and one concept, or all), handed to a report definition that lists them for
// screen and printer ("Inf01PC.RPO") or writes them into a workbook ("Inf01XC.RPO").
//
// While the definition runs, the report context OIMPRE holds nFormat (1 to 12), cCod3rot (the
// third-party code, trimmed), cElForm (the format code) and cElConc (the concept, empty for all)
// and, for the workbook, cLibro (its native path); the work areas are:
//   TraCon     "TrF" + code + ".dbf" with its index, order "TercConc" (third party, concept),
//              limited to the third party (and concept) asked for; an empty code lists every
//              third party;
//   CodiCont   the assignments of the format (and concept), order "CodiCont";
//   Conceptos3 the session's concepts, limited to the same format (and concept).
// TraCon is selected when the definition starts.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}
namespace exo::reports {
class Runner;
}

namespace exo::consolidation {

inline constexpr const char* kAllConcepts = "Todos...";
inline constexpr const char* kListingDefinition = "Inf01PC.RPO";
inline constexpr const char* kWorkbookDefinition = "Inf01XC.RPO";

enum class ControlOutput { Printer = 1, Workbook = 2 };

struct ControlResult {
  bool done = false;
  std::int64_t rows = 0;           // rows of the format table selected for the report
  std::filesystem::path workbook;  // the workbook's native path (written only for Workbook)
};

// The workbook of the control report: program folder + CELPATH + "SALIDA\" + the company folder's
// name + "-FrmExc" + the format number as two digits + ".xls".
std::filesystem::path controlWorkbookPath(const shell::Session& session, int formatNumber);

// CONTROLCONTB: checks readiness, asks before replacing an existing workbook, prepares the
// context above and runs the definition through `runner`; the areas it opened are closed and the
// area selected before is selected again. REQUIRES: 1 <= formatNumber <= 12.
ControlResult CONTROLCONTB(shell::Session& session, store::Engine& engine, reports::Runner& runner,
                           std::string_view thirdPartyCode, int formatNumber,
                           std::string_view conceptCode, ControlOutput output);

}  // namespace exo::consolidation

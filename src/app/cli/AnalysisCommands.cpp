// The exogena-cli commands of the "Controles" page: audit (the analysis workbook of the balances
// of format 1008 or 1009) and coverage (the coverage workbook of the assignments), the same
// routines as the page's buttons.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "app/cli/ReturnCommand.h"
#include "consolidation/Coverage.h"
#include "expr/Codepage.h"
#include "generation/Audit.h"
#include "reports/Runner.h"
#include "shell/Paths.h"
#include "store/Dictionary.h"

namespace exo::cli {
namespace {

using Args = std::vector<std::string>;

int audit(ReturnContext& c, const Args& args) {
  int choice = 0;
  if (args.size() == 2 && args[0] == "--format") {
    if (args[1] == "1008" || args[1] == "8") choice = 1;
    if (args[1] == "1009" || args[1] == "9") choice = 2;
  }
  if (choice == 0) {
    std::fprintf(stderr,
                 "exogena-cli audit: indique el formato: --format 1008 o --format 1009 (los "
                 "libros de an\xC3\xA1lisis son de los saldos de esos dos formatos)\n");
    return kExitUsage;
  }
  const int format = choice == 1 ? 8 : 9;
  const std::filesystem::path program = c.session().folders().program;
  const std::string definition = generation::auditDefinition(format);
  if (!shell::findEntry(shell::entryPath(program, "FORMS"), definition)) {
    std::fprintf(stderr,
                 "exogena-cli audit: la definici\xC3\xB3n %s no est\xC3\xA1 instalada en FORMS\n",
                 definition.c_str());
    return kExitStopped;
  }
  CommandErrorHandler errors(c);
  reports::Runner runner(c.interp(), c.ui(), program, &errors.handler());
  const generation::AuditResult r = generation::AUDITORIA(c.session(), c.engine(), runner, choice);
  if (!r.done) return kExitStopped;
  std::printf("Formato 10%02d: %" PRId64 " terceros con saldo, %" PRId64
              " saldos por concepto y tercero\nLibro: %s\n",
              format, r.thirdParties, r.conceptRows, r.workbook.string().c_str());
  return kExitDone;
}

int coverage(ReturnContext& c, const Args&) {
  const consolidation::CoverageResult r = consolidation::coverageReport(c.session(), c.engine());
  if (!r.done) return kExitStopped;
  std::printf("Movimientos con tercero del a\xC3\xB1o: %" PRId64 " l\xC3\xADneas, total %.2f\n",
              r.partyLines, r.partyTotal);
  std::printf("  en cuentas asignadas: %" PRId64 " l\xC3\xADneas, total %.2f\n", r.coveredLines,
              r.coveredTotal);
  std::printf("  en cuentas sin concepto: %" PRId64 " l\xC3\xADneas, total %.2f (%zu cuentas)\n",
              r.uncoveredLines, r.uncoveredTotal, r.uncovered.size());
  for (std::size_t i = 0; i < r.uncovered.size() && i < 10; ++i) {
    const consolidation::UncoveredAccount& a = r.uncovered[i];
    std::printf("    %-20s %6" PRId64
                " l\xC3\xADneas  d\xC3\xA9"
                "bitos %.2f  cr\xC3\xA9"
                "ditos %.2f\n",
                toUtf8(a.account).c_str(), a.lines, a.debits, a.credits);
  }
  std::printf("Conceptos: %zu\n", r.concepts.size());
  for (const consolidation::ConceptCoverage& k : r.concepts) {
    std::printf(
        "  %s %-4s contable %.2f  sin tercero %.2f  filtros %.2f  integrado %.2f  "
        "cuant\xC3\xAD"
        "as menores %.2f\n",
        store::formatCode(k.format).c_str(), toUtf8(k.conceptCode).c_str(), k.ledger,
        k.withoutParty, k.filtered(), k.integrated, k.minor);
  }
  std::printf("Libro: %s\n", r.workbook.string().c_str());
  return kExitDone;
}

}  // namespace

int coverageCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"coverage", "", 0, 0}, coverage);
}

int auditCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"audit", "--format 1008|1009", 2, 2, {"--format"}}, audit);
}

}  // namespace exo::cli

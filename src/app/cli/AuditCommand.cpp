// The exogena-cli command audit: the analysis workbook of the balances of format 1008 or 1009,
// the same routine as the button of the "Controles" page.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "app/cli/ReturnCommand.h"
#include "generation/Audit.h"
#include "reports/Runner.h"
#include "shell/Paths.h"

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

}  // namespace

int auditCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"audit", "--format 1008|1009", 2, 2, {"--format"}}, audit);
}

}  // namespace exo::cli

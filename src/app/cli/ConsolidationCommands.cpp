// The exogena-cli commands of the consolidation: integrate (the fourth step of the movement
// import page), check (the readiness check of the formats) and control (the control report of a
// format to a PDF file or a workbook).
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/cli/ReturnCommand.h"
#include "consolidation/ControlReport.h"
#include "consolidation/Integration.h"
#include "consolidation/IntegrationState.h"
#include "consolidation/Readiness.h"
#include "expr/Codepage.h"
#include "reports/Runner.h"
#include "shell/ErrorHandler.h"
#include "shell/Paths.h"
#include "store/Dictionary.h"

#ifdef EXOGENA_CLI_PRINTING
#include <QApplication>

#include "reports/pages/ReportFunctions.h"
#endif

namespace exo::cli {
namespace {

using Args = std::vector<std::string>;

// A format given as its number (1 to 12) or its code (1001 to 1012).
std::optional<int> formatArgument(const std::string& text) {
  if (const auto n = store::formatNumberOf(text)) return n;
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() && *end == '\0' && n >= 1 && n <= 12) return static_cast<int>(n);
  return std::nullopt;
}

int integrate(ReturnContext& c, const Args&) {
  const consolidation::IntegrationResult r = consolidation::IMPORTACONTAB(c.session(), c.engine());
  if (!r.done) return kExitStopped;
  std::printf("Movimientos del a\xC3\xB1o: %" PRId64 ", asignaciones: %" PRId64 "\n", r.movements,
              r.assignments);
  for (int n = 1; n <= 12; ++n) {
    std::printf("  formato %s: %" PRId64 " movimientos\n", store::formatCode(n).c_str(),
                r.rows[static_cast<std::size_t>(n - 1)]);
  }
  std::printf("Comprobantes del formato 1007: %" PRId64 ", filas del 1006 con ingresos: %" PRId64
              "\n",
              r.vouchers1007, r.rows1006WithIncome);
  return kExitDone;
}

int check(ReturnContext& c, const Args& args) {
  int first = 1, last = 12;
  if (!args.empty()) {
    const auto n = formatArgument(args[0]);
    if (!n) {
      std::fprintf(stderr, "exogena-cli check: formato inv\xC3\xA1lido: %s\n", args[0].c_str());
      return kExitUsage;
    }
    first = last = *n;
  }
  const auto folder = c.session().companyFolder();
  bool ready = true, told = false;
  for (int n = first; n <= last; ++n) {
    const std::string code = store::formatCode(n);
    const bool present = shell::findEntry(folder, store::formatTableFile(code)).has_value();
    std::printf("%s: %s\n", code.c_str(), present ? "listo" : "no inicializado");
    // The message is the check's own, shown once for the first format that fails.
    if (!present && !told) {
      consolidation::CHEQUEATODO(c.session(), n);
      told = true;
    }
    ready = ready && present;
  }
  // Observations: formats to integrate again, accounts counted twice.
  const auto observations =
      consolidation::readinessObservations(c.session(), first == last ? first : 0);
  if (!observations.empty()) std::printf("Observaciones: %zu\n", observations.size());
  for (const std::string& o : observations) {
    std::string line = o;
    for (std::size_t p; (p = line.find("\r\n")) != std::string::npos;) line.replace(p, 2, " ");
    std::printf("  %s\n", toUtf8(line).c_str());
  }
  return ready ? kExitDone : kExitStopped;
}

int control(ReturnContext& c, const Args& given) {
  Args args = given;
  int format = 1;
  std::string conceptCode = consolidation::kAllConcepts, party;
  bool workbook = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--excel") {
      workbook = true;
    } else if ((a == "--format" || a == "--concept") && i + 1 < args.size()) {
      const std::string value = args[++i];
      if (a == "--concept") {
        conceptCode = fromUtf8(value);
        continue;
      }
      const auto n = formatArgument(value);
      if (!n) {
        std::fprintf(stderr, "exogena-cli control: formato inv\xC3\xA1lido: %s\n", value.c_str());
        return kExitUsage;
      }
      format = *n;
    } else if (a.rfind("--", 0) == 0 || !party.empty()) {
      std::fprintf(stderr, "exogena-cli control: argumento inv\xC3\xA1lido: %s\n", a.c_str());
      return kExitUsage;
    } else {
      party = fromUtf8(a);
    }
  }

  const std::filesystem::path program = c.session().folders().program;
  // The workbook's definition is written with the spreadsheet class; until it is installed in
  // "FORMS" the command says so instead of failing inside the runner.
  if (workbook &&
      !shell::findEntry(shell::entryPath(program, "FORMS"), consolidation::kWorkbookDefinition)) {
    std::fprintf(stderr,
                 "exogena-cli control: la definici\xC3\xB3n %s no est\xC3\xA1 instalada en FORMS\n",
                 consolidation::kWorkbookDefinition);
    return kExitStopped;
  }
  CommandErrorHandler errors(c);
  shell::ErrorHandler& handler = errors.handler();
  reports::Runner runner(c.interp(), c.ui(), program, &handler);

#ifdef EXOGENA_CLI_PRINTING
  // The listing is drawn by the printing functions of the desktop program, without a screen
  // and always into a PDF file of the program folder's "Informes".
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int qtArgc = 1;
  static char qtName[] = "exogena-cli";
  static char* qtArgv[] = {qtName, nullptr};
  QApplication app(qtArgc, qtArgv);
  reports::ReportWindowContext context;
  context.engine = &c.engine();
  context.ui = &c.ui();
  context.folder = program;
  context.preview = false;
  context.pdfOnly = true;
  reports::registerReportFunctions(c.interp(), context);
#else
  if (!workbook) {
    std::fprintf(stderr,
                 "exogena-cli control: este programa se compil\xC3\xB3 sin impresi\xC3\xB3n; use "
                 "--excel\n");
    return kExitStopped;
  }
#endif

  const consolidation::ControlResult r = consolidation::CONTROLCONTB(
      c.session(), c.engine(), runner, party, format, conceptCode,
      workbook ? consolidation::ControlOutput::Workbook : consolidation::ControlOutput::Printer);
  if (!r.done) return kExitStopped;
  std::printf("Formato %s, filas del informe: %" PRId64 "\n", store::formatCode(format).c_str(),
              r.rows);
  if (workbook) std::printf("Libro: %s\n", r.workbook.string().c_str());
  return kExitDone;
}

}  // namespace

int integrateCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"integrate", "", 0, 0}, integrate);
}
int checkCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"check", "[FORMATO]", 0, 1, {}, true}, check);
}
int controlCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv,
                          {"control",
                           "[TERCERO] [--format N] [--concept C] [--excel]",
                           0,
                           6,
                           {"--format", "--concept", "--excel"}},
                          control);
}

}  // namespace exo::cli

// exogena-cli generate: the workbook and/or the XML file of one format or of all twelve, as the
// generation page's buttons make them.
//   generate --format N|all (--xml | --excel | --both) [--concepto 1|2] [--envio N] [--anio YYYY]
//            [--strict]
// The XML header takes its defaults (the year of the clock, insertion, the sending number of the
// company) unless the options give other values; --anio also sets the first and last dates of
// the header to that year. The overwrite questions are answered by --yes / --no.
// Each XML file written is followed by the findings of its check against the format's field
// rules, one per line; the files are written either way, and --strict makes any finding end the
// command with exit code 1.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/ReturnCommand.h"
#include "consolidation/IntegrationState.h"
#include "expr/Codepage.h"
#include "generation/Generation.h"
#include "reports/Runner.h"
#include "shell/Session.h"
#include "store/Dictionary.h"

namespace exo::cli {
namespace {

using Args = std::vector<std::string>;

bool allDigits(const std::string& s, std::size_t min, std::size_t max) {
  if (s.size() < min || s.size() > max) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int usage(const char* what, const std::string& value) {
  std::fprintf(stderr, "exogena-cli generate: %s: %s\n", what, value.c_str());
  return kExitUsage;
}

int generate(ReturnContext& c, const Args& args) {
  std::vector<int> formats;
  bool excel = false, xml = false, strict = false;
  std::string concepto, envio, anio;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--format" && hasValue) {
      const std::string v = args[++i];
      formats.clear();
      if (v == "all" || v == "todos") {
        for (int n = 1; n <= 12; ++n) formats.push_back(n);
      } else if (const auto n = store::formatNumberOf(v)) {
        formats.push_back(*n);
      } else if (allDigits(v, 1, 2) && std::atoi(v.c_str()) >= 1 && std::atoi(v.c_str()) <= 12) {
        formats.push_back(std::atoi(v.c_str()));
      } else {
        return usage("formato inv\xC3\xA1lido (1 a 12, 1001 a 1012 o all)", v);
      }
    } else if (a == "--xml") {
      xml = true;
    } else if (a == "--excel") {
      excel = true;
    } else if (a == "--both") {
      xml = excel = true;
    } else if (a == "--strict") {
      strict = true;
    } else if (a == "--concepto" && hasValue) {
      concepto = args[++i];
      if (concepto != "1" && concepto != "2") return usage("--concepto debe ser 1 o 2", concepto);
    } else if (a == "--envio" && hasValue) {
      envio = args[++i];
      if (!allDigits(envio, 1, 8)) return usage("--envio debe ser un n\xC3\xBAmero", envio);
    } else if (a == "--anio" && hasValue) {
      anio = args[++i];
      if (!allDigits(anio, 4, 4)) return usage("--anio debe tener cuatro d\xC3\xADgitos", anio);
    } else {
      return usage("argumento inv\xC3\xA1lido", a);
    }
  }
  if (formats.empty()) return usage("falta --format", "N|all");
  if (!excel && !xml) return usage("falta la salida", "--xml, --excel o --both");

  const generation::HeaderEditor editor = [&](generation::Header& h) {
    if (concepto == "2") h.codCpt = std::string(generation::kReplacement);
    if (!envio.empty()) h.numEnv = envio;
    if (!anio.empty()) {
      h.ano = anio;
      h.fecIni = anio + "-01-01";
      h.fecFin = anio + "-12-31";
    }
    return true;
  };

  CommandErrorHandler errors(c);
  shell::ErrorHandler& handler = errors.handler();
  reports::Runner runner(c.interp(), c.ui(), c.session().folders().program, &handler);
  int exit = kExitDone;
  std::size_t findings = 0;
  // Formats integrated before the latest change of their inputs: only --yes goes on.
  if (const auto changed = consolidation::changedSinceIntegration(c.session().companyFolder());
      !changed.empty() && c.ui().answer() != shell::TerminalAnswer::Yes) {
    std::string text = consolidation::integrateAgainMessage(changed);
    for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.replace(p, 2, " ");
    std::fprintf(stderr,
                 "exogena-cli generate: %s\n  Repita el comando con --yes para generar de "
                 "todos modos.\n",
                 toUtf8(text).c_str());
    return kExitStopped;
  }
  for (int n : formats) {
    const generation::GenerationResult r = generation::GENERADORAZO(
        c.session(), c.engine(), runner, n, generation::kAllConcepts, excel, xml, editor);
    const std::string code = store::formatCode(n);
    if (!r.done) {
      std::printf("Formato %s: no generado\n", code.c_str());
      exit = kExitStopped;
      continue;
    }
    std::printf("Formato %s: %" PRId64 " registros, total %.0f\n", code.c_str(), r.records,
                r.total);
    if (excel) std::printf("  %s\n", toUtf8(r.workbook.string()).c_str());
    if (xml) {
      std::printf("  %s\n", toUtf8(r.xmlFile.string()).c_str());
      std::printf("  Observaciones del archivo XML: %zu\n", r.findings.size());
      for (const generation::XmlFinding& f : r.findings)
        std::printf("    %s\n", toUtf8(generation::describe(f)).c_str());
      findings += r.findings.size();
    }
  }
  if (xml && formats.size() > 1) std::printf("Observaciones de los archivos XML: %zu\n", findings);
  // The files stay written; --strict makes their findings fail the command.
  if (strict && findings > 0 && exit == kExitDone) exit = kExitStopped;
  return exit;
}

}  // namespace

int generateCommand(int argc, char** argv) {
  return runReturnCommand(
      argc, argv,
      {"generate",
       "--format N|all (--xml | --excel | --both) [--concepto 1|2] [--envio N] [--anio YYYY] "
       "[--strict]",
       3,
       12,
       {"--format", "--xml", "--excel", "--both", "--concepto", "--envio", "--anio", "--strict"}},
      generate);
}

}  // namespace exo::cli

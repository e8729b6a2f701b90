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
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/ReturnCommand.h"
#include "expr/Codepage.h"
#include "generation/Generation.h"
#include "reports/Runner.h"
#include "shell/RunFiles.h"
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

// The figures of each format, one line of tab-separated fields per format, for a caller that
// runs the command for many companies (batch): format, "generado" or "no generado", records,
// total, files written, observations of the XML check, seconds.
class SummaryFile {
 public:
  explicit SummaryFile(const std::string& path)
      : m_file(path.empty() ? nullptr : std::fopen(path.c_str(), "w")) {}
  ~SummaryFile() {
    if (m_file != nullptr) std::fclose(m_file);
  }
  SummaryFile(const SummaryFile&) = delete;
  SummaryFile& operator=(const SummaryFile&) = delete;

  void add(const std::string& code, const generation::GenerationResult& r, bool excel, bool xml,
           double seconds) {
    if (m_file == nullptr) return;
    const int files = r.done ? (excel ? 1 : 0) + (xml ? 1 : 0) : 0;
    std::fprintf(m_file, "%s\t%s\t%" PRId64 "\t%.0f\t%d\t%zu\t%.2f\n", code.c_str(),
                 r.done ? "generado" : "no generado", r.done ? r.records : 0,
                 r.done ? r.total : 0.0, files, r.done ? r.findings.size() : 0, seconds);
    std::fflush(m_file);
  }

 private:
  std::FILE* m_file;
};

int generate(ReturnContext& c, const Args& args) {
  std::vector<int> formats;
  bool excel = false, xml = false, strict = false;
  std::string concepto, envio, anio, summaryFile;
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
    } else if (a == "--resumen" && hasValue) {
      summaryFile = args[++i];
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
  SummaryFile summary(summaryFile);
  for (int n : formats) {
    const auto start = std::chrono::steady_clock::now();
    // A failure let go anywhere in the run (a scratch table that cannot be written when it is
    // closed, after the files) was shown on stderr: the command does not end as a success.
    shell::FailureWatch watch(c.interp());
    const generation::GenerationResult r = generation::GENERADORAZO(
        c.session(), c.engine(), runner, n, generation::kAllConcepts, excel, xml, editor);
    if (watch.failed()) exit = kExitStopped;
    const std::string code = store::formatCode(n);
    summary.add(code, r, excel, xml,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
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
       "[--strict] [--resumen ARCHIVO]",
       3,
       14,
       {"--format", "--xml", "--excel", "--both", "--concepto", "--envio", "--anio", "--strict",
        "--resumen"}},
      generate);
}

}  // namespace exo::cli

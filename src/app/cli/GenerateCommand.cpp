// exogena-cli generate: the workbook and/or the XML file of one format or of all twelve, as the
// generation page's buttons make them.
//   generate --format N|all (--xml | --excel | --both) [--concepto 1|2] [--envio N] [--anio YYYY]
//            [--desde YYYY-MM-DD] [--hasta YYYY-MM-DD] [--strict]
// The XML header takes its defaults (the year of sending of the clock, insertion, the sending
// number of the company, the company-year's tax year as the period) unless the options give
// other values: --anio is the year of sending only, --desde and --hasta the first and last days
// of the period. --envio is the sending number of each format's first file (a format of more
// than 5,000 records goes as several files, numbered on from it); without it a format takes the
// company's next number, which moves past the numbers each run uses. The overwrite questions are
// answered by --yes / --no.
// Each XML file written is followed by the findings of its check against the format's field
// rules, one per line; the files are written either way, and --strict makes any finding end the
// command with exit code 1. A file whose values had to be changed so that it is well formed
// (characters XML or ISO-8859-1 do not allow) ends the command with exit code 1 without
// --strict: its findings name the record, the third party and the field.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/ReturnCommand.h"
#include "consolidation/IntegrationState.h"
#include "expr/Codepage.h"
#include "generation/FormatRun.h"
#include "generation/GenerateAll.h"
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

// A date written AAAA-MM-DD that exists in the calendar.
bool isDate(const std::string& s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  if (!allDigits(s.substr(0, 4), 4, 4) || !allDigits(s.substr(5, 2), 2, 2) ||
      !allDigits(s.substr(8, 2), 2, 2))
    return false;
  const int y = std::atoi(s.substr(0, 4).c_str()), m = std::atoi(s.substr(5, 2).c_str()),
            d = std::atoi(s.substr(8, 2).c_str());
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
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
      : m_path(path),
        m_file(path.empty() ? nullptr : std::fopen(path.c_str(), "w")),
        m_failed(!path.empty() && m_file == nullptr) {}
  ~SummaryFile() { close(); }
  SummaryFile(const SummaryFile&) = delete;
  SummaryFile& operator=(const SummaryFile&) = delete;

  void add(const std::string& code, const generation::GenerationResult& r, bool excel, bool xml,
           double seconds) {
    if (m_file == nullptr) return;
    const int files =
        r.done ? (excel ? 1 : 0) + (xml ? static_cast<int>(r.xmlFiles.size()) : 0) : 0;
    std::fprintf(m_file, "%s\t%s\t%" PRId64 "\t%.0f\t%d\t%zu\t%.2f\n", code.c_str(),
                 r.done ? "generado" : "no generado", r.done ? r.records : 0,
                 r.done ? r.total : 0.0, files, r.done ? r.findings.size() : 0, seconds);
    if (std::ferror(m_file) != 0 || std::fflush(m_file) != 0) m_failed = true;
  }

  // Closes the file; false (and a message on stderr) when a line of it was not written: the
  // caller reads the figures from it, and a summary with formats missing must not pass for whole.
  bool close() {
    if (m_file != nullptr && std::fclose(m_file) != 0) m_failed = true;
    m_file = nullptr;
    if (m_failed && !m_told) {
      std::fprintf(stderr, "exogena-cli generate: No se pudo escribir el resumen: %s\n",
                   m_path.c_str());
      m_told = true;
    }
    return !m_failed;
  }

 private:
  std::string m_path;
  std::FILE* m_file;
  bool m_failed;
  bool m_told = false;
};

int generate(ReturnContext& c, const Args& args) {
  std::vector<int> formats;
  bool excel = false, xml = false, strict = false;
  std::string concepto, envio, anio, desde, hasta, summaryFile;
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
      if (!allDigits(envio, 1, 8) || envio.find_first_not_of('0') == std::string::npos)
        return usage("--envio debe ser un n\xC3\xBAmero de 1 a 99999999", envio);
    } else if (a == "--resumen" && hasValue) {
      summaryFile = args[++i];
    } else if (a == "--anio" && hasValue) {
      anio = args[++i];
      if (!allDigits(anio, 4, 4)) return usage("--anio debe tener cuatro d\xC3\xADgitos", anio);
    } else if ((a == "--desde" || a == "--hasta") && hasValue) {
      std::string& date = a == "--desde" ? desde : hasta;
      date = args[++i];
      if (!isDate(date))
        return usage(a == "--desde" ? "--desde debe ser una fecha AAAA-MM-DD"
                                    : "--hasta debe ser una fecha AAAA-MM-DD",
                     date);
    } else {
      return usage("argumento inv\xC3\xA1lido", a);
    }
  }
  if (formats.empty()) return usage("falta --format", "N|all");
  if (!excel && !xml) return usage("falta la salida", "--xml, --excel o --both");

  const generation::HeaderEditor editor = [&](generation::Header& h) {
    if (concepto == "2") h.codCpt = std::string(generation::kReplacement);
    if (!envio.empty()) h.numEnv = envio;
    if (!anio.empty()) h.ano = anio;
    if (!desde.empty()) h.fecIni = desde;
    if (!hasta.empty()) h.fecFin = hasta;
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
  SummaryFile summary(summaryFile);
  bool altered = false;
  generation::FormatRunOptions options;
  options.excel = excel;
  options.xml = xml;
  options.editHeader = editor;
  options.asking = generation::HeaderAsking::EachFormat;
  // A worker's failures are reported as the command reports its own, in the format's turn.
  options.setUpHandler = [](shell::ErrorHandler& workerHandler,
                            const std::function<void(std::function<void()>)>& post) {
    workerHandler.setDialog([post](const std::string& message,
                                   const std::vector<std::string>& calls,
                                   const std::vector<std::string>&) {
      post([message, calls] { printFailure(message, calls); });
      return -1;
    });
    workerHandler.setMainLoopRunning(true);
  };
  options.end = [&](generation::FormatRunItem& item) {
    const std::string code = store::formatCode(item.format);
    if (item.fate != generation::FormatFate::Ran) {
      // A failure ended the run at an earlier format: the formats after it are not generated.
      summary.add(code, {}, excel, xml, 0);
      std::printf("Formato %s: no generado\n  %s\n", code.c_str(),
                  toUtf8(std::string(generation::kStoppedByFailure)).c_str());
      return;
    }
    // A failure let go anywhere in the run (a scratch table that cannot be written when it is
    // closed, after the files) was shown on stderr: the command does not end as a success.
    if (item.failureSeen) exit = kExitStopped;
    const generation::GenerationResult& r = item.result;
    summary.add(code, r, excel, xml, item.seconds);
    if (!r.done) {
      std::printf("Formato %s: no generado\n", code.c_str());
      exit = kExitStopped;
      return;
    }
    std::printf("Formato %s: %" PRId64 " registros, total %.0f\n", code.c_str(), r.records,
                r.total);
    if (excel) std::printf("  %s\n", toUtf8(r.workbook.string()).c_str());
    if (xml) {
      // Every file of the format: more than 5,000 records go as several files.
      for (const generation::XmlFileOutcome& file : r.xmlFiles) {
        std::printf("  %s\n", toUtf8(file.part.file.string()).c_str());
        if (r.xmlFiles.size() > 1)
          std::printf("  Env\xC3\xADo %s: %" PRId64 " registros, total %.0f\n",
                      file.part.numEnv.c_str(), file.part.records, file.part.total);
        std::printf("  Observaciones del archivo XML: %zu\n", file.findings.size());
        for (const generation::XmlFinding& f : file.findings)
          std::printf("    %s\n", toUtf8(generation::describe(f)).c_str());
      }
      findings += r.findings.size();
      if (r.xmlAltered) {
        std::printf(
            "  Se cambiaron valores del archivo XML para que sea v\xC3\xA1lido: "
            "rev\xC3\xADselos antes de presentarlo\n");
        altered = true;
      }
    }
  };
  generation::runFormatList(c.session(), c.engine(), runner, formats, options);
  if (xml && formats.size() > 1) std::printf("Observaciones de los archivos XML: %zu\n", findings);
  // The files stay written; --strict makes their findings fail the command.
  if (strict && findings > 0 && exit == kExitDone) exit = kExitStopped;
  // A file whose content was changed needs attention, --strict or not.
  if (altered && exit == kExitDone) exit = kExitStopped;
  if (!summary.close() && exit == kExitDone) exit = kExitStopped;
  return exit;
}

}  // namespace

int generateCommand(int argc, char** argv) {
  return runReturnCommand(
      argc, argv,
      {"generate",
       "--format N|all (--xml | --excel | --both) [--concepto 1|2] [--envio N] [--anio YYYY] "
       "[--desde YYYY-MM-DD] [--hasta YYYY-MM-DD] [--strict] [--resumen ARCHIVO]",
       3,
       18,
       {"--format", "--xml", "--excel", "--both", "--concepto", "--envio", "--anio", "--desde",
        "--hasta", "--strict", "--resumen"}},
      generate);
}

}  // namespace exo::cli

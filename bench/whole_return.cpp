// Figures of the whole return of a demo company of N movement lines (default 1,000,000),
// headless, as the main job runs it: the chart and the year's movements imported, the VAT and
// commission fixes, the integration into the twelve format tables, the withholding bases and the
// manual-data tables prepared with their defaults, and every format's workbook and XML file
// written by the report definitions (each XML file checked against its format's rules) in one
// run over the twelve formats, as the desktop and `generate --format all` make it. The time
// of each step; the twelve formats and the whole return beside their goals (1 s and 3 s) and
// beside one plain scan of the year's table made in the same run; the step that took longest.
//
// With --desglose every format is then generated again twice, the workbook alone and the XML file
// alone, to show what each output costs (the output records are built in both).
//
//   bench_whole_return [LINES] [--keep DIR] [--desglose]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "consolidation/Bases.h"
#include "consolidation/Integration.h"
#include "consolidation/ManualData.h"
#include "demo/Demo.h"
#include "expr/Text.h"
#include "generation/FormatRun.h"
#include "generation/Generation.h"
#include "generation/XmlWriter.h"
#include "import/LedgerImport.h"
#include "masterdata/ThirdParty.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "shell/AssignmentTable.h"
#include "shell/Company.h"
#include "shell/Runtime.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"

using namespace exo;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using bench::seconds;

struct Step {
  std::string name;
  double seconds = 0;
  std::string detail;
};

}  // namespace

int main(int argc, char** argv) {
  const bench::BenchDemo demo(argc, argv, "whole");
  const demo::DemoInstallation& inst = demo.installation;
  const demo::DemoCompany& company = demo.company();
  std::printf("demo de %llu lineas instalada en %.2f s (no cuenta en el total)\n",
              static_cast<unsigned long long>(company.totalLines()), demo.installSeconds);

  // The program's set-up, as exogena-cli makes it.
  bench::QuietInterface ui;
  shell::Folders folders{fs::absolute(inst.programFolder), fs::absolute(inst.driveFolder)};
  fs::current_path(folders.program);
  shell::Runtime runtime;
  Interp& ip = runtime.interp();
  store::Engine& engine = runtime.engine();
  masterdata::registerThirdPartyClasses(ip);
  reports::registerWorkbookFunctions(ip, &ui, folders);
  if (!runtime.openSession(ui, folders)) {
    std::printf("no se pudo abrir la sesion en %s\n", folders.program.c_str());
    return 1;
  }
  shell::Session& session = runtime.session();
  generation::registerXmlFunctions(ip, session);
  store::CREATABLAS(engine);
  const int product = company.product == "NRVVS" ? 1 : 2;
  const shell::CompanyEntry* entry = nullptr;
  const std::vector<shell::CompanyEntry> list = shell::CARGAVRCTL(session, engine, product);
  for (const shell::CompanyEntry& e : list)
    if (entry == nullptr && trimBlanks(e.camino) == company.folder + "\\") entry = &e;
  if (entry == nullptr || !shell::chooseCompany(session, engine, *entry, {})) {
    std::printf("no se pudo elegir la empresa %s\n", company.folder.c_str());
    return 1;
  }
  shell::compactAssignments(session, engine);
  reports::Runner runner(ip, ui, folders.program);

  std::vector<Step> steps;
  const auto timed = [&](const std::string& name, const std::function<std::string()>& step) {
    const auto start = Clock::now();
    const std::string detail = step();
    steps.push_back({name, seconds(start), detail});
    std::printf("%-38s %8.3f s   %s\n", name.c_str(), steps.back().seconds, detail.c_str());
    std::fflush(stdout);
  };
  bool ok = true;
  timed("importar cuentas del P.U.C.", [&] {
    const auto r = import::IMPORTAPUC(session, engine);
    ok = ok && r.done;
    return std::string();
  });
  timed("importar movimientos", [&] {
    const auto r = import::IMPORTATRACON(session, engine);
    ok = ok && r.done;
    return std::string();
  });
  // The baseline of this run: one plain scan of the year's table (not counted in the total).
  const double scan = bench::plainScan(engine, session.companyFile(store::kYearMovements));
  std::printf("%-38s %8.3f s   (no cuenta en el total)\n", "un recorrido de la tabla del ano",
              scan);
  timed("regularizar IVA's", [&] {
    ok = ok && import::ARREGLAIVA(session, engine).done;
    return std::string();
  });
  timed("regularizar comisiones", [&] {
    ok = ok && import::ARREGLACOMIS(session, engine).done;
    return std::string();
  });
  timed("integrar movimientos a formatos", [&] {
    const auto r = consolidation::IMPORTACONTAB(session, engine);
    ok = ok && r.done;
    std::int64_t rows = 0;
    for (const std::int64_t n : r.rows) rows += n;
    return std::to_string(r.movements) + " movimientos, " + std::to_string(rows) + " filas";
  });
  timed("bases de 1002 y 1003, datos manuales", [&] {
    for (const int n : {2, 3}) {
      const auto r = consolidation::prepareWithholdingBases(session, engine, n);
      ok = ok && r.done;
      if (r.area != 0 && engine.isUsed(r.area)) engine.close(ip, r.area);
    }
    for (const int n : {4, 10, 11, 12}) {
      const auto r = consolidation::prepareManualData(session, engine, n);
      ok = ok && r.done;
      if (r.area != 0 && engine.isUsed(r.area)) engine.close(ip, r.area);
    }
    return std::string();
  });
  const generation::HeaderEditor header = [](generation::Header&) { return true; };
  std::int64_t records = 0;
  std::size_t findings = 0;
  double generation = 0;
  // The twelve formats in one run, as the desktop's one-run generation and `generate --format
  // all` make them (on two threads where the machine has them): the wall time counts; each
  // format's own time is shown beside it.
  std::vector<int> all;
  for (int n = 1; n <= 12; ++n) all.push_back(n);
  std::vector<std::string> perFormat;
  generation::FormatRunOptions options;
  options.excel = options.xml = true;
  options.editHeader = header;
  options.end = [&](generation::FormatRunItem& item) {
    const auto& r = item.result;
    ok = ok && item.fate == generation::FormatFate::Ran && r.done && r.xmlWritten;
    records += r.records;
    findings += r.findings.size();
    char line[160];
    std::snprintf(line, sizeof line, "  formato %s %8.3f s   %lld registros, %zu observaciones",
                  store::formatCode(item.format).c_str(), item.seconds,
                  static_cast<long long>(r.records), r.findings.size());
    perFormat.emplace_back(line);
  };
  timed("libros y XML de los doce formatos", [&] {
    generation::runFormatList(session, engine, runner, all, options);
    return std::to_string(generation::formatRunThreads(all.size())) + " hilo(s)";
  });
  generation = steps.back().seconds;
  for (const std::string& line : perFormat) std::printf("%s\n", line.c_str());
  if (!ok) {
    std::printf("un paso no termino: la medida no vale\n");
    return 1;
  }

  double total = 0;
  const Step* longest = nullptr;
  for (const Step& s : steps) {
    total += s.seconds;
    if (longest == nullptr || s.seconds > longest->seconds) longest = &s;
  }
  const auto times = [&](double s) { return scan > 0 ? s / scan : 0.0; };
  std::printf("%-38s %8.3f s   %lld registros, %zu observaciones\n", "los doce formatos",
              generation, static_cast<long long>(records), findings);
  std::printf("%-38s %8.3f s   x%5.1f recorridos   meta 1.0 s  %s\n", "los doce formatos",
              generation, times(generation), generation <= 1.0 ? "ok" : "EXCEDIDO");
  std::printf("%-38s %8.3f s   x%5.1f recorridos   meta 3.0 s  %s\n", "declaracion completa", total,
              times(total), total <= 3.0 ? "ok" : "EXCEDIDO");
  std::printf("paso mas largo: %s (%.0f%% del total)\n", longest->name.c_str(),
              total > 0 ? 100 * longest->seconds / total : 0.0);
  if (demo.has("--desglose")) {
    double excelOnly = 0, xmlOnly = 0;
    for (int n = 1; n <= 12; ++n) {
      auto start = Clock::now();
      generation::GENERADORAZO(session, engine, runner, n, generation::kAllConcepts, true, false,
                               header);
      const double e = seconds(start);
      start = Clock::now();
      generation::GENERADORAZO(session, engine, runner, n, generation::kAllConcepts, false, true,
                               header);
      const double x = seconds(start);
      excelOnly += e;
      xmlOnly += x;
      std::printf("formato %s: solo libro %6.3f s, solo XML %6.3f s\n",
                  store::formatCode(n).c_str(), e, x);
    }
    std::printf("los doce: solo libros %6.3f s, solo XML %6.3f s\n", excelOnly, xmlOnly);
  }
  return 0;
}

// Figures of the integration of the year's movements into the twelve format tables on a demo
// company of N movement lines (default 1,000,000) with every assignment the demo has: the
// integration's time beside the time of one plain scan of the year's table, and the ratio.
//
//   bench_integration [LINES] [--keep DIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "consolidation/Integration.h"
#include "demo/Demo.h"
#include "expr/Interp.h"
#include "import/LedgerImport.h"
#include "shell/Session.h"
#include "shell/UserInterface.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

using namespace exo;
namespace fs = std::filesystem;

namespace {

using bench::seconds;

}  // namespace

int main(int argc, char** argv) {
  const bench::BenchDemo demo(argc, argv, "integ");
  const demo::DemoInstallation& inst = demo.installation;
  const demo::DemoCompany& company = demo.company();
  std::printf("demo de %llu lineas instalada en %.2f s\n",
              static_cast<unsigned long long>(company.totalLines()), demo.installSeconds);

  Interp ip;
  store::Engine engine(ip);
  bench::QuietInterface ui;
  shell::Folders folders{inst.programFolder, inst.driveFolder};
  if (!shell::VARIABLPUBLIC(ip, ui, folders)) return 1;
  shell::Session session(ip, ui, folders);
  session.setCelPath(company.product + "\\" + company.folder + "\\");
  session.formPaths();
  if (!import::IMPORTATRACON(session, engine).done) return 1;

  const double scan = bench::plainScan(engine, session.companyFile(store::kYearMovements));
  const auto r = consolidation::IMPORTACONTAB(session, engine);
  if (!r.done) return 1;
  std::int64_t rows = 0;
  for (const std::int64_t n : r.rows) rows += n;
  std::printf("movimientos del ano %lld, asignaciones %lld, filas integradas %lld\n",
              static_cast<long long>(r.movements), static_cast<long long>(r.assignments),
              static_cast<long long>(rows));
  std::printf("%-44s %8.3f s   un recorrido %8.3f s   x%5.2f   limite 3.0 s  %s\n",
              "integrar movimientos a formatos", r.seconds, scan, scan > 0 ? r.seconds / scan : 0.0,
              r.seconds <= 3.0 ? "ok" : "EXCEDIDO");
  return 0;
}

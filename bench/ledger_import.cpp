// Figures of the ledger import on a demo company of N movement lines (default 1,000,000): the
// movement import (every period file read, the year's table written, both tags built), the VAT
// fix and the commission fix. Beside each it prints what the engine alone takes to append the
// same records from the period files and build the same two tags, and the ratio.
//
//   bench_ledger_import [LINES] [--keep DIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
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

// The engine alone: a table of the year's structure filled from every period file with no
// condition, then the two tags. Returns the seconds and the records appended.
std::pair<double, std::uint64_t> engineBaseline(store::Engine& engine, const fs::path& ledger,
                                                const fs::path& scratch) {
  Interp& ip = engine.interp();
  const fs::path movements = scratch / "baseline.dbf";
  std::vector<store::FieldDef> fields;
  const store::Dbf first = store::Dbf::open((ledger / "VRTRACON.01").string(), {true, true, 2000});
  for (const store::Field& f : first.fields()) {
    fields.push_back({f.name, f.type, f.length, f.decimals});
  }
  for (const auto& f : store::tableDef(store::kYearMovements).fields) fields.push_back(f);
  const auto t0 = std::chrono::steady_clock::now();
  engine.createTable(movements.string(), fields);
  const int area = engine.open(movements.string(), "BASELINE", false);
  std::uint64_t n = 0;
  for (int p = 0; p <= 12; ++p) {
    const fs::path file = ledger / store::ledgerPeriodFile(p);
    if (fs::exists(file)) n += engine.appendFrom(area, file.string());
  }
  engine.buildIndex(area, "baseline.cdx", "CmpCtaDir", "TIPO_COMP+COMPROBA+CTA_DIR", "!Deleted()");
  engine.buildIndex(area, "baseline.cdx", "SoloCmp", "TIPO_COMP+COMPROBA", "!Deleted()");
  engine.commit(ip, area);
  engine.close(ip, area);
  return {seconds(t0), n};
}

void report(const char* what, double s, double baseline, double limit) {
  std::printf("%-44s %8.3f s   motor solo %8.3f s   x%5.2f   limite %.1f s  %s\n", what, s,
              baseline, baseline > 0 ? s / baseline : 0.0, limit, s <= limit ? "ok" : "EXCEDIDO");
}

}  // namespace

int main(int argc, char** argv) {
  const bench::BenchDemo demo(argc, argv, "import");
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
  fs::create_directories(session.companyFolder());
  const fs::path ledger = session.native("\\" + session.celPath());

  const auto [baseline, records] = engineBaseline(engine, ledger, session.companyFolder());
  std::printf("motor solo: %llu registros agregados y dos etiquetas en %.3f s\n",
              static_cast<unsigned long long>(records), baseline);

  const auto movements = import::IMPORTATRACON(session, engine);
  if (!movements.done) return 1;
  std::int64_t imported = 0;
  for (const auto& p : movements.periods) imported += p.imported;
  std::printf("importacion: %lld lineas leidas, %lld importadas\n",
              static_cast<long long>(movements.counted), static_cast<long long>(imported));
  report("importar movimientos (13 periodos, 2 etiquetas)", movements.seconds, baseline, 2.0);

  auto t0 = std::chrono::steady_clock::now();
  const auto vat = import::ARREGLAIVA(session, engine);
  const double vatSeconds = seconds(t0);
  std::printf("IVA: %lld lineas recorridas, %lld movidas\n", static_cast<long long>(vat.scanned),
              static_cast<long long>(vat.moved));
  report("regularizar IVA's", vatSeconds, baseline, 1.0);

  t0 = std::chrono::steady_clock::now();
  const auto commissions = import::ARREGLACOMIS(session, engine);
  const double commissionSeconds = seconds(t0);
  std::printf("comisiones: %lld lineas recorridas, %lld movidas\n",
              static_cast<long long>(commissions.scanned),
              static_cast<long long>(commissions.moved));
  report("regularizar comisiones en ventas", commissionSeconds, baseline, 1.0);

  return 0;
}

// The exogena-cli commands of the ledger import, each over the core routine its page button
// calls: import-chart, import-movements, fix-iva, fix-comisiones and maintenance.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "app/cli/ReturnCommand.h"
#include "expr/Codepage.h"
#include "expr/Text.h"
#include "import/LedgerImport.h"

namespace exo::cli {
namespace {

using Args = std::vector<std::string>;

std::string utf8(std::string_view cp1252) { return toUtf8(trimBlanks(cp1252)); }

int importChart(ReturnContext& c, const Args&) {
  const import::ChartImportResult r = import::IMPORTAPUC(c.session(), c.engine());
  if (!r.done) return kExitStopped;
  std::printf("Cuentas en uso: %" PRId64 ", copiadas: %" PRId64 "\n", r.accounts, r.copied);
  return kExitDone;
}

int importMovements(ReturnContext& c, const Args&) {
  const import::MovementImportResult r = import::IMPORTATRACON(c.session(), c.engine());
  if (!r.done) return kExitStopped;
  std::printf("Meses: %02d a %02d\n", r.firstMonth, r.lastMonth);
  for (const import::PeriodCount& p : r.periods) {
    std::printf("  per\xC3\xADodo %02d: %" PRId64
                " l\xC3\xADneas le\xC3\xAD"
                "das, %" PRId64 " importadas\n",
                p.period, p.read, p.imported);
  }
  for (const int month : r.missingMonths) {
    std::fprintf(stderr, "aviso: falta el mes %02d en el programa contable; no se import\xC3\xB3\n",
                 month);
  }
  for (const std::string& field : r.notCarried) {
    std::fprintf(stderr,
                 "aviso: el campo %s de un mes no se pudo llevar a la tabla del a\xC3\xB1o\n",
                 utf8(field).c_str());
  }
  return kExitDone;
}

int printFix(const import::FixResult& r) {
  if (!r.done) return kExitStopped;
  // The status lines have already given the time.
  std::printf("L\xC3\xADneas revisadas: %" PRId64 ", cambiadas de tercero: %" PRId64 "\n",
              r.scanned, r.moved);
  return kExitDone;
}

int fixIva(ReturnContext& c, const Args&) {
  return printFix(import::ARREGLAIVA(c.session(), c.engine()));
}

int fixComisiones(ReturnContext& c, const Args&) {
  return printFix(import::ARREGLACOMIS(c.session(), c.engine()));
}

int maintenance(ReturnContext& c, const Args&) {
  return import::AUTOMANTENIM(c.session(), c.engine()) ? kExitDone : kExitStopped;
}

}  // namespace

int importChartCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"import-chart", "", 0, 0}, importChart);
}
int importMovementsCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"import-movements", "", 0, 0}, importMovements);
}
int fixIvaCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"fix-iva", "", 0, 0}, fixIva);
}
int fixComisionesCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"fix-comisiones", "", 0, 0}, fixComisiones);
}
int maintenanceCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv, {"maintenance", "", 0, 0}, maintenance);
}

}  // namespace exo::cli

// exogena-cli bases: prepares the table of a format's review or manual-data dialog as the
// dialog's first opening does, with its defaults, and lists it.
//   bases --format 1002|1003   the withholding bases (built when missing; --restore builds them
//                              again with the default percentages after the question, which
//                              --yes or --no answers)
//   bases --format 1004|1011   the concept rows of the format
//   bases --format 1010|1012   the holders (deleted rows removed; 1012 built when missing)
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/ReturnCommand.h"
#include "consolidation/Bases.h"
#include "consolidation/ManualData.h"
#include "expr/Codepage.h"
#include "expr/Text.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::cli {
namespace {

using Args = std::vector<std::string>;

std::string utf8(std::string_view cp1252) { return toUtf8(trimBlanks(cp1252)); }

// The columns of a listing: field names, with the number of decimals of numeric fields.
struct Column {
  const char* field;
  int decimals = -1;  // -1: text
};

void printRows(store::Engine& e, int area, const std::vector<Column>& columns) {
  for (std::size_t i = 0; i < columns.size(); ++i)
    std::printf("%s%s", i ? "\t" : "", columns[i].field);
  std::printf("\n");
  e.forEach(area, [&] {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const Column& c = columns[i];
      if (i > 0) std::printf("\t");
      if (c.decimals < 0) std::printf("%s", utf8(e.text(area, c.field)).c_str());
      else std::printf("%.*f", c.decimals, e.number(area, c.field));
    }
    std::printf("\n");
    return true;
  });
  e.goTop(e.interp(), area);
}

int bases(ReturnContext& c, const Args& args) {
  std::string code;
  bool restore = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--format" && i + 1 < args.size()) code = args[++i];
    else if (args[i] == "--restore") restore = true;
    else {
      std::fprintf(stderr, "exogena-cli bases: argumento desconocido: %s\n", args[i].c_str());
      return kExitUsage;
    }
  }
  const auto number = store::formatNumberOf(code);
  const bool known = number && (*number == 2 || *number == 3 || *number == 4 || *number == 10 ||
                                *number == 11 || *number == 12);
  if (!known) {
    std::fprintf(stderr,
                 "exogena-cli bases: --format debe ser 1002, 1003, 1004, 1010, 1011 o 1012\n");
    return kExitUsage;
  }
  if (restore && *number != 2 && *number != 3) {
    std::fprintf(stderr, "exogena-cli bases: --restore s\xC3\xB3lo vale para 1002 y 1003\n");
    return kExitUsage;
  }
  store::Engine& e = c.engine();

  if (*number == 2 || *number == 3) {
    consolidation::BasesResult r;
    if (restore) {
      if (!consolidation::prepareWithholdingBases(c.session(), e, *number).done)
        return kExitStopped;
      r = consolidation::withholdingBases(c.session(), e, *number, true, true);
      // Another program holds the table: it was said, and nothing changed.
      if (r.inUse) return kExitStopped;
      // Declined, the table stays as stored and is listed as such.
      if (!r.built && r.area == 0) return kExitStopped;
      if (!r.built) r = consolidation::withholdingBases(c.session(), e, *number, false, false);
    } else {
      r = consolidation::prepareWithholdingBases(c.session(), e, *number);
      if (!r.done) return kExitStopped;
    }
    printRows(e, r.area,
              {{"CTA_DIR"},
               {"NOMBRE"},
               {"NIT"},
               {"CONC"},
               {"MONTO", 0},
               {"POR_RET", 2},
               {"POR_IVA", 2},
               {"BASE_RET", 0}});
    std::printf("%s: %" PRId64 " filas%s, %" PRId64 " del concepto %s (no se muestran)\n",
                store::baseTableFile(code).c_str(), r.rows, r.built ? " (construida)" : "",
                r.hidden, consolidation::hiddenConcept(code).c_str());
    return kExitDone;
  }

  const consolidation::ManualDataResult r =
      consolidation::prepareManualData(c.session(), e, *number);
  if (!r.done) return kExitStopped;
  switch (*number) {
    case 4: printRows(e, r.area, {{"CONC"}, {"MONTO", 0}, {"VLR_ADIC1", 0}, {"FILTRO"}}); break;
    case 11: printRows(e, r.area, {{"CONC"}, {"MONTO", 0}, {"FILTRO"}}); break;
    case 10:
      printRows(e, r.area,
                {{"CLAVE"},
                 {"TDOC"},
                 {"NID"},
                 {"DV"},
                 {"FULLNOMB"},
                 {"VAL", 0},
                 {"VPAR", 0},
                 {"POR", 5}});
      break;
    default:
      printRows(
          e, r.area,
          {{"CPT"}, {"CODI_CONT"}, {"NOMB_CONT"}, {"CLAVE"}, {"NID"}, {"FULLNOMB"}, {"VAL", 0}});
      break;
  }
  std::printf("%s: %" PRId64 " filas%s", store::baseTableFile(code).c_str(), r.rows,
              r.created ? " (creada)" : "");
  if (r.removed > 0) std::printf(", %" PRId64 " borradas eliminadas", r.removed);
  std::printf("\n");
  return kExitDone;
}

}  // namespace

int basesCommand(int argc, char** argv) {
  return runReturnCommand(argc, argv,
                          {"bases",
                           "--format 1002|1003|1004|1010|1011|1012 [--restore]",
                           2,
                           3,
                           {"--format", "--restore"}},
                          bases);
}

}  // namespace exo::cli

// The control report of the consolidated movements.
#include "consolidation/ControlReport.h"

#include <cstdio>

#include "consolidation/Readiness.h"
#include "expr/Interp.h"
#include "expr/TPublic.h"
#include "expr/Text.h"
#include "import/ImportRun.h"
#include "reports/Runner.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::consolidation {

namespace fs = std::filesystem;
using shell::Session;
using store::Engine;

namespace {

// Limits the controlling order of `area` to the keys that begin with `key` (nothing when empty).
void limitTo(Engine& engine, int area, const std::string& key) {
  Interp& ip = engine.interp();
  const Value bound = key.empty() ? Value() : Value::text(key);
  engine.orderScope(ip, area, 0, bound);
  engine.orderScope(ip, area, 1, bound);
  engine.goTop(ip, area);
}

}  // namespace

fs::path controlWorkbookPath(const Session& session, int formatNumber) {
  std::string output(trimBlanks(session.dirSalida()));
  while (!output.empty() && output.back() == '\\') output.pop_back();
  return shell::entryPath(shell::entryPath(session.companyFolder(), output),
                          shell::companyFolderName(session.celPath()) + "-FrmExc" +
                              shell::twoDigits(formatNumber) + ".xlsx");
}

ControlResult CONTROLCONTB(Session& session, Engine& engine, reports::Runner& runner,
                           std::string_view thirdPartyCode, int formatNumber,
                           std::string_view conceptCode, ControlOutput output) {
  ControlResult result;
  Interp& ip = session.interp();
  const std::string code = store::formatCode(formatNumber);
  const std::string conc = trimBlanks(conceptCode) == kAllConcepts
                               ? std::string()
                               : std::string(trimBlanks(conceptCode));
  const std::string party(trimBlanks(thirdPartyCode));
  result.workbook = controlWorkbookPath(session, formatNumber);

  if (!CHEQUEATODO(session, formatNumber)) return result;
  std::error_code ec;
  if (output == ControlOutput::Workbook && fs::exists(result.workbook, ec)) {
    const std::string question =
        "El archivo  " + result.workbook.string() +
        "  ya existe.\r\n\r\nSi lo genera nuevamente borrar\341 los datos contenidos en el "
        "existente.\r\n\r\nSeguro desea continuar ?";
    if (session.ui().ask(import::kAttention, question, {"&Continuar", "Ca&ncelar"}, 0) != 0) {
      return result;
    }
  }

  TPublic& context = session.impre();
  context.set("nFormat", Value::number(formatNumber));
  context.set("cCod3rot", Value::text(party));
  context.set("cElForm", Value::text(code));
  context.set("cElConc", Value::text(conc));
  if (!context.isDef("cLibro")) context.add("cLibro", Value::text(""));
  context.set("cLibro", Value::text(output == ControlOutput::Workbook ? result.workbook.string()
                                                                      : std::string()));

  shell::FailureWatch watch(ip);
  shell::OpenAreas areas(engine);
  const std::string work = session.companyFolder().string();
  const int codes =
      areas.adopt(store::openCompanyTable(engine, work, store::kAssignments, "CodiCont"));
  if (codes == 0 || watch.failed()) return result;
  engine.setOrder(codes, "CodiCont");
  limitTo(engine, codes, code + conc);

  const int concepts = engine.areaOf("Conceptos3");
  if (concepts != 0) limitTo(engine, concepts, code + conc);
  struct ReleaseConcepts {
    Engine& engine;
    int area;
    // Runs while a failure may be unwinding: the error handler may have closed every table,
    // and a destructor must not throw.
    ~ReleaseConcepts() {
      if (area == 0 || engine.areaOf("Conceptos3") != area) return;
      try {
        engine.orderScope(engine.interp(), area, 0, Value());
        engine.orderScope(engine.interp(), area, 1, Value());
      } catch (const FailureError&) {
      }
    }
  } release{engine, concepts};

  // The directory of third parties, for the names the definitions look up (BUSNOMDI).
  if (engine.areaOf("DIREC") == 0 && shell::findEntry(work, store::kDirectoryCopy)) {
    const int direc =
        areas.open(shell::entryPath(work, store::kDirectoryCopy).string(), "DIREC", true, true);
    if (direc != 0 && shell::findEntry(work, store::kDirectoryCopyIndex)) {
      engine.addIndex(direc, store::kDirectoryCopyIndex);
      const auto orders = engine.orders(direc);
      engine.setOrder(direc, orders.empty() ? std::string() : orders.front().tag);
    }
  }

  const int rows =
      areas.adopt(store::openCompanyTable(engine, work, store::formatTableFile(code), "TraCon"));
  if (rows == 0 || watch.failed()) return result;
  engine.setOrder(rows, "TercConc");
  // Third party and concept are one key of the order: the code is padded to the width of
  // CTA_DIR when a concept follows it. Without a code, the concept is a filter.
  std::size_t width = 5;
  for (const FieldInfo& f : engine.fields(rows))
    if (f.name == "CTA_DIR") width = static_cast<std::size_t>(f.width);
  if (!party.empty()) {
    limitTo(engine, rows,
            conc.empty() || party.size() >= width ? party + conc : padRight(party, width) + conc);
  } else if (!conc.empty()) {
    // The concept is read from the context, never spliced into the condition's text.
    engine.setFilter(ip, rows, "CONC = OIMPRE:cElConc");
  }
  engine.goTop(ip, rows);
  engine.forEach(rows, [&] {
    ++result.rows;
    return true;
  });
  engine.goTop(ip, rows);
  if (watch.failed()) return result;

  engine.select(rows);
  runner.EJECUTAR(output == ControlOutput::Workbook ? kWorkbookDefinition : kListingDefinition);
  result.done = !watch.failed();
  return result;
}

}  // namespace exo::consolidation

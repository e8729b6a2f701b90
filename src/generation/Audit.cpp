// The analysis workbooks of formats 1008 and 1009.
#include "generation/Audit.h"

#include <optional>

#include "consolidation/BasesSupport.h"
#include "consolidation/Readiness.h"
#include "expr/Interp.h"
#include "expr/TPublic.h"
#include "expr/Text.h"
#include "reports/Runner.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::generation {

namespace fs = std::filesystem;
using shell::Session;
using store::Engine;

namespace {

constexpr const char* kNonZero = "!Deleted() .AND. MONTO <> 0.00";

// The work tables the definition reads; AUDITORIA erases them after the run.
constexpr const char* kPartyTable = "TotDat67.dbf";
constexpr const char* kPartyIndex = "TotDa67x.cdx";
constexpr const char* kConceptTable = "TotDat66.dbf";
constexpr const char* kConceptIndex = "TotDa66x.cdx";

std::int64_t countRecords(Engine& engine, int area) {
  std::int64_t n = 0;
  engine.forEach(area, [&] {
    ++n;
    return true;
  });
  engine.goTop(engine.interp(), area);
  return n;
}

// Opens the company's directory copy as DIREC in its code order, unless it is open already.
void openDirectory(Engine& engine, shell::OpenAreas& areas, const fs::path& folder) {
  if (engine.areaOf("DIREC") != 0 || !shell::findEntry(folder, store::kDirectoryCopy)) return;
  const int direc =
      areas.open(shell::entryPath(folder, store::kDirectoryCopy).string(), "DIREC", true, true);
  if (direc == 0 || !shell::findEntry(folder, store::kDirectoryCopyIndex)) return;
  engine.addIndex(direc, store::kDirectoryCopyIndex);
  engine.setOrder(direc, consolidation::directoryCodeOrder(engine, direc));
}

// AUDIT1008 and AUDIT1009: `tables` holds the work tables read by the definition, erased by the
// caller once the areas that hold them are closed.
AuditResult analyse(Session& session, Engine& engine, reports::Runner& runner, int formatNumber,
                    consolidation::ScratchFiles& tables, shell::OpenAreas& areas) {
  AuditResult result;
  Interp& ip = session.interp();
  const std::string code = store::formatCode(formatNumber);
  const fs::path folder = session.companyFolder();
  result.workbook = auditWorkbookPath(session, formatNumber);
  if (!consolidation::CHEQUEATODO(session, formatNumber)) return result;

  shell::FailureWatch watch(ip);
  std::optional<shell::WaitMessage> wait;
  wait.emplace(session, consolidation::kProcessing);
  consolidation::ScratchFiles scratch(folder);
  const std::string tags = scratch.add(store::kScratchIndex);
  const std::string byParty = scratch.add("TotDat2.dbf");
  const std::string byPartyIndex = scratch.add("TotDat2x.cdx");
  const std::string byConcept = scratch.add("TotDat3.dbf");
  const std::string parties = tables.add(kPartyTable);
  const std::string partiesIndex = tables.add(kPartyIndex);
  const std::string concepts = tables.add(kConceptTable);
  const std::string conceptsIndex = tables.add(kConceptIndex);
  {
    shell::OpenAreas work(engine);
    const int m = work.adopt(
        store::openCompanyTable(engine, folder.string(), store::formatTableFile(code), "TraCon"));
    if (m == 0 || watch.failed()) return result;
    engine.buildIndex(m, tags, "CtaDirConc", "CTA_DIR+CONC", store::kNotDeleted);
    engine.buildIndex(m, tags, "CtaDir2", "CTA_DIR", store::kNotDeleted);
    engine.setOrder(m, "CtaDir2");
    engine.total(m, byParty, "CTA_DIR", {"MONTO"});
    engine.setOrder(m, "CtaDirConc");
    engine.total(m, byConcept, "CTA_DIR+CONC", {"MONTO"});
    if (watch.failed()) return result;
  }
  {
    shell::OpenAreas work(engine);
    const int total = work.open(byParty, "TotTercero", false);
    if (total == 0 || watch.failed()) return result;
    engine.buildIndex(total, byPartyIndex, "CtaDir", "CTA_DIR");
    engine.copyTo(total, parties);
    const int all = work.open(byConcept, "TodasCond", false);
    if (all == 0 || watch.failed()) return result;
    // Balances that round to no whole peso are left out of the per-concept sheet.
    engine.copyTo(all, concepts, "ROUND(MONTO,0)<>0");
    if (watch.failed()) return result;
  }

  const int party = areas.open(parties, "TotDat67", false);
  if (party == 0 || watch.failed()) return result;
  // 1008 leaves out the third parties whose receivables net to zero; 1009 keeps every one.
  engine.buildIndex(party, partiesIndex, "TotTerc", "CTA_DIR", formatNumber == 8 ? kNonZero : "");
  const int conceptArea = areas.open(concepts, "TotDat66", false);
  if (conceptArea == 0 || watch.failed()) return result;
  engine.buildIndex(conceptArea, conceptsIndex, "TotConTer", "CONC+CTA_DIR", kNonZero);
  result.thirdParties = countRecords(engine, party);
  result.conceptRows = countRecords(engine, conceptArea);
  openDirectory(engine, areas, folder);
  if (watch.failed()) return result;

  std::error_code ec;
  fs::create_directories(result.workbook.parent_path(), ec);
  TPublic& context = session.impre();
  context.set("nFormat", Value::number(formatNumber));
  for (const auto& [name, value] :
       {std::pair{"cElForm", code}, std::pair{"cLibro", result.workbook.string()}}) {
    if (!context.isDef(name)) context.add(name, Value::text(""));
    context.set(name, Value::text(value));
  }
  wait.reset();
  engine.select(conceptArea);
  runner.EJECUTAR(auditDefinition(formatNumber));
  result.done = !watch.failed();
  return result;
}

AuditResult runAudit(Session& session, Engine& engine, reports::Runner& runner, int formatNumber) {
  // The tables are declared before the areas: the areas close first, then the files go.
  consolidation::ScratchFiles tables(session.companyFolder());
  shell::OpenAreas areas(engine);
  return analyse(session, engine, runner, formatNumber, tables, areas);
}

}  // namespace

std::string auditDefinition(int formatNumber) {
  return "Audi" + shell::twoDigits(formatNumber) + ".rpo";
}

fs::path auditWorkbookPath(const Session& session, int formatNumber) {
  std::string output(trimBlanks(session.dirSalida()));
  while (!output.empty() && output.back() == '\\') output.pop_back();
  return shell::entryPath(shell::entryPath(session.companyFolder(), output),
                          shell::companyFolderName(session.celPath()) + "-Analisis" +
                              store::formatCode(formatNumber) + ".xlsx");
}

AuditResult AUDITORIA(Session& session, Engine& engine, reports::Runner& runner, int choice) {
  if (choice == 1) return AUDIT1008(session, engine, runner, 8);
  if (choice == 2) return AUDIT1009(session, engine, runner, 9);
  return {};
}

AuditResult AUDIT1008(Session& session, Engine& engine, reports::Runner& runner, int formatNumber) {
  return runAudit(session, engine, runner, formatNumber);
}
AuditResult AUDIT1009(Session& session, Engine& engine, reports::Runner& runner, int formatNumber) {
  return runAudit(session, engine, runner, formatNumber);
}

AuditResult AUDIT1001(Session&, Engine&, reports::Runner&, int) { return {}; }
AuditResult AUDIT1003(Session&, Engine&, reports::Runner&, int) { return {}; }
AuditResult AUDIT1004(Session&, Engine&, reports::Runner&, int) { return {}; }
AuditResult AUDIT1005(Session&, Engine&, reports::Runner&, int) { return {}; }
AuditResult AUDIT1006(Session&, Engine&, reports::Runner&, int) { return {}; }
AuditResult AUDIT1007(Session&, Engine&, reports::Runner&, int) { return {}; }
AuditResult AUDIT1010(Session&, Engine&, reports::Runner&, int) { return {}; }
AuditResult AUDIT1011(Session&, Engine&, reports::Runner&, int) { return {}; }
AuditResult AUDIT1012(Session&, Engine&, reports::Runner&, int) { return {}; }

}  // namespace exo::generation

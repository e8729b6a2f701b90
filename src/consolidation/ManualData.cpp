// Preparation of the manual-data tables of formats 1004, 1010 and 1011, the compaction of the
// holder tables, the picker's writes and the deletion of a holder.
#include "consolidation/ManualData.h"

#include <algorithm>

#include "consolidation/BasesSupport.h"
#include "consolidation/ManualDataBuild.h"
#include "consolidation/Partners.h"
#include "expr/Text.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"

namespace exo::consolidation {

namespace fs = std::filesystem;
using store::Engine;

namespace {

// The tag that orders a holder table: full names for 1010, concept and account for 1012.
std::string holderOrder(const std::string& code) {
  return code == "1010" ? "FullNomb" : code == "1012" ? "ConcContab" : "";
}

ManualDataResult openBaseDatos(shell::Session& session, Engine& engine, const std::string& code,
                               ManualDataResult result) {
  Interp& ip = engine.interp();
  if (const int old = engine.areaOf(kBaseDatosAlias)) engine.close(ip, old);
  const int area = store::openCompanyTable(engine, session.companyFolder().string(),
                                           store::baseTableFile(code), kBaseDatosAlias);
  if (area == 0) return result;
  const std::string order = holderOrder(code);
  if (!order.empty()) engine.setOrder(area, order);
  engine.goTop(ip, area);
  result.rows = engine.keyCount(ip, area);
  result.area = area;
  result.done = true;
  return result;
}

// Removes the deleted rows of a holder table for good and builds its index again, the table
// opened exclusively. The table is rewritten beside and renamed into place.
bool compact(shell::Session& session, Engine& engine, const std::string& file,
             ManualDataResult& result) {
  Interp& ip = engine.interp();
  const fs::path folder = session.companyFolder();
  shell::FailureWatch watch(ip);
  shell::OpenAreas areas(engine);
  const auto path = shell::findEntry(folder, file);
  const int area = areas.open(path->string(), "COMPACTA", false);
  if (area == 0 || watch.failed()) return false;
  result.removed = engine.recCount(area) - engine.keyCount(ip, area);
  if (result.removed > 0) engine.pack(ip, area);
  store::buildCompanyIndexes(engine, area, folder.string(), file);
  areas.closeAll();
  return !watch.failed();
}

// Creates an empty holder table with its index (first use of 1010).
bool createHolderTable(shell::Session& session, Engine& engine, const std::string& file) {
  Interp& ip = engine.interp();
  const fs::path folder = session.companyFolder();
  shell::FailureWatch watch(ip);
  shell::StagedFiles staged(folder);
  const store::TableDef& def = store::tableDef(file);
  const std::string table = staged.stage(file);
  std::vector<std::string> indexes;
  for (const store::IndexDef& index : def.indexes)
    indexes.push_back(staged.stage(index.file, true));
  {
    shell::OpenAreas areas(engine);
    engine.createTable(table, store::tableFields(def, folder.string()));
    const int area = areas.open(table, "NUEVA", false);
    if (area == 0 || watch.failed()) return false;
    for (std::size_t i = 0; i < def.indexes.size(); ++i)
      for (const store::TagDef& tag : def.indexes[i].tags)
        engine.buildIndex(area, indexes[i], tag.name, tag.key, tag.forCondition);
    areas.closeAll();
  }
  if (watch.failed()) return false;
  return shell::throughHandler(ip, [&] { staged.commit(); });
}

// The concepts of a format in concept order: code and description.
std::vector<std::pair<std::string, std::string>> formatConcepts(shell::Session& session,
                                                                Engine& engine,
                                                                const std::string& code) {
  std::vector<std::pair<std::string, std::string>> out;
  const auto table = shell::findEntry(session.folders().program, store::kConceptsFile);
  if (!table) return out;
  shell::OpenAreas areas(engine);
  const int area = areas.open(table->string(), "CONCEPFMT", true, true);
  if (area == 0) return out;
  engine.forEach(area, [&] {
    if (engine.text(area, "FORMATO") == code)
      out.emplace_back(engine.text(area, "CONCEPTO"), engine.text(area, "DETALLE"));
    return true;
  });
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return out;
}

// First use of 1004 and 1011: the format's table (1004: copied with its rows; 1011: its
// structure only) with one row per concept of the format.
bool createConceptTable(shell::Session& session, Engine& engine, const std::string& code) {
  Interp& ip = engine.interp();
  const fs::path folder = session.companyFolder();
  const std::string target = store::baseTableFile(code);
  const auto source = shell::findEntry(folder, store::formatTableFile(code));
  if (!source) return false;
  shell::FailureWatch watch(ip);
  shell::StagedFiles staged(folder);
  const std::string table = staged.stage(target);
  if (code == "1004") {
    if (!shell::throughHandler(ip, [&] { Engine::copyFile(source->string(), table); }))
      return false;
    const std::string memo = store::findCompanion(source->string(), ".fpt");
    if (!memo.empty()) {
      const std::string stagedMemo = table.substr(0, table.size() - 4) + ".fpt";
      if (!shell::throughHandler(ip, [&] { Engine::copyFile(memo, stagedMemo); })) return false;
      staged.stageMemoOf(target, "TrF1004B.fpt");
    }
  } else {
    engine.createTable(table, store::tableFields(store::tableDef(target), folder.string(), {},
                                                 source->filename().string()));
  }
  if (watch.failed()) return false;
  const auto concepts = formatConcepts(session, engine, code);
  {
    shell::OpenAreas areas(engine);
    const int area = areas.open(table, "NUEVA", false);
    if (area == 0 || watch.failed()) return false;
    for (const auto& [conceptCode, description] : concepts) {
      engine.appendBlank(area);
      engine.put(area, "FORM", Value::text(code));
      engine.put(area, "CONC", Value::text(conceptCode));
      engine.put(area, "FILTRO", Value::text(description));
      if (watch.failed()) return false;
    }
    areas.closeAll();
  }
  if (watch.failed()) return false;
  return shell::throughHandler(ip, [&] { staged.commit(); });
}

void putText(Engine& engine, int area, const char* field, std::string_view value) {
  engine.put(area, field, Value::text(value));
}

// Writes the holder fields of a directory record into the current row and commits it.
void writeHolder(Engine& engine, int area, const std::string& code, const TDatosSocios& t) {
  const masterdata::ThirdPartyRecord& r = t.record();
  putText(engine, area, "CLAVE", r.ctaDir);
  putText(engine, area, "TDOC", r.tipoDoc);
  putText(engine, area, "NID", r.nit2);
  putText(engine, area, "DV", r.digVerf);
  putText(engine, area, "APL1", r.priApell);
  putText(engine, area, "APL2", r.segApell);
  putText(engine, area, "NOM1", r.priNomb);
  putText(engine, area, "NOM2", r.segNomb);
  putText(engine, area, "RAZ", r.razonSoc);
  if (code == "1010") {
    putText(engine, area, "DIR", r.direccion);
    putText(engine, area, "DPTO", r.codDpto);
    putText(engine, area, "MUN", r.codMncp);
  }
  putText(engine, area, "PAIS", r.codPais);
  putText(engine, area, "FULLNOMB",
          fullName(r.razonSoc, r.priApell, r.segApell, r.priNomb, r.segNomb));
  engine.commit(engine.interp(), area);
}

}  // namespace

int openManualData(shell::Session& session, Engine& engine, int formatNumber) {
  return openBaseDatos(session, engine, store::formatCode(formatNumber), {}).area;
}

ManualDataResult prepareManualData(shell::Session& session, Engine& engine, int formatNumber) {
  ManualDataResult result;
  const std::string code = store::formatCode(formatNumber);
  const std::string file = store::baseTableFile(code);
  const fs::path folder = session.companyFolder();
  const bool exists = shell::findEntry(folder, file).has_value();
  // An earlier view of the table is let go before it may be rewritten.
  if (const int old = engine.areaOf(kBaseDatosAlias)) engine.close(engine.interp(), old);
  if (code == "1004" || code == "1011") {
    if (!exists) {
      if (!formatTableReady(session, formatNumber)) return result;
      shell::WaitMessage wait(session, kProcessing);
      if (!createConceptTable(session, engine, code)) return result;
      result.created = true;
    }
    return openBaseDatos(session, engine, code, result);
  }
  if (code == "1010") {
    if (!exists) {
      if (!createHolderTable(session, engine, file)) return result;
      result.created = true;
    } else if (!compact(session, engine, file, result)) {
      return result;
    }
    return openBaseDatos(session, engine, code, result);
  }
  if (code == "1012") {
    if (!exists) {
      if (!formatTableReady(session, formatNumber)) return result;
      shell::WaitMessage wait(session, kProcessing);
      const auto built = buildAccountsTable(session, engine, {});
      if (!built) return result;
      result.created = true;
    } else if (!compact(session, engine, file, result)) {
      return result;
    }
    return openBaseDatos(session, engine, code, result);
  }
  return result;
}

int openPickerDirectory(shell::Session& session, Engine& engine) {
  const fs::path folder = session.companyFolder();
  if (!shell::findEntry(folder, store::kDirectoryCopy)) {
    session.ui().message(shell::MessageKind::Stop, kAttention,
                         "Debe Importar Movimientos Contables primero");
    return 0;
  }
  const std::string alias = engine.areaOf("DIREC") == 0 ? "DIREC" : "DIRSOCIOS";
  const int area =
      store::openCompanyTable(engine, folder.string(), store::kDirectoryCopy, alias, true);
  if (area == 0) return 0;
  engine.setOrder(area, directoryCodeOrder(engine, area));
  return area;
}

PartnerImport importPartners(shell::Session& session, Engine& engine, int baseArea,
                             int formatNumber, int direcArea, std::vector<std::string> codes) {
  PartnerImport out;
  const std::string code = store::formatCode(formatNumber);
  shell::WaitMessage wait(session, kProcessing);
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  Interp& ip = engine.interp();
  for (const std::string& key : codes) {
    if (!engine.seekKey(direcArea, Value::text(key))) continue;
    const TDatosSocios t = TDatosSocios::New(ip, direcArea);
    // The partner with the same code, looked for from the first row.
    bool found = false;
    engine.forEach(baseArea, [&] {
      found = trimRight(engine.text(baseArea, "CLAVE")) == trimRight(key);
      return !found;
    });
    if (!found) {
      engine.appendBlank(baseArea);
      engine.put(baseArea, "VAL", Value::number(0));
      if (code == "1010") {
        engine.put(baseArea, "VPAR", Value::number(0));
        engine.put(baseArea, "POR", Value::number(0));
      }
      ++out.added;
    } else {
      ++out.refreshed;
    }
    writeHolder(engine, baseArea, code, t);
    session.ui().pumpEvents();
  }
  return out;
}

void fillHolder(Engine& engine, int baseArea, int formatNumber, int direcArea) {
  if (engine.eof(baseArea) || engine.eof(direcArea)) return;
  writeHolder(engine, baseArea, store::formatCode(formatNumber),
              TDatosSocios::New(engine.interp(), direcArea));
}

bool BORRASOCIO(shell::Session& session, Engine& engine, int area) {
  Interp& ip = engine.interp();
  if (engine.eof(area)) return false;
  if (!confirm(session, kAttention, "Seguro desea borrar ficha ?")) return false;
  engine.deleteRecord(ip, area);
  engine.commit(ip, area);
  engine.skip(ip, area, 1);
  if (engine.eof(area)) engine.goBottom(ip, area);
  return true;
}

}  // namespace exo::consolidation

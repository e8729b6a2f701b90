// The withholding bases of formats 1002 and 1003: the totals per third party and concept with
// the minor amounts grouped per concept, the base table built beside and put in place, and the
// percentages and bases the review changes.
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "consolidation/Bases.h"
#include "consolidation/BasesSupport.h"
#include "expr/Text.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/FileLock.h"

namespace exo::consolidation {

namespace fs = std::filesystem;
using store::Engine;

namespace {

constexpr int kRepaintEvery = 20;

// a / b rounded to a whole number, halves away from zero. REQUIRES: b > 0.
std::int64_t roundedQuotient(__int128 a, __int128 b) {
  const bool negative = a < 0;
  if (negative) a = -a;
  const __int128 q = (2 * a + b) / (2 * b);
  return static_cast<std::int64_t>(negative ? -q : q);
}

// A percentage as hundredths, the precision of the table's percentage fields.
__int128 hundredths(double percent) { return static_cast<__int128>(std::llround(percent * 100)); }

double baseOf(double monto, const Percentages& p, bool vatConcept, bool zeroVatIsOne) {
  const __int128 amount = std::llround(monto);
  const __int128 retention = hundredths(p.retention);
  __int128 vat = hundredths(p.vat);
  if (retention <= 0) return 0;
  if (!vatConcept) return static_cast<double>(roundedQuotient(amount * 10000, retention));
  if (vat == 0 && zeroVatIsOne) vat = 10000;
  if (vat <= 0) return 0;
  return static_cast<double>(roundedQuotient(amount * 100000000, retention * vat));
}

// A row of the totals per third party and concept, signed by its nature.
struct ConceptRow {
  std::string ctaDir, nit, conc, codigo;
  double monto = 0;
};

// A run's total per third party over all its concepts.
struct PartyTotal {
  double monto = 0;
  std::string nat;
  double base = 0;
};

double signedBy(std::string_view nat, double monto) {
  return nat.starts_with("1") ? monto : -monto;
}

// The totals of the format movement table: rows at or above the threshold, then one grouped
// row per concept for the minor amounts. Nothing when a failure was let go.
std::optional<std::vector<ConceptRow>> consolidate(shell::Session& session, Engine& engine,
                                                   const fs::path& formatTable,
                                                   shell::FailureWatch& watch) {
  const fs::path folder = session.companyFolder();
  ScratchFiles scratch(folder);
  const std::string tags = scratch.add(store::kScratchIndex);
  const std::string byParty = scratch.add("TotDat2.dbf");
  const std::string byConcept = scratch.add("TotDat3.dbf");

  std::map<std::string, PartyTotal> parties;
  std::vector<std::pair<ConceptRow, std::string>> concepts;  // with the row's own nature
  {
    shell::OpenAreas areas(engine);
    const int f = areas.open(formatTable.string(), "TRFBASES", true);
    if (f == 0 || watch.failed()) return std::nullopt;
    // "CtaDir2" is the start of "CtaDirConc": its keys come from the other's, sorted once.
    engine.buildIndexWithPrefix(f, tags, "CtaDirConc", "CTA_DIR+CONC", "CtaDir2", "CTA_DIR",
                                store::kNotDeleted);
    engine.total(f, byParty, "CTA_DIR", {"MONTO"});
    engine.setOrder(f, "CtaDirConc");
    engine.total(f, byConcept, "CTA_DIR+CONC", {"MONTO"});
    if (watch.failed()) return std::nullopt;
    areas.closeAll();

    const int p = areas.open(byParty, "TOTDAT2", false);
    if (p == 0 || watch.failed()) return std::nullopt;
    engine.forEach(p, [&] {
      // The first row of a third party is the one of its lowest concept: its nature and base.
      parties.emplace(
          engine.text(p, "CTA_DIR"),
          PartyTotal{engine.number(p, "MONTO"), engine.text(p, "NAT"), engine.number(p, "BASE")});
      return !watch.failed();
    });
    const int c = areas.open(byConcept, "TOTDAT3", false);
    if (c == 0 || watch.failed()) return std::nullopt;
    engine.forEach(c, [&] {
      ConceptRow r{engine.text(c, "CTA_DIR"), engine.text(c, "NIT"), engine.text(c, "CONC"),
                   engine.text(c, "CODIGO"), engine.number(c, "MONTO")};
      concepts.emplace_back(std::move(r), engine.text(c, "NAT"));
      if (concepts.size() % kRepaintEvery == 0) session.ui().pumpEvents();
      return !watch.failed();
    });
    if (watch.failed()) return std::nullopt;
  }

  std::vector<ConceptRow> main;
  std::vector<ConceptRow> minorFirst;          // the concept's first minor row, in concept order
  std::map<std::string, std::size_t> minorAt;  // concept -> index in minorFirst
  for (auto& [row, nat] : concepts) {
    const auto party = parties.find(row.ctaDir);
    if (party == parties.end()) continue;
    const double total = signedBy(party->second.nat, party->second.monto);
    const double threshold = party->second.base;
    row.monto = signedBy(nat, row.monto);
    if (total < threshold) {
      if (total <= 0) continue;
      const auto at = minorAt.find(row.conc);
      if (at == minorAt.end()) {
        minorAt.emplace(row.conc, minorFirst.size());
        minorFirst.push_back(row);
      } else {
        minorFirst[at->second].monto += row.monto;
      }
      continue;
    }
    main.push_back(row);
  }
  // The grouped rows follow in concept order.
  for (const auto& [conc, index] : minorAt) main.push_back(minorFirst[index]);
  return main;
}

// The POR_RET of an account in the chart copy, 0 when it is not there.
class ChartPercentages {
 public:
  ChartPercentages(Engine& engine, shell::OpenAreas& areas, const fs::path& folder)
      : m_engine(engine) {
    if (!shell::findEntry(folder, store::kChartCopy)) return;
    m_area = areas.adopt(
        store::openCompanyTable(engine, folder.string(), store::kChartCopy, "MIMAESTRO", true));
    if (m_area == 0) return;
    bool indexed = false;
    for (const auto& o : engine.orders(m_area)) indexed = indexed || upper1252(o.tag) == "CODIGO";
    if (indexed) engine.setOrder(m_area, "Codigo");
    else m_area = 0;
  }
  double retention(const std::string& account) {
    if (m_area == 0) return 0;
    if (!m_engine.seekKey(m_area, Value::text(account))) return 0;
    return m_engine.number(m_area, "POR_RET");
  }

 private:
  Engine& m_engine;
  int m_area = 0;
};

// The directory names of third parties, from the directory copy, in the Windows character set.
class DirectoryNames {
 public:
  DirectoryNames(Engine& engine, shell::OpenAreas& areas, const fs::path& folder)
      : m_engine(engine) {
    if (!shell::findEntry(folder, store::kDirectoryCopy)) return;
    m_area = areas.adopt(
        store::openCompanyTable(engine, folder.string(), store::kDirectoryCopy, "DIRBASES", true));
    if (m_area != 0) engine.setOrder(m_area, directoryCodeOrder(engine, m_area));
  }
  std::string name(const std::string& key) {
    if (m_area != 0 && m_engine.seekKey(m_area, Value::text(key)))
      return m_engine.ledgerText(m_area, "NOMBRE");
    return std::string(shell::kNameNotRegistered);
  }

 private:
  Engine& m_engine;
  int m_area = 0;
};

std::string formatOf(int formatNumber) { return store::formatCode(formatNumber); }

// Opens the stored base table under BaseRet with the hidden concept out of view.
BasesResult openBaseTable(shell::Session& session, Engine& engine, const std::string& code,
                          BasesResult result) {
  Interp& ip = engine.interp();
  const fs::path folder = session.companyFolder();
  if (const int old = engine.areaOf(kBaseRetAlias)) engine.close(ip, old);
  const int area =
      store::openCompanyTable(engine, folder.string(), store::baseTableFile(code), kBaseRetAlias);
  if (area == 0) return result;
  const std::string hidden = hiddenConcept(code);
  result.rows = engine.keyCount(ip, area);
  engine.setFilter(ip, area, "CONC <> '" + hidden + "' ");
  result.hidden = result.rows - engine.keyCount(ip, area);
  engine.goTop(ip, area);
  result.area = area;
  result.done = true;
  return result;
}

}  // namespace

bool isVatWithholding(std::string_view formatCode, std::string_view conceptCode) {
  if (formatCode == "1002")
    return conceptCode == "2318" || conceptCode == "2319" || conceptCode == "2320";
  if (formatCode == "1003") return conceptCode == "1309";
  return false;
}

std::string hiddenConcept(std::string_view formatCode) {
  return formatCode == "1003" ? "1302" : "2302";
}

Percentages defaultPercentages(std::string_view formatCode, std::string_view conceptCode,
                               double accountRetention) {
  if (formatCode == "1002" && conceptCode == "2320") return {100.0, 16.0};
  if (isVatWithholding(formatCode, conceptCode)) return {50.0, 16.0};
  return {accountRetention, 0.0};
}

double initialBase(double monto, const Percentages& p, bool vatConcept) {
  return baseOf(monto, p, vatConcept, false);
}

double editedBase(double monto, const Percentages& p, bool vatConcept) {
  return baseOf(monto, p, vatConcept, true);
}

BasesResult withholdingBases(shell::Session& session, Engine& engine, int formatNumber,
                             bool rebuild, bool restore) {
  BasesResult result;
  const std::string code = formatOf(formatNumber);
  Interp& ip = engine.interp();
  if (restore && !confirm(session, kChooseOption,
                          "Si restaura valores perder\341 los que haya digitado manualmente.\r\n"
                          "\r\n"
                          "Seguro desea restaurarlos ?")) {
    result.area = engine.areaOf(kBaseRetAlias);
    return result;
  }
  shell::WaitMessage wait(session, kProcessing);
  const fs::path folder = session.companyFolder();
  // A table that is not there is built, whatever the caller asked.
  rebuild = rebuild || !shell::findEntry(folder, store::baseTableFile(code));
  if (!(rebuild || restore)) return openBaseTable(session, engine, code, result);
  const auto formatTable = shell::findEntry(folder, store::formatTableFile(code));
  if (!formatTable) {
    shell::closeWaitMessage(session);
    formatTableReady(session, formatNumber);
    return result;
  }

  // The stored table is taken before anything is built: while it is held nobody else opens it,
  // and nothing has changed when another program has it.
  store::FileHold hold;
  if (const auto stored = shell::findEntry(folder, store::baseTableFile(code))) {
    const bool wasOpen = engine.areaOf(kBaseRetAlias) != 0;
    if (const int old = engine.areaOf(kBaseRetAlias)) engine.close(ip, old);
    if (!holdUserTable(session, *stored, hold)) {
      shell::closeWaitMessage(session);
      result.inUse = true;
      if (!wasOpen) return result;
      result = openBaseTable(session, engine, code, result);
      result.done = false;
      return result;
    }
  }

  shell::FailureWatch watch(ip);
  const auto rows = consolidate(session, engine, *formatTable, watch);
  if (!rows) return result;

  shell::StagedFiles staged(folder);
  const std::string target = store::baseTableFile(code);
  const std::string temp = staged.stage(target);
  {
    shell::OpenAreas areas(engine);
    ChartPercentages chart(engine, areas, folder);
    DirectoryNames names(engine, areas, folder);
    engine.createTable(temp, store::tableFields(store::tableDef(target), folder.string()));
    const int out = areas.open(temp, "BASESNEW", false);
    if (out == 0 || watch.failed()) return result;
    std::int64_t written = 0;
    for (const ConceptRow& r : *rows) {
      const bool vat = isVatWithholding(code, r.conc);
      const Percentages p = defaultPercentages(code, r.conc, chart.retention(r.codigo));
      engine.appendBlank(out);
      engine.put(out, "CTA_DIR", Value::text(r.ctaDir));
      engine.put(out, "NOMBRE", Value::text(names.name(r.ctaDir)));
      engine.put(out, "NIT", Value::text(r.nit));
      engine.put(out, "CONC", Value::text(r.conc));
      engine.put(out, "MONTO", Value::number(r.monto));
      engine.put(out, "POR_RET", Value::number(p.retention));
      engine.put(out, "POR_IVA", Value::number(p.vat));
      engine.put(out, "BASE_RET", Value::number(initialBase(r.monto, p, vat)));
      if (watch.failed()) return result;
      if (++written % kRepaintEvery == 0) session.ui().pumpEvents();
    }
    engine.commit(ip, out);
    areas.closeAll();
    if (watch.failed()) return result;
  }
  // The stored table is let go only now that its successor is complete and in place.
  if (const int old = engine.areaOf(kBaseRetAlias)) engine.close(ip, old);
  if (!shell::throughHandler(ip, [&] { staged.commit(); })) return result;
  hold.release();
  result.built = true;
  return openBaseTable(session, engine, code, result);
}

BasesResult RESUMEN1002(shell::Session& session, Engine& engine, bool rebuild, bool restore) {
  return withholdingBases(session, engine, 2, rebuild, restore);
}

BasesResult RESUMEN1003(shell::Session& session, Engine& engine, bool rebuild, bool restore) {
  return withholdingBases(session, engine, 3, rebuild, restore);
}

BasesResult prepareWithholdingBases(shell::Session& session, Engine& engine, int formatNumber) {
  const std::string code = formatOf(formatNumber);
  const bool exists =
      shell::findEntry(session.companyFolder(), store::baseTableFile(code)).has_value();
  if (!formatTableReady(session, formatNumber)) return {};
  return withholdingBases(session, engine, formatNumber, !exists, false);
}

void storePercentages(Engine& engine, int area, std::string_view formatCode, const Percentages& p) {
  if (engine.eof(area)) return;
  const double monto = engine.number(area, "MONTO");
  const bool vat = isVatWithholding(formatCode, trimRight(engine.text(area, "CONC")));
  // The first change takes the record lock; the commit writes the row and releases it.
  engine.put(area, "POR_RET", Value::number(p.retention));
  engine.put(area, "POR_IVA", Value::number(p.vat));
  // The base follows the percentages as stored (two decimals).
  const Percentages stored{engine.number(area, "POR_RET"), engine.number(area, "POR_IVA")};
  engine.put(area, "BASE_RET", Value::number(editedBase(monto, stored, vat)));
  engine.commit(engine.interp(), area);
}

void CALCULACOLBASE(Engine& engine, int area, std::string_view formatCode, double retentionPercent,
                    double vatPercent) {
  if (engine.eof(area)) return;
  const double monto = engine.number(area, "MONTO");
  const bool vat = isVatWithholding(formatCode, trimRight(engine.text(area, "CONC")));
  engine.put(area, "BASE_RET",
             Value::number(editedBase(monto, {retentionPercent, vatPercent}, vat)));
  engine.commit(engine.interp(), area);
}

void storeBase(Engine& engine, int area, double base) {
  if (engine.eof(area)) return;
  engine.put(area, "BASE_RET", Value::number(std::round(base)));
  engine.commit(engine.interp(), area);
}

}  // namespace exo::consolidation

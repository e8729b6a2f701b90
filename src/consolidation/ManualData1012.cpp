// The 1012 table: one row per account assignment of the format with the account's ledger name
// and its balance, built on first use and rebuilt on request keeping the holders the user had
// chosen. The balance is the account's whole year as the movement import reads the ledger: its
// movements in the format's table for that concept (the lines with a third party) plus its
// lines without a third party ("vrSinTer.99").
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "consolidation/BasesSupport.h"
#include "consolidation/ManualData.h"
#include "consolidation/ManualDataBuild.h"
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

constexpr const char* kCode = "1012";
constexpr int kRepaintEvery = 20;

// The holder fields a rebuilt row carries over from the old table.
constexpr const char* kHolderFields[] = {"CLAVE", "TDOC", "NID", "DV",   "APL1",    "APL2",
                                         "NOM1",  "NOM2", "RAZ", "PAIS", "FULLNOMB"};

std::string accountKey(std::string_view account, std::string_view conceptCode) {
  return std::string(trimRight(account)) + '\x01' + std::string(trimRight(conceptCode));
}

// The names of the ledger's accounts: the chart ("VRMAE.DBF", sought by one blank and the code)
// points into the names ("VRNOM.DBF", sought by the pointer as five right-aligned digits).
class LedgerAccountNames {
 public:
  LedgerAccountNames(shell::Session& session, Engine& engine, shell::OpenAreas& areas)
      : m_engine(engine) {
    const fs::path ledger = session.native("\\" + session.celPath());
    const auto chart = shell::findEntry(ledger, store::kLedgerChart);
    const auto chartIndex = shell::findEntry(ledger, store::kLedgerChartIndex);
    const auto names = shell::findEntry(ledger, store::kLedgerNames);
    const auto namesIndex = shell::findEntry(ledger, store::kLedgerNamesIndex);
    if (!chart || !chartIndex || !names || !namesIndex) return;
    m_chart = areas.open(chart->string(), "MAESTRO12", true, true);
    m_names = areas.open(names->string(), "NOMBRE12", true, true);
    if (m_chart == 0 || m_names == 0) {
      m_chart = 0;
      return;
    }
    engine.addIndex(m_chart, chartIndex->filename().string());
    engine.addIndex(m_names, namesIndex->filename().string());
    const auto chartOrders = engine.orders(m_chart);
    const auto nameOrders = engine.orders(m_names);
    if (chartOrders.empty() || nameOrders.empty()) {
      m_chart = 0;
      return;
    }
    engine.setOrder(m_chart, chartOrders.front().tag);
    engine.setOrder(m_names, nameOrders.front().tag);
  }

  std::string name(std::string_view account) {
    if (m_chart == 0) return {};
    if (!m_engine.seekKey(m_chart, Value::text(" " + padRight(account, 20)))) return {};
    const double pointer = m_engine.number(m_chart, "APU_NOM");
    char key[32];
    std::snprintf(key, sizeof key, "%5.0f", pointer);
    if (!m_engine.seekKey(m_names, Value::text(key))) return {};
    const std::string n = std::string(trimRight(m_engine.ledgerText(m_names, "NOMBRE")));
    return n.substr(0, std::min<std::size_t>(n.size(), 40));
  }

 private:
  Engine& m_engine;
  int m_chart = 0;
  int m_names = 0;
};

struct Assignment {
  std::string conceptCode, account;
};

// The assignments of format 1012 in the order FORMATO+CONCEPTO+COD_CONT.
std::vector<Assignment> assignments(shell::Session& session, Engine& engine,
                                    shell::OpenAreas& areas) {
  std::vector<std::pair<std::string, Assignment>> rows;
  const fs::path folder = session.companyFolder();
  if (!shell::findEntry(folder, store::kAssignments)) return {};
  const int area = areas.adopt(
      store::openCompanyTable(engine, folder.string(), store::kAssignments, "CODCONT12", true));
  if (area == 0) return {};
  engine.forEach(area, [&] {
    if (engine.text(area, "FORMATO") == kCode) {
      Assignment a{engine.text(area, "CONCEPTO"), engine.text(area, "COD_CONT")};
      rows.emplace_back(a.conceptCode + a.account, a);
    }
    return true;
  });
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Assignment> out;
  for (auto& r : rows) out.push_back(std::move(r.second));
  return out;
}

// Ends the meter however the build ends.
struct MeterScope {
  shell::UserInterface& ui;
  ~MeterScope() { ui.meterEnd(); }
};

}  // namespace

std::optional<AccountsBuild> buildAccountsTable(shell::Session& session, Engine& engine,
                                                const Holders& holders,
                                                const std::function<void()>& beforeReplace) {
  Interp& ip = engine.interp();
  shell::UserInterface& ui = session.ui();
  const fs::path folder = session.companyFolder();
  const auto formatTable = shell::findEntry(folder, store::formatTableFile(kCode));
  if (!formatTable) return std::nullopt;
  shell::FailureWatch watch(ip);
  shell::StagedFiles staged(folder);
  const std::string target = store::baseTableFile(kCode);
  const std::string table = staged.stage(target);
  const std::string index = staged.stage(store::baseIndexFile(kCode), true);
  AccountsBuild built;
  {
    shell::OpenAreas areas(engine);
    // The balance of every account and concept: the sum of its movements as booked.
    std::map<std::string, double> totals;
    const int movements = areas.open(formatTable->string(), "TRF1012", true, true);
    if (movements == 0 || watch.failed()) return std::nullopt;
    engine.forEach(movements, [&] {
      totals[accountKey(engine.text(movements, "CODIGO"), engine.text(movements, "CONC"))] +=
          engine.number(movements, "MONTO");
      return !watch.failed();
    });
    if (watch.failed()) return std::nullopt;
    std::map<std::string, double> withoutParty;
    if (const auto file = shell::findEntry(folder, store::kLinesWithoutParty)) {
      const int lines = areas.open(file->string(), "SINTER12", true, true);
      if (lines == 0 || watch.failed()) return std::nullopt;
      engine.forEach(lines, [&] {
        withoutParty[std::string(trimRight(engine.text(lines, "CODIGO")))] +=
            engine.number(lines, "MONTO");
        return !watch.failed();
      });
      if (watch.failed()) return std::nullopt;
    }
    const std::vector<Assignment> rows = assignments(session, engine, areas);
    LedgerAccountNames names(session, engine, areas);
    if (watch.failed()) return std::nullopt;

    engine.createTable(table, store::tableFields(store::tableDef(target), folder.string()));
    const int out = areas.open(table, "NUEVA1012", false);
    if (out == 0 || watch.failed()) return std::nullopt;
    ui.meterBegin("", static_cast<std::int64_t>(rows.size()), true);
    MeterScope meter{ui};
    for (const Assignment& a : rows) {
      engine.appendBlank(out);
      engine.put(out, "CPT", Value::text(a.conceptCode));
      engine.put(out, "CODI_CONT", Value::text(a.account));
      engine.put(out, "NOMB_CONT", Value::text(names.name(a.account)));
      const auto total = totals.find(accountKey(a.account, a.conceptCode));
      const auto rest = withoutParty.find(std::string(trimRight(a.account)));
      engine.put(out, "VAL",
                 Value::number((total == totals.end() ? 0.0 : total->second) +
                               (rest == withoutParty.end() ? 0.0 : rest->second)));
      const auto holder = holders.find(engine.text(out, "CPT") + engine.text(out, "CODI_CONT"));
      if (holder != holders.end()) {
        for (const auto& [field, value] : holder->second)
          engine.put(out, field, Value::text(value));
        ++built.kept;
      }
      if (watch.failed()) return std::nullopt;
      ui.meterAdvance(++built.rows);
      if (built.rows % kRepaintEvery == 0) ui.pumpEvents();
    }
    engine.commit(ip, out);
    for (const store::IndexDef& def : store::tableDef(target).indexes)
      for (const store::TagDef& tag : def.tags)
        engine.buildIndex(out, index, tag.name, tag.key, tag.forCondition);
    areas.closeAll();
    if (watch.failed()) return std::nullopt;
  }
  if (beforeReplace) beforeReplace();
  if (!shell::throughHandler(ip, [&] { staged.commit(); })) return std::nullopt;
  return built;
}

RebuildResult REHACEBASE12(shell::Session& session, Engine& engine, int area) {
  RebuildResult result;
  result.area = area;
  Interp& ip = engine.interp();
  if (!confirm(session, kAttention, "Seguro desea rehacer tabla para Formato 1012 ?"))
    return result;
  if (!formatTableReady(session, 12)) return result;
  shell::WaitMessage wait(session, kProcessing);
  // The holders of the current rows, the first row of each concept and account.
  Holders holders;
  engine.forEach(area, [&] {
    Holder h;
    bool any = false;
    for (const char* field : kHolderFields) {
      h[field] = engine.text(area, field);
      any = any || !trimBlanks(h[field]).empty();
    }
    if (any)
      holders.emplace(engine.text(area, "CPT") + engine.text(area, "CODI_CONT"), std::move(h));
    return true;
  });
  engine.goTop(ip, area);
  // The stored table is let go by this program and held exclusively until the new one is in
  // place: another program that has it open stops the rebuild before anything changes.
  const std::string stored = engine.table(area).path();
  engine.commit(ip, area);
  engine.close(ip, area);
  store::FileHold hold;
  if (!holdUserTable(session, stored, hold)) {
    result.area = openManualData(session, engine, 12);
    return result;
  }
  std::optional<AccountsBuild> built;
  try {
    built = buildAccountsTable(session, engine, holders, {});
  } catch (...) {
    // Given up half-way: the old table, untouched, is opened again as it was.
    hold.release();
    openManualData(session, engine, 12);
    throw;
  }
  hold.release();
  if (!engine.isUsed(area) || engine.aliasOf(area).empty()) {
    // The old table was let go: whichever table is in place now is opened again.
    result.area = openManualData(session, engine, 12);
  }
  if (!built) return result;
  result.done = true;
  result.rows = built->rows;
  result.kept = built->kept;
  return result;
}

}  // namespace exo::consolidation

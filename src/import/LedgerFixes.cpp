// The two fixes of the year's movements: value-added-tax lines moved from the ledger's pseudo
// third party to the real counterpart of their voucher, and sales-commission expenses moved to
// the salesperson. Each is one pass over the lines of the voucher types concerned, in the order
// "SoloCmp" one type at a time, plus a short read of the voucher's lines in the order
// "CmpCtaDir" for each line to fix.
#include <cmath>
#include <functional>

#include "expr/Text.h"
#include "import/ImportRun.h"
#include "import/LedgerImport.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::import {

namespace fs = std::filesystem;
using shell::MessageKind;
using shell::Session;
using shell::UserInterface;
using store::Engine;

namespace {

constexpr int kRepaintEvery = 200;

// The voucher types each fix works on.
const std::vector<std::string> kInvoiceAndPurchaseTypes = {"FC", "FE", "FL", "FH", "FT",
                                                           "FD", "CC", "CE", "CD"};
const std::vector<std::string> kSalesTypes = {"FC", "FE", "FL", "FH", "FT", "FD"};

bool isVatParty(std::string_view ctaDir) { return beginsWith(ctaDir, "IVA"); }
bool isCommissionLine(std::string_view tipo) { return beginsWith(tipo, "CO"); }

// The year's table open twice (scan and voucher lookup) with its tags, for one fix.
struct FixRun {
  Session& session;
  Engine& engine;
  Interp& ip;
  UserInterface& ui;
  FailureWatch watch;
  OpenAreas areas;
  int scan = 0, lookup = 0;
  FixResult result;
  Stopwatch clock;

  FixRun(Session& s, Engine& e)
      : session(s), engine(e), ip(s.interp()), ui(s.ui()), watch(s.interp()), areas(e) {}

  // The checks and the opening; false when the fix cannot start (the user has been told).
  bool start() {
    const fs::path work = session.companyFolder();
    auto present = [&](const char* name) { return shell::findEntry(work, name).has_value(); };
    // Without the year's movements and their index there is nothing to fix: the movement
    // import has not run (or did not finish) in this company folder.
    if (!present(store::kDirectoryCopy) || !present(store::kYearMovements) ||
        !present(store::kYearMovementsIndex)) {
      ui.message(MessageKind::Alert, kAttention, kImportFirst);
      return false;
    }
    ui.status(1, "");
    ui.status(2, "");
    ui.status(0, "Procesando, por favor espere.....");
    ui.pumpEvents();
    const std::string table = shell::entryPath(work, store::kYearMovements).string();
    scan = areas.open(table, "TRACONFIX");
    if (scan != 0) engine.addIndex(scan, store::kYearMovementsIndex);
    lookup = watch.failed() ? 0 : areas.open(table, "TRACONCMP");
    if (lookup != 0) engine.addIndex(lookup, store::kYearMovementsIndex);
    if (scan == 0 || lookup == 0 || watch.failed()) return stopped();
    engine.setOrder(scan, "SoloCmp");
    engine.setOrder(lookup, "CmpCtaDir");
    return !watch.failed() || stopped();
  }

  bool stopped() {
    if (watch.sharingConflict()) {
      ui.message(
          MessageKind::Stop, kAttention,
          "El archivo " + fs::path(watch.fileName()).filename().string() +
              " est\341 en uso exclusivo por otro programa.\r\nIntente de nuevo m\341s tarde.");
    }
    return false;
  }

  // Visits the lines of the given voucher types in the order "SoloCmp"; `visit` sees the scan
  // area on each line.
  bool scanTypes(const std::vector<std::string>& types, const std::function<void()>& visit) {
    std::int64_t total = 0;
    for (const std::string& t : types) {
      engine.orderScope(ip, scan, 0, Value::text(t));
      engine.orderScope(ip, scan, 1, Value::text(t));
      total += engine.keyCount(ip, scan);
    }
    ui.meterBegin("", total, true);
    for (const std::string& t : types) {
      engine.orderScope(ip, scan, 0, Value::text(t));
      engine.orderScope(ip, scan, 1, Value::text(t));
      engine.forEach(scan, [&] {
        visit();
        if (++result.scanned % kRepaintEvery == 0) {
          ui.meterAdvance(result.scanned);
          ui.pumpEvents();
        }
        return !watch.failed();
      });
      if (watch.failed()) break;
    }
    engine.orderScope(ip, scan, 0, Value());
    engine.orderScope(ip, scan, 1, Value());
    ui.meterAdvance(result.scanned);
    return !watch.failed();
  }

  // Walks the lines of the voucher `voucher` (TIPO_COMP + COMPROBA) in the order "CmpCtaDir"
  // until `stop` is true on one of them; true when it stopped on a line (the lookup area stands
  // there).
  bool findInVoucher(const std::string& voucher, const std::function<bool()>& stop) {
    if (!engine.seekKey(lookup, Value::text(voucher))) return false;
    while (!engine.eof(lookup)) {
      const std::string key = engine.text(lookup, "TIPO_COMP") + engine.text(lookup, "COMPROBA");
      if (key != voucher) return false;
      if (stop()) return true;
      engine.skip(ip, lookup, 1);
    }
    return false;
  }

  // Writes the fields of the current record of `area` under a record lock. While the fix holds
  // the table lock the record lock is covered by it, and only the record is let go after the
  // change (releasing every lock would end the table lock and its batch).
  void change(int area, const std::vector<std::pair<const char*, std::string>>& values,
              bool tableLocked = false) {
    const int selected = engine.selected();
    engine.select(area);
    shell::PROTEGER(ip, 0);
    for (const auto& [field, value] : values) engine.put(area, field, Value::text(value));
    if (tableLocked) {
      engine.unlockRecord(area);
    } else {
      shell::DESPROTEGER(ip);
    }
    engine.select(selected);
  }

  FixResult finish() {
    for (const int area : {scan, lookup}) engine.commit(ip, area);
    ui.meterEnd();
    if (watch.failed()) {
      stopped();
      return result;
    }
    areas.closeAll();
    result.seconds = clock.seconds();
    ui.status(0, kFinished);
    ui.status(2, timeLine(result.seconds));
    result.done = true;
    return result;
  }
};

// The identification of third party `key` in the directory copy (open in `area` in the order of
// its keys), or the not-registered text.
std::string identificationOf(Engine& engine, int area, std::string_view key) {
  const std::string wanted(trimRight(key));
  if (!wanted.empty() && engine.seekKey(area, Value::text(wanted)) &&
      trimRight(engine.text(area, "CLAVE")) == wanted) {
    return std::string(trimRight(engine.text(area, "DIREC4")));
  }
  return store::kNotRegistered;
}

}  // namespace

FixResult ARREGLAIVA(Session& session, Engine& engine) {
  FixRun run(session, engine);
  if (!run.start()) return run.result;
  const fs::path work = session.companyFolder();
  const int direc = run.areas.open(shell::entryPath(work, store::kDirectoryCopy).string(),
                                   "DIRECIVA", true, true);
  if (direc != 0) {
    engine.addIndex(direc, store::kDirectoryCopyIndex);
    const auto orders = engine.orders(direc);
    engine.setOrder(direc, orders.empty() ? std::string() : orders.front().tag);
  }
  if (direc == 0 || run.watch.failed()) {
    run.stopped();
    run.ui.meterEnd();
    return run.result;
  }
  // The lines to move are found first and changed after the pass: the scan and the voucher
  // reads then run on unchanged tags. Moving a VAT line never changes the choice for another
  // one (a moved line carries the code already chosen for its voucher).
  std::vector<std::pair<std::int64_t, std::string>> moves;
  run.scanTypes(kInvoiceAndPurchaseTypes, [&] {
    if (!isVatParty(engine.text(run.scan, "CTA_DIR"))) return;
    const std::string voucher =
        engine.text(run.scan, "TIPO_COMP") + engine.text(run.scan, "COMPROBA");
    std::string party;
    const bool found = run.findInVoucher(voucher, [&] {
      party = engine.text(run.lookup, "CTA_DIR");
      return !isVatParty(party) && !isCommissionLine(engine.text(run.lookup, "TIPO"));
    });
    if (found) moves.emplace_back(engine.recNo(run.scan), party);
  });
  // The changes are made under the table lock as one batch of index changes (the index file
  // is locked once and its pages written together at the end). When another user holds a record
  // of the table, each line is changed under its own lock as it comes.
  const bool batched = !moves.empty() && engine.lockFile(run.ip, run.scan);
  if (batched) engine.beginBatch(run.scan);
  for (const auto& [recno, party] : moves) {
    if (run.watch.failed()) break;
    engine.goTo(run.ip, run.scan, recno);
    run.change(run.scan, {{"CTA_DIR", party}, {"NIT", identificationOf(engine, direc, party)}},
               batched);
    ++run.result.moved;
  }
  if (batched) {
    engine.endBatch(run.scan);
    engine.unlock(run.ip, run.scan);
  }
  return run.finish();
}

FixResult ARREGLACOMIS(Session& session, Engine& engine) {
  FixRun run(session, engine);
  if (!run.start()) return run.result;
  run.scanTypes(kSalesTypes, [&] {
    if (!isCommissionLine(engine.text(run.scan, "TIPO"))) return;
    const double amount = -engine.number(run.scan, "MONTO");
    const std::string salesperson = engine.text(run.scan, "CTA_DIR");
    const std::string voucher =
        engine.text(run.scan, "TIPO_COMP") + engine.text(run.scan, "COMPROBA");
    const bool found = run.findInVoucher(voucher, [&] {
      if (isCommissionLine(engine.text(run.lookup, "TIPO")) ||
          isVatParty(engine.text(run.lookup, "CTA_DIR"))) {
        return false;
      }
      return beginsWith(engine.text(run.lookup, "CODIGO"), "5.") &&
             std::abs(engine.number(run.lookup, "MONTO") - amount) < 0.005 &&
             beginsWith(upper1252(engine.text(run.lookup, "DETALLE")), "COMISI");
    });
    if (!found || engine.text(run.lookup, "CTA_DIR") == salesperson) return;
    run.change(run.lookup, {{"CTA_DIR", salesperson}});
    ++run.result.moved;
  });
  return run.finish();
}

}  // namespace exo::import

// The two fixes of the year's movements: value-added-tax lines moved from the ledger's pseudo
// third party to the real counterpart of their voucher, and sales-commission expenses moved to
// the salesperson. Each reads the lines of the voucher types concerned once, straight from the
// table in record order, and works out the changes voucher by voucher as the orders "SoloCmp"
// (the lines, one type at a time) and "CmpCtaDir" (a voucher's lines by third party) give them;
// the changes are then made through the work area, in that order, so that the tags follow.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <unordered_map>

#include "expr/Collation.h"
#include "expr/Text.h"
#include "import/Identifications.h"
#include "import/ImportRun.h"
#include "import/LedgerImport.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/FieldCodec.h"

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

// Texts in the order of character keys: byte by byte through the collation weights (a
// permutation of the bytes, so only equal texts compare equal).
int collate(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i])
      return int{collationWeight(static_cast<unsigned char>(a[i]))} -
             int{collationWeight(static_cast<unsigned char>(b[i]))};
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// One line of the voucher types a fix works on, as the table holds it.
struct FixLine {
  std::uint32_t recno = 0;
  std::string ctaDir;
  bool commission = false;      // TIPO "CO..."
  bool expenseAccount = false;  // CODIGO "5..." (the commission fix only)
  bool commissionText = false;  // DETALLE "COMISI..." in upper case (the commission fix only)
  store::NumberValue monto;     // (the commission fix only)
};

// In the order "CmpCtaDir" within one voucher: third party, then record.
bool byParty(const FixLine* a, const FixLine* b) {
  const int c = collate(a->ctaDir, b->ctaDir);
  return c != 0 ? c < 0 : a->recno < b->recno;
}

// The year's table open in a work area with its tags (the changes go through it), and its
// lines of the fix's voucher types read once from the file.
struct FixRun {
  Session& session;
  Engine& engine;
  Interp& ip;
  UserInterface& ui;
  FailureWatch watch;
  OpenAreas areas;
  int area = 0;
  // One voucher (TIPO_COMP + COMPROBA): its lines are lines[begin, end), in record order.
  struct Voucher {
    std::size_t type = 0;  // position of its voucher type in the fix's list
    std::string weights;   // TIPO_COMP + COMPROBA through the collation weights
    std::uint32_t begin = 0, end = 0;
  };
  std::vector<Voucher> vouchers;
  std::vector<FixLine> lines;        // voucher after voucher
  std::vector<std::uint32_t> order;  // the vouchers in the order "SoloCmp", type by type
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
    area = areas.open(table, "TRACONFIX");
    if (area != 0) engine.addIndex(area, store::kYearMovementsIndex);
    if (area == 0 || watch.failed()) return stopped();
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

  // Reads the active lines of the given voucher types, voucher by voucher, and puts the vouchers
  // in the order "SoloCmp" (type by type in the order given, then TIPO_COMP + COMPROBA; the
  // lines of a voucher stay in record order).
  bool readLines(const std::vector<std::string>& types, bool commissionFields) {
    const std::string path =
        shell::entryPath(session.companyFolder(), store::kYearMovements).string();
    bool missing = false;
    const bool ok = shell::throughHandler(ip, [&] {
      vouchers.clear();
      lines.clear();
      std::unordered_map<std::string, std::uint32_t> known;
      store::Dbf table = store::Dbf::open(path, store::OpenOptions{true, true, 2000});
      const auto field = [&](const char* name) {
        const auto i = table.fieldIndex(name);
        if (!i) {
          missing = true;
          engine.text(area, name);  // raised as the work area raises a field it lacks
        }
        return i.value_or(-1);
      };
      const int tipoComp = field("TIPO_COMP"), comproba = field("COMPROBA"),
                ctaDir = field("CTA_DIR"), tipo = field("TIPO");
      const int codigo = commissionFields ? field("CODIGO") : -1;
      const int monto = commissionFields ? field("MONTO") : -1;
      const int detalle = commissionFields ? field("DETALLE") : -1;
      if (missing) return;
      std::string key, previous;
      std::uint32_t voucher = 0;
      std::vector<std::uint32_t> voucherOf;  // of each line read, in record order
      std::vector<FixLine> read;
      for (std::uint32_t r = 1; r <= table.recordCount(); ++r) {
        const char* rec = table.peek(r);
        if (store::Dbf::isDeleted(rec)) continue;
        const std::string_view type = table.text(rec, tipoComp);
        std::size_t t = 0;
        while (t < types.size() && !beginsWith(type, types[t])) ++t;
        if (t == types.size()) continue;
        key.assign(type).append(table.text(rec, comproba));
        // The lines of a voucher mostly come one after another: the last one's is tried first.
        if (vouchers.empty() || key != previous) {
          auto [at, added] = known.try_emplace(key, static_cast<std::uint32_t>(vouchers.size()));
          if (added) {
            Voucher v;
            v.type = t;
            v.weights = key;
            for (char& c : v.weights)
              c = static_cast<char>(collationWeight(static_cast<unsigned char>(c)));
            vouchers.push_back(std::move(v));
          }
          voucher = at->second;
          previous = key;
        }
        FixLine line;
        line.recno = r;
        line.ctaDir = std::string(table.text(rec, ctaDir));
        line.commission = isCommissionLine(table.text(rec, tipo));
        if (commissionFields) {
          line.expenseAccount = beginsWith(table.text(rec, codigo), "5.");
          // The text matters only on an expense account (the fix looks at it after the account).
          line.commissionText =
              line.expenseAccount && beginsWith(upper1252(table.text(rec, detalle)), "COMISI");
          line.monto = table.number(rec, monto);
        }
        read.push_back(std::move(line));
        voucherOf.push_back(voucher);
      }
      // The lines grouped by voucher, each voucher's in record order.
      for (const std::uint32_t v : voucherOf) ++vouchers[v].end;
      std::uint32_t at = 0;
      for (Voucher& v : vouchers) {
        v.begin = at;
        at += v.end;
        v.end = v.begin;
      }
      lines.resize(read.size());
      for (std::size_t i = 0; i < read.size(); ++i)
        lines[vouchers[voucherOf[i]].end++] = std::move(read[i]);
    });
    if (!ok || missing || watch.failed()) return false;
    order.resize(vouchers.size());
    result.scanned = static_cast<std::int64_t>(lines.size());
    // Type by type; within a type the vouchers mostly came in the order of their numbers
    // already, and are sorted only when they did not.
    std::vector<std::uint32_t> start(types.size() + 1, 0);
    for (const Voucher& v : vouchers) ++start[v.type + 1];
    for (std::size_t t = 0; t < types.size(); ++t) start[t + 1] += start[t];
    {
      std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
      for (std::uint32_t i = 0; i < vouchers.size(); ++i) order[next[vouchers[i].type]++] = i;
    }
    const auto byWeights = [&](std::uint32_t a, std::uint32_t b) {
      const std::string& x = vouchers[a].weights;
      const std::string& y = vouchers[b].weights;
      const int c = std::memcmp(x.data(), y.data(), std::min(x.size(), y.size()));
      return c != 0 ? c < 0 : x.size() < y.size();
    };
    for (std::size_t t = 0; t < types.size(); ++t) {
      const auto first = order.begin() + start[t], last = order.begin() + start[t + 1];
      if (!std::is_sorted(first, last, byWeights)) std::sort(first, last, byWeights);
    }
    return true;
  }

  // Hands each voucher's lines to `visit` in the order of the pass, with the meter.
  bool forEachVoucher(const std::function<bool(std::vector<FixLine*>&)>& visit) {
    ui.meterBegin("", result.scanned, true);
    std::vector<FixLine*> voucher;
    std::int64_t done = 0, shown = 0;
    for (const std::uint32_t v : order) {
      voucher.clear();
      for (std::uint32_t i = vouchers[v].begin; i < vouchers[v].end; ++i)
        voucher.push_back(&lines[i]);
      if (!visit(voucher) || watch.failed()) return false;
      done += static_cast<std::int64_t>(voucher.size());
      if (done / kRepaintEvery != shown / kRepaintEvery) {
        shown = done;
        ui.meterAdvance(shown);
        ui.pumpEvents();
      }
    }
    ui.meterAdvance(result.scanned);
    return true;
  }

  // The amount of a line, read again through the work area when the file's text is not a
  // number, so that the failure is raised as any reading of the field raises it.
  bool amount(const FixLine& line, double& value) {
    if (line.monto.state == store::NumberState::Value ||
        line.monto.state == store::NumberState::Empty) {
      value = line.monto.value;
      return true;
    }
    engine.goTo(ip, area, line.recno);
    value = engine.number(area, "MONTO");
    return !watch.failed();
  }

  // Writes the fields of record `recno` under a record lock. While the fix holds the table lock
  // the record lock is covered by it, and only the record is let go after the change (releasing
  // every lock would end the table lock and its batch).
  void change(std::uint32_t recno, const std::vector<std::pair<const char*, std::string>>& values,
              bool tableLocked = false) {
    engine.goTo(ip, area, recno);
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
    engine.commit(ip, area);
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
  if (!run.readLines(kInvoiceAndPurchaseTypes, false)) {
    run.stopped();
    run.ui.meterEnd();
    return run.result;
  }
  // The lines to move are found first and changed after the pass. Moving a VAT line never
  // changes the choice for another one (a moved line carries the code already chosen for its
  // voucher): each VAT line of a voucher goes to the first of its lines in the order of third
  // party that is neither "IVA..." nor a commission line.
  std::vector<std::pair<std::uint32_t, std::string>> moves;
  run.forEachVoucher([&](std::vector<FixLine*>& voucher) {
    const FixLine* party = nullptr;
    for (const FixLine* line : voucher) {
      if (isVatParty(line->ctaDir) || line->commission) continue;
      if (party == nullptr || byParty(line, party)) party = line;
    }
    if (party == nullptr) return true;
    for (const FixLine* line : voucher)
      if (isVatParty(line->ctaDir)) moves.emplace_back(line->recno, party->ctaDir);
    return true;
  });
  // The changes are made under the table lock as one batch of index changes (the index file
  // is locked once and its pages written together at the end). When another user holds a record
  // of the table, each line is changed under its own lock as it comes.
  Identifications ids(engine, direc);
  const bool batched = !moves.empty() && engine.lockFile(run.ip, run.area);
  if (batched) engine.beginBatch(run.area);
  for (const auto& [recno, party] : moves) {
    if (run.watch.failed()) break;
    run.change(recno, {{"CTA_DIR", party}, {"NIT", ids.of(party)}}, batched);
    ++run.result.moved;
  }
  if (batched) {
    engine.endBatch(run.area);
    engine.unlock(run.ip, run.area);
  }
  return run.finish();
}

FixResult ARREGLACOMIS(Session& session, Engine& engine) {
  FixRun run(session, engine);
  if (!run.start()) return run.result;
  if (!run.readLines(kSalesTypes, true)) {
    run.stopped();
    run.ui.meterEnd();
    return run.result;
  }
  // Each commission line, in the order of the pass, looks through its voucher's lines in the
  // order of third party as they stand after the changes made so far; the changes are made in
  // the same order afterwards.
  std::vector<std::pair<std::uint32_t, std::string>> changes;
  std::vector<FixLine*> byPartyOrder;
  const bool scanned = run.forEachVoucher([&](std::vector<FixLine*>& voucher) {
    for (FixLine* line : voucher) {
      if (!line->commission) continue;
      double amount = 0;
      if (!run.amount(*line, amount)) return false;
      amount = -amount;
      byPartyOrder = voucher;
      std::sort(byPartyOrder.begin(), byPartyOrder.end(), byParty);
      FixLine* found = nullptr;
      for (FixLine* other : byPartyOrder) {
        if (other->commission || isVatParty(other->ctaDir) || !other->expenseAccount) continue;
        double value = 0;
        if (!run.amount(*other, value)) return false;
        if (std::abs(value - amount) < 0.005 && other->commissionText) {
          found = other;
          break;
        }
      }
      if (found == nullptr || found->ctaDir == line->ctaDir) continue;
      found->ctaDir = line->ctaDir;
      changes.emplace_back(found->recno, line->ctaDir);
    }
    return true;
  });
  // As in the VAT fix, the changes are one batch under the table lock, or one by one under
  // their own record locks when the table lock cannot be had. The batch advances the index
  // file's change counter once per key change, as the changes one by one do.
  const bool batched = scanned && !changes.empty() && engine.lockFile(run.ip, run.area);
  if (batched) engine.beginBatch(run.area, store::BatchCount::PerChange);
  for (const auto& [recno, salesperson] : changes) {
    if (!scanned || run.watch.failed()) break;
    run.change(recno, {{"CTA_DIR", salesperson}}, batched);
    ++run.result.moved;
  }
  if (batched) {
    engine.endBatch(run.area);
    engine.unlock(run.ip, run.area);
  }
  return run.finish();
}

}  // namespace exo::import

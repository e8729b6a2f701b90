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
#include <limits>
#include <thread>
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
#include "store/FileFaults.h"

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
  // One voucher (TIPO_COMP + COMPROBA): its lines are those of grouped[begin, end), in record
  // order.
  struct Voucher {
    std::size_t type = 0;  // position of its voucher type in the fix's list
    std::string weights;   // TIPO_COMP + COMPROBA through the collation weights
    std::uint32_t begin = 0, end = 0;
  };
  std::vector<Voucher> vouchers;
  std::vector<FixLine> lines;          // in record order
  std::vector<std::uint32_t> grouped;  // the lines' places, voucher after voucher
  std::vector<std::uint32_t> order;    // the vouchers in the order "SoloCmp", type by type
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

  // The lines of records [from, to] of the fix's voucher types, voucher by voucher as they first
  // appear (one part of the table, read on its own).
  struct Part {
    std::vector<Voucher> vouchers;
    std::unordered_map<std::string, std::uint32_t> known;  // TIPO_COMP + COMPROBA -> voucher
    std::vector<FixLine> lines;                            // in record order
    std::vector<std::uint32_t> voucherOf;                  // of each line
  };
  struct Fields {
    int tipoComp = -1, comproba = -1, ctaDir = -1, tipo = -1, codigo = -1, monto = -1, detalle = -1;
  };

  // `recordAt(r)` gives the bytes of record r.
  template <typename RecordAt>
  static void readPart(const store::Dbf& table, RecordAt&& recordAt, std::uint32_t from,
                       std::uint32_t to, const Fields& f, const std::vector<std::string>& types,
                       Part& out) {
    std::string key, previous;
    std::uint32_t voucher = 0;
    for (std::uint32_t r = from; r <= to; ++r) {
      const char* rec = recordAt(r);
      if (store::Dbf::isDeleted(rec)) continue;
      const std::string_view type = table.text(rec, f.tipoComp);
      std::size_t t = 0;
      while (t < types.size() && !beginsWith(type, types[t])) ++t;
      if (t == types.size()) continue;
      key.assign(type).append(table.text(rec, f.comproba));
      // The lines of a voucher mostly come one after another: the last one's is tried first.
      if (out.vouchers.empty() || key != previous) {
        auto [at, added] =
            out.known.try_emplace(key, static_cast<std::uint32_t>(out.vouchers.size()));
        if (added) {
          Voucher v;
          v.type = t;
          v.weights = key;
          for (char& c : v.weights)
            c = static_cast<char>(collationWeight(static_cast<unsigned char>(c)));
          out.vouchers.push_back(std::move(v));
        }
        voucher = at->second;
        previous = key;
      }
      FixLine& line = out.lines.emplace_back();
      line.recno = r;
      line.ctaDir = std::string(table.text(rec, f.ctaDir));
      line.commission = isCommissionLine(table.text(rec, f.tipo));
      if (f.codigo >= 0) {
        line.expenseAccount = beginsWith(table.text(rec, f.codigo), "5.");
        // The text matters only on an expense account (the fix looks at it after the account).
        line.commissionText =
            line.expenseAccount && beginsWith(upper1252(table.text(rec, f.detalle)), "COMISI");
        line.monto = table.number(rec, f.monto);
      }
      out.voucherOf.push_back(voucher);
    }
  }

  // Takes `later` (the part of the table after `into`'s) into `into`: its vouchers already met
  // become those, the others follow in the order they appear, as one reading would give them.
  static void joinParts(Part& into, Part& later) {
    std::vector<const std::string*> keyOf(later.vouchers.size());
    for (const auto& [key, v] : later.known) keyOf[v] = &key;
    std::vector<std::uint32_t> renumber(later.vouchers.size());
    for (std::uint32_t v = 0; v < later.vouchers.size(); ++v) {
      auto [at, added] =
          into.known.try_emplace(*keyOf[v], static_cast<std::uint32_t>(into.vouchers.size()));
      if (added) into.vouchers.push_back(std::move(later.vouchers[v]));
      renumber[v] = at->second;
    }
    into.lines.reserve(into.lines.size() + later.lines.size());
    for (FixLine& l : later.lines) into.lines.push_back(std::move(l));
    for (const std::uint32_t v : later.voucherOf) into.voucherOf.push_back(renumber[v]);
  }

  // Reads the active lines of the given voucher types, voucher by voucher, and puts the vouchers
  // in the order "SoloCmp" (type by type in the order given, then TIPO_COMP + COMPROBA; the
  // lines of a voucher stay in record order). A table the file's view holds whole is read by
  // two threads, one half each.
  bool readLines(const std::vector<std::string>& types, bool commissionFields) {
    const std::string path =
        shell::entryPath(session.companyFolder(), store::kYearMovements).string();
    bool missing = false;
    const bool ok = shell::throughHandler(ip, [&] {
      vouchers.clear();
      lines.clear();
      store::Dbf table = store::Dbf::open(path, store::OpenOptions{true, true, 2000});
      const auto field = [&](const char* name) {
        const auto i = table.fieldIndex(name);
        if (!i) {
          missing = true;
          engine.text(area, name);  // raised as the work area raises a field it lacks
        }
        return i.value_or(-1);
      };
      Fields f;
      f.tipoComp = field("TIPO_COMP");
      f.comproba = field("COMPROBA");
      f.ctaDir = field("CTA_DIR");
      f.tipo = field("TIPO");
      if (commissionFields) {
        f.codigo = field("CODIGO");
        f.monto = field("MONTO");
        f.detalle = field("DETALLE");
      }
      if (missing) return;
      const std::uint32_t count = table.recordCount();
      Part part;
      // Room for a line of every record: what is not used is never touched.
      part.lines.reserve(count);
      part.voucherOf.reserve(count);
      const char* view = count == 0 ? nullptr : table.viewOf(1, count);
      const std::size_t length = table.recordLength();
      const auto inView = [&](std::uint32_t r) { return view + std::size_t(r - 1) * length; };
      if (view != nullptr && count >= 2 && !store::fileOpHookInstalled() &&
          std::thread::hardware_concurrency() > 1) {
        const std::uint32_t half = count / 2;
        Part second;
        second.lines.reserve(count - half);
        second.voucherOf.reserve(count - half);
        std::thread other([&] { readPart(table, inView, half + 1, count, f, types, second); });
        struct Join {
          std::thread& thread;
          ~Join() { thread.join(); }
        };
        {
          const Join join{other};
          readPart(table, inView, 1, half, f, types, part);
        }
        joinParts(part, second);
      } else if (view != nullptr) {
        readPart(table, inView, 1, count, f, types, part);
      } else {
        readPart(
            table, [&](std::uint32_t r) { return table.peek(r); }, 1, count, f, types, part);
      }
      // The lines grouped by voucher, each voucher's in record order.
      vouchers = std::move(part.vouchers);
      for (const std::uint32_t v : part.voucherOf) ++vouchers[v].end;
      std::uint32_t at = 0;
      for (Voucher& v : vouchers) {
        v.begin = at;
        at += v.end;
        v.end = v.begin;
      }
      grouped.resize(part.lines.size());
      for (std::size_t i = 0; i < part.lines.size(); ++i)
        grouped[vouchers[part.voucherOf[i]].end++] = static_cast<std::uint32_t>(i);
      lines = std::move(part.lines);
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
        voucher.push_back(&lines[grouped[i]]);
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

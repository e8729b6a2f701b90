// The record builders of the twelve formats.
#include "generation/Builders.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "consolidation/BasesSupport.h"
#include "expr/Collation.h"
#include "expr/HashSlots.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "generation/MinorAmounts.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/FieldCodec.h"

namespace exo::generation {

namespace fs = std::filesystem;
using store::Engine;

namespace {

constexpr int kRepaintEvery = 50;

std::map<std::string, PartyTotal> readTotals(Engine& engine, shell::OpenAreas& areas,
                                             const std::string& file, const char* alias) {
  std::map<std::string, PartyTotal> totals;
  const int a = areas.open(file, alias, false);
  if (a == 0) return totals;
  const bool hasAdic = engine.fieldIndex(a, "VLR_ADIC1") >= 0;
  engine.forEach(a, [&] {
    totals.emplace(
        engine.text(a, "CTA_DIR"),
        PartyTotal{engine.number(a, "MONTO"), hasAdic ? engine.number(a, "VLR_ADIC1") : 0.0,
                   std::string(trimBlanks(engine.text(a, "NAT"))), engine.number(a, "BASE")});
    return true;
  });
  return totals;
}

// The totals per third party (CTA_DIR) of a movement table, gathered in one pass over its
// records in record order: the figures a total by CTA_DIR in that key's order gives, read back
// from its table (the summed fields as their fields hold them, NAT and BASE and an unsummed
// VLR_ADIC1 of the party's first record). Format 1001 keeps the concept 5001 apart.
struct PartyTotals {
  std::map<std::string, PartyTotal> of5001;  // 1001: the records of concept 5001
  std::map<std::string, PartyTotal> others;  // the other records (every record for the rest)
  // The totals by CTA_DIR+CONC (every record), in the key's collation order: the record each
  // starts with and its sums as read, added up in record order. Nothing when a sum would not fit
  // its field: that total is then made through an index, which reports it.
  struct KeyTotal {
    std::string key;
    std::uint32_t first = 0;
    double monto = 0, adic = 0;
  };
  std::optional<std::vector<KeyTotal>> byPartyAndConcept;
};

// What a numeric field of the layout holds for a value, as a total writes it and a read gives
// it back; nothing when the value does not fit the field.
std::optional<double> asStored(const FieldInfo& f, double value) {
  if (f.type != 'N' && f.type != 'F') return std::nullopt;
  std::string text(static_cast<std::size_t>(f.width), ' ');
  if (!store::formatNumber(value, f.width, f.decimals, text.data())) return std::nullopt;
  const store::NumberValue read = store::parseNumber(text);
  if (read.state == store::NumberState::Overflow || read.state == store::NumberState::Invalid)
    return std::nullopt;
  return read.value;
}

// The totals in memory, or nothing when a sum would not fit its field or a number cannot be
// read (the totals are then made as tables, which report it). The records are read as the
// table holds them, deleted ones left out; the area has no filter of its own.
std::optional<PartyTotals> totalsByParty(Engine& engine, int area, int n, bool sumsAdic) {
  const std::vector<FieldInfo> layout = engine.fields(area);
  const int ctaDir = engine.fieldIndex(area, "CTA_DIR");
  const int conc = engine.fieldIndex(area, "CONC");
  const int monto = engine.fieldIndex(area, "MONTO");
  const int adic = engine.fieldIndex(area, "VLR_ADIC1");
  const int nat = engine.fieldIndex(area, "NAT");
  const int base = engine.fieldIndex(area, "BASE");
  if (ctaDir < 0 || conc < 0 || monto < 0 || nat < 0 || base < 0) return std::nullopt;
  if (sumsAdic && adic < 0) return std::nullopt;
  for (const int f : {ctaDir, conc, nat})
    if (layout[std::size_t(f)].type != 'C') return std::nullopt;
  if (!engine.filter(area).empty()) return std::nullopt;
  struct Running {
    PartyTotal first;  // the first record's values
    double monto = 0, adic = 0;
  };
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view k) const { return std::hash<std::string_view>{}(k); }
  };
  std::unordered_map<std::string, Running, Hash, std::equal_to<>> of5001, others;
  // The runs of CTA_DIR+CONC: each key's place in `keyed`, found by the key's hash.
  HashSlots keyPlace;
  std::vector<PartyTotals::KeyTotal> keyed;
  std::vector<Running*> partyOf;  // the third party's totals of each run (nodes do not move)
  std::string keyBytes;
  engine.setOrder(area, "");  // the record in hand reaches the table
  store::Dbf& table = engine.table(area);
  bool readable = true;
  const auto numberAt = [&](const char* record, int field) {
    // A whole number as the amounts are written (blanks, a minus, digits) is read here; any
    // other text by the table's reader.
    const store::Field& f = table.fields()[static_cast<std::size_t>(field)];
    if (f.type == 'N' && f.decimals == 0 && f.length <= 18) {
      const char* p = record + f.offset;
      const char* const end = p + f.length;
      while (p != end && *p == ' ') ++p;
      if (p == end) return 0.0;
      const bool negative = *p == '-';
      if (negative) ++p;
      std::int64_t whole = 0;
      const char* const digits = p;
      while (p != end && *p >= '0' && *p <= '9') whole = whole * 10 + (*p++ - '0');
      if (p == end && p != digits && !(negative && whole == 0))
        return negative ? -static_cast<double>(whole) : static_cast<double>(whole);
    }
    const store::NumberValue v = table.number(record, field);
    if (v.state == store::NumberState::Overflow || v.state == store::NumberState::Invalid)
      readable = false;
    return v.value;
  };
  const std::uint32_t count = table.recordCount();
  for (std::uint32_t r = 1; r <= count && readable; ++r) {
    const char* record = table.peek(r);
    if (store::Dbf::isDeleted(record)) continue;
    const double m = numberAt(record, monto);
    const double a = sumsAdic ? numberAt(record, adic) : 0.0;
    const std::string_view key = table.text(record, ctaDir);
    const std::string_view concText = table.text(record, conc);
    // The key a total by CTA_DIR+CONC reads: the two fields' bytes one after the other. Its
    // run knows its third party's, so a record asks for one key only.
    keyBytes.assign(key);
    keyBytes.append(concText);
    const std::uint64_t hash = HashSlots::hashOf(keyBytes);
    std::uint32_t place =
        keyPlace.find(hash, [&](std::uint32_t k) { return keyed[k].key == keyBytes; });
    if (place == HashSlots::kNone) {
      place = static_cast<std::uint32_t>(keyed.size());
      keyPlace.add(hash, place);
      keyed.push_back({keyBytes, r, 0.0, 0.0});
      // CONC = '5001' compares the field's first four characters.
      const bool is5001 = n == 1 && concText.starts_with("5001");
      auto& runs = is5001 ? of5001 : others;
      auto it = runs.find(key);
      if (it == runs.end()) {
        it = runs.emplace(std::string(key), Running{}).first;
        // Unsummed, VLR_ADIC1 is the first record's.
        const double firstAdic = sumsAdic ? a : adic >= 0 ? numberAt(record, adic) : 0.0;
        it->second.first = PartyTotal{
            m, firstAdic, std::string(trimBlanks(table.text(record, nat))), numberAt(record, base)};
      }
      partyOf.push_back(&it->second);
    }
    PartyTotals::KeyTotal& run = keyed[place];
    run.monto += m;
    run.adic += a;
    Running& party = *partyOf[place];
    party.monto += m;
    party.adic += a;
  }
  if (!readable) return std::nullopt;
  PartyTotals totals;
  // Every sum must fit its field as the total writes it.
  bool keyedFit = true;
  for (const PartyTotals::KeyTotal& k : keyed) {
    keyedFit = keyedFit && asStored(layout[std::size_t(monto)], k.monto).has_value() &&
               (!sumsAdic || asStored(layout[std::size_t(adic)], k.adic).has_value());
  }
  if (keyedFit) {
    // An index of the key walks its runs in collation order, each run's records in record
    // order; the collation ranks every byte apart, so distinct keys never share a place.
    std::sort(keyed.begin(), keyed.end(),
              [](const PartyTotals::KeyTotal& x, const PartyTotals::KeyTotal& y) {
                return collate(x.key, y.key) < 0;
              });
    totals.byPartyAndConcept = std::move(keyed);
  }
  for (auto* runs : {&of5001, &others}) {
    auto& into = runs == &of5001 ? totals.of5001 : totals.others;
    for (auto& [key, run] : *runs) {
      PartyTotal t = std::move(run.first);
      const auto m = asStored(layout[std::size_t(monto)], run.monto);
      if (!m) return std::nullopt;
      t.monto = *m;
      if (sumsAdic) {
        const auto a = asStored(layout[std::size_t(adic)], run.adic);
        if (!a) return std::nullopt;
        t.adic = *a;
      }
      into.emplace(key, std::move(t));
    }
  }
  return totals;
}

// Writes the totals by CTA_DIR+CONC of the movement table of `area` into the new table `file`,
// as a total of the area in that key's order writes it: the table's fields but its memos, one
// record per key with the fields of the key's first record and the summed fields added up.
void writeKeyTotals(Engine& engine, int area, const std::vector<PartyTotals::KeyTotal>& totals,
                    bool sumsAdic, const std::string& file) {
  store::Dbf& table = engine.table(area);
  std::vector<store::FieldDef> defs;
  for (const store::Field& f : table.fields()) {
    if (f.type == 'M' || f.type == 'G' || f.type == 'P') continue;
    defs.push_back({f.name, f.type, f.length, f.decimals});
  }
  store::Dbf out = store::Dbf::create(file, defs);
  // The same fields in both: each one's bytes are copied as they stand.
  struct Move {
    std::uint32_t from, to, length;
  };
  std::vector<Move> moves;
  for (const store::Field& f : out.fields()) {
    const store::Field& source = table.fields()[std::size_t(*table.fieldIndex(f.name))];
    moves.push_back({source.offset, f.offset, f.length});
  }
  const int monto = *out.fieldIndex("MONTO");
  const int adic = sumsAdic ? *out.fieldIndex("VLR_ADIC1") : -1;
  const std::vector<char> blank = out.blankRecord();
  std::vector<char> record;
  for (const PartyTotals::KeyTotal& t : totals) {
    record = blank;
    const char* source = table.peek(t.first);
    for (const Move& m : moves) std::memcpy(record.data() + m.to, source + m.from, m.length);
    out.setNumber(record.data(), monto, t.monto);
    if (adic >= 0) out.setNumber(record.data(), adic, t.adic);
    out.append(record.data());
  }
  out.close();
}

// Copies the current record of `from` into a new record of `to`, field by field by name (the
// positions found once, when the copier is made).
class RecordCopier {
 public:
  RecordCopier(Engine& engine, int from, int to) : m_engine(engine), m_from(from), m_to(to) {
    const std::vector<FieldInfo> fields = engine.fields(from);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const int target = engine.fieldIndex(to, fields[i].name);
      if (target >= 0) m_fields.push_back({static_cast<int>(i), target});
    }
    m_monto = engine.fieldIndex(to, "MONTO");
    m_form = engine.fieldIndex(to, "FORM");
  }
  void copy(double monto, std::string_view form = {}) {
    Interp& ip = m_engine.interp();
    ArenaScope arena(ip.arena());
    m_values.clear();
    for (const auto& [source, target] : m_fields) {
      (void)target;
      m_values.push_back(m_engine.getField(ip, m_from, source));
    }
    m_engine.appendBlank(m_to);
    for (std::size_t i = 0; i < m_fields.size(); ++i)
      m_engine.putField(ip, m_to, m_fields[i].second, m_values[i]);
    m_values.clear();
    if (m_monto >= 0) m_engine.putField(ip, m_to, m_monto, Value::number(monto));
    else m_engine.put(m_to, "MONTO", Value::number(monto));
    if (!form.empty()) {
      if (m_form >= 0) m_engine.putField(ip, m_to, m_form, Value::temp(form));
      else m_engine.put(m_to, "FORM", Value::text(std::string(form)));
    }
  }
  // Writes the copied record and releases its lock. The output tables are scratch files of the
  // run, read back through the same engine and erased at its end, so the record is not forced to
  // the disk (a forced write per record made the run wait on the disk once per output record).
  void release() { m_engine.unlock(m_engine.interp(), m_to); }

 private:
  Engine& m_engine;
  int m_from, m_to;
  std::vector<std::pair<int, int>> m_fields;  // (position in `from`, position in `to`)
  std::vector<Value> m_values;
  int m_monto = -1, m_form = -1;
};

// The POR_RET of the accounts of the company's chart copy.
class Chart {
 public:
  Chart(Engine& engine, shell::OpenAreas& areas, const fs::path& folder) : m_engine(engine) {
    if (!shell::findEntry(folder, store::kChartCopy)) return;
    m_area = areas.adopt(
        store::openCompanyTable(engine, folder.string(), store::kChartCopy, "MiMaestro", true));
    if (m_area == 0) return;
    bool indexed = false;
    for (const auto& o : engine.orders(m_area)) indexed = indexed || upper1252(o.tag) == "CODIGO";
    if (indexed) engine.setOrder(m_area, "Codigo");
    else m_area = 0;
  }
  // The account's retention rate, or nothing when the account is not in the chart.
  std::optional<double> retention(const std::string& account) {
    if (m_area == 0 || !m_engine.seekKey(m_area, Value::text(account))) return std::nullopt;
    return m_engine.number(m_area, "POR_RET");
  }

 private:
  Engine& m_engine;
  int m_area = 0;
};

double baseFromRetention(double monto, double rate) {
  return rate == 0 ? 0.0 : std::fabs(monto) / (rate / 100.0);
}

// The retention bases of 1002 or 1003 by NIT and concept (the first row of each pair).
std::map<std::pair<std::string, std::string>, double> readBases(Engine& engine,
                                                                shell::OpenAreas& areas,
                                                                const fs::path& file) {
  std::map<std::pair<std::string, std::string>, double> bases;
  const int a = areas.open(file.string(), "BaseRet", true, true);
  if (a == 0) return bases;
  engine.forEach(a, [&] {
    bases.emplace(std::pair{std::string(trimBlanks(engine.text(a, "NIT"))),
                            std::string(trimBlanks(engine.text(a, "CONC")))},
                  engine.number(a, "BASE_RET"));
    return true;
  });
  return bases;
}

BuildResult thresholdBuild(shell::Session& session, Engine& engine, shell::OpenAreas& areas,
                           consolidation::ScratchFiles& scratch, int n) {
  BuildResult result;
  Interp& ip = engine.interp();
  const std::string code = store::formatCode(n);
  const fs::path folder = session.companyFolder();
  const auto movements = shell::findEntry(folder, store::formatTableFile(code));
  if (!movements) return result;
  shell::WaitMessage wait(session, consolidation::kProcessing);
  shell::FailureWatch watch(ip);

  // 1007 works on a copy, so that moving the returns leaves the movement table untouched.
  std::string source = movements->string();
  if (n == 7) {
    const std::string copy = scratch.add("Tmp1007.dbf");
    if (!shell::throughHandler(ip, [&] { Engine::copyFile(source, copy); })) return result;
    if (const auto memo = shell::findEntry(folder, "TrF1007.fpt")) {
      const std::string memoCopy = scratch.add("Tmp1007.fpt");
      if (!shell::throughHandler(ip, [&] { Engine::copyFile(memo->string(), memoCopy); }))
        return result;
    }
    source = copy;
  }
  const std::string tags = scratch.add(store::kScratchIndex);
  const std::string tot1 = scratch.add("TotDat1.dbf");
  const std::string tot2 = scratch.add("TotDat2.dbf");
  const std::string tot3 = scratch.add("TotDat3.dbf");
  const std::string out = scratch.add("TotDat4.dbf");
  const std::string outIndex = scratch.add("TotDat4x.cdx");
  const std::string bucket = scratch.add("TotDat5.dbf");
  const std::string bucketIndex = scratch.add("TotDat5x.cdx");
  const std::string bucketTotals = scratch.add("TotDat6.dbf");
  scratch.add("TotDat1x.cdx");
  scratch.add("TotDat2x.cdx");

  const bool sumsAdic = n == 6 || n == 7;
  const store::FieldNames sums =
      sumsAdic ? store::FieldNames{"MONTO", "VLR_ADIC1"} : store::FieldNames{"MONTO"};
  // The totals per third party, in memory (as tables only when a sum would not fit its field).
  std::optional<PartyTotals> inMemory;
  {
    shell::OpenAreas moving(engine);
    const int m = moving.open(source, "TRAMOV", true);
    if (m == 0 || watch.failed()) return result;
    if (n == 7) {
      // Income moved to returns: debits, and negative amounts of the sale-return vouchers.
      engine.setOrder(m, "");
      engine.forEach(m, [&] {
        const double monto = engine.number(m, "MONTO");
        if (monto > 0 || (trimRight(engine.text(m, "TIPO_COMP")) == "FD" && monto < 0)) {
          engine.put(m, "VLR_ADIC1", Value::number(monto));
          engine.put(m, "MONTO", Value::number(0));
          engine.unlock(ip, m);  // the working copy is a scratch file: no forced write
        }
        return !watch.failed();
      });
    }
    if (watch.failed()) return result;
    inMemory = totalsByParty(engine, m, n, sumsAdic);
    if (watch.failed()) return result;
    if (!inMemory) {
      if (n == 1) {
        engine.buildIndex(m, tags, "CtaDir1", "CTA_DIR+CONC", "!Deleted() .AND. CONC = '5001'");
        engine.total(m, tot1, "CTA_DIR", sums);
      }
      engine.buildIndex(m, tags, "CtaDir2", "CTA_DIR",
                        n == 1 ? "!Deleted() .AND. CONC <> '5001'" : store::kNotDeleted);
      engine.total(m, tot2, "CTA_DIR", sums);
    }
    if (inMemory && inMemory->byPartyAndConcept) {
      const bool written = shell::throughHandler(
          ip, [&] { writeKeyTotals(engine, m, *inMemory->byPartyAndConcept, sumsAdic, tot3); });
      if (!written) return result;
    } else {
      engine.buildIndex(m, tags, "CtaDirConc", "CTA_DIR+CONC", store::kNotDeleted);
      engine.setOrder(m, "CtaDirConc");
      engine.total(m, tot3, "CTA_DIR+CONC", sums);
    }
    engine.copyStructure(m, out);
    engine.copyStructure(m, bucket);
    if (watch.failed()) return result;
  }

  shell::OpenAreas work(engine);
  std::map<std::string, PartyTotal> by5001;
  std::map<std::string, PartyTotal> byParty;
  if (inMemory) {
    by5001 = std::move(inMemory->of5001);
    byParty = std::move(inMemory->others);
  } else {
    if (n == 1) by5001 = readTotals(engine, work, tot1, "Tot5001");
    byParty = readTotals(engine, work, tot2, n == 1 ? "TotOtro" : "TotTercero");
  }
  if (watch.failed()) return result;

  const bool withBases = n == 2 || n == 3;
  const std::string baseConcept = n == 3 ? "1302" : "2302";
  std::map<std::pair<std::string, std::string>, double> bases;
  if (withBases) {
    const auto file = shell::findEntry(folder, store::baseTableFile(code));
    if (!file) return result;
    bases = readBases(engine, areas, *file);
  }
  std::optional<Chart> chart;
  if (withBases || n == 5 || n == 6) chart.emplace(engine, areas, folder);

  const int tracon = areas.open(out, kOutputAlias, false);
  const int bucketArea = work.open(bucket, "TraFinXX", false);
  const int all = work.open(tot3, "TodasCond", false);
  if (tracon == 0 || bucketArea == 0 || all == 0 || watch.failed()) return result;
  RecordCopier toOutput(engine, all, tracon);
  RecordCopier toBucket(engine, all, bucketArea);

  std::int64_t seen = 0;
  engine.forEach(all, [&] {
    if (++seen % kRepaintEvery == 0) session.ui().pumpEvents();
    const std::string ctaDir = engine.text(all, "CTA_DIR");
    const std::string conc(trimBlanks(engine.text(all, "CONC")));
    const std::string nat(trimBlanks(engine.text(all, "NAT")));
    const double own = engine.number(all, "MONTO");
    if ((n == 8 || n == 9) && std::round(own) == 0) return true;

    const std::map<std::string, PartyTotal>& totals = n == 1 && conc == "5001" ? by5001 : byParty;
    const auto party = totals.find(ctaDir);
    if (party == totals.end()) return true;
    double total = 0;
    // Where the record goes: 0 dropped, 1 bucket, 2 output.
    const Placement placed = placeRecord(n, conc, own, party->second, total);
    if (placed == Placement::Dropped) return true;
    const int where = placed == Placement::MinorAmounts ? 1 : 2;

    double base = 0;
    if (withBases) {
      const auto b = bases.find({std::string(trimBlanks(engine.text(all, "NIT"))), conc});
      base = b == bases.end() ? 0.0 : b->second;
      if (base == 0) {
        result.missingBases = true;
        result.withoutBase.push_back({ctaDir, conc});
      }
    }
    const double copied = reportedAmount(n, nat, own);
    const std::string form = where == 2 ? std::string() : gatheredForm(n, conc);
    RecordCopier& target = where == 1 ? toBucket : toOutput;
    target.copy(copied, form);
    const int targetArea = where == 1 ? bucketArea : tracon;
    if (chart) {
      if (const auto rate = chart->retention(engine.text(all, "CODIGO"))) {
        double adic = 0;
        if (n == 6) adic = total;
        else if (n == 5 || conc == baseConcept) adic = baseFromRetention(copied, *rate);
        else adic = base;
        engine.put(targetArea, "VLR_ADIC1", Value::number(adic));
      }
    }
    target.release();
    return !watch.failed();
  });
  if (watch.failed()) return result;

  // One minor-amounts record per concept: the first bucket record of the concept with the
  // amounts of all of them. The withholding bases and the returns add up like the amount.
  engine.buildIndex(bucketArea, bucketIndex, "Concepto", "CONC", store::kNotDeleted);
  const bool addsAdic = n == 2 || n == 3 || n == 7;
  engine.total(bucketArea, bucketTotals, "CONC",
               addsAdic ? store::FieldNames{"MONTO", "VLR_ADIC1"} : store::FieldNames{"MONTO"});
  work.closeAll();
  engine.appendFrom(tracon, bucketTotals, n == 8 || n == 9 ? "MONTO > 0" : "");
  engine.buildIndex(tracon, outIndex, "Concepto", "CONC", store::kNotDeleted);
  engine.goTop(ip, tracon);
  if (watch.failed()) return result;
  result.area = tracon;
  result.built = true;
  return result;
}

BuildResult manualBuild(shell::Session& session, Engine& engine, shell::OpenAreas& areas, int n) {
  BuildResult result;
  Interp& ip = engine.interp();
  const std::string code = store::formatCode(n);
  const fs::path folder = session.companyFolder();
  const auto table = shell::findEntry(folder, store::baseTableFile(code));
  if (!table) return result;
  shell::WaitMessage wait(session, consolidation::kProcessing);
  shell::FailureWatch watch(ip);
  const int a = areas.open(table->string(), kOutputAlias, true);
  if (a == 0 || watch.failed()) return result;
  if (n == 10 || n == 12) {
    const std::string tag = n == 10 ? "FullNomb" : "ConcContab";
    const std::string key = n == 10 ? "FULLNOMB" : "CPT+CODI_CONT";
    if (const auto index = shell::findEntry(folder, store::baseIndexFile(code))) {
      engine.addIndex(a, index->string());
      engine.setOrder(a, tag);
    } else {
      engine.buildIndex(a, shell::entryPath(folder, store::baseIndexFile(code)).string(), tag, key,
                        store::kNotDeleted);
    }
    engine.setFilter(ip, a, "VAL<>0");
  } else {
    engine.setFilter(ip, a, "MONTO<>0.OR.VLR_ADIC1<>0");
  }
  engine.goTop(ip, a);
  if (watch.failed()) return result;
  result.area = a;
  result.built = true;
  return result;
}

}  // namespace

int openDirectory(shell::Session& session, Engine& engine, shell::OpenAreas& areas) {
  const fs::path folder = session.companyFolder();
  if (!shell::findEntry(folder, store::kDirectoryCopy)) return 0;
  const int direc = areas.open(shell::entryPath(folder, store::kDirectoryCopy).string(),
                               kDirectoryAlias, true, true);
  if (direc == 0) return 0;
  if (shell::findEntry(folder, store::kDirectoryCopyIndex)) {
    engine.addIndex(direc, store::kDirectoryCopyIndex);
    engine.setOrder(direc, consolidation::directoryCodeOrder(engine, direc));
  }
  return direc;
}

BuildResult buildRecords(shell::Session& session, Engine& engine, shell::OpenAreas& areas,
                         consolidation::ScratchFiles& scratch, int formatNumber) {
  switch (formatNumber) {
    case 4:
    case 10:
    case 11:
    case 12: return manualBuild(session, engine, areas, formatNumber);
    default: return thresholdBuild(session, engine, areas, scratch, formatNumber);
  }
}

}  // namespace exo::generation

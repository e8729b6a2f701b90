// The integration of the year's movements into the format movement tables.
#include "consolidation/Integration.h"

#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "consolidation/IntegrationState.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "import/ImportRun.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"
#include "store/StoreFailure.h"

namespace exo::consolidation {

namespace fs = std::filesystem;
using import::FailureWatch;
using import::kAttention;
using import::OpenAreas;
using import::StagedFiles;
using shell::MessageKind;
using shell::Session;
using shell::UserInterface;
using store::Dbf;
using store::Engine;

namespace {

constexpr int kRepaintEvery = 20;
constexpr std::uint32_t kScanPumpEvery = 20000;
constexpr std::size_t kFilterWidth = 170;

// What an assignment takes from its concept.
struct ConceptInfo {
  bool found = false;
  double base = 0;
  std::string filter;  // the whole condition, trailing blanks removed
  std::string nature;
  ProgramPtr program;  // compiled filter; null when the filter is empty
};

// One assignment of an account to a format and concept, with the movements it selects.
struct Assignment {
  int format = 0;  // 1 to 12
  std::string conceptCode;
  const ConceptInfo* info = nullptr;
  bool inventoryPurchasesOnly = false;  // format 1001, conceptCode 5007
  std::vector<std::uint32_t> records;   // selected movements, in record order
};

// The concepts table of the program folder, keyed on FORMATO + CONCEPTO as stored; the first
// active record of a key wins, as a seek in the order "FormConc" finds it.
std::map<std::string, ConceptInfo> readConcepts(Interp& ip, const fs::path& program) {
  std::map<std::string, ConceptInfo> concepts;
  Dbf table = Dbf::open(shell::entryPath(program, store::kConceptsFile).string(),
                        store::OpenOptions{true, true, 2000});
  const auto field = [&](const char* name) {
    const auto i = table.fieldIndex(name);
    if (!i) {
      store::raise(GenCode::NoVar, std::string("Campo inexistente: ") + name, table.path(), 1003,
                   "IMPORTACONTAB");
    }
    return *i;
  };
  const int formato = field("FORMATO"), concepto = field("CONCEPTO"), base = field("BASE"),
            filtro = field("FILTRO"), tipo = field("TIPO");
  std::vector<char> rec(table.recordLength());
  for (std::uint32_t r = 1; r <= table.recordCount(); ++r) {
    table.read(r, rec.data());
    if (Dbf::isDeleted(rec.data())) continue;
    const std::string key = std::string(table.text(rec.data(), formato)) +
                            std::string(table.text(rec.data(), concepto));
    if (concepts.count(key) != 0) continue;
    ConceptInfo info;
    info.found = true;
    info.base = table.number(rec.data(), base).value;
    info.filter = std::string(trimRight(table.text(rec.data(), filtro)));
    info.nature = std::string(table.text(rec.data(), tipo));
    if (!isWhiteText(info.filter)) info.program = ip.compile(info.filter);
    concepts.emplace(key, std::move(info));
  }
  return concepts;
}

// The identification of each third party, looked up once per code in the directory copy (open
// in the order of its keys).
class Identifications {
 public:
  Identifications(Engine& engine, int area) : m_engine(engine), m_area(area) {}
  const std::string& of(std::string_view ctaDir) {
    const std::string key(ctaDir);
    auto it = m_known.find(key);
    if (it != m_known.end()) return it->second;
    std::string nit = store::kNotRegistered;
    const std::string wanted(trimRight(key));
    if (!wanted.empty() && m_engine.seekKey(m_area, Value::text(wanted)) &&
        trimRight(m_engine.text(m_area, "CLAVE")) == wanted) {
      nit = std::string(trimRight(m_engine.text(m_area, "DIREC4")));
    }
    return m_known.emplace(key, std::move(nit)).first->second;
  }

 private:
  Engine& m_engine;
  int m_area;
  std::unordered_map<std::string, std::string> m_known;
};

bool isMemoType(char t) { return t == 'M' || t == 'G' || t == 'P'; }

int requiredField(Interp& ip, const Dbf& table, const char* name) {
  const auto i = table.fieldIndex(name);
  if (i) return *i;
  Failure f;
  f.genCode = GenCode::NoVar;
  f.subsystem = "DBFCDX";
  f.subCode = 1003;
  f.description = std::string("Campo inexistente: ") + name;
  f.fileName = table.path();
  f.operation = "IMPORTACONTAB";
  ip.raise(std::move(f));
  return -1;
}

// Writes the rows of one format table from the selected movements of its assignments.
class FormatWriter {
 public:
  FormatWriter(Dbf& source, Dbf& target) : m_source(source), m_target(target) {
    m_samePrefix = true;
    const auto& sf = source.fields();
    const auto& tf = target.fields();
    for (std::size_t i = 0; i < sf.size(); ++i) {
      if (i >= tf.size() || tf[i].offset != sf[i].offset || tf[i].length != sf[i].length ||
          tf[i].type != sf[i].type) {
        m_samePrefix = false;
      }
      if (isMemoType(sf[i].type)) m_memos.push_back(static_cast<int>(i));
    }
    m_blank = target.blankRecord();
    m_in.resize(source.recordLength());
    m_out.resize(target.recordLength());
    m_form = *target.fieldIndex("FORM");
    m_conc = *target.fieldIndex("CONC");
    m_base = *target.fieldIndex("BASE");
    m_nit = *target.fieldIndex("NIT");
    m_filtro = *target.fieldIndex("FILTRO");
    m_nat = *target.fieldIndex("NAT");
    m_adic = *target.fieldIndex("VLR_ADIC1");
    m_ctaDir = *source.fieldIndex("CTA_DIR");
  }

  void write(std::uint32_t recno, const std::string& code, const Assignment& a,
             Identifications& ids) {
    m_source.read(recno, m_in.data());
    std::memcpy(m_out.data(), m_blank.data(), m_out.size());
    if (m_samePrefix) {
      std::memcpy(m_out.data(), m_in.data(), m_in.size());
    } else {
      const auto& sf = m_source.fields();
      const auto& tf = m_target.fields();
      for (std::size_t i = 0; i < sf.size() && i < tf.size(); ++i) {
        std::memcpy(m_out.data() + tf[i].offset, m_in.data() + sf[i].offset,
                    std::min(sf[i].length, tf[i].length));
      }
    }
    m_out[0] = ' ';
    // A memo is carried as its text: the pointer of the source means nothing in the new file.
    for (const int m : m_memos) {
      const std::string text = m_source.memo(m_in.data(), m);
      std::memcpy(m_out.data() + m_target.fields()[static_cast<std::size_t>(m)].offset,
                  m_blank.data() + m_target.fields()[static_cast<std::size_t>(m)].offset,
                  m_target.fields()[static_cast<std::size_t>(m)].length);
      if (!text.empty()) m_target.setMemo(m_out.data(), m, text);
    }
    m_target.setText(m_out.data(), m_form, code);
    m_target.setText(m_out.data(), m_conc, a.conceptCode);
    m_target.setText(m_out.data(), m_nit, ids.of(m_source.text(m_in.data(), m_ctaDir)));
    // BASE is written as a number also when the concept is missing: the movement's own value
    // (0 after the import), never the blank bytes of a field the import left empty.
    m_target.setNumber(m_out.data(), m_base,
                       a.info->found ? a.info->base : m_target.number(m_out.data(), m_base).value);
    if (a.info->found) {
      m_target.setText(m_out.data(), m_filtro,
                       std::string_view(a.info->filter).substr(0, kFilterWidth));
      m_target.setText(m_out.data(), m_nat, a.info->nature);
    }
    m_target.setNumber(m_out.data(), m_adic, 0);
    m_target.append(m_out.data());
  }

 private:
  Dbf& m_source;
  Dbf& m_target;
  bool m_samePrefix = false;
  std::vector<int> m_memos;
  std::vector<char> m_blank, m_in, m_out;
  int m_form = 0, m_conc = 0, m_base = 0, m_nit = 0, m_filtro = 0, m_nat = 0, m_adic = 0;
  int m_ctaDir = 0;
};

}  // namespace

IntegrationResult IMPORTACONTAB(Session& session, Engine& engine) {
  IntegrationResult result;
  Interp& ip = session.interp();
  UserInterface& ui = session.ui();
  const fs::path work = session.companyFolder();
  const fs::path ledger = session.native("\\" + session.celPath());
  auto present = [&](const fs::path& dir, std::string_view name) {
    return shell::findEntry(dir, name).has_value();
  };

  if (!present(work, store::kDirectoryCopy)) {
    ui.message(MessageKind::Alert, kAttention, import::kImportFirst);
    return result;
  }
  const import::Stopwatch clock;
  // The state of what the tables are integrated from, recorded once they are in place.
  const std::string inputs = integrationInputs(work);
  FailureWatch watch(ip);
  OpenAreas areas(engine);
  StagedFiles staged(work);
  auto stop = [&] {
    ui.meterEnd();
    if (watch.sharingConflict()) {
      ui.message(MessageKind::Stop, kAttention,
                 "El archivo " + fs::path(watch.fileName()).filename().string() +
                     " est\341 en uso exclusivo por otro programa.\r\n"
                     "Ci\351rrelo all\355 e intente de nuevo; no se cambi\363 nada.");
    }
    return result;
  };

  // The assignments, in the order of format, concept and account.
  int codes = 0;
  if (present(work, store::kAssignments)) {
    codes = areas.adopt(
        store::openCompanyTable(engine, work.string(), store::kAssignments, "CODICONTI", true));
    if (codes == 0 || watch.failed()) return stop();
    bool ordered = false;
    for (const auto& o : engine.orders(codes)) ordered = ordered || upper1252(o.tag) == "CODICONT";
    if (!ordered) {
      // The index file is missing or lacks the tag: it is built again, as at company selection.
      engine.close(ip, codes);
      codes = areas.adopt(
          engine.open(shell::entryPath(work, store::kAssignments).string(), "CODICONTI", false));
      if (codes == 0 || watch.failed()) return stop();
      store::buildCompanyIndexes(engine, codes, work.string(), store::kAssignments);
      if (watch.failed()) return stop();
    }
    engine.setOrder(codes, "CodiCont");
  }
  if (codes == 0 || engine.keyCount(ip, codes) == 0) {
    ui.message(MessageKind::Alert, kAttention, kNoAssignments);
    return result;
  }

  // The directory copy, in the order of its keys.
  const int direc =
      areas.open(shell::entryPath(work, store::kDirectoryCopy).string(), "DIRECINT", true, true);
  if (direc == 0 || watch.failed()) return stop();
  if (present(work, store::kDirectoryCopyIndex)) {
    engine.addIndex(direc, store::kDirectoryCopyIndex);
    const auto orders = engine.orders(direc);
    engine.setOrder(direc, orders.empty() ? std::string() : orders.front().tag);
  }
  if (watch.failed()) return stop();

  bool anyMonth = false;
  for (int m = 1; m <= 12 && !anyMonth; ++m) {
    anyMonth = present(ledger, store::ledgerPeriodFile(m));
  }
  if (!anyMonth) {
    ui.message(MessageKind::Alert, kAttention, import::kCheckPeriods);
    return result;
  }
  // Without the year's table the movement import has not run (or did not finish) here.
  if (!present(work, store::kYearMovements)) {
    ui.message(MessageKind::Alert, kAttention, import::kImportFirst);
    return result;
  }

  for (int s = 0; s < 3; ++s) ui.status(s, "");
  std::map<std::string, ConceptInfo> concepts;
  if (!import::throughHandler(ip, [&] { concepts = readConcepts(ip, session.folders().program); }))
    return stop();
  if (watch.failed()) return stop();
  const ConceptInfo missingConcept;

  // Every assignment, grouped by account for the scan.
  std::vector<Assignment> assignments;
  std::unordered_map<std::string, std::vector<std::size_t>> byAccount;
  engine.forEach(codes, [&] {
    const std::string format = engine.text(codes, "FORMATO");
    const auto number = store::formatNumberOf(format);
    if (!number) return true;  // not a format of the return
    Assignment a;
    a.format = *number;
    a.conceptCode = engine.text(codes, "CONCEPTO");
    const auto c = concepts.find(format + a.conceptCode);
    a.info = c == concepts.end() ? &missingConcept : &c->second;
    a.inventoryPurchasesOnly = *number == 1 && a.conceptCode == "5007";
    byAccount[std::string(trimRight(engine.text(codes, "COD_CONT")))].push_back(assignments.size());
    assignments.push_back(std::move(a));
    return !watch.failed();
  });
  if (watch.failed()) return stop();
  result.assignments = static_cast<std::int64_t>(assignments.size());

  // The year's table: read once in record order; each movement with a third party goes to the
  // assignments of its account that select it.
  const std::string yearPath = shell::entryPath(work, store::kYearMovements).string();
  std::unique_ptr<Dbf> year;
  if (!import::throughHandler(ip, [&] {
        year = std::make_unique<Dbf>(Dbf::open(yearPath, store::OpenOptions{true, true, 2000}));
      })) {
    return stop();
  }
  // The same table in a work area, where the concept filters are evaluated.
  const int yearArea = areas.open(yearPath, "TRACONINT", true, true);
  if (yearArea == 0 || watch.failed()) return stop();
  const int codigo = requiredField(ip, *year, "CODIGO");
  const int ctaDir = requiredField(ip, *year, "CTA_DIR");
  const int tipoComp = requiredField(ip, *year, "TIPO_COMP");
  if (watch.failed() || codigo < 0 || ctaDir < 0 || tipoComp < 0) return stop();
  result.movements = year->recordCount();
  ui.meterBegin("", result.assignments, true);
  ui.pumpEvents();
  {
    std::vector<char> rec(year->recordLength());
    std::string account;
    for (std::uint32_t r = 1; r <= year->recordCount(); ++r) {
      if (r % kScanPumpEvery == 0) ui.pumpEvents();
      year->read(r, rec.data());
      if (Dbf::isDeleted(rec.data())) continue;
      if (isWhiteText(year->text(rec.data(), ctaDir))) continue;
      account.assign(trimRight(year->text(rec.data(), codigo)));
      const auto found = byAccount.find(account);
      if (found == byAccount.end()) continue;
      bool positioned = false;
      for (const std::size_t i : found->second) {
        Assignment& a = assignments[i];
        if (a.inventoryPurchasesOnly &&
            !(import::beginsWith(account, "1.4.") &&
              import::beginsWith(year->text(rec.data(), tipoComp), "C"))) {
          continue;
        }
        if (a.info->program) {
          if (!positioned) {
            engine.select(yearArea);
            engine.goTo(ip, yearArea, r);
            positioned = true;
          }
          const Value v = ip.eval(*a.info->program);
          if (watch.failed()) return stop();
          if (!v.isLogical() || !v.logical()) continue;
        }
        a.records.push_back(r);
      }
    }
  }

  // The twelve tables, each built beside and indexed.
  Identifications ids(engine, direc);
  const store::TableDef& totalsDef = store::tableDef(store::kVoucherTotals1007);
  std::string staged1006, staged1007, staged1007Index, stagedTotals;
  std::int64_t meter = 0;
  for (int n = 1; n <= 12; ++n) {
    const std::string code = store::formatCode(n);
    const store::TableDef& def = store::tableDef(store::formatTableFile(code));
    ui.status(0, "Procesando Formato " + code);
    ui.pumpEvents();
    const std::string table = staged.stage(def.file);
    const std::string index = staged.stage(def.indexes.front().file, true);
    if (n == 6) staged1006 = table;
    if (!import::throughHandler(ip, [&] {
          const std::vector<store::FieldDef> fields = store::tableFields(def, work.string());
          Dbf target = Dbf::create(table, fields);
          FormatWriter writer(*year, target);
          for (const Assignment& a : assignments) {
            if (a.format != n) continue;
            for (const std::uint32_t r : a.records) writer.write(r, code, a, ids);
            result.rows[static_cast<std::size_t>(n - 1)] +=
                static_cast<std::int64_t>(a.records.size());
            if (++meter % kRepaintEvery == 0) {
              ui.meterAdvance(meter);
              ui.pumpEvents();
            }
          }
          target.close();
        })) {
      return stop();
    }
    if (watch.failed()) return stop();
    ui.meterAdvance(meter);
    staged.stageMemoOf(def.file, "TrF" + code + ".fpt");
    const int area = engine.open(table, "TRFINT", false);
    if (area == 0 || watch.failed()) return stop();
    for (const store::TagDef& tag : def.indexes.front().tags) {
      engine.buildIndex(area, index, tag.name, tag.key, tag.forCondition);
    }
    engine.close(ip, area);
    if (watch.failed()) return stop();
    if (n == 7) {
      staged1007 = table;
      staged1007Index = index;
    }
  }

  // The voucher totals of format 1007, over its rows in the order "TipoComp", with their own
  // index; then their MONTO by voucher.
  ui.status(0, "Procesando \355ndices. Por favor espere.....");
  ui.pumpEvents();
  std::unordered_map<std::string, double> voucherIncome;
  {
    const int rows1007 = engine.open(staged1007, "TRF1007", true, true);
    if (rows1007 == 0 || watch.failed()) return stop();
    engine.addIndex(rows1007, staged1007Index);
    engine.setOrder(rows1007, "TipoComp");
    stagedTotals = staged.stage(totalsDef.file);
    result.vouchers1007 = static_cast<std::int64_t>(
        engine.total(rows1007, stagedTotals, "TIPO_COMP+COMPROBA", {"MONTO", "VLR_ADIC1"}));
    engine.close(ip, rows1007);
    if (watch.failed()) return stop();
    const int totals = engine.open(stagedTotals, "TRF1007B", false);
    if (totals == 0 || watch.failed()) return stop();
    const std::string totalsIndex = staged.stage(totalsDef.indexes.front().file, true);
    for (const store::TagDef& tag : totalsDef.indexes.front().tags) {
      engine.buildIndex(totals, totalsIndex, tag.name, tag.key, tag.forCondition);
    }
    engine.forEach(totals, [&] {
      voucherIncome.emplace(engine.text(totals, "TIPO_COMP") + engine.text(totals, "COMPROBA"),
                            engine.number(totals, "MONTO"));
      return !watch.failed();
    });
    engine.close(ip, totals);
    if (watch.failed()) return stop();
  }

  // Each 1006 row carries the income its voucher booked to format 1007, sign reversed.
  if (!import::throughHandler(ip, [&] {
        Dbf rows = Dbf::open(staged1006, store::OpenOptions{false, false, 2000});
        const int tc = *rows.fieldIndex("TIPO_COMP"), cp = *rows.fieldIndex("COMPROBA"),
                  adic = *rows.fieldIndex("VLR_ADIC1");
        // The meter goes over the 1006 rows when there are any; else it stays full.
        if (rows.recordCount() > 0) ui.meterBegin("", rows.recordCount(), true);
        std::vector<char> rec(rows.recordLength());
        for (std::uint32_t r = 1; r <= rows.recordCount(); ++r) {
          rows.read(r, rec.data());
          if (!Dbf::isDeleted(rec.data())) {
            const auto it = voucherIncome.find(std::string(rows.text(rec.data(), tc)) +
                                               std::string(rows.text(rec.data(), cp)));
            if (it != voucherIncome.end()) {
              rows.setNumber(rec.data(), adic, it->second * -1);
              rows.write(r, rec.data());
              ++result.rows1006WithIncome;
            }
          }
          if (r % kRepaintEvery == 0) {
            ui.meterAdvance(r);
            ui.pumpEvents();
          }
        }
        if (rows.recordCount() > 0) ui.meterAdvance(rows.recordCount());
        rows.close();
      })) {
    return stop();
  }
  if (watch.failed()) return stop();

  year.reset();
  areas.closeAll();
  if (!import::throughHandler(ip, [&] { staged.commit(); })) return stop();
  writeIntegrationStamp(work, inputs);

  result.seconds = clock.seconds();
  ui.status(0, "Procesados  " + import::withThousands(result.movements) + "  registros");
  ui.status(1, import::kFinished);
  ui.status(2, import::timeLine(result.seconds));
  ui.meterEnd();
  result.done = true;
  return result;
}

}  // namespace exo::consolidation

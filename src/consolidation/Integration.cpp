// The integration of the year's movements into the format movement tables.
#include "consolidation/Integration.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "consolidation/IntegrationState.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "import/Identifications.h"
#include "import/ImportRun.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/FileFaults.h"
#include "store/RefTables.h"
#include "store/StoreFailure.h"

namespace exo::consolidation {

namespace fs = std::filesystem;
using import::Identifications;
using import::kAttention;
using shell::FailureWatch;
using shell::MessageKind;
using shell::OpenAreas;
using shell::Session;
using shell::StagedFiles;
using shell::UserInterface;
using store::Dbf;
using store::Engine;

namespace {

constexpr int kRepaintEvery = 20;
// The 1006 rows are changed this many at a time.
constexpr std::uint32_t kIncomeBlock = 4096;
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

  // With `resolvedAhead` every third party of the rows has been looked up already, and the
  // identifications are only read (the writer may be on a thread of its own).
  void write(std::uint32_t recno, const std::string& code, const Assignment& a,
             Identifications& ids, bool resolvedAhead) {
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
    // The fields the assignment gives every row of it, as worked out for its first row.
    if (&a != m_stamped || code != m_stampCode) stamp(code, a);
    for (const Span& s : m_spans)
      std::memcpy(m_out.data() + s.offset, m_stamp.data() + s.offset, s.length);
    const std::string_view party = m_source.text(m_in.data(), m_ctaDir);
    const std::string* nit = ids.find(party);
    if (nit == nullptr) {
      if (resolvedAhead)
        store::raise(GenCode::Unsupported, "Tercero sin identificaci\363n: " + std::string(party),
                     m_source.path());
      nit = &ids.of(party);
    }
    m_target.setText(m_out.data(), m_nit, *nit);
    // BASE is written as a number also when the concept is missing: the movement's own value
    // (0 after the import), never the blank bytes of a field the import left empty.
    if (!a.info->found)
      m_target.setNumber(m_out.data(), m_base, m_target.number(m_out.data(), m_base).value);
    m_target.append(m_out.data());
  }

 private:
  struct Span {
    std::size_t offset, length;
  };

  // The bytes of FORM, CONC, VLR_ADIC1 and, when the concept exists, BASE, FILTRO and NAT for
  // the rows of assignment `a`.
  void stamp(const std::string& code, const Assignment& a) {
    m_stamp = m_blank;
    m_spans.clear();
    const auto put = [&](int field) {
      const store::Field& f = m_target.fields()[static_cast<std::size_t>(field)];
      m_spans.push_back({f.offset, f.length});
    };
    m_target.setText(m_stamp.data(), m_form, code);
    put(m_form);
    m_target.setText(m_stamp.data(), m_conc, a.conceptCode);
    put(m_conc);
    if (a.info->found) {
      m_target.setNumber(m_stamp.data(), m_base, a.info->base);
      put(m_base);
      m_target.setText(m_stamp.data(), m_filtro,
                       std::string_view(a.info->filter).substr(0, kFilterWidth));
      put(m_filtro);
      m_target.setText(m_stamp.data(), m_nat, a.info->nature);
      put(m_nat);
    }
    m_target.setNumber(m_stamp.data(), m_adic, 0);
    put(m_adic);
    m_stamped = &a;
    m_stampCode = code;
  }

  Dbf& m_source;
  Dbf& m_target;
  const Assignment* m_stamped = nullptr;
  std::string m_stampCode;
  std::vector<char> m_stamp;
  std::vector<Span> m_spans;
  bool m_samePrefix = false;
  std::vector<int> m_memos;
  std::vector<char> m_blank, m_in, m_out;
  int m_form = 0, m_conc = 0, m_base = 0, m_nit = 0, m_filtro = 0, m_nat = 0, m_adic = 0;
  int m_ctaDir = 0;
};

// One run of the integration, phase by phase. A phase returns Go to go on, Stop when a failure
// ended the run (the meter is closed and a sharing conflict explained), Quit when it has told
// the user why there is nothing to do.
class IntegrationRun {
 public:
  enum class Outcome { Go, Stop, Quit };

  IntegrationRun(Session& session, Engine& engine)
      : m_session(session),
        m_engine(engine),
        m_ip(session.interp()),
        m_ui(session.ui()),
        m_work(session.companyFolder()),
        m_ledger(session.native("\\" + session.celPath())),
        m_watch(m_ip),
        m_areas(engine),
        m_staged(m_work) {}

  IntegrationResult run();

 private:
  bool present(const fs::path& dir, std::string_view name) const {
    return shell::findEntry(dir, name).has_value();
  }
  Outcome failed() const { return m_watch.failed() ? Outcome::Stop : Outcome::Go; }
  Outcome openAssignments();
  Outcome openDirectory();
  Outcome checkLedger();
  Outcome readAssignments();
  Outcome selectMovements();
  Outcome writeFormatTables();
  void writeRows(int n, const std::string& table, const std::vector<store::FieldDef>& fields,
                 bool resolvedAhead);
  Outcome buildVoucherTotals();
  Outcome totalVouchers();
  Outcome carryIncomeTo1006();

  Session& m_session;
  Engine& m_engine;
  Interp& m_ip;
  UserInterface& m_ui;
  const fs::path m_work;
  const fs::path m_ledger;
  const shell::Stopwatch m_clock;
  FailureWatch m_watch;
  OpenAreas m_areas;
  StagedFiles m_staged;
  IntegrationResult m_result;

  int m_codes = 0;  // the assignments, in the order of format, concept and account
  int m_direc = 0;  // the directory copy, in the order of its keys
  std::map<std::string, ConceptInfo> m_concepts;
  const ConceptInfo m_missingConcept{};
  std::vector<Assignment> m_assignments;
  std::unordered_map<std::string, std::vector<std::size_t>> m_byAccount;
  std::unique_ptr<Dbf> m_year;
  // The identification of every third party of the selected movements, noted as they are
  // selected and looked up after the scan.
  std::unique_ptr<Identifications> m_ids;
  std::string m_staged1006, m_staged1007, m_staged1007Index;
  std::unordered_map<std::string, double> m_voucherIncome;
  bool m_voucherTotalsDone = false;
};

IntegrationRun::Outcome IntegrationRun::openAssignments() {
  if (present(m_work, store::kAssignments)) {
    m_codes = m_areas.adopt(
        store::openCompanyTable(m_engine, m_work.string(), store::kAssignments, "CODICONTI", true));
    if (m_codes == 0 || m_watch.failed()) return Outcome::Stop;
    bool ordered = false;
    for (const auto& o : m_engine.orders(m_codes))
      ordered = ordered || upper1252(o.tag) == "CODICONT";
    if (!ordered) {
      // The index file is missing or lacks the tag: it is built again, as at company selection.
      m_engine.close(m_ip, m_codes);
      m_codes = m_areas.adopt(m_engine.open(shell::entryPath(m_work, store::kAssignments).string(),
                                            "CODICONTI", false));
      if (m_codes == 0 || m_watch.failed()) return Outcome::Stop;
      store::buildCompanyIndexes(m_engine, m_codes, m_work.string(), store::kAssignments);
      if (m_watch.failed()) return Outcome::Stop;
    }
    m_engine.setOrder(m_codes, "CodiCont");
  }
  if (m_codes == 0 || m_engine.keyCount(m_ip, m_codes) == 0) {
    m_ui.message(MessageKind::Alert, kAttention, kNoAssignments);
    return Outcome::Quit;
  }
  return Outcome::Go;
}

IntegrationRun::Outcome IntegrationRun::openDirectory() {
  m_direc = m_areas.open(shell::entryPath(m_work, store::kDirectoryCopy).string(), "DIRECINT", true,
                         true);
  if (m_direc == 0 || m_watch.failed()) return Outcome::Stop;
  if (present(m_work, store::kDirectoryCopyIndex)) {
    m_engine.addIndex(m_direc, store::kDirectoryCopyIndex);
    const auto orders = m_engine.orders(m_direc);
    m_engine.setOrder(m_direc, orders.empty() ? std::string() : orders.front().tag);
  }
  return failed();
}

IntegrationRun::Outcome IntegrationRun::checkLedger() {
  bool anyMonth = false;
  for (int m = 1; m <= 12 && !anyMonth; ++m) {
    anyMonth = present(m_ledger, store::ledgerPeriodFile(m));
  }
  if (!anyMonth) {
    m_ui.message(MessageKind::Alert, kAttention, import::kCheckPeriods);
    return Outcome::Quit;
  }
  // Without the year's table the movement import has not run (or did not finish) here.
  if (!present(m_work, store::kYearMovements)) {
    m_ui.message(MessageKind::Alert, kAttention, import::kImportFirst);
    return Outcome::Quit;
  }
  return Outcome::Go;
}

// The concepts, and every assignment grouped by account for the scan.
IntegrationRun::Outcome IntegrationRun::readAssignments() {
  for (int s = 0; s < 3; ++s) m_ui.status(s, "");
  if (!shell::throughHandler(m_ip,
                             [&] { m_concepts = readConcepts(m_ip, m_session.folders().program); }))
    return Outcome::Stop;
  if (m_watch.failed()) return Outcome::Stop;
  m_engine.forEach(m_codes, [&] {
    const std::string format = m_engine.text(m_codes, "FORMATO");
    const auto number = store::formatNumberOf(format);
    if (!number) return true;  // not a format of the return
    Assignment a;
    a.format = *number;
    a.conceptCode = m_engine.text(m_codes, "CONCEPTO");
    const auto c = m_concepts.find(format + a.conceptCode);
    a.info = c == m_concepts.end() ? &m_missingConcept : &c->second;
    a.inventoryPurchasesOnly = *number == 1 && a.conceptCode == "5007";
    m_byAccount[std::string(trimRight(m_engine.text(m_codes, "COD_CONT")))].push_back(
        m_assignments.size());
    m_assignments.push_back(std::move(a));
    return !m_watch.failed();
  });
  if (m_watch.failed()) return Outcome::Stop;
  m_result.assignments = static_cast<std::int64_t>(m_assignments.size());
  return Outcome::Go;
}

// The year's table: read once in record order; each movement with a third party goes to the
// assignments of its account that select it.
IntegrationRun::Outcome IntegrationRun::selectMovements() {
  const std::string yearPath = shell::entryPath(m_work, store::kYearMovements).string();
  if (!shell::throughHandler(m_ip, [&] {
        m_year = std::make_unique<Dbf>(Dbf::open(yearPath, store::OpenOptions{true, true, 2000}));
      })) {
    return Outcome::Stop;
  }
  Dbf& year = *m_year;
  // The same table in a work area, where the concept filters are evaluated.
  const int yearArea = m_areas.open(yearPath, "TRACONINT", true, true);
  if (yearArea == 0 || m_watch.failed()) return Outcome::Stop;
  const int codigo = requiredField(m_ip, year, "CODIGO");
  const int ctaDir = requiredField(m_ip, year, "CTA_DIR");
  const int tipoComp = requiredField(m_ip, year, "TIPO_COMP");
  if (m_watch.failed() || codigo < 0 || ctaDir < 0 || tipoComp < 0) return Outcome::Stop;
  m_result.movements = year.recordCount();
  m_ui.meterBegin("", m_result.assignments, true);
  m_ui.pumpEvents();
  m_ids = std::make_unique<Identifications>(m_engine, m_direc);
  std::string account;
  for (std::uint32_t r = 1; r <= year.recordCount(); ++r) {
    if (r % kScanPumpEvery == 0) m_ui.pumpEvents();
    // The record where the table holds it, without a copy (nothing else reads this table).
    const char* rec = year.peek(r);
    if (Dbf::isDeleted(rec)) continue;
    if (isWhiteText(year.text(rec, ctaDir))) continue;
    account.assign(trimRight(year.text(rec, codigo)));
    const auto found = m_byAccount.find(account);
    if (found == m_byAccount.end()) continue;
    bool positioned = false, noted = false;
    for (const std::size_t i : found->second) {
      Assignment& a = m_assignments[i];
      if (a.inventoryPurchasesOnly && !(shell::beginsWith(account, "1.4.") &&
                                        shell::beginsWith(year.text(rec, tipoComp), "C"))) {
        continue;
      }
      if (a.info->program) {
        if (!positioned) {
          m_engine.select(yearArea);
          m_engine.goTo(m_ip, yearArea, r);
          positioned = true;
        }
        const Value v = m_ip.eval(*a.info->program);
        if (m_watch.failed()) return Outcome::Stop;
        if (!v.isLogical() || !v.logical()) continue;
      }
      a.records.push_back(r);
      if (!noted) {
        m_ids->note(year.text(rec, ctaDir));
        noted = true;
      }
    }
  }
  // The identifications are looked up once the filters are done with the tables.
  if (!shell::throughHandler(m_ip, [&] { m_ids->lookUpNoted(); }) || m_watch.failed())
    return Outcome::Stop;
  return Outcome::Go;
}

// The rows of format `n` written into the new table `table` (run on the writer thread when there
// is one: it touches the year's table, its own new table and the identifications looked up
// already, nothing else).
void IntegrationRun::writeRows(int n, const std::string& table,
                               const std::vector<store::FieldDef>& fields, bool resolvedAhead) {
  const std::string code = store::formatCode(n);
  Dbf target = Dbf::create(table, fields);
  FormatWriter writer(*m_year, target);
  for (const Assignment& a : m_assignments) {
    if (a.format != n) continue;
    for (const std::uint32_t r : a.records) writer.write(r, code, a, *m_ids, resolvedAhead);
  }
  target.close();
}

// The twelve tables, each built beside and indexed. The rows of the tables are written on a
// thread of their own, table after table, while this one builds the tags of the tables written
// so far (the rows are most of the work, and the tags only need their table complete). With a
// hook on the file operations (the tests of stops and failures) the rows are written here, in
// turn with the tags, so that the operations come in a fixed order.
IntegrationRun::Outcome IntegrationRun::writeFormatTables() {
  struct Planned {
    std::string table, index;
    std::vector<store::FieldDef> fields;
  };
  std::vector<Planned> plan(12);
  if (!shell::throughHandler(m_ip, [&] {
        for (int n = 1; n <= 12; ++n) {
          const store::TableDef& def =
              store::tableDef(store::formatTableFile(store::formatCode(n)));
          Planned& p = plan[static_cast<std::size_t>(n - 1)];
          p.table = m_staged.stage(def.file);
          p.index = m_staged.stage(def.indexes.front().file, true);
          p.fields = store::tableFields(def, m_work.string());
        }
      })) {
    return Outcome::Stop;
  }
  if (m_watch.failed()) return Outcome::Stop;
  m_staged1006 = plan[5].table;
  m_staged1007 = plan[6].table;
  m_staged1007Index = plan[6].index;

  // The writer thread and what it tells: the tables done so far, and the failure that stopped it.
  bool threaded = !store::fileOpHookInstalled();
  std::mutex mutex;
  std::condition_variable progress;
  int written = 0;
  std::exception_ptr failure;
  std::atomic<bool> cancelled{false};
  std::thread writer;
  if (threaded) {
    writer = std::thread([&] {
      for (int n = 1; n <= 12 && !cancelled.load(); ++n) {
        std::exception_ptr error;
        try {
          const Planned& p = plan[static_cast<std::size_t>(n - 1)];
          writeRows(n, p.table, p.fields, true);
        } catch (...) {
          error = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        written = n;
        failure = error;
        progress.notify_one();
        if (error) return;
      }
    });
  }
  // On every way out the writer stops after its table and is waited for.
  struct Join {
    std::thread& thread;
    std::atomic<bool>& cancelled;
    ~Join() {
      cancelled = true;
      if (thread.joinable()) thread.join();
    }
  } join{writer, cancelled};

  std::int64_t meter = 0;
  for (int n = 1; n <= 12; ++n) {
    const std::string code = store::formatCode(n);
    const store::TableDef& def = store::tableDef(store::formatTableFile(code));
    const Planned& p = plan[static_cast<std::size_t>(n - 1)];
    m_ui.status(0, "Procesando Formato " + code);
    m_ui.pumpEvents();
    if (threaded) {
      std::exception_ptr error;
      {
        std::unique_lock<std::mutex> lock(mutex);
        while (written < n) {
          // The window is repainted while the table is being written.
          if (!progress.wait_for(lock, std::chrono::milliseconds(50),
                                 [&] { return written >= n; })) {
            lock.unlock();
            m_ui.pumpEvents();
            lock.lock();
          }
        }
        if (written == n) error = failure;
      }
      if (error) {
        // The writer has stopped: its failure goes to the handler, and a retry, like the
        // tables after this one, is written here.
        threaded = false;
        if (!shell::throughHandler(m_ip, [&] {
              if (error) {
                const std::exception_ptr first = error;
                error = nullptr;
                std::rethrow_exception(first);
              }
              writeRows(n, p.table, p.fields, false);
            })) {
          return Outcome::Stop;
        }
      }
    } else if (!shell::throughHandler(m_ip, [&] { writeRows(n, p.table, p.fields, false); })) {
      return Outcome::Stop;
    }
    if (m_watch.failed()) return Outcome::Stop;
    for (const Assignment& a : m_assignments) {
      if (a.format != n) continue;
      m_result.rows[static_cast<std::size_t>(n - 1)] += static_cast<std::int64_t>(a.records.size());
      ++meter;
    }
    m_ui.meterAdvance(meter);
    m_ui.pumpEvents();
    m_staged.stageMemoOf(def.file, "TrF" + code + ".fpt");
    const int area = m_engine.open(p.table, "TRFINT", false);
    if (area == 0 || m_watch.failed()) return Outcome::Stop;
    for (const store::TagDef& tag : def.indexes.front().tags) {
      m_engine.buildIndex(area, p.index, tag.name, tag.key, tag.forCondition);
    }
    m_engine.close(m_ip, area);
    if (m_watch.failed()) return Outcome::Stop;
    // The voucher totals of 1007 need only its table and index: while the writer goes on with
    // the tables after it, they are made here.
    if (n == 7 && threaded && totalVouchers() == Outcome::Stop) return Outcome::Stop;
  }
  return Outcome::Go;
}

// The voucher totals of format 1007 (made already when the rows were written on a thread of
// their own).
IntegrationRun::Outcome IntegrationRun::buildVoucherTotals() {
  m_ui.status(0, "Procesando \355ndices. Por favor espere.....");
  m_ui.pumpEvents();
  return m_voucherTotalsDone ? failed() : totalVouchers();
}

// The voucher totals of format 1007, over its rows in the order "TipoComp", with their own
// index; then their MONTO by voucher.
IntegrationRun::Outcome IntegrationRun::totalVouchers() {
  m_voucherTotalsDone = true;
  const store::TableDef& totalsDef = store::tableDef(store::kVoucherTotals1007);
  const int rows1007 = m_engine.open(m_staged1007, "TRF1007", true, true);
  if (rows1007 == 0 || m_watch.failed()) return Outcome::Stop;
  m_engine.addIndex(rows1007, m_staged1007Index);
  m_engine.setOrder(rows1007, "TipoComp");
  const std::string stagedTotals = m_staged.stage(totalsDef.file);
  m_result.vouchers1007 = static_cast<std::int64_t>(
      m_engine.total(rows1007, stagedTotals, "TIPO_COMP+COMPROBA", {"MONTO", "VLR_ADIC1"}));
  m_engine.close(m_ip, rows1007);
  if (m_watch.failed()) return Outcome::Stop;
  const int totals = m_engine.open(stagedTotals, "TRF1007B", false);
  if (totals == 0 || m_watch.failed()) return Outcome::Stop;
  const std::string totalsIndex = m_staged.stage(totalsDef.indexes.front().file, true);
  for (const store::TagDef& tag : totalsDef.indexes.front().tags) {
    m_engine.buildIndex(totals, totalsIndex, tag.name, tag.key, tag.forCondition);
  }
  m_engine.forEach(totals, [&] {
    m_voucherIncome.emplace(m_engine.text(totals, "TIPO_COMP") + m_engine.text(totals, "COMPROBA"),
                            m_engine.number(totals, "MONTO"));
    return !m_watch.failed();
  });
  m_engine.close(m_ip, totals);
  return failed();
}

// Each 1006 row carries the income its voucher booked to format 1007, sign reversed.
IntegrationRun::Outcome IntegrationRun::carryIncomeTo1006() {
  if (!shell::throughHandler(m_ip, [&] {
        Dbf rows = Dbf::open(m_staged1006, store::OpenOptions{false, false, 2000});
        const int tc = *rows.fieldIndex("TIPO_COMP"), cp = *rows.fieldIndex("COMPROBA"),
                  adic = *rows.fieldIndex("VLR_ADIC1");
        // The meter goes over the 1006 rows when there are any; else it stays full.
        if (rows.recordCount() > 0) m_ui.meterBegin("", rows.recordCount(), true);
        // The rows go block by block: each block's changed stretch is written in one piece.
        const std::size_t length = rows.recordLength();
        std::vector<char> block(kIncomeBlock * length);
        const std::uint32_t count = rows.recordCount();
        std::string voucher;
        for (std::uint32_t first = 1; first <= count; first += kIncomeBlock) {
          const std::uint32_t n = std::min<std::uint32_t>(kIncomeBlock, count - first + 1);
          std::uint32_t changedFrom = n, changedTo = 0;
          for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t r = first + i;
            char* rec = block.data() + std::size_t{i} * length;
            rows.read(r, rec);
            if (!Dbf::isDeleted(rec)) {
              voucher.assign(rows.text(rec, tc)).append(rows.text(rec, cp));
              const auto it = m_voucherIncome.find(voucher);
              if (it != m_voucherIncome.end()) {
                rows.setNumber(rec, adic, it->second * -1);
                changedFrom = std::min(changedFrom, i);
                changedTo = i;
                ++m_result.rows1006WithIncome;
              }
            }
            if (r % kRepaintEvery == 0) {
              m_ui.meterAdvance(r);
              m_ui.pumpEvents();
            }
          }
          if (changedFrom <= changedTo) {
            rows.writeRun(first + changedFrom, changedTo - changedFrom + 1,
                          block.data() + std::size_t{changedFrom} * length);
          }
        }
        if (rows.recordCount() > 0) m_ui.meterAdvance(rows.recordCount());
        rows.close();
      })) {
    return Outcome::Stop;
  }
  return failed();
}

IntegrationResult IntegrationRun::run() {
  // The state of what the tables are integrated from, recorded once they are in place.
  const std::string inputs = integrationInputs(m_work);
  const auto stop = [&] {
    m_ui.meterEnd();
    if (m_watch.sharingConflict()) {
      m_ui.message(MessageKind::Stop, kAttention,
                   "El archivo " + fs::path(m_watch.fileName()).filename().string() +
                       " est\341 en uso exclusivo por otro programa.\r\n"
                       "Ci\351rrelo all\355 e intente de nuevo; no se cambi\363 nada.");
    }
    return m_result;
  };
  for (Outcome (IntegrationRun::*phase)() :
       {&IntegrationRun::openAssignments, &IntegrationRun::openDirectory,
        &IntegrationRun::checkLedger, &IntegrationRun::readAssignments,
        &IntegrationRun::selectMovements, &IntegrationRun::writeFormatTables,
        &IntegrationRun::buildVoucherTotals, &IntegrationRun::carryIncomeTo1006}) {
    const Outcome o = (this->*phase)();
    if (o == Outcome::Stop) return stop();
    if (o == Outcome::Quit) return m_result;
  }
  // Every new table and index is in place together, or none of them.
  m_year.reset();
  m_areas.closeAll();
  if (!shell::throughHandler(m_ip, [&] { m_staged.commit(); })) return stop();
  writeIntegrationStamp(m_work, inputs);

  m_result.seconds = m_clock.seconds();
  m_ui.status(0, "Procesados  " + shell::withThousands(m_result.movements) + "  registros");
  m_ui.status(1, import::kFinished);
  m_ui.status(2, shell::timeLine(m_result.seconds));
  m_ui.meterEnd();
  m_result.done = true;
  return m_result;
}

}  // namespace

IntegrationResult IMPORTACONTAB(Session& session, Engine& engine) {
  if (!shell::findEntry(session.companyFolder(), store::kDirectoryCopy)) {
    session.ui().message(MessageKind::Alert, kAttention, import::kImportFirst);
    return {};
  }
  return IntegrationRun(session, engine).run();
}

}  // namespace exo::consolidation

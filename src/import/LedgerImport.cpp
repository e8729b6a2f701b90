// The chart import, the movement import and the maintenance of the assignment table and the
// chart copy.
#include "import/LedgerImport.h"

#include <array>
#include <map>
#include <system_error>

#include "expr/Text.h"
#include "import/ImportRun.h"
#include "import/ThirdPartyCheck.h"
#include "shell/AssignmentTable.h"
#include "shell/Company.h"
#include "shell/MemFile.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"

namespace exo::import {

namespace fs = std::filesystem;
using shell::MessageKind;
using shell::Session;
using shell::UserInterface;
using store::Dbf;
using store::Engine;

namespace {

const std::array<const char*, 12> kMonthNames = {"Enero",      "Febrero", "Marzo",     "Abril",
                                                 "Mayo",       "Junio",   "Julio",     "Agosto",
                                                 "Septiembre", "Octubre", "Noviembre", "Diciembre"};

// The ledger's company folder: the company path on the root of the drive.
fs::path ledgerFolder(const Session& session) { return session.native("\\" + session.celPath()); }

// Tells the user why a run stopped when the error handler settled the failure without a word
// (another program holds a file exclusively).
void explainStop(const FailureWatch& watch, UserInterface& ui) {
  if (!watch.sharingConflict()) return;
  const std::string name = fs::path(watch.fileName()).filename().string();
  ui.message(MessageKind::Stop, kAttention,
             "El archivo " + name +
                 " est\341 en uso exclusivo por otro programa.\r\n"
                 "Ci\351rrelo all\355 e intente de nuevo; no se cambi\363 nada.");
}

std::string describeField(const store::Field& f) {
  std::string s = std::string(1, f.type) + "(" + std::to_string(f.length);
  if (f.decimals != 0) s += "," + std::to_string(f.decimals);
  return s + ")";
}

bool isNumericType(char t) { return t == 'N' || t == 'F' || t == 'I' || t == 'B' || t == 'Y'; }
bool isMemoType(char t) { return t == 'M' || t == 'G' || t == 'P'; }

// Whether the append-from carries a value of a source field of type `from` into a target field
// of type `to` (the rules of the engine's field copy).
bool carries(char from, char to) {
  if (isNumericType(to)) return isNumericType(from);
  if (to == 'D' || to == 'L') return from == to;
  if (to == 'M') return isMemoType(from);
  return from == to || (from == 'C' && to != 'G' && to != 'P');
}

// What of `source` (a period file) cannot be carried into the year's table, whose fields taken
// from the first month are `model`: one text per field.
std::vector<std::string> compareStructure(const std::string& fileName,
                                          const std::vector<store::Field>& model,
                                          const Dbf& source) {
  std::vector<std::string> out;
  for (const store::Field& m : model) {
    const auto i = source.fieldIndex(m.name);
    if (!i) {
      out.push_back(fileName + ": " + m.name + " no existe (queda en blanco)");
      continue;
    }
    const store::Field& s = source.fields()[static_cast<std::size_t>(*i)];
    if (!carries(s.type, m.type)) {
      out.push_back(fileName + ": " + m.name + " es " + describeField(s) + " y no " +
                    describeField(m) + " (queda en blanco)");
    } else if (m.type == 'C' && s.type == 'C' && s.length > m.length) {
      out.push_back(fileName + ": " + m.name + " es " + describeField(s) + " y se recorta a " +
                    describeField(m));
    }
  }
  for (const store::Field& s : source.fields()) {
    bool known = false;
    for (const store::Field& m : model) known = known || upper1252(m.name) == upper1252(s.name);
    if (!known) out.push_back(fileName + ": " + s.name + " no existe en la tabla del a\361o");
  }
  return out;
}

// The test of one period's lines on the record bytes: which lines are counted and which are
// taken into the year's table.
// Lines of the year's periods that are not closing entries and carry no third party fall to
// the totals per account instead.
struct PeriodRule {
  int period = 0;
  int ctaDir = -1, monto = -1, comproba = -1, codigo = -1;

  bool counted(const Dbf& t, const char* rec) const {
    if (t.number(rec, monto).value == 0.0) return false;
    if (period == 0) return t.text(rec, comproba).find("INICIO") != std::string_view::npos;
    return true;
  }
  bool closing(const Dbf& t, const char* rec) const {
    return period == 12 && beginsWith(t.text(rec, comproba), "CIERRE  ");
  }
  bool withParty(const Dbf& t, const char* rec) const { return !isEmptyText(t.text(rec, ctaDir)); }
};

// The year's lines without a third party of one account.
struct LinesWithoutParty {
  std::int64_t lines = 0;
  double debits = 0, credits = 0;
};
using WithoutPartyByAccount = std::map<std::string, LinesWithoutParty>;

// Writes the totals per account of the lines without a third party into `file` (staged).
bool writeLinesWithoutParty(Engine& engine, OpenAreas& areas, const std::string& file,
                            const std::string& index, const WithoutPartyByAccount& accounts) {
  const store::TableDef& def = store::tableDef(store::kLinesWithoutParty);
  engine.createTable(file, def.fields);
  const int area = areas.open(file, "SINTER99", false);
  if (area == 0) return false;
  for (const auto& [code, a] : accounts) {
    engine.appendBlank(area);
    engine.put(area, "CODIGO", Value::text(code));
    engine.put(area, "LINEAS", Value::number(static_cast<double>(a.lines)));
    engine.put(area, "DEBITOS", Value::number(a.debits, 2));
    engine.put(area, "CREDITOS", Value::number(a.credits, 2));
    engine.put(area, "MONTO", Value::number(a.debits + a.credits, 2));
  }
  for (const store::IndexDef& bag : def.indexes)
    for (const store::TagDef& tag : bag.tags)
      engine.buildIndex(area, index, tag.name, tag.key, tag.forCondition);
  areas.closeAll();
  return true;
}

// The failure of a period file that lacks a field the rules read.
void missingField(Interp& ip, const std::string& path, const char* field) {
  Failure f;
  f.genCode = GenCode::NoVar;
  f.subsystem = "DBFCDX";
  f.subCode = 1003;
  f.description = "Campo inexistente: " + std::string(field);
  f.fileName = path;
  f.operation = "IMPORTATRACON";
  f.canDefault = true;
  ip.raise(std::move(f));
}

// The months missing inside the range, put to the user ("No" first): true to import the
// others.
bool importWithoutMissingMonths(UserInterface& ui, const MovementImportResult& result) {
  std::string months, files;
  for (std::size_t i = 0; i < result.missingMonths.size(); ++i) {
    const int m = result.missingMonths[i];
    const char* separator = i == 0 ? "" : i + 1 == result.missingMonths.size() ? " y " : ", ";
    months += separator + std::string(kMonthNames[static_cast<std::size_t>(m - 1)]);
    files += (i == 0 ? "" : ", ") + store::ledgerPeriodFile(m);
  }
  const bool one = result.missingMonths.size() == 1;
  const std::string text =
      std::string(one ? "Falta el mes " : "Faltan los meses ") + months + " (" + files +
      ") entre " + kMonthNames[static_cast<std::size_t>(result.firstMonth - 1)] + " y " +
      kMonthNames[static_cast<std::size_t>(result.lastMonth - 1)] +
      " en su programa Norvasta.\r\nSus movimientos no quedar\341n en la declaraci\363n.\r\n\r\n"
      "\277Desea importar los dem\341s meses de todos modos?";
  return ui.ask(kAttention, text, {"   &No   ", "   &Si   "}, 0) == 1;
}

// Copies a ledger file to a staged name, through the error handler.
bool copyLedgerFile(Interp& ip, const fs::path& ledger, const char* name, const std::string& to) {
  return throughHandler(ip, [&] { Engine::copyFile(shell::entryPath(ledger, name).string(), to); });
}

}  // namespace

ChartImportResult IMPORTAPUC(Session& session, Engine& engine) {
  ChartImportResult result;
  Interp& ip = session.interp();
  UserInterface& ui = session.ui();
  const fs::path ledger = ledgerFolder(session);
  FailureWatch watch(ip);
  StagedFiles staged(session.companyFolder());
  OpenAreas areas(engine);

  const int maestro =
      areas.open(shell::entryPath(ledger, store::kLedgerChart).string(), "MAESTRO", true, true);
  if (maestro == 0 || watch.failed()) {
    explainStop(watch, ui);
    return result;
  }
  engine.addIndex(maestro, store::kLedgerChartIndex);
  const std::string table = staged.stage(store::kChartCopy);
  const std::string index = staged.stage(store::kChartCopyIndex, true);
  engine.copyStructure(maestro, table);
  const int copy = areas.open(table, "MAESTRO2", false);
  if (copy == 0 || watch.failed()) {
    explainStop(watch, ui);
    return result;
  }
  engine.buildIndex(copy, index, "Codigo", "CODIGO", store::kNotDeleted);

  // The ledger chart in the order of its first tag, accounts in use only. The order is worked
  // out from the records themselves: the index is the ledger program's file, and a key missing
  // from it would leave its account out of the copy without a word.
  const auto orders = engine.orders(maestro);
  engine.setOrder(maestro, orders.empty() ? std::string() : orders.front().tag);
  engine.setFilter(ip, maestro, "Empty(APLICA)");
  const std::vector<std::uint32_t> inUse = engine.recordsInKeyOrder(maestro);
  result.accounts = static_cast<std::int64_t>(inUse.size());
  if (watch.failed()) {
    explainStop(watch, ui);
    return result;
  }
  ui.meterBegin("", result.accounts, false);
  ui.status(0, "Procesando.....");
  engine.select(copy);
  std::int64_t done = 0;
  for (const std::uint32_t recno : inUse) {
    engine.goTo(ip, maestro, recno);
    if (!engine.seekKey(copy, Value::text(engine.text(maestro, "CODIGO")))) {
      shell::AREG(ip, "MAESTRO");
      ++result.copied;
    }
    ui.meterAdvance(++done);
    ui.pumpEvents();
    if (watch.failed()) break;
  }
  if (watch.failed()) {
    ui.meterEnd();
    explainStop(watch, ui);
    return result;
  }
  engine.commit(ip, copy);
  areas.closeAll();
  staged.stageMemoOf(store::kChartCopy, "VRMAEEXO.FPT");
  if (!throughHandler(ip, [&] { staged.commit(); })) {
    ui.meterEnd();
    return result;
  }
  ui.status(0, "Proceso terminado.....");
  ui.meterEnd();
  result.done = true;
  return result;
}

MovementImportResult IMPORTATRACON(Session& session, Engine& engine) {
  MovementImportResult result;
  Interp& ip = session.interp();
  UserInterface& ui = session.ui();
  const fs::path ledger = ledgerFolder(session);
  const fs::path work = session.companyFolder();
  FailureWatch watch(ip);
  StagedFiles staged(work);
  OpenAreas areas(engine);
  auto stop = [&] {
    ui.meterEnd();
    explainStop(watch, ui);
    return result;
  };

  // The period files present; a month missing inside the range they span is put to the user
  // before anything is copied.
  auto periodPath = [&](int p) { return shell::entryPath(ledger, store::ledgerPeriodFile(p)); };
  std::error_code ec;
  for (int m = 1; m <= 12; ++m) {
    if (!fs::is_regular_file(periodPath(m), ec)) continue;
    if (result.firstMonth == 0) result.firstMonth = m;
    result.lastMonth = m;
  }
  for (int m = result.firstMonth; m >= 1 && m <= result.lastMonth; ++m) {
    if (!fs::is_regular_file(periodPath(m), ec)) result.missingMonths.push_back(m);
  }
  if (!result.missingMonths.empty() && !importWithoutMissingMonths(ui, result)) return result;

  // The directory copy, checked before it may replace the company's.
  const std::string directory = staged.stage(store::kDirectoryCopy);
  const std::string directoryMemo = staged.stage(store::kDirectoryCopyMemo);
  const std::string directoryIndex = staged.stage(store::kDirectoryCopyIndex, true);
  if (!copyLedgerFile(ip, ledger, store::kLedgerDirectory, directory) ||
      !copyLedgerFile(ip, ledger, store::kLedgerDirectoryMemo, directoryMemo) ||
      !copyLedgerFile(ip, ledger, store::kLedgerDirectoryIndex, directoryIndex)) {
    return stop();
  }
  if (!throughHandler(ip, [&] { checkDirectoryFiles(directory, directoryMemo, directoryIndex); })) {
    ui.message(MessageKind::Stop, kAttention,
               "El directorio de terceros del programa Norvasta est\341 da\361ado.\r\n"
               "No se import\363 nada: la copia anterior del directorio y los movimientos "
               "quedan como estaban.");
    return stop();
  }
  const Stopwatch clock;
  if (result.firstMonth == 0) {
    if (!throughHandler(ip, [&] { staged.commit(); })) return stop();
    ui.message(MessageKind::Alert, kAttention, kCheckPeriods);
    return result;
  }

  // The year's table: the first month's fields, then FORM, CONC, BASE and NIT.
  const std::string firstFile = periodPath(result.firstMonth).string();
  std::vector<store::Field> model;
  if (!throughHandler(ip, [&] {
        model = Dbf::open(firstFile, store::OpenOptions{true, true, 2000}).fields();
      })) {
    return stop();
  }
  std::vector<store::FieldDef> fields;
  // The texts of the lines reach the year's table in Windows-1252; the codes that key into the
  // chart and the directory copies stay as the ledger wrote them.
  store::FieldNames texts;
  for (const store::Field& f : model) {
    fields.push_back({f.name, f.type, f.length, f.decimals});
    if (f.type == 'C' && f.name != "CODIGO" && f.name != "CTA_DIR") texts.push_back(f.name);
  }
  for (const store::FieldDef& f : store::tableDef(store::kYearMovements).fields) {
    fields.push_back(f);
  }
  const std::string table = staged.stage(store::kYearMovements);
  engine.createTable(table, fields);
  const int year = watch.failed() ? 0 : areas.open(table, "TRACON99", false);
  if (year == 0 || watch.failed()) return stop();

  std::vector<int> periods = {0};
  for (int m = result.firstMonth; m <= result.lastMonth; ++m) periods.push_back(m);
  std::vector<std::string> notes;
  WithoutPartyByAccount withoutParty;
  for (int s = 0; s < 3; ++s) ui.status(s, "");
  ui.meterBegin("", static_cast<std::int64_t>(periods.size()), true);
  std::int64_t step = 0;
  for (const int p : periods) {
    const std::string name = store::ledgerPeriodFile(p);
    ui.status(0, std::string("Importando movimientos de  ") +
                     (p == 0 ? "per\355odo 00" : kMonthNames[static_cast<std::size_t>(p - 1)]) +
                     ".....");
    const fs::path path = periodPath(p);
    PeriodCount count;
    count.period = p;
    if (!fs::is_regular_file(path, ec)) {
      notes.push_back("No existe " + name + "; per\355odo omitido");
      ui.status(1, notes.back());
    } else {
      PeriodRule rule;
      rule.period = p;
      if (!throughHandler(ip, [&] {
            Dbf source = Dbf::open(path.string(), store::OpenOptions{true, true, 2000});
            for (std::string& n : compareStructure(name, model, source)) {
              result.notCarried.push_back(n);
            }
            rule.ctaDir = source.fieldIndex("CTA_DIR").value_or(-1);
            rule.monto = source.fieldIndex("MONTO").value_or(-1);
            rule.comproba = source.fieldIndex("COMPROBA").value_or(-1);
            rule.codigo = source.fieldIndex("CODIGO").value_or(-1);
          })) {
        return stop();
      }
      if (rule.ctaDir < 0) missingField(ip, path.string(), "CTA_DIR");
      if (rule.monto < 0) missingField(ip, path.string(), "MONTO");
      if (rule.comproba < 0) missingField(ip, path.string(), "COMPROBA");
      if (rule.codigo < 0) missingField(ip, path.string(), "CODIGO");
      if (watch.failed()) return stop();
      const auto accept = [&](const Dbf& t, const char* rec) {
        if (!rule.counted(t, rec)) return false;
        ++count.read;
        if (rule.closing(t, rec)) return false;
        if (rule.withParty(t, rec)) return true;
        LinesWithoutParty& a = withoutParty[std::string(trimRight(t.text(rec, rule.codigo)))];
        const double monto = t.number(rec, rule.monto).value;
        ++a.lines;
        (monto > 0 ? a.debits : a.credits) += monto;
        return false;
      };
      count.imported =
          static_cast<std::int64_t>(engine.appendFrom(year, path.string(), accept, texts));
      if (watch.failed()) return stop();
    }
    result.counted += count.read;
    result.periods.push_back(count);
    ui.meterAdvance(++step);
    ui.pumpEvents();
  }

  ui.status(0, "Procesados  " + withThousands(result.counted) + "  registros");
  ui.status(1, "Organizando archivos. Por favor espere...");
  ui.pumpEvents();
  const std::string index = staged.stage(store::kYearMovementsIndex, true);
  for (const store::IndexDef& bag : store::tableDef(store::kYearMovements).indexes) {
    // "SoloCmp" is the start of "CmpCtaDir": its keys come from the other's, sorted once.
    const std::vector<store::TagDef>& tags = bag.tags;
    if (tags.size() == 2 && tags[0].forCondition == tags[1].forCondition) {
      engine.buildIndexWithPrefix(year, index, tags[0].name, tags[0].key, tags[1].name, tags[1].key,
                                  tags[0].forCondition);
      continue;
    }
    for (const store::TagDef& tag : tags) {
      engine.buildIndex(year, index, tag.name, tag.key, tag.forCondition);
    }
  }
  engine.commit(ip, year);
  if (watch.failed()) return stop();
  areas.closeAll();
  if (!writeLinesWithoutParty(engine, areas, staged.stage(store::kLinesWithoutParty),
                              staged.stage(store::kLinesWithoutPartyIndex, true), withoutParty) ||
      watch.failed()) {
    return stop();
  }
  staged.stageMemoOf(store::kYearMovements, "vrTraCon.fpt");
  if (!throughHandler(ip, [&] { staged.commit(); })) return stop();

  // The month range is kept only once the movements it describes are in place.
  session.setMeses(result.firstMonth, result.lastMonth);
  shell::saveMemvars(ip, shell::entryPath(work, store::kPeriodosFile), "nMesTr*");

  if (!result.notCarried.empty()) {
    notes.push_back("Campos no trasladados: " + std::to_string(result.notCarried.size()));
    for (const std::string& n : result.notCarried) notes.push_back(n);
  }
  std::string second(kFinished);
  for (const std::string& n : notes) second += "  ;  " + n;
  result.seconds = clock.seconds();
  ui.status(1, second);
  ui.status(2, timeLine(result.seconds));
  ui.meterEnd();
  result.done = true;
  return result;
}

bool AUTOMANTENIM(Session& session, Engine& engine) {
  Interp& ip = session.interp();
  UserInterface& ui = session.ui();
  const fs::path work = session.companyFolder();
  {
    // Deleted assignments removed for good, the tags built again.
    std::string problem;
    const shell::Compaction compaction = shell::compactAssignments(session, engine, &problem);
    if (compaction != shell::Compaction::Done && compaction != shell::Compaction::NoTable) {
      shell::explainCompaction(session, engine, compaction, problem, true);
      return false;
    }
    FailureWatch watch(ip);
    OpenAreas areas(engine);
    const int codes = areas.adopt(
        store::openCompanyTable(engine, work.string(), store::kAssignments, "CODICONT", false));
    if (codes == 0 || watch.failed()) {
      explainStop(watch, ui);
      return false;
    }
    // The concepts in the order of format and concept, in an area of this routine's own so that
    // the pages' areas keep their positions.
    const int concepts =
        areas.open(shell::entryPath(session.folders().program, store::kConceptsFile).string(),
                   "CONCMANT", true, true);
    if (concepts != 0) {
      engine.addIndex(concepts, store::kConceptsIndex);
      engine.setOrder(concepts, "FormConc");
    }
    if (concepts == 0 || watch.failed()) {
      explainStop(watch, ui);
      return false;
    }
    engine.select(codes);
    engine.setOrder(codes, "");
    engine.forEach(codes, [&] {
      if (!isEmptyText(engine.text(codes, "NATURALEZ"))) return true;
      const std::string key = engine.text(codes, "FORMATO") + engine.text(codes, "CONCEPTO");
      if (!engine.seekKey(concepts, Value::text(key))) return true;
      const std::string nature = engine.text(concepts, "TIPO");
      shell::PROTEGER(ip, 0);
      engine.put(codes, "NATURALEZ", Value::text(nature));
      shell::DESPROTEGER(ip);
      return !watch.failed();
    });
    engine.commit(ip, codes);
    if (watch.failed()) {
      explainStop(watch, ui);
      return false;
    }
  }
  // The chart copy is created anew with the ledger's structure and filled by the chart import,
  // which builds it beside and puts it in place only when it is complete.
  return IMPORTAPUC(session, engine).done;
}

}  // namespace exo::import

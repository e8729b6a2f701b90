// Compaction, reading and repair of the assignment table.
#include "shell/AssignmentTable.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <tuple>

#include "expr/Failure.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/File.h"
#include "store/FileLock.h"
#include "store/Salvage.h"
#include "store/StoreFailure.h"

namespace exo::shell {
namespace {

namespace fs = std::filesystem;
using store::Engine;

constexpr std::string_view kAttention = "Atenci\363n.....";

// While it lives, every failure raised through the interpreter lets its operation go without a
// word; the first one is kept for the caller to judge.
class HeldFailures {
 public:
  explicit HeldFailures(Interp& ip) : m_ip(ip), m_previous(ip.errorHandler()) {
    m_ip.setErrorHandler([this](Interp&, const Failure& f) {
      if (f.genCode != GenCode::ZeroDiv && !m_failure) m_failure = f;
      return ErrorReply::byDefault();
    });
  }
  ~HeldFailures() { m_ip.setErrorHandler(std::move(m_previous)); }
  HeldFailures(const HeldFailures&) = delete;
  HeldFailures& operator=(const HeldFailures&) = delete;

  bool failed() const { return m_failure.has_value(); }
  const std::optional<Failure>& failure() const { return m_failure; }
  void keep(const Failure& f) {
    if (!m_failure) m_failure = f;
  }

 private:
  Interp& m_ip;
  ErrorHandler m_previous;
  std::optional<Failure> m_failure;
};

bool inUse(const Failure& f) {
  return f.osCode == store::kOsSharingViolation || f.osCode == store::kOsLockViolation;
}

Compaction classify(const Failure& f) {
  if (inUse(f)) return Compaction::InUse;
  if (f.genCode == GenCode::Corruption) return Compaction::Damaged;
  return Compaction::Failed;
}

void removeQuietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

// The tags of the assignment table built into `bag` on `area`.
void buildTags(Engine& engine, int area, const std::string& bag) {
  for (const store::IndexDef& index : store::tableDef(store::kAssignments).indexes) {
    for (const store::TagDef& tag : index.tags)
      engine.buildIndex(area, bag, tag.name, tag.key, tag.forCondition);
  }
}

fs::path indexPath(const fs::path& work) {
  return findEntry(work, store::kAssignmentsIndex).value_or(work / store::kAssignmentsIndex);
}

void sortRows(std::vector<AssignmentRow>& rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const AssignmentRow& a, const AssignmentRow& b) {
    return std::tie(a.formato, a.concepto, a.codCont) < std::tie(b.formato, b.concepto, b.codCont);
  });
}

// The positions of the assignment fields in the dictionary's layout.
struct Columns {
  std::size_t codCont = 0, detalle = 0, formato = 0, concepto = 0, naturalez = 0;
};

Columns columnsOf(const std::vector<store::FieldDef>& fields) {
  Columns c;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string& n = fields[i].name;
    if (n == "COD_CONT") c.codCont = i;
    else if (n == "DETALLE") c.detalle = i;
    else if (n == "FORMATO") c.formato = i;
    else if (n == "CONCEPTO") c.concepto = i;
    else if (n == "NATURALEZ") c.naturalez = i;
  }
  return c;
}

}  // namespace

Compaction compactAssignments(Session& session, Engine& engine, std::string* problem) {
  const fs::path work = session.companyFolder();
  const auto table = findEntry(work, store::kAssignments);
  if (!table) return Compaction::NoTable;
  Interp& ip = engine.interp();
  const int selected = engine.selected();
  const fs::path index = indexPath(work);
  const fs::path newTable = work / "~CodCmp.dbf";
  const fs::path newIndex = work / "~CodCmpx.cdx";
  removeQuietly(newTable);
  removeQuietly(newIndex);

  HeldFailures held(ip);
  int old = 0, fresh = 0;
  const auto finish = [&](Compaction c) {
    if (fresh != 0) engine.close(ip, fresh);
    if (old != 0) engine.close(ip, old);
    if (c != Compaction::Done) {
      removeQuietly(newTable);
      removeQuietly(newIndex);
    }
    engine.select(selected);
    if (problem != nullptr && c != Compaction::Done && held.failure())
      *problem = errorMessage(*held.failure());
    return c;
  };
  // The exclusive open is the claim: while it is held nobody else opens the table, and nothing
  // has been touched when it fails.
  old = engine.open(table->string(), "CODICONT", false);
  if (old == 0) return finish(held.failure() ? classify(*held.failure()) : Compaction::Failed);
  // A table without deleted records stays as it is; only its index is built again.
  const bool packs = engine.recCount(old) != engine.keyCount(ip, old);
  if (packs) {
    engine.copyTo(old, newTable.string());
    if (held.failed()) return finish(Compaction::Failed);
    fresh = engine.open(newTable.string(), "CODICONTN", false);
    if (fresh == 0 || held.failed()) return finish(Compaction::Failed);
  }
  buildTags(engine, packs ? fresh : old, newIndex.string());
  if (held.failed()) return finish(Compaction::Failed);
  // Both renamed while the old table is still held and the new one open exclusively, so that
  // no other open sees the new table with the old index. A stop between the two renames leaves
  // an index that the next compaction builds again.
  try {
    if (packs) store::replaceFile(newTable.string(), table->string());
    store::replaceFile(newIndex.string(), index.string());
  } catch (const FailureError& e) {
    held.keep(e.failure());
    return finish(Compaction::Failed);
  }
  return finish(Compaction::Done);
}

void explainCompaction(Session& session, Engine& engine, Compaction result,
                       const std::string& problem, bool offerRepair) {
  UserInterface& ui = session.ui();
  const std::string detail = problem.empty() ? std::string() : "\r\n" + problem;
  switch (result) {
    case Compaction::Done:
    case Compaction::NoTable: return;
    case Compaction::InUse:
      ui.message(MessageKind::Alert, kAttention,
                 "La tabla de asignaciones " + std::string(store::kAssignments) +
                     " est\341 en uso por otro programa: no se compact\363 esta vez." + detail);
      return;
    case Compaction::Failed:
      ui.message(MessageKind::Alert, kAttention,
                 "No se pudo compactar la tabla de asignaciones; queda como estaba." + detail);
      return;
    case Compaction::Damaged: break;
  }
  const std::string text = "La tabla de asignaciones " + std::string(store::kAssignments) +
                           " est\341 da\361ada." + detail;
  if (!offerRepair) {
    ui.message(MessageKind::Stop, kAttention,
               text +
                   "\r\nRep\341rela con \"Reparar asignaciones\" (exogena-cli "
                   "repair-assignments): se conservan las filas que se puedan leer.");
    return;
  }
  const int answer =
      ui.ask(kAttention,
             text +
                 "\r\n\r\n\277Desea repararla ahora? Se conservan las filas que se puedan "
                 "leer y se informa cu\341ntas se perdieron.",
             {"   &Si   ", "   &No   "}, 0);
  if (answer == 0) repairAssignments(session, engine);
}

bool readAssignments(Session& session, Engine& engine, std::vector<AssignmentRow>& rows,
                     std::uint64_t& lost, std::string* problem) {
  rows.clear();
  lost = 0;
  const fs::path work = session.companyFolder();
  const auto table = findEntry(work, store::kAssignments);
  if (!table) {
    if (problem != nullptr)
      *problem = "No existe la tabla de asignaciones " + std::string(store::kAssignments);
    return false;
  }
  Interp& ip = engine.interp();
  const int selected = engine.selected();
  {
    HeldFailures held(ip);
    // Shared and read only: a listing writes nothing, and runs beside any writer.
    const int area = engine.open(table->string(), "CODILIST", true, true);
    if (area != 0) {
      engine.forEach(area, [&] {
        rows.push_back({engine.text(area, "COD_CONT"), engine.text(area, "DETALLE"),
                        engine.text(area, "FORMATO"), engine.text(area, "CONCEPTO"),
                        engine.text(area, "NATURALEZ")});
        return !held.failed();
      });
      engine.close(ip, area);
    }
    engine.select(selected);
    if (area != 0 && !held.failed()) {
      sortRows(rows);
      return true;
    }
    rows.clear();
    if (held.failure() && inUse(*held.failure())) {
      if (problem != nullptr) *problem = errorMessage(*held.failure());
      return false;
    }
  }
  // The table does not read as a table: what can be read of it.
  const std::vector<store::FieldDef> fields =
      store::tableFields(store::tableDef(store::kAssignments), work.string());
  store::SalvagedTable salvaged;
  try {
    salvaged = store::salvageTable(table->string(), fields);
  } catch (const FailureError& e) {
    if (problem != nullptr) *problem = errorMessage(e.failure());
    return false;
  }
  const Columns c = columnsOf(fields);
  for (const auto& r : salvaged.rows)
    rows.push_back({r[c.codCont], r[c.detalle], r[c.formato], r[c.concepto], r[c.naturalez]});
  lost = salvaged.lost;
  sortRows(rows);
  return true;
}

RepairOutcome repairAssignments(Session& session, Engine& engine) {
  RepairOutcome out;
  UserInterface& ui = session.ui();
  Interp& ip = engine.interp();
  const fs::path work = session.companyFolder();
  const auto table = findEntry(work, store::kAssignments);
  if (!table) {
    ui.message(MessageKind::Stop, kAttention,
               "No existe la tabla de asignaciones " + std::string(store::kAssignments) +
                   " en la carpeta de la empresa: no hay nada que reparar.");
    return out;
  }
  const std::string unchanged = "\r\nNo se cambi\363 nada.";
  const std::vector<store::FieldDef> fields =
      store::tableFields(store::tableDef(store::kAssignments), work.string());
  store::SalvagedTable salvaged;
  store::FileHold hold;
  try {
    if (hold.take(table->string(), false) != store::FileHold::Status::Held) {
      ui.message(MessageKind::Stop, kAttention,
                 "La tabla de asignaciones " + std::string(store::kAssignments) +
                     " est\341 en uso por otro programa." + unchanged);
      return out;
    }
    salvaged = store::salvageTable(table->string(), fields);
  } catch (const FailureError& e) {
    ui.message(
        MessageKind::Stop, kAttention,
        "No se puede leer la tabla de asignaciones:\r\n" + errorMessage(e.failure()) + unchanged);
    return out;
  }

  const fs::path index = indexPath(work);
  const fs::path newTable = work / "~CodRep.dbf";
  const fs::path newIndex = work / "~CodRepx.cdx";
  removeQuietly(newTable);
  removeQuietly(newIndex);
  const int selected = engine.selected();
  HeldFailures held(ip);
  engine.createTable(newTable.string(), fields);
  const int fresh = held.failed() ? 0 : engine.open(newTable.string(), "CODREPAR", false);
  if (fresh != 0) {
    for (const auto& row : salvaged.rows) {
      engine.appendBlank(fresh);
      for (std::size_t i = 0; i < fields.size() && !held.failed(); ++i) {
        if (fields[i].type == 'C') engine.put(fresh, fields[i].name, Value::text(row[i]));
      }
      if (held.failed()) break;
    }
    engine.commit(ip, fresh);
    if (!held.failed()) buildTags(engine, fresh, newIndex.string());
  }
  const std::string aside = table->string() + kDamagedSuffix;
  if (fresh != 0 && !held.failed()) {
    try {
      // The old file is kept as it was; then the new pair takes its place while both the old
      // table (the hold) and the new one (its exclusive open) are held.
      Engine::copyFile(table->string(), aside);
      store::replaceFile(newTable.string(), table->string());
      store::replaceFile(newIndex.string(), index.string());
      out.done = true;
    } catch (const FailureError& e) {
      held.keep(e.failure());
    }
  }
  if (fresh != 0) engine.close(ip, fresh);
  engine.select(selected);
  hold.release();
  if (!out.done) {
    removeQuietly(newTable);
    removeQuietly(newIndex);
    ui.message(MessageKind::Stop, kAttention,
               "No se pudo reparar la tabla de asignaciones" +
                   (held.failure() ? ":\r\n" + errorMessage(*held.failure()) : std::string(".")) +
                   unchanged);
    return out;
  }
  out.kept = salvaged.rows.size();
  out.lost = salvaged.lost;
  out.asideFile = fs::path(aside).filename().string();
  ui.message(MessageKind::Info, kAttention,
             "Tabla de asignaciones reparada: se conservaron " + std::to_string(out.kept) +
                 " asignaciones; " + std::to_string(out.lost) +
                 (out.lost == 1 ? " registro no se pudo leer y se perdi\363."
                                : " registros no se pudieron leer y se perdieron.") +
                 "\r\nLa tabla anterior qued\363 guardada como " + out.asideFile + ".");
  return out;
}

}  // namespace exo::shell

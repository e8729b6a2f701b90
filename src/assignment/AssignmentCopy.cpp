// The two copies of the assignment table and the swap of the pair of files they share.
#include "assignment/AssignmentCopy.h"

#include <optional>
#include <set>
#include <system_error>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/FileLock.h"

namespace exo::assignment {

namespace fs = std::filesystem;
using shell::MessageKind;
using shell::Session;
using store::Engine;

namespace {

constexpr const char* kAttention = "Atenci\363n.....";
constexpr const char* kNothingCopied =
    "\r\nNo se copi\363 nada: la tabla actual queda como estaba.";
constexpr int kMaxAreas = 1024;  // beyond any number of areas the program opens

std::string upperTrim(std::string_view s) { return upper1252(trimBlanks(s)); }

// The pair at `table` and `index` read through an engine of its own, so that a damaged file is
// a fault found here and not a failure of the running program: empty when sound, else what is
// wrong.
std::string checkPair(const fs::path& table, const fs::path& index) {
  Interp ip;
  Engine engine(ip);
  try {
    const int area = engine.open(table.string(), "CHKCOD", false, true);
    if (area == 0) return "la tabla no se puede abrir";
    for (const char* field : {"COD_CONT", "DETALLE", "FORMATO", "CONCEPTO", "NATURALEZ"}) {
      if (!engine.table(area).fieldIndex(field)) return "le falta el campo " + std::string(field);
    }
    std::int64_t live = 0;
    engine.forEach(area, [&] {
      ++live;
      return true;
    });
    engine.addIndex(area, index.string());
    for (const char* tag : {"Codigo", "CodiCont"}) {
      engine.setOrder(area, tag);
      std::int64_t keys = 0;
      engine.forEach(area, [&] {
        ++keys;
        return true;
      });
      if (keys != live) return "el \355ndice " + std::string(tag) + " no corresponde a la tabla";
    }
    engine.closeAll(ip);
  } catch (const FailureError& e) {
    return std::string(trimBlanks(e.failure().description));
  }
  return {};
}

// A work area of this program open on the table, as it was before the swap.
struct OpenArea {
  int number = 0;
  std::string alias;
  bool shared = true, readOnly = false;
  std::vector<std::string> bags;
  std::string order;
  std::int64_t recno = 0;
};

std::vector<OpenArea> closeAreasOn(Engine& engine, const fs::path& table) {
  std::vector<OpenArea> closed;
  std::error_code ec;
  if (!fs::exists(table, ec)) return closed;
  Interp& ip = engine.interp();
  for (int a = 1; a <= kMaxAreas; ++a) {
    if (!engine.isUsed(a) || !fs::equivalent(engine.table(a).path(), table, ec)) continue;
    OpenArea o;
    o.number = a;
    o.alias = engine.aliasOf(a);
    o.readOnly = engine.table(a).isReadOnly();
    std::set<std::string> seen;
    for (const OrderInfo& info : engine.orders(a))
      if (seen.insert(info.bag).second) o.bags.push_back(info.bag);
    o.order = engine.orderSetFocus(ip, a, Value());
    o.recno = engine.recNo(a);
    engine.close(ip, a);
    closed.push_back(std::move(o));
  }
  return closed;
}

void reopenAreas(Engine& engine, const fs::path& table, const std::vector<OpenArea>& areas) {
  Interp& ip = engine.interp();
  const int selected = engine.selected();
  for (const OpenArea& o : areas) {
    engine.select(o.number);
    engine.use(ip, false, table.string(), o.alias, o.shared, o.readOnly);
    if (!engine.isUsed(o.number)) continue;
    for (const std::string& bag : o.bags) {
      if (const auto found = shell::findEntry(table.parent_path(), bag))
        engine.addIndex(o.number, found->string());
    }
    if (!o.order.empty()) engine.orderSetFocus(ip, o.number, Value::text(o.order));
    engine.goTo(ip, o.number, o.recno);
  }
  engine.select(selected);
}

}  // namespace

bool replaceAssignments(Session& session, Engine& engine, const fs::path& sourceFolder) {
  shell::UserInterface& ui = session.ui();
  const fs::path work = session.companyFolder();
  const auto sourceTable = shell::findEntry(sourceFolder, store::kAssignments);
  const auto sourceIndex = shell::findEntry(sourceFolder, store::kAssignmentsIndex);
  if (!sourceTable || !sourceIndex) {
    ui.message(MessageKind::Stop, kAttention,
               "No se encuentran " + std::string(store::kAssignments) + " y " +
                   store::kAssignmentsIndex + " en la carpeta de origen:\r\n" +
                   sourceFolder.string() + kNothingCopied);
    return false;
  }
  std::error_code ec;
  if (!fs::is_directory(work, ec)) {
    ui.message(
        MessageKind::Stop, kAttention,
        "No se puede escribir en la carpeta de la empresa:\r\n" + work.string() + kNothingCopied);
    return false;
  }
  // The new pair is copied beside the current one, synced, checked, and then both files are
  // put in place together: a run stopped at any point leaves the current pair or the new one.
  std::optional<shell::StagedFiles> staged;
  std::string stagedTable, stagedIndex;
  try {
    staged.emplace(work);
    stagedTable = staged->stage(store::kAssignments);
    stagedIndex = staged->stage(store::kAssignmentsIndex, true);
    Engine::copyFile(sourceTable->string(), stagedTable);
    Engine::copyFile(sourceIndex->string(), stagedIndex);
  } catch (const FailureError& e) {
    ui.message(MessageKind::Stop, kAttention,
               "No se puede escribir en la carpeta de la empresa:\r\n" + work.string() + "\r\n" +
                   std::string(trimBlanks(e.failure().description)) + kNothingCopied);
    return false;
  }
  if (const std::string fault = checkPair(stagedTable, stagedIndex); !fault.empty()) {
    ui.message(MessageKind::Stop, kAttention,
               "La tabla de asignaciones de origen est\341 da\361ada (" + fault + "):\r\n" +
                   sourceTable->string() + kNothingCopied);
    return false;
  }

  const fs::path table =
      shell::findEntry(work, store::kAssignments).value_or(work / store::kAssignments);
  const std::vector<OpenArea> reopen = closeAreasOn(engine, table);
  // The current table is held from here until the new pair is in place: another program that
  // has it open stops the copy before anything changes, and none opens it meanwhile.
  store::FileHold hold;
  if (hold.take(table.string(), false) == store::FileHold::Status::InUse) {
    reopenAreas(engine, table, reopen);
    ui.message(MessageKind::Stop, kAttention,
               "La tabla de asignaciones " + std::string(store::kAssignments) +
                   " est\341 en uso por otro programa.\r\nCi\351rrela all\355 e intente de "
                   "nuevo." +
                   kNothingCopied);
    return false;
  }
  std::string fault;
  try {
    staged->commit();
  } catch (const FailureError& e) {
    fault = std::string(trimBlanks(e.failure().description));
  }
  hold.release();
  reopenAreas(engine, work / store::kAssignments, reopen);
  if (!fault.empty()) {
    ui.message(MessageKind::Stop, kAttention,
               "No se pudo reemplazar la tabla de asignaciones en la carpeta de la empresa:\r\n" +
                   work.string() + "\r\n" + fault +
                   "\r\nSi el reemplazo qued\363 a medias, se termina al abrir de nuevo la "
                   "empresa.");
    return false;
  }
  return true;
}

std::optional<CompanyCopyChoice> companiesForCopy(Session& session, Engine& engine) {
  if (!session.hayOrbisal() && !session.hayContable()) return std::nullopt;
  CompanyCopyChoice choice;
  choice.product = upper1252(session.pathOrigen()).rfind("\\NRVVS\\", 0) == 0 ? 1 : 2;
  choice.companies = shell::CARGAVRCTL(session, engine, choice.product);
  // The current company's folder within its product: what follows the product's folder.
  const std::string cel = upperTrim(session.celPath());
  if (!cel.empty()) {
    const std::string own = cel.substr(cel.find('\\') + 1);
    bool listed = false;
    for (const shell::CompanyEntry& e : choice.companies)
      listed = listed || upperTrim(e.camino) == own;
    if (!listed) return std::nullopt;
  }
  return choice;
}

CopyOutcome copyAssignmentsFromCompany(Session& session, Engine& engine,
                                       const shell::CompanyEntry& source) {
  const std::string folder = std::string(trimBlanks(source.camino));
  if (!shell::isSafeRelativePath(folder)) {
    session.ui().message(MessageKind::Stop, kAttention,
                         "La carpeta de la empresa en el archivo de control no es v\341lida:\r\n" +
                             folder + kNothingCopied);
    return CopyOutcome::Stopped;
  }
  std::string origin = session.pathOrigen();
  if (!origin.empty() && origin.front() == '\\') origin.erase(0, 1);
  const std::string sourcePath = upper1252(origin + folder);
  if (sourcePath == upperTrim(session.celPath())) return CopyOutcome::SameCompany;
  shell::WaitMessage wait(session, "Procesando copia. Por favor espere......");
  return replaceAssignments(session, engine, session.native(sourcePath)) ? CopyOutcome::Copied
                                                                         : CopyOutcome::Stopped;
}

CopyOutcome copyAssignmentsFromPreviousYear(Session& session, Engine& engine) {
  shell::UserInterface& ui = session.ui();
  const std::string root = "\\" + std::string(kPreviousYearFolder);
  std::error_code ec;
  if (!fs::is_directory(session.native(root), ec)) {
    ui.message(MessageKind::Info, "Atenci\363n......",
               "La versi\363n 2010 de Norvasta Informaci\363n Ex\363gena en Medios Magn\351ticos"
               "\r\nno se encuentra instalada en este equipo.");
    return CopyOutcome::Stopped;
  }
  const std::string cel = session.celPath();
  const fs::path folder = session.native(root + "\\" + cel);
  if (!fs::is_directory(folder, ec)) {
    ui.message(MessageKind::Info, kAttention,
               "La carpeta  (" + cel +
                   ")  de la empresa seleccionada no est\341 creada\r\nen la versi\363n 2010 de "
                   "Norvasta Informaci\363n Ex\363gena en Medios Magn\351ticos");
    return CopyOutcome::Stopped;
  }
  if (ui.ask("Seleccione.....", "Seguro desea importar Conceptos Contables del 2010 ?",
             {"   &Si   ", "   &No   "}, 1) != 0) {
    return CopyOutcome::Declined;
  }
  if (!replaceAssignments(session, engine, folder)) return CopyOutcome::Stopped;
  ui.message(MessageKind::Info, kAttention,
             "\r\nPara completar el proceso, por favor vaya a\r\n       \"Importar Movimientos "
             "Contables\"\r\n          y siga los pasos indicados all\355\r\n");
  return CopyOutcome::Copied;
}

}  // namespace exo::assignment

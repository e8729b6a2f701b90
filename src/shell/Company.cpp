// Choice of the company-year and the set-up of its working folder.
#include "shell/Company.h"

#include <filesystem>
#include <system_error>

#include "expr/Dates.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "shell/MemFile.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/File.h"
#include "store/Leftovers.h"

namespace exo::shell {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kAttention = "Atenci\363n.....";

std::string trim(std::string_view s) { return std::string(trimBlanks(s)); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return upper1252(a) == upper1252(b);
}

// The folder name of a control-file path ("EMPRESA1\" gives "EMPRESA1"), or nothing when the
// path is not a single plain folder name followed by a backslash.
std::optional<std::string> folderOf(std::string_view camino) {
  std::string path = trim(camino);
  if (path.empty() || path.back() != '\\') return std::nullopt;
  path.pop_back();
  if (!isPlainName(path)) return std::nullopt;
  return path;
}

// Creates a folder when missing; false when it cannot be created.
bool makeFolder(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return true;
  return fs::create_directory(folder, ec) && !ec;
}

// Keeps the selected work area across a piece of work on other areas.
class KeepSelected {
 public:
  explicit KeepSelected(store::Engine& e) : m_engine(e), m_area(e.selected()) {}
  ~KeepSelected() { m_engine.select(m_area); }
  KeepSelected(const KeepSelected&) = delete;
  KeepSelected& operator=(const KeepSelected&) = delete;

 private:
  store::Engine& m_engine;
  int m_area;
};

std::string textVariable(const Session& session, std::string_view name) {
  Memvars::Slot* s = session.interp().memvars().find(name);
  return s != nullptr && s->value().isText() ? std::string(s->value().textView()) : std::string();
}

}  // namespace

bool lockCompany(Session& session, const fs::path& folder, int waitMs) {
  const fs::path lockFile = entryPath(folder, kCompanyLockFile);
  store::FileHold& current = session.companyLock();
  std::error_code ec;
  if (current.held() && fs::equivalent(current.path(), lockFile, ec)) return true;
  store::FileHold hold;
  if (hold.take(lockFile.string(), true, waitMs) != store::FileHold::Status::Held) return false;
  current = std::move(hold);
  return true;
}

std::string lastCompanyFolder(const Session& session) { return textVariable(session, "MVAR01"); }
std::string lastProductRoot(const Session& session) { return textVariable(session, "MVAR04"); }

int initialProduct(const Session& session, std::string_view lastRoot) {
  if (trim(lastRoot).empty()) return !session.hayOrbisal() && session.hayContable() ? 2 : 1;
  return equalsIgnoringCase(trim(lastRoot), kOrbisalRoot) ? 1 : 2;
}

std::vector<CompanyEntry> CARGAVRCTL(Session& session, store::Engine& engine, int product) {
  session.setPathOrigen(product == 1 ? kOrbisalRoot : kContableRoot);
  std::vector<CompanyEntry> list;
  {
    KeepSelected keep(engine);
    const fs::path control = session.native(session.pathOrigen() + store::kLedgerControl);
    const int area = engine.open(control.string(), "VRCTL", true, true);
    if (area != 0) {
      engine.forEach(area, [&] {
        const Value date = engine.get(area, "FECHA_INI");
        int y = 0, m = 0, d = 0;
        if (date.isDate() && date.julian() > 0) ymdFromJulian(date.julian(), y, m, d);
        // The program shows and stores the names in Windows-1252, whatever character set the
        // control file is written in.
        list.push_back({engine.ledgerText(area, "EMPRESA"), upper1252(engine.text(area, "CAMINO")),
                        engine.text(area, "ULT_PER"),
                        y > 0 ? std::to_string(y) : std::string("    ")});
        return true;
      });
      engine.close(engine.interp(), area);
    }
  }
  // The list is also the session's AEMPRIMPOR, for report definitions.
  Value rows = Value::newArray(0);
  for (const CompanyEntry& e : list) {
    Value row = Value::newArray(0);
    for (const std::string* s : {&e.empresa, &e.camino, &e.ultPer, &e.anio}) {
      row.arrayData().items.push_back(Value::text(*s));
    }
    rows.arrayData().items.push_back(row);
  }
  session.interp().memvars().assign("AEMPRIMPOR", rows);
  return list;
}

std::optional<std::size_t> rowOfCompany(const std::vector<CompanyEntry>& list,
                                        std::string_view lastFolder) {
  const std::string wanted = trim(lastFolder);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (trim(list[i].camino) == wanted) return i;
  }
  return std::nullopt;
}

std::string companyListLabel(const Session& session) {
  if (session.hayOrbisal() && session.hayContable()) return "Seleccione programa";
  return session.hayContable() ? "Empresas en Norvasta Contable:" : "Empresas en Norvasta Orbisal:";
}

bool chooseCompany(Session& session, store::Engine& engine, const CompanyEntry& entry,
                   const std::function<void(const std::string&)>& showCompany, CompanyUse use) {
  const std::optional<std::string> folder = folderOf(entry.camino);
  if (!folder) {
    session.ui().message(MessageKind::Stop, kAttention,
                         "La carpeta de la empresa en el archivo de control no es v\341lida:\r\n" +
                             trim(entry.camino) + "\r\nNo se puede trabajar con esta empresa.");
    return false;
  }
  if (trim(entry.empresa).empty()) return false;
  const auto refuse = [&] {
    session.ui().message(MessageKind::Stop, kAttention,
                         std::string(kCompanyInUse) + ":\r\n" + trim(entry.empresa) + " (" +
                             *folder + ")\r\nEspere a que termine e int\351ntelo de nuevo.");
    return false;
  };
  // The company-year's folder as ACTUALIZ_DAT_EMPR forms it from the product of the list.
  const std::string root = session.pathOrigen();
  const std::string product =
      root.size() >= 2 ? upper1252(root.substr(1, root.size() - 2)) : std::string();
  const fs::path work = product.empty()
                            ? fs::path()
                            : entryPath(entryPath(session.folders().program, product), *folder);
  std::error_code ec;
  const bool existed = !work.empty() && fs::is_directory(work, ec);
  if (use == CompanyUse::Write && existed && !lockCompany(session, work)) return refuse();
  session.setEmpresa(entry.empresa);
  session.setCelPath(trim(entry.camino));
  session.setPeriodo(entry.ultPer);
  session.setAnioIni(entry.anio);
  ACTUALIZ_DAT_EMPR(session, engine, showCompany, use);
  // A company-year set up just now is locked once its folder exists.
  if (use == CompanyUse::Write && !existed && !work.empty() && fs::is_directory(work, ec) &&
      !lockCompany(session, work)) {
    return refuse();
  }
  return true;
}

void ACTUALIZ_DAT_EMPR(Session& session, store::Engine& engine,
                       const std::function<void(const std::string&)>& showCompany, CompanyUse use) {
  Interp& ip = session.interp();
  UserInterface& ui = session.ui();
  const std::string root = session.pathOrigen();  // "\NRVVS\"
  const std::string product = upper1252(root.substr(1, root.size() >= 2 ? root.size() - 2 : 0));
  const std::string folder = *folderOf(session.celPath());

  const std::string celPath = product + "\\" + folder + "\\";
  session.setCelPath(celPath);
  session.setEmpresa(trim(session.empresa()) + " - " + session.anioIni());
  ip.memvars().assign("MVAR01", Value::text(celPath));
  ip.memvars().assign("MVAR02", Value::text(session.empresa()));
  ip.memvars().assign("MVAR03", Value::text(session.anioIni()));
  ip.memvars().assign("MVAR04", Value::text(root));
  session.formPaths();
  if (showCompany) showCompany(trim(session.empresa()) + "     ");
  if (use == CompanyUse::Read) {
    // A listing: the company's own files are read when they are there, nothing is written.
    ip.memvars().assign("MVAR01", Value::text(upper1252(folder + "\\")));
    const fs::path work = entryPath(entryPath(session.folders().program, product), folder);
    std::error_code ec;
    const fs::path consecut = entryPath(work, kConsecutFile);
    if (fs::exists(consecut, ec)) restoreMemvars(ip, consecut);
    else session.setConsecut("1  ");
    const fs::path periodos = entryPath(work, kPeriodosFile);
    if (fs::exists(periodos, ec)) restoreMemvars(ip, periodos);
    else session.setMeses(0, 0);
    return;
  }

  const fs::path productFolder = entryPath(session.folders().program, product);
  if (!makeFolder(productFolder)) {
    ui.message(MessageKind::Stop, kAttention, "Error en la creaci\363n de la carpeta " + product);
  }
  const fs::path work = entryPath(productFolder, folder);
  std::error_code ec;
  if (!fs::is_directory(work, ec)) {
    if (!makeFolder(work)) {
      ui.message(MessageKind::Stop, kAttention,
                 "Error en la creaci\363n de la carpeta " + product + "\\" + folder);
    } else {
      // The first selection of the company-year: its own copy of the third parties, an empty
      // chart with the ledger's structure, an empty assignment table, the output folder.
      KeepSelected keep(engine);
      const std::string ledger = session.native("\\" + celPath).string();
      store::createCompanyTable(engine, work.string(), store::kDirectoryCopy, ledger);
      store::createCompanyTable(engine, work.string(), store::kChartCopy, ledger);
      if (const int chart =
              store::openCompanyTable(engine, work.string(), store::kChartCopy, "MAESTRO2")) {
        store::buildCompanyIndexes(engine, chart, work.string(), store::kChartCopy);
        engine.close(ip, chart);
      }
      store::createCompanyTable(engine, work.string(), store::kAssignments);
      if (const int codes =
              store::openCompanyTable(engine, work.string(), store::kAssignments, "CODICONT")) {
        store::buildCompanyIndexes(engine, codes, work.string(), store::kAssignments);
        engine.close(ip, codes);
      }
      if (!makeFolder(entryPath(work, store::kOutputFolder))) {
        ui.message(MessageKind::Info, kAttention,
                   "Error en la creaci\363n de la carpeta: " + folder + "SALIDA\\");
      }
    }
  }

  // A replacement of the company's files that a stopped run left midway is finished (or, when
  // its record never became complete, dropped) before anything reads them.
  if (fs::is_directory(work, ec)) {
    try {
      store::finishReplacements(work.string());
    } catch (const FailureError& e) {
      ui.message(MessageKind::Stop, kAttention,
                 "No se pudo terminar el reemplazo de archivos que qued\363 a medias:\r\n" +
                     e.failure().fileName);
    }
    // Temporary files of runs that were killed: only those whose process has ended go, as
    // another process may be writing its own in the same folders.
    store::removeLeftovers(work.string());
    if (const auto output = findEntry(work, store::kOutputFolder))
      store::removeLeftovers(output->string());
    store::removeLeftovers(session.folders().program.string());
    // The scratch folder of a run over several formats that was stopped (its process ended
    // before the run did): this process holds the company, so no run of it is going on.
    if (const auto scratch = findEntry(work, kWorkerScratchFolder)) fs::remove_all(*scratch, ec);
  }
  ip.memvars().assign("MVAR01", Value::text(upper1252(folder + "\\")));
  session.saveSessionFile();
  const fs::path consecut = entryPath(work, kConsecutFile);
  if (!fs::exists(consecut, ec)) {
    session.setConsecut("1  ");
    saveMemvars(ip, consecut, "cConsecut*");
  } else {
    restoreMemvars(ip, consecut);
  }
  const fs::path periodos = entryPath(work, kPeriodosFile);
  if (!fs::exists(periodos, ec)) {
    session.setMeses(0, 0);
    saveMemvars(ip, periodos, "nMesTr*");
  } else {
    restoreMemvars(ip, periodos);
  }
}

}  // namespace exo::shell

// Choice of the company-year to work on: the company list read from the sibling product's
// control file "vrCtl.org", the product offered first, the row offered first, and
// ACTUALIZ_DAT_EMPR, which applies a chosen entry (session values and paths, the working folder
// with its tables the first time, the session files), and the company lock that keeps two
// writing processes off one company. The compaction of the assignment table at start-up is in
// AssignmentTable.h.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exo::store {
class Engine;
}

namespace exo::shell {

class Session;

// How a piece of work uses the company it selects.
enum class CompanyUse {
  // Holds the company lock while it works; sets the company-year up the first time and saves
  // the session file.
  Write,
  // A listing: writes nothing (no folder, table, session or company file) and takes no lock, so
  // it runs beside a writer and from a program folder that cannot be written.
  Read,
};

// The company lock: a file of the company folder held with the system's exclusive open lock by
// the process that writes in the company (a writing command, or the desktop program for as long
// as the company is selected). Scratch tables have fixed names in the company folder, so a
// second writer is told and stopped instead of colliding with the first.
inline constexpr std::string_view kCompanyLockFile = "EnUso.lck";
inline constexpr std::string_view kCompanyInUse = "La empresa est\341 en uso por otro proceso";
// How long a second writer waits for the first to end before it gives up.
inline constexpr int kCompanyLockWaitMs = 1500;

// Takes the lock of the company folder `folder` for the session, waiting up to `waitMs`. The
// lock the session held on another company is let go once the new one is held; the one it holds
// on `folder` already is kept. False when another process holds it (nothing changes then).
bool lockCompany(Session& session, const std::filesystem::path& folder,
                 int waitMs = kCompanyLockWaitMs);

// One row of the control file, as the list AEMPRIMPOR holds it.
struct CompanyEntry {
  std::string empresa;  // EMPRESA as stored
  std::string camino;   // CAMINO upper case: one folder name and a backslash
  std::string ultPer;   // ULT_PER
  std::string anio;     // year of FECHA_INI, 4 characters
};

// The last session's company folder (MVAR01) and product root (MVAR04).
std::string lastCompanyFolder(const Session& session);
std::string lastProductRoot(const Session& session);

// The product offered first (1 = "\NRVVS\", 2 = "\NRVCONTB\"): from the last session's MVAR04
// (the page passes CPATHORIGEN instead), or the installed product when there is none.
int initialProduct(const Session& session, std::string_view lastRoot);

// CARGAVRCTL: makes `product` the session's product (CPATHORIGEN), reads its control file into
// AEMPRIMPOR (physical order) and returns the list. The selected work area is kept.
std::vector<CompanyEntry> CARGAVRCTL(Session& session, store::Engine& engine, int product);

// The row of the company folder `lastFolder` (MVAR01) in the list, if it is there.
std::optional<std::size_t> rowOfCompany(const std::vector<CompanyEntry>& list,
                                        std::string_view lastFolder);

// The text over the list: which product's companies are shown, or "Seleccione programa".
std::string companyListLabel(const Session& session);

// Sets CEMPRESA, CELPATH, CPERIODO and CANIOINI from the entry and applies it with
// ACTUALIZ_DAT_EMPR. A control-file folder that is not one plain folder name is refused with a
// message (nothing is created). With CompanyUse::Write the company lock is taken first; a
// company in use by another process is refused with kCompanyInUse and the session keeps its
// company. Returns whether the company was applied. `showCompany` receives the text of the
// information bar.
bool chooseCompany(Session& session, store::Engine& engine, const CompanyEntry& entry,
                   const std::function<void(const std::string&)>& showCompany,
                   CompanyUse use = CompanyUse::Write);

// ACTUALIZ_DAT_EMPR: applies the entry already copied into the session values. With
// CompanyUse::Read only the session values change: nothing is created or written, and the
// per-company files are restored when they exist (their defaults stand otherwise).
void ACTUALIZ_DAT_EMPR(Session& session, store::Engine& engine,
                       const std::function<void(const std::string&)>& showCompany,
                       CompanyUse use = CompanyUse::Write);

}  // namespace exo::shell

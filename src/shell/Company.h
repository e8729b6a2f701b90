// Choice of the company-year to work on: the company list read from the sibling product's
// control file "vrCtl.org", the product offered first, the row offered first, and
// ACTUALIZ_DAT_EMPR, which applies a chosen entry (session values and paths, the working folder
// with its tables the first time, the session files), and the compaction of the assignment
// table at start-up.
#pragma once

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
// message (nothing is created). Returns whether the company was applied. `showCompany` receives
// the text of the information bar.
bool chooseCompany(Session& session, store::Engine& engine, const CompanyEntry& entry,
                   const std::function<void(const std::string&)>& showCompany);

// ACTUALIZ_DAT_EMPR: applies the entry already copied into the session values.
void ACTUALIZ_DAT_EMPR(Session& session, store::Engine& engine,
                       const std::function<void(const std::string&)>& showCompany);

// At start-up: removes the deleted records of the assignment table and builds its tags again
// (nothing when the table does not exist yet).
void compactAssignments(Session& session, store::Engine& engine);

}  // namespace exo::shell

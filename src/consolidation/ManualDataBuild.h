// The build of the 1012 table shared by its first use and its rebuild (internal to
// src/consolidation).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::consolidation {

// The holder of a 1012 row: its directory code and identification fields, by field name.
using Holder = std::map<std::string, std::string>;
// Holders by concept and account (CPT + CODI_CONT as stored).
using Holders = std::map<std::string, Holder>;

struct AccountsBuild {
  std::int64_t rows = 0;
  std::int64_t kept = 0;
};

// Builds "TrF1012B.dbf" and its index beside, one row per account assignment of format 1012
// (order FORMATO+CONCEPTO+COD_CONT) with the account's ledger name and its total for the concept
// in "TrF1012.dbf"; a row whose concept and account are in `holders` gets that holder. The new
// files replace the old ones only when complete, after `beforeReplace` has run (the caller lets
// go of the old table there). Nothing when a failure was let go or the run was interrupted.
std::optional<AccountsBuild> buildAccountsTable(shell::Session& session, store::Engine& engine,
                                                const Holders& holders,
                                                const std::function<void()>& beforeReplace = {});

}  // namespace exo::consolidation

namespace exo::consolidation {

// Opens the manual-data table of `formatNumber` under BaseDatos in its order, on its first row
// (0 when it cannot be opened).
int openManualData(shell::Session& session, store::Engine& engine, int formatNumber);

}  // namespace exo::consolidation

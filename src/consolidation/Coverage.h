// The coverage check of the assignments, done before filing: which accounts moved with third
// parties in the year without any concept taking them, and, per format and concept, how much of
// the ledger total of its assigned accounts reached the format movement table and why the rest
// did not (movements without a third party, the concept's filters), with the part of what
// reached it that lies under the concept's threshold (reported as minor amounts).
//
// Reads the year's movements ("vrTraCon.99") and its lines without a third party
// ("vrSinTer.99"), the assignments ("CodCont.dbf") and the twelve format movement tables; writes
// the workbook "<company>-Cobertura.xlsx" in the output folder of the company through the workbook
// layer. Changes no table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "consolidation/IntegrationState.h"

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::consolidation {

// An account with third-party movements in the year that no assignment covers.
struct UncoveredAccount {
  std::string account;  // CODIGO, trimmed
  std::int64_t lines = 0;
  double debits = 0;   // sum of the positive amounts
  double credits = 0;  // sum of the negative amounts (a negative number)
  double net() const { return debits + credits; }
};

// One concept of one format.
struct ConceptCoverage {
  int format = 0;           // 1 to 12
  std::string conceptCode;  // CONCEPTO, trimmed
  std::int64_t accounts = 0;
  double ledger = 0;        // every movement of its assigned accounts
  double withoutParty = 0;  // of which without a third party: never integrated
  std::int64_t withoutPartyLines = 0;
  double integrated = 0;  // MONTO of its rows in the format movement table
  std::int64_t integratedLines = 0;
  // The concept's minor-amounts record as the builder makes it (generation/MinorAmounts.h): the
  // third parties whose total over the format is under their threshold, signed as reported.
  double minor = 0;
  // The third-party movements of its accounts that the concept's filters left out.
  double filtered() const { return ledger - withoutParty - integrated; }
};

struct CoverageResult {
  bool done = false;
  std::int64_t partyLines = 0;  // the year's movements with a third party
  double partyTotal = 0;
  std::int64_t coveredLines = 0;  // of those, on accounts that some concept covers
  double coveredTotal = 0;
  std::int64_t uncoveredLines = 0;
  double uncoveredTotal = 0;
  std::int64_t withoutPartyLines = 0;  // the year's lines without a third party ("vrSinTer.99")
  double withoutPartyTotal = 0;
  std::vector<UncoveredAccount> uncovered;  // largest movement first
  std::vector<ConceptCoverage> concepts;    // by format and concept
  // Accounts under two or more concepts of one format of 1001 to 1009: reported in each.
  std::vector<DoubleAssignment> doubles;
  std::filesystem::path workbook;
};

// The workbook: program folder + CELPATH + CDIRSALIDA + the company folder's name +
// "-Cobertura.xlsx".
std::filesystem::path coverageWorkbookPath(const shell::Session& session);

// Computes the coverage and writes its workbook. Stops on a message when the year's movements,
// the assignments or a format movement table are missing.
CoverageResult coverageReport(shell::Session& session, store::Engine& engine);

}  // namespace exo::consolidation

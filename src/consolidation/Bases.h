// The withholding bases of formats 1002 (withholdings the company practised) and 1003 (those
// practised on it): the ledger books only the amount withheld, so the base is worked back from
// it with a retention percentage (and, for the VAT withholdings, a VAT percentage). The base
// table "TrF1002B.dbf" / "TrF1003B.dbf" holds one row per third party and concept with its
// percentages and base; it is built once with the default percentages, then belongs to the user,
// who corrects percentages and bases in the review dialog, until the user restores it.
//
// A build never loses the stored table half-way: the new table is written beside under a
// temporary name and renamed into place only when it is complete. The stored table is held
// exclusively from before the build until its successor is in place, so that no other program
// writes into a table that is being replaced; one that another program holds open is not
// rebuilt at all (the user is told, and nothing changes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::consolidation {

inline constexpr const char* kBaseRetAlias = "BaseRet";

// The percentages a new base row gets.
struct Percentages {
  double retention = 0;
  double vat = 0;
};

// Whether `concept` is a VAT withholding of the format (1002: 2318, 2319, 2320; 1003: 1309).
bool isVatWithholding(std::string_view formatCode, std::string_view conceptCode);
// The concept whose rows the review hides: "2302" for 1002, "1302" for 1003.
std::string hiddenConcept(std::string_view formatCode);
// The default percentages of a concept; `accountRetention` is the POR_RET of the row's account
// in the chart copy (0 when the account is not there).
Percentages defaultPercentages(std::string_view formatCode, std::string_view conceptCode,
                               double accountRetention);

// The base of a new row: MONTO / (vat/100) / (retention/100) for the VAT withholdings, MONTO /
// (retention/100) for the others, rounded to whole units with halves away from zero; 0 when a
// percentage in a divisor is 0.
double initialBase(double monto, const Percentages& p, bool vatConcept);
// The base the review recomputes after a percentage changes: as initialBase(), except that a VAT
// percentage of 0 divides by 1 (the base of the retention alone).
double editedBase(double monto, const Percentages& p, bool vatConcept);

struct BasesResult {
  bool done = false;        // the table is open under BaseRet
  bool built = false;       // it was (re)built by this call
  bool inUse = false;       // another program holds the stored table: nothing was changed
  int area = 0;             // the BaseRet area
  std::int64_t rows = 0;    // rows in the table
  std::int64_t hidden = 0;  // rows of the hidden concept among them
};

// RESUMEN1002 / RESUMEN1003: with `restore`, asks first ("&No" / "&Si") and does nothing unless
// the answer is "&Si"; with `rebuild` or `restore`, builds the table anew from the format's
// movement table (totals per third party and concept, minor amounts grouped per concept) with
// the default percentages. Leaves the table open under BaseRet, its view restricted to hide the
// hidden concept, on its first row. A format movement table that does not exist stops with the
// readiness message. A failure let go by the error handler leaves the stored table as it was.
BasesResult RESUMEN1002(shell::Session& session, store::Engine& engine, bool rebuild,
                        bool restore = false);
BasesResult RESUMEN1003(shell::Session& session, store::Engine& engine, bool rebuild,
                        bool restore = false);
// Both, by format number (2 or 3).
BasesResult withholdingBases(shell::Session& session, store::Engine& engine, int formatNumber,
                             bool rebuild, bool restore);

// What the review dialog does before it shows: the readiness check, then the table built when
// it does not exist yet, else opened as stored.
BasesResult prepareWithholdingBases(shell::Session& session, store::Engine& engine,
                                    int formatNumber);

// CALCULACOLBASE: recomputes BASE_RET of the current row of the base table open in `area` with
// editedBase(), writing it under a record lock at once.
void CALCULACOLBASE(store::Engine& engine, int area, std::string_view formatCode,
                    double retentionPercent, double vatPercent);
// Stores new percentages on the current row and its recomputed base, under one record lock.
void storePercentages(store::Engine& engine, int area, std::string_view formatCode,
                      const Percentages& p);
// Stores a typed base on the current row as typed.
void storeBase(store::Engine& engine, int area, double base);

}  // namespace exo::consolidation

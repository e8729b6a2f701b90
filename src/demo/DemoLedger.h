// Internal to the demo installation: the ledger of one company-year of the sibling accounting
// product, made up from a seed. A chart of accounts of the Colombian PUC, a directory of third
// parties and a year of vouchers, written as the ledger product writes them: DBF tables with CDX
// indexes and FPT memos, texts in the OEM code page (850) or as the plan's character set says,
// amounts in whole pesos.
//
// Everything is a function of the seed and the sizes: the same inputs give the same bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "demo/Demo.h"

namespace exo::demo {

// A small deterministic generator (splitmix64); the same on every platform and compiler.
class Random {
 public:
  explicit Random(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n). REQUIRES: n > 0.
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32);
  }
  // Uniform in [lo, hi].
  std::int64_t range(std::int64_t lo, std::int64_t hi) {
    return lo + static_cast<std::int64_t>((next() >> 11) % static_cast<std::uint64_t>(hi - lo + 1));
  }
  bool chance(int percent) { return below(100) < static_cast<std::uint32_t>(percent); }
  // Whole pesos spread evenly on a logarithmic scale between lo and hi, rounded to hundreds.
  double amount(double lo, double hi);
  template <typename T>
  const T& pick(const std::vector<T>& v) {
    return v[below(static_cast<std::uint32_t>(v.size()))];
  }

 private:
  std::uint64_t m_state;
};

// --- Chart of accounts ---------------------------------------------------------------------------
struct Account {
  const char* code;        // dotted PUC code; summary accounts end in '.'
  const char* name;        // Windows-1252
  double withholding;      // POR_RET, in percent
  const char* aplica;      // "" for the accounts in use
  const char* formatCode;  // assignment of the demo company, "" when none
  const char* conceptCode;
};
const std::vector<Account>& chartOfAccounts();
const Account& account(std::string_view code);  // REQUIRES: a code of the chart

// --- Directory of third parties ------------------------------------------------------------------
enum class Role : std::uint8_t {
  Customer,
  Supplier,
  SmallSupplier,
  ForeignSupplier,
  Employee,
  Professional,
  Landlord,
  Bank,
  SocialSecurity,
  Government,
  Partner,
  VatPseudo,
};

struct ThirdParty {
  std::string key;  // CLAVE, 5 characters
  Role role;
  std::string name;       // Windows-1252
  std::string structure;  // ESTR_NOMB
  std::string personType, documentType, identification, address, phone, city;
  std::string department, municipality, country, email, note;
  bool withholdsVat = false;  // customers that are large taxpayers withhold VAT on purchases
};

// Third parties of a company: `count` of them in the roles a trading company has, with the VAT
// pseudo third parties and deliberate defects of the kinds the validation looks for.
std::vector<ThirdParty> makeDirectory(Random& random, std::size_t count);
// The DIAN check digit of an identification number.
char checkDigit(std::string_view digits);

// --- Movements -----------------------------------------------------------------------------------
struct LedgerPlan {
  std::string folder;  // the company-year's data folder (created)
  LedgerCharset charset = LedgerCharset::Oem850;
  int year = 2010;
  int lastMonth = 12;
  std::uint64_t lines = 20000;  // approximate movement lines of the year
  std::uint64_t seed = 1;
};

// The code-page mark of the ledger's tables in `charset`, and a Windows-1252 text as they hold it.
std::uint8_t charsetMark(LedgerCharset charset);
std::string inCharset(LedgerCharset charset, std::string_view ansi);

struct LedgerSummary {
  std::array<std::uint64_t, 13> linesByPeriod{};
  std::size_t accounts = 0;
  std::size_t thirdParties = 0;
  std::uint64_t lines() const {
    std::uint64_t n = 0;
    for (std::uint64_t l : linesByPeriod) n += l;
    return n;
  }
};

// Writes the whole ledger of one company-year into plan.folder: "VRMAE.DBF" + "VRMAEX1.CDX",
// "VRNOM.DBF" + "VRNOM.FPT" + "VRNOMX1.CDX", "VRDIR.DBF" + "VRDIR.FPT" + "VRDIRX1.CDX" and
// "VRTRACON.00" to "VRTRACON." + lastMonth.
LedgerSummary writeLedger(const LedgerPlan& plan);

// Writes the period files; called by writeLedger. Returns the lines of each period.
std::array<std::uint64_t, 13> writeMovements(const LedgerPlan& plan,
                                             const std::vector<ThirdParty>& directory,
                                             Random& random);

// Sets the date of last update in a DBF header, so that files do not depend on the day they were
// written.
void stampTable(const std::string& path, int year, int month, int day);

}  // namespace exo::demo

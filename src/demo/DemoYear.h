// Internal to the demo installation: the writer of one company-year's period files, shared by
// the voucher generators (DemoMovements.cpp) and the year's calendar (DemoYear.cpp).
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "demo/DemoLedger.h"
#include "store/Dbf.h"

namespace exo::demo {

inline const std::vector<store::FieldDef> kMovementFields = {
    {"TIPO_COMP", 'C', 2, 0},  {"COMPROBA", 'C', 8, 0}, {"FECHA", 'D', 8, 0},
    {"CODIGO", 'C', 20, 0},    {"CTA_DIR", 'C', 5, 0},  {"DETALLE", 'C', 40, 0},
    {"MONTO", 'N', 16, 2},     {"TIPO", 'C', 2, 0},     {"CEN_COS", 'C', 4, 0},
    {"DOCUMENTO", 'C', 12, 0}, {"FEC_VENC", 'D', 8, 0}, {"VLR_BASE", 'N', 16, 2},
    {"USUARIO", 'C', 8, 0}};

struct Line {
  const char* code;
  const ThirdParty* party;  // null: no third party
  double amount;            // debit positive
  const char* tipo = "";
  double base = 0;
  std::string detail = {};
};

inline double pct(double value, double percent) { return std::round(value * percent / 100.0); }

// The open items of a receivable or payable account, paid first in, first out.
struct OpenItem {
  const ThirdParty* party;
  const char* code;
  double amount;
  int month;
};

// Voucher numbers the ledger gives its opening and closing entries.
inline const std::string kOpening = "INICIO  ";
inline const std::string kClosing = "CIERRE  ";

class YearWriter {
 public:
  YearWriter(const LedgerPlan& plan, const std::vector<ThirdParty>& directory, Random& random)
      : m_plan(plan), m_random(random) {
    for (const ThirdParty& t : directory) m_byRole[static_cast<int>(t.role)].push_back(&t);
    m_vatOut = &directory[directory.size() - 2];
    m_vatIn = &directory.back();
    const auto& emp = parties(Role::Employee);
    for (std::size_t i = 0; i < emp.size(); ++i) {
      m_salary.push_back(m_random.chance(70) ? m_random.amount(515000, 1800000)
                                             : m_random.amount(1800000, 9000000));
      if (i % 5 == 0) m_salespeople.push_back(emp[i]);
    }
  }

  std::array<std::uint64_t, 13> run();

 private:
  const std::vector<const ThirdParty*>& parties(Role r) { return m_byRole[static_cast<int>(r)]; }
  const ThirdParty* any(Role r) { return m_random.pick(parties(r)); }
  const ThirdParty* bank(int i) { return parties(Role::Bank)[static_cast<std::size_t>(i)]; }
  const char* bankAccount(int i) {
    static const char* kAccounts[] = {"1.1.10.05.01", "1.1.10.05.02", "1.1.20.05"};
    return kAccounts[i];
  }

  void openPeriod(int period);
  void closePeriod();
  std::string nextNumber(const char* type);
  void voucher(const char* type, const std::string& number, int day, const std::vector<Line>& lines,
               const std::string& document = {}, int dueDays = 0);
  int day() {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return static_cast<int>(m_random.range(1, kDays[m_month - 1]));
  }

  void opening();
  void monthly();
  void sale();
  void purchase(bool small);
  void purchaseLarge() { purchase(false); }
  void purchaseSmall() { purchase(true); }
  void service();
  void fee(const ThirdParty* professional, double amount);
  void professionalFee() { fee(any(Role::Professional), m_random.amount(800000, 12000000)); }
  void rent(const ThirdParty* landlord, double amount);
  void foreignService();
  void receipt();
  void payment();
  void bankNote();
  void payroll();
  void taxPayments();
  void closing();

  const LedgerPlan& m_plan;
  Random& m_random;
  std::map<int, std::vector<const ThirdParty*>> m_byRole;
  const ThirdParty* m_vatOut;
  const ThirdParty* m_vatIn;
  std::vector<double> m_salary;
  std::vector<const ThirdParty*> m_salespeople;
  std::deque<OpenItem> m_receivable, m_payable;
  std::map<std::string, double> m_withheld;  // withholdings of the month, per account
  // Totals of the income, expense and cost accounts per (account, party key), for the closing.
  std::map<std::pair<std::string, std::string>, double> m_results;
  std::map<std::string, std::uint32_t> m_numbers;
  std::unique_ptr<store::Dbf> m_table;
  std::vector<char> m_record;
  std::uint64_t m_lines = 0;
  int m_month = 0;
};

}  // namespace exo::demo

// The demo company's calendar: opening balances, the monthly round of payroll, rents, fees,
// depreciation and tax payments, the mix of daily vouchers up to the wanted size, and the closing.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "demo/DemoYear.h"
#include "store/Dictionary.h"

namespace exo::demo {

void YearWriter::opening() {
  std::vector<Line> lines;
  double total = 0;
  auto add = [&](const char* code, const ThirdParty* p, double amount) {
    lines.push_back({code, p, amount});
    total += amount;
  };
  add("1.1.10.05.01", bank(0), m_random.amount(20000000, 300000000));
  add("1.1.10.05.02", bank(1), m_random.amount(5000000, 80000000));
  add("1.1.20.05", bank(2), m_random.amount(5000000, 50000000));
  add("1.1.05.05", nullptr, m_random.amount(500000, 5000000));
  add("1.4.35.05", nullptr, m_random.amount(50000000, 900000000));
  add("1.5.24.05", nullptr, 85000000);
  add("1.5.92.10", nullptr, -32000000);
  for (const ThirdParty* c : parties(Role::Customer)) {
    if (!m_random.chance(25)) continue;
    const double a = m_random.amount(200000, 30000000);
    add("1.3.05.05", c, a);
    m_receivable.push_back({c, "1.3.05.05", a, 0});
  }
  for (const ThirdParty* s : parties(Role::Supplier)) {
    if (!m_random.chance(25)) continue;
    const double a = m_random.amount(300000, 40000000);
    add("2.2.05.05", s, -a);
    m_payable.push_back({s, "2.2.05.05", a, 0});
  }
  add("2.1.05.10", bank(0), -m_random.amount(50000000, 200000000));
  add("2.4.04.05", parties(Role::Government)[0], -m_random.amount(10000000, 60000000));
  for (const ThirdParty* p : parties(Role::Partner))
    add("3.1.05.05", p, -m_random.amount(50000000, 250000000));
  lines.push_back({"1.3.80.95", parties(Role::Partner)[0], 0, "", 0, "SALDO CANCELADO"});
  lines.push_back({"3.7.05.05", nullptr, -total, "", 0, "UTILIDADES ACUMULADAS"});
  voucher("SI", kOpening, 1, lines);
  // Reclassifications of the previous year kept in the opening period: not opening balances.
  const ThirdParty* a = any(Role::Customer);
  const ThirdParty* b = any(Role::Customer);
  const double x = m_random.amount(100000, 5000000);
  voucher("AJ", nextNumber("AJ"), 1,
          {{"1.3.05.05", a, x, "", 0, "RECLASIFICACION SALDO"},
           {"1.3.05.05", b, -x, "", 0, "RECLASIFICACION SALDO"}});
}

void YearWriter::payroll() {
  const auto& employees = parties(Role::Employee);
  const auto& ss = parties(Role::SocialSecurity);  // 2 EPS, 2 funds, ARP, caja, ICBF, SENA
  std::vector<Line> lines, pay;
  // Per entity: what the employees had deducted and what the company owes on top.
  double deducted[8] = {}, employer[8] = {};
  double base = 0, netTotal = 0;
  for (std::size_t i = 0; i < employees.size(); ++i) {
    const ThirdParty* e = employees[i];
    const double salary = m_salary[i];
    const double aid = salary <= 1030000 ? 61500 : 0;
    const double health = pct(salary, 4), pension = pct(salary, 4);
    const double rf = salary > 3500000 ? pct(salary, 5) : 0;
    const double net = salary + aid - health - pension - rf;
    lines.push_back({i % 5 == 0 ? "5.2.05.06" : "5.1.05.06", e, salary});
    if (aid != 0) lines.push_back({"5.1.05.27", e, aid});
    lines.push_back({"2.3.70.05", ss[i % 2], -health, "", 0, "SALUD EMPLEADO"});
    lines.push_back({"2.3.80.15", ss[2 + i % 2], -pension, "", 0, "PENSION EMPLEADO"});
    if (rf != 0) lines.push_back({"2.3.65.05", e, -rf, "RF", salary});
    lines.push_back({"2.5.05.01", e, -net});
    pay.push_back({"2.5.05.01", e, net, "", 0, "PAGO NOMINA"});
    deducted[i % 2] += health;
    deducted[2 + i % 2] += pension;
    employer[i % 2] += pct(salary, 8.5);
    employer[2 + i % 2] += pct(salary, 12);
    base += salary;
    netTotal += net;
    m_withheld["2.3.65.05"] += rf;
  }
  employer[4] = pct(base, 0.522);
  employer[5] = pct(base, 4);
  employer[6] = pct(base, 3);
  employer[7] = pct(base, 2);
  static const char* kExpense[8] = {"5.1.05.69", "5.1.05.69", "5.1.05.70", "5.1.05.70",
                                    "5.1.05.68", "5.1.05.72", "5.1.05.75", "5.1.05.78"};
  static const char* kLiability[8] = {"2.3.70.05", "2.3.70.05", "2.3.80.15", "2.3.80.15",
                                      "2.3.70.06", "2.3.70.10", "2.3.70.10", "2.3.70.10"};
  std::vector<Line> contributions;
  double paid = 0;
  for (int k = 0; k < 8; ++k) {
    if (employer[k] == 0) continue;
    lines.push_back({kExpense[k], ss[k], employer[k], "", 0, "APORTES PATRONALES"});
    lines.push_back({kLiability[k], ss[k], -employer[k], "", 0, "APORTES PATRONALES"});
    contributions.push_back(
        {kLiability[k], ss[k], employer[k] + deducted[k], "", 0, "PAGO APORTES"});
    paid += employer[k] + deducted[k];
  }
  const int last = m_month == 2 ? 28 : 30;
  voucher("NO", nextNumber("NO"), last, lines);
  pay.push_back({bankAccount(0), nullptr, -netTotal, "", 0, "PAGO NOMINA"});
  voucher("EG", nextNumber("EG"), last, pay);
  contributions.push_back({bankAccount(0), nullptr, -paid, "", 0, "PAGO PLANILLA APORTES"});
  voucher("EG", nextNumber("EG"), last, contributions);
}

// The withholdings of the previous month are paid to the tax office, and the municipal tax is
// accrued.
void YearWriter::taxPayments() {
  const ThirdParty* dian = parties(Role::Government)[0];
  const ThirdParty* city = parties(Role::Government)[1];
  std::vector<Line> lines;
  double total = 0;
  for (const auto& [code, amount] : m_withheld) {
    if (amount == 0) continue;
    lines.push_back({code.c_str(), dian, amount, "", 0, "PAGO RETENCIONES"});
    total += amount;
  }
  if (total != 0) {
    lines.push_back({bankAccount(1), nullptr, -total, "", 0, "PAGO RETENCIONES"});
    voucher("EG", nextNumber("EG"), 18, lines);
  }
  m_withheld.clear();
  const double ica = m_random.amount(300000, 3000000);
  voucher("CG", nextNumber("CG"), 28,
          {{"5.1.15.05", city, ica, "", 0, "PROVISION ICA"}, {"2.4.12.05", city, -ica}});
}

void YearWriter::monthly() {
  if (m_month > 1) taxPayments();
  payroll();
  const auto& landlords = parties(Role::Landlord);
  for (std::size_t i = 0; i < landlords.size(); ++i)
    rent(landlords[i], 1500000.0 + 250000.0 * static_cast<double>(i % 12));
  fee(parties(Role::Professional)[0], 2800000);  // the statutory auditor
  voucher("DP", nextNumber("DP"), 30,
          {{"5.1.60.15", nullptr, 708333, "", 0, "DEPRECIACION DEL MES"},
           {"1.5.92.10", nullptr, -708333, "", 0, "DEPRECIACION DEL MES"}});
}

void YearWriter::closing() {
  std::vector<Line> lines;
  double total = 0;
  std::map<std::string, const ThirdParty*> byKey;
  for (const auto& [role, list] : m_byRole)
    for (const ThirdParty* t : list) byKey[t->key] = t;
  for (const auto& [key, amount] : m_results) {
    if (amount == 0) continue;
    const auto p = byKey.find(key.second);
    lines.push_back({key.first.c_str(), p == byKey.end() ? nullptr : p->second, -amount, "", 0,
                     "CIERRE DEL EJERCICIO"});
    total += amount;
  }
  lines.push_back({"3.6.05.05", nullptr, total, "", 0, "UTILIDAD DEL EJERCICIO"});
  voucher("CI", kClosing, 31, lines);
}

std::array<std::uint64_t, 13> YearWriter::run() {
  std::array<std::uint64_t, 13> counts{};
  openPeriod(0);
  opening();
  counts[0] = m_lines;
  closePeriod();
  const std::uint64_t target = m_plan.lines > counts[0] ? m_plan.lines - counts[0] : 0;
  const std::uint64_t perMonth = std::max<std::uint64_t>(40, target / 12);
  struct Kind {
    int weight;
    void (YearWriter::*make)();
  };
  const Kind kinds[] = {{40, &YearWriter::sale},           {14, &YearWriter::purchaseLarge},
                        {6, &YearWriter::purchaseSmall},   {10, &YearWriter::service},
                        {3, &YearWriter::professionalFee}, {1, &YearWriter::foreignService},
                        {30, &YearWriter::receipt},        {28, &YearWriter::payment},
                        {3, &YearWriter::bankNote}};
  int totalWeight = 0;
  for (const Kind& k : kinds) totalWeight += k.weight;
  for (int month = 1; month <= m_plan.lastMonth; ++month) {
    openPeriod(month);
    monthly();
    while (m_lines < perMonth) {
      int n = static_cast<int>(m_random.below(static_cast<std::uint32_t>(totalWeight)));
      for (const Kind& k : kinds) {
        if (n < k.weight) {
          (this->*k.make)();
          break;
        }
        n -= k.weight;
      }
    }
    if (month == 12) closing();
    counts[static_cast<std::size_t>(month)] = m_lines;
    closePeriod();
  }
  return counts;
}

std::array<std::uint64_t, 13> writeMovements(const LedgerPlan& plan,
                                             const std::vector<ThirdParty>& directory,
                                             Random& random) {
  YearWriter writer(plan, directory, random);
  return writer.run();
}

}  // namespace exo::demo

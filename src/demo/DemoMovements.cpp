// The demo company's year of vouchers, one period file per month: opening balances, sales
// invoices with VAT, withholdings and salespeople's commissions, purchases of goods and services,
// fees, rents, payroll, receipts and payments, bank notes, tax payments, depreciation, and the
// year-end closing. Every voucher balances.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "demo/DemoYear.h"
#include "expr/Codepage.h"
#include "store/Dictionary.h"
#include "store/FieldCodec.h"

namespace exo::demo {

void YearWriter::openPeriod(int period) {
  m_month = period == 0 ? 1 : period;
  const std::string path =
      (std::filesystem::path(m_plan.folder) / store::ledgerPeriodFile(period)).string();
  m_table = std::make_unique<store::Dbf>(
      store::Dbf::create(path, kMovementFields, {false, false, 2000}, charsetMark(m_plan.charset)));
  m_record.assign(m_table->recordLength(), ' ');
  m_lines = 0;
}

void YearWriter::closePeriod() {
  const std::string path = m_table->path();
  m_table->close();
  m_table.reset();
  stampTable(path, m_plan.year + (m_month == 12 ? 1 : 0), m_month == 12 ? 1 : m_month + 1, 5);
}

std::string YearWriter::nextNumber(const char* type) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08u", ++m_numbers[type]);
  return buf;
}

void YearWriter::voucher(const char* type, const std::string& number, int dayOfMonth,
                         const std::vector<Line>& lines, const std::string& document, int dueDays) {
  store::Dbf& t = *m_table;
  const std::int32_t date = store::julianDay(m_plan.year, m_month, dayOfMonth);
  const char* user = (m_numbers[type] % 3 == 0) ? "CONTADOR" : "AUXILIAR";
  for (const Line& l : lines) {
    std::memset(m_record.data(), ' ', m_record.size());
    char* r = m_record.data();
    t.setText(r, 0, type);
    t.setText(r, 1, number);
    t.setDate(r, 2, date);
    t.setText(r, 3, l.code);
    if (l.party != nullptr) t.setText(r, 4, l.party->key);
    t.setText(r, 5, l.detail.empty() ? inCharset(m_plan.charset, account(l.code).name) : l.detail);
    t.setNumber(r, 6, l.amount);
    t.setText(r, 7, l.tipo);
    t.setText(r, 8, l.code[0] == '5' && l.code[2] == '2' ? "0200" : "0100");
    t.setText(r, 9, document);
    t.setDate(r, 10, dueDays > 0 ? date + dueDays : 0);
    if (l.base != 0) t.setNumber(r, 11, l.base);
    t.setText(r, 12, user);
    t.append(r);
    ++m_lines;
    if (l.code[0] >= '4' && number != kClosing)
      m_results[{l.code, l.party != nullptr ? l.party->key : std::string()}] += l.amount;
  }
}

void YearWriter::sale() {
  static const char* kTypes[] = {"FC", "FC", "FC", "FC", "FC", "FC", "FC", "FE", "FL", "FH"};
  const char* type = kTypes[m_random.below(10)];
  const ThirdParty* c = any(Role::Customer);
  const bool person = c->personType == "N";
  const double s = person ? m_random.amount(80000, 3000000) : m_random.amount(300000, 40000000);
  const bool taxed = m_random.chance(85);
  const double vat = taxed ? pct(s, 16) : 0;
  const double rf = !person && s >= 675000 ? pct(s, 2.5) : 0;
  const double rIva = c->withholdsVat ? pct(vat, 50) : 0;
  const std::string number = nextNumber(type);
  std::vector<Line> lines = {
      {"1.3.05.05", c, s + vat - rf - rIva, "", 0, "FACTURA DE VENTA " + number},
      {taxed ? "4.1.35.05" : "4.1.35.10", c, -s, "VE"}};
  if (taxed) lines.push_back({"2.4.08.01", m_vatOut, -vat, "IV", s});
  if (rf != 0) lines.push_back({"1.3.55.15", c, rf, "RF", s});
  if (rIva != 0) lines.push_back({"1.3.55.17", c, rIva, "RF", vat});
  const double cost = std::round(s * 0.7);
  lines.push_back({"6.1.35.05", nullptr, cost, "CV"});
  lines.push_back({"1.4.35.05", nullptr, -cost, "CV"});
  if (!m_salespeople.empty() && m_random.chance(35)) {
    const ThirdParty* seller = m_random.pick(m_salespeople);
    const double commission = pct(s, 3);
    lines.push_back({"2.3.35.60", seller, -commission, "CO", 0, "COMISION VENDEDOR " + number});
    // The ledger books the expense on the invoice's customer; rarely on the seller already.
    lines.push_back({"5.2.05.18", m_random.chance(90) ? c : seller, commission, "", 0,
                     "COMISION VENTA " + std::string(type) + " " + number});
  }
  voucher(type, number, day(), lines, std::string(type) + "-" + number.substr(2), 30);
  m_receivable.push_back({c, "1.3.05.05", s + vat - rf - rIva, m_month});
}

void YearWriter::purchase(bool small) {
  const ThirdParty* s = any(small ? Role::SmallSupplier : Role::Supplier);
  const double sub = small ? m_random.amount(40000, 450000) : m_random.amount(500000, 45000000);
  const bool common = s->personType == "J";
  const double vat = common ? pct(sub, 16) : 0;
  const double rf = sub >= 675000 ? pct(sub, 2.5) : 0;
  const double rIva = common ? pct(vat, 50) : 0;
  const double net = sub + vat - rf - rIva;
  std::vector<Line> lines = {{common ? "1.4.35.05" : "1.4.35.10", s, sub}};
  if (vat != 0) lines.push_back({"2.4.08.02", m_vatIn, vat, "IV", sub});
  if (rf != 0) lines.push_back({"2.3.65.40", s, -rf, "RF", sub});
  if (rIva != 0) lines.push_back({"2.3.67.05", s, -rIva, "RF", vat});
  m_withheld["2.3.65.40"] += rf;
  m_withheld["2.3.67.05"] += rIva;
  if (small && m_random.chance(30)) {
    lines.push_back({"1.1.05.10", nullptr, -net, "", 0, "PAGO CAJA MENOR"});
  } else {
    lines.push_back({"2.2.05.05", s, -net});
    m_payable.push_back({s, "2.2.05.05", net, m_month});
  }
  voucher("CC", nextNumber("CC"), day(), lines, "FV-" + std::to_string(m_random.range(100, 99999)),
          30);
}

void YearWriter::service() {
  static const char* kAccounts[] = {"5.1.35.05", "5.1.35.25", "5.1.35.30", "5.1.35.35",
                                    "5.1.35.50"};
  const char* code = kAccounts[m_random.below(5)];
  const ThirdParty* s = any(Role::Supplier);
  const double sub = m_random.amount(150000, 12000000);
  const double vat = std::strcmp(code, "5.1.35.25") == 0 ? 0 : pct(sub, 16);
  const double rf = sub >= 100000 ? pct(sub, 4) : 0;
  const double rIva = pct(vat, 50);
  const char* payable = std::strcmp(code, "5.1.35.50") == 0 ? "2.3.35.95" : "2.3.35.50";
  std::vector<Line> lines = {{code, s, sub}};
  if (vat != 0) lines.push_back({"2.4.08.03", m_vatIn, vat, "IV", sub});
  lines.push_back({"2.3.65.25", s, -rf, "RF", sub});
  if (rIva != 0) lines.push_back({"2.3.67.05", s, -rIva, "RF", vat});
  lines.push_back({payable, s, -(sub + vat - rf - rIva)});
  m_withheld["2.3.65.25"] += rf;
  m_withheld["2.3.67.05"] += rIva;
  m_payable.push_back({s, payable, sub + vat - rf - rIva, m_month});
  voucher("CE", nextNumber("CE"), day(), lines, "FV-" + std::to_string(m_random.range(100, 99999)),
          30);
}

void YearWriter::fee(const ThirdParty* p, double amount) {
  static const char* kAccounts[] = {"5.1.10.10", "5.1.10.25", "5.1.10.35"};
  const double rf = pct(amount, 10);
  m_withheld["2.3.65.15"] += rf;
  m_payable.push_back({p, "2.3.35.25", amount - rf, m_month});
  voucher("CD", nextNumber("CD"), day(),
          {{kAccounts[m_random.below(3)], p, amount},
           {"2.3.65.15", p, -rf, "RF", amount},
           {"2.3.35.25", p, -(amount - rf)}},
          "CC-" + p->identification.substr(0, 8));
}

void YearWriter::rent(const ThirdParty* l, double amount) {
  const double rf = pct(amount, 3.5);
  m_withheld["2.3.65.30"] += rf;
  m_payable.push_back({l, "2.3.35.40", amount - rf, m_month});
  voucher("CD", nextNumber("CD"), 1,
          {{"5.1.20.10", l, amount, "", 0, "CANON DE ARRENDAMIENTO"},
           {"2.3.65.30", l, -rf, "RF", amount},
           {"2.3.35.40", l, -(amount - rf)}});
}

void YearWriter::foreignService() {
  const ThirdParty* f = any(Role::ForeignSupplier);
  const double amount = m_random.amount(4000000, 60000000);
  const double rf = pct(amount, 33);
  m_withheld["2.3.65.50"] += rf;
  m_payable.push_back({f, "2.2.10.05", amount - rf, m_month});
  voucher("CE", nextNumber("CE"), day(),
          {{"5.1.10.95", f, amount, "", 0, "SOPORTE TECNICO DEL EXTERIOR"},
           {"2.3.65.50", f, -rf, "RF", amount},
           {"2.2.10.05", f, -(amount - rf)}},
          "INV-" + std::to_string(m_random.range(1000, 9999)));
}

void YearWriter::receipt() {
  if (m_receivable.empty() || m_receivable.front().month >= m_month) return;
  const OpenItem item = m_receivable.front();
  m_receivable.pop_front();
  if (m_random.chance(12)) {  // not collected yet: stays open
    m_receivable.push_back(item);
    return;
  }
  const int b = static_cast<int>(m_random.below(2));
  voucher("RC", nextNumber("RC"), day(),
          {{bankAccount(b), m_random.chance(60) ? bank(b) : nullptr, item.amount, "", 0,
            "CONSIGNACION CLIENTE"},
           {item.code, item.party, -item.amount, "", 0, "ABONO A FACTURA"}});
}

void YearWriter::payment() {
  if (m_payable.empty() || m_payable.front().month >= m_month) return;
  const OpenItem item = m_payable.front();
  m_payable.pop_front();
  if (m_random.chance(10)) {
    m_payable.push_back(item);
    return;
  }
  const int b = static_cast<int>(m_random.below(2));
  const double tax = std::round(item.amount * 0.004);  // tax on bank transactions
  voucher("EG", nextNumber("EG"), day(),
          {{item.code, item.party, item.amount, "", 0, "PAGO FACTURA"},
           {bankAccount(b), nullptr, -item.amount, "", 0, "CHEQUE"},
           {"5.3.05.05", bank(b), tax, "", 0, "GRAVAMEN MOVIMIENTOS FINANCIEROS"},
           {bankAccount(b), bank(b), -tax, "", 0, "GRAVAMEN MOVIMIENTOS FINANCIEROS"}});
}

void YearWriter::bankNote() {
  const int b = static_cast<int>(m_random.below(3));
  if (m_random.chance(50)) {
    const double interest = m_random.amount(20000, 900000);
    const double rf = pct(interest, 7);
    voucher("NB", nextNumber("NB"), day(),
            {{bankAccount(b), bank(b), interest - rf, "", 0, "RENDIMIENTOS FINANCIEROS"},
             {"1.3.55.15", bank(b), rf, "RF", interest},
             {"4.2.10.05", bank(b), -interest}});
  } else {
    const double charge = m_random.amount(8000, 250000);
    voucher("NB", nextNumber("NB"), day(),
            {{"5.3.05.05", bank(b), charge, "", 0, "COMISIONES Y CHEQUERAS"},
             {bankAccount(b), bank(b), -charge}});
  }
}

}  // namespace exo::demo

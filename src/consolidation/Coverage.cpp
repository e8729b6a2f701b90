// The coverage check of the assignments.
#include "consolidation/Coverage.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <unordered_map>

#include "consolidation/Integration.h"
#include "consolidation/Readiness.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "generation/MinorAmounts.h"
#include "import/ImportRun.h"
#include "reports/Workbook.h"
#include "reports/XlsxFile.h"
#include "shell/Paths.h"
#include "shell/RunFiles.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::consolidation {

namespace fs = std::filesystem;
using shell::MessageKind;
using shell::Session;
using store::Engine;

namespace {

constexpr const char* kAmounts = "#,##0.00;-#,##0.00";

using Key = std::pair<int, std::string>;  // format number, concept

// Writes the two sheets of the coverage workbook.
class CoverageBook {
 public:
  explicit CoverageBook(const Session& session) : m_company(trimBlanks(session.empresa())) {
    reports::CellStyle heading;
    heading.bold = true;
    heading.color = reports::kWhite;
    heading.background = 8388608;
    heading.align = 3;
    m_heading = m_book.styleId(heading);
    reports::CellStyle title;
    title.bold = true;
    title.size = 12;
    m_title = m_book.styleId(title);
    reports::CellStyle bold;
    bold.bold = true;
    m_bold = m_book.styleId(bold);
    reports::CellStyle amount;
    amount.numberFormat = kAmounts;
    m_amount = m_book.styleId(amount);
    amount.bold = true;
    m_boldAmount = m_book.styleId(amount);
  }

  void accounts(const CoverageResult& r) {
    reports::Sheet& sh = m_book.active();
    sh.name = "Cuentas sin concepto";
    top(sh, "Cuentas con movimientos de terceros que ning\372n concepto toma");
    text(sh, 3, 1,
         "Movimientos con tercero del a\361o: " + std::to_string(r.partyLines) +
             " l\355neas; en cuentas asignadas: " + std::to_string(r.coveredLines) +
             "; en cuentas sin concepto: " + std::to_string(r.uncoveredLines));
    headings(sh, {"Cuenta", "L\355neas", "D\351bitos", "Cr\351ditos", "Neto"});
    int row = 5;
    for (const UncoveredAccount& a : r.uncovered) {
      ++row;
      text(sh, row, 1, a.account);
      m_book.setNumber(sh, row, 2, static_cast<double>(a.lines));
      amount(sh, row, 3, a.debits);
      amount(sh, row, 4, a.credits);
      amount(sh, row, 5, a.net());
    }
    sh.autoFilter = reports::AutoFilter{{5, 1, row, 5}, 0, {}};
    row += 2;
    const auto line = [&](const std::string& label, std::int64_t lines, double total) {
      text(sh, row, 1, label, m_bold);
      m_book.setNumber(sh, row, 2, static_cast<double>(lines));
      amount(sh, row, 5, total, m_boldAmount);
      ++row;
    };
    line("Total cuentas sin concepto", r.uncoveredLines, r.uncoveredTotal);
    line("Total cuentas asignadas", r.coveredLines, r.coveredTotal);
    line("Movimientos con tercero del a\361o", r.partyLines, r.partyTotal);
    line("Movimientos sin tercero del a\361o", r.withoutPartyLines, r.withoutPartyTotal);
    widths(sh, {22, 10, 18, 18, 18});
  }

  void concepts(const CoverageResult& r) {
    reports::Sheet& sh = m_book.sheets().emplace_back();
    sh.name = "Conceptos";
    top(sh, "Total contable de las cuentas de cada concepto y lo que lleg\363 al formato");
    text(sh, 3, 1,
         "Total contable = sin tercero + excluido por filtros + integrado al formato. Las "
         "cuant\355as menores son parte de lo integrado.");
    headings(sh, {"Formato", "Concepto", "Cuentas", "Total contable", "Sin tercero",
                  "Excluido por filtros", "Integrado al formato", "L\355neas integradas",
                  "Cuant\355as menores", "L\355neas sin tercero"});
    int row = 5;
    for (const ConceptCoverage& c : r.concepts) {
      ++row;
      text(sh, row, 1, store::formatCode(c.format));
      text(sh, row, 2, c.conceptCode);
      m_book.setNumber(sh, row, 3, static_cast<double>(c.accounts));
      amount(sh, row, 4, c.ledger);
      amount(sh, row, 5, c.withoutParty);
      amount(sh, row, 6, c.filtered());
      amount(sh, row, 7, c.integrated);
      m_book.setNumber(sh, row, 8, static_cast<double>(c.integratedLines));
      amount(sh, row, 9, c.minor);
      m_book.setNumber(sh, row, 10, static_cast<double>(c.withoutPartyLines));
    }
    sh.autoFilter = reports::AutoFilter{{5, 1, row, 10}, 0, {}};
    widths(sh, {10, 10, 9, 18, 18, 18, 18, 10, 18, 10});
  }

  void doubles(const CoverageResult& r) {
    reports::Sheet& sh = m_book.sheets().emplace_back();
    sh.name = "Cuentas en dos conceptos";
    top(sh, "Cuentas asignadas a m\341s de un concepto de un formato (1001 a 1009)");
    text(sh, 3, 1, "Sus movimientos se informan una vez en cada concepto.");
    headings(sh, {"Formato", "Cuenta", "Conceptos"});
    int row = 5;
    for (const DoubleAssignment& d : r.doubles) {
      ++row;
      std::string concepts;
      for (const std::string& c : d.concepts) concepts += (concepts.empty() ? "" : ", ") + c;
      text(sh, row, 1, d.format);
      text(sh, row, 2, d.account);
      text(sh, row, 3, concepts);
    }
    widths(sh, {10, 22, 30});
  }

  std::string save(const fs::path& file) { return reports::saveXlsx(m_book, file); }

 private:
  void text(reports::Sheet& sh, int row, int col, const std::string& value,
            std::uint32_t style = 0) {
    m_book.setText(sh, row, col, value);
    sh.at(row, col).style = style;
  }
  void amount(reports::Sheet& sh, int row, int col, double value, std::uint32_t style = 0) {
    m_book.setNumber(sh, row, col, std::round(value * 100) / 100);
    sh.at(row, col).style = style == 0 ? m_amount : style;
  }
  void top(reports::Sheet& sh, const std::string& title) {
    text(sh, 1, 1, title, m_title);
    text(sh, 2, 1, m_company, m_bold);
  }
  void headings(reports::Sheet& sh, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i)
      text(sh, 5, static_cast<int>(i) + 1, names[i], m_heading);
  }
  void widths(reports::Sheet& sh, const std::vector<double>& w) {
    for (std::size_t i = 0; i < w.size(); ++i) sh.columnWidths[static_cast<int>(i) + 1] = w[i];
  }

  std::string m_company;
  reports::Workbook m_book;
  std::uint32_t m_heading = 0, m_title = 0, m_bold = 0, m_amount = 0, m_boldAmount = 0;
};

}  // namespace

fs::path coverageWorkbookPath(const Session& session) {
  std::string output(trimBlanks(session.dirSalida()));
  while (!output.empty() && output.back() == '\\') output.pop_back();
  return shell::entryPath(shell::entryPath(session.companyFolder(), output),
                          shell::companyFolderName(session.celPath()) + "-Cobertura.xlsx");
}

CoverageResult coverageReport(Session& session, Engine& engine) {
  CoverageResult result;
  Interp& ip = session.interp();
  shell::UserInterface& ui = session.ui();
  const fs::path folder = session.companyFolder();
  const std::string work = folder.string();
  result.workbook = coverageWorkbookPath(session);

  if (!shell::findEntry(folder, store::kYearMovements)) {
    ui.message(MessageKind::Alert, import::kAttention, import::kImportFirst);
    return result;
  }
  if (!shell::findEntry(folder, store::kAssignments)) {
    ui.message(MessageKind::Alert, import::kAttention, kNoAssignments);
    return result;
  }
  for (int n = 1; n <= 12; ++n)
    if (!CHEQUEATODO(session, n)) return result;

  shell::FailureWatch watch(ip);
  shell::OpenAreas areas(engine);
  shell::WaitMessage wait(session, "Revisando la cobertura de los conceptos. Por favor espere...");

  // The assignments by account, and the accounts of each concept.
  std::unordered_map<std::string, std::vector<Key>> byAccount;
  std::map<Key, ConceptCoverage> concepts;
  const int codes =
      areas.adopt(store::openCompanyTable(engine, work, store::kAssignments, "COBCOD"));
  if (codes == 0 || watch.failed()) return result;
  engine.forEach(codes, [&] {
    const auto number = store::formatNumberOf(engine.text(codes, "FORMATO"));
    const std::string account(trimBlanks(engine.text(codes, "COD_CONT")));
    if (!number || account.empty()) return true;
    const Key key{*number, std::string(trimBlanks(engine.text(codes, "CONCEPTO")))};
    auto& keys = byAccount[account];
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) return true;
    keys.push_back(key);
    ConceptCoverage& c = concepts[key];
    c.format = key.first;
    c.conceptCode = key.second;
    ++c.accounts;
    return !watch.failed();
  });
  if (watch.failed()) return result;

  // The year's lines without a third party, as the movement import totalled them per account:
  // part of the ledger total of every concept that takes the account.
  if (const auto file = shell::findEntry(folder, store::kLinesWithoutParty)) {
    const int lines = areas.open(file->string(), "COBSINTER", true, true);
    if (lines == 0 || watch.failed()) return result;
    engine.forEach(lines, [&] {
      const std::string account(trimBlanks(engine.text(lines, "CODIGO")));
      const double monto = engine.number(lines, "MONTO");
      const auto count = static_cast<std::int64_t>(engine.number(lines, "LINEAS"));
      result.withoutPartyLines += count;
      result.withoutPartyTotal += monto;
      if (const auto found = byAccount.find(account); found != byAccount.end()) {
        for (const Key& key : found->second) {
          ConceptCoverage& c = concepts[key];
          c.ledger += monto;
          c.withoutParty += monto;
          c.withoutPartyLines += count;
        }
      }
      return !watch.failed();
    });
    if (watch.failed()) return result;
  }

  // The year's movements: third-party lines covered or not, and the ledger total per concept.
  std::map<std::string, UncoveredAccount> uncovered;
  const int year =
      areas.open(shell::entryPath(folder, store::kYearMovements).string(), "COBMOV", true, true);
  if (year == 0 || watch.failed()) return result;
  std::int64_t seen = 0;
  engine.forEach(year, [&] {
    if (++seen % 5000 == 0) ui.pumpEvents();
    const std::string account(trimBlanks(engine.text(year, "CODIGO")));
    const bool withParty = !isWhiteText(engine.text(year, "CTA_DIR"));
    const double monto = engine.number(year, "MONTO");
    const auto found = byAccount.find(account);
    if (found != byAccount.end()) {
      for (const Key& key : found->second) {
        ConceptCoverage& c = concepts[key];
        c.ledger += monto;
        if (!withParty) {
          c.withoutParty += monto;
          ++c.withoutPartyLines;
        }
      }
    }
    if (!withParty) return !watch.failed();
    ++result.partyLines;
    result.partyTotal += monto;
    if (found != byAccount.end()) {
      ++result.coveredLines;
      result.coveredTotal += monto;
    } else {
      UncoveredAccount& a = uncovered[account];
      a.account = account;
      ++a.lines;
      (monto >= 0 ? a.debits : a.credits) += monto;
      ++result.uncoveredLines;
      result.uncoveredTotal += monto;
    }
    return !watch.failed();
  });
  if (watch.failed()) return result;

  // What reached each format movement table, and the part under the concept's threshold.
  for (int n = 1; n <= 12; ++n) {
    const std::string code = store::formatCode(n);
    shell::OpenAreas table(engine);
    const int rows = table.open(shell::entryPath(folder, store::formatTableFile(code)).string(),
                                "COBTRF", true, true);
    if (rows == 0 || watch.failed()) return result;
    engine.forEach(rows, [&] {
      const std::string conc(trimBlanks(engine.text(rows, "CONC")));
      const double monto = engine.number(rows, "MONTO");
      ConceptCoverage& c = concepts[Key{n, conc}];
      c.format = n;
      c.conceptCode = conc;
      c.integrated += monto;
      ++c.integratedLines;
      return !watch.failed();
    });
    if (watch.failed()) return result;
    // The minor amounts as the builder gathers them: one threshold per third party over the
    // format, its total signed by nature; the amount of each concept's minor-amounts record.
    for (const auto& [conc, amount] : generation::minorAmountsByConcept(engine, rows, n))
      concepts[Key{n, conc}].minor = amount;
    if (watch.failed()) return result;
  }

  for (auto& [account, a] : uncovered) result.uncovered.push_back(std::move(a));
  std::stable_sort(result.uncovered.begin(), result.uncovered.end(),
                   [](const UncoveredAccount& x, const UncoveredAccount& y) {
                     return x.debits - x.credits > y.debits - y.credits;
                   });
  for (auto& [key, c] : concepts) result.concepts.push_back(std::move(c));
  result.doubles = doubleAssignments(folder);

  CoverageBook book(session);
  book.accounts(result);
  book.concepts(result);
  book.doubles(result);
  std::error_code ec;
  fs::create_directories(result.workbook.parent_path(), ec);
  if (const std::string error = book.save(result.workbook); !error.empty()) {
    ui.message(MessageKind::Error, "Error.....",
               "No se pudo escribir el libro " + result.workbook.string() + ": " + error);
    return result;
  }
  result.done = true;
  return result;
}

}  // namespace exo::consolidation

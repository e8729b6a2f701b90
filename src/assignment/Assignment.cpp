// The assignment dialog's rules: the detail-account rule, the chart in memory, adding, changing
// and deleting assignments and the picker's search.
#include "assignment/Assignment.h"

#include <cstdio>
#include <map>

#include "consolidation/IntegrationState.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace exo::assignment {

namespace fs = std::filesystem;
using shell::MessageKind;

namespace {

constexpr const char* kAttention = "Atenci\363n.....";
constexpr std::size_t kCodeWidth = 20;    // COD_CONT
constexpr std::size_t kNameWidth = 40;    // DETALLE, and the part of a name the chart keeps
constexpr std::size_t kSearchWidth = 40;  // the search field

std::string padded(std::string_view s, std::size_t width) {
  std::string out(s.substr(0, width));
  out.resize(width, ' ');
  return out;
}

bool contains(std::string_view text, std::string_view part) {
  return upper1252(text).find(part) != std::string::npos;
}

}  // namespace

bool isSummaryAccount(std::string_view code) {
  const std::string_view t = trimRight(code);
  return !t.empty() && t.back() == '.';
}

bool VALIDACODCONT(shell::UserInterface& ui, std::string_view code) {
  if (!isSummaryAccount(code)) return true;
  ui.message(MessageKind::Stop, "Error.....", kInvalidCode);
  return false;
}

AssignmentSession::AssignmentSession(shell::Session& session, store::Engine& engine,
                                     ConceptRef conceptRef)
    : m_session(session),
      m_engine(engine),
      m_concept(std::move(conceptRef)),
      m_previous(engine.selected()) {
  Interp& ip = engine.interp();
  // The format's description, without moving the formats list of the pages.
  if (const int formats = engine.areaOf("Formatos2"); formats != 0) {
    const std::int64_t recno = engine.recNo(formats);
    engine.forEach(formats, [&] {
      if (engine.text(formats, "FORMATO") != m_concept.format) return true;
      m_formatDetail = engine.text(formats, "DETALLE");
      return false;
    });
    engine.goTo(ip, formats, recno);
  }
  const fs::path work = session.companyFolder();
  m_codes = store::openCompanyTable(engine, work.string(), store::kAssignments, kAssignmentsAlias);
  if (m_codes != 0) {
    engine.setOrder(m_codes, "CodiCont");
    const std::string key = m_concept.format + m_concept.code;
    engine.orderScope(ip, m_codes, 0, Value::text(key));
    engine.orderScope(ip, m_codes, 1, Value::text(key));
    engine.goTop(ip, m_codes);
  }
  VRABRE_MM();
  engine.select(m_codes != 0 ? m_codes : m_previous);
}

AssignmentSession::~AssignmentSession() {
  Interp& ip = m_engine.interp();
  for (int area : {m_codes, m_maestro, m_nombre}) {
    if (area == 0 || !m_engine.isUsed(area)) continue;
    try {
      m_engine.close(ip, area);
    } catch (...) {
      // Closing after a failure already reported: the area is gone all the same.
    }
  }
  m_engine.select(m_previous);
}

void AssignmentSession::VRABRE_MM() {
  m_chart.clear();
  Interp& ip = m_engine.interp();
  const fs::path ledger = m_session.native("\\" + m_session.celPath());
  const auto chart = shell::findEntry(ledger, store::kLedgerChart);
  const auto names = shell::findEntry(ledger, store::kLedgerNames);
  if (!chart || !names) {
    m_session.ui().message(MessageKind::Alert, kAttention,
                           "No se encuentra el plan de cuentas de la contabilidad (" +
                               std::string(store::kLedgerChart) + ", " + store::kLedgerNames +
                               ")\r\nen la carpeta de la empresa: la lista de cuentas queda "
                               "vac\355a.");
    return;
  }
  m_maestro = m_engine.open(chart->string(), "MAESTRO", true, true);
  m_nombre = m_engine.open(names->string(), "NOMBRE", true, true);
  if (m_maestro == 0 || m_nombre == 0) return;
  if (shell::findEntry(ledger, store::kLedgerChartIndex)) {
    m_engine.addIndex(m_maestro, store::kLedgerChartIndex);
    const auto orders = m_engine.orders(m_maestro);
    if (!orders.empty()) m_engine.setOrder(m_maestro, orders.front().tag);
  }
  if (shell::findEntry(ledger, store::kLedgerNamesIndex)) {
    m_engine.addIndex(m_nombre, store::kLedgerNamesIndex);
    const auto orders = m_engine.orders(m_nombre);
    if (!orders.empty()) m_engine.setOrder(m_nombre, orders.front().tag);
  }
  m_engine.setFilter(ip, m_maestro, "Empty(APLICA)");
  // In the order of the ledger's tag, worked out from the records: an account whose key the
  // ledger's index lacks is listed all the same.
  for (const std::uint32_t recno : m_engine.recordsInKeyOrder(m_maestro)) {
    m_engine.goTo(ip, m_maestro, recno);
    ChartEntry e;
    e.code = m_engine.text(m_maestro, "CODIGO");
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%5.0f", m_engine.number(m_maestro, "APU_NOM"));
    if (m_engine.seekKey(m_nombre, Value::text(pointer))) {
      const std::string name = m_engine.ledgerText(m_nombre, "NOMBRE");
      e.name = name.substr(0, std::min(name.size(), kNameWidth));
    }
    e.recno = m_engine.recNo(m_maestro);
    const Value marca = m_engine.get(m_maestro, "MARCA");
    e.marca = marca.isLogical() && marca.logical();
    m_chart.push_back(std::move(e));
  }
  m_engine.goTop(ip, m_maestro);
}

std::int64_t AssignmentSession::rowCount() {
  if (m_codes == 0) return 0;
  const std::int64_t n = m_engine.keyCount(m_engine.interp(), m_codes);
  return n < 0 ? 0 : n;
}

bool AssignmentSession::chartShowsRows() const {
  return !m_chart.empty() && !trimBlanks(m_chart.front().code).empty() &&
         !trimBlanks(m_chart.front().name).empty();
}

void AssignmentSession::toggle(int row) {
  if (row < 0 || row >= static_cast<int>(m_chart.size())) return;
  ChartEntry& e = m_chart[static_cast<std::size_t>(row)];
  e.selected = VALIDACODCONT(m_session.ui(), e.code) ? !e.selected : false;
}

bool AssignmentSession::matches(const ChartEntry& e) const {
  const std::string wanted = upper1252(trimBlanks(m_search.text));
  if (m_search.byDescription) return contains(e.name, wanted);
  if (contains(e.code, wanted)) return true;
  // A search made only of digits ("5110") also finds the code written with its dots ("5.1.10").
  if (wanted.find_first_not_of("0123456789") != std::string::npos) return false;
  std::string digits;
  for (char c : e.code)
    if (c != '.') digits += c;
  return contains(digits, wanted);
}

std::optional<int> AssignmentSession::find(std::string_view text, bool byDescription) {
  m_search.text = padded(upper1252(text), kSearchWidth);
  m_search.byDescription = byDescription;
  if (trimBlanks(m_search.text).empty()) return std::nullopt;
  for (std::size_t i = 0; i < m_chart.size(); ++i)
    if (matches(m_chart[i])) return static_cast<int>(i);
  m_session.ui().message(MessageKind::Info, kAttention,
                         std::string(byDescription ? "Ninguna cuenta tiene en su descripci\363n "
                                                   : "Ninguna cuenta tiene en su c\363digo ") +
                             "\"" + std::string(trimBlanks(m_search.text)) + "\".");
  return std::nullopt;
}

std::optional<int> AssignmentSession::findNext(int currentRow) {
  if (trimBlanks(m_search.text).empty()) return std::nullopt;
  for (std::size_t i = static_cast<std::size_t>(currentRow < 0 ? 0 : currentRow + 1);
       i < m_chart.size(); ++i) {
    if (matches(m_chart[i])) return static_cast<int>(i);
  }
  if (currentRow <= 0) return std::nullopt;
  const std::string question = "Norvasta termin\363 de buscar la cadena \"" +
                               std::string(trimBlanks(m_search.text)) +
                               "\".\r\nDesea regrezar al inicio ?";
  if (m_session.ui().ask(kAttention, question, {"   &Si   ", "   &No   "}, 0) == 0) return 0;
  return std::nullopt;
}

int AssignmentSession::rowOfCurrent() {
  if (m_codes == 0 || m_engine.eof(m_codes)) return -1;
  return static_cast<int>(m_engine.keyNo(m_engine.interp(), m_codes)) - 1;
}

int AssignmentSession::INCLCODCON(Mode mode, int currentRow, AccountPicker& picker) {
  if (m_codes == 0) return -1;
  const int entrySelected = m_engine.selected();
  m_search = SearchState{};
  const std::int64_t rows = rowCount();
  const bool hasCurrent = currentRow >= 0 && currentRow < rows;
  if (mode == Mode::Delete) return hasCurrent ? deleteAssignment(currentRow) : -1;
  if (mode == Mode::Change && !hasCurrent) return rows > 0 ? 0 : -1;

  int start = 0;
  if (mode == Mode::Change) {
    m_engine.goToKeyNo(m_codes, currentRow + 1);
    const std::string code = m_engine.text(m_codes, "COD_CONT");
    bool found = false;
    for (std::size_t i = 0; i < m_chart.size() && !found; ++i) {
      if (padded(m_chart[i].code, kCodeWidth) == padded(code, kCodeWidth)) {
        start = static_cast<int>(i);
        found = true;
      }
    }
    if (!found) {
      m_session.ui().message(MessageKind::Alert, kAttention,
                             "C\363digo Contable " + std::string(trimBlanks(code)) +
                                 " no existente en el PUC origen  ");
    }
  }
  const std::optional<int> chosen = picker.pick(*this, mode, start);
  int after = hasCurrent ? currentRow : 0;
  if (chosen) {
    if (mode == Mode::Add) {
      // The cursor goes to the first account added, where the user looks for it.
      const std::string first = addSelected();
      if (!first.empty() && m_engine.seekKey(m_codes, Value::text(first))) after = rowOfCurrent();
    } else if (changeAssignment(currentRow, *chosen)) {
      after = rowOfCurrent();
    }
  }
  for (ChartEntry& e : m_chart) e.selected = false;
  m_search = SearchState{};
  m_engine.select(entrySelected);
  const std::int64_t now = rowCount();
  if (now == 0) return -1;
  return after < 0 ? 0 : static_cast<int>(std::min<std::int64_t>(after, now - 1));
}

int AssignmentSession::deleteAssignment(int currentRow) {
  shell::UserInterface& ui = m_session.ui();
  if (ui.ask(kAttention, "Seguro desea borrar registro.....?", {"   &No   ", "   &Si   "}, 0) != 1)
    return currentRow;
  Interp& ip = m_engine.interp();
  m_engine.goToKeyNo(m_codes, currentRow + 1);
  if (m_engine.eof(m_codes)) return currentRow;
  m_engine.deleteRecord(ip, m_codes);
  m_engine.commit(ip, m_codes);
  const std::int64_t rows = rowCount();
  if (rows == 0) return -1;
  // The remembered position now holds the following row, unless the last row went.
  const std::int64_t position = currentRow + 1;
  const std::int64_t target = position > rows ? rows : position;
  m_engine.goToKeyNo(m_codes, target);
  return static_cast<int>(target) - 1;
}

std::string AssignmentSession::addSelected() {
  Interp& ip = m_engine.interp();
  const std::string prefix = m_concept.format + m_concept.code;
  std::string first;
  // In 1001 to 1009 a movement is reported once per concept that takes its account.
  std::map<std::string, std::string> elsewhere;  // account -> another concept of the format
  if (consolidation::countsEveryConcept(m_concept.format)) {
    for (const consolidation::DoubleAssignment& d :
         consolidation::accountConcepts(m_session.companyFolder(), m_concept.format))
      for (const std::string& c : d.concepts)
        if (c != trimBlanks(m_concept.code)) elsewhere.emplace(d.account, c);
  }
  for (const ChartEntry& e : m_chart) {
    if (!e.selected) continue;
    if (m_maestro != 0) m_engine.goTo(ip, m_maestro, e.recno);
    const std::string key = prefix + padded(e.code, kCodeWidth);
    if (m_engine.seekKey(m_codes, Value::text(key))) continue;
    if (const auto other = elsewhere.find(std::string(trimBlanks(e.code)));
        other != elsewhere.end()) {
      const std::vector<std::string> buttons = {"   &No   ", "   &Si   "};
      const std::string question =
          consolidation::doubleAssignmentQuestion(e.code, other->second, m_concept.format);
      if (m_session.ui().ask("Atenci\363n.....", question, buttons, 0) != 1) continue;
    }
    if (first.empty() || key < first) first = key;
    m_engine.appendBlank(m_codes);
    m_engine.put(m_codes, "COD_CONT", Value::text(padded(e.code, kCodeWidth)));
    m_engine.put(m_codes, "DETALLE", Value::text(padded(e.name, kNameWidth)));
    m_engine.put(m_codes, "FORMATO", Value::text(m_concept.format));
    m_engine.put(m_codes, "CONCEPTO", Value::text(m_concept.code));
    m_engine.put(m_codes, "NATURALEZ", Value::text(m_concept.nature));
    m_engine.commit(ip, m_codes);
  }
  m_engine.goTop(ip, m_codes);
  return first;
}

bool AssignmentSession::changeAssignment(int currentRow, int chartRow) {
  if (chartRow < 0 || chartRow >= static_cast<int>(m_chart.size())) return false;
  const ChartEntry& e = m_chart[static_cast<std::size_t>(chartRow)];
  if (!VALIDACODCONT(m_session.ui(), e.code)) return false;
  Interp& ip = m_engine.interp();
  if (m_maestro != 0) m_engine.goTo(ip, m_maestro, e.recno);
  m_engine.goToKeyNo(m_codes, currentRow + 1);
  if (m_engine.eof(m_codes)) return false;
  m_engine.select(m_codes);
  shell::PROTEGER(ip, 0);
  m_engine.put(m_codes, "COD_CONT", Value::text(padded(e.code, kCodeWidth)));
  m_engine.put(m_codes, "DETALLE", Value::text(padded(e.name, kNameWidth)));
  m_engine.put(m_codes, "FORMATO", Value::text(m_concept.format));
  m_engine.put(m_codes, "CONCEPTO", Value::text(m_concept.code));
  shell::DESPROTEGER(ip);
  m_engine.commit(ip, m_codes);
  return true;
}

}  // namespace exo::assignment

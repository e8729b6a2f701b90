// The ties between ledger accounts and the concepts of a format, kept per company in
// "CodCont.dbf" (alias CodiCont, tags "Codigo" and "CodiCont"): the detail-account rule, the
// chart of the ledger held in memory for the account picker (AELPUC), and the work of the
// assignment dialog of one concept: adding, changing and deleting assignments (INCLCODCON) and
// finding accounts in the picker (BUSCACODCONT, BUSCASIG).
//
// The dialogs only drive these routines. The picker itself is reached through AccountPicker, so
// the same rules run under the desktop's windows and under a test's script.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exo::shell {
class Session;
class UserInterface;
}  // namespace exo::shell
namespace exo::store {
class Engine;
}

namespace exo::assignment {

inline constexpr const char* kAssignmentsAlias = "CodiCont";
inline constexpr const char* kInvalidCode =
    "C\363digo inv\341lido. Debe ser una cuenta de detalle.";

// True when the last non-blank character of the code is '.' (a summary account).
bool isSummaryAccount(std::string_view code);
// VALIDACODCONT: false, after the stop box, for a summary account; true otherwise.
bool VALIDACODCONT(shell::UserInterface& ui, std::string_view code);

// One account of the ledger's chart as the picker lists it.
struct ChartEntry {
  std::string code;  // CODIGO
  std::string name;  // NOMBRE of its name record (40 characters at most), OEM to ANSI
  bool selected = false;
  std::int64_t recno = 0;  // record of the account in the chart
  bool marca = false;      // MARCA: sets the row's shading
};

// The concept an assignment dialog works for (a record of the concepts table).
struct ConceptRef {
  std::string format;  // FORMATO, 4 characters
  std::string code;    // CONCEPTO, 4 characters
  std::string detail;  // DETALLE
  std::string nature;  // TIPO
};

enum class Mode : char { Add = 'N', Change = 'M', Delete = 'E' };

// The search of the picker: the text (40 characters, blank at first) and what it is compared
// with. Kept from one search to the next within one opening of the picker.
struct SearchState {
  std::string text = std::string(40, ' ');
  bool byDescription = false;
};

class AssignmentSession;

// The account picker ("Seleccione Cuenta") as INCLCODCON uses it.
class AccountPicker {
 public:
  virtual ~AccountPicker() = default;
  // Shows the chart of `session` standing on `startRow`; the user marks rows with
  // session.toggle() and searches with session.find() / findNext(). Returns the row the picker
  // stood on when "&Grabar" was pressed, or nothing when it was cancelled.
  virtual std::optional<int> pick(AssignmentSession& session, Mode mode, int startRow) = 0;
};

// One opening of the assignment dialog of a concept (ASIGNACODCONT): "CodCont.dbf" open as
// CodiCont in the order "CodiCont" limited to the concept, and the ledger's chart loaded
// (VRABRE_MM). Everything opened here is closed, and the area selected before is selected
// again, when the object goes away.
class AssignmentSession {
 public:
  AssignmentSession(shell::Session& session, store::Engine& engine, ConceptRef conceptRef);
  ~AssignmentSession();
  AssignmentSession(const AssignmentSession&) = delete;
  AssignmentSession& operator=(const AssignmentSession&) = delete;

  // False when the assignment table could not be opened (the error handler has spoken).
  bool isOpen() const { return m_codes != 0; }
  int area() const { return m_codes; }
  store::Engine& engine() { return m_engine; }
  const ConceptRef& conceptRef() const { return m_concept; }
  // The format's description: DETALLE of the first format record of the concept's format.
  const std::string& formatDescription() const { return m_formatDetail; }
  // Assignments of the concept (the key count of the limited order).
  std::int64_t rowCount();

  // AELPUC.
  std::vector<ChartEntry>& chart() { return m_chart; }
  // The picker shows no rows when the first entry has an empty code or an empty name.
  bool chartShowsRows() const;
  // Enter or double click on a picker row: the flag is inverted when the code passes
  // VALIDACODCONT, and cleared when it does not.
  void toggle(int row);

  // BUSCACODCONT, once the user has typed: keeps the text (upper case, 40 characters) and the
  // choice, and returns the first entry from the top whose code or name contains it. A text of
  // digits only also matches a code written with dots ("5110" finds "5.1.10"). When nothing
  // matches the user is told so.
  std::optional<int> find(std::string_view text, bool byDescription);
  // BUSCASIG: the next entry after `currentRow` that matches. When there is none and the row is
  // not the first, asks whether to go back to the start (row 0 on "Si"). Nothing: stay.
  std::optional<int> findNext(int currentRow);
  SearchState& search() { return m_search; }

  // INCLCODCON: runs `mode` on the assignment at `currentRow` of the grid (-1: none) and returns
  // the row the grid stands on afterwards (-1 when the range is empty).
  int INCLCODCON(Mode mode, int currentRow, AccountPicker& picker);

 private:
  void VRABRE_MM();
  bool matches(const ChartEntry& e) const;
  int rowOfCurrent();
  int deleteAssignment(int currentRow);
  // Adds the marked accounts not yet assigned; the key of the first one added (empty when none).
  std::string addSelected();
  bool changeAssignment(int currentRow, int chartRow);

  shell::Session& m_session;
  store::Engine& m_engine;
  ConceptRef m_concept;
  std::string m_formatDetail;
  int m_previous = 0;
  int m_codes = 0, m_maestro = 0, m_nombre = 0;
  std::vector<ChartEntry> m_chart;
  SearchState m_search;
};

}  // namespace exo::assignment

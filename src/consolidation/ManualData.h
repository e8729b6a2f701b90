// The manual-data tables of formats 1004 (tax discounts), 1010 (partners and shareholders), 1011
// (figures of the tax returns) and 1012 (balances per account, concept and holder): the data the
// ledger movements do not carry, which the user enters in a dialog and the format's generation
// reads. Each table is prepared on the first opening of its dialog and kept from then on with
// the user's entries; the dialogs open it under the alias BaseDatos.
//
// The user's entries cannot be recomputed, so no routine here may lose them: every change is
// written under a record lock at once, a table that is built or rebuilt is written beside under
// a temporary name and renamed into place only when complete, and the compaction of deleted rows
// rewrites the table beside as well.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::consolidation {

inline constexpr const char* kBaseDatosAlias = "BaseDatos";

struct ManualDataResult {
  bool done = false;         // the table is open under BaseDatos
  bool created = false;      // it was made by this call
  int area = 0;              // the BaseDatos area
  std::int64_t rows = 0;     // rows in the table
  std::int64_t removed = 0;  // deleted rows removed for good by the compaction
};

// What REGUL_FORM04, REGUL_FORM10, REGUL_FORM11 and REGUL_FORM12 do before their dialog shows
// (`formatNumber` 4, 10, 11 or 12):
// - 1004, first use: "TrF1004B.dbf" a copy of "TrF1004.dbf" (rows included) with one more row
//   per concept of the format (FORM, CONC, FILTRO := the concept's description); 1011, first
//   use: an empty table with the structure of "TrF1011.dbf" and the same concept rows. Later
//   uses open the table as stored.
// - 1010: created with its index on first use; on later uses compacted (deleted rows removed,
//   index rebuilt). Opened in the order of full names.
// - 1012: on first use built from the format's movement totals per account and concept and the
//   account assignments of the format, one row per assignment; later uses compact it as 1010.
//   Opened in the order of concept and account.
// A format movement table that the preparation needs and that does not exist stops with the
// readiness message.
ManualDataResult prepareManualData(shell::Session& session, store::Engine& engine,
                                   int formatNumber);

// The directory copy opened for the third-party picker, in code order; 0 when it is missing
// (after the message "Debe Importar Movimientos Contables primero").
int openPickerDirectory(shell::Session& session, store::Engine& engine);

struct PartnerImport {
  int added = 0;
  int refreshed = 0;
};
// The multiple picker accepted with the directory codes `codes` (format 1010): for each code in
// ascending order, the partner row with that code is found (or appended with its values at 0)
// and its identification refreshed from the directory record of that code; values are kept.
PartnerImport importPartners(shell::Session& session, store::Engine& engine, int baseArea,
                             int formatNumber, int direcArea, std::vector<std::string> codes);
// The single picker accepted (format 1012): the current row's holder identification is filled
// from the directory record on which `direcArea` stands; the balance is kept.
void fillHolder(store::Engine& engine, int baseArea, int formatNumber, int direcArea);

// BORRASOCIO: asks "Seguro desea borrar ficha ?" ("&No" / "&Si") and on "&Si" marks the current
// row deleted; the area moves to the next row (the previous one at the end). Nothing on an empty
// table. True when a row was deleted.
bool BORRASOCIO(shell::Session& session, store::Engine& engine, int area);

struct RebuildResult {
  bool done = false;
  int area = 0;           // the BaseDatos area (reopened on the new table when done)
  std::int64_t rows = 0;  // rows of the new table
  std::int64_t kept = 0;  // rows that kept their holder's identification
};
// REHACEBASE12: asks "Seguro desea rehacer tabla para Formato 1012 ?"; on "&Si" builds the 1012
// table again from the movements and assignments, every row whose concept and account were in
// the old table keeping its holder (code and identification). The new table replaces the old
// one only when complete: a failure or an interruption leaves the old table open as it was.
RebuildResult REHACEBASE12(shell::Session& session, store::Engine& engine, int area);

// The search of the picker over the directory area (code order).
enum class SearchField { Code, Name, Nit };
// BUSCATERCERO: from the first row, the first whose code, name or identification contains the
// trimmed text as stored (the field is not upper-cased). False, the area back where it was,
// when there is none.
bool BUSCATERCERO(store::Engine& engine, int direcArea, SearchField field, std::string_view text);
// BUSCASIG3O (F3): nothing for an empty text. From the row after the current one onwards, then
// from the top through the whole directory, the first row whose field, upper-cased, contains
// the text. When there is none: back on the starting row, and asked whether to go to the top.
bool BUSCASIG3O(shell::Session& session, store::Engine& engine, int direcArea, SearchField field,
                std::string_view text);

}  // namespace exo::consolidation

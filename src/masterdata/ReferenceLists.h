// What the "General" pages show over the reference tables besides their fields: the display of
// a concept's nature, the choices of the concept filter by format and of the municipality filter
// by department, the fixed list of document types, and the two filters themselves, which limit
// an order by its key range (never by reading the records) and count the rows from its keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exo {
class Interp;
}
namespace exo::store {
class Engine;
}

namespace exo::masterdata {

// "D", "C", "D-C", "C-D" for the nature codes "1" to "4"; "S" (balance) for any other.
std::string natureDisplay(std::string_view tipo);

// "Formato 1001   (Anexo 02)" ... "Formato 1012   (Anexo 12)". REQUIRES: 1 <= number <= 12.
std::string formatCaption(int number);
// The description of the format of code `code` ("1001"...) in the formats table open under
// "Formatos2" (or "Formatos"), trimmed; "" when it is not there. The table keeps its position.
std::string formatDetail(store::Engine& engine, std::string_view code);
// The description of a concept as the user sees it. The reference data keeps one technical row
// for each format that has no DIAN concept, marked "(registro t\351cnico: ...)" in its
// description: such a row shows the format's own description instead. Trimmed.
std::string conceptDetail(std::string_view detail, std::string_view formatDetail);
// conceptDetail of the current record of a concepts table open in `area` (DETALLE, FORMATO).
std::string conceptDetailAt(store::Engine& engine, int area);

// The 13 choices of the concept filter: "Todos los formatos.....", then the 12 format captions.
std::vector<std::string> formatFilterChoices();

// One DIAN document type.
struct DocumentType {
  std::string code;
  std::string description;  // Windows-1252
};
const std::vector<DocumentType>& documentTypes();

// Limits the controlling order of `area` to the keys that begin with `prefix` at both ends of
// its range (an empty prefix clears the range), goes to the first row in range and returns the
// number of keys in range (0 when none).
std::int64_t limitOrder(store::Engine& engine, int area, std::string_view prefix);

// The concept filter: choice 1 shows every concept, choice n (2..13) the concepts of format
// 1000 + (n - 1). Returns the row count.
std::int64_t filterConcepts(store::Engine& engine, int area, int choice);

// ADEPTOS as the department filter offers it: "Todos los departamentos....." then the names as
// stored (trailing blanks kept, so that a name is its whole key prefix).
std::vector<std::string> departmentChoices(Interp& ip);

// FILTRADPTOS: choice 1 shows every municipality, any other the municipalities of that entry of
// ADEPTOS (1-based), sorted by name. Returns the row count.
std::int64_t FILTRADPTOS(store::Engine& engine, int area, int choice);

}  // namespace exo::masterdata

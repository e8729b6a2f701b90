// The third-party record: one record of the ledger's directory of third parties turned into the
// fields a DIAN format needs (document type, identification and check digit, the four name parts
// or the business name, address and location codes) and judged by the six rules of a
// well-formed third party.
//
// The records form a family that shares this behaviour and differs in the rules applied and in
// a few extra fields: TValidTercero (every rule; the directory validation), the partners' record
// (rules 1 to 5) and the record of the format outputs (every rule, with the concept and the
// minor-amounts identification). ThirdPartyBase holds what they share; each member fixes its rule
// set.
#pragma once

#include <array>
#include <bitset>
#include <memory>
#include <string>
#include <string_view>

namespace exo {
class Interp;
}

namespace exo::masterdata {

// TValidTercero and its family: the record built from the directory record on which the work
// area `direcArea` stands (fields CLAVE, NOMBRE, ESTR_NOMB, TP_P, TP_N, DIREC4, DIREC1, C_DPTO,
// C_MNCP, PAIS), in Windows-1252.
struct ThirdPartyRecord {
  std::string ctaDir, tipoP, nit1, nit2, tipoDoc, digVerf;
  std::string priApell, segApell, priNomb, segNomb, razonSoc;
  std::string direccion, codDpto, codMncp, codPais;
  bool lError = false;
  std::string cError;  // six slots joined by "  ;  "
};

// The directory fields a record is built from, as stored (blank-padded), in Windows-1252.
struct DirectoryEntry {
  std::string clave, nombre, estrNomb, tpP, tpN, direc4, direc1, cDpto, cMncp, pais;
};

// Reads directory records from a work area. The field positions are found once per table
// layout; a directory without one of the ten fields raises a failure (once per layout) and the
// field then reads as blank. Texts are converted from the ledger's OEM code page.
class DirectoryReader {
 public:
  explicit DirectoryReader(Interp& ip) : m_ip(ip) {}
  // The record on which `area` stands (not moved). REQUIRES: a table is open in `area`.
  DirectoryEntry read(int area);

 private:
  void locateFields(int area);

  Interp& m_ip;
  int m_area = 0;
  int m_layout = -1;
  std::array<int, 10> m_fields{};
};

// The rules a member of the family applies: bit n - 1 stands for rule n.
using RuleSet = std::bitset<6>;
inline constexpr RuleSet kAllRules{0x3F};
inline constexpr RuleSet kRulesOneToFive{0x1F};

// The separator of the six slots of an error text.
inline constexpr std::string_view kErrorSeparator = "  ;  ";
// The text of rule `rule` (1 to 6). REQUIRES: 1 <= rule <= 6.
std::string_view ruleText(int rule);
// The text of a business name whose structure does not say "0000".
inline constexpr std::string_view kBadNameStructure = "Error en la estrucura del nombre";

// What every member of the family shares: the record, the directory entry it was built from,
// and the operations that fill and judge it.
class ThirdPartyBase {
 public:
  const ThirdPartyRecord& record() const { return m_record; }
  ThirdPartyRecord& record() { return m_record; }
  const DirectoryEntry& source() const { return m_source; }
  RuleSet rules() const { return m_rules; }

  // Judges the record by the member's rules: sets cError (the texts of rules 1, 4, 2, 3, 5 and
  // 6 in that order, a passed or unapplied rule leaving its slot empty, joined by
  // kErrorSeparator) and, when rule 6 fails, blanks the four name parts (60 blanks each).
  // Returns true when a rule failed.
  bool validate();
  // The identification without check digit: for a NIT (document type "31") the text of Nit1
  // before its last hyphen (dots and commas kept), 20 blanks when there is no hyphen; any other
  // document type gives Nit1 unchanged.
  std::string identificationWithoutDigit() const;
  // The check digit written after the last hyphen of a NIT's Nit1, or "" (no hyphen, a blank
  // after it, or another document type).
  std::string writtenCheckDigit() const;
  // Sets the four name parts from the words of NOMBRE and the structure ESTR_NOMB (natural
  // persons), or the business name (anyone else).
  void splitName();

 protected:
  explicit ThirdPartyBase(RuleSet rules) : m_rules(rules) { m_record.cError.assign(50, ' '); }
  // Fills the record from a directory entry and validates it.
  void build(const DirectoryEntry& entry);

 private:
  DirectoryEntry m_source;
  ThirdPartyRecord m_record;
  RuleSet m_rules;
};

// TValidTercero: the record the directory validation judges by all six rules.
class TValidTercero : public ThirdPartyBase {
 public:
  TValidTercero() : ThirdPartyBase(kAllRules) {}

  // New: the record of the directory record on which `direcArea` stands (the area is not
  // moved), filled and validated. REQUIRES: a table is open in `direcArea`.
  static TValidTercero New(Interp& ip, int direcArea);
  // New over an entry already read.
  static TValidTercero New(const DirectoryEntry& entry);

  // ValidaTodo: validate(); its result also goes to lError.
  bool ValidaTodo();
  // SoloNit: identificationWithoutDigit().
  std::string SoloNit() const { return identificationWithoutDigit(); }
  // PoneDigVerif: writtenCheckDigit().
  std::string PoneDigVerif() const { return writtenCheckDigit(); }
  // PoneNombre: splitName().
  void PoneNombre() { splitName(); }
};

// TDatosTercero: the record of the third party of an output record of a format, judged by all
// six rules, with the record's concept and the third party's directory name. A minor-amounts
// record (FORM "Meno") is reported under the generic identification instead (ValidaMonto).
class TDatosTercero : public ThirdPartyBase {
 public:
  TDatosTercero() : ThirdPartyBase(kAllRules) {}

  // The generic identification of the minor amounts.
  static constexpr std::string_view kMinorNit = "222222222";
  static constexpr std::string_view kMinorDocType = "43";
  static constexpr std::string_view kMinorName = "CUANTIAS MENORES";

  // New over the directory entry of the record's third party (blank when it is not in the
  // directory): filled and validated as the family does, then ValidaMonto() with the output
  // record's FORM and the caller's address, department, municipality and country.
  static TDatosTercero New(const DirectoryEntry& entry, std::string_view concepto,
                           std::string_view nombre, std::string_view form, std::string_view address,
                           std::string_view department, std::string_view municipality,
                           std::string_view country);

  // ValidaMonto: for a record whose FORM is "Meno", the generic identification of the minor
  // amounts with the address, department, municipality and country given (the country reduced
  // to its last three characters); any other record is left as it is.
  void ValidaMonto(std::string_view form, std::string_view address, std::string_view department,
                   std::string_view municipality, std::string_view country);

  std::string concepto;  // CONC of the output record
  std::string nombre;    // the directory name of the third party
};

// Registers the classes TValidTercero and TDatosTercero in the expression language:
// TValidTercero():New() builds the record from the work area aliased DIREC;
// TDatosTercero():New(cAddress, cDepartment, cMunicipality, cCountry) builds the record of the
// current record of TRACON (its CONC and CTA_DIR), placing DIREC on its third party. Their
// fields are readable as properties.
void registerThirdPartyClasses(Interp& ip);

// While one lives, TDatosTercero:New keeps each record it builds and gives it again to a later
// New over the same inputs (the output record's CONC, CTA_DIR and FORM, the arguments, the same
// directory area with the same order, filter and record count), still placing the directory on
// the third party as the lookup does (a lookup that lands on another record builds it again). The
// generation of a format holds one around the runs of its definitions, while the directory is open
// read only and the output records are built, so that the workbook and the XML file build each
// third party's record once. Scopes nest: the innermost is used, and its records go with it.
class ThirdPartyMemoScope {
 public:
  explicit ThirdPartyMemoScope(Interp& ip);
  ~ThirdPartyMemoScope();
  ThirdPartyMemoScope(const ThirdPartyMemoScope&) = delete;
  ThirdPartyMemoScope& operator=(const ThirdPartyMemoScope&) = delete;

  struct Memo;

 private:
  Interp& m_ip;
  Memo* m_previous;
  std::unique_ptr<Memo> m_memo;
};

}  // namespace exo::masterdata

// Building a third-party record from a directory record and judging it.
#include "masterdata/ThirdParty.h"

#include <vector>

#include "expr/Arena.h"
#include "expr/Codepage.h"
#include "expr/Failure.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "expr/WorkAreas.h"
#include "masterdata/CheckDigit.h"

namespace exo::masterdata {
namespace {

constexpr std::array<std::string_view, 6> kRuleTexts = {
    "Error 1  -  Datos incompletos",
    "Error 2  -  Digito verificador no corresponde",
    "Error 3  -  Extranj. verifique Tipo Doc.",
    "Error 4  -  Jur\355dico nacional no puede tener Doc. dif. a 31",
    "Error 5  -  Informado nacional no puede tener Doc. 42 \363 43",
    "Error 6  -  Persona natural no puede tener estructura de nombre '0000'",
};

// The slots of an error text, by rule number.
constexpr std::array<int, 6> kSlotOrder = {1, 4, 2, 3, 5, 6};

constexpr std::array<const char*, 10> kDirectoryFields = {
    "CLAVE", "NOMBRE", "ESTR_NOMB", "TP_P", "TP_N", "DIREC4", "DIREC1", "C_DPTO", "C_MNCP", "PAIS"};

constexpr std::size_t kNamePartBlanks = 60;
constexpr std::size_t kNoNitBlanks = 20;

// A field compared with a literal as the language compares texts with exact comparison off:
// only as many characters as the literal has.
bool is(std::string_view field, std::string_view literal) {
  return field.size() >= literal.size() && field.substr(0, literal.size()) == literal;
}

bool isBlank(std::string_view field) { return trimRight(field).empty(); }

// The blank-separated words of a text (runs of blanks are one separator).
std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (i > start) out.push_back(text.substr(start, i - start));
  }
  return out;
}

std::string word(const std::vector<std::string_view>& w, std::size_t n) {
  return n <= w.size() ? std::string(w[n - 1]) : std::string();
}

}  // namespace

std::string_view ruleText(int rule) { return kRuleTexts.at(static_cast<std::size_t>(rule - 1)); }

// --- reading the directory -----------------------------------------------------------------------

void DirectoryReader::locateFields(int area) {
  WorkAreas& w = *m_ip.workAreas();
  m_area = area;
  m_layout = w.layoutId(area);
  for (std::size_t i = 0; i < kDirectoryFields.size(); ++i) {
    m_fields[i] = w.fieldIndex(area, kDirectoryFields[i]);
    if (m_fields[i] >= 0) continue;
    Failure f;
    f.genCode = GenCode::NoVar;
    f.subsystem = "TERCEROS";
    f.subCode = 1000 + static_cast<int>(GenCode::NoVar);
    f.severity = Severity::Error;
    f.description =
        std::string("El directorio de terceros no tiene el campo ") + kDirectoryFields[i];
    f.operation = w.aliasOf(area);
    f.canDefault = true;
    // Looked for again on the next read, which reports it again.
    m_layout = -1;
    m_ip.raise(std::move(f));
  }
}

DirectoryEntry DirectoryReader::read(int area) {
  WorkAreas& w = *m_ip.workAreas();
  if (area != m_area || w.layoutId(area) != m_layout) locateFields(area);
  std::array<std::string, 10> v;
  ArenaScope scope(m_ip.arena());
  const std::uint8_t mark = w.codePageMark(area);
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (m_fields[i] < 0) continue;
    const Value value = w.getField(m_ip, area, m_fields[i]);
    if (value.isText()) v[i] = ledgerText(mark, value.textView());
  }
  return {std::move(v[0]), std::move(v[1]), std::move(v[2]), std::move(v[3]), std::move(v[4]),
          std::move(v[5]), std::move(v[6]), std::move(v[7]), std::move(v[8]), std::move(v[9])};
}

// --- the shared behaviour ------------------------------------------------------------------------

void ThirdPartyBase::build(const DirectoryEntry& entry) {
  m_source = entry;
  ThirdPartyRecord& r = m_record;
  r.ctaDir = entry.clave;
  splitName();
  r.tipoP = entry.tpP;
  r.nit1 = entry.direc4;
  r.tipoDoc = entry.tpN;
  r.nit2 = identificationWithoutDigit();
  r.digVerf = writtenCheckDigit();
  r.direccion = entry.direc1;
  r.codDpto = entry.cDpto;
  r.codMncp = entry.cMncp;
  r.codPais = entry.pais.size() > 1 ? entry.pais.substr(1, 3) : std::string();
  r.lError = validate();
}

std::string ThirdPartyBase::identificationWithoutDigit() const {
  if (!is(m_source.tpN, "31")) return m_record.nit1;
  const std::size_t hyphen = m_record.nit1.rfind('-');
  if (hyphen == std::string::npos) return std::string(kNoNitBlanks, ' ');
  return m_record.nit1.substr(0, hyphen);
}

std::string ThirdPartyBase::writtenCheckDigit() const {
  if (!is(m_source.tpN, "31")) return {};
  const std::size_t hyphen = m_record.nit1.rfind('-');
  if (hyphen == std::string::npos || hyphen + 1 >= m_record.nit1.size()) return {};
  const char digit = m_record.nit1[hyphen + 1];
  return digit == ' ' ? std::string() : std::string(1, digit);
}

void ThirdPartyBase::splitName() {
  ThirdPartyRecord& r = m_record;
  r.priApell.clear();
  r.segApell.clear();
  r.priNomb.clear();
  r.segNomb.clear();
  r.razonSoc.clear();
  const DirectoryEntry& e = m_source;
  if (!is(e.tpP, "N")) {
    r.razonSoc = is(e.estrNomb, "0000") ? e.nombre : std::string(kBadNameStructure);
    return;
  }
  const std::vector<std::string_view> w = words(e.nombre);
  if (is(e.estrNomb, "1111")) {
    r.priApell = word(w, 1), r.segApell = word(w, 2), r.priNomb = word(w, 3);
    r.segNomb = word(w, 4);
  } else if (is(e.estrNomb, "1110")) {
    r.priApell = word(w, 1), r.segApell = word(w, 2), r.priNomb = word(w, 3);
  } else if (is(e.estrNomb, "1011")) {
    r.priApell = word(w, 1), r.priNomb = word(w, 2), r.segNomb = word(w, 3);
  } else if (is(e.estrNomb, "1010")) {
    r.priApell = word(w, 1), r.priNomb = word(w, 2);
  }
}

bool ThirdPartyBase::validate() {
  const DirectoryEntry& e = m_source;
  ThirdPartyRecord& r = m_record;
  std::array<bool, 7> failed{};  // by rule number
  failed[1] = isBlank(e.direc1) || isBlank(e.direc4) || isBlank(e.estrNomb) || isBlank(e.tpP) ||
              isBlank(e.tpN) || isBlank(e.cDpto) || isBlank(e.cMncp) || isBlank(e.pais);
  // A written digit that differs, or an identification too long to carry a check digit at all.
  failed[2] = is(e.tpP, "J") && is(e.tpN, "31") &&
              (!isCheckable(r.nit2) || !is(CALCULADIGV(r.nit2), r.digVerf));
  const bool national = is(e.pais, "0169");
  const bool foreignDocument = is(e.tpN, "42") || is(e.tpN, "43");
  failed[3] = !isBlank(e.pais) && !national && !foreignDocument;
  failed[4] = national && is(e.tpP, "J") && !is(e.tpN, "31");
  failed[5] = national && !is(e.tpP, "J") && foreignDocument;
  failed[6] = is(e.tpP, "N") && is(e.estrNomb, "0000");

  bool any = false;
  r.cError.clear();
  for (std::size_t slot = 0; slot < kSlotOrder.size(); ++slot) {
    const int rule = kSlotOrder[slot];
    if (slot > 0) r.cError += kErrorSeparator;
    if (!failed[static_cast<std::size_t>(rule)] ||
        !m_rules.test(static_cast<std::size_t>(rule - 1)))
      continue;
    r.cError += ruleText(rule);
    any = true;
  }
  if (failed[6] && m_rules.test(5)) {
    const std::string blanks(kNamePartBlanks, ' ');
    r.priApell = r.segApell = r.priNomb = r.segNomb = blanks;
  }
  return any;
}

// --- TValidTercero -------------------------------------------------------------------------------

TValidTercero TValidTercero::New(Interp& ip, int direcArea) {
  DirectoryReader reader(ip);
  return New(reader.read(direcArea));
}

TValidTercero TValidTercero::New(const DirectoryEntry& entry) {
  TValidTercero t;
  t.build(entry);
  return t;
}

bool TValidTercero::ValidaTodo() {
  const bool failed = validate();
  record().lError = failed;
  return failed;
}

TDatosTercero TDatosTercero::New(const DirectoryEntry& entry, std::string_view concepto,
                                 std::string_view nombre, std::string_view form,
                                 std::string_view address, std::string_view department,
                                 std::string_view municipality, std::string_view country) {
  TDatosTercero t;
  t.build(entry);
  t.concepto = std::string(concepto);
  t.nombre = std::string(nombre);
  t.ValidaMonto(form, address, department, municipality, country);
  return t;
}

void TDatosTercero::ValidaMonto(std::string_view form, std::string_view address,
                                std::string_view department, std::string_view municipality,
                                std::string_view country) {
  if (trimBlanks(form) != "Meno") return;
  ThirdPartyRecord& r = record();
  r.nit1 = std::string(kMinorNit);
  r.nit2 = std::string(kMinorNit);
  r.tipoDoc = std::string(kMinorDocType);
  r.digVerf.clear();
  r.priApell.clear();
  r.segApell.clear();
  r.priNomb.clear();
  r.segNomb.clear();
  r.razonSoc = std::string(kMinorName);
  r.direccion = std::string(address);
  r.codDpto = std::string(department);
  r.codMncp = std::string(municipality);
  const std::string_view c = trimRight(country);
  r.codPais = std::string(c.size() > 3 ? c.substr(c.size() - 3) : c);
}

}  // namespace exo::masterdata

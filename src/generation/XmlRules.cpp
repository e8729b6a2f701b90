// The field rules of the DIAN XML files.
#include "generation/XmlRules.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <pugixml.hpp>
#include <sstream>

#include "expr/Text.h"
#include "generation/XmlWriter.h"
#include "masterdata/CheckDigit.h"
#include "shell/Paths.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/RefTables.h"

namespace fs = std::filesystem;

namespace exo::generation {

namespace {

// The document types DIAN accepts.
const std::set<std::string> kDocumentTypes = {"11", "12", "13", "21", "22", "31", "41", "42", "43"};
constexpr const char* kColombia = "169";
constexpr const char* kForeignNoNumber = "43";

std::string withoutLeadingZeros(std::string_view s) {
  s = trimBlanks(s);
  while (s.size() > 1 && s.front() == '0') s.remove_prefix(1);
  return std::string(s);
}

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The values of the fields of one table, read raw.
std::vector<std::vector<std::string>> readTable(const fs::path& folder, std::string_view file,
                                                const std::vector<std::string>& fields) {
  std::vector<std::vector<std::string>> rows;
  const auto path = shell::findEntry(folder, file);
  if (!path) return rows;
  store::OpenOptions options;
  options.readOnly = true;
  store::Dbf dbf = store::Dbf::open(path->string(), options);
  std::vector<const store::Field*> wanted;
  for (const std::string& name : fields) {
    const auto index = dbf.fieldIndex(name);
    wanted.push_back(index ? &dbf.fields()[static_cast<std::size_t>(*index)] : nullptr);
  }
  std::vector<char> record(dbf.recordLength());
  for (std::uint32_t r = 1; r <= dbf.recordCount(); ++r) {
    dbf.read(r, record.data());
    if (record[0] == '*') continue;
    std::vector<std::string> row;
    for (const store::Field* f : wanted)
      row.emplace_back(f == nullptr
                           ? std::string_view()
                           : trimBlanks(std::string_view(record.data() + f->offset, f->length)));
    rows.push_back(std::move(row));
  }
  return rows;
}

class Checker {
 public:
  Checker(int formatNumber, const XmlRuleTables& tables, const XmlParties& parties)
      : m_format(formatNumber),
        m_code(store::formatCode(formatNumber)),
        m_tables(tables),
        m_parties(parties) {
    for (const XmlField& f : LOSCAMPOSXML(formatNumber).fields) {
      m_attributes.push_back(lower1252(f.name));
      m_hasParty |= f.name == "TDOC";
      m_hasCountry |= f.name == "PAIS";
      m_hasConcept |= f.name == "CPT";
      m_located |= f.name == "DPTO";
    }
  }

  std::vector<XmlFinding> run(const pugi::xml_document& doc);

 private:
  void add(std::string field, std::string rule, std::string value) {
    m_findings.push_back({m_record, m_party, std::move(field), std::move(rule), std::move(value),
                          m_partyCode, m_partyName});
  }
  void record(const pugi::xml_node& node);
  // The record's attribute of that name, as the document has it ("" when it has none).
  std::string_view value(std::string_view name) const {
    for (const auto& [n, v] : m_values)
      if (n == name) return v;
    return {};
  }
  void nameParty();
  void withholding();
  void period(const pugi::xml_node& cab);
  void amount(const char* name, const std::string& value);
  void characters(const char* name, const std::string& value);

  int m_format;
  std::string m_code;
  const XmlRuleTables& m_tables;
  const XmlParties& m_parties;
  std::int64_t m_record = 0;
  std::string m_party;
  std::string m_partyCode;
  std::string m_partyName;
  std::vector<XmlFinding> m_findings;
  std::vector<std::string> m_attributes;  // the format's attribute names, in lower case
  // The attributes of the record being checked, read once from its node, in the node's order.
  std::vector<std::pair<std::string_view, std::string_view>> m_values;
  bool m_hasParty = false, m_hasCountry = false, m_hasConcept = false, m_located = false;
};

constexpr std::string_view kMinorAmountsNid = "222222222";

// The code of the record's third party comes from the run (the records are written in the
// order of the run's output table); the name is the one the record writes.
void Checker::nameParty() {
  auto get = [&](const char* name) { return std::string(trimBlanks(value(name))); };
  m_partyName = get("raz");
  if (m_partyName.empty()) {
    for (const char* part : {"apl1", "apl2", "nom1", "nom2"}) {
      const std::string text = get(part);
      if (text.empty()) continue;
      if (!m_partyName.empty()) m_partyName += ' ';
      m_partyName += text;
    }
  }
  m_partyCode.clear();
  const std::size_t at = m_parties.offset + static_cast<std::size_t>(m_record - 1);
  if (at < m_parties.codes.size()) {
    const std::string& code = m_parties.codes[at];
    // A record whose identification does not agree with the run's (a minor-amounts record
    // where the run has a third party, or the other way round) is not named from it.
    const bool minor = get("nid") == kMinorAmountsNid;
    if (code.empty() == minor) m_partyCode = code;
  }
}

// 1002 and 1003: the payment subject to withholding (the base) cannot be zero, nor smaller than
// what was withheld, when something was withheld.
void Checker::withholding() {
  const char* baseName = m_format == 2 ? "vabo" : "valor";
  const char* withheldName = m_format == 2 ? "vret" : "ret";
  const std::string baseText(trimBlanks(value(baseName)));
  const std::string withheldText(trimBlanks(value(withheldName)));
  const auto number = [](const std::string& text, double& out) {
    if (text.empty()) {
      out = 0;
      return true;
    }
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0';
  };
  double base = 0, withheld = 0;
  if (!number(baseText, base) || !number(withheldText, withheld) || withheld <= 0) return;
  if (base == 0)
    add(baseName,
        "base de retenci\xF3"
        "n en cero con retenci\xF3"
        "n practicada de " +
            withheldText,
        baseText.empty() ? std::string("0") : baseText);
  else if (base < withheld)
    add(baseName,
        "base de retenci\xF3"
        "n menor que la retenci\xF3"
        "n practicada de " +
            withheldText,
        baseText);
}

// The header's sending data: a sending number of up to eight digits, not zero; the period
// reported in real dates, inside one calendar year, the last not before the first; and a year
// of sending of four digits, later than the period's year.
void Checker::period(const pugi::xml_node& cab) {
  const std::string first(trimBlanks(cab.child("FecInicial").text().get()));
  const std::string last(trimBlanks(cab.child("FecFinal").text().get()));
  const std::string sending(trimBlanks(cab.child("Ano").text().get()));
  const auto isDate = [](const std::string& d) {
    if (d.size() != 10 || d[4] != '-' || d[7] != '-') return false;
    if (!allDigits(d.substr(0, 4)) || !allDigits(d.substr(5, 2)) || !allDigits(d.substr(8, 2)))
      return false;
    const int y = std::stoi(d.substr(0, 4)), m = std::stoi(d.substr(5, 2)),
              day = std::stoi(d.substr(8, 2));
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || day < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return day <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  };
  // The sending number goes into the file's name with eight digits: a whole number from 1.
  const std::string number(trimBlanks(cab.child("NumEnvio").text().get()));
  if (number.empty() || number.size() > 8 || !allDigits(number) ||
      number.find_first_not_of('0') == std::string::npos)
    add("NumEnvio", "el n\xFAmero de env\xEDo debe ser un entero de 1 a 99999999", number);
  bool dates = true;
  for (const auto& [name, value] : {std::pair{"FecInicial", first}, std::pair{"FecFinal", last}}) {
    if (isDate(value)) continue;
    add(name, "fecha no v\xE1lida (debe ser AAAA-MM-DD)", value);
    dates = false;
  }
  if (!dates) return;
  if (last < first) add("FecFinal", "la fecha final es anterior a la fecha inicial " + first, last);
  else if (first.substr(0, 4) != last.substr(0, 4))
    add("FecFinal",
        "el per\xED"
        "odo no est\xE1 dentro de un mismo a\xF1o (empieza en " +
            first + ")",
        last);
  const std::string periodYear = first.substr(0, 4);
  if (sending.size() != 4 || !allDigits(sending))
    add("Ano", "el a\xF1o de env\xEDo debe tener cuatro d\xEDgitos", sending);
  else if (sending <= periodYear)
    add("Ano",
        "el a\xF1o de env\xEDo debe ser posterior al a\xF1o del per\xED"
        "odo (" +
            periodYear + ")",
        sending);
}

void Checker::characters(const char* name, const std::string& value) {
  for (const char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      add(name,
          "car\xE1"
          "cter no permitido en ISO-8859-1",
          value);
      return;
    }
  }
}

void Checker::amount(const char* name, const std::string& value) {
  const bool percentage = std::string_view(name) == "por";
  std::string_view digits = value;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  const std::size_t dot = digits.find('.');
  const bool numeric = allDigits(digits.substr(0, dot)) &&
                       (dot == std::string_view::npos || allDigits(digits.substr(dot + 1)));
  if (!numeric)
    add(name,
        "el valor no es un n\xFA"
        "mero",
        value);
  else if (negative) add(name, "valor negativo", value);
  else if (dot != std::string_view::npos && !percentage)
    add(name, "valor con decimales (debe ser en pesos enteros)", value);
  if (digits.size() > 20)
    add(name,
        "m\xE1"
        "s de 20 caracteres",
        value);
}

void Checker::record(const pugi::xml_node& node) {
  m_values.clear();
  for (const pugi::xml_attribute& a : node.attributes()) m_values.emplace_back(a.name(), a.value());
  auto get = [&](std::string_view name) { return std::string(value(name)); };
  const XmlLayout& layout = LOSCAMPOSXML(m_format);
  const std::string tdoc = get("tdoc"), nid = get("nid"), pais = get("pais");
  m_party = trimBlanks(tdoc + " " + nid);
  nameParty();
  if (m_format == 2 || m_format == 3) withholding();
  const bool hasParty = m_hasParty, hasCountry = m_hasCountry, hasConcept = m_hasConcept;
  // Attributes the format does not have.
  for (const pugi::xml_attribute& a : node.attributes()) {
    bool known = false;
    const std::string_view attribute = a.name();
    for (const std::string& name : m_attributes) {
      if (name != attribute) continue;
      known = true;
      break;
    }
    if (!known) add(a.name(), "atributo que el formato no tiene", a.value());
    characters(a.name(), a.value());
  }
  if (hasConcept) {
    const std::string cpt = get("cpt");
    if (cpt.empty()) add("cpt", "falta el concepto", cpt);
    else if (!m_tables.concepts.empty() && !m_tables.concepts.count(m_code + cpt))
      add("cpt", "concepto que no es del formato " + m_code, cpt);
  }
  if (hasParty) {
    if (!kDocumentTypes.count(tdoc))
      add("tdoc",
          "tipo de documento no v\xE1"
          "lido",
          tdoc);
    if (nid.empty())
      add("nid",
          "falta el n\xFA"
          "mero de identificaci\xF3"
          "n",
          nid);
    else if (nid.find_first_of(".-, ") != std::string::npos)
      add("nid",
          "la identificaci\xF3"
          "n lleva puntos, guiones, comas o espacios",
          nid);
    else if ((tdoc == "31" || tdoc == "13") && !allDigits(nid))
      add("nid",
          "la identificaci\xF3"
          "n de este tipo de documento debe ser num\xE9"
          "rica",
          nid);
    if (nid.size() > 20)
      add("nid",
          "m\xE1"
          "s de 20 caracteres",
          nid);
    const std::string dv = get("dv");
    if (tdoc == "31") {
      if (dv.empty())
        add("dv",
            "falta el d\xED"
            "gito de verificaci\xF3"
            "n del NIT",
            dv);
      else if (allDigits(nid) && masterdata::isCheckable(nid) && dv != masterdata::CALCULADIGV(nid))
        add("dv",
            "d\xED"
            "gito de verificaci\xF3"
            "n errado (debe ser " +
                masterdata::CALCULADIGV(nid) + ")",
            dv);
    } else if (!dv.empty()) {
      add("dv",
          "d\xED"
          "gito de verificaci\xF3"
          "n en un documento que no es NIT",
          dv);
    }
    for (const char* name : {"apl1", "apl2", "nom1", "nom2"})
      if (get(name).size() > 60)
        add(name,
            "m\xE1"
            "s de 60 caracteres",
            get(name));
    const std::string raz = get("raz");
    if (raz.size() > 450)
      add("raz",
          "m\xE1"
          "s de 450 caracteres",
          raz);
    const bool natural = !get("apl1").empty() || !get("nom1").empty();
    if (natural && !raz.empty())
      add("raz",
          "lleva raz\xF3"
          "n social y tambi\xE9"
          "n apellidos o nombres",
          raz);
    if (!natural && raz.empty())
      add("raz",
          "sin apellidos, nombres ni raz\xF3"
          "n social",
          raz);
  }
  if (hasCountry) {
    if (pais.empty())
      add("pais",
          "falta el pa\xED"
          "s",
          pais);
    else if (!m_tables.countries.empty() && !m_tables.countries.count(withoutLeadingZeros(pais)))
      add("pais",
          "pa\xED"
          "s que no existe",
          pais);
  }
  // Address and location: needed for residents of Colombia (format 1003 reports Colombian
  // agents only and has no country); the generic identifications are not residents.
  if (m_located) {
    const bool colombian =
        (hasCountry ? withoutLeadingZeros(pais) == kColombia : true) && tdoc != kForeignNoNumber;
    const char* munName = m_format == 3 ? "mcpo" : "mun";
    const std::string dir = get("dir"), dpto = get("dpto"), mun = get(munName);
    if (dir.size() > 200)
      add("dir",
          "m\xE1"
          "s de 200 caracteres",
          dir);
    if (colombian) {
      if (dir.empty())
        add("dir",
            "falta la direcci\xF3"
            "n de un residente en Colombia",
            dir);
      if (dpto.empty()) add("dpto", "falta el departamento de un residente en Colombia", dpto);
      else if (!m_tables.departments.empty() && !m_tables.departments.count(dpto))
        add("dpto", "departamento que no existe", dpto);
      if (mun.empty()) add(munName, "falta el municipio de un residente en Colombia", mun);
      else if (!dpto.empty() && !m_tables.municipalities.empty() &&
               !m_tables.municipalities.count(dpto + mun))
        add(munName, "municipio que no existe en el departamento " + dpto, mun);
    }
  }
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    const XmlField& f = layout.fields[i];
    if (f.width != 20 || f.name == "NID") continue;
    const std::string& name = m_attributes[i];  // the field's name in lower case
    const std::string text = get(name);
    if (text.empty()) {
      if (name == layout.sumField) add(name.c_str(), "falta el valor", text);
      continue;
    }
    amount(name.c_str(), text);
  }
}

std::vector<XmlFinding> Checker::run(const pugi::xml_document& doc) {
  const XmlLayout& layout = LOSCAMPOSXML(m_format);
  const pugi::xml_node root = doc.child("mas");
  if (!root) {
    add("mas",
        "falta el elemento ra\xED"
        "z mas",
        "");
    return m_findings;
  }
  const pugi::xml_node cab = root.child("Cab");
  std::int64_t count = 0;
  for (const pugi::xml_node& n : root.children(layout.element.c_str())) {
    ++count;
    m_record = count;
    record(n);
  }
  m_record = 0;
  m_party.clear();
  m_partyCode.clear();
  m_partyName.clear();
  period(cab);
  if (count > kMaxRecordsPerFile)
    add("CantReg",
        "m\xE1"
        "s de 5.000 registros en un archivo (divida el env\xED"
        "o)",
        std::to_string(count));
  const std::string declared = cab.child("CantReg").text().get();
  if (declared != std::to_string(count))
    add("CantReg", "no coincide con los " + std::to_string(count) + " registros del archivo",
        declared);
  const std::string total = cab.child("ValorTotal").text().get();
  if (!total.empty() && total.front() == '-') add("ValorTotal", "valor total negativo", total);
  const std::string formato = cab.child("Formato").text().get();
  if (formato != m_code) add("Formato", "no es el formato " + m_code, formato);
  return m_findings;
}

}  // namespace

XmlRuleTables ruleTablesFrom(const store::RefData& data) {
  XmlRuleTables t;
  for (const auto& c : data.concepts) t.concepts.insert(c.format + c.code);
  for (const auto& d : data.departments) t.departments.insert(d.code);
  for (const auto& m : data.municipalities) t.municipalities.insert(m.department + m.code);
  for (const auto& c : data.countries) t.countries.insert(withoutLeadingZeros(c.code));
  return t;
}

XmlRuleTables ruleTablesFromFolder(const fs::path& programFolder) {
  XmlRuleTables t;
  for (const auto& r : readTable(programFolder, store::kConceptsFile, {"FORMATO", "CONCEPTO"}))
    t.concepts.insert(r[0] + r[1]);
  for (const auto& r : readTable(programFolder, store::kDepartmentsFile, {"COD_DP"}))
    t.departments.insert(r[0]);
  for (const auto& r : readTable(programFolder, store::kMunicipalitiesFile, {"COD_DP", "COD_MN"}))
    t.municipalities.insert(r[0] + r[1]);
  for (const auto& r : readTable(programFolder, store::kCountriesFile, {"CODIGO"}))
    t.countries.insert(withoutLeadingZeros(r[0]));
  return t;
}

std::shared_ptr<const XmlRuleTables> keptRuleTables(const fs::path& programFolder) {
  // What the tables were read from: each table's file, size and time of last change.
  struct Stamp {
    std::string file;
    std::uintmax_t size = 0;
    fs::file_time_type time{};
    bool operator==(const Stamp&) const = default;
  };
  const auto stampOf = [&] {
    std::vector<Stamp> stamp;
    for (std::string_view name : {store::kConceptsFile, store::kDepartmentsFile,
                                  store::kMunicipalitiesFile, store::kCountriesFile}) {
      Stamp s;
      if (const auto path = shell::findEntry(programFolder, name)) {
        std::error_code ec;
        s.file = path->string();
        s.size = fs::file_size(*path, ec);
        s.time = fs::last_write_time(*path, ec);
      }
      stamp.push_back(std::move(s));
    }
    return stamp;
  };
  static std::mutex guard;
  static std::string keptFolder;
  static std::vector<Stamp> keptStamp;
  static std::shared_ptr<const XmlRuleTables> kept;
  std::vector<Stamp> stamp = stampOf();
  const std::lock_guard<std::mutex> lock(guard);
  if (kept && keptFolder == programFolder.string() && keptStamp == stamp) return kept;
  kept = std::make_shared<const XmlRuleTables>(ruleTablesFromFolder(programFolder));
  keptFolder = programFolder.string();
  keptStamp = std::move(stamp);
  return kept;
}

std::vector<XmlFinding> checkXmlFile(const fs::path& path, int formatNumber,
                                     const XmlRuleTables& tables, const XmlParties& parties) {
  if (!isFormatNumber(formatNumber)) return {{0, "", "Formato", "formato que no existe", ""}};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {{0, "", "archivo", "no se pudo leer el archivo", path.string()}};
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string text = bytes.str();
  pugi::xml_document doc;
  // The bytes are kept as they are (Windows-1252), so that values are reported as written.
  const pugi::xml_parse_result parsed =
      doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed)
    return {{0, "", "archivo",
             std::string("el archivo no es XML bien formado: ") + parsed.description(),
             "posici\xF3"
             "n " +
                 std::to_string(parsed.offset)}};
  return Checker(formatNumber, tables, parties).run(doc);
}

std::string describe(const XmlFinding& f) {
  std::string out = f.record == 0 ? std::string("Archivo") : "Registro " + std::to_string(f.record);
  const std::string party(trimBlanks(f.partyCode + " " + f.partyName));
  if (!party.empty()) out += ", tercero " + party;
  if (!f.thirdParty.empty()) out += " (" + f.thirdParty + ")";
  out += ": " + f.field + " - " + f.rule;
  if (!f.value.empty()) out += ": " + f.value;
  return out;
}

}  // namespace exo::generation

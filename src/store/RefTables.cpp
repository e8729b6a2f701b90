// Reference tables: reading the CSV reference data and writing the five tables of the program
// folder. Opening them for the run (CREATABLAS) lives in RefAreas.cpp.
#include "store/RefTables.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "expr/Codepage.h"
#include "store/StoreFailure.h"

namespace exo::store {
namespace {

using Row = std::vector<std::string>;

// One CSV file: rows of fields (UTF-8 as read), the header dropped.
struct CsvFile {
  std::string path;
  std::vector<Row> rows;
  std::vector<int> lines;  // source line of each row, for messages
};

[[noreturn]] void badRow(const CsvFile& f, std::size_t row, const std::string& what) {
  raiseCorrupt(what + " (l\355nea " + std::to_string(f.lines[row]) + ")", f.path);
}

// Splits CSV text: fields separated by commas, optionally quoted with "" for a quote inside.
// Quoted fields may hold commas and line breaks.
void parseCsv(const std::string& text, CsvFile& out) {
  Row row;
  std::string field;
  bool quoted = false, fieldStarted = false;
  int line = 1, rowLine = 1;
  auto endRow = [&] {
    row.push_back(std::move(field));
    field.clear();
    if (!(row.size() == 1 && row[0].empty())) {
      out.rows.push_back(std::move(row));
      out.lines.push_back(rowLine);
    }
    row.clear();
    fieldStarted = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == '"' && !fieldStarted) {
      quoted = fieldStarted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
      fieldStarted = false;
    } else if (c == '\n') {
      endRow();
      rowLine = ++line;
    } else if (c != '\r') {
      field += c;
      fieldStarted = true;
    }
  }
  if (quoted) raiseCorrupt("comillas sin cerrar", out.path);
  if (!row.empty() || !field.empty()) endRow();
}

CsvFile readCsv(const std::string& folder, const char* name, std::size_t columns) {
  CsvFile f;
  f.path = (std::filesystem::path(folder) / name).string();
  std::ifstream in(f.path, std::ios::binary);
  if (!in)
    raise(GenCode::Open, "No se puede abrir el archivo", f.path, osCodeFromErrno(errno), "CSV");
  std::ostringstream text;
  text << in.rdbuf();
  std::string bytes = text.str();
  if (bytes.rfind("\357\273\277", 0) == 0) bytes.erase(0, 3);
  parseCsv(bytes, f);
  if (f.rows.empty()) raiseCorrupt("archivo sin encabezado", f.path);
  f.rows.erase(f.rows.begin());
  f.lines.erase(f.lines.begin());
  for (std::size_t r = 0; r < f.rows.size(); ++r) {
    if (f.rows[r].size() != columns) badRow(f, r, "n\372mero de columnas incorrecto");
  }
  return f;
}

// Windows-1252 text of a field, refused when wider than the table field that receives it.
std::string text(const CsvFile& f, std::size_t row, std::size_t column, std::size_t width) {
  std::string s = fromUtf8(f.rows[row][column]);
  if (s.size() > width) badRow(f, row, "valor m\341s ancho que su campo: " + s);
  return s;
}

// A code: exactly `width` characters.
std::string code(const CsvFile& f, std::size_t row, std::size_t column, std::size_t width) {
  std::string s = text(f, row, column, width);
  if (s.size() != width)
    badRow(f, row,
           "c\363"
           "digo de ancho incorrecto: " +
               s);
  return s;
}

void checkUnique(std::set<std::string>& seen, const std::string& key, const CsvFile& f,
                 std::size_t row) {
  if (!seen.insert(key).second)
    badRow(f, row,
           "c\363"
           "digo repetido: " +
               key);
}

void loadFormats(const std::string& folder, RefData& d) {
  const CsvFile f = readCsv(folder, "formats.csv", 4);
  if (f.rows.size() != 12) raiseCorrupt("se esperaban los formatos 1001 a 1012", f.path);
  for (std::size_t r = 0; r < f.rows.size(); ++r) {
    RefData::Format fm{code(f, r, 0, 4), text(f, r, 1, 150), code(f, r, 2, 2), code(f, r, 3, 2)};
    if (fm.code != std::to_string(1001 + r)) badRow(f, r, "formato fuera de orden: " + fm.code);
    d.formats.push_back(std::move(fm));
  }
}

void loadConcepts(const std::string& folder, RefData& d) {
  const CsvFile f = readCsv(folder, "concepts.csv", 6);
  std::set<std::string> formats, seen;
  for (const RefData::Format& fm : d.formats) formats.insert(fm.code);
  for (std::size_t r = 0; r < f.rows.size(); ++r) {
    RefData::Concept c;
    c.format = code(f, r, 0, 4);
    c.code = code(f, r, 1, 4);
    c.name = text(f, r, 2, 170);
    const std::string base = f.rows[r][3];
    if (base.empty() || base.size() > 15 ||
        base.find_first_not_of("0123456789") != std::string::npos)
      badRow(f, r, "base no es un n\372mero entero: " + base);
    c.base = std::stod(base);
    c.nature = code(f, r, 4, 1);
    c.filter = text(f, r, 5, 250);
    if (formats.count(c.format) == 0) badRow(f, r, "formato desconocido: " + c.format);
    if (c.nature < "1" || c.nature > "4") badRow(f, r, "naturaleza fuera de 1 a 4: " + c.nature);
    checkUnique(seen, c.format + c.code, f, r);
    d.concepts.push_back(std::move(c));
  }
}

void loadCodeTables(const std::string& folder, RefData& d) {
  const CsvFile dp = readCsv(folder, "departments.csv", 2);
  std::set<std::string> seen;
  for (std::size_t r = 0; r < dp.rows.size(); ++r) {
    d.departments.push_back({code(dp, r, 0, 2), text(dp, r, 1, 60)});
    checkUnique(seen, d.departments.back().code, dp, r);
  }
  const CsvFile mn = readCsv(folder, "municipalities.csv", 4);
  std::set<std::string> munSeen;
  for (std::size_t r = 0; r < mn.rows.size(); ++r) {
    d.municipalities.push_back(
        {code(mn, r, 0, 2), code(mn, r, 1, 3), text(mn, r, 2, 40), text(mn, r, 3, 60)});
    if (seen.count(d.municipalities.back().department) == 0)
      badRow(mn, r, "departamento desconocido: " + d.municipalities.back().department);
    checkUnique(munSeen, d.municipalities.back().department + d.municipalities.back().code, mn, r);
  }
  const CsvFile ps = readCsv(folder, "countries.csv", 2);
  seen.clear();
  for (std::size_t r = 0; r < ps.rows.size(); ++r) {
    d.countries.push_back({code(ps, r, 0, 4), text(ps, r, 1, 50)});
    checkUnique(seen, d.countries.back().code, ps, r);
  }
}

// Writes one table: `values` gives the fields of a row in field order, numbers as text.
template <typename Rows, typename Values>
void writeTable(const std::string& folder, const char* file, const char* index,
                const std::vector<FieldDef>& fields, const Rows& rows, Values values) {
  const std::filesystem::path dir(folder);
  if (index != nullptr) std::filesystem::remove(dir / index);
  Dbf t = Dbf::create((dir / file).string(), fields);
  for (const auto& row : rows) {
    std::vector<char> rec = t.blankRecord();
    const std::vector<std::string> v = values(row);
    for (std::size_t f = 0; f < v.size(); ++f) {
      if (fields[f].type == 'N') {
        t.setNumber(rec.data(), static_cast<int>(f), std::stod(v[f]));
      } else {
        t.setText(rec.data(), static_cast<int>(f), v[f]);
      }
    }
    t.append(rec.data());
  }
  t.close();
}

}  // namespace

const std::vector<FieldDef>& formatosFields() {
  static const std::vector<FieldDef> f = {{"FORMATO", 'C', 4, 0},
                                          {"DETALLE", 'C', 150, 0},
                                          {"VERSION", 'C', 2, 0},
                                          {"ANEXO", 'C', 2, 0}};
  return f;
}

const std::vector<FieldDef>& conceptsFields() {
  static const std::vector<FieldDef> f = {{"CONCEPTO", 'C', 4, 0}, {"DETALLE", 'C', 170, 0},
                                          {"FORMATO", 'C', 4, 0},  {"BASE", 'N', 15, 0},
                                          {"TIPO", 'C', 1, 0},     {"FILTRO", 'C', 250, 0}};
  return f;
}

const std::vector<FieldDef>& departmentsFields() {
  static const std::vector<FieldDef> f = {{"COD_DP", 'C', 2, 0}, {"DEPARTAMEN", 'C', 60, 0}};
  return f;
}

const std::vector<FieldDef>& municipalitiesFields() {
  static const std::vector<FieldDef> f = {{"COD_MN", 'C', 3, 0},
                                          {"MUNICIPIO", 'C', 40, 0},
                                          {"DEPARTAMEN", 'C', 60, 0},
                                          {"COD_DP", 'C', 2, 0}};
  return f;
}

const std::vector<FieldDef>& countriesFields() {
  static const std::vector<FieldDef> f = {{"CODIGO", 'C', 4, 0}, {"PAIS", 'C', 50, 0}};
  return f;
}

RefData loadRefData(const std::string& csvFolder) {
  RefData d;
  loadFormats(csvFolder, d);
  loadConcepts(csvFolder, d);
  loadCodeTables(csvFolder, d);
  return d;
}

void writeRefTables(const RefData& d, const std::string& folder) {
  using Strings = std::vector<std::string>;
  writeTable(folder, kFormatosFile, nullptr, formatosFields(), d.formats,
             [](const RefData::Format& f) {
               return Strings{f.code, f.name, f.version, f.annex};
             });
  writeTable(folder, kConceptsFile, kConceptsIndex, conceptsFields(), d.concepts,
             [](const RefData::Concept& c) {
               return Strings{c.code, c.name, c.format, std::to_string(c.base), c.nature, c.filter};
             });
  writeTable(folder, kDepartmentsFile, kDepartmentsIndex, departmentsFields(), d.departments,
             [](const RefData::Department& dp) {
               return Strings{dp.code, dp.name};
             });
  writeTable(folder, kMunicipalitiesFile, kMunicipalitiesIndex, municipalitiesFields(),
             d.municipalities, [](const RefData::Municipality& m) {
               return Strings{m.code, m.name, m.departmentName, m.department};
             });
  writeTable(folder, kCountriesFile, kCountriesIndex, countriesFields(), d.countries,
             [](const RefData::Country& c) {
               return Strings{c.code, c.name};
             });
}

}  // namespace exo::store

// The DIAN XML file of a format: layouts, header, document and the workbook conversion.
#include "generation/XmlWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <system_error>

#include "expr/Functions.h"
#include "expr/Interp.h"
#include "expr/Numbers.h"
#include "expr/PathPolicy.h"
#include "expr/TPublic.h"
#include "expr/Text.h"
#include "expr/WorkAreas.h"
#include "reports/CellRef.h"
#include "reports/CellValue.h"
#include "reports/Workbook.h"
#include "reports/XlsxFile.h"
#include "shell/MemFile.h"
#include "shell/Paths.h"
#include "shell/Session.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/File.h"
#include "store/Leftovers.h"
#include "store/Publication.h"

namespace fs = std::filesystem;

namespace exo::generation {

namespace {

constexpr const char* kWaitText = "Procesando informe. Por favor espere......";
constexpr const char* kTitle =
    "Atenci\xF3"
    "n.....";
constexpr const char* kErrorTitle = "Error.....";
constexpr const char* kWorkTable = "TmpTraC.dbf";
constexpr const char* kWorkAlias = "TraCon";
constexpr int kFirstDataRow = 5;
constexpr int kWideField = 254;

// The third-party block shared by most formats, in the order it is written.
std::vector<XmlField> party(bool withConcept, bool withAddress, bool withCountry,
                            const char* municipality = "MUN") {
  std::vector<XmlField> f;
  if (withConcept) f.push_back({"CPT", 4});
  f.insert(f.end(), {{"TDOC", 2},
                     {"NID", 20},
                     {"DV", 1},
                     {"APL1", 60},
                     {"APL2", 60},
                     {"NOM1", 60},
                     {"NOM2", 60},
                     {"RAZ", 250}});
  if (withAddress) f.insert(f.end(), {{"DIR", 250}, {"DPTO", 2}, {municipality, 3}});
  if (withCountry) f.push_back({"PAIS", 4});
  return f;
}

std::vector<XmlField> plus(std::vector<XmlField> f, std::initializer_list<const char*> amounts) {
  for (const char* a : amounts) f.push_back({a, 20});
  return f;
}

const std::vector<XmlLayout>& layouts() {
  static const std::vector<XmlLayout> all = {
      {"pagos", "pag", plus(party(true, true, true), {"PAG", "DED"})},
      {"rets", "vret", plus(party(true, true, true), {"VABO", "VRET"})},
      {"rets", "ret", plus(party(true, true, false, "MCPO"), {"VALOR", "RET"})},
      {"descuentos", "vpag", {{"CPT", 4}, {"VPAG", 20}, {"VDES", 20}}},
      {"impventas", "vimp", plus(party(false, false, false), {"VIMP"})},
      {"impoventas", "vimp", plus(party(false, false, false), {"VIMP"})},
      {"ingresos", "ing", plus(party(true, false, true), {"ING", "DEV"})},
      {"saldoscc", "sal", plus(party(true, true, true), {"SAL"})},
      {"saldoscp", "sal", plus(party(true, true, true), {"SAL"})},
      {"socios", "val", plus(party(false, true, true), {"VAL", "VPAR", "POR"})},
      {"decl", "sal", {{"CPT", 4}, {"SAL", 20}}},
      {"dectri", "val", plus(party(true, false, true), {"VAL"})},
  };
  return all;
}

// A whole number without padding ("-12", "0").
std::string wholeText(double n) {
  const double r = roundHalfAway(n, 0);
  if (r == 0 || !std::isfinite(r)) return "0";
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", r);
  return text;
}

std::string text(const Value& v) {
  if (v.isText()) return std::string(v.textView());
  if (v.isNumber() || v.isDate()) {
    const Value c = reports::convertCellValue(v, 'C');
    return c.isText() ? std::string(c.textView()) : std::string();
  }
  if (v.isLogical()) return v.logical() ? "T" : "F";
  return {};
}

std::string trimBlanksOf(const std::string& s) { return std::string(trimBlanks(s)); }

int fieldPosition(const XmlLayout& layout, std::string_view lowerName) {
  for (std::size_t i = 0; i < layout.fields.size(); ++i)
    if (lower1252(layout.fields[i].name) == lowerName) return static_cast<int>(i);
  return -1;
}

struct Context {
  shell::Session* session = nullptr;
  std::vector<XmlFilePart> lastFiles;
};

// Each interpreter's context; the interpreters of a run's workers reach it from their threads.
std::map<const Interp*, Context>& contexts() {
  static std::map<const Interp*, Context> map;
  return map;
}
std::mutex& contextsGuard() {
  static std::mutex guard;
  return guard;
}

// The identification of the minor-amounts record.
constexpr std::string_view kMinorAmountsNid = "222222222";

// Writes `bytes` beside `file`, syncs them and renames them into place (or has the rename held
// while an earlier format of the run may still fail, store/Publication.h): a write that fails
// (a full disk) leaves nothing under the official name and the previous file untouched. Empty,
// or what went wrong.
std::string writeFile(const fs::path& file, const std::string& bytes) {
  try {
    store::publishWholeFile(file.string(), bytes);
  } catch (const FailureError& e) {
    return std::string(trimBlanks(e.failure().description));
  }
  return {};
}

fs::path outputFolder(const shell::Session& session) {
  std::string output(trimBlanks(session.dirSalida()));
  while (!output.empty() && output.back() == '\\') output.pop_back();
  const fs::path company = session.companyFolder();
  return output.empty() ? company : shell::entryPath(company, output);
}

// The nearest Latin-1 text of each Windows-1252 character from 0x80 to 0x9F ("" where the code
// page has no character there: a blank is written).
constexpr const char* kLatinOf[32] = {
    "EUR", "",  ",", "f",  "\"", "...", "+", "+", "^", "%",  "S", "<", "OE", "", "Z", "",
    "",    "'", "'", "\"", "\"", "-",   "-", "-", "~", "TM", "s", ">", "oe", "", "z", "Y"};

// Whether xmlSafeText leaves the text as it is.
bool isXmlSafe(std::string_view value) {
  for (const char c : value) {
    const auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && c != '\t' && c != '\r' && c != '\n') || (b >= 0x80 && b <= 0x9F)) return false;
  }
  return true;
}

// Appends a safe attribute value with &, < and " as character references.
void appendAttributeText(std::string& out, std::string_view value) {
  for (const char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
}

// An element's text: made safe, & and < as character references.
std::string elementText(std::string_view value) {
  std::string out;
  for (const char c : xmlSafeText(value)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      default: out += c;
    }
  }
  return out;
}

// The third party of a record as a finding names it: document type and number, then its
// business name or, without one, its surnames and names.
std::string partyOf(const XmlLayout& layout, const XmlRecord& r) {
  auto value = [&](std::string_view lowerName) {
    const int i = fieldPosition(layout, lowerName);
    return i >= 0 && static_cast<std::size_t>(i) < r.size()
               ? std::string(trimBlanks(xmlSafeText(r[static_cast<std::size_t>(i)])))
               : std::string();
  };
  std::string party = value("tdoc");
  const std::string nid = value("nid");
  if (!nid.empty()) party += (party.empty() ? "" : " ") + nid;
  std::string name = value("raz");
  if (name.empty()) {
    for (const char* part : {"apl1", "apl2", "nom1", "nom2"}) {
      const std::string p = value(part);
      if (!p.empty()) name += (name.empty() ? "" : " ") + p;
    }
  }
  if (!name.empty()) party += (party.empty() ? "" : " ") + name;
  return party;
}

}  // namespace

std::string xmlSafeText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 && c != '\t' && c != '\r' && c != '\n') {
      out += ' ';
    } else if (b >= 0x80 && b <= 0x9F) {
      const char* latin = kLatinOf[b - 0x80];
      out += *latin != '\0' ? latin : " ";
    } else {
      out += c;
    }
  }
  return out;
}

bool isFormatNumber(int formatNumber) { return formatNumber >= 1 && formatNumber <= 12; }

const XmlLayout& LOSCAMPOSXML(int formatNumber) {
  return layouts().at(static_cast<std::size_t>(formatNumber - 1));
}

XmlHeader headerFrom(TPublic& cabez) {
  auto get = [&](std::string_view key) {
    if (!cabez.isDef(key)) return std::string();
    return text(cabez.get(key));
  };
  return {get("ano"),    get("CodCpt"), get("Format"), get("Versi"),
          get("NumEnv"), get("FecEnv"), get("FecIni"), get("FecFin")};
}

std::string xmlFileName(const XmlHeader& header, int formatNumber) {
  const double sending = parseNumber(trimBlanks(header.numEnv));
  char number[32];
  std::snprintf(number, sizeof number, "%08.0f",
                std::isfinite(sending) ? std::fabs(std::trunc(sending)) : 0.0);
  const std::string kind = header.codCpt.empty() ? std::string(" ") : header.codCpt.substr(0, 1);
  return "Dmuisca_0" + kind + "0" + store::formatCode(formatNumber) +
         versionInFileName(header.versi) + header.ano + number + ".xml";
}

std::string versionInFileName(std::string_view versi) {
  return versi.size() >= 2 ? std::string(versi) : "0" + std::string(versi);
}

std::string TEXTO4CABEZAXML(int formatNumber, const XmlHeader& header, double total,
                            std::int64_t count, std::string& fileName) {
  const std::string code = store::formatCode(formatNumber);
  const std::string kind = header.codCpt.empty() ? std::string() : header.codCpt.substr(0, 1);
  std::string t;
  t += "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
  t += "<mas xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
       "xsi:noNamespaceSchemaLocation=\"" +
       code + ".xsd\">\r\n";
  t += "<Cab>\r\n";
  t += "<Ano>" + elementText(header.ano) + "</Ano>\r\n";
  t += "<CodCpt>" + elementText(kind) + "</CodCpt>\r\n";
  t += "<Formato>" + code + "</Formato>\r\n";
  t += "<Version>" + elementText(header.versi) + "</Version>\r\n";
  t += "<NumEnvio>" + elementText(trimBlanks(header.numEnv)) + "</NumEnvio>\r\n";
  t += "<FecEnvio>" + elementText(header.fecEnv) + "</FecEnvio>\r\n";
  t += "<FecInicial>" + elementText(header.fecIni) + "</FecInicial>\r\n";
  t += "<FecFinal>" + elementText(header.fecFin) + "</FecFinal>\r\n";
  t += "<ValorTotal>" + wholeText(total) + "</ValorTotal>\r\n";
  t += "<CantReg>" + std::to_string(count) + "</CantReg>\r\n";
  t += "</Cab>\r\n";
  fileName = xmlFileName(header, formatNumber);
  return t;
}

std::string xmlAttributeValue(std::string_view value) {
  const std::string safe = xmlSafeText(trimBlanks(value));
  std::string out;
  for (const char c : trimBlanks(safe)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

double xmlTotal(int formatNumber, const std::vector<XmlRecord>& records) {
  const XmlLayout& layout = LOSCAMPOSXML(formatNumber);
  const int sum = fieldPosition(layout, layout.sumField);
  double total = 0;
  for (const XmlRecord& r : records)
    if (sum >= 0 && static_cast<std::size_t>(sum) < r.size())
      total += parseNumber(trimBlanks(r[static_cast<std::size_t>(sum)]));
  return total;
}

std::string xmlDocument(int formatNumber, const XmlHeader& header,
                        const std::vector<XmlRecord>& records, std::string& fileName,
                        std::vector<XmlFinding>* changed) {
  const XmlLayout& layout = LOSCAMPOSXML(formatNumber);
  std::string doc = TEXTO4CABEZAXML(formatNumber, header, xmlTotal(formatNumber, records),
                                    static_cast<std::int64_t>(records.size()), fileName);
  const auto note = [&](std::int64_t record, std::string party, std::string field,
                        std::string_view value) {
    if (changed == nullptr) return;
    changed->push_back({record, std::move(party), std::move(field),
                        "car\341cter no admitido en el archivo XML, reemplazado",
                        std::string(trimBlanks(xmlSafeText(value)))});
  };
  const std::pair<const char*, const std::string*> headerValues[] = {
      {"Ano", &header.ano},         {"CodCpt", &header.codCpt},   {"Version", &header.versi},
      {"NumEnvio", &header.numEnv}, {"FecEnvio", &header.fecEnv}, {"FecInicial", &header.fecIni},
      {"FecFinal", &header.fecFin}};
  for (const auto& [element, value] : headerValues) {
    if (xmlSafeText(*value) != *value) note(0, "", element, *value);
  }
  std::vector<std::string> names;
  for (const XmlField& f : layout.fields) names.push_back(lower1252(f.name));
  std::int64_t number = 0;
  for (const XmlRecord& r : records) {
    ++number;
    doc += '<';
    doc += layout.element;
    doc += ' ';
    for (std::size_t i = 0; i < names.size() && i < r.size(); ++i) {
      const std::string_view given = trimBlanks(r[i]);
      if (isXmlSafe(given)) {
        // The usual value: nothing to replace, only the three characters to write as references.
        if (given.empty()) continue;
        doc += names[i];
        doc += "=\"";
        appendAttributeText(doc, given);
        doc += "\" ";
        continue;
      }
      const std::string value = xmlAttributeValue(given);
      if (xmlSafeText(given) != given) note(number, partyOf(layout, r), names[i], given);
      if (value.empty()) continue;
      doc += names[i] + "=\"" + value + "\" ";
    }
    doc += "/>\r\n";
  }
  doc += "</mas>";
  return doc;
}

std::vector<XmlRun> xmlFileRuns(int formatNumber, const std::vector<XmlRecord>& records,
                                std::size_t limit) {
  const XmlLayout& layout = LOSCAMPOSXML(formatNumber);
  const int nid = fieldPosition(layout, "nid");
  const int cpt = fieldPosition(layout, "cpt");
  const auto value = [&](std::size_t record, int position) -> std::string_view {
    const XmlRecord& r = records[record];
    if (position < 0 || static_cast<std::size_t>(position) >= r.size()) return {};
    return trimBlanks(r[static_cast<std::size_t>(position)]);
  };
  const auto minor = [&](std::size_t record) {
    return nid >= 0 && value(record, nid) == kMinorAmountsNid;
  };
  if (limit == 0) limit = 1;
  std::vector<XmlRun> runs;
  std::size_t first = 0;
  do {
    std::size_t last = std::min(records.size(), first + limit);
    // A minor-amounts record that would open the next file takes its concept's last record along.
    if (last < records.size() && last - first > 1 && minor(last) && !minor(last - 1) &&
        value(last - 1, cpt) == value(last, cpt))
      --last;
    runs.emplace_back(first, last);
    first = last;
  } while (first < records.size());
  return runs;
}

XmlHeader headerOfPart(const XmlHeader& header, std::size_t index) {
  if (index == 0) return header;
  XmlHeader part = header;
  const double asked = parseNumber(trimBlanks(header.numEnv));
  const double first = std::isfinite(asked) ? std::fabs(std::trunc(asked)) : 0.0;
  part.numEnv = wholeText(first + static_cast<double>(index));
  return part;
}

std::vector<XmlRecord> recordsOfArea(Interp& ip, int formatNumber) {
  std::vector<XmlRecord> records;
  WorkAreas* areas = ip.workAreas();
  if (areas == nullptr) return records;
  const int area = areas->selected();
  if (area == 0 || !areas->isUsed(area)) return records;
  const XmlLayout& layout = LOSCAMPOSXML(formatNumber);
  std::vector<int> positions;
  for (const XmlField& f : layout.fields) positions.push_back(areas->fieldIndex(area, f.name));
  areas->goTop(ip, area);
  while (!areas->eof(area)) {
    XmlRecord r;
    r.reserve(positions.size());
    ArenaScope arena(ip.arena());
    for (const int pos : positions) {
      if (pos < 0) {
        r.emplace_back();
        continue;
      }
      const Value v = areas->getField(ip, area, pos);
      r.emplace_back(v.isText() ? std::string(trimBlanks(v.textView())) : trimBlanksOf(text(v)));
    }
    records.push_back(std::move(r));
    areas->skip(ip, area, 1);
  }
  areas->goTop(ip, area);
  return records;
}

XmlResult GENERAXML(shell::Session& session, int formatNumber, std::size_t limit) {
  XmlResult result;
  if (!isFormatNumber(formatNumber)) {
    result.error = "El formato " + std::to_string(formatNumber) + " no existe.";
    return result;
  }
  Interp& ip = session.interp();
  shell::UserInterface& ui = session.ui();
  {
    const std::lock_guard lock(contextsGuard());
    contexts()[&ip].lastFiles.clear();
  }
  ui.waitOpen(kWaitText, std::nullopt);
  try {
    const std::vector<XmlRecord> records = recordsOfArea(ip, formatNumber);
    const XmlHeader asked = headerFrom(session.cabez());
    result.records = static_cast<std::int64_t>(records.size());
    result.total = roundHalfAway(xmlTotal(formatNumber, records), 0);
    const fs::path folder = outputFolder(session);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::vector<XmlRun> runs = xmlFileRuns(formatNumber, records, limit);
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const std::vector<XmlRecord> part(
          records.begin() + static_cast<std::ptrdiff_t>(runs[i].first),
          records.begin() + static_cast<std::ptrdiff_t>(runs[i].second));
      const XmlHeader header = headerOfPart(asked, i);
      std::string fileName;
      std::vector<XmlFinding> changed;
      const std::string doc = xmlDocument(formatNumber, header, part, fileName, &changed);
      if (!shell::isPlainName(fileName)) {
        result.error = "El nombre del archivo XML \"" + fileName +
                       "\" no es v\xE1"
                       "lido: revise el a\xF1"
                       "o, la versi\xF3"
                       "n y el n\xFA"
                       "mero de env\xED"
                       "o.";
        break;
      }
      const fs::path file = shell::entryPath(folder, fileName);
      if (i == 0) result.file = file;
      if (const std::string fault = writeFile(file, std::string(trimBlanks(doc))); !fault.empty()) {
        result.file = file;
        result.error = "No se pudo escribir el archivo " + file.string() + " (" + fault +
                       "). El archivo anterior, si lo hab\xED"
                       "a, queda como estaba.";
        break;
      }
      result.changed.insert(result.changed.end(), changed.begin(), changed.end());
      result.files.push_back({file, std::string(trimBlanks(header.numEnv)),
                              static_cast<std::int64_t>(part.size()),
                              roundHalfAway(xmlTotal(formatNumber, part), 0), std::move(changed)});
    }
    result.written = !result.files.empty() && result.error.empty();
    {
      const std::lock_guard lock(contextsGuard());
      contexts()[&ip].lastFiles = result.files;
    }
  } catch (...) {
    ui.waitClose();
    throw;
  }
  ui.waitClose();
  if (!result.error.empty()) ui.message(shell::MessageKind::Error, kErrorTitle, result.error);
  return result;
}

fs::path excelWorkbookPath(const shell::Session& session, int formatNumber) {
  return shell::entryPath(outputFolder(session), shell::companyFolderName(session.celPath()) +
                                                     "-MMgmExc" + shell::twoDigits(formatNumber) +
                                                     ".xlsx");
}

XmlResult CARGAXLS2XLM(shell::Session& session, int formatNumber, const fs::path& copy,
                       const std::function<void(std::int64_t, std::int64_t)>& progress) {
  XmlResult result;
  Interp& ip = session.interp();
  WorkAreas* areas = ip.workAreas();
  reports::XlsxRead read = reports::openXlsx(copy, {}, reports::FormulaCells::Values);
  if (!read.book || areas == nullptr) {
    result.error = "No se pudo leer el libro " + copy.string() + ": " + read.error;
    session.ui().message(shell::MessageKind::Error, kErrorTitle, result.error);
    return result;
  }
  const XmlLayout& layout = LOSCAMPOSXML(formatNumber);
  std::vector<FieldInfo> structure;
  // Every field as wide as a character field can be, so that a cell longer than the
  // attribute's width reaches the file whole (the file's check reports it) instead of being cut.
  for (const XmlField& f : layout.fields) structure.push_back({f.name, 'C', kWideField, 0});

  const int previous = areas->selected();
  const fs::path table = shell::entryPath(session.scratchFolder(), kWorkTable);
  if (const int old = areas->areaOf(kWorkAlias)) areas->close(ip, old);
  std::error_code ec;
  fs::remove(table, ec);
  areas->create(ip, table.string(), structure);
  areas->use(ip, true, table.string(), kWorkAlias, false, false);
  const int area = areas->areaOf(kWorkAlias);
  auto cleanUp = [&] {
    if (area != 0 && areas->isUsed(area)) areas->close(ip, area);
    std::error_code ignored;
    fs::remove(table, ignored);
    areas->select(previous);
  };
  try {
    const reports::Workbook& book = *read.book;
    const reports::Sheet& sheet = book.active();
    const int lastRow = sheet.lastRow();
    const int columns = std::min<int>(sheet.lastCol(), static_cast<int>(layout.fields.size()));
    const std::int64_t total = std::max(0, lastRow - kFirstDataRow + 1);
    std::int64_t done = 0;
    if (progress) progress(0, total);
    for (int row = kFirstDataRow; row <= lastRow; ++row) {
      areas->append(ip, area);
      for (int col = 1; col <= columns; ++col) {
        const reports::Cell* cell = sheet.find(row, col);
        if (cell == nullptr) continue;
        Value value;
        switch (cell->kind) {
          case reports::CellKind::Number: value = Value::number(cell->num); break;
          case reports::CellKind::Formula:
            // A formula never computed, or computed to an error, has no value: taken for 0 or
            // left out, it would change a figure of the file without anyone seeing it.
            result.error = "La celda " + reports::cellName(row, col) +
                           " del libro tiene una f\xF3rmula sin valor calculado o con error (" +
                           book.text(cell->text) +
                           "). \xC1bralo en la hoja de c\xE1lculo, corr\xEDjala y gu\xE1rdelo "
                           "de nuevo; no se escribi\xF3 el archivo XML.";
            cleanUp();
            session.ui().message(shell::MessageKind::Error, kErrorTitle, result.error);
            return result;
          case reports::CellKind::Date:
            value = Value::date(reports::julianFromSerial(cell->num));
            break;
          case reports::CellKind::Text: value = Value::text(book.text(cell->text)); break;
          case reports::CellKind::Logical: value = Value::logical(cell->num != 0); break;
          default: continue;
        }
        const std::string t(trimBlanks(text(reports::convertCellValue(value, 'C'))));
        if (t.empty()) continue;
        areas->putField(ip, area, col - 1, Value::text(t));
      }
      // The working table is a scratch file read back through the same engine and erased at the
      // end: the row is released, not forced to the disk (a forced write per row made a
      // workbook of ten thousand rows wait on the disk for a minute).
      areas->unlock(ip, area);
      ++done;
      if (progress) progress(done, total);
    }
    areas->select(area);
    areas->goTop(ip, area);
    result = GENERAXML(session, formatNumber);
  } catch (...) {
    cleanUp();
    throw;
  }
  cleanUp();
  return result;
}

XmlResult CONVIERTE2XML(shell::Session& session, int formatNumber,
                        const std::function<bool()>& askHeader) {
  XmlResult result;
  if (!isFormatNumber(formatNumber)) return result;
  const fs::path workbook = excelWorkbookPath(session, formatNumber);
  std::error_code ec;
  if (!fs::is_regular_file(workbook, ec)) {
    result.error = "El archivo  " + workbook.string() +
                   "  no ha sido creado.\r\n\r\nGenere el archivo correspondiente pulsando el "
                   "bot\xF3"
                   "n \"Generar archivo Excel\" e intente\r\n nuevamente esta opci\xF3"
                   "n.";
    session.ui().message(shell::MessageKind::Info, kTitle, result.error);
    return result;
  }
  session.impre().set("nFormat", Value::number(formatNumber));
  if (askHeader && !askHeader()) return result;
  std::string copyName = workbook.filename().string();
  const std::size_t at = copyName.find("-MMgmExc");
  if (at != std::string::npos) copyName.replace(at, 8, "-TempExc");
  // The copy read is the process's own (two processes may convert at once) and is written
  // through the store: a run killed while copying leaves no half copy under a name another run
  // reads, and its leftover goes at the next start.
  const fs::path copy = workbook.parent_path() / store::stagedName(copyName);
  try {
    store::Engine::copyFile(workbook.string(), copy.string());
  } catch (const FailureError& e) {
    result.error = "No se pudo copiar el archivo " + workbook.string() + " (" +
                   std::string(trimBlanks(e.failure().description)) + ").";
    session.ui().message(shell::MessageKind::Error, kErrorTitle, result.error);
    return result;
  }
  bool meter = false;
  auto endMeter = [&] {
    if (meter) session.ui().meterEnd();
    meter = false;
  };
  try {
    result = CARGAXLS2XLM(session, formatNumber, copy, [&](std::int64_t done, std::int64_t all) {
      if (!meter) session.ui().meterBegin("Procesando, por favor espere.....", all, false);
      meter = true;
      session.ui().meterAdvance(done);
      session.ui().pumpEvents();
    });
  } catch (...) {
    endMeter();
    fs::remove(copy, ec);
    throw;
  }
  endMeter();
  fs::remove(copy, ec);
  return result;
}

fs::path lastXmlFile(const Interp& ip) {
  const std::vector<XmlFilePart> files = lastXmlFiles(ip);
  return files.empty() ? fs::path() : files.front().file;
}

std::vector<XmlFilePart> lastXmlFiles(const Interp& ip) {
  const std::lock_guard lock(contextsGuard());
  const auto it = contexts().find(&ip);
  return it == contexts().end() ? std::vector<XmlFilePart>() : it->second.lastFiles;
}

void forgetXmlFiles(const Interp& ip) {
  const std::lock_guard lock(contextsGuard());
  const auto it = contexts().find(&ip);
  if (it != contexts().end()) it->second.lastFiles.clear();
}

// The functions of the report definitions.
namespace {

shell::Session* sessionOf(Args& a) {
  const std::lock_guard lock(contextsGuard());
  const auto it = contexts().find(&a.interp());
  return it == contexts().end() ? nullptr : it->second.session;
}

void setKey(TPublic& container, std::string_view key, const Value& value) {
  if (container.isDef(key)) container.set(key, value);
  else container.add(key, value);
}

// LOSCAMPOSXML(nFormat): {{cName, "C", nWidth, 0}, ...}; sets OFORXML:cElement and :Cmpo2Sum.
Value loscamposxml(Args& a) {
  const int format = static_cast<int>(a.integer(0, 1, 12));
  const XmlLayout& layout = LOSCAMPOSXML(format);
  Value list = Value::newArray();
  for (const XmlField& f : layout.fields) {
    Value row = Value::newArray();
    row.arrayData().items = {Value::text(f.name), Value::text("C"), Value::number(f.width),
                             Value::number(0)};
    list.arrayData().items.push_back(row);
  }
  if (shell::Session* s = sessionOf(a)) {
    setKey(s->forXml(), "cElement", Value::text(layout.element));
    setKey(s->forXml(), "Cmpo2Sum", Value::text(layout.sumField));
  }
  return list;
}

// CONVIERTEXVALUE(xValue, cType): the value as text ("C", the default) or number ("N").
Value conviertexvalue(Args& a) {
  const std::string type = a.has(1) && a[1].isText() ? upper1252(trimBlanks(a[1].textView())) : "C";
  return reports::convertCellValue(a.has(0) ? a[0] : Value(), type == "N" ? 'N' : 'C');
}

// NUMGETDECIMALS(nValue)
Value numgetdecimals(Args& a) { return Value::number(reports::numGetDecimals(a.num(0, 0))); }

// TEXTO4CABEZAXML(nFormat, nTotal, nCount, aName): the declaration, root and header text; when
// aName is an array its first element receives the file's name.
Value texto4cabezaxml(Args& a) {
  const int format = static_cast<int>(a.integer(0, 1, 12));
  shell::Session* s = sessionOf(a);
  const XmlHeader header = s != nullptr ? headerFrom(s->cabez()) : XmlHeader{};
  std::string name;
  const std::string t =
      TEXTO4CABEZAXML(format, header, a.num(1, 0), static_cast<std::int64_t>(a.num(2, 0)), name);
  if (a.has(3) && a[3].isArray()) {
    auto& items = a[3].arrayData().items;
    if (items.empty()) items.emplace_back();
    items[0] = Value::text(name);
  }
  return Value::text(t);
}

// While a definition runs, the folders these functions write into (the company folder for the
// working table, its output folder for the file and the workbook's copy) must be ones the
// definition may write into: the session's paths are variables a definition can change.
bool mayWriteOutput(Args& a, const shell::Session& s) {
  Interp& ip = a.interp();
  if (pathPolicyOf(ip) == nullptr) return true;
  return allowPath(ip, s.companyFolder().string(), PathUse::Write, a.function()) &&
         allowPath(ip, outputFolder(s).string(), PathUse::Write, a.function());
}

// GENERAXML(nFormat): writes the file from the selected work area.
Value generaxml(Args& a) {
  const int format = static_cast<int>(a.integer(0, 1, 12));
  if (shell::Session* s = sessionOf(a); s != nullptr && mayWriteOutput(a, *s))
    GENERAXML(*s, format);
  return Value();
}

// CARGAXLS2XLM(nFormat, cWorkbook): loads a workbook and writes its file; .T. when written.
Value cargaxls2xlm(Args& a) {
  const int format = static_cast<int>(a.integer(0, 1, 12));
  shell::Session* s = sessionOf(a);
  if (s == nullptr) return Value::logical(false);
  const std::string path(trimBlanks(a.text(1)));
  if (!allowPath(a.interp(), path, PathUse::Read, a.function()) || !mayWriteOutput(a, *s))
    return Value::logical(false);
  return Value::logical(CARGAXLS2XLM(*s, format, fs::path(path)).written);
}

// CONVIERTE2XML(nFormat, cConcept, lExcel, lXml): the conversion button; the header is asked
// through PONECABEZA() when the program has one.
Value convierte2xml(Args& a) {
  const int format = static_cast<int>(a.integer(0, 1, 12));
  shell::Session* s = sessionOf(a);
  if (s == nullptr || !mayWriteOutput(a, *s)) return Value();
  Interp& ip = a.interp();
  CONVIERTE2XML(*s, format, [&ip] {
    if (ip.functions().find("PONECABEZA") == nullptr) return true;
    const Value answer = ip.evalText("PONECABEZA()");
    return answer.isLogical() && answer.logical();
  });
  return Value();
}

}  // namespace

void registerXmlFunctions(Interp& ip, shell::Session& session) {
  {
    const std::lock_guard lock(contextsGuard());
    contexts()[&ip].session = &session;
  }
  Functions& f = ip.functions();
  f.add("LOSCAMPOSXML", loscamposxml, 1, 1);
  f.add("CONVIERTEXVALUE", conviertexvalue, 0, 2);
  f.add("NUMGETDECIMALS", numgetdecimals, 0, 1);
  f.add("TEXTO4CABEZAXML", texto4cabezaxml, 1, 4);
  f.add("GENERAXML", generaxml, 1, 1);
  f.add("CARGAXLS2XLM", cargaxls2xlm, 2, -1);
  f.add("CONVIERTE2XML", convierte2xml, 1, 4);
}

}  // namespace exo::generation

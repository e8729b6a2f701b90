// Reading an Office Open XML workbook back into the in-memory workbook: the workbook part and
// its relationships (sheet names and parts), shared strings, styles (fonts, fills, borders,
// number formats, alignment), and per sheet the cells, column widths and merged ranges.
// Anything damaged or foreign gives a Spanish description instead of a book.
#include <zip.h>

#include <pugixml.hpp>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "expr/Codepage.h"
#include "reports/XlsxFile.h"

namespace exo::reports {
namespace {

struct Damaged {
  std::string what;
};

class Archive {
 public:
  Archive(zip_t* z, const XlsxLimits& limits) : m_zip(z), m_limits(limits) {}
  ~Archive() { zip_discard(m_zip); }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // The uncompressed bytes of a part, or nullopt when the archive has no such part.
  std::optional<std::string> part(std::string name) const {
    if (!name.empty() && name[0] == '/') name.erase(0, 1);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(m_zip, name.c_str(), ZIP_FL_ENC_GUESS, &st) != 0) return std::nullopt;
    if ((st.valid & ZIP_STAT_SIZE) == 0 || st.size > m_limits.maxPartBytes)
      throw Damaged{"la parte " + name + " es demasiado grande"};
    zip_file_t* f = zip_fopen_index(m_zip, st.index, 0);
    if (f == nullptr) throw Damaged{"la parte " + name + " no se puede leer"};
    std::string data(static_cast<std::size_t>(st.size), '\0');
    const zip_int64_t n = data.empty() ? 0 : zip_fread(f, data.data(), data.size());
    zip_fclose(f);
    if (n < 0 || static_cast<std::size_t>(n) != data.size())
      throw Damaged{"la parte " + name + " est\341 da\361ada"};
    return data;
  }

  pugi::xml_document xml(const std::string& name, bool required) const {
    pugi::xml_document doc;
    const auto bytes = part(name);
    if (!bytes) {
      if (required) throw Damaged{"falta la parte " + name};
      return doc;
    }
    if (!doc.load_buffer(bytes->data(), bytes->size(), pugi::parse_default, pugi::encoding_utf8))
      throw Damaged{"la parte " + name + " no es XML v\341lido"};
    return doc;
  }

 private:
  zip_t* m_zip;
  const XlsxLimits& m_limits;
};

// Element names without their namespace prefix ("x:row" is "row").
const char* localName(const pugi::xml_node& n) {
  const char* name = n.name();
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

bool is(const pugi::xml_node& n, const char* name) { return std::strcmp(localName(n), name) == 0; }

pugi::xml_node child(const pugi::xml_node& n, const char* name) {
  for (pugi::xml_node c : n.children())
    if (is(c, name)) return c;
  return {};
}

std::string text1252(const char* utf8) { return fromUtf8(utf8); }

// The text of a string item: its own <t>, or the <t> of each run; phonetic runs are skipped.
std::string itemText(const pugi::xml_node& si) {
  std::string out;
  for (pugi::xml_node c : si.children()) {
    if (is(c, "t")) out += c.text().get();
    if (is(c, "r"))
      for (pugi::xml_node t : c.children())
        if (is(t, "t")) out += t.text().get();
  }
  return fromUtf8(out);
}

std::uint32_t colourOf(const pugi::xml_node& n, std::uint32_t dflt) {
  const char* rgb = n.attribute("rgb").value();
  if (std::strlen(rgb) < 6) return dflt;
  const unsigned long v = std::strtoul(rgb + std::strlen(rgb) - 6, nullptr, 16);
  const std::uint32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
  return r + 256 * g + 65536 * b;
}

int borderNumber(const char* style) {
  static const std::map<std::string, int> kStyles = {
      {"thin", 1},       {"hair", 1},          {"medium", 2},          {"thick", 3},
      {"dashed", -4115}, {"dotted", -4118},    {"double", -4119},      {"dashDot", 4},
      {"dashDotDot", 5}, {"slantDashDot", 13}, {"mediumDashed", -4115}};
  const auto it = kStyles.find(style);
  return it == kStyles.end() ? 0 : it->second;
}

int alignNumber(const char* h) {
  static const std::map<std::string, int> kAlign = {
      {"left", 2},    {"center", 3},           {"right", 4},          {"fill", 5},
      {"justify", 6}, {"centerContinuous", 7}, {"distributed", -4117}};
  const auto it = kAlign.find(h);
  return it == kAlign.end() ? 1 : it->second;
}

std::string builtinFormat(int id) {
  switch (id) {
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 14: return "dd/mm/yyyy";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "dd/mm/yyyy h:mm";
    case 49: return "@";
    default: return {};
  }
}

// The cell styles of styles.xml, as style ids of the book (index = the xf's position).
std::vector<std::uint32_t> readStyles(const Archive& zip, Workbook& book, const std::string& path) {
  std::vector<std::uint32_t> ids;
  const pugi::xml_document doc = zip.xml(path, false);
  const pugi::xml_node root = doc.first_child();
  if (!root) return ids;
  std::map<int, std::string> numFmts;
  for (pugi::xml_node n : child(root, "numFmts").children())
    numFmts[n.attribute("numFmtId").as_int()] = fromUtf8(n.attribute("formatCode").value());
  std::vector<CellStyle> fonts, fills, borders;
  for (pugi::xml_node f : child(root, "fonts").children()) {
    CellStyle s;
    if (auto n = child(f, "name")) s.font = text1252(n.attribute("val").value());
    if (auto n = child(f, "sz")) s.size = n.attribute("val").as_double(11);
    if (auto n = child(f, "b")) s.bold = n.attribute("val").as_bool(true);
    if (auto n = child(f, "i")) s.italic = n.attribute("val").as_bool(true);
    if (auto n = child(f, "u")) s.underline = std::strcmp(n.attribute("val").value(), "none") != 0;
    if (auto n = child(f, "color")) s.color = colourOf(n, 0);
    if (!(s.size > 0 && s.size < 410)) s.size = 11;
    fonts.push_back(s);
  }
  for (pugi::xml_node f : child(root, "fills").children()) {
    CellStyle s;
    const pugi::xml_node p = child(f, "patternFill");
    if (std::strcmp(p.attribute("patternType").value(), "solid") == 0)
      if (auto c = child(p, "fgColor")) s.background = colourOf(c, kWhite);
    fills.push_back(s);
  }
  for (pugi::xml_node b : child(root, "borders").children()) {
    CellStyle s;
    s.border = borderNumber(child(b, "left").attribute("style").value());
    borders.push_back(s);
  }
  for (pugi::xml_node xf : child(root, "cellXfs").children()) {
    CellStyle s;
    const auto pick = [](const std::vector<CellStyle>& v, unsigned i) -> const CellStyle* {
      return i < v.size() ? &v[i] : nullptr;
    };
    if (const CellStyle* f = pick(fonts, xf.attribute("fontId").as_uint())) {
      s.font = f->font;
      s.size = f->size;
      s.bold = f->bold;
      s.italic = f->italic;
      s.underline = f->underline;
      s.color = f->color;
    }
    if (const CellStyle* f = pick(fills, xf.attribute("fillId").as_uint()))
      s.background = f->background;
    if (const CellStyle* b = pick(borders, xf.attribute("borderId").as_uint()))
      s.border = b->border;
    const int fmt = xf.attribute("numFmtId").as_int();
    s.numberFormat = numFmts.count(fmt) ? numFmts[fmt] : builtinFormat(fmt);
    if (auto a = child(xf, "alignment")) {
      s.align = alignNumber(a.attribute("horizontal").value());
      const int rot = a.attribute("textRotation").as_int();
      s.orientation = rot == 255 ? -4166 : rot > 90 ? 90 - rot : rot;
      s.wrap = a.attribute("wrapText").as_bool();
    }
    if (auto p = child(xf, "protection")) s.locked = p.attribute("locked").as_bool(true);
    ids.push_back(book.styleId(s));
  }
  return ids;
}

// Resolves a relationship target against the folder of the part that names it.
std::string resolveTarget(const std::string& base, const std::string& target) {
  if (!target.empty() && target[0] == '/') return target.substr(1);
  std::string folder = base.substr(0, base.rfind('/') + 1);
  std::string rest = target;
  while (rest.rfind("../", 0) == 0) {
    rest.erase(0, 3);
    if (!folder.empty()) folder.erase(folder.rfind('/', folder.size() - 2) + 1);
  }
  return folder + rest;
}

std::map<std::string, std::string> readRels(const Archive& zip, const std::string& part) {
  const auto slash = part.rfind('/');
  const std::string relsPath =
      part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
  std::map<std::string, std::string> rels;
  const pugi::xml_document doc = zip.xml(relsPath, false);
  for (pugi::xml_node r : doc.first_child().children())
    rels[r.attribute("Id").value()] = resolveTarget(part, r.attribute("Target").value());
  return rels;
}

// Row and column of an "A1" reference; false when it is not one.
bool refPosition(const char* ref, int& row, int& col) {
  const auto range = parseRange(ref);
  if (!range || range->top != range->bottom || range->left != range->right ||
      std::strchr(ref, ':') != nullptr)
    return false;
  row = range->top;
  col = range->left;
  return true;
}

class SheetLoader {
 public:
  SheetLoader(Workbook& book, const std::vector<std::string>& shared,
              const std::vector<std::uint32_t>& styles, const XlsxLimits& limits,
              std::size_t& cellBudget, FormulaCells formulas)
      : m_book(book),
        m_shared(shared),
        m_styles(styles),
        m_limits(limits),
        m_budget(cellBudget),
        m_formulas(formulas) {}

  void load(const pugi::xml_node& ws, Sheet& sh) {
    for (pugi::xml_node c : child(ws, "cols").children()) {
      const int min = c.attribute("min").as_int(), max = c.attribute("max").as_int();
      const double width = c.attribute("width").as_double();
      if (min < 1 || max < min || max > kMaxCols || !(width > 0 && width < 256)) continue;
      for (int i = min; i <= max && i <= min + 1024; ++i) sh.columnWidths[i] = width;
    }
    int rowNo = 0;
    for (pugi::xml_node row : child(ws, "sheetData").children()) {
      if (!is(row, "row")) continue;
      rowNo = row.attribute("r") ? row.attribute("r").as_int() : rowNo + 1;
      if (rowNo < 1 || rowNo > kMaxRows) throw Damaged{"una fila est\341 fuera de la hoja"};
      int colNo = 0;
      for (pugi::xml_node c : row.children()) {
        if (!is(c, "c")) continue;
        int r = rowNo, col = colNo + 1;
        if (c.attribute("r") && !refPosition(c.attribute("r").value(), r, col))
          throw Damaged{"una celda tiene una referencia inv\341lida"};
        colNo = col;
        cell(sh, c, r, col);
      }
    }
    for (pugi::xml_node m : child(ws, "mergeCells").children())
      if (auto range = parseRange(m.attribute("ref").value())) sh.merges.push_back(*range);
  }

 private:
  void cell(Sheet& sh, const pugi::xml_node& c, int row, int col) {
    const std::size_t have = sh.rows.size() >= static_cast<std::size_t>(row)
                                 ? sh.rows[static_cast<std::size_t>(row) - 1].size()
                                 : 0;
    const std::size_t more = static_cast<std::size_t>(col) > have ? col - have : 0;
    const std::size_t newRows =
        sh.rows.size() < static_cast<std::size_t>(row) ? row - sh.rows.size() : 0;
    if (more + newRows > m_budget) throw Damaged{"la hoja es demasiado grande"};
    m_budget -= more + newRows;
    const unsigned s = c.attribute("s").as_uint();
    const std::uint32_t style = s < m_styles.size() ? m_styles[s] : 0;
    const std::string type = c.attribute("t").value();
    const pugi::xml_node v = child(c, "v");
    const pugi::xml_node f = child(c, "f");
    Cell& target = sh.at(row, col);
    target.style = style;
    if (f && m_formulas == FormulaCells::Values) {
      // Read for its values, a formula is the value last computed, when there is one to read
      // (the cells that share another cell's formula have an empty one of their own).
      const bool computed = v && (type == "str" || v.text().get()[0] != '\0') && type != "e";
      if (!computed) {
        m_book.setFormula(sh, row, col, "=" + fromUtf8(f.text().get()));
        return;
      }
    } else if (f && f.text().get()[0] != '\0') {
      m_book.setFormula(sh, row, col, "=" + fromUtf8(f.text().get()));
      target.num = v.text().as_double();
      return;
    }
    if (type == "s") {
      const unsigned i = v.text().as_uint();
      if (i >= m_shared.size()) throw Damaged{"una celda cita un texto que no existe"};
      m_book.setText(sh, row, col, m_shared[i]);
    } else if (type == "inlineStr") {
      m_book.setText(sh, row, col, itemText(child(c, "is")));
    } else if (type == "str") {
      m_book.setText(sh, row, col, fromUtf8(v.text().get()));
    } else if (type == "b") {
      if (v) m_book.setLogical(sh, row, col, v.text().as_int() != 0);
    } else if (type == "e") {
      m_book.setText(sh, row, col, fromUtf8(v.text().get()));
    } else if (v) {
      const double n = v.text().as_double();
      if (!std::isfinite(n)) throw Damaged{"una celda tiene un n\372mero inv\341lido"};
      if (isDateFormat(m_book.style(style).numberFormat) && julianFromSerial(n) > 0)
        m_book.setDate(sh, row, col, n);
      else m_book.setNumber(sh, row, col, n);
    }
  }

  Workbook& m_book;
  const std::vector<std::string>& m_shared;
  const std::vector<std::uint32_t>& m_styles;
  const XlsxLimits& m_limits;
  std::size_t& m_budget;
  FormulaCells m_formulas;
};

Workbook readBook(const Archive& zip, const XlsxLimits& limits, FormulaCells formulas) {
  // The workbook part is named by the package's root relationships.
  std::string bookPart = "xl/workbook.xml";
  const pugi::xml_document rootRels = zip.xml("_rels/.rels", false);
  for (pugi::xml_node r : rootRels.first_child().children()) {
    const std::string type = r.attribute("Type").value();
    if (type.size() > 15 && type.compare(type.size() - 15, 15, "/officeDocument") == 0)
      bookPart = resolveTarget("", r.attribute("Target").value());
  }
  const pugi::xml_document wbDoc = zip.xml(bookPart, true);
  const pugi::xml_node wbRoot = wbDoc.first_child();
  if (!is(wbRoot, "workbook")) throw Damaged{"no contiene un libro de c\341lculo"};
  const auto rels = readRels(zip, bookPart);
  std::string stylesPart = "xl/styles.xml", sharedPart = "xl/sharedStrings.xml";
  const pugi::xml_document relDoc = zip.xml(bookPart.substr(0, bookPart.rfind('/') + 1) + "_rels/" +
                                                bookPart.substr(bookPart.rfind('/') + 1) + ".rels",
                                            false);
  for (pugi::xml_node r : relDoc.first_child().children()) {
    const std::string type = r.attribute("Type").value();
    const std::string target = resolveTarget(bookPart, r.attribute("Target").value());
    if (type.size() > 7 && type.compare(type.size() - 7, 7, "/styles") == 0) stylesPart = target;
    if (type.find("sharedStrings") != std::string::npos) sharedPart = target;
  }
  Workbook book;
  const std::vector<std::uint32_t> styles = readStyles(zip, book, stylesPart);
  std::vector<std::string> shared;
  {
    const pugi::xml_document sst = zip.xml(sharedPart, false);
    for (pugi::xml_node si : sst.first_child().children())
      if (is(si, "si")) shared.push_back(itemText(si));
  }
  std::vector<Sheet> sheets;
  std::size_t budget = limits.maxCells;
  for (pugi::xml_node s : child(wbRoot, "sheets").children()) {
    if (!is(s, "sheet")) continue;
    const char* rid = "";
    for (pugi::xml_attribute a : s.attributes())
      if (std::strcmp(a.name(), "r:id") == 0 || std::strstr(a.name(), ":id") != nullptr)
        rid = a.value();
    const auto it = rels.find(rid);
    if (it == rels.end()) throw Damaged{"una hoja no tiene su parte"};
    const pugi::xml_document ws = zip.xml(it->second, true);
    Sheet sh;
    sh.name = fromUtf8(s.attribute("name").value());
    if (is(ws.first_child(), "worksheet")) {
      SheetLoader loader(book, shared, styles, limits, budget, formulas);
      loader.load(ws.first_child(), sh);
    }
    sheets.push_back(std::move(sh));
  }
  if (sheets.empty()) throw Damaged{"el libro no tiene hojas"};
  book.sheets() = std::move(sheets);
  const unsigned active =
      child(child(wbRoot, "bookViews"), "workbookView").attribute("activeTab").as_uint();
  book.setActive(active);
  return book;
}

XlsxRead readFrom(zip_source_t* src, const std::string& label, const XlsxLimits& limits,
                  FormulaCells formulas) {
  XlsxRead out;
  zip_error_t err;
  zip_error_init(&err);
  zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &err);
  zip_error_fini(&err);
  if (z == nullptr) {
    zip_source_free(src);
    out.error =
        "El archivo " + label + " no es un libro de c\341lculo (no es un archivo zip v\341lido)";
    return out;
  }
  try {
    Archive zip(z, limits);
    out.book = readBook(zip, limits, formulas);
  } catch (const Damaged& d) {
    out.error = "El archivo " + label + " no es un libro de c\341lculo v\341lido: " + d.what;
  } catch (const std::bad_alloc&) {
    out.error = "El archivo " + label + " es demasiado grande para leerlo";
  }
  return out;
}

}  // namespace

XlsxRead openXlsx(const std::filesystem::path& path, const XlsxLimits& limits,
                  FormulaCells formulas) {
  const std::string label = fromUtf8(path.string());
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_file_create(path.string().c_str(), 0, -1, &err);
  zip_error_fini(&err);
  if (src == nullptr) return {std::nullopt, "No se pudo abrir el archivo " + label};
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    zip_source_free(src);
    return {std::nullopt, "No existe el archivo " + label};
  }
  return readFrom(src, label, limits, formulas);
}

XlsxRead openXlsxBytes(std::string_view bytes, const XlsxLimits& limits, FormulaCells formulas) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
  zip_error_fini(&err);
  if (src == nullptr) return {std::nullopt, "No se pudo leer el libro"};
  return readFrom(src, "(en memoria)", limits, formulas);
}

}  // namespace exo::reports

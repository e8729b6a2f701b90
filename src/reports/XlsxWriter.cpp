// Writing the in-memory workbook as an Office Open XML file through libxlsxwriter. Sheets
// without merged ranges are streamed row by row (the library's constant-memory mode), so saving
// a large sheet needs little memory beyond the workbook itself.
#include <xlsxwriter.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "expr/Codepage.h"
#include "expr/Failure.h"
#include "expr/Text.h"
#include "reports/XlsxFile.h"
#include "reports/XlsxRows.h"
#include "store/File.h"
#include "store/Publication.h"

namespace exo::reports {
namespace {

std::mutex& packageGuard() {
  static std::mutex guard;
  return guard;
}

std::uint32_t rgbOf(std::uint32_t automationColour) {
  const std::uint32_t r = automationColour & 0xFF, g = (automationColour >> 8) & 0xFF,
                      b = (automationColour >> 16) & 0xFF;
  return (r << 16) | (g << 8) | b;
}

std::uint8_t borderOf(int lineStyle) {
  switch (lineStyle) {
    case 1: return LXW_BORDER_THIN;
    case 2: return LXW_BORDER_MEDIUM;
    case 3: return LXW_BORDER_THICK;
    case -4115: return LXW_BORDER_DASHED;
    case -4118: return LXW_BORDER_DOTTED;
    case -4119: return LXW_BORDER_DOUBLE;
    case 4: return LXW_BORDER_DASH_DOT;
    case 5: return LXW_BORDER_DASH_DOT_DOT;
    case 13: return LXW_BORDER_SLANT_DASH_DOT;
    default: return LXW_BORDER_NONE;
  }
}

std::uint8_t alignOf(int align) {
  switch (align) {
    case 2:
    case -4131: return LXW_ALIGN_LEFT;
    case 3:
    case -4108: return LXW_ALIGN_CENTER;
    case 4:
    case -4152: return LXW_ALIGN_RIGHT;
    case 5: return LXW_ALIGN_FILL;
    case 6:
    case -4130: return LXW_ALIGN_JUSTIFY;
    case 7: return LXW_ALIGN_CENTER_ACROSS;
    case -4117: return LXW_ALIGN_DISTRIBUTED;
    default: return LXW_ALIGN_NONE;
  }
}

int16_t rotationOf(int orientation) {
  switch (orientation) {
    case -4171: return 90;   // upward
    case -4170: return -90;  // downward
    case -4166: return 270;  // letters stacked
    case -4128: return 0;    // horizontal
    default: return orientation >= -90 && orientation <= 90 ? static_cast<int16_t>(orientation) : 0;
  }
}

// libxlsxwriter formats of the workbook's styles, made on first use.
class Formats {
 public:
  Formats(lxw_workbook* wb, const Workbook& book) : m_wb(wb), m_book(book) {}
  // The format of a style; `dateDefault` gives a style without a number format a date format.
  lxw_format* get(std::uint32_t id, bool dateDefault) {
    if (id == 0 && !dateDefault) return nullptr;
    const std::uint64_t key = (static_cast<std::uint64_t>(id) << 1) | (dateDefault ? 1 : 0);
    if (auto it = m_made.find(key); it != m_made.end()) return it->second;
    lxw_format* f = make(m_book.style(id), dateDefault);
    m_made.emplace(key, f);
    return f;
  }

 private:
  lxw_format* make(const CellStyle& s, bool dateDefault) {
    lxw_format* f = workbook_add_format(m_wb);
    format_set_font_name(f, toUtf8(s.font).c_str());
    format_set_font_size(f, s.size);
    if (s.bold) format_set_bold(f);
    if (s.italic) format_set_italic(f);
    if (s.underline) format_set_underline(f, LXW_UNDERLINE_SINGLE);
    if (s.color != 0) format_set_font_color(f, rgbOf(s.color));
    if (s.background >= 0) {
      format_set_pattern(f, LXW_PATTERN_SOLID);
      format_set_bg_color(f, rgbOf(static_cast<std::uint32_t>(s.background)));
    }
    if (const auto a = alignOf(s.align); a != LXW_ALIGN_NONE) format_set_align(f, a);
    if (const auto rot = rotationOf(s.orientation); rot != 0) format_set_rotation(f, rot);
    if (const auto b = borderOf(s.border); b != LXW_BORDER_NONE) format_set_border(f, b);
    if (!s.numberFormat.empty()) format_set_num_format(f, toUtf8(s.numberFormat).c_str());
    else if (dateDefault) format_set_num_format(f, "dd/mm/yyyy");
    if (s.wrap) format_set_text_wrap(f);
    if (!s.locked) format_set_unlocked(f);
    return f;
  }

  lxw_workbook* m_wb;
  const Workbook& m_book;
  std::unordered_map<std::uint64_t, lxw_format*> m_made;
};

// Sheet names the format accepts: at most 31 characters, none of []:*?/\, unique.
std::string safeSheetName(const std::string& name, std::vector<std::string>& used, int index) {
  std::string s;
  for (char ch : name)
    if (std::string_view("[]:*?/\\").find(ch) == std::string_view::npos) s += ch;
  if (s.size() > 31) s.resize(31);
  if (s.empty()) s = "Hoja" + std::to_string(index);
  std::string candidate = s;
  for (int n = 2;; ++n) {
    bool clash = false;
    for (const auto& u : used) clash = clash || upper1252(u) == upper1252(candidate);
    if (!clash) break;
    const std::string suffix = "(" + std::to_string(n) + ")";
    candidate = s.substr(0, 31 - suffix.size()) + suffix;
  }
  used.push_back(candidate);
  return candidate;
}

// Header or footer text "&L...&C...&R..." with the user's own ampersands doubled.
std::string headerText(const std::string (&parts)[3]) {
  auto escape = [](const std::string& s) {
    std::string out;
    for (char ch : s) out += ch == '&' ? std::string("&&") : std::string(1, ch);
    return out;
  };
  std::string out;
  if (!parts[1].empty()) out += "&L" + escape(parts[1]);
  if (!parts[0].empty()) out += "&C" + escape(parts[0]);
  if (!parts[2].empty()) out += "&R" + escape(parts[2]);
  return toUtf8(out.substr(0, 255));
}

uint8_t chartTypeOf(int type) {
  switch (type) {
    case 57:
    case 60:
    case -4099: return LXW_CHART_BAR;
    case 4:
    case 65:
    case -4101: return LXW_CHART_LINE;
    case 5:
    case -4102:
    case 70: return LXW_CHART_PIE;
    case 1:
    case 76:
    case -4098: return LXW_CHART_AREA;
    case -4169: return LXW_CHART_SCATTER;
    case -4120: return LXW_CHART_DOUGHNUT;
    default: return LXW_CHART_COLUMN;
  }
}

std::string absoluteRef(const std::string& sheet, int r1, int c1, int r2, int c2) {
  std::string quoted = "'";
  for (char ch : sheet) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
  quoted += "'";
  return "=" + quoted + "!$" + columnLetters(c1) + "$" + std::to_string(r1) + ":$" +
         columnLetters(c2) + "$" + std::to_string(r2);
}

void writeChart(lxw_workbook* wb, lxw_worksheet* ws, const std::string& sheetName,
                const Chart& ch) {
  lxw_chart* chart = workbook_add_chart(wb, chartTypeOf(ch.type));
  if (chart == nullptr) return;
  const CellRange& d = ch.data;
  const bool withCategories = d.cols() > 1;
  const int firstSeries = withCategories ? d.left + 1 : d.left;
  for (int c = firstSeries; c <= d.right; ++c) {
    const std::string cats =
        withCategories ? toUtf8(absoluteRef(sheetName, d.top, d.left, d.bottom, d.left)) : "";
    const std::string vals = toUtf8(absoluteRef(sheetName, d.top, c, d.bottom, c));
    chart_add_series(chart, withCategories ? cats.c_str() : nullptr, vals.c_str());
  }
  chart_title_set_name(chart, toUtf8(ch.title).c_str());
  worksheet_insert_chart(ws, static_cast<lxw_row_t>(ch.row - 1), static_cast<lxw_col_t>(ch.col - 1),
                         chart);
}

void writePage(lxw_worksheet* ws, const PageSetup& p) {
  if (p.landscape) worksheet_set_landscape(ws);
  if (p.paperSize > 0 && p.paperSize < 256)
    worksheet_set_paper(ws, static_cast<uint8_t>(p.paperSize));
  if (p.zoom >= 10 && p.zoom <= 400 && p.zoom != 100)
    worksheet_set_print_scale(ws, static_cast<uint16_t>(p.zoom));
  if (p.centerH) worksheet_center_horizontally(ws);
  if (p.centerV) worksheet_center_vertically(ws);
  const auto m = [&p](int i, double dflt) { return p.margins[i] >= 0 ? p.margins[i] : dflt; };
  worksheet_set_margins(ws, m(2, 0.7), m(0, 0.7), m(1, 0.75), m(3, 0.75));
  lxw_header_footer_options hopt{m(5, 0.3), nullptr, nullptr, nullptr};
  lxw_header_footer_options fopt{m(4, 0.3), nullptr, nullptr, nullptr};
  worksheet_set_header_opt(ws, headerText(p.header).c_str(), &hopt);
  worksheet_set_footer_opt(ws, headerText(p.footer).c_str(), &fopt);
  if (p.printArea)
    worksheet_print_area(ws, p.printArea->top - 1, p.printArea->left - 1, p.printArea->bottom - 1,
                         p.printArea->right - 1);
  if (p.titleRows) worksheet_repeat_rows(ws, p.titleRows->top - 1, p.titleRows->bottom - 1);
  if (!p.pageBreaks.empty()) {
    std::vector<lxw_row_t> breaks;
    for (int r : p.pageBreaks)
      if (r > 1) breaks.push_back(static_cast<lxw_row_t>(r - 1));
    breaks.push_back(0);
    if (breaks.size() > 1) worksheet_set_h_pagebreaks(ws, breaks.data());
  }
}

void writeAutoFilter(lxw_worksheet* ws, const AutoFilter& af) {
  const CellRange& r = af.range;
  worksheet_autofilter(ws, r.top - 1, r.left - 1, r.bottom - 1, r.right - 1);
  if (af.field < 1 || af.field > r.cols() || af.criteria.empty()) return;
  std::string crit = af.criteria;
  lxw_filter_rule rule{};
  rule.criteria = LXW_FILTER_CRITERIA_EQUAL_TO;
  static const std::pair<const char*, uint8_t> kOps[] = {
      {"<>", LXW_FILTER_CRITERIA_NOT_EQUAL_TO},
      {">=", LXW_FILTER_CRITERIA_GREATER_THAN_OR_EQUAL_TO},
      {"<=", LXW_FILTER_CRITERIA_LESS_THAN_OR_EQUAL_TO},
      {">", LXW_FILTER_CRITERIA_GREATER_THAN},
      {"<", LXW_FILTER_CRITERIA_LESS_THAN},
      {"=", LXW_FILTER_CRITERIA_EQUAL_TO}};
  for (const auto& [op, code] : kOps) {
    if (crit.rfind(op, 0) == 0) {
      rule.criteria = code;
      crit = crit.substr(std::string_view(op).size());
      break;
    }
  }
  const std::string utf8 = toUtf8(crit);
  char* end = nullptr;
  const double n = std::strtod(utf8.c_str(), &end);
  if (!utf8.empty() && end != nullptr && *end == '\0') rule.value = n;
  else rule.value_string = const_cast<char*>(utf8.c_str());
  worksheet_filter_column(ws, static_cast<lxw_col_t>(r.left - 1 + af.field - 1), &rule);
}

// Pixel size of a PNG or JPEG image, for scaling a picture to the size asked.
bool imageSize(const std::string& file, double& w, double& h) {
  std::ifstream in(file, std::ios::binary);
  std::string head(64 * 1024, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  auto u8 = [&head](std::size_t i) { return static_cast<unsigned char>(head[i]); };
  if (head.size() >= 24 && head.compare(1, 3, "PNG") == 0) {
    w = (u8(16) << 24) | (u8(17) << 16) | (u8(18) << 8) | u8(19);
    h = (u8(20) << 24) | (u8(21) << 16) | (u8(22) << 8) | u8(23);
    return w > 0 && h > 0;
  }
  for (std::size_t i = 2; head.size() >= 4 && i + 9 < head.size();) {
    if (u8(i) != 0xFF) return false;
    const unsigned marker = u8(i + 1);
    const std::size_t len = (u8(i + 2) << 8) | u8(i + 3);
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      h = (u8(i + 5) << 8) | u8(i + 6);
      w = (u8(i + 7) << 8) | u8(i + 8);
      return w > 0 && h > 0;
    }
    i += 2 + len;
  }
  return false;
}

void writePicture(lxw_worksheet* ws, const Picture& p) {
  lxw_image_options opt{};
  opt.x_offset = static_cast<int32_t>(p.offsetX * 96 / 72);
  opt.y_offset = static_cast<int32_t>(p.offsetY * 96 / 72);
  double w = 0, h = 0;
  if (p.width > 0 && p.height > 0 && imageSize(p.file, w, h)) {
    opt.x_scale = p.width * 96 / 72 / w;
    opt.y_scale = p.height * 96 / 72 / h;
  }
  worksheet_insert_image_opt(ws, static_cast<lxw_row_t>(p.row - 1),
                             static_cast<lxw_col_t>(p.col - 1), p.file.c_str(), &opt);
}

// The library format of a cell, made in the order the cell writes below make them.
lxw_format* formatOf(const Workbook& book, Formats& formats, const Cell& cell) {
  const bool dateDefault =
      cell.kind == CellKind::Date && book.style(cell.style).numberFormat.empty();
  return formats.get(cell.style, dateDefault);
}

lxw_error writeCell(lxw_worksheet* ws, const Workbook& book, Formats& formats, lxw_row_t r,
                    lxw_col_t c, const Cell& cell) {
  switch (cell.kind) {
    case CellKind::Empty:
      return cell.style == 0 ? LXW_NO_ERROR
                             : worksheet_write_blank(ws, r, c, formats.get(cell.style, false));
    case CellKind::Number:
      return worksheet_write_number(ws, r, c, cell.num, formats.get(cell.style, false));
    case CellKind::Text:
      return worksheet_write_string(ws, r, c, toUtf8(book.text(cell.text)).c_str(),
                                    formats.get(cell.style, false));
    case CellKind::Logical:
      return worksheet_write_boolean(ws, r, c, cell.num != 0, formats.get(cell.style, false));
    case CellKind::Date: {
      const bool needsFormat = book.style(cell.style).numberFormat.empty();
      return worksheet_write_number(ws, r, c, cell.num, formats.get(cell.style, needsFormat));
    }
    case CellKind::Formula:
      return worksheet_write_formula_num(ws, r, c, toUtf8(book.text(cell.text)).c_str(),
                                         formats.get(cell.style, false), cell.num);
  }
  return LXW_NO_ERROR;
}

lxw_error writeSheet(lxw_workbook* wb, lxw_worksheet* ws, const Workbook& book, const Sheet& sh,
                     const std::string& name, Formats& formats, StreamedRows* streamed) {
  for (const auto& [col, width] : sh.columnWidths)
    worksheet_set_column(ws, static_cast<lxw_col_t>(col - 1), static_cast<lxw_col_t>(col - 1),
                         width, nullptr);
  for (const CellRange& m : sh.merges) {
    const Cell* first = sh.find(m.top, m.left);
    worksheet_merge_range(ws, m.top - 1, m.left - 1, m.bottom - 1, m.right - 1, "",
                          formats.get(first ? first->style : 0, false));
  }
  // Before the cells: in constant-memory mode rows above the last one written are closed, and
  // a filter over them would be refused.
  if (sh.autoFilter) writeAutoFilter(ws, *sh.autoFilter);
  for (std::size_t r = 0; r < sh.rows.size(); ++r) {
    const auto& cells = sh.rows[r];
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const auto row = static_cast<lxw_row_t>(r);
      const auto col = static_cast<lxw_col_t>(c);
      const Cell& cell = cells[c];
      const lxw_error e = streamed != nullptr
                              ? streamed->add(row, col, cell, formatOf(book, formats, cell))
                              : writeCell(ws, book, formats, row, col, cell);
      if (e != LXW_NO_ERROR) return e;
    }
  }
  for (const auto& [at, text] : sh.comments)
    worksheet_write_comment(ws, static_cast<lxw_row_t>(at.first - 1),
                            static_cast<lxw_col_t>(at.second - 1), toUtf8(text).c_str());
  writePage(ws, sh.page);
  for (const Picture& p : sh.pictures) writePicture(ws, p);
  for (const Chart& ch : sh.charts) writeChart(wb, ws, name, ch);
  if (sh.isProtected) {
    lxw_protection prot{};
    worksheet_protect(ws, sh.password.empty() ? nullptr : toUtf8(sh.password).c_str(), &prot);
  }
  worksheet_set_selection(ws, sh.activeRow - 1, sh.activeCol - 1, sh.activeRow - 1,
                          sh.activeCol - 1);
  return LXW_NO_ERROR;
}

}  // namespace

std::string saveXlsx(const Workbook& book, const std::filesystem::path& path,
                     const XlsxWriteOptions& writeOptions) {
  // Written beside under a temporary name, synced and renamed into place: a failed write leaves
  // the previous workbook untouched and nothing under its name.
  const std::filesystem::path temp = store::siblingTempName(path.string());
  const auto dropTemp = [&] {
    try {
      store::removeFile(temp.string());
    } catch (const FailureError&) {
    }
  };
  bool anyMerge = false, anyComment = false;
  for (const Sheet& sh : book.sheets()) {
    anyMerge = anyMerge || !sh.merges.empty();
    anyComment = anyComment || !sh.comments.empty();
  }
  // In constant-memory mode the rows are written here (StreamedRows); a comment makes the
  // library place rows of its own, so such a book leaves all its rows to the library.
  const bool streamRows = writeOptions.streamRows && !anyMerge && !anyComment;
  std::vector<std::unique_ptr<StreamedRows>> streamed;
  lxw_workbook_options options{};
  options.constant_memory = anyMerge ? LXW_FALSE : LXW_TRUE;
  lxw_workbook* wb = workbook_new_opt(temp.string().c_str(), &options);
  if (wb == nullptr) return "No se pudo crear el archivo " + fromUtf8(path.string());
  Formats formats(wb, book);
  std::vector<std::string> used;
  lxw_error err = LXW_NO_ERROR;
  for (std::size_t i = 0; i < book.sheets().size() && err == LXW_NO_ERROR; ++i) {
    const Sheet& sh = book.sheets()[i];
    const std::string name = safeSheetName(sh.name, used, static_cast<int>(i) + 1);
    lxw_worksheet* ws = workbook_add_worksheet(wb, toUtf8(name).c_str());
    if (ws == nullptr) {
      err = LXW_ERROR_SHEETNAME_ALREADY_USED;
      break;
    }
    if (streamRows) streamed.push_back(std::make_unique<StreamedRows>(ws, book));
    err = writeSheet(wb, ws, book, sh, name, formats, streamRows ? streamed.back().get() : nullptr);
    if (i == book.activeIndex()) worksheet_activate(ws);
  }
  for (auto& rows : streamed) rows->finish();
  // The package libraries read the clock through the C library's shared buffers (gmtime,
  // localtime and the time zone): two workbooks of a run's workers are packed one at a time.
  // The sheets' rows are deflated ahead on every processor either way.
  std::unique_lock packing(packageGuard());
  const lxw_error closed = workbook_close(wb);
  if (err == LXW_NO_ERROR) err = closed;
  if (err != LXW_NO_ERROR) {
    dropTemp();
    return "No se pudo escribir el libro " + fromUtf8(path.string()) + ": " + lxw_strerror(err);
  }
  std::string written = temp.string();
  if (streamRows) {
    // The library's package holds the sheets without their rows: it is made again with them.
    std::vector<const StreamedRows*> rows;
    for (const auto& r : streamed) rows.push_back(r.get());
    written = store::siblingTempName(path.string());
    const std::string failed = repackWithRows(temp.string(), written, rows);
    packing.unlock();
    dropTemp();
    if (!failed.empty()) {
      store::removeFileQuietly(written);
      return "No se pudo escribir el libro " + fromUtf8(path.string()) + ": " + failed;
    }
  }
  try {
    store::publishFile(written, path.string());
  } catch (const FailureError& e) {
    store::removeFileQuietly(written);
    return "No se pudo reemplazar el archivo " + fromUtf8(path.string()) + ": " +
           std::string(trimBlanks(e.failure().description));
  }
  return {};
}

}  // namespace exo::reports

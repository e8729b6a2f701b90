// Sheet rows written as the library's constant-memory mode writes them, and the package made
// again with them.
#include "reports/XlsxRows.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "expr/Codepage.h"

namespace exo::reports {

lxw_error StreamedRows::add(lxw_row_t row, lxw_col_t col, const Cell& cell, lxw_format* format) {
  if (cell.kind == CellKind::Empty && format == nullptr) return LXW_NO_ERROR;
  std::string value;
  if (cell.kind == CellKind::Text || cell.kind == CellKind::Formula) {
    // The library takes the text as a C string: it ends at a zero byte.
    value = toUtf8(m_book.text(cell.text));
    if (const auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
    if (cell.kind == CellKind::Text) {
      if (value.empty() && format == nullptr) return LXW_NO_ERROR;
      std::size_t chars = 0;
      for (const char ch : value) chars += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
      if (chars > kMaxCellChars) return LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED;
    }
  }
  if (row >= LXW_ROW_MAX || col >= LXW_COL_MAX) return LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE;
  if (m_hasRow && row != m_row) {
    if (row < m_row) return LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE;
    emit(m_row);
  }
  m_hasRow = true;
  m_row = row;
  m_ws->dim_rowmin = std::min(m_ws->dim_rowmin, row);
  m_ws->dim_rowmax = std::max(m_ws->dim_rowmax, row);
  m_ws->dim_colmin = std::min(m_ws->dim_colmin, col);
  m_ws->dim_colmax = std::max(m_ws->dim_colmax, col);
  // A second write of the same cell replaces the first, as in the library.
  const auto same = std::find_if(m_cells.begin(), m_cells.end(),
                                 [col](const Pending& p) { return p.col == col; });
  if (same != m_cells.end()) m_cells.erase(same);
  m_cells.push_back({col, &cell, format, std::move(value)});
  return LXW_NO_ERROR;
}

void StreamedRows::finish() {
  if (m_hasRow) emit(m_row);
  m_hasRow = false;
}

void StreamedRows::emit(lxw_row_t row) {
  std::sort(m_cells.begin(), m_cells.end(),
            [](const Pending& a, const Pending& b) { return a.col < b.col; });
  m_out += "<row r=\"";
  appendInt(static_cast<std::int64_t>(row) + 1);
  m_out += "\">";
  for (const Pending& p : m_cells) emitCell(row, p);
  m_out += "</row>";
  m_cells.clear();
}

void StreamedRows::emitCell(lxw_row_t row, const Pending& p) {
  const std::int32_t style = p.format != nullptr ? lxw_format_get_xf_index(p.format) : 0;
  // The column's letters (A to Z, then AA...), as the library names a column.
  char letters[8];
  std::size_t n = 0;
  for (std::uint32_t c = std::uint32_t{p.col} + 1; c > 0; c = (c - 1) / 26)
    letters[n++] = static_cast<char>('A' + (c - 1) % 26);
  m_out += "<c r=\"";
  while (n > 0) m_out += letters[--n];
  appendInt(static_cast<std::int64_t>(row) + 1);
  m_out += '"';
  if (style != 0) {
    m_out += " s=\"";
    appendInt(style);
    m_out += '"';
  }
  switch (p.cell->kind) {
    case CellKind::Number:
    case CellKind::Date:
      m_out += "><v>";
      appendNumber(p.cell->num);
      m_out += "</v></c>";
      return;
    case CellKind::Text:
      if (p.value.empty()) {
        m_out += "/>";  // an empty text with a style is a blank cell
        return;
      }
      appendInlineString(p.value);
      return;
    case CellKind::Logical:
      m_out += " t=\"b\"><v>";
      m_out += p.cell->num != 0 ? '1' : '0';
      m_out += "</v></c>";
      return;
    case CellKind::Formula: {
      std::string_view formula = p.value;
      if (!formula.empty() && formula.front() == '=') formula.remove_prefix(1);
      m_out += "><f>";
      appendEscaped(formula);
      m_out += "</f><v>";
      appendNumber(p.cell->num);
      m_out += "</v></c>";
      return;
    }
    case CellKind::Empty: m_out += "/>"; return;
  }
}

// An inline string: control characters as _xHHHH_, then &, < and > as references; a blank at
// either end keeps the text's blanks.
void StreamedRows::appendInlineString(std::string_view text) {
  const auto special = [](char ch) {
    const auto b = static_cast<unsigned char>(ch);
    return (b < 0x20 && b != 0x09 && b != 0x0A) || ch == '&' || ch == '<' || ch == '>';
  };
  if (!text.empty() && std::none_of(text.begin(), text.end(), special)) {
    // Most texts need nothing escaped: they go as they stand.
    const bool blankEnds = std::isspace(static_cast<unsigned char>(text.front())) != 0 ||
                           std::isspace(static_cast<unsigned char>(text.back())) != 0;
    m_out +=
        blankEnds ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">" : " t=\"inlineStr\"><is><t>";
    m_out += text;
    m_out += "</t></is></c>";
    return;
  }
  std::string escaped;
  escaped.reserve(text.size());
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x20 && b != 0x09 && b != 0x0A) {
      char code[8];
      std::snprintf(code, sizeof code, "_x%04X_", b);
      escaped += code;
    } else if (ch == '&') {
      escaped += "&amp;";
    } else if (ch == '<') {
      escaped += "&lt;";
    } else if (ch == '>') {
      escaped += "&gt;";
    } else {
      escaped += ch;
    }
  }
  const bool blankEnds = std::isspace(static_cast<unsigned char>(escaped.front())) != 0 ||
                         std::isspace(static_cast<unsigned char>(escaped.back())) != 0;
  m_out +=
      blankEnds ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">" : " t=\"inlineStr\"><is><t>";
  m_out += escaped;
  m_out += "</t></is></c>";
}

void StreamedRows::appendEscaped(std::string_view text) {
  for (const char ch : text) {
    switch (ch) {
      case '&': m_out += "&amp;"; break;
      case '<': m_out += "&lt;"; break;
      case '>': m_out += "&gt;"; break;
      default: m_out += ch;
    }
  }
}

void StreamedRows::appendInt(std::int64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  m_out.append(digits, end);
}

// A number as the library prints it ("%.16G"); whole numbers of up to 15 digits print the same
// as integers.
void StreamedRows::appendNumber(double n) {
  if (n == std::floor(n) && std::fabs(n) < 1e15 && !(n == 0 && std::signbit(n))) {
    appendInt(static_cast<std::int64_t>(n));
    return;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.16G", n);
  m_out += text;
}

namespace {

constexpr std::string_view kEmptyRows = "<sheetData></sheetData>";
// The date the library gives every part: 1 January 1980, midnight.
constexpr zip_uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;
constexpr int kSheetLevel = 1;

std::string zipText(zip_t* z) { return zip_strerror(z); }

// A sheet this long or longer is deflated in pieces, one per processor (up to four), each piece
// at least this long.
constexpr std::size_t kPieceBytes = 256 * 1024;
constexpr unsigned kMostPieces = 4;
constexpr std::size_t kWindow = 32 * 1024;

struct Piece {
  std::string data;
  uLong crc = 0;
  bool ok = false;
};

// Raw deflate of text[begin, end) at the sheets' level, primed with the 32 KiB before it, so
// that the pieces joined are one deflate stream: every piece but the last ends on a byte
// boundary (a sync flush), the last one ends the stream.
Piece deflatePiece(std::string_view text, std::size_t begin, std::size_t end, bool last) {
  Piece p;
  z_stream z{};
  if (deflateInit2(&z, kSheetLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return p;
  const std::unique_ptr<z_stream, int (*)(z_stream*)> end_(&z, deflateEnd);
  if (begin > 0) {
    const std::size_t from = begin > kWindow ? begin - kWindow : 0;
    if (deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(text.data() + from),
                             static_cast<uInt>(begin - from)) != Z_OK)
      return p;
  }
  const std::size_t length = end - begin;
  p.data.resize(deflateBound(&z, static_cast<uLong>(length)) + 64);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data() + begin));
  z.avail_in = static_cast<uInt>(length);
  z.next_out = reinterpret_cast<Bytef*>(p.data.data());
  z.avail_out = static_cast<uInt>(p.data.size());
  const int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
  if ((last ? rc != Z_STREAM_END : rc != Z_OK) || z.avail_in != 0 || z.avail_out == 0) return p;
  p.data.resize(p.data.size() - z.avail_out);
  p.crc = crc32(0L, reinterpret_cast<const Bytef*>(text.data() + begin), static_cast<uInt>(length));
  p.ok = true;
  return p;
}

void putLe16(std::string& out, unsigned v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void putLe32(std::string& out, std::uint32_t v) {
  putLe16(out, v & 0xFFFF);
  putLe16(out, v >> 16);
}

// The pieces a sheet is deflated in: one per processor, each of kPieceBytes at least.
unsigned piecesFor(std::size_t length) {
  const unsigned processors = std::thread::hardware_concurrency();
  if (processors <= 1) return 1;
  return static_cast<unsigned>(
      std::clamp<std::size_t>(length / kPieceBytes, 1, std::min(processors, kMostPieces)));
}

}  // namespace

std::optional<std::string> deflatedArchive(std::string_view text, unsigned pieces) {
  if (text.size() >= 0xFFFFFFF0u) return std::nullopt;
  pieces = std::clamp(pieces, 1u, kMostPieces);
  if (text.size() < pieces) pieces = 1;
  std::vector<Piece> done(pieces);
  const std::size_t step = text.size() / pieces;
  const auto bounds = [&](unsigned i) {
    return std::pair{i * step, i + 1 == pieces ? text.size() : (i + 1) * step};
  };
  {
    std::vector<std::thread> others;
    for (unsigned i = 1; i < pieces; ++i) {
      others.emplace_back([&, i] {
        const auto [b, e] = bounds(i);
        done[i] = deflatePiece(text, b, e, i + 1 == pieces);
      });
    }
    const auto [b, e] = bounds(0);
    done[0] = deflatePiece(text, b, e, pieces == 1);
    for (std::thread& t : others) t.join();
  }
  std::string data;
  uLong crc = 0;
  for (unsigned i = 0; i < pieces; ++i) {
    if (!done[i].ok) return std::nullopt;
    const auto [b, e] = bounds(i);
    crc = i == 0 ? done[i].crc : crc32_combine(crc, done[i].crc, static_cast<z_off_t>(e - b));
    data += done[i].data;
  }
  if (data.size() >= 0xFFFFFFF0u) return std::nullopt;
  const std::string_view name = "p";
  std::string zip;
  zip.reserve(data.size() + 128);
  const auto header = [&](bool central) {
    putLe32(zip, central ? 0x02014b50u : 0x04034b50u);
    if (central) putLe16(zip, 20);  // made by
    putLe16(zip, 20);               // needed to extract
    putLe16(zip, 0);                // flags
    putLe16(zip, 8);                // deflated
    putLe16(zip, 0);                // time
    putLe16(zip, kDosDate);
    putLe32(zip, static_cast<std::uint32_t>(crc));
    putLe32(zip, static_cast<std::uint32_t>(data.size()));
    putLe32(zip, static_cast<std::uint32_t>(text.size()));
    putLe16(zip, static_cast<unsigned>(name.size()));
    putLe16(zip, 0);  // extra field
    if (central) {
      putLe16(zip, 0);  // comment
      putLe16(zip, 0);  // disk
      putLe16(zip, 0);  // internal attributes
      putLe32(zip, 0);  // external attributes
      putLe32(zip, 0);  // offset of the local header
    }
    zip += name;
  };
  header(false);
  zip += data;
  const std::size_t directory = zip.size();
  header(true);
  const std::size_t directorySize = zip.size() - directory;
  putLe32(zip, 0x06054b50u);
  putLe16(zip, 0);
  putLe16(zip, 0);
  putLe16(zip, 1);
  putLe16(zip, 1);
  putLe32(zip, static_cast<std::uint32_t>(directorySize));
  putLe32(zip, static_cast<std::uint32_t>(directory));
  putLe16(zip, 0);
  return zip;
}

std::string repackWithRows(const std::string& from, const std::string& to,
                           const std::vector<const StreamedRows*>& rows) {
  int code = 0;
  zip_t* src = zip_open(from.c_str(), ZIP_RDONLY, &code);
  if (src == nullptr) return "no se pudo leer el paquete del libro";
  const std::unique_ptr<zip_t, void (*)(zip_t*)> srcGuard(src, [](zip_t* z) { zip_discard(z); });
  zip_t* dst = zip_open(to.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (dst == nullptr) return "no se pudo crear el paquete del libro";
  bool closed = false;
  const auto fail = [&](const std::string& what) {
    if (!closed) zip_discard(dst);
    closed = true;
    return what;
  };
  std::vector<std::unique_ptr<std::string>> parts;  // alive until the package is closed
  // The small archives of the sheets deflated ahead, discarded after the package is closed
  // (declared after it, so destroyed before it is).
  std::vector<std::unique_ptr<zip_t, void (*)(zip_t*)>> deflated;
  const zip_int64_t count = zip_get_num_entries(src, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(src, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name == nullptr) return fail(zipText(src));
    const StreamedRows* sheetRows = nullptr;
    unsigned sheet = 0;
    char tail = 0;
    if (std::sscanf(name, "xl/worksheets/sheet%u.xm%c", &sheet, &tail) == 2 && tail == 'l' &&
        sheet >= 1 && sheet <= rows.size())
      sheetRows = rows[sheet - 1];
    zip_source_t* source = nullptr;
    if (sheetRows != nullptr) {
      zip_stat_t st;
      zip_stat_init(&st);
      if (zip_stat_index(src, static_cast<zip_uint64_t>(i), 0, &st) != 0) return fail(zipText(src));
      auto text = std::make_unique<std::string>(static_cast<std::size_t>(st.size), '\0');
      zip_file_t* f = zip_fopen_index(src, static_cast<zip_uint64_t>(i), 0);
      if (f == nullptr) return fail(zipText(src));
      const zip_int64_t got = text->empty() ? 0 : zip_fread(f, text->data(), text->size());
      zip_fclose(f);
      if (got != static_cast<zip_int64_t>(text->size())) return fail(zipText(src));
      if (const auto at = text->find(kEmptyRows); at != std::string::npos)
        text->replace(at, kEmptyRows.size(), "<sheetData>" + sheetRows->rows() + "</sheetData>");
      if (std::optional<std::string> archive = deflatedArchive(*text, piecesFor(text->size()))) {
        auto bytes = std::make_unique<std::string>(std::move(*archive));
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* held = zip_source_buffer_create(bytes->data(), bytes->size(), 0, &error);
        zip_t* from = held != nullptr ? zip_open_from_source(held, ZIP_RDONLY, &error) : nullptr;
        if (from == nullptr && held != nullptr) zip_source_free(held);
        zip_error_fini(&error);
        if (from != nullptr) {
          deflated.emplace_back(from, [](zip_t* z) { zip_discard(z); });
          source = zip_source_zip(dst, from, 0, 0, 0, -1);
          parts.push_back(std::move(bytes));
        }
      }
      if (source == nullptr) {
        source = zip_source_buffer(dst, text->data(), text->size(), 0);
        parts.push_back(std::move(text));
      }
    } else {
      source = zip_source_zip(dst, src, static_cast<zip_uint64_t>(i), 0, 0, -1);
    }
    if (source == nullptr) return fail(zipText(dst));
    const zip_int64_t at = zip_file_add(dst, name, source, ZIP_FL_ENC_RAW);
    if (at < 0) {
      zip_source_free(source);
      return fail(zipText(dst));
    }
    const auto index = static_cast<zip_uint64_t>(at);
    if (zip_set_file_compression(dst, index, ZIP_CM_DEFLATE,
                                 sheetRows != nullptr ? kSheetLevel : 0) != 0 ||
        zip_file_set_dostime(dst, index, 0, kDosDate, 0) != 0)
      return fail(zipText(dst));
  }
  if (zip_close(dst) != 0) return fail(zipText(dst));
  closed = true;
  return {};
}

}  // namespace exo::reports

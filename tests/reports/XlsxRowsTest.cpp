// The rows the program writes for the workbook layer must give the very parts the library
// writes by itself: every workbook is saved both ways and its parts compared byte for byte.
#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

#include "../shell/ShellTestSupport.h"
#include "reports/Workbook.h"
#include "reports/XlsxFile.h"
#include "reports/XlsxRows.h"

namespace {

using exo::reports::CellStyle;
using exo::reports::Sheet;
using exo::reports::Workbook;
using exo::reports::XlsxWriteOptions;

// Every part of a package, by name.
std::map<std::string, std::string> partsOf(const std::filesystem::path& file) {
  std::map<std::string, std::string> parts;
  int code = 0;
  zip_t* z = zip_open(file.string().c_str(), ZIP_RDONLY, &code);
  if (z == nullptr) return parts;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
    std::string data(static_cast<std::size_t>(st.size), '\0');
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    if (f != nullptr && !data.empty()) zip_fread(f, data.data(), data.size());
    if (f != nullptr) zip_fclose(f);
    parts[st.name] = data;
  }
  zip_discard(z);
  return parts;
}

struct XlsxRowsTest : ::testing::Test {
  // Saves the book both ways; the two results, empty when the save succeeded.
  std::pair<std::string, std::string> saveBoth(const Workbook& book) {
    return {exo::reports::saveXlsx(book, streamed, XlsxWriteOptions{true}),
            exo::reports::saveXlsx(book, library, XlsxWriteOptions{false})};
  }
  // The same parts, but for the moment of each save that the document's properties carry (the
  // two saves may fall in different seconds).
  void expectSameParts() {
    const auto a = partsOf(streamed), b = partsOf(library);
    ASSERT_FALSE(b.empty());
    ASSERT_EQ(a.size(), b.size());
    const std::regex moment("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ");
    for (const auto& [name, data] : b) {
      ASSERT_TRUE(a.count(name)) << name;
      EXPECT_EQ(std::regex_replace(a.at(name), moment, "T"), std::regex_replace(data, moment, "T"))
          << name;
    }
  }
  std::uint32_t style(Workbook& book, const char* font, double size, bool bold = false) {
    CellStyle s;
    s.font = font;
    s.size = size;
    s.bold = bold;
    return book.styleId(s);
  }

  shelltest::TempDir dir;
  std::filesystem::path streamed = dir.file("streamed.xlsx");
  std::filesystem::path library = dir.file("library.xlsx");
};

TEST_F(XlsxRowsTest, EveryKindOfCellAndTextComesOutAsTheLibraryWritesIt) {
  Workbook book;
  Sheet& sh = book.sheets()[0];
  using namespace std::literals;
  const std::string_view texts[] = {"plain"sv,       " leading"sv,          "trailing "sv,
                                    "a&b<c>d\"e'"sv, "ctl\x01x\x1Fy\x0D"sv, "tab\tin\nside"sv,
                                    "\tstarts"sv,    "A\xF1o \x80 \xE1"sv,  "_x0041_"sv,
                                    "end\x0B"sv,     "nul\0hidden"sv,       "\0"sv};
  int row = 1;
  for (const std::string_view t : texts) book.setText(sh, row++, 2, t);
  book.setText(sh, row, 1, "");  // empty, no style: no cell
  sh.at(row, 3).style = style(book, "Arial", 9);
  book.setText(sh, row++, 3, "");  // empty with a style: a blank cell
  const double numbers[] = {0,    -0.0,     12.5,    1e15,       123456789012345.0,
                            1e20, -3.25e-7, 1.0 / 3, -987654321, 4503599627370497.0};
  for (double n : numbers) book.setNumber(sh, row++, 4, n);
  book.setLogical(sh, row, 1, true);
  book.setLogical(sh, row++, 2, false);
  book.setDate(sh, row++, 5, 40000);
  book.setFormula(sh, row, 1, "=SUM(D1:D3)");
  book.setFormula(sh, row++, 2, "IF(A1<2,\"x&y\",0)");
  sh.at(row + 3, 7).style = style(book, "Tahoma", 10, true);  // a styled empty cell, rows apart
  book.setText(sh, row + 3, 9, "first");
  book.setText(sh, row + 3, 9, "second");  // written twice: the last one stays
  const auto saved = saveBoth(book);
  EXPECT_EQ(saved.first, "");
  EXPECT_EQ(saved.second, "");
  expectSameParts();
}

// Cells across the whole width of a sheet: each column's letters (one, two and three of them,
// at every turn of the alphabet) come out as the library names the columns.
TEST_F(XlsxRowsTest, ColumnsAcrossTheWholeWidthAreNamedAsTheLibraryNamesThem) {
  Workbook book;
  Sheet& sh = book.sheets()[0];
  const int cols[] = {1,   2,   25,  26,  27,  28,  51,   52,    53,   78,
                      676, 677, 702, 703, 704, 728, 1378, 16383, 16384};
  int row = 1;
  for (const int c : cols) {
    book.setNumber(sh, row, c, c);
    book.setText(sh, row++, c == 1 ? 2 : c - 1, "col");
  }
  const auto saved = saveBoth(book);
  EXPECT_EQ(saved.first, "");
  EXPECT_EQ(saved.second, "");
  expectSameParts();
}

// The library numbers the styles of a sheet's last row only when it assembles the package,
// after the rows of every other sheet: styles first used there come out last.
TEST_F(XlsxRowsTest, StylesFirstUsedInTheLastRowsOfSeveralSheetsKeepTheLibrarysNumbers) {
  Workbook book;
  book.sheets()[0].name = "Uno";
  book.sheets().push_back(Sheet{});
  book.sheets()[1].name = "Dos";
  const std::uint32_t plain = style(book, "Arial", 10);
  const std::uint32_t lastOfFirst = style(book, "Courier New", 8, true);
  const std::uint32_t middleOfSecond = style(book, "Verdana", 11);
  const std::uint32_t lastOfSecond = style(book, "Georgia", 14, true);
  for (int sheet = 0; sheet < 2; ++sheet) {
    Sheet& sh = book.sheets()[static_cast<std::size_t>(sheet)];
    for (int r = 1; r <= 20; ++r) {
      sh.at(r, 1).style = plain;
      book.setNumber(sh, r, 1, r * 1.5);
    }
  }
  book.sheets()[1].at(10, 2).style = middleOfSecond;
  book.setText(book.sheets()[1], 10, 2, "medio");
  book.sheets()[0].at(21, 3).style = lastOfFirst;
  book.setText(book.sheets()[0], 21, 3, "fin uno");
  book.sheets()[1].at(25, 2).style = lastOfSecond;
  book.setText(book.sheets()[1], 25, 2, "fin dos");
  book.setActive(1);
  const auto saved = saveBoth(book);
  EXPECT_EQ(saved.first, "");
  EXPECT_EQ(saved.second, "");
  expectSameParts();
}

TEST_F(XlsxRowsTest, AnEmptySheetAndColumnWidthsAreTheLibrarysToo) {
  Workbook book;
  book.sheets().push_back(Sheet{});
  book.sheets()[1].name = "Vacia";
  book.sheets()[0].columnWidths[2] = 30;
  book.setText(book.sheets()[0], 3, 2, "solo");
  const auto saved = saveBoth(book);
  EXPECT_EQ(saved.first, "");
  expectSameParts();
}

TEST_F(XlsxRowsTest, ATextTooLongIsRefusedAsTheLibraryRefusesIt) {
  Workbook book;
  book.setText(book.sheets()[0], 1, 1, std::string(32767, 'x'));
  EXPECT_EQ(saveBoth(book).first, "");
  expectSameParts();
  book.setText(book.sheets()[0], 2, 1, std::string(32768, 'y'));
  std::filesystem::remove(streamed);
  std::filesystem::remove(library);
  const auto [mine, theirs] = saveBoth(book);
  EXPECT_NE(theirs, "");
  std::string named = mine;
  if (const auto at = named.find("streamed.xlsx"); at != std::string::npos)
    named.replace(at, 13, "library.xlsx");
  EXPECT_EQ(named, theirs);
  EXPECT_FALSE(std::filesystem::exists(streamed));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            0);
}

// Text of the kind a sheet holds, long enough for several pieces, with repeats near and far.
std::string sheetLikeText(std::size_t rows) {
  std::string text;
  std::uint32_t seed = 12345;
  for (std::size_t r = 1; r <= rows; ++r) {
    seed = seed * 1103515245u + 12345u;
    text += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) +
            "\" t=\"inlineStr\"><is><t>TERCERO " + std::to_string(seed % 997) +
            "</t></is></c><c r=\"B" + std::to_string(r) + "\"><v>" + std::to_string(seed) +
            "</v></c></row>";
  }
  return text;
}

TEST_F(XlsxRowsTest, TextDeflatedInPiecesIsOneEntryThatReadsBackWhole) {
  const std::string text = sheetLikeText(20000);
  ASSERT_GT(text.size(), 1000000u);
  for (unsigned pieces : {1u, 2u, 3u, 4u}) {
    const std::optional<std::string> archive = exo::reports::deflatedArchive(text, pieces);
    ASSERT_TRUE(archive) << pieces;
    EXPECT_LT(archive->size(), text.size() / 2) << pieces;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(archive->data(), archive->size(), 0, &error);
    ASSERT_NE(source, nullptr);
    zip_t* z = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    ASSERT_NE(z, nullptr) << pieces << ": " << zip_error_strerror(&error);
    ASSERT_EQ(zip_get_num_entries(z, 0), 1);
    zip_stat_t st;
    zip_stat_init(&st);
    ASSERT_EQ(zip_stat_index(z, 0, 0, &st), 0);
    EXPECT_EQ(st.size, text.size());
    EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE);
    EXPECT_EQ(st.crc,
              static_cast<zip_uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(text.data()),
                                              static_cast<uInt>(text.size()))));
    std::string back(text.size() + 1, '\0');
    zip_file_t* f = zip_fopen_index(z, 0, 0);
    ASSERT_NE(f, nullptr);
    const zip_int64_t got = zip_fread(f, back.data(), back.size());
    EXPECT_EQ(zip_fclose(f), 0) << pieces;  // the data's CRC checked at the end
    zip_discard(z);
    zip_error_fini(&error);
    ASSERT_EQ(got, static_cast<zip_int64_t>(text.size())) << pieces;
    back.resize(text.size());
    EXPECT_TRUE(back == text) << pieces;
  }
  // Short texts, the empty one too, in more pieces than they could fill.
  for (const std::string small : {std::string(), std::string("ab")}) {
    const auto archive = exo::reports::deflatedArchive(small, 4);
    ASSERT_TRUE(archive);
    zip_error_t error;
    zip_error_init(&error);
    zip_t* z = zip_open_from_source(
        zip_source_buffer_create(archive->data(), archive->size(), 0, &error), ZIP_RDONLY, &error);
    ASSERT_NE(z, nullptr);
    std::string back(8, '\0');
    zip_file_t* f = zip_fopen_index(z, 0, 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(zip_fread(f, back.data(), back.size()), static_cast<zip_int64_t>(small.size()));
    zip_fclose(f);
    zip_discard(z);
    zip_error_fini(&error);
    EXPECT_EQ(back.substr(0, small.size()), small);
  }
}

TEST_F(XlsxRowsTest, ALongSheetDeflatedInPiecesGivesTheLibrarysParts) {
  Workbook book;
  Sheet& sh = book.active();
  for (int r = 1; r <= 12000; ++r) {
    book.setText(sh, r, 1, "TERCERO " + std::to_string(r % 977));
    book.setNumber(sh, r, 2, r * 1000.5);
    book.setText(sh, r, 3, "CL " + std::to_string(r * 7 % 1000) + " # 4-20");
  }
  const auto [a, b] = saveBoth(book);
  ASSERT_EQ(a, "");
  ASSERT_EQ(b, "");
  // The two saves of a long sheet may fall in different seconds: every part but the one with
  // the time of creation is compared.
  const auto mine = partsOf(streamed), theirs = partsOf(library);
  ASSERT_GT(mine.at("xl/worksheets/sheet1.xml").size(), 600000u);
  ASSERT_EQ(mine.size(), theirs.size());
  for (const auto& [name, data] : theirs) {
    ASSERT_TRUE(mine.count(name)) << name;
    if (name != "docProps/core.xml") EXPECT_TRUE(mine.at(name) == data) << name;
  }
}

TEST_F(XlsxRowsTest, TheFileIsReadBackWithItsValues) {
  Workbook book;
  book.setText(book.sheets()[0], 1, 1, "Raz\xF3n & Cia");
  book.setNumber(book.sheets()[0], 2, 3, 1234.5);
  ASSERT_EQ(exo::reports::saveXlsx(book, streamed), "");
  const auto read = exo::reports::openXlsx(streamed);
  ASSERT_TRUE(read.book) << read.error;
  const Workbook& back = *read.book;
  const auto* a1 = back.sheets()[0].find(1, 1);
  const auto* c2 = back.sheets()[0].find(2, 3);
  ASSERT_TRUE(a1 && c2);
  EXPECT_EQ(back.text(a1->text), "Raz\xF3n & Cia");
  EXPECT_DOUBLE_EQ(c2->num, 1234.5);
}

// Thousands of texts, each written twice and some differing only in case, after a NUL or by a
// trailing blank: every text keeps one id of its own, and the file read back gives each cell its
// text. A copy of the workbook goes on with texts of its own once the original is gone.
TEST_F(XlsxRowsTest, ManyTextsKeepAnIdEachAndReadBackInTheirCells) {
  auto book = std::make_unique<Workbook>();
  Sheet& sh = book->sheets()[0];
  const auto textOf = [](int i) {
    std::string t = "Tercero " + std::to_string(i);
    if (i % 3 == 1) t += ' ';
    if (i % 5 == 2) t += std::string(1, '\0') + "x";
    return i % 7 == 3 ? std::string("tERCERO ") + std::to_string(i) : t;
  };
  std::map<std::string, std::uint32_t> ids;
  for (int i = 1; i <= 3000; ++i) {
    const std::uint32_t id = book->intern(textOf(i));
    ASSERT_EQ(book->text(id), textOf(i));
    ASSERT_TRUE(ids.emplace(textOf(i), id).second) << i;
  }
  for (int i = 1; i <= 3000; ++i) {
    ASSERT_EQ(book->intern(textOf(i)), ids[textOf(i)]) << i;
    if (i % 5 != 2) book->setText(sh, i, 1, textOf(i));
  }
  EXPECT_EQ(book->textCount(), ids.size() + 1);  // and the empty text
  const Workbook copy = *book;
  book.reset();
  EXPECT_EQ(Workbook(copy).intern(textOf(10)), ids[textOf(10)]);
  ASSERT_EQ(exo::reports::saveXlsx(copy, streamed), "");
  const auto read = exo::reports::openXlsx(streamed);
  ASSERT_TRUE(read.book) << read.error;
  for (int i = 1; i <= 3000; ++i) {
    if (i % 5 == 2) continue;
    const auto* c = read.book->sheets()[0].find(i, 1);
    ASSERT_TRUE(c) << i;
    EXPECT_EQ(read.book->text(c->text), textOf(i)) << i;
  }
}

}  // namespace

// The spreadsheet script through the language: cells and styles written and read back from the
// saved file, the free functions, sheets, editing, find and replace, and damaged files.
#include <gtest/gtest.h>

#include "WorkbookTestSupport.h"
#include "expr/Dates.h"
#include "reports/CellRef.h"
#include "reports/CellValue.h"
#include "reports/TExcelScript.h"
#include "reports/XlsxFile.h"

using exo::Value;
using workbooktest::ScriptFixture;
namespace rp = exo::reports;

namespace {

std::string text(const Value& v) { return v.isText() ? std::string(v.textView()) : "<not text>"; }

}  // namespace

TEST(ColumnLetters, BothWaysAcrossOneTwoAndThreeLetters) {
  const std::pair<int, const char*> cases[] = {{1, "A"},     {26, "Z"},     {27, "AA"},
                                               {52, "AZ"},   {53, "BA"},    {702, "ZZ"},
                                               {703, "AAA"}, {16384, "XFD"}};
  for (const auto& [n, letters] : cases) {
    EXPECT_EQ(rp::columnLetters(n), letters) << n;
    EXPECT_EQ(rp::columnNumber(letters), n) << letters;
  }
  EXPECT_EQ(rp::columnNumber("xfe"), 0);
  EXPECT_EQ(rp::columnNumber("A1"), 0);
  EXPECT_EQ(rp::columnLetters(0), "");
}

// The decimals a number shows in a workbook cell and in the text of CONVIERTEXVALUE: none for a
// whole number however large, up to ten for a fraction, and the text right-aligned in 21.
TEST(CellValues, WholeNumbersShowNoDecimalsAndFractionsTheirOwn) {
  using exo::reports::numGetDecimals;
  EXPECT_EQ(numGetDecimals(0), 0);
  EXPECT_EQ(numGetDecimals(-0.0), 0);
  EXPECT_EQ(numGetDecimals(145729600), 0);
  EXPECT_EQ(numGetDecimals(-98765432109876.0), 0);
  EXPECT_EQ(numGetDecimals(1e30), 0);  // too wide for 21 characters
  EXPECT_EQ(numGetDecimals(2.5), 1);
  EXPECT_EQ(numGetDecimals(-1234.125), 3);
  EXPECT_EQ(numGetDecimals(0.1 + 0.2), 1);  // 0.30000000000000004 at ten decimals
  EXPECT_EQ(numGetDecimals(1.0 / 3), 10);
  EXPECT_EQ(numGetDecimals(1e-12), 0);  // rounds to nothing at ten decimals
  const auto text = [](double v) {
    return std::string(exo::reports::convertCellValue(exo::Value::number(v), 'C').textView());
  };
  EXPECT_EQ(text(145729600), std::string(12, ' ') + "145729600");
  EXPECT_EQ(text(-2.5), std::string(17, ' ') + "-2.5");
}

TEST(ColumnLetters, RangesParseInOrderAndRejectForeignText) {
  auto r = rp::parseRange("$c$5:A1");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->top, 1);
  EXPECT_EQ(r->left, 1);
  EXPECT_EQ(r->bottom, 5);
  EXPECT_EQ(r->right, 3);
  r = rp::parseRange("B:D");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->bottom, rp::kMaxRows);
  EXPECT_EQ(r->left, 2);
  r = rp::parseRange("Hoja1!3:4");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->right, rp::kMaxCols);
  for (const char* bad : {"", "A0", "1A", "A1:B", "XFE1", "A1048577", "hola mundo"})
    EXPECT_FALSE(rp::parseRange(bad)) << bad;
}

TEST_F(ScriptFixture, FreeFunctionsOfTheLanguage) {
  EXPECT_EQ(text(run("CCOLUMN2LETTER(27)")), "AA");
  EXPECT_EQ(text(run("CCOLUMN2LETTER(52)")), "AZ");
  EXPECT_EQ(text(run("CCOLUMN2LETTER(53)")), "BA");
  EXPECT_EQ(text(run("CCOLUMN2LETTER(703)")), "AAA");
  EXPECT_EQ(run("CLETTER2COLUMN('A')").num(), 1);
  EXPECT_EQ(run("CLETTER2COLUMN('ba')").num(), 53);
  EXPECT_EQ(text(run("CMAKERANGE(5, 2)")), "B5");
  EXPECT_EQ(text(run("CMAKERANGE(5, 2, 7)")), "B5");
  EXPECT_EQ(text(run("CMAKERANGE(5, 2, 70, 28)")), "B5:AB70");
}

TEST_F(ScriptFixture, ValuesSurviveSaveAndOpen) {
  const std::string file = path("valores.xls");
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + file + "')");
  run("oX:Say(1, 1, 'Nit')");
  run("oX:Say(2, 1, '00123')");
  run("oX:Say(2, 2, 1500000)");
  run("oX:Say(3, 2, 12.5)");
  run("oX:Say(4, 2, CTOD('31-12-2011'))");
  run("oX:Say(5, 2, .T.)");
  run("oX:Formula(6, 2, '=SUMA(B2:B3)')");
  EXPECT_TRUE(run("oX:Save()").logical());
  run("oX:End()");
  // The old extension became the new one.
  ASSERT_TRUE(std::filesystem::exists(path("valores.xlsx")));
  run("oX:Open('" + file + "')");
  EXPECT_FALSE(run("oX:lDefault").logical());
  EXPECT_EQ(text(run("oX:Get(1, 1)")), "Nit");
  EXPECT_EQ(text(run("oX:Get(2, 1)")), "00123");
  EXPECT_EQ(text(run("AllTrim(oX:Get(2, 2))")), "1500000");
  EXPECT_EQ(text(run("AllTrim(oX:Get(3, 2))")), "12.5");
  EXPECT_EQ(run("oX:Get(3, 2, 'N')").num(), 12.5);
  EXPECT_EQ(text(run("oX:Get(4, 2)")), "20111231");
  EXPECT_EQ(text(run("oX:Get(9, 9)")), "");
  EXPECT_EQ(run("oX:Get(9, 9, 'N')").num(), 0);
  EXPECT_EQ(run("oX:nRows()").num(), 6);
  EXPECT_EQ(run("oX:nCols()").num(), 2);
  rp::XlsxRead back = rp::openXlsx(path("valores.xlsx"));
  ASSERT_TRUE(back.book) << back.error;
  const rp::Cell* f = back.book->active().find(6, 2);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->kind, rp::CellKind::Formula);
  EXPECT_EQ(back.book->text(f->text), "=SUM(B2:B3)");
}

TEST_F(ScriptFixture, SayAppliesDefaultsOrOnlyTheStylesGiven) {
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + path("estilos.xlsx") + "')");
  run("oX:Font('Verdana')");
  run("oX:Say(1, 1, 10)");
  run("oX:Say(1, 2, 'x', 'Courier New', 14, .T., .T., .T., 3, 255, 65535, 90, -4119, '0.00')");
  auto* b = static_cast<rp::TExcelScript&>(run("oX").objectRef()).book();
  ASSERT_NE(b, nullptr);
  const rp::CellStyle& plain = b->style(b->active().find(1, 1)->style);
  EXPECT_EQ(plain.font, "Verdana");
  EXPECT_EQ(plain.size, 10);
  EXPECT_EQ(plain.numberFormat, "0");
  EXPECT_EQ(plain.background, 16777215);
  EXPECT_EQ(plain.border, 1);
  const rp::CellStyle& full = b->style(b->active().find(1, 2)->style);
  EXPECT_EQ(full.font, "Courier New");
  EXPECT_TRUE(full.bold && full.italic && full.underline);
  EXPECT_EQ(full.color, 255u);
  EXPECT_EQ(full.background, 65535);
  EXPECT_EQ(full.orientation, 90);
  EXPECT_EQ(full.border, -4119);
  EXPECT_EQ(full.numberFormat, "");  // a text value takes no number format
  // Without defaults only what is given changes.
  run("oX:lDefault := .F.");
  run("oX:Say(1, 2, 'y', , , .F.)");
  const rp::CellStyle& changed = b->style(b->active().find(1, 2)->style);
  EXPECT_FALSE(changed.bold);
  EXPECT_EQ(changed.font, "Courier New");
  EXPECT_EQ(changed.background, 65535);
}

TEST_F(ScriptFixture, UnknownOperationShowsTheClassMessage) {
  run("PUBLICA('oX', TExcelScript():New())");
  EXPECT_TRUE(run("oX:Volar(1)").isNil());
  const auto msgs = ui.callsOf("message");
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].title, "Aviso al usuario");
  EXPECT_EQ(msgs[0].text, "La propiedad VOLAR no existe ");
}

TEST_F(ScriptFixture, RefusedFormulaIsReportedAndNotWritten) {
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + path("f.xlsx") + "')");
  EXPECT_FALSE(run("oX:Formula(1, 1, '=SUMA(A2:A3')").logical());
  const auto msgs = ui.callsOf("message");
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "La formula no es correcta =SUMA(A2:A3");
  EXPECT_EQ(run("oX:nRows()").num(), 0);
}

TEST_F(ScriptFixture, SheetsAddNameMoveDeleteAndSeek) {
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + path("hojas.xlsx") + "')");
  run("oX:NameSheet(1, 'Datos')");
  run("oX:AddSheet()");
  run("oX:NameSheet(1, 'Resumen')");
  EXPECT_EQ(run("oX:CountSheets()").num(), 2);
  EXPECT_TRUE(run("oX:SeekSheet('datos')").logical());
  EXPECT_FALSE(run("oX:NameSheet(1, 'Da:tos')").logical());
  run("oX:MoveSheet('Resumen', , 'Datos')");
  run("oX:HowSheet()");
  EXPECT_EQ(text(run("oX:aSheets[1]")), "Datos");
  EXPECT_EQ(text(run("oX:aSheets[2]")), "Resumen");
  EXPECT_TRUE(run("oX:DelSheet('Datos')").logical());
  EXPECT_FALSE(run("oX:DelSheet(1)").logical());  // the last sheet stays
  EXPECT_EQ(run("oX:CountSheets()").num(), 1);
}

TEST_F(ScriptFixture, InsertDuplicateClearCopyAndPaste) {
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + path("editar.xlsx") + "')");
  run("oX:Say(1, 1, 'a'), oX:Say(2, 1, 'b'), oX:Say(3, 1, 'c')");
  run("oX:AddComent(3, 1, 'nota')");
  run("oX:InsertRow('A2')");
  EXPECT_EQ(text(run("oX:Get(2, 1)")), "");
  EXPECT_EQ(text(run("oX:Get(3, 1)")), "b");
  run("oX:Duplicate(3)");
  EXPECT_EQ(text(run("oX:Get(4, 1)")), "b");
  EXPECT_EQ(text(run("oX:Get(5, 1)")), "c");
  run("oX:Copy('A3:A5'), oX:SetPos('C1'), oX:Paste()");
  EXPECT_EQ(text(run("oX:Get(3, 3)")), "c");
  run("oX:Clear('A1:A3')");
  EXPECT_EQ(text(run("oX:Get(1, 1)")), "");
  EXPECT_EQ(text(run("oX:Get(4, 1)")), "b");
  auto* b = static_cast<rp::TExcelScript&>(run("oX").objectRef()).book();
  EXPECT_EQ(b->active().comments.count({5, 1}), 1u);  // the comment moved with its cell
}

TEST_F(ScriptFixture, FindFindNextAndReplace) {
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + path("buscar.xlsx") + "')");
  run("oX:Say(1, 1, 'Total caja'), oX:Say(2, 2, 'Total'), oX:Say(4, 1, 'total bancos')");
  run("oX:SetPos('A1')");
  EXPECT_TRUE(run("oX:Find('Total', .F., .F.)").logical());  // exact: B2
  EXPECT_EQ(text(run("oX:GetCell()")), "B2");
  EXPECT_FALSE(run("oX:FindNext()").logical() && text(run("oX:GetCell()")) == "B2");
  run("oX:SetPos('A1')");
  EXPECT_TRUE(run("oX:Find('bancos', .F., .T.)").logical());
  EXPECT_EQ(text(run("oX:GetCell()")), "A4");
  run("oX:SetPos('A1')");
  EXPECT_TRUE(run("oX:Replace('total', 'Suma', .F., .T., .T.)").logical());
  EXPECT_EQ(text(run("oX:Get(1, 1)")), "Total caja");  // the search starts after A1
  EXPECT_EQ(text(run("oX:Get(2, 2)")), "Suma");
  EXPECT_EQ(text(run("oX:Get(4, 1)")), "Suma bancos");
}

TEST_F(ScriptFixture, EvalRunsMessagesAndExpressionsAndSkipsComments) {
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + path("eval.xlsx") + "')");
  run("oX:Eval('Say(1, 1, 7)')");
  run("oX:Eval('!Self:Say(2, 1, uParam)', .F., 'hola')");
  run("oX:Eval('* Say(3, 1, 1)')");
  EXPECT_EQ(run("oX:Get(1, 1, 'N')").num(), 7);
  EXPECT_EQ(text(run("oX:Get(2, 1)")), "hola");
  EXPECT_EQ(text(run("oX:Get(3, 1)")), "");
}

TEST_F(ScriptFixture, ShowingPrintingAndMailSaveAndOpenWithTheDesktop) {
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + path("ver.xls") + "')");
  run("oX:Say(1, 1, 'x')");
  run("oX:Visualizar(.T.)");
  run("oX:Print()");
  const auto opened = ui.callsOf("openWithShell");
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].text, path("ver.xlsx"));
  EXPECT_TRUE(std::filesystem::exists(path("ver.xlsx")));
}

TEST_F(ScriptFixture, SubtotalsInsertOneRowPerGroupAndAGrandTotal) {
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + path("sub.xlsx") + "')");
  run("oX:Say(1, 1, 'Cta'), oX:Say(1, 2, 'Valor')");
  run("oX:Say(2, 1, 'A'), oX:Say(2, 2, 10), oX:Say(3, 1, 'A'), oX:Say(3, 2, 5)");
  run("oX:Say(4, 1, 'B'), oX:Say(4, 2, 7)");
  run("oX:Subtotal('A1:B4', 1, 1, {2})");
  EXPECT_EQ(text(run("oX:Get(4, 1)")), "A Total");
  EXPECT_EQ(run("oX:Get(4, 2, 'N')").num(), 15);
  EXPECT_EQ(text(run("oX:Get(5, 1)")), "B");
  EXPECT_EQ(text(run("oX:Get(6, 1)")), "B Total");
  EXPECT_EQ(text(run("oX:Get(7, 1)")), "Total general");
  EXPECT_EQ(run("oX:Get(7, 2, 'N')").num(), 22);
}

TEST_F(ScriptFixture, DamagedFilesFailClearlyThroughTheHandler) {
  shelltest::writeFile(dir.file("roto.xlsx"), "esto no es un libro");
  std::string zipOfText = std::string("PK\x03\x04", 4) + std::string(60, '\0');
  shelltest::writeFile(dir.file("zip.xlsx"), zipOfText);
  for (const char* name : {"roto.xlsx", "zip.xlsx", "falta.xlsx"}) {
    exo::Failure seen;
    ip.setErrorHandler([&seen](exo::Interp&, const exo::Failure& f) {
      seen = f;
      return exo::ErrorReply::byDefault();
    });
    run("PUBLICA('oX', TExcelScript():New())");
    run(std::string("oX:Open('") + path(name) + "')");
    EXPECT_EQ(seen.genCode, exo::GenCode::Open) << name;
    EXPECT_EQ(seen.subsystem, "XLSX");
    EXPECT_NE(seen.description.find("archivo"), std::string::npos) << seen.description;
    EXPECT_EQ(run("oX:nBooks()").num(), 0);
  }
  // A zip archive that is not a workbook.
  const auto r = rp::openXlsxBytes(std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_FALSE(r.book);
  EXPECT_FALSE(r.error.empty());
}

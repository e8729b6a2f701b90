// Workbooks checked against an independent reader and writer, python3-openpyxl: what the
// spreadsheet script writes opens there with the same values, fonts, colours, number formats,
// merges, widths and sheet names; what openpyxl writes is read back by Open and Get.
#include <gtest/gtest.h>

#include <fstream>

#include "../reports/WorkbookTestSupport.h"
#include "InteropSupport.h"

namespace {

using workbooktest::ScriptFixture;

std::string runPython(const std::string& script, const std::string& arg) {
  const std::string file = arg + ".py";
  std::ofstream(file) << script;
  std::string out;
  storetest::runCommand(std::string(interop::kPython) + " '" + file + "' '" + arg + "' 2>&1", out);
  return out;
}

const char* kOpenpyxl = "/usr/bin/python3 -c 'import openpyxl'";

TEST_F(ScriptFixture, OpenpyxlReadsValuesStylesMergesWidthsAndSheetNames) {
  REQUIRE_TOOL(kOpenpyxl);
  const std::string file = path("informe.xlsx");
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Create('" + file + "')");
  run("oX:NameSheet(1, 'Formato 1001')");
  run("oX:Say(1, 1, 'Raz\363n social', 'Arial', 12, .T., , , 3, 255, 65535)");
  run("oX:Say(2, 1, 'MU\321OZ & CIA')");
  run("oX:Say(2, 2, 1234.5, , , , , , , , , , , '#,##0.00')");
  run("oX:Say(3, 2, -7)");
  run("oX:Combinar('A5:C5')");
  run("oX:ColumnWidth(1, 30)");
  run("oX:AddSheet()");
  run("oX:NameSheet(1, 'Notas')");
  run("oX:Say(1, 1, 'segunda')");
  run("oX:SetSheet('Formato 1001')");
  run("oX:Save()");
  const std::string script =
      "import sys, openpyxl\n"
      "wb = openpyxl.load_workbook(sys.argv[1][:-3])\n"
      "print(wb.sheetnames)\n"
      "ws = wb['Formato 1001']\n"
      "a1 = ws['A1']\n"
      "print(ascii(a1.value), a1.font.name, a1.font.sz, a1.font.b, a1.font.color.rgb,\n"
      "      a1.fill.fgColor.rgb, a1.alignment.horizontal)\n"
      "print(ascii(ws['A2'].value), ws['B2'].value, ws['B2'].number_format, ws['B3'].value)\n"
      "print([str(m) for m in ws.merged_cells.ranges], ws.column_dimensions['A'].width)\n"
      "print(wb['Notas']['A1'].value)\n";
  const std::string out = runPython(script, file + ".py");
  EXPECT_EQ(out,
            "['Notas', 'Formato 1001']\n"
            "'Raz\\xf3n social' Arial 12.0 True FFFF0000 FFFFFF00 center\n"
            "'MU\\xd1OZ & CIA' 1234.5 #,##0.00 -7\n"
            "['A5:C5'] 30.7109375\n"
            "segunda\n");
}

TEST_F(ScriptFixture, OpenAndGetReadWhatOpenpyxlWrote) {
  REQUIRE_TOOL(kOpenpyxl);
  const std::string file = path("ajeno.xlsx");
  const std::string script =
      "import sys, datetime, openpyxl\n"
      "wb = openpyxl.Workbook()\n"
      "ws = wb.active\n"
      "ws.title = 'Datos'\n"
      "ws['A1'] = 'Identificaci\\xf3n'\n"
      "ws['A5'] = '0800197268'\n"
      "ws['B5'] = 1500000\n"
      "ws['C5'] = 12.25\n"
      "ws['D5'] = datetime.date(2011, 12, 31)\n"
      "ws['E5'] = '=B5*2'\n"
      "ws['A1'].font = openpyxl.styles.Font(name='Tahoma', bold=True)\n"
      "wb.create_sheet('Otra')\n"
      "wb.save(sys.argv[1][:-3])\n";
  ASSERT_EQ(runPython(script, file + ".py"), "");
  run("PUBLICA('oX', TExcelScript():New())");
  run("oX:Open('" + file + "')");
  EXPECT_EQ(run("oX:nRows()").num(), 5);
  EXPECT_EQ(run("oX:nCols()").num(), 5);
  EXPECT_EQ(std::string(run("oX:Get(1, 1)").textView()), "Identificaci\363n");
  EXPECT_EQ(std::string(run("oX:Get(5, 1)").textView()), "0800197268");
  EXPECT_EQ(std::string(run("AllTrim(oX:Get(5, 2))").textView()), "1500000");
  EXPECT_EQ(run("oX:Get(5, 3, 'N')").num(), 12.25);
  EXPECT_EQ(std::string(run("oX:Get(5, 4)").textView()), "20111231");
  EXPECT_TRUE(run("oX:SeekSheet('Otra')").logical());
  // A re-save keeps the formula and the font.
  run("oX:SaveAs('" + path("resave.xlsx") + "')");
  const std::string check =
      "import sys, openpyxl\n"
      "ws = openpyxl.load_workbook(sys.argv[1][:-3])['Datos']\n"
      "print(ws['E5'].value, ws['A1'].font.name, ws['A1'].font.b, ws['A5'].value)\n";
  EXPECT_EQ(runPython(check, path("resave.xlsx") + ".py"), "=B5*2 Tahoma True 0800197268\n");
}

}  // namespace

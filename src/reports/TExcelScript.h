// TExcelScript: the spreadsheet script class of report definitions, over in-memory workbooks
// written as and read from Office Open XML files. Definitions create workbooks, write cells
// with their styles, lay out and protect sheets, and save; operations that need a spreadsheet
// program on screen (showing, printing, mailing, dialogs) save the workbook and open it with
// the desktop's program through the user-interface port.
//
// Messages are case-insensitive; an unknown one shows "La propiedad NAME no existe " titled
// "Aviso al usuario" and gives NIL. Failures (a file that cannot be read or written, no open
// workbook) go through the interpreter's error handler.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "expr/Functions.h"
#include "expr/Object.h"
#include "reports/Workbook.h"
#include "shell/Paths.h"
#include "shell/UserInterface.h"

namespace exo::reports {

class TExcelScript final : public Object {
 public:
  TExcelScript(shell::UserInterface* ui, shell::Folders folders);

  std::string_view className() const override { return "TExcelScript"; }
  Value send(Interp& ip, const std::string& name, std::span<Value> args, bool isCall) override;
  Value assign(Interp& ip, const std::string& name, const Value& value) override;

  // The current workbook, or nullptr when none is open (C++ access for callers and tests).
  Workbook* book() { return m_current < m_books.size() ? &m_books[m_current]->book : nullptr; }

  using Method = Value (TExcelScript::*)(Args&);

 private:
  // The operations by upper-case name.
  static const std::unordered_map<std::string, Method>& methods();

  struct OpenBook {
    Workbook book;
    std::string file;  // as the definition named it (stored form)
    bool opened = false;
  };
  struct Clipboard {
    std::vector<std::vector<Cell>> cells;
    const Workbook* from = nullptr;
    bool full = false;
  };

  // Files and application (TExcelScriptFiles.cpp).
  Value opNew(Args& a);
  Value opOpen(Args& a);
  Value opCreate(Args& a);
  Value opSave(Args& a);
  Value opSaveAs(Args& a);
  Value opReadOnly(Args& a);
  Value opPrint(Args& a);
  Value opEnd(Args& a);
  Value opVisualizar(Args& a);
  Value opSendMail(Args& a);
  Value opMailSystem(Args& a);
  Value opShowSaved(Args& a);
  Value opBooks(Args& a);
  Value opHowBook(Args& a);
  Value opSeekBook(Args& a);
  Value opEval(Args& a);

  // Cells (TExcelScriptCells.cpp).
  Value opSay(Args& a);
  Value opGet(Args& a);
  Value opCellFormat(Args& a);
  Value opBorders(Args& a);
  Value opRangeFondo(Args& a);
  Value opFormatRange(Args& a);
  Value opFormula(Args& a);
  Value opAddComent(Args& a);
  Value opMultiLine(Args& a);
  Value opRanMultiLine(Args& a);
  Value opCombinar(Args& a);
  Value opColumnWidth(Args& a);
  Value opAutoFit(Args& a);
  Value opSetFont(Args& a);
  Value opSizeFont(Args& a);
  Value opDefaults(Args& a);
  Value opGetCell(Args& a);
  Value opSetPos(Args& a);
  Value opInsertRow(Args& a);
  Value opInsertCol(Args& a);
  Value opDuplicate(Args& a);
  Value opClear(Args& a);
  Value opCopy(Args& a);
  Value opPaste(Args& a);
  Value opFind(Args& a);
  Value opFindNext(Args& a);
  Value opReplace(Args& a);

  // Sheets, layout, printing (TExcelScriptSheets.cpp).
  Value opAddSheet(Args& a);
  Value opCopySheet(Args& a);
  Value opDelSheet(Args& a);
  Value opMoveSheet(Args& a);
  Value opNameSheet(Args& a);
  Value opSetSheet(Args& a);
  Value opCountSheets(Args& a);
  Value opHowSheet(Args& a);
  Value opSeekSheet(Args& a);
  Value opUsedRows(Args& a);
  Value opUsedCols(Args& a);
  Value opPage(Args& a);
  Value opMargins(Args& a);
  Value opHeaders(Args& a);
  Value opFooters(Args& a);
  Value opPageBreak(Args& a);
  Value opAutoFilter(Args& a);
  Value opSubtotal(Args& a);
  Value opChart(Args& a);
  Value opPicture(Args& a);
  Value opAddPicture(Args& a);
  Value opAddShape(Args& a);
  Value opProtect(Args& a);

  // Grid writer (TExcelScriptGrid.cpp).
  Value opAddCol(Args& a);
  Value opSetArray(Args& a);
  Value opWBrowse(Args& a);

  // Shared helpers.
  Value self() { return Value::object(Ref<Object>(this)); }
  // The current workbook and sheet; nullptr after raising "no workbook" through the handler.
  Workbook* needBook(Args& a);
  Sheet* needSheet(Args& a);
  // Shows a message titled "Aviso al usuario" (nothing without a user interface).
  void notice(std::string_view text);
  // The native path of a workbook name: ".xls" becomes ".xlsx".
  std::filesystem::path nativeName(Interp& ip, std::string_view name);
  // Saves the current workbook under its own name (asking the handler on failure); the path
  // saved, or nullopt.
  std::optional<std::filesystem::path> saveCurrent(Interp& ip);
  bool writeBook(Interp& ip, OpenBook& b, const std::filesystem::path& path);
  // Row and column arguments at i and i+1, the active cell's when missing.
  void position(Args& a, std::size_t i, int& row, int& col);
  // A range argument: the text parsed, or the active cell when empty; nullopt when invalid
  // (the class message has been shown).
  std::optional<CellRange> rangeArg(Args& a, std::size_t i);
  // The part of a range that holds cells worth touching (whole rows and columns are cut to
  // the used area).
  CellRange bounded(const Sheet& sh, CellRange r) const;
  // Applies a change to the style of every cell of a range (cells are created when needed).
  template <class Change>
  void restyle(Workbook& b, Sheet& sh, const CellRange& r, Change change);
  void writeValue(Workbook& b, Sheet& sh, int row, int col, const Value& v);
  Value cellValue(const Workbook& b, const Cell* c) const;
  void shiftRows(Sheet& sh, int at, int count);
  void shiftCols(Sheet& sh, int at, int count);
  bool searchFrom(Interp& ip, int row, int col, bool wrap, bool forward);
  bool checkHit(Args& a, std::string_view text, bool partial);
  std::optional<std::size_t> sheetIndex(Args& a, std::size_t i);
  CellStyle sayStyle(Args& a, const CellStyle& current, bool numeric);
  Value property(const std::string& name, bool& known);

  shell::UserInterface* m_ui;
  shell::Folders m_folders;
  std::vector<std::unique_ptr<OpenBook>> m_books;
  std::size_t m_current = 0;

  // The default cell style of Say and its flags.
  std::string m_font = "Arial";
  double m_size = 10;
  bool m_bold = false;
  bool m_italic = false;
  bool m_underline = false;
  int m_align = 1;
  bool m_open = false;
  bool m_default = true;
  bool m_excel = true;
  bool m_visible = false;
  int m_format = 51;
  std::string m_file;

  // The grid writer.
  Value m_cols = Value::newArray();
  Value m_data = Value::newArray();
  std::string m_alias;
  double m_at = 0;

  Value m_sheetNames = Value::newArray();
  Value m_bookNames = Value::newArray();
  Clipboard m_clip;
  // The last cell found, and the text and mode of the search.
  bool m_found = false;
  int m_findRow = 0;
  int m_findCol = 0;
  std::string m_findText;
};

}  // namespace exo::reports

// The script class: message dispatch, the readable and assignable members, and the helpers
// shared by its operations.
#include "reports/TExcelScript.h"

#include <unordered_map>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "reports/ScriptArgs.h"

namespace exo::reports {

const std::unordered_map<std::string, TExcelScript::Method>& TExcelScript::methods() {
  using T = TExcelScript;
  static const std::unordered_map<std::string, Method> table = {
      {"NEW", &T::opNew},
      {"OPEN", &T::opOpen},
      {"CREATE", &T::opCreate},
      {"SAVE", &T::opSave},
      {"SAVEAS", &T::opSaveAs},
      {"READONLY", &T::opReadOnly},
      {"PRINT", &T::opPrint},
      {"END", &T::opEnd},
      {"VISUALIZAR", &T::opVisualizar},
      {"SAY", &T::opSay},
      {"GET", &T::opGet},
      {"CELLFORMAT", &T::opCellFormat},
      {"BORDERS", &T::opBorders},
      {"RANGEFONDO", &T::opRangeFondo},
      {"FORMATRANGE", &T::opFormatRange},
      {"FORMULA", &T::opFormula},
      {"ADDCOMENT", &T::opAddComent},
      {"MULTILINE", &T::opMultiLine},
      {"RANMULTILINE", &T::opRanMultiLine},
      {"COMBINAR", &T::opCombinar},
      {"COLUMNWIDTH", &T::opColumnWidth},
      {"AUTOFIT", &T::opAutoFit},
      {"SETFONT", &T::opSetFont},
      {"SIZEFONT", &T::opSizeFont},
      {"FONT", &T::opDefaults},
      {"SIZE", &T::opDefaults},
      {"ALIGN", &T::opDefaults},
      {"GETCELL", &T::opGetCell},
      {"SETPOS", &T::opSetPos},
      {"INSERTROW", &T::opInsertRow},
      {"INSERTCOL", &T::opInsertCol},
      {"DUPLICATE", &T::opDuplicate},
      {"CLEAR", &T::opClear},
      {"COPY", &T::opCopy},
      {"PASTE", &T::opPaste},
      {"FIND", &T::opFind},
      {"FINDNEXT", &T::opFindNext},
      {"REPLACE", &T::opReplace},
      {"EVAL", &T::opEval},
      {"ADDSHEET", &T::opAddSheet},
      {"COPYSHEET", &T::opCopySheet},
      {"DELSHEET", &T::opDelSheet},
      {"MOVESHEET", &T::opMoveSheet},
      {"NAMESHEET", &T::opNameSheet},
      {"SETSHEET", &T::opSetSheet},
      {"COUNTSHEETS", &T::opCountSheets},
      {"HOWSHEET", &T::opHowSheet},
      {"SEEKSHEET", &T::opSeekSheet},
      {"NBOOKS", &T::opBooks},
      {"HOWBOOK", &T::opHowBook},
      {"SEEKBOOK", &T::opSeekBook},
      {"NROWS", &T::opUsedRows},
      {"NROWSCOUNT", &T::opUsedRows},
      {"NCOLS", &T::opUsedCols},
      {"NCOLSCOUNT", &T::opUsedCols},
      {"SETPRINTAREA", &T::opPage},
      {"LCENTERH", &T::opPage},
      {"LCENTERV", &T::opPage},
      {"ZOOM", &T::opPage},
      {"SETPAGE", &T::opPage},
      {"TITLEROWS", &T::opPage},
      {"SETLANDSCAPE", &T::opPage},
      {"SETPORTRAIT", &T::opPage},
      {"MARGINS", &T::opMargins},
      {"HEADERS", &T::opHeaders},
      {"FOOTERS", &T::opFooters},
      {"HPAGEBREAKS", &T::opPageBreak},
      {"AUTOFILTER", &T::opAutoFilter},
      {"SUBTOTAL", &T::opSubtotal},
      {"CHART", &T::opChart},
      {"PICTURE", &T::opPicture},
      {"ADDPICTURE", &T::opAddPicture},
      {"ADDSHAPE", &T::opAddShape},
      {"PROTECTBOOK", &T::opProtect},
      {"PROTECTSHEET", &T::opProtect},
      {"UNPROTECTBOOK", &T::opProtect},
      {"UNPROTECTSHEET", &T::opProtect},
      {"PROTECT", &T::opProtect},
      {"UNPROTECT", &T::opProtect},
      {"SENDMAIL", &T::opSendMail},
      {"SENDEMAIL", &T::opSendMail},
      {"MAILSYSTEM", &T::opMailSystem},
      {"WEBPAGEPREVIEW", &T::opShowSaved},
      {"DIALOGS", &T::opShowSaved},
      {"ADDCOL", &T::opAddCol},
      {"SETARRAY", &T::opSetArray},
      {"WBROWSE", &T::opWBrowse},
  };
  return table;
}

namespace {

constexpr std::string_view kNoticeTitle = "Aviso al usuario";

}  // namespace

TExcelScript::TExcelScript(shell::UserInterface* ui, shell::Folders folders)
    : m_ui(ui), m_folders(std::move(folders)) {}

Value TExcelScript::send(Interp& ip, const std::string& name, std::span<Value> args, bool) {
  const auto it = methods().find(name);
  if (it != methods().end()) {
    Args a(ip, name, args);
    try {
      return (this->*(it->second))(a);
    } catch (const ArgSubstitute& s) {
      return s.value;
    }
  }
  bool known = false;
  Value v = property(name, known);
  if (known) return v;
  notice("La propiedad " + name + " no existe ");
  return Value();
}

Value TExcelScript::property(const std::string& name, bool& known) {
  known = true;
  if (name == "CFONT") return Value::text(m_font);
  if (name == "NSIZE") return Value::number(m_size);
  if (name == "LBOLD") return Value::logical(m_bold);
  if (name == "LITALIC") return Value::logical(m_italic);
  if (name == "LUNDERLINE") return Value::logical(m_underline);
  if (name == "NALIGN") return Value::number(m_align);
  if (name == "LOPEN") return Value::logical(m_open);
  if (name == "LDEFAULT") return Value::logical(m_default);
  if (name == "LEXCEL") return Value::logical(m_excel);
  if (name == "CFILE") return Value::text(m_file);
  if (name == "NFORMAT") return Value::number(m_format);
  if (name == "AEXCELCOLS") return m_cols;
  if (name == "ADATA") return m_data;
  if (name == "CALIAS") return Value::text(m_alias);
  if (name == "NAT") return Value::number(m_at);
  if (name == "ASHEETS") return m_sheetNames;
  if (name == "NSHEETS")
    return Value::number(book() ? static_cast<double>(book()->sheets().size()) : 0);
  if (name == "ABOOKS") return m_bookNames;
  // The application, workbook, sheet, shapes, cell and clipboard objects are this object.
  if (name == "OEXCEL" || name == "OWORKBOOKS" || name == "OBOOK" || name == "OSHEET" ||
      name == "OSHAPE" || name == "OCELL" || name == "OCLIP")
    return self();
  if (name == "OFIND") return m_found ? self() : Value();
  known = false;
  return Value();
}

Value TExcelScript::assign(Interp&, const std::string& name, const Value& value) {
  const auto text = [&value] {
    return value.isText() ? std::string(value.textView()) : std::string();
  };
  const auto flag = [&value] { return value.isLogical() && value.logical(); };
  if (name == "CFONT") m_font = text();
  else if (name == "NSIZE" && value.isNumber()) m_size = value.num();
  else if (name == "LBOLD") m_bold = flag();
  else if (name == "LITALIC") m_italic = flag();
  else if (name == "LUNDERLINE") m_underline = flag();
  else if (name == "NALIGN" && value.isNumber()) m_align = static_cast<int>(value.num());
  else if (name == "LOPEN") m_open = flag();
  else if (name == "LDEFAULT") m_default = flag();
  else if (name == "CFILE") m_file = text();
  else if (name == "NFORMAT" && value.isNumber()) m_format = static_cast<int>(value.num());
  else if (name == "AEXCELCOLS") m_cols = value.owned();
  else if (name == "ADATA") m_data = value.owned();
  else if (name == "CALIAS") m_alias = text();
  else if (name == "NAT" && value.isNumber()) m_at = value.num();
  else notice("La propiedad " + name + " no existe ");
  return value;
}

void TExcelScript::notice(std::string_view text) {
  if (m_ui != nullptr) m_ui->message(shell::MessageKind::Alert, kNoticeTitle, text);
}

Workbook* TExcelScript::needBook(Args& a) {
  if (Workbook* b = book()) return b;
  Failure f;
  f.genCode = GenCode::NoTable;
  f.subsystem = "XLSX";
  f.subCode = 1001;
  f.description = "No hay un libro abierto: use Create u Open primero";
  f.operation = "TExcelScript:" + std::string(a.function());
  f.canDefault = true;
  a.interp().raise(std::move(f));
  return nullptr;
}

Sheet* TExcelScript::needSheet(Args& a) {
  Workbook* b = needBook(a);
  return b ? &b->active() : nullptr;
}

void TExcelScript::position(Args& a, std::size_t i, int& row, int& col) {
  const Sheet* sh = book() ? &book()->active() : nullptr;
  row = optInt(a, i, 1, kMaxRows).value_or(sh ? sh->activeRow : 1);
  col = optInt(a, i + 1, 1, kMaxCols).value_or(sh ? sh->activeCol : 1);
}

std::optional<CellRange> TExcelScript::rangeArg(Args& a, std::size_t i) {
  const auto text = optText(a, i);
  if (!text || trimBlanks(*text).empty()) {
    const Sheet* sh = book() ? &book()->active() : nullptr;
    const int r = sh ? sh->activeRow : 1, c = sh ? sh->activeCol : 1;
    return CellRange{r, c, r, c};
  }
  auto r = parseRange(*text);
  if (!r) notice("El rango " + *text + " no es correcto");
  return r;
}

CellRange TExcelScript::bounded(const Sheet& sh, CellRange r) const {
  // Whole columns or rows reach only as far as the cells written, so that formatting "A:A"
  // does not create a million cells.
  if (r.bottom == kMaxRows) r.bottom = std::max(r.top, sh.lastRow());
  if (r.right == kMaxCols) r.right = std::max(r.left, sh.lastCol());
  return r;
}

}  // namespace exo::reports

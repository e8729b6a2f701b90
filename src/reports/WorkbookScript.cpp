// Registration of the spreadsheet script and its free functions on an interpreter.
#include "reports/WorkbookScript.h"

#include <map>
#include <mutex>

#include "expr/Interp.h"
#include "expr/Library.h"
#include "reports/CellRef.h"
#include "reports/TExcelScript.h"

namespace exo::reports {

namespace {

struct Context {
  shell::UserInterface* ui = nullptr;
  shell::Folders folders;
};

// Native functions are plain function pointers: what a script needs from its caller is kept
// per interpreter.
std::map<const Interp*, Context>& contexts() {
  static std::map<const Interp*, Context> map;
  return map;
}
// The interpreters of a run's workers register and read theirs from their own threads.
std::mutex& contextsGuard() {
  static std::mutex guard;
  return guard;
}

Value texcelscriptClass(Args& a) {
  Context ctx{nullptr, shell::Folders::fromEnvironment()};
  {
    const std::lock_guard lock(contextsGuard());
    const auto it = contexts().find(&a.interp());
    if (it != contexts().end()) ctx = it->second;
  }
  return Value::object(Ref<Object>(new TExcelScript(ctx.ui, std::move(ctx.folders))));
}

int wholeArg(Args& a, std::size_t i) {
  return a.has(i) && a[i].isNumber() ? static_cast<int>(a[i].num()) : 0;
}

// CMAKERANGE(nRow, nCol, nRow2, nCol2): "B7", or "B7:D9" when both second coordinates are given.
Value cmakerange(Args& a) {
  const int row = wholeArg(a, 0), col = wholeArg(a, 1);
  std::string out = columnLetters(col) + std::to_string(row);
  if (a.has(2) && a.has(3))
    out += ":" + columnLetters(wholeArg(a, 3)) + std::to_string(wholeArg(a, 2));
  return lib::tempText(a.interp(), out);
}

// CCOLUMN2LETTER(nCol): the column's letters (27 is AA, 703 is AAA).
Value ccolumn2letter(Args& a) {
  const int col = wholeArg(a, 0);
  return lib::tempText(a.interp(), col > kMaxCols ? std::string() : columnLetters(col));
}

// CLETTER2COLUMN(cLetters): the column number of the letters (A is 1, AA is 27), 0 for none.
Value cletter2column(Args& a) {
  if (!a.has(0) || !a[0].isText()) return Value::number(0);
  return Value::number(columnNumber(a[0].textView()));
}

}  // namespace

void registerWorkbookFunctions(Interp& ip, shell::UserInterface* ui) {
  registerWorkbookFunctions(ip, ui, shell::Folders::fromEnvironment());
}

void registerWorkbookFunctions(Interp& ip, shell::UserInterface* ui, shell::Folders folders) {
  {
    const std::lock_guard lock(contextsGuard());
    contexts()[&ip] = Context{ui, std::move(folders)};
  }
  ip.functions().add("TEXCELSCRIPT", texcelscriptClass, 0, -1);
  ip.functions().add("CMAKERANGE", cmakerange, 0, 4);
  ip.functions().add("CCOLUMN2LETTER", ccolumn2letter, 0, 1);
  ip.functions().add("CLETTER2COLUMN", cletter2column, 0, 1);
}

}  // namespace exo::reports

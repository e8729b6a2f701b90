// The script's workbooks and files: creating, opening, saving, closing, the list of open
// workbooks, and the operations that show a saved workbook in the desktop's program.
#include <cstdio>

#include "expr/Codepage.h"
#include "expr/Failure.h"
#include "expr/Interp.h"
#include "expr/PathPolicy.h"
#include "expr/Text.h"
#include "reports/ScriptArgs.h"
#include "reports/TExcelScript.h"
#include "reports/XlsxFile.h"
#include "shell/DefinitionPaths.h"
#include "shell/Disposal.h"
#include "shell/Paths.h"

namespace exo::reports {

namespace {

Failure fileFailure(GenCode code, std::string description, std::string file, std::string op) {
  Failure f;
  f.genCode = code;
  f.subsystem = "XLSX";
  f.subCode = 1000 + static_cast<int>(code);
  f.description = std::move(description);
  f.fileName = std::move(file);
  f.operation = "TExcelScript:" + std::move(op);
  f.canRetry = true;
  f.canDefault = true;
  return f;
}

// The file name part of a stored or native path.
std::string baseName(std::string_view path) {
  const auto cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

}  // namespace

std::filesystem::path TExcelScript::nativeName(Interp&, std::string_view name) {
  std::string stored(trimBlanks(name));
  // Workbooks are Office Open XML: a name given with the old extension gets the new one.
  if (stored.size() >= 4 && upper1252(stored.substr(stored.size() - 4)) == ".XLS") stored += "x";
  // A full native path (the temporary folder's, for a workbook never named) is taken as it is.
  const std::filesystem::path full = shell::pathFromText(stored);
  if (full.is_absolute()) return full;
  return shell::nativePath(m_folders, stored);
}

Value TExcelScript::opNew(Args&) {
  m_excel = true;
  m_clip = {};
  return self();
}

Value TExcelScript::opCreate(Args& a) {
  auto b = std::make_unique<OpenBook>();
  b->file = optText(a, 0).value_or("");
  m_file = b->file;
  m_books.push_back(std::move(b));
  m_current = m_books.size() - 1;
  m_font = "Arial";
  m_size = 10;
  m_bold = m_italic = m_underline = false;
  m_align = 1;
  m_open = false;
  m_default = true;
  m_format = 51;
  return self();
}

Value TExcelScript::opOpen(Args& a) {
  const std::string name = optText(a, 0).value_or("");
  for (;;) {
    const std::filesystem::path path = nativeName(a.interp(), name);
    if (!allowPath(a.interp(), path.string(), PathUse::Read, "TExcelScript:Open")) return self();
    XlsxRead read = openXlsx(path);
    if (read.book) {
      auto b = std::make_unique<OpenBook>();
      b->book = std::move(*read.book);
      b->file = name;
      b->opened = true;
      b->book.active().activeRow = b->book.active().activeCol = 1;
      m_books.push_back(std::move(b));
      m_current = m_books.size() - 1;
      m_file = name;
      m_font = "Arial";
      m_size = 10;
      m_bold = m_italic = m_underline = false;
      m_align = 1;
      m_default = false;
      m_open = true;
      m_format = 51;
      return self();
    }
    bool retry = false;
    a.interp().raise(fileFailure(GenCode::Open, read.error, name, "Open"), &retry);
    if (!retry) return self();
  }
}

bool TExcelScript::writeBook(Interp& ip, OpenBook& b, const std::filesystem::path& path) {
  if (!allowPath(ip, path.string(), PathUse::Write, "TExcelScript:Save")) return false;
  for (;;) {
    const std::string error = saveXlsx(b.book, path);
    if (error.empty()) return true;
    bool retry = false;
    ip.raise(fileFailure(GenCode::Write, error, b.file, "Save"), &retry);
    if (!retry) return false;
  }
}

Value TExcelScript::opSave(Args& a) {
  if (needBook(a) == nullptr) return Value();
  OpenBook& b = *m_books[m_current];
  if (trimBlanks(b.file).empty()) {
    a.interp().raise(
        fileFailure(GenCode::Create, "El libro no tiene nombre: use SaveAs", "", "Save"));
    return Value::logical(false);
  }
  return Value::logical(writeBook(a.interp(), b, nativeName(a.interp(), b.file)));
}

Value TExcelScript::opSaveAs(Args& a) {
  if (needBook(a) == nullptr) return Value();
  OpenBook& b = *m_books[m_current];
  const auto name = optText(a, 0);
  if (name && !trimBlanks(*name).empty()) b.file = *name;
  if (const auto fmt = optNum(a, 1)) m_format = static_cast<int>(*fmt);
  m_file = b.file;
  if (trimBlanks(b.file).empty()) {
    a.interp().raise(fileFailure(GenCode::Create, "El libro no tiene nombre", "", "SaveAs"));
    return Value::logical(false);
  }
  return Value::logical(writeBook(a.interp(), b, nativeName(a.interp(), b.file)));
}

std::optional<std::filesystem::path> TExcelScript::saveCurrent(Interp& ip) {
  if (book() == nullptr) return std::nullopt;
  OpenBook& b = *m_books[m_current];
  if (trimBlanks(b.file).empty()) {
    // A workbook never named is saved in the program's temporary folder so it can still be
    // shown.
    const std::filesystem::path folder = shell::programTempFolder(true);
    if (folder.empty()) return std::nullopt;
    try {
      b.file = shell::textOfPath(shell::newTemporaryFile("libro", ".xlsx", folder));
    } catch (const FailureError&) {
      return std::nullopt;
    }
  }
  const std::filesystem::path path = nativeName(ip, b.file);
  if (!writeBook(ip, b, path)) return std::nullopt;
  return path;
}

Value TExcelScript::opReadOnly(Args& a) {
  bool readOnly = false;
  if (book() != nullptr && !trimBlanks(m_books[m_current]->file).empty()) {
    const std::filesystem::path path = nativeName(a.interp(), m_books[m_current]->file);
    if (!allowPath(a.interp(), path.string(), PathUse::Read, "TExcelScript:ReadOnly"))
      return Value::logical(false);
    readOnly = shell::isReadOnlyFile(path);
  }
  if (readOnly && optBool(a, 0).value_or(false))
    notice(" El archivo " + m_books[m_current]->file + " est\341 abierto en otra sesi\363n");
  return Value::logical(readOnly);
}

Value TExcelScript::opPrint(Args& a) { return opShowSaved(a); }

Value TExcelScript::opVisualizar(Args& a) {
  const bool show = optBool(a, 0).value_or(true);
  m_visible = show;
  if (show) opShowSaved(a);
  return Value();
}

Value TExcelScript::opShowSaved(Args& a) {
  const auto path = saveCurrent(a.interp());
  if (!path || m_ui == nullptr) return Value::logical(false);
  return Value::logical(m_ui->openWithShell(path->string()));
}

Value TExcelScript::opSendMail(Args& a) {
  const auto path = saveCurrent(a.interp());
  if (!path || m_ui == nullptr) return Value::logical(false);
  const std::string to(trimBlanks(optText(a, 0).value_or("")));
  const std::string subject = optText(a, 1).value_or(baseName(m_books[m_current]->file));
  // A mail program cannot be handed an attachment portably: it is opened with the recipient
  // and subject, and the user is told which file to attach.
  std::string link = "mailto:" + to + "?subject=";
  for (unsigned char ch : toUtf8(subject)) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%%%02X", ch);
    link += std::isalnum(ch) ? std::string(1, static_cast<char>(ch)) : std::string(buf);
  }
  const bool opened = m_ui->openWithShell(link);
  notice("Adjunte al correo el libro " + fromUtf8(path->string()));
  return Value::logical(opened);
}

Value TExcelScript::opMailSystem(Args&) { return Value::number(1); }

Value TExcelScript::opEnd(Args&) {
  // A large book takes a while to free: the worker does it while the run goes on.
  shell::disposeLater(std::make_unique<std::vector<std::unique_ptr<OpenBook>>>(std::move(m_books)));
  m_books.clear();
  m_current = 0;
  m_clip = {};
  m_found = false;
  return Value();
}

Value TExcelScript::opBooks(Args&) { return Value::number(static_cast<double>(m_books.size())); }

Value TExcelScript::opHowBook(Args&) {
  Value names = Value::newArray();
  for (const auto& b : m_books) names.arrayData().items.push_back(Value::text(baseName(b->file)));
  m_bookNames = names;
  return names;
}

Value TExcelScript::opSeekBook(Args& a) {
  const std::string wanted = upper1252(trimBlanks(optText(a, 0).value_or("")));
  for (std::size_t i = 0; i < m_books.size(); ++i) {
    std::string name = upper1252(baseName(m_books[i]->file));
    const std::string stem = name.substr(0, name.rfind('.'));
    if (!wanted.empty() && (name == wanted || stem == wanted || name == wanted + "X")) {
      return Value::logical(true);
    }
  }
  return Value::logical(false);
}

Value TExcelScript::opEval(Args& a) {
  std::string text = optText(a, 0).value_or("");
  if (optBool(a, 1).value_or(false)) text = oemToAnsi(text);
  const std::string_view body = trimBlanks(text);
  if (body.empty() || body[0] == '*' || body[0] == '/' || body[0] == '#') return Value();
  // The command runs as a block whose parameters are the object and the extra argument.
  const std::string source = body[0] == '!' ? "{|Self, uParam| " + std::string(body.substr(1)) + "}"
                                            : "{|Self, uParam| Self:" + std::string(body) + "}";
  Interp& ip = a.interp();
  const Value block = ip.evalText(source);
  if (!block.isBlock()) return Value();
  const Value params[2] = {self(), a.count() > 2 ? a[2] : Value()};
  return ip.evalBlock(block, params);
}

}  // namespace exo::reports

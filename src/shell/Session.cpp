// Declaration of the session variables, detection of the sibling products, restore of the last
// session, and typed access.
#include "shell/Session.h"

#include "expr/Text.h"

#include <cctype>
#include <system_error>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "shell/MemFile.h"
#include "shell/ShellFailure.h"

namespace exo::shell {
namespace {

// The company's working tables: variable and file name inside CELPATH.
struct TablePath {
  const char* variable;
  const char* file;
};
constexpr TablePath kTablePaths[] = {
    {"VRMAEEXO", "VRMAEEXO.DBF"}, {"VRMAEEXX", "VRMAEEXX.CDX"}, {"CODCONTA", "CodCont.dbf"},
    {"CODCONTX", "CodContx.cdx"}, {"VRDIREXO", "VRDIREXO.DBF"}, {"VRDIREXF", "VRDIREXO.FPT"},
    {"VRDIREXX", "VRDIREXX.CDX"},
};

constexpr const char* kStopTitle = "Atenci\363n.....";
constexpr const char* kNoSiblingText =
    "\r\n\r\nNo se detect\363 instalado en el equipo ni Norvasta Orbisal Plus ni Norvasta Contable,"
    "\r\npor lo que, al no haber fuente de informaci\363n, el sistema no puede continuar.\r\n\r\n";

Value blanks(std::size_t n) { return Value::text(std::string(n, ' ')); }

Value container(std::initializer_list<std::pair<const char*, Value>> members) {
  Ref<TPublic> c(new TPublic(true));
  for (const auto& [name, value] : members) c->add(name, value);
  return Value::object(Ref<Object>(c.get()));
}

Value emptyArray(std::size_t slots) { return Value::newArray(slots); }

bool bothExist(const Folders& folders, std::string_view root, const char* a, const char* b) {
  return fileExists(folders, std::string(root) + a) && fileExists(folders, std::string(root) + b);
}

// The restored session is used only when it names a company folder that stays inside the
// program folder and one of the two product roots.
bool isUsableSession(std::string_view folder, std::string_view root) {
  const std::string r = upperName(trimBlanks(root));
  return isSafeRelativePath(trimBlanks(folder)) && (r == kOrbisalRoot || r == kContableRoot);
}

// The session file read directly (not through the error handler): one that cannot be read is set
// aside (when the caller may write) and the defaults stand, with a warning either way.
void restoreLastSession(Interp& ip, UserInterface& ui, const Folders& folders, bool mayWrite) {
  const std::optional<std::filesystem::path> file = findEntry(folders.program, kSessionFile);
  if (!file) return;
  std::vector<MemVar> vars;
  try {
    vars = readMemFile(*file);
  } catch (const FailureError& e) {
    std::string text = "El archivo de la sesi\363n anterior no se puede leer:\r\n" +
                       errorMessage(e.failure()) + "\r\n";
    std::error_code ec;
    const std::filesystem::path aside = file->string() + std::string(kSetAsideSuffix);
    if (mayWrite) std::filesystem::rename(*file, aside, ec);
    if (mayWrite && !ec) {
      text += "Se guard\363 aparte como " + aside.filename().string() +
              " y se empieza sin empresa de la sesi\363n anterior.";
    } else {
      text += "Se empieza sin empresa de la sesi\363n anterior.";
    }
    ui.message(MessageKind::Alert, kStopTitle, text);
    return;
  }
  Memvars& mv = ip.memvars();
  for (MemVar& var : vars) {
    if (mv.find(var.name) != nullptr) mv.assign(var.name, std::move(var.value));
    else mv.declarePublic(var.name, std::move(var.value));
  }
  auto get = [&](const char* name) {
    Memvars::Slot* s = mv.find(name);
    return s != nullptr && s->value().isText() ? std::string(s->value().textView()) : std::string();
  };
  if (trimBlanks(get("MVAR01")).empty() || !isUsableSession(get("MVAR01"), get("MVAR04"))) return;
  mv.assign("CELPATH", Value::text(get("MVAR01")));
  mv.assign("CEMPRESA", Value::text(get("MVAR02")));
  mv.assign("CANIOINI", Value::text(get("MVAR03")));
  mv.assign("CPATHORIGEN", Value::text(get("MVAR04")));
}

void declareWindowState(Memvars& mv) {
  Value form = Value::newArray(0);
  form.arrayData().items.push_back(Value::text("EXT"));
  mv.declarePublic("_FORM", form);
  mv.declarePublic("OAPEJEC", container({{"nLinEjec", Value::number(0)}}));
  mv.declarePublic("OIMPRE", container({{"nFormat", Value::number(0)},
                                        {"cCod3rot", Value::text("")},
                                        {"cElForm", Value::text("")},
                                        {"cElConc", Value::text("")}}));
  mv.declarePublic("ODLGMSG1", Value());
  mv.declarePublic("ODLGT1", emptyArray(10));
  mv.declarePublic("ODLGT2", emptyArray(20));
  mv.declarePublic("ODLGT3", emptyArray(20));
  mv.declarePublic("OBTNCANCEL", Value());
}

void declareCompanyState(Memvars& mv) {
  mv.declarePublic("CCONSECUT", blanks(3));
  mv.declarePublic("NMESTRPRIM", Value::number(0));
  mv.declarePublic("NMESTRULTI", Value::number(0));
  mv.declarePublic("ANAMEFORMS", emptyArray(0));
  mv.declarePublic("AELPUC", emptyArray(0));
  for (const char* name : {"MVAR01", "MVAR02", "MVAR03", "MVAR04"})
    mv.declarePublic(name, Value::text(""));
  mv.declarePublic("AEMPRIMPOR", emptyArray(0));
}

void declareTablePaths(Memvars& mv) {
  const std::string celPath(mv.find("CELPATH")->value().textView());
  for (const TablePath& p : kTablePaths)
    mv.declarePublic(p.variable, Value::text(celPath + p.file));
}

void declareGenerationState(Memvars& mv) {
  mv.declarePublic("OCABEZ", container({{"ano", Value::text("")},
                                        {"CodCpt", Value::text("")},
                                        {"Format", Value::text("")},
                                        {"Versi", Value::text("")},
                                        {"NumEnv", Value::text("")},
                                        {"FecEnv", Value::text("")},
                                        {"FecIni", Value::text("")},
                                        {"FecFin", Value::text("")}}));
  mv.declarePublic("CDIRSALIDA", Value::text("SALIDA\\"));
  mv.declarePublic("LUSAESCAPE", Value::logical(false));
  mv.declarePublic("OFORXML",
                   container({{"Cmpo2Sum", Value::text("")}, {"cElement", Value::text("")}}));
  mv.declarePublic("OACOORS", container({{"nTop", Value::number(0)}, {"nLeft", Value::number(0)}}));
}

}  // namespace

SiblingProducts detectSiblingProducts(const Folders& folders) {
  SiblingProducts s;
  s.orbisal = bothExist(folders, kOrbisalRoot, "VR.EXE", "VRNRVV32.DLL");
  s.contable = bothExist(folders, kContableRoot, "VRCONTAB.EXE", "NRVCNT32.DLL");
  return s;
}

bool VARIABLPUBLIC(Interp& ip, UserInterface& ui, const Folders& folders, bool mayWrite) {
  Memvars& mv = ip.memvars();
  declareWindowState(mv);
  declareCompanyState(mv);
  const SiblingProducts siblings = detectSiblingProducts(folders);
  mv.declarePublic("LHAYORBISAL", Value::logical(siblings.orbisal));
  mv.declarePublic("LHAYCONTABLE", Value::logical(siblings.contable));
  if (!siblings.orbisal && !siblings.contable) {
    ui.message(MessageKind::Stop, kStopTitle, kNoSiblingText);
    if (const auto file = findEntry(folders.program, kSessionFile); file && mayWrite) {
      std::error_code ec;
      std::filesystem::remove(*file, ec);
    }
    return false;
  }
  mv.declarePublic("CEMPRESA", blanks(30));
  mv.declarePublic("CELPATH", blanks(20));
  mv.declarePublic("CPATHORIGEN", blanks(20));
  mv.declarePublic("OINFOBARDLG", Value());
  mv.declarePublic("CANIOINI", Value::text("2010"));
  mv.declarePublic("CPERIODO", Value::text("00"));
  restoreLastSession(ip, ui, folders, mayWrite);
  declareTablePaths(mv);
  declareGenerationState(mv);
  return true;
}

// --- Session ---------------------------------------------------------------------------------

Session::Session(Interp& ip, UserInterface& ui, Folders folders)
    : m_ip(ip), m_ui(ui), m_folders(std::move(folders)) {}

const Value* Session::variable(std::string_view name) const {
  Memvars::Slot* s = m_ip.memvars().find(name);
  return s != nullptr ? &s->value() : nullptr;
}

std::string Session::text(std::string_view name) const {
  const Value* v = variable(name);
  return v != nullptr && v->isText() ? std::string(v->textView()) : std::string();
}

void Session::setText(std::string_view name, std::string_view value) {
  m_ip.memvars().assign(name, Value::text(value));
}

TPublic& Session::container(std::string_view name) const {
  const Value* v = variable(name);
  if (v == nullptr || !v->isObject() || v->objectRef().className() != "TPublic") {
    throw FailureError(
        shellFailure(GenCode::NoVar, "Falta la variable de sesi\363n", {}, std::string(name)));
  }
  return static_cast<TPublic&>(v->objectRef());
}

bool Session::flag(std::string_view name) const {
  const Value* v = variable(name);
  return v != nullptr && v->isLogical() && v->logical();
}

int Session::integer(std::string_view name) const {
  const Value* v = variable(name);
  return v != nullptr && v->isNumber() ? static_cast<int>(v->num()) : 0;
}

bool Session::hayOrbisal() const { return flag("LHAYORBISAL"); }
bool Session::hayContable() const { return flag("LHAYCONTABLE"); }

std::string Session::celPath() const { return text("CELPATH"); }
void Session::setCelPath(std::string_view path) { setText("CELPATH", path); }
std::string Session::pathOrigen() const { return text("CPATHORIGEN"); }
void Session::setPathOrigen(std::string_view root) { setText("CPATHORIGEN", root); }
std::string Session::anioIni() const { return text("CANIOINI"); }
void Session::setAnioIni(std::string_view year) { setText("CANIOINI", year); }
std::string Session::empresa() const { return text("CEMPRESA"); }
void Session::setEmpresa(std::string_view name) { setText("CEMPRESA", name); }
std::string Session::periodo() const { return text("CPERIODO"); }
void Session::setPeriodo(std::string_view period) { setText("CPERIODO", period); }
std::string Session::consecut() const { return text("CCONSECUT"); }
void Session::setConsecut(std::string_view number) { setText("CCONSECUT", number); }
std::string Session::dirSalida() const { return text("CDIRSALIDA"); }

int Session::mesPrim() const { return integer("NMESTRPRIM"); }
int Session::mesUlti() const { return integer("NMESTRULTI"); }

void Session::setMeses(int first, int last) {
  m_ip.memvars().assign("NMESTRPRIM", Value::number(first));
  m_ip.memvars().assign("NMESTRULTI", Value::number(last));
}

std::string Session::tablePath(std::string_view variable) const { return text(variable); }

void Session::formPaths() {
  const std::string celPath = this->celPath();
  for (const TablePath& p : kTablePaths) setText(p.variable, celPath + p.file);
}

TPublic& Session::cabez() const { return container("OCABEZ"); }
TPublic& Session::impre() const { return container("OIMPRE"); }
TPublic& Session::forXml() const { return container("OFORXML"); }
TPublic& Session::apEjec() const { return container("OAPEJEC"); }
TPublic& Session::aCoors() const { return container("OACOORS"); }

std::filesystem::path Session::native(std::string_view storedPath) const {
  return nativePath(m_folders, storedPath);
}

std::filesystem::path Session::companyFolder() const { return native(trimBlanks(celPath())); }

std::filesystem::path Session::scratchFolder() const {
  return m_scratchFolder.empty() ? companyFolder() : m_scratchFolder;
}

std::filesystem::path Session::companyFile(std::string_view name) const {
  return entryPath(companyFolder(), name);
}

std::filesystem::path Session::sessionFile() const {
  return entryPath(m_folders.program, kSessionFile);
}

void Session::saveSessionFile() { saveMemvars(m_ip, sessionFile(), "mVar*"); }

}  // namespace exo::shell

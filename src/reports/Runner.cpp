// EJECUTAR: finding, reading, keeping and running report definitions.
#include "reports/Runner.h"

#include <chrono>
#include <fstream>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include "expr/Block.h"
#include "expr/Interp.h"
#include "expr/PathPolicy.h"
#include "expr/TPublic.h"
#include "expr/Text.h"
#include "expr/WorkAreas.h"
#include "shell/DefinitionPaths.h"
#include "shell/ErrorHandler.h"
#include "shell/Paths.h"

namespace exo::reports {
namespace {

constexpr std::string_view kTitle = "Atenci\363n.....";
constexpr std::size_t kStoreNameWidth = 12;
constexpr std::int64_t kRecordsPerPump = 500;

// The runner bound to each interpreter.
std::unordered_map<Interp*, Runner*>& bindings() {
  static std::unordered_map<Interp*, Runner*> map;
  return map;
}
// The runners of a run's workers are made, found and ended on their own threads.
std::mutex& bindingsGuard() {
  static std::mutex guard;
  return guard;
}

Failure runnerFailure(GenCode code, std::string description, std::string fileName,
                      bool canDefault = true) {
  Failure f;
  f.genCode = code;
  f.subsystem = "EJECUTAR";
  f.subCode = 1000 + static_cast<int>(code);
  f.description = std::move(description);
  f.fileName = std::move(fileName);
  f.operation = "EJECUTAR";
  f.canDefault = canDefault;
  return f;
}

std::string_view leftTrimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

bool isTextLine(std::string_view line) { return leftTrimmed(line).starts_with('['); }

std::optional<std::string> readWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (!ec) bytes.reserve(static_cast<std::size_t>(size));
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// Selects an area again when the scope ends, however it ends.
class KeepSelected {
 public:
  explicit KeepSelected(WorkAreas* w) : m_w(w), m_area(w != nullptr ? w->selected() : 0) {}
  ~KeepSelected() {
    if (m_w != nullptr) m_w->select(m_area);
  }
  KeepSelected(const KeepSelected&) = delete;
  KeepSelected& operator=(const KeepSelected&) = delete;
  int area() const { return m_area; }

 private:
  WorkAreas* m_w;
  int m_area;
};

// The run's private variables live in a frame of their own, released when the run ends.
class PrivateFrame {
 public:
  explicit PrivateFrame(Memvars& m) : m_m(m) { m.pushFrame(); }
  ~PrivateFrame() { m_m.popFrame(); }
  PrivateFrame(const PrivateFrame&) = delete;
  PrivateFrame& operator=(const PrivateFrame&) = delete;

 private:
  Memvars& m_m;
};

// True when an entry of the session list _FORM begins with the key (letter case ignored).
bool keepsLines(Interp& ip, std::string_view key) {
  if (key.empty()) return false;
  Memvars::Slot* s = ip.memvars().find("_FORM");
  if (s == nullptr || !s->defined() || !s->value().isArray()) return false;
  for (const Value& entry : s->value().arrayData().items) {
    if (entry.isText() && upper1252(entry.textView()).starts_with(key)) return true;
  }
  return false;
}

}  // namespace

// --- names and lines ---------------------------------------------------------------------------

DefinitionName resolveDefinitionName(std::string_view given) {
  DefinitionName d;
  std::string n = upper1252(trimBlanks(given));
  const bool hadDot = n.find('.') != std::string::npos;
  if (!hadDot) n += '.';
  d.name = n;
  if (n == ".") return d;  // nothing can be found by an empty name

  // Looked for in "FORMS" unless the name marks a stored definition; a trailing dot names the
  // file without extension.
  if (n.find(".VR") == std::string::npos) {
    std::string file = n;
    while (!file.empty() && file.back() == '.') file.pop_back();
    if (shell::isPlainName(file)) d.fileName = std::move(file);
  }
  std::string key = hadDot ? n : n.substr(0, n.size() - 1);
  if (!key.empty() && key.size() <= kStoreNameWidth) {
    key.resize(kStoreNameWidth, ' ');
    d.storeKey = std::move(key);
  }
  const std::size_t dot = n.find('.');
  d.keepKey = n.substr(0, 3);
  if (dot + 1 < n.size()) d.keepKey += n[dot + 1];
  return d;
}

std::vector<std::string> keptLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view content = leftTrimmed(line);
    if (trimBlanks(content).empty() || content.starts_with("//")) continue;
    lines.emplace_back(line);
  }
  return lines;
}

// --- the runner --------------------------------------------------------------------------------

namespace {

Value ejecutarFn(Args& a) {
  Runner* runner = Runner::of(a.interp());
  if (runner == nullptr || !a[0].isText()) return a.fail();
  std::optional<std::string> text;
  if (a.has(1)) text = std::string(a.text(1));
  runner->EJECUTAR(a[0].textView(), text);
  return Value();
}

// SET(n [, new]): console (17), alternate (18) and printer (23) output; returns the previous
// setting. A new setting is a logical or the text "ON"/"OFF".
Value setFn(Args& a) {
  Interp& ip = a.interp();
  const int which = static_cast<int>(a.num(0));
  Runner* runner = Runner::of(ip);
  bool* flag = nullptr;
  bool alternate = runner != nullptr && runner->alternateOn();
  if (which == 17) flag = &ip.consoleOn;
  if (which == 23) flag = &ip.printerOn;
  if (which == 18) flag = &alternate;
  if (flag == nullptr) return Value();
  const bool previous = *flag;
  if (a.has(1)) {
    if (a[1].isLogical()) {
      *flag = a[1].logical();
    } else if (a[1].isText()) {
      const std::string word = upper1252(trimBlanks(a[1].textView()));
      if (word != "ON" && word != "OFF") return a.fail();
      *flag = word == "ON";
    } else {
      return a.fail();
    }
  }
  if (which == 18 && runner != nullptr) runner->setAlternate(alternate);
  return Value::logical(previous);
}

}  // namespace

Runner::Runner(Interp& ip, shell::UserInterface& ui, std::filesystem::path folder,
               shell::ErrorHandler* handler)
    : m_ip(ip), m_ui(ui), m_folder(std::move(folder)), m_handler(handler) {
  {
    const std::lock_guard lock(bindingsGuard());
    bindings()[&ip] = this;
  }
  ip.functions().add("EJECUTAR", ejecutarFn, 1, 2);
  ip.functions().add("SET", setFn, 1, 2);
}

Runner::~Runner() {
  const std::lock_guard lock(bindingsGuard());
  auto& map = bindings();
  if (auto it = map.find(&m_ip); it != map.end() && it->second == this) map.erase(it);
}

Runner* Runner::of(Interp& ip) {
  const std::lock_guard lock(bindingsGuard());
  auto& map = bindings();
  const auto it = map.find(&ip);
  return it == map.end() ? nullptr : it->second;
}

bool Runner::outputOn() const { return m_ip.consoleOn || m_ip.printerOn || m_alternate; }

void Runner::setLineNumber(int n) {
  m_line = n;
  Memvars::Slot* s = m_ip.memvars().find("OAPEJEC");
  if (s == nullptr || !s->defined() || !s->value().isObject()) return;
  Object& o = s->value().objectRef();
  if (o.className() != "TPublic") return;
  static_cast<TPublic&>(o).add("NLINEJEC", Value::number(n));
}

std::unique_ptr<PathPolicy> Runner::folderPolicy() const {
  std::vector<std::filesystem::path> folders{m_folder};
  // The company folder, as the session names it when the run begins (relative to the program
  // folder, so inside it; named all the same, should it ever lie elsewhere).
  if (Memvars::Slot* s = m_ip.memvars().find("CELPATH");
      s != nullptr && s->defined() && s->value().isText()) {
    const std::string company(trimBlanks(s->value().textView()));
    if (!company.empty() && shell::isSafeRelativePath(company))
      folders.push_back(shell::nativePath({m_folder, "/"}, company));
  }
  return std::make_unique<shell::DefinitionPathPolicy>(folders);
}

void Runner::EJECUTAR(std::string_view name, const std::optional<std::string>& text) {
  // Every path the definition names is confined to the program's folders for the whole run (a
  // definition run from another keeps the outer run's policy).
  // The outermost run also keeps the session's company as it was when the run began.
  std::unique_ptr<PathPolicy> policy;
  std::optional<PathPolicyScope> confined;
  std::optional<shell::KeptCompany> company;
  if (pathPolicyOf(m_ip) == nullptr) {
    policy = folderPolicy();
    confined.emplace(m_ip, policy.get());
    company.emplace(m_ip.memvars());
  }
  // A definition run from a line of another gives the outer line its number back when it ends,
  // so that a later failure of that line is reported with the right number.
  struct Nesting {
    Runner& r;
    int outerLine;
    int outerDepth;
    ~Nesting() {
      if (outerDepth > 0) r.setLineNumber(outerLine);
      r.m_depth = outerDepth;
    }
  } nesting{*this, m_line, m_depth};
  ++m_depth;
  PrivateFrame frame(m_ip.memvars());
  Memvars& vars = m_ip.memvars();
  vars.declarePrivate("G_REP", Value());
  vars.declarePrivate("_EXIT", Value::logical(false));
  setLineNumber(0);

  WorkAreas* areas = m_ip.workAreas();
  KeepSelected selected(areas);  // A_P, selected again when the run ends
  vars.declarePrivate("A_P", Value::number(selected.area()));

  const DefinitionName def = resolveDefinitionName(name);
  bool nothing = false;
  const auto lines = loadLines(def, text, nothing);
  if (nothing || !lines) return;
  runLines(*lines, std::string(trimBlanks(name)));
}

std::optional<std::vector<std::string>> Runner::loadLines(const DefinitionName& def,
                                                          const std::optional<std::string>& text,
                                                          bool& nothingToRun) {
  const bool keep = keepsLines(m_ip, def.keepKey);
  const std::string keptName = "V" + def.keepKey;
  if (keep) {
    Memvars::Slot* s = m_ip.memvars().find(keptName);
    if (s != nullptr && s->defined() && s->value().isArray()) {
      std::vector<std::string> lines;
      for (const Value& v : s->value().arrayData().items) {
        if (v.isText()) lines.emplace_back(v.textView());
      }
      return lines;
    }
  }

  std::optional<std::string> source = readFromForms(def);
  if (!source) source = text ? *text : readFromStore(def);
  if (source->empty()) {
    nothingToRun = true;
    return std::nullopt;
  }
  std::vector<std::string> lines = keptLines(*source);
  if (keep) {
    Value list = Value::newArray(0);
    for (const std::string& l : lines) list.arrayData().items.push_back(Value::text(l));
    m_ip.memvars().declarePublic(keptName, std::move(list));
  }
  return lines;
}

std::optional<std::string> Runner::readFromForms(const DefinitionName& def) {
  if (def.fileName.empty()) return std::nullopt;
  const auto forms = shell::findEntry(m_folder, "FORMS");
  if (!forms || !std::filesystem::is_directory(*forms)) return std::nullopt;
  const auto file = shell::findEntry(*forms, def.fileName);
  if (!file || !std::filesystem::is_regular_file(*file)) return std::nullopt;
  for (;;) {
    if (auto bytes = readWhole(*file)) return bytes;
    bool retry = false;
    Failure f = runnerFailure(GenCode::Read, "No se pudo leer la definici\363n", file->string());
    f.canRetry = true;
    m_ip.raise(std::move(f), &retry);
    if (!retry) return std::string();
  }
}

int Runner::openStore(bool shared) {
  WorkAreas& w = *m_ip.workAreas();
  const std::filesystem::path table = shell::entryPath(m_folder, kStoreTable);
  for (;;) {
    if (m_handler != nullptr) m_handler->resetNetworkError();
    w.use(m_ip, true, table.string(), std::string(kStoreAlias), shared,
          /*readOnly=*/shared);
    if (const int area = w.areaOf(kStoreAlias); area != 0) return area;
    // Only a table held by another station is waited for; any other failure has been reported.
    if (m_handler == nullptr || !m_handler->networkError()) return 0;
    if (!std::filesystem::exists(table)) return 0;
    const int answer = m_ui.ask(kTitle, kStoreBusy, {"&Continuar", "Ca&ncelar"}, 0);
    if (answer != 0) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(busyPauseMs));
  }
}

std::string Runner::readFromStore(const DefinitionName& def) {
  // The store is the program's own table: reading it (and building its index) is no work of
  // the definition being run.
  PathPolicyScope programWork(m_ip, nullptr);
  WorkAreas* areas = m_ip.workAreas();
  if (areas == nullptr) {
    m_ip.raise(
        runnerFailure(GenCode::NoTable, "No hay tablas disponibles", std::string(kStoreTable)));
    return {};
  }
  KeepSelected selected(areas);
  WorkAreas& w = *areas;
  const std::filesystem::path table = shell::entryPath(m_folder, kStoreTable);
  if (!std::filesystem::exists(table)) {
    Failure f = runnerFailure(GenCode::Open, "No existe el almac\351n de informes", table.string());
    f.osCode = 2;
    m_ip.raise(std::move(f));
    return {};
  }

  // The index is built when missing, with the table held exclusively.
  if (!shell::findEntry(m_folder, kStoreIndex)) {
    const int area = openStore(false);
    if (area == 0) return {};
    struct Close {
      Interp& ip;
      WorkAreas& w;
      int area;
      ~Close() { w.close(ip, area); }
    } close{m_ip, w, area};
    w.orderCreate(m_ip, area, (m_folder / kStoreIndex).string(), "NOMBRE", "NOMBRE", "!Deleted()");
  }

  const int area = openStore(true);
  if (area == 0) return {};
  std::int64_t begin = 0;
  std::int64_t length = 0;
  bool found = false;
  {
    struct Close {
      Interp& ip;
      WorkAreas& w;
      int area;
      ~Close() { w.close(ip, area); }
    } close{m_ip, w, area};
    if (def.storeKey.empty()) return {};
    w.orderSetFocus(m_ip, area, Value::number(1));
    ArenaScope arena(m_ip.arena());
    found = w.seek(m_ip, area, Value::temp(def.storeKey), false, false);
    if (found) {
      const int beginField = w.fieldIndex(area, "BEGIN");
      const int lengthField = w.fieldIndex(area, "LENGTH");
      if (beginField < 0 || lengthField < 0) {
        m_ip.raise(runnerFailure(
            GenCode::NoVar, "El almac\351n de informes no tiene BEGIN y LENGTH", table.string()));
        return {};
      }
      const Value b = w.getField(m_ip, area, beginField);
      const Value l = w.getField(m_ip, area, lengthField);
      begin = b.isNumber() ? static_cast<std::int64_t>(b.num()) : -1;
      length = l.isNumber() ? static_cast<std::int64_t>(l.num()) : -1;
    }
  }
  if (!found) return {};

  const std::filesystem::path textFile = shell::entryPath(m_folder, kStoreText);
  std::ifstream in(textFile, std::ios::binary);
  if (!in) {
    Failure f = runnerFailure(GenCode::Open, "No se pudo abrir el texto de los informes",
                              textFile.string());
    f.osCode = 2;
    m_ip.raise(std::move(f));
    return {};
  }
  std::error_code ec;
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(textFile, ec));
  if (ec || begin < 0 || length < 0 || begin > size || length > size - begin) {
    m_ip.raise(runnerFailure(GenCode::Corruption,
                             "La definici\363n " + std::string(trimRight(def.storeKey)) +
                                 " est\341 fuera del texto de los informes",
                             textFile.string()));
    return {};
  }
  std::string bytes(static_cast<std::size_t>(length), '\0');
  in.seekg(begin);
  in.read(bytes.data(), length);
  if (in.gcount() != length) {
    m_ip.raise(runnerFailure(GenCode::Read, "No se pudo leer el texto de los informes",
                             textFile.string()));
    return {};
  }
  return bytes;
}

void Runner::showValue(const Value& v) {
  if (v.isArray()) {
    std::string text;
    for (const Value& item : v.arrayData().items) {
      if (!text.empty()) text += "\r\n";
      text += trimBlanks(displayValue(item));
    }
    m_ui.message(shell::MessageKind::Info, kTitle, text);
    return;
  }
  m_ui.message(shell::MessageKind::Info, kTitle, std::string(trimBlanks(displayValue(v))));
}

void Runner::runLines(const std::vector<std::string>& lines, const std::string& name) {
  std::optional<shell::CallFrame> frame;
  if (m_handler != nullptr) frame.emplace(m_handler->callStack(), "EJECUTAR", 0, name);
  Memvars& vars = m_ip.memvars();
  Memvars::Slot& exitFlag = vars.slot("_EXIT");

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    setLineNumber(static_cast<int>(i) + 1);
    vars.assign("G_REP", Value::text(line));
    const bool assignment = line.find(":=") != std::string::npos;
    if (assignment) {
      if (!isTextLine(line)) m_ip.evalText(line);
    } else {
      Value value = isTextLine(line) ? Value::text(line) : m_ip.evalText(line);
      vars.assign("G_REP", value);
      if (value.isArray()) {
        if (outputOn()) showValue(value);
      } else if (value.isBlock()) {
        WorkAreas* w = m_ip.workAreas();
        const int area = w != nullptr ? w->selected() : 0;
        if (area != 0 && w->isUsed(area)) {
          w->goTop(m_ip, area);
          std::int64_t done = 0;
          while (w->isUsed(area) && !w->eof(area)) {
            m_ip.evalBlock(value, {});
            if (!w->isUsed(area)) break;
            w->skip(m_ip, area, 1);
            if (++done % kRecordsPerPump == 0) m_ui.pumpEvents();
          }
        }
      } else if (!value.isNil() && !value.isLogical() && outputOn()) {
        showValue(value);
      }
    }
    if (exitFlag.defined() && exitFlag.value().isLogical() && exitFlag.value().logical()) break;
  }
}

}  // namespace exo::reports

// Work areas over table files: opening and closing, the record buffers, field access, record
// changes with their index keys, and locks.
#include "store/Engine.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "expr/Codepage.h"
#include "expr/Library.h"
#include "expr/Memvars.h"
#include "expr/PathPolicy.h"
#include "expr/Text.h"
#include "store/EngineImpl.h"
#include "store/File.h"
#include "store/MemoFile.h"
#include "store/StoreFailure.h"

namespace exo::store {

// --- shared pieces ---------------------------------------------------------------------------

bool keyBytesOf(const Value& v, char type, std::string& out) {
  char buf[8];
  switch (type) {
    case 'C':
      if (!v.isText()) return false;
      out.assign(v.textView());
      return true;
    case 'N':
      if (!v.isNumber()) return false;
      encodeNumberKey(v.num(), buf);
      out.assign(buf, 8);
      return true;
    case 'D':
      if (!v.isDate()) return false;
      encodeNumberKey(static_cast<double>(v.julian()), buf);
      out.assign(buf, 8);
      return true;
    case 'L':
      if (!v.isLogical()) return false;
      out.assign(1, v.logical() ? 'T' : 'F');
      return true;
    default: return false;
  }
}

Failure engineFailure(GenCode code, std::string description, std::string fileName,
                      std::string operation) {
  Failure f;
  f.genCode = code;
  f.subsystem = kStoreSubsystem;
  f.subCode = 1000 + static_cast<int>(code);
  f.description = std::move(description);
  f.fileName = std::move(fileName);
  f.operation = std::move(operation);
  f.canDefault = true;
  return f;
}

Failure unreadableNumberFailure(const Dbf& table, std::uint32_t recno, int field,
                                const char* record) {
  const Field& f = table.fields()[static_cast<std::size_t>(field)];
  const std::string text(trimBlanks(table.text(record, field)));
  const bool overflow = text.find_first_not_of('*') == std::string::npos;
  std::string where = "El campo " + f.name;
  if (recno != 0) where += " del registro " + std::to_string(recno);
  Failure failure =
      engineFailure(GenCode::DataType,
                    where + (overflow ? " tiene asteriscos (el valor no cupo en el campo)"
                                      : " no se puede leer como n\372mero (\"" + text + "\")"),
                    table.path(), f.name);
  failure.args = {std::to_string(recno), f.name, text};
  return failure;
}

bool isActiveCondition(std::string_view text) {
  std::string compact;
  for (char c : text) {
    if (c != ' ' && c != '\t')
      compact += static_cast<char>(lib::toUpper1252(static_cast<unsigned char>(c)));
  }
  return compact == "!DELETED()" || compact == ".NOT.DELETED()";
}

cdx::KeyOrder keyOrderOf(KeyKind kind) {
  cdx::KeyOrder o;
  o.fill = kind == KeyKind::Binary ? 0 : ' ';
  o.collated = kind == KeyKind::Character;
  return o;
}

namespace {

// The name of an existing file whatever the letter case of its name; the name as given when
// there is none. A name without extension takes `defaultExt`.
std::string resolveFile(const std::string& file, std::string_view defaultExt) {
  const std::size_t slash = file.find_last_of(kPathSeparators);
  const std::size_t dot = file.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string path = hasExt ? file : file + std::string(defaultExt);
  const std::string ext = path.substr(path.find_last_of('.'));
  const std::string found = findCompanion(path, ext);
  return found.empty() ? path : found;
}

// Alias a table gets when none is given: its file name without directory and extension.
std::string defaultAlias(const std::string& path) {
  std::size_t start = path.find_last_of(kPathSeparators);
  start = start == std::string::npos ? 0 : start + 1;
  std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) dot = path.size();
  return upperName(path.substr(start, dot - start));
}

int displayWidth(const Field& f) { return f.decimals > 0 ? f.length - f.decimals - 1 : f.length; }

}  // namespace

void Engine::fail(GenCode code, std::string description, std::string fileName,
                  std::string operation) {
  m_ip.raise(
      engineFailure(code, std::move(description), std::move(fileName), std::move(operation)));
}

// --- areas -----------------------------------------------------------------------------------

Engine::Engine(Interp& ip) : m_ip(ip) { m_ip.setWorkAreas(this); }

Engine::~Engine() {
  for (auto& a : m_areas) {
    if (!a) continue;
    try {
      closeArea(*a);
    } catch (...) {
      // Closing at the end of the program: what could not be written is lost either way.
    }
  }
  if (m_ip.workAreas() == this) m_ip.setWorkAreas(nullptr);
}

namespace {

// While a path policy is installed (a report definition runs), whether the area's table may be
// changed; a refusal is raised. Always true for the program's own work.
bool mayChange(Interp& ip, Area& a, const char* operation) {
  const PathPolicy* policy = pathPolicyOf(ip);
  if (policy == nullptr) return true;
  if (a.policyEpoch != pathPolicyEpoch(ip)) {
    a.policyEpoch = pathPolicyEpoch(ip);
    a.writeRefusal = policy->refusal(a.dbf->path(), PathUse::Write);
  }
  if (a.writeRefusal.empty()) return true;
  ip.raise(pathFailure(a.writeRefusal, a.dbf->path(), PathUse::Write, operation));
  return false;
}

}  // namespace

Area* Engine::find(int area) const {
  if (area < 1 || area > static_cast<int>(m_areas.size())) return nullptr;
  return m_areas[static_cast<std::size_t>(area) - 1].get();
}

Area& Engine::at(int area) {
  if (Area* a = find(area)) return *a;
  m_ip.raise(engineFailure(GenCode::NoTable, "Area de trabajo sin tabla abierta", {},
                           "area " + std::to_string(area)));
  throw FailureError(engineFailure(GenCode::NoTable, "Area de trabajo sin tabla abierta"));
}

int Engine::freeArea() const {
  for (std::size_t i = 0; i < m_areas.size(); ++i) {
    if (!m_areas[i]) return static_cast<int>(i) + 1;
  }
  return static_cast<int>(m_areas.size()) + 1;
}

void Engine::select(int area) { m_selected = area == 0 ? freeArea() : area; }

int Engine::areaOf(std::string_view alias) const {
  const std::string wanted = upperName(alias);
  for (const auto& a : m_areas) {
    if (a && a->alias == wanted) return a->number;
  }
  return 0;
}

std::string Engine::aliasOf(int area) const {
  const Area* a = find(area);
  return a ? a->alias : std::string();
}

bool Engine::isUsed(int area) const { return find(area) != nullptr; }

int Engine::layoutId(int area) const {
  const Area* a = find(area);
  return a ? a->layout : 0;
}

int Engine::openArea(int number, const std::string& file, const std::string& alias, bool shared,
                     bool readOnly) {
  const std::string path = resolveFile(file, ".dbf");
  const std::string name = alias.empty() ? defaultAlias(path) : upperName(alias);
  if (const int other = areaOf(name); other != 0 && other != number) {
    fail(GenCode::DupAlias, "Alias en uso: " + name, path, "USE");
    return 0;
  }
  std::unique_ptr<Dbf> dbf;
  OpenOptions options;
  options.shared = shared;
  options.readOnly = readOnly;
  if (!attempt([&] { dbf = std::make_unique<Dbf>(Dbf::open(path, options)); })) return 0;

  if (number > static_cast<int>(m_areas.size())) m_areas.resize(static_cast<std::size_t>(number));
  auto area = std::make_unique<Area>();
  Area& a = *area;
  a.number = number;
  a.alias = name;
  a.dbf = std::move(dbf);
  a.layout = m_nextLayout++;
  a.blank = a.dbf->blankRecord();
  a.record = a.blank;
  a.stored = a.blank;
  a.scratch = a.blank;
  m_areas[static_cast<std::size_t>(number) - 1] = std::move(area);
  m_selected = number;

  // The index file of the table's own name opens with it.
  const std::string structural = findCompanion(path, ".cdx");
  if (!structural.empty()) attachBag(a, structural);
  goTop(m_ip, number);
  return number;
}

int Engine::open(const std::string& file, const std::string& alias, bool shared, bool readOnly) {
  return openArea(freeArea(), file, alias, shared, readOnly);
}

void Engine::use(Interp&, bool newArea, const std::string& file, const std::string& alias,
                 bool shared, bool readOnly) {
  if (const PathPolicy* policy = pathPolicyOf(m_ip); policy != nullptr && !file.empty()) {
    const std::string path = resolveFile(file, ".dbf");
    if (!allowPath(m_ip, path, PathUse::Read, "DBUSEAREA")) return;
    // A table the policy keeps from changes opens shared and for reading only.
    if (!policy->refusal(path, PathUse::Write).empty()) {
      shared = true;
      readOnly = true;
    }
  }
  int number = newArea ? freeArea() : m_selected;
  if (number < 1) number = freeArea();
  if (!newArea && find(number)) close(m_ip, number);
  if (!file.empty()) openArea(number, file, alias, shared, readOnly);
}

void Engine::closeArea(Area& a) {
  const int number = a.number;
  std::unique_ptr<Area> owned = std::move(m_areas[static_cast<std::size_t>(number) - 1]);
  for (auto& other : m_areas) {
    if (!other) continue;
    std::erase_if(other->relations, [&](const Relation& r) { return r.child == number; });
  }
  // Whatever the handler answers below, the area ends free with its files closed.
  struct Shut {
    Area& a;
    ~Shut() {
      a.cursor.reset();
      for (auto& b : a.bags) b->close();
    }
  } shut{a};
  flush(a);
  if (a.batch) finishBatch(a);
  if (!attempt([&] { a.dbf->close(); }) && a.dbf->writtenCount() < a.dbf->recordCount()) {
    // Appends that could not be written are given up with their keys.
    dropUnwritten(a);
    attempt([&] { a.dbf->close(); });
  }
}

void Engine::close(Interp&, int area) {
  if (Area* a = find(area)) closeArea(*a);
}

void Engine::closeAll(Interp& ip) {
  for (std::size_t i = 0; i < m_areas.size(); ++i) close(ip, static_cast<int>(i) + 1);
  m_selected = 1;
}

Dbf& Engine::table(int area) { return *at(area).dbf; }

// --- fields ----------------------------------------------------------------------------------

int Engine::fieldIndex(int area, std::string_view upperName) const {
  const Area* a = find(area);
  if (!a) return -1;
  const auto& fields = a->dbf->fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == upperName) return static_cast<int>(i);
  }
  return -1;
}

std::vector<FieldInfo> Engine::fields(int area) const {
  std::vector<FieldInfo> out;
  if (const Area* a = find(area)) {
    for (const Field& f : a->dbf->fields()) out.push_back({f.name, f.type, f.length, f.decimals});
  }
  return out;
}

int Engine::fieldCount(int area) const {
  const Area* a = find(area);
  return a != nullptr ? static_cast<int>(a->dbf->fields().size()) : 0;
}

Value Engine::getField(Interp& ip, int area, int field) {
  Area& a = *m_areas[static_cast<std::size_t>(area) - 1];
  const Dbf& d = *a.dbf;
  const char* r = a.fieldSource();
  const Field& f = d.fields()[static_cast<std::size_t>(field)];
  switch (f.type) {
    case 'C': return Value::temp(ip.arena().store(d.text(r, field)));
    case 'N':
    case 'F': {
      const NumberValue n = d.number(r, field);
      if (n.state == NumberState::Overflow || n.state == NumberState::Invalid) {
        // Read as zero, the value would change every figure it enters without a word.
        const std::uint32_t recno = a.evalRecord == nullptr ? a.recno : a.evalRecno;
        const Value v = ip.raise(unreadableNumberFailure(d, recno, field, r));
        return Value::number(v.isNumber() ? v.num() : 0.0, f.decimals, displayWidth(f));
      }
      return Value::number(n.value, f.decimals, displayWidth(f));
    }
    case 'I': return Value::number(d.number(r, field).value, 0, 10);
    case 'Y': return Value::number(d.number(r, field).value, 4, 15);
    case 'B': return Value::number(d.number(r, field).value, f.decimals, 10);
    case 'D': return Value::date(d.date(r, field));
    case 'L': return Value::logical(d.logical(r, field));
    case 'M': {
      std::string text;
      try {
        text = d.memo(r, field);
      } catch (const FailureError& e) {
        return ip.raise(e.failure());
      }
      return Value::temp(ip.arena().store(text));
    }
    default: return Value::temp(ip.arena().store(d.text(r, field)));
  }
}

bool Engine::lockForChange(Area& a) {
  if (a.dirty || a.dbf->holdsRecordLock(a.recno)) return true;
  for (;;) {
    if (a.dbf->lockRecord(a.recno)) {
      a.autoLocked = true;
      return true;
    }
    Failure f =
        engineFailure(GenCode::Lock, "Registro bloqueado por otro usuario", a.dbf->path(), "RLOCK");
    f.osCode = kOsLockViolation;
    f.canRetry = true;
    bool retry = false;
    m_ip.raise(std::move(f), &retry);
    if (!retry) return false;
  }
}

void Engine::putField(Interp&, int area, int field, const Value& v) {
  Area& a = at(area);
  if (a.eof) return;  // at end of file there is no record to change
  if (!mayChange(m_ip, a, "FIELDPUT")) return;
  Dbf& d = *a.dbf;
  const Field& f = d.fields()[static_cast<std::size_t>(field)];
  if (d.isReadOnly()) {
    fail(GenCode::ReadOnly, "Tabla abierta solo para lectura", d.path(), f.name);
    return;
  }
  char* r = a.record.data();
  bool ok = true;
  switch (f.type) {
    case 'N':
    case 'F':
    case 'I':
    case 'B':
    case 'Y': ok = v.isNumber(); break;
    case 'D': ok = v.isDate(); break;
    case 'L': ok = v.isLogical(); break;
    default: ok = v.isText(); break;
  }
  if (!ok) {
    fail(GenCode::DataType, "Tipo de dato incorrecto para el campo " + f.name, d.path(), f.name);
    return;
  }
  if (!lockForChange(a)) return;
  switch (f.type) {
    case 'N':
    case 'F':
    case 'I':
    case 'B':
    case 'Y':
      if (!d.setNumber(r, field, v.num())) {
        a.dirty = true;
        fail(GenCode::DataWidth, "El valor no cabe en el campo " + f.name, d.path(), f.name);
        return;
      }
      break;
    case 'D': d.setDate(r, field, v.julian()); break;
    case 'L': d.setLogical(r, field, v.logical()); break;
    case 'M':
    case 'G':
      if (!attempt([&] { d.setMemo(r, field, v.textView()); })) return;
      break;
    default: d.setText(r, field, v.textView()); break;
  }
  a.dirty = true;
}

namespace {

// The position of a field by name, letter case ignored (names are ASCII), without building the
// upper-case name; -1 when none.
int findField(const Dbf& d, std::string_view name) {
  const auto& fields = d.fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string& f = fields[i].name;
    if (f.size() != name.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < f.size() && same; ++k) {
      char c = name[k];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == f[k];
    }
    if (same) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

Value Engine::get(int area, std::string_view field) {
  Area& a = at(area);
  const int i = findField(*a.dbf, field);
  if (i < 0) {
    return m_ip.raise(
        engineFailure(GenCode::NoVar, "Campo inexistente: " + std::string(field), a.dbf->path()));
  }
  ArenaScope scope(m_ip.arena());
  return getField(m_ip, area, i).own();
}

void Engine::put(int area, std::string_view field, const Value& v) {
  Area& a = at(area);
  const int i = findField(*a.dbf, field);
  if (i < 0) {
    fail(GenCode::NoVar, "Campo inexistente: " + std::string(field), a.dbf->path());
    return;
  }
  putField(m_ip, area, i, v);
}

// Character and numeric fields are read straight from the record; the other types (and a field
// that does not exist, which is raised) go through get().
std::string Engine::text(int area, std::string_view field) {
  Area& a = at(area);
  const int i = findField(*a.dbf, field);
  if (i >= 0 && a.dbf->fields()[static_cast<std::size_t>(i)].type == 'C')
    return std::string(a.dbf->text(a.fieldSource(), i));
  const Value v = get(area, field);
  return v.isText() ? std::string(v.textView()) : std::string();
}

std::string Engine::ledgerText(int area, std::string_view field) {
  return exo::ledgerText(codePageMark(area), text(area, field));
}

std::uint8_t Engine::codePageMark(int area) const {
  const Area* a = find(area);
  return a != nullptr && a->dbf ? a->dbf->codePageMark() : 0;
}

double Engine::number(int area, std::string_view field) {
  Area& a = at(area);
  const int i = findField(*a.dbf, field);
  if (i >= 0) {
    const char type = a.dbf->fields()[static_cast<std::size_t>(i)].type;
    if (type == 'N' || type == 'F' || type == 'I' || type == 'Y' || type == 'B')
      return a.dbf->number(a.fieldSource(), i).value;
  }
  const Value v = get(area, field);
  return v.isNumber() ? v.num() : 0.0;
}

// --- records ---------------------------------------------------------------------------------

void Engine::load(Area& a, std::uint32_t recno) {
  a.dbf->read(recno, a.record.data());
  a.stored = a.record;
  a.recno = recno;
  a.eof = false;
}

void Engine::toEof(Area& a) {
  a.record = a.blank;
  a.stored = a.blank;
  a.recno = a.dbf->recordCount() + 1;
  a.eof = true;
}

bool Engine::visible(Area& a, const char* rec, std::uint32_t recno) {
  if (Dbf::isDeleted(rec)) return false;
  if (!a.filter) return true;
  const RecnoOf named(a, recno);
  return isTrue(a, *a.filter, rec);
}

void Engine::append(Interp&, int area) {
  Area& a = at(area);
  flush(a);
  if (!mayChange(m_ip, a, "DBAPPEND")) return;
  if (a.dbf->isReadOnly()) {
    fail(GenCode::ReadOnly, "Tabla abierta solo para lectura", a.dbf->path(), "APPEND");
    return;
  }
  // The record holds the keys of a blank record until its fields are written.
  std::memcpy(a.record.data(), a.blank.data(), a.blank.size());
  const std::uint32_t recno = appendRecord(a, a.record.data(), true);
  if (recno == 0) {
    a.record = a.stored;
    return;
  }
  a.stored = a.record;
  a.recno = recno;
  // A shared table's new record was locked as it was added; it is released once written.
  a.autoLocked = a.dbf->isShared();
  a.eof = a.bof = false;
  a.found = false;
  afterMove(a);
}

void Engine::appendBlank(int area) { append(m_ip, area); }

void Engine::deleteRecord(Interp&, int area) {
  Area& a = at(area);
  if (a.eof || Dbf::isDeleted(a.record.data())) return;
  if (!mayChange(m_ip, a, "DBDELETE")) return;
  if (!lockForChange(a)) return;
  Dbf::setDeleted(a.record.data(), true);
  a.dirty = true;
  flush(a);
}

void Engine::recall(Interp&, int area) {
  Area& a = at(area);
  if (a.eof || !Dbf::isDeleted(a.record.data())) return;
  if (!mayChange(m_ip, a, "DBRECALL")) return;
  if (!lockForChange(a)) return;
  Dbf::setDeleted(a.record.data(), false);
  a.dirty = true;
  flush(a);
}

void Engine::commit(Interp&, int area) {
  Area& a = at(area);
  flush(a);
  attempt([&] { a.dbf->commit(); });
}

bool Engine::lockRecord(Interp&, int area, std::int64_t recno) {
  Area& a = at(area);
  const auto r = static_cast<std::uint32_t>(recno == 0 ? a.recno : recno);
  if (r < 1 || r > a.dbf->recordCount()) return false;
  const bool ok = a.dbf->lockRecord(r);
  if (ok && r == a.recno) a.autoLocked = false;  // held until released
  return ok;
}

bool Engine::lockFile(Interp&, int area) {
  Area& a = at(area);
  flush(a);
  return a.dbf->lockFile();
}

void Engine::unlock(Interp&, int area) {
  Area& a = at(area);
  flush(a);
  a.autoLocked = false;
  // A batch's index pages reach their files before the table lock goes.
  if (a.batch) {
    try {
      finishBatch(a);
    } catch (...) {
      a.dbf->unlockAll();
      throw;
    }
  }
  a.dbf->unlockAll();
}

void Engine::zap(Interp&, int area) {
  Area& a = at(area);
  if (!mayChange(m_ip, a, "__DBZAP")) return;
  a.dirty = false;
  if (!attempt([&] { a.dbf->zap(); })) return;
  reindex(a);
  goTop(m_ip, area);
}

void Engine::pack(Interp&, int area) {
  Area& a = at(area);
  if (!mayChange(m_ip, a, "__DBPACK")) return;
  flush(a);
  if (!attempt([&] { a.dbf->pack(); })) return;
  reindex(a);
  goTop(m_ip, area);
}

// --- tables ----------------------------------------------------------------------------------

void Engine::createTable(const std::string& file, const std::vector<FieldDef>& fields) {
  const std::string path = resolveFile(file, ".dbf");
  attempt([&] {
    // An index file of the old table's name would describe records that no longer exist. It
    // goes first: when it cannot be erased the old table and its index stay as they were.
    const std::string oldIndex = findCompanion(path, ".cdx");
    if (!oldIndex.empty()) removeFile(oldIndex);
    Dbf table = Dbf::create(path, fields);
    table.close();
  });
}

void Engine::create(Interp&, const std::string& file, const std::vector<FieldInfo>& fields) {
  // The table replaces any file of its name and erases the index file of that name.
  if (pathPolicyOf(m_ip) != nullptr) {
    const std::string path = resolveFile(file, ".dbf");
    if (!allowPath(m_ip, path, PathUse::Write, "DBCREATE")) return;
    if (!allowPath(m_ip, replaceExtension(path, ".cdx"), PathUse::Write, "DBCREATE")) return;
  }
  std::vector<FieldDef> defs;
  for (const FieldInfo& f : fields) {
    defs.push_back({f.name, f.type, static_cast<std::uint16_t>(f.width),
                    static_cast<std::uint8_t>(f.decimals)});
  }
  createTable(file, defs);
}

}  // namespace exo::store

// In-memory tables behind the work-area interface.
#include "support/MemoryTables.h"

#include "expr/Interp.h"

namespace exo {

namespace {
// The blank value of a field, as an empty record holds it.
Value blankOf(const FieldInfo& f) {
  switch (f.type) {
    case 'N':
    case 'F':
      return Value::number(0, f.decimals, f.decimals > 0 ? f.width - f.decimals - 1 : f.width);
    case 'D': return Value::date(0);
    case 'L': return Value::logical(false);
    case 'M': return Value::text("");
    default: return Value::text(std::string(static_cast<std::size_t>(f.width), ' '));
  }
}
// A value as a field of that type and size holds it.
Value conform(const FieldInfo& f, const Value& v) {
  if (v.isText() && f.type == 'C') {
    std::string t(v.textView());
    t.resize(static_cast<std::size_t>(f.width), ' ');
    return Value::text(t);
  }
  if (v.isNumber() && (f.type == 'N' || f.type == 'F')) {
    return Value::number(v.num(), f.decimals, f.decimals > 0 ? f.width - f.decimals - 1 : f.width);
  }
  return v.owned();
}
}  // namespace

MemoryTables::Table* MemoryTables::table(int area) {
  if (area < 1 || area > static_cast<int>(tables_.size())) return nullptr;
  Table& t = tables_[static_cast<std::size_t>(area) - 1];
  return t.alias.empty() ? nullptr : &t;
}

const MemoryTables::Table* MemoryTables::table(int area) const {
  return const_cast<MemoryTables*>(this)->table(area);
}

int MemoryTables::open(const std::string& alias, std::vector<FieldInfo> fields) {
  std::size_t i = 0;
  while (i < tables_.size() && !tables_[i].alias.empty()) ++i;
  if (i == tables_.size()) tables_.emplace_back();
  Table& t = tables_[i];
  t = Table{};
  t.alias = upperName(alias);
  for (auto& f : fields) f.name = upperName(f.name);
  t.fields = std::move(fields);
  t.layout = nextLayout_++;
  selected_ = static_cast<int>(i) + 1;
  return selected_;
}

void MemoryTables::addRecord(int area, std::vector<Value> values) {
  Table* t = table(area);
  if (!t) return;
  values.resize(t->fields.size());
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = conform(t->fields[i], values[i]);
  t->rows.push_back(std::move(values));
  t->deleted.push_back(false);
  t->recno = static_cast<std::int64_t>(t->rows.size());
}

void MemoryTables::select(int area) {
  if (area == 0) {
    std::size_t i = 0;
    while (i < tables_.size() && !tables_[i].alias.empty()) ++i;
    area = static_cast<int>(i) + 1;
  }
  selected_ = area;
}

int MemoryTables::areaOf(std::string_view alias) const {
  const std::string a = upperName(alias);
  for (std::size_t i = 0; i < tables_.size(); ++i) {
    if (tables_[i].alias == a) return static_cast<int>(i) + 1;
  }
  return 0;
}

std::string MemoryTables::aliasOf(int area) const {
  const Table* t = table(area);
  return t ? t->alias : std::string();
}

int MemoryTables::layoutId(int area) const {
  const Table* t = table(area);
  return t ? t->layout : 0;
}

int MemoryTables::fieldIndex(int area, std::string_view upperName) const {
  const Table* t = table(area);
  if (!t) return -1;
  for (std::size_t i = 0; i < t->fields.size(); ++i) {
    if (t->fields[i].name == upperName) return static_cast<int>(i);
  }
  return -1;
}

Value MemoryTables::getField(Interp& ip, int area, int field) {
  Table* t = table(area);
  const FieldInfo& f = t->fields[static_cast<std::size_t>(field)];
  if (t->recno < 1 || t->recno > static_cast<std::int64_t>(t->rows.size())) return blankOf(f);
  const Value& v = t->rows[static_cast<std::size_t>(t->recno) - 1][static_cast<std::size_t>(field)];
  if (v.isText()) return Value::temp(ip.arena().store(v.textView()));
  return v;
}

void MemoryTables::putField(Interp&, int area, int field, const Value& v) {
  Table* t = table(area);
  if (t->recno < 1 || t->recno > static_cast<std::int64_t>(t->rows.size())) return;
  t->rows[static_cast<std::size_t>(t->recno) - 1][static_cast<std::size_t>(field)] =
      conform(t->fields[static_cast<std::size_t>(field)], v);
}

std::vector<FieldInfo> MemoryTables::fields(int area) const {
  const Table* t = table(area);
  return t ? t->fields : std::vector<FieldInfo>{};
}

std::int64_t MemoryTables::recNo(int area) const { return table(area)->recno; }
std::int64_t MemoryTables::recCount(int area) const {
  return static_cast<std::int64_t>(table(area)->rows.size());
}
bool MemoryTables::eof(int area) const {
  const Table* t = table(area);
  return t->recno > static_cast<std::int64_t>(t->rows.size());
}
bool MemoryTables::bof(int area) const { return table(area)->bof; }
bool MemoryTables::found(int area) const { return table(area)->found; }
bool MemoryTables::deleted(int area) const {
  const Table* t = table(area);
  return !eof(area) && t->deleted[static_cast<std::size_t>(t->recno) - 1];
}

void MemoryTables::settle(Table& t, std::int64_t direction) {
  const auto n = static_cast<std::int64_t>(t.rows.size());
  while (t.recno >= 1 && t.recno <= n && t.deleted[static_cast<std::size_t>(t.recno) - 1])
    t.recno += direction;
  if (t.recno < 1) {
    t.recno = 1;
    t.bof = true;
    settle(t, 1);
  }
  if (t.recno > n) t.recno = n + 1;
}

void MemoryTables::skip(Interp&, int area, std::int64_t n) {
  Table& t = *table(area);
  t.bof = false;
  const std::int64_t step = n < 0 ? -1 : 1;
  for (std::int64_t i = 0; i != n; i += step) {
    t.recno += step;
    settle(t, step);
    if (t.bof || t.recno > static_cast<std::int64_t>(t.rows.size())) break;
  }
}

void MemoryTables::goTop(Interp&, int area) {
  Table& t = *table(area);
  t.recno = 1;
  t.bof = false;
  settle(t, 1);
}

void MemoryTables::goBottom(Interp&, int area) {
  Table& t = *table(area);
  t.recno = static_cast<std::int64_t>(t.rows.size());
  t.bof = false;
  settle(t, -1);
}

void MemoryTables::goTo(Interp&, int area, std::int64_t recno) {
  Table& t = *table(area);
  const auto n = static_cast<std::int64_t>(t.rows.size());
  t.recno = recno >= 1 && recno <= n ? recno : n + 1;
  t.bof = false;
}

bool MemoryTables::seek(Interp& ip, int, const Value&, bool, bool) {
  unsupported(ip, "DBSEEK");
  return false;
}

void MemoryTables::append(Interp&, int area) {
  Table& t = *table(area);
  std::vector<Value> row;
  for (const FieldInfo& f : t.fields) row.push_back(blankOf(f));
  t.rows.push_back(std::move(row));
  t.deleted.push_back(false);
  t.recno = static_cast<std::int64_t>(t.rows.size());
}

void MemoryTables::deleteRecord(Interp&, int area) {
  Table& t = *table(area);
  if (!eof(area)) t.deleted[static_cast<std::size_t>(t.recno) - 1] = true;
}

void MemoryTables::recall(Interp&, int area) {
  Table& t = *table(area);
  if (!eof(area)) t.deleted[static_cast<std::size_t>(t.recno) - 1] = false;
}

void MemoryTables::zap(Interp&, int area) {
  Table& t = *table(area);
  t.rows.clear();
  t.deleted.clear();
  t.recno = 1;
}

void MemoryTables::pack(Interp&, int area) {
  Table& t = *table(area);
  std::vector<std::vector<Value>> kept;
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    if (!t.deleted[i]) kept.push_back(std::move(t.rows[i]));
  }
  t.rows = std::move(kept);
  t.deleted.assign(t.rows.size(), false);
  t.recno = 1;
}

void MemoryTables::unsupported(Interp& ip, const char* what) {
  Failure f;
  f.genCode = GenCode::Unsupported;
  f.subsystem = "MEMORY";
  f.subCode = 1;
  f.description = "Operation not supported on in-memory tables";
  f.operation = what;
  ip.raise(std::move(f));
}

void MemoryTables::create(Interp& ip, const std::string&, const std::vector<FieldInfo>&) {
  unsupported(ip, "DBCREATE");
}
void MemoryTables::use(Interp& ip, bool, const std::string&, const std::string&, bool, bool) {
  unsupported(ip, "DBUSEAREA");
}
void MemoryTables::close(Interp&, int area) {
  if (Table* t = table(area)) *t = Table{};
}
void MemoryTables::closeAll(Interp& ip) {
  for (std::size_t i = 0; i < tables_.size(); ++i) close(ip, static_cast<int>(i) + 1);
}
void MemoryTables::orderCreate(Interp& ip, int, const std::string&, const std::string&,
                               const std::string&, const std::string&) {
  unsupported(ip, "ORDCREATE");
}
void MemoryTables::orderListAdd(Interp& ip, int, const std::string&) {
  unsupported(ip, "ORDLISTADD");
}
std::string MemoryTables::orderSetFocus(Interp&, int, const Value&) { return ""; }
Value MemoryTables::orderScope(Interp& ip, int, int, const Value&) {
  unsupported(ip, "ORDSCOPE");
  return Value();
}
void MemoryTables::setFilter(Interp& ip, int, const std::string&) {
  unsupported(ip, "DBSETFILTER");
}
void MemoryTables::setRelation(Interp& ip, int, const std::string&, const std::string&) {
  unsupported(ip, "DBSETRELATION");
}

}  // namespace exo

// Orders of the work areas: index files attached and built, the controlling order with its
// scopes, filters and relations.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "expr/Memvars.h"
#include "expr/PathPolicy.h"
#include "expr/Text.h"
#include "store/EngineImpl.h"
#include "store/File.h"
#include "store/StoreFailure.h"

namespace exo::store {

namespace {

// Tables of at least this many records have their keys taken by two threads.
constexpr std::uint32_t kTwoThreadKeys = 100000;

char typeLetter(const Value& v) {
  if (v.isText()) return 'C';
  if (v.isNumber()) return 'N';
  if (v.isDate()) return 'D';
  if (v.isLogical()) return 'L';
  return 'U';
}

}  // namespace

KeyPlan planKey(const Dbf& table, std::string_view expression) {
  KeyPlan plan;
  std::size_t start = 0;
  while (start <= expression.size()) {
    std::size_t end = expression.find('+', start);
    if (end == std::string_view::npos) end = expression.size();
    const std::string_view name = trimWhite(expression.substr(start, end - start));
    const auto field = name.empty() ? std::nullopt : table.fieldIndex(name);
    if (!field || table.fields()[std::size_t(*field)].type != 'C') return {};
    for (char c : name) {
      if (!isNameChar(c)) return {};
    }
    const Field& f = table.fields()[std::size_t(*field)];
    // Fields that follow each other in the record are copied as one piece.
    if (!plan.pieces.empty() && plan.pieces.back().offset + plan.pieces.back().length == f.offset) {
      plan.pieces.back().length = static_cast<std::uint16_t>(plan.pieces.back().length + f.length);
    } else {
      plan.pieces.push_back({f.offset, f.length});
    }
    plan.length += f.length;
    start = end + 1;
  }
  if (plan.length == 0 || plan.length > cdx::kMaxKeyLength) return {};
  return plan;
}

// --- expressions on records --------------------------------------------------------------------

bool Engine::isTrue(Area& a, const Program& p, const char* rec) {
  bool result = false;
  evalOn(a, p, rec, [&](const Value& v) { result = v.isLogical() && v.logical(); });
  return result;
}

bool Engine::inOrder(Area& a, const Order& o, const char* rec) {
  if (o.onlyActive) return !Dbf::isDeleted(rec);
  return !o.condition || isTrue(a, *o.condition, rec);
}

std::string Engine::keyOf(Area& a, const Order& o, const char* rec) {
  std::string key;
  if (!o.plan.pieces.empty() && o.plan.length == o.keyLength) {
    key.resize(o.keyLength);
    o.plan.build(rec, key.data());
    return key;
  }
  bool ok = true;
  evalOn(a, *o.key, rec, [&](const Value& v) { ok = keyBytesOf(v, o.keyType, key); });
  if (!ok) {
    fail(GenCode::DataType, "La clave no es del tipo de la etiqueta " + o.name, a.dbf->path(),
         "INDEX");
    key.clear();
  }
  key.resize(o.keyLength, o.kind == KeyKind::Binary ? '\0' : ' ');
  return key;
}

ProgramPtr Engine::compileFor(Area&, const std::string& text) { return m_ip.compile(text); }

// --- index files -------------------------------------------------------------------------------

std::string Engine::bagPath(const Area& a, const std::string& bag) const {
  const std::string& table = a.dbf->path();
  if (bag.empty()) return replaceExtension(table, ".cdx");
  std::string path = bag;
  if (path.find_first_of(kPathSeparators) == std::string::npos) {
    const std::size_t slash = table.find_last_of(kPathSeparators);
    if (slash != std::string::npos) path = table.substr(0, slash + 1) + path;
  }
  const std::size_t slash = path.find_last_of(kPathSeparators);
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path += ".cdx";
  const std::string found = findCompanion(path, path.substr(path.find_last_of('.')));
  return found.empty() ? path : found;
}

void Engine::attachBag(Area& a, const std::string& path) {
  for (const auto& b : a.bags) {
    if (b->path() == path) return;
  }
  CdxOptions options;
  options.shared = a.dbf->isShared();
  options.readOnly = a.dbf->isReadOnly();
  std::unique_ptr<Cdx> bag;
  if (!attempt([&] { bag = std::make_unique<Cdx>(Cdx::open(path, options)); })) return;
  a.bags.push_back(std::move(bag));
  const std::string keep = a.order() ? a.order()->name : std::string();
  syncOrders(a, keep);
  checkRecentKeys(a, a.bags.size() - 1);
}

void Engine::syncOrders(Area& a, const std::string& keep) {
  a.orders.clear();
  a.current = -1;
  a.cursor.reset();
  ++a.changes;
  const std::vector<char> blank = a.dbf->blankRecord();
  for (std::size_t b = 0; b < a.bags.size(); ++b) {
    Cdx& bag = *a.bags[b];
    for (std::size_t t = 0; t < bag.tags().size(); ++t) {
      const TagInfo& info = bag.tags()[t];
      Order o;
      o.bag = b;
      o.tag = t;
      o.name = info.name;
      o.keyLength = info.keyLength;
      o.descending = info.descending;
      o.onlyActive = isActiveCondition(info.forExpression);
      o.plan = planKey(*a.dbf, info.keyExpression);
      // The key's type decides how its bytes compare; a key this program cannot evaluate is
      // walked as text in the order stored, and never written.
      char type = 'C';
      try {
        QuietHandler quiet(m_ip);
        o.key = m_ip.compile(info.keyExpression);
        if (!info.forExpression.empty() && !o.onlyActive) {
          o.condition = m_ip.compile(info.forExpression);
        }
        evalOn(a, *o.key, blank.data(), [&](const Value& v) { type = typeLetter(v); });
      } catch (const FailureError&) {
        o.writable = false;
      }
      if (!o.key) o.writable = false;
      o.keyType = type == 'U' ? 'C' : type;
      o.kind = (o.keyType == 'N' || o.keyType == 'D') ? KeyKind::Binary : KeyKind::Character;
      bag.setKeyKind(t, o.kind);
      a.orders.push_back(std::move(o));
    }
  }
  for (std::size_t i = 0; i < a.orders.size(); ++i) {
    if (!keep.empty() && upperName(keep) == a.orders[i].name) a.current = static_cast<int>(i);
  }
}

bool Engine::buildTag(Area& a, std::size_t bagIndex, const std::string& tag, const std::string& key,
                      const std::string& forCondition, bool descending,
                      const TagDefinition* prefix) {
  flush(a);
  const ProgramPtr keyProgram = m_ip.compile(key);
  const bool onlyActive = isActiveCondition(forCondition);
  const ProgramPtr condition =
      forCondition.empty() || onlyActive ? nullptr : m_ip.compile(forCondition);
  if (!keyProgram) return false;

  // The key's type and length come from its value on a blank record.
  const std::vector<char> blank = a.dbf->blankRecord();
  char type = 'U';
  std::size_t length = 0;
  evalOn(a, *keyProgram, blank.data(), [&](const Value& v) {
    type = typeLetter(v);
    length = v.isText() ? v.textView().size() : v.isLogical() ? 1 : 8;
  });
  if (type == 'U' || length == 0 || length > cdx::kMaxKeyLength) {
    fail(GenCode::DataType, "Expresi\363n de clave inv\341lida: " + key, a.dbf->path(), "INDEX");
    return false;
  }
  TagDefinition def;
  def.name = upperName(tag);
  def.keyExpression = key;
  def.forExpression = forCondition;
  def.keyLength = static_cast<std::uint16_t>(length);
  def.kind = (type == 'N' || type == 'D') ? KeyKind::Binary : KeyKind::Character;
  def.descending = descending;

  KeyBatch keys(def.keyLength, def.kind);
  const std::uint32_t count = a.dbf->recordCount();
  keys.reserve(count);
  std::vector<char> rec(a.dbf->recordLength());
  std::string bytes;
  const KeyPlan plan = planKey(*a.dbf, key);
  const bool planned = !plan.pieces.empty() && plan.length == def.keyLength;
  if (planned) bytes.resize(plan.length);
  // Keys of fields are taken straight from the records as the table holds them; the others are
  // evaluated record by record below.
  const bool direct = planned && !condition;
  const char* view = nullptr;
  if (direct && count >= kTwoThreadKeys && std::thread::hardware_concurrency() > 1 &&
      !attempt([&] { view = a.dbf->viewOf(1, count); }))
    return false;
  if (view != nullptr) {
    // The whole table is in the file's view: each half of it read by a thread of its own.
    const std::size_t length = a.dbf->recordLength();
    const auto take = [&](std::uint32_t from, std::uint32_t to, KeyBatch& out) {
      for (std::uint32_t r = from; r <= to; ++r) {
        const char* record = view + std::size_t(r - 1) * length;
        if (onlyActive && Dbf::isDeleted(record)) continue;
        plan.build(record, out.addRoom(r));
      }
    };
    const std::uint32_t half = count / 2;
    KeyBatch second(def.keyLength, def.kind);
    second.reserve(count - half);
    std::thread other([&] { take(half + 1, count, second); });
    take(1, half, keys);
    other.join();
    keys.append(second);
  } else if (direct) {
    for (std::uint32_t r = 1; r <= count; ++r) {
      const char* record = nullptr;
      if (!attempt([&] { record = a.dbf->peek(r); })) return false;
      if (onlyActive && Dbf::isDeleted(record)) continue;
      plan.build(record, keys.addRoom(r));
    }
  }
  for (std::uint32_t r = 1; !direct && r <= count; ++r) {
    if (!attempt([&] { a.dbf->read(r, rec.data()); })) return false;
    if (onlyActive && Dbf::isDeleted(rec.data())) continue;
    const RecnoOf named(a, r);
    if (condition && !isTrue(a, *condition, rec.data())) continue;
    if (planned) {
      plan.build(rec.data(), bytes.data());
      keys.add(bytes, r);
      continue;
    }
    bool ok = true;
    evalOn(a, *keyProgram, rec.data(), [&](const Value& v) {
      ok = keyBytesOf(v, type, bytes);
      if (ok) keys.add(bytes, r);
    });
    if (!ok) {
      fail(GenCode::DataType, "La clave no es del tipo de la etiqueta " + def.name, a.dbf->path(),
           "INDEX");
      return false;
    }
  }
  Cdx& bag = *a.bags[bagIndex];
  const bool withPrefix = prefix != nullptr && direct && !descending;
  if (!attempt([&] {
        if (withPrefix) {
          bag.buildTagWithPrefix(def, keys, *prefix);
        } else {
          bag.buildTag(def, keys);
        }
      }))
    return false;
  syncOrders(a, withPrefix ? prefix->name : def.name);
  return withPrefix;
}

void Engine::reindex(Area& a) {
  struct Definition {
    std::size_t bag;
    std::string name, key, condition;
    bool descending;
  };
  std::vector<Definition> definitions;
  for (std::size_t b = 0; b < a.bags.size(); ++b) {
    for (const TagInfo& t : a.bags[b]->tags()) {
      definitions.push_back({b, t.name, t.keyExpression, t.forExpression, t.descending});
    }
  }
  const std::string keep = a.order() ? a.order()->name : std::string();
  for (const Definition& d : definitions)
    buildTag(a, d.bag, d.name, d.key, d.condition, d.descending);
  syncOrders(a, keep);
}

std::size_t Engine::bagFor(Area& a, const std::string& bagFile) {
  const std::string path = bagPath(a, bagFile);
  std::size_t bag = a.bags.size();
  for (std::size_t b = 0; b < a.bags.size(); ++b) {
    if (a.bags[b]->path() == path) bag = b;
  }
  if (bag == a.bags.size()) {
    std::unique_ptr<Cdx> file;
    const bool exists = !findCompanion(path, path.substr(path.find_last_of('.'))).empty();
    CdxOptions options;
    options.shared = a.dbf->isShared();
    options.readOnly = a.dbf->isReadOnly();
    if (!attempt([&] {
          file =
              std::make_unique<Cdx>(exists ? Cdx::open(path, options) : Cdx::create(path, options));
        })) {
      return a.bags.size();
    }
    a.bags.push_back(std::move(file));
  }
  return bag;
}

void Engine::buildIndex(int area, const std::string& bagFile, const std::string& tag,
                        const std::string& key, const std::string& forCondition, bool descending) {
  Area& a = at(area);
  flush(a);
  const std::size_t bag = bagFor(a, bagFile);
  if (bag == a.bags.size()) return;
  std::string name = tag;
  if (name.empty()) {
    const std::string path = bagPath(a, bagFile);
    const std::size_t slash = path.find_last_of(kPathSeparators) + 1;
    name = path.substr(slash, std::min<std::size_t>(10, path.find_last_of('.') - slash));
  }
  buildTag(a, bag, name, key, forCondition, descending);
  goTop(m_ip, area);
}

void Engine::buildIndexWithPrefix(int area, const std::string& bagFile, const std::string& tag,
                                  const std::string& key, const std::string& prefixTag,
                                  const std::string& prefixKey, const std::string& forCondition) {
  Area& a = at(area);
  flush(a);
  // The second key is the start of the first when each of its bytes comes from the same place
  // of the record as the first key's byte in that position.
  const KeyPlan whole = planKey(*a.dbf, key), start = planKey(*a.dbf, prefixKey);
  const auto bytes = [](const KeyPlan& plan) {
    std::vector<std::uint32_t> at;
    for (const KeyPlan::Piece& p : plan.pieces)
      for (std::uint32_t i = 0; i < p.length; ++i) at.push_back(p.offset + i);
    return at;
  };
  const std::vector<std::uint32_t> wholeBytes = bytes(whole), startBytes = bytes(start);
  const bool isStart = !startBytes.empty() && startBytes.size() <= wholeBytes.size() &&
                       std::equal(startBytes.begin(), startBytes.end(), wholeBytes.begin()) &&
                       !tag.empty() && !prefixTag.empty() &&
                       (forCondition.empty() || isActiveCondition(forCondition));
  if (!isStart) {
    buildIndex(area, bagFile, tag, key, forCondition);
    buildIndex(area, bagFile, prefixTag, prefixKey, forCondition);
    return;
  }
  const std::size_t bag = bagFor(a, bagFile);
  if (bag == a.bags.size()) return;
  TagDefinition prefix;
  prefix.name = upperName(prefixTag);
  prefix.keyExpression = prefixKey;
  prefix.forExpression = forCondition;
  prefix.keyLength = static_cast<std::uint16_t>(start.length);
  prefix.kind = KeyKind::Character;
  // Where the first tag's keys had to be evaluated (or its build failed), the second is built
  // on its own, as two builds do.
  if (!buildTag(a, bag, tag, key, forCondition, false, &prefix))
    buildTag(a, bag, prefixTag, prefixKey, forCondition, false);
  goTop(m_ip, area);
}

void Engine::orderCreate(Interp&, int area, const std::string& bag, const std::string& tag,
                         const std::string& key, const std::string& forCondition) {
  if (pathPolicyOf(m_ip) != nullptr &&
      !allowPath(m_ip, bagPath(at(area), bag), PathUse::Write, "ORDCREATE"))
    return;
  buildIndex(area, bag, tag, key, forCondition, false);
}

void Engine::addIndex(int area, const std::string& bagFile) {
  Area& a = at(area);
  attachBag(a, bagPath(a, bagFile));
}

void Engine::orderListAdd(Interp&, int area, const std::string& bag) {
  if (pathPolicyOf(m_ip) != nullptr &&
      !allowPath(m_ip, bagPath(at(area), bag), PathUse::Read, "ORDLISTADD"))
    return;
  addIndex(area, bag);
}

std::string Engine::orderSetFocus(Interp&, int area, const Value& order) {
  Area& a = at(area);
  const std::string previous = a.order() ? a.order()->name : std::string();
  int wanted = a.current;
  if (order.isNumber()) {
    const int n = static_cast<int>(order.num());
    wanted = n >= 1 && n <= static_cast<int>(a.orders.size()) ? n - 1 : -1;
  } else if (order.isText() && !order.textView().empty()) {
    const std::string name = upperName(order.textView());
    auto it = std::find_if(a.orders.begin(), a.orders.end(),
                           [&](const Order& o) { return o.name == name; });
    if (it == a.orders.end()) {
      fail(GenCode::NoOrder, "No existe la etiqueta " + name, a.dbf->path(), "ORDSETFOCUS");
      return previous;
    }
    wanted = static_cast<int>(it - a.orders.begin());
  }
  if (wanted != a.current) {
    flush(a);
    a.current = wanted;
    a.cursor.reset();
    ++a.changes;
  }
  return previous;
}

void Engine::setOrder(int area, const std::string& tag) {
  orderSetFocus(m_ip, area, tag.empty() ? Value::number(0) : Value::text(tag));
  goTop(m_ip, area);
}

std::vector<OrderInfo> Engine::orders(int area) const {
  std::vector<OrderInfo> out;
  if (const Area* a = find(area)) {
    for (const Order& o : a->orders) {
      const TagInfo& t = a->bags[o.bag]->tags()[o.tag];
      out.push_back({t.name, t.keyExpression, t.forExpression, a->bags[o.bag]->path()});
    }
  }
  return out;
}

std::vector<std::uint32_t> Engine::recordsInKeyOrder(int area) {
  Area& a = at(area);
  flush(a);
  if (a.dbf->isShared()) a.dbf->refresh();
  const Order* o = a.order();
  const bool keyed = o != nullptr && o->key != nullptr && o->writable;
  struct Entry {
    std::string key;
    std::uint32_t recno;
  };
  std::vector<Entry> entries;
  std::vector<char> rec(a.dbf->recordLength());
  const std::uint32_t count = a.dbf->recordCount();
  for (std::uint32_t r = 1; r <= count; ++r) {
    if (!attempt([&] { a.dbf->read(r, rec.data()); })) break;
    if (!visible(a, rec.data(), r)) continue;
    if (!keyed) {
      entries.push_back({{}, r});
      continue;
    }
    const RecnoOf named(a, r);
    if (!inOrder(a, *o, rec.data())) continue;
    entries.push_back({keyOf(a, *o, rec.data()), r});
  }
  if (keyed) {
    const cdx::KeyOrder order = keyOrderOf(o->kind);
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& x, const Entry& y) {
      return order.compare(x.key.data(), y.key.data(), x.key.size()) < 0;
    });
    // A descending walk meets the keys, and the records of equal keys, the other way round.
    if (o->descending) std::reverse(entries.begin(), entries.end());
  }
  std::vector<std::uint32_t> out;
  out.reserve(entries.size());
  for (const Entry& e : entries) out.push_back(e.recno);
  return out;
}

std::string Engine::orderKey(int area) const {
  const Area* a = find(area);
  if (!a || !a->order()) return {};
  const Order& o = *a->order();
  return a->bags[o.bag]->tags()[o.tag].keyExpression;
}

Value Engine::orderScope(Interp&, int area, int which, const Value& key) {
  Area& a = at(area);
  Order* o = a.order();
  if (!o) return Value();
  auto& bound = which == 0 ? o->scopeTop : o->scopeBottom;
  Value& value = which == 0 ? o->scopeTopValue : o->scopeBottomValue;
  Value previous = value;
  if (key.isNil()) {
    bound.reset();
    value = Value();
  } else {
    std::string bytes;
    if (!keyBytesOf(key, o->keyType, bytes)) {
      fail(GenCode::DataType, "El l\355mite no es del tipo de la clave", a.dbf->path(), "ORDSCOPE");
      return previous;
    }
    bound = std::move(bytes);
    value = key.owned();
  }
  ++a.changes;
  return previous;
}

void Engine::setFilter(Interp&, int area, const std::string& condition) {
  Area& a = at(area);
  flush(a);
  a.filterText = condition;
  a.filter = condition.empty() ? nullptr : m_ip.compile(condition);
  if (!a.filter) a.filterText.clear();
  ++a.changes;
}

std::string Engine::filter(int area) const {
  const Area* a = find(area);
  return a ? a->filterText : std::string();
}

void Engine::setRelation(Interp&, int area, const std::string& childAlias, const std::string& key) {
  Area& a = at(area);
  if (childAlias.empty()) {
    a.relations.clear();
    return;
  }
  const int child = areaOf(childAlias);
  if (child == 0 || child == area) {
    fail(GenCode::NoAlias, "Alias inexistente: " + childAlias, a.dbf->path(), "SET RELATION");
    return;
  }
  ProgramPtr program = m_ip.compile(key);
  if (!program) return;
  a.relations.push_back({child, upperName(childAlias), key, std::move(program)});
  afterMove(a);
}

void Engine::afterMove(Area& a) {
  static thread_local int depth = 0;
  if (a.relations.empty() || depth > 16) return;
  ++depth;
  struct Leave {
    ~Leave() { --depth; }
  } leave;
  for (const Relation& r : a.relations) {
    Area* child = find(r.child);
    if (!child) continue;
    Value key;
    evalOn(a, *r.key, a.record.data(), [&](const Value& v) { key = v.owned(); });
    flush(*child);
    if (a.eof) {
      toEof(*child);
      child->found = false;
    } else if (child->order()) {
      std::string bytes;
      if (keyBytesOf(key, child->order()->keyType, bytes)) {
        seekOrdered(*child, bytes, false, false);
      } else {
        toEof(*child);
        child->found = false;
      }
    } else if (key.isNumber()) {
      goTo(m_ip, r.child, static_cast<std::int64_t>(key.num()));
    }
  }
}

}  // namespace exo::store

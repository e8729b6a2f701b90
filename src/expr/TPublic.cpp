// The named-value container and its registration as a class of the language.
#include "expr/TPublic.h"

#include "expr/Interp.h"
#include "expr/Library.h"

namespace exo {
namespace {

std::string key(std::string_view name) { return upperName(trimBlanks(name)); }

std::string textArg(std::span<Value> args, std::size_t i) {
  return i < args.size() && args[i].isText() ? std::string(args[i].textView()) : std::string();
}

}  // namespace

Value messageNotFound(Interp& ip, std::string_view className, std::string_view name, bool assign) {
  Failure f;
  f.genCode = GenCode::NoMethod;
  f.subsystem = "BASE";
  f.subCode = assign ? 1005 : 1004;
  f.severity = Severity::Error;
  f.description = "Mensaje no encontrado";
  f.operation = std::string(className) + ":" + std::string(name);
  return ip.raise(std::move(f));
}

int TPublic::getPos(std::string_view name) {
  lastName_ = std::string(name);
  const std::string k = key(name);
  pos_ = 0;
  for (std::size_t i = 0; i < vars_.size(); ++i) {
    if (vars_[i].first == k) {
      pos_ = static_cast<int>(i) + 1;
      break;
    }
  }
  return pos_;
}

void TPublic::add(std::string_view name, const Value& value) {
  const std::string k = key(name);
  if (k.empty()) return;
  if (getPos(name) == 0) {
    vars_.emplace_back(k, value.owned());
    pos_ = static_cast<int>(vars_.size());
  } else {
    vars_[static_cast<std::size_t>(pos_) - 1].second = value.owned();
  }
  lastName_ = k;
}

void TPublic::del(std::string_view name) {
  if (getPos(name) > 0) vars_.erase(vars_.begin() + (pos_ - 1));
  pos_ = 0;
  lastName_.clear();
}

const Value& TPublic::get(std::string_view name) {
  if (!(pos_ > 0 && key(lastName_) == key(name) && static_cast<std::size_t>(pos_) <= vars_.size()))
    getPos(name);
  return vars_[static_cast<std::size_t>(pos_) - 1].second;
}

void TPublic::set(std::string_view name, const Value& value) {
  get(name);
  vars_[static_cast<std::size_t>(pos_) - 1].second = value.owned();
}

void TPublic::release() {
  vars_.clear();
  lastName_.clear();
  pos_ = 0;
}

Value TPublic::fail(Interp& ip, std::string_view name, bool assign) {
  lastName_.clear();
  pos_ = 0;
  return messageNotFound(ip, "TPublic", name, assign);
}

Value TPublic::saveArray() const {
  Value arr = Value::newArray(vars_.size());
  auto& items = arr.arrayData().items;
  for (std::size_t i = 0; i < vars_.size(); ++i) {
    Value pair = Value::newArray(2);
    pair.arrayData().items[0] = Value::text(vars_[i].first);
    pair.arrayData().items[1] = vars_[i].second;
    items[i] = pair;
  }
  return arr;
}

void TPublic::restoreArray(const Value& arr) {
  vars_.clear();
  if (!arr.isArray()) return;
  for (const Value& pair : arr.arrayData().items) {
    if (!pair.isArray() || pair.arrayData().items.size() < 2) continue;
    const auto& p = pair.arrayData().items;
    if (p[0].isText()) vars_.emplace_back(key(p[0].textView()), p[1].owned());
  }
  pos_ = 0;
  lastName_.clear();
}

Value TPublic::methodCall(Interp& ip, const std::string& name, std::span<Value> args,
                          bool& handled) {
  handled = true;
  const Value self = Value::object(Ref<Object>(this));
  if (name == "NEW") {
    automatic_ = args.empty() || !args[0].isLogical() || args[0].logical();
    release();
    return self;
  }
  if (name == "ADD") {
    if (!textArg(args, 0).empty()) add(textArg(args, 0), args.size() > 1 ? args[1] : Value());
    return self;
  }
  if (name == "DEL") return del(textArg(args, 0)), self;
  if (name == "GET" || name == "SET") {
    const std::string n = textArg(args, 0);
    if (getPos(n) == 0) return fail(ip, key(n), name == "SET");
    if (name == "GET") return get(n);
    set(n, args.size() > 1 ? args[1] : Value());
    return self;
  }
  if (name == "GETPOS") return Value::number(getPos(textArg(args, 0)));
  if (name == "ISDEF") return Value::logical(getPos(textArg(args, 0)) > 0);
  if (name == "RELEASE" || name == "END") return release(), name == "END" ? Value() : self;
  if (name == "NCOUNT") return Value::number(static_cast<double>(vars_.size()));
  if (name == "SAVE") return saveArray();
  if (name == "RESTORE") return restoreArray(args.empty() ? Value() : args[0]), Value();
  if (name == "LAUTOMATIC") return Value::logical(automatic_);
  if (name == "AVARS") return saveArray();
  if (name == "NPOS") return Value::number(pos_);
  if (name == "CNAME") return Value::text(lastName_);
  handled = false;
  return Value();
}

Value TPublic::send(Interp& ip, const std::string& name, std::span<Value> args, bool isCall) {
  bool handled = false;
  Value r = methodCall(ip, name, args, handled);
  if (handled) return r;
  (void)isCall;
  if (getPos(name) == 0) return fail(ip, name, false);
  return get(name);
}

Value TPublic::assign(Interp& ip, const std::string& name, const Value& value) {
  if (name == "LAUTOMATIC") {
    automatic_ = value.isLogical() && value.logical();
    return value;
  }
  if (getPos(name) == 0) {
    if (!automatic_) return fail(ip, name, true);
    add(name, value);
    return value;
  }
  set(name, value);
  return value;
}

namespace lib {
namespace {
Value tpublicClass(Args& a) {
  Ref<Object> obj(new TPublic(a.logical(0, true)));
  return Value::object(obj);
}
}  // namespace

void registerObjects(Functions& f) { f.add("TPUBLIC", tpublicClass, 0, 1); }
}  // namespace lib

}  // namespace exo

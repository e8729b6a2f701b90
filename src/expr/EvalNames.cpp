// Evaluation of names: fields, memory variables, block parameters.
#include <cmath>

#include "expr/Ast.h"
#include "expr/Interp.h"
#include "expr/Object.h"
#include "expr/WorkAreas.h"

namespace exo {
namespace {

Failure noVariable(std::string_view name) {
  Failure f;
  f.genCode = GenCode::NoVar;
  f.subsystem = "BASE";
  f.subCode = 1003;
  f.description = "La variable no existe";
  f.operation = std::string(name);
  f.canRetry = true;
  return f;
}

Failure noAlias(std::string_view alias) {
  Failure f;
  f.genCode = GenCode::NoAlias;
  f.subsystem = "BASE";
  f.subCode = 1002;
  f.description = "El alias no existe";
  f.operation = std::string(alias);
  f.canRetry = true;
  return f;
}

Value notAssignable(Interp& ip, std::string_view what) {
  Failure f;
  f.genCode = GenCode::Syntax;
  f.subsystem = "BASE";
  f.subCode = 1449;
  f.description = "Error de sintaxis";
  f.operation = std::string(what);
  return ip.raise(std::move(f));
}

}  // namespace

Value Node::assign(Interp& ip, Value) const { return notAssignable(ip, ":="); }

Value Node::assignFrom(Interp& ip, const Node& value) const { return assign(ip, value.eval(ip)); }

Value Node::update(Interp& ip, const std::function<Value(const Value&)>& fn) const {
  return assign(ip, fn(eval(ip)));
}

// --- names ---------------------------------------------------------------------------------

int NameNode::fieldOfSelected(Interp& ip, int& area) const {
  WorkAreas* wa = ip.workAreas();
  if (!wa) return -1;
  area = wa->selected();
  if (area <= 0) return -1;
  const int layout = wa->layoutId(area);
  if (layout == 0) return -1;
  if (layout != cachedLayout_) {
    cachedLayout_ = layout;
    cachedField_ = wa->fieldIndex(area, name_);
  }
  return cachedField_;
}

Value NameNode::eval(Interp& ip) const {
  for (;;) {
    int area = 0;
    const int field = fieldOfSelected(ip, area);
    if (field >= 0) return ip.workAreas()->getField(ip, area, field);
    if (slotOwner_ != &ip) {
      slot_ = &ip.memvars().slot(name_);
      slotOwner_ = &ip;
    }
    if (slot_->defined()) return slot_->value();
    bool retry = false;
    Value v = ip.raise(noVariable(name_), &retry);
    if (!retry) return v;
  }
}

Value NameNode::assign(Interp& ip, Value v) const {
  int area = 0;
  const int field = fieldOfSelected(ip, area);
  if (field >= 0) {
    ip.workAreas()->putField(ip, area, field, v);
    return v;
  }
  // The variable's slot is looked up once (slots are never removed), as for reading it.
  if (slotOwner_ != &ip) {
    slot_ = &ip.memvars().slot(name_);
    slotOwner_ = &ip;
  }
  if (slot_->defined()) {
    Value kept = v;
    kept.own();
    slot_->value() = std::move(kept);
    return v;
  }
  ip.memvars().assign(name_, v);
  return v;
}

Value MemvarNode::eval(Interp& ip) const {
  for (;;) {
    if (Memvars::Slot* s = ip.memvars().find(name_)) return s->value();
    bool retry = false;
    Value v = ip.raise(noVariable(name_), &retry);
    if (!retry) return v;
  }
}

Value MemvarNode::assign(Interp& ip, Value v) const {
  ip.memvars().assign(name_, v);
  return v;
}

namespace {

// The work area a number names: (n)->FIELD.
std::optional<int> areaNumber(Interp& ip, const Value& a, Value* reply) {
  const auto n = checkedInteger(ip, a.num(), 0, kMaxAreaNumber, "->", std::span(&a, 1), reply);
  if (!n) return std::nullopt;
  return static_cast<int>(*n);
}

}  // namespace

int FieldNode::locate(Interp& ip, int& area, Value* reply) const {
  for (;;) {
    WorkAreas* wa = ip.workAreas();
    std::string alias = alias_;
    if (aliasExpr_) {
      Value a = aliasExpr_->eval(ip);
      if (a.isText()) alias = upperName(a.textView());
      if (a.isNumber()) {
        alias.clear();
        const auto n = areaNumber(ip, a, reply);
        if (!n) return -1;
        area = *n;
      }
    }
    if (wa) {
      if (!alias.empty()) area = wa->areaOf(alias);
      else if (!aliasExpr_) area = wa->selected();
    }
    const int layout = wa && area > 0 ? wa->layoutId(area) : 0;
    if (layout == 0) {
      bool retry = false;
      Value v = ip.raise(noAlias(alias.empty() ? std::to_string(area) : alias), &retry);
      if (retry) continue;
      if (reply) *reply = std::move(v);
      return -1;
    }
    if (layout != cachedLayout_) {
      cachedLayout_ = layout;
      cachedField_ = wa->fieldIndex(area, field_);
    }
    if (cachedField_ >= 0) return cachedField_;
    bool retry = false;
    Value v = ip.raise(noVariable(alias.empty() ? field_ : alias + "->" + field_), &retry);
    if (!retry) {
      if (reply) *reply = std::move(v);
      return -1;
    }
  }
}

Value FieldNode::eval(Interp& ip) const {
  int area = 0;
  Value reply;
  const int field = locate(ip, area, &reply);
  return field >= 0 ? ip.workAreas()->getField(ip, area, field) : reply;
}

Value FieldNode::assign(Interp& ip, Value v) const {
  int area = 0;
  const int field = locate(ip, area, nullptr);
  if (field >= 0) ip.workAreas()->putField(ip, area, field, v);
  return v;
}

Value AliasExprNode::eval(Interp& ip) const {
  WorkAreas* wa = ip.workAreas();
  std::string alias = alias_;
  int area = 0;
  if (aliasExpr_) {
    Value a = aliasExpr_->eval(ip);
    if (a.isText()) alias = upperName(a.textView());
    if (a.isNumber()) {
      Value reply;
      const auto n = areaNumber(ip, a, &reply);
      if (!n) return reply;
      area = *n;
    }
  }
  if (wa && !alias.empty()) area = wa->areaOf(alias);
  if (!wa || area <= 0 || wa->layoutId(area) == 0) return ip.raise(noAlias(alias));
  const int previous = wa->selected();
  wa->select(area);
  struct Restore {
    WorkAreas* wa;
    int area;
    ~Restore() { wa->select(area); }
  } restore{wa, previous};
  return expr_->eval(ip);
}

Value& LocalNode::ref(Interp& ip) const {
  if (captured_) return ip.currentBlock->captured()[static_cast<std::size_t>(index_)];
  return ip.stackBase()[ip.frameBase + static_cast<std::size_t>(index_)];
}

Value LocalNode::eval(Interp& ip) const { return ref(ip); }

Value LocalNode::assign(Interp& ip, Value v) const {
  v.own();
  ref(ip) = v;
  return v;
}

}  // namespace exo

// Evaluation of calls, operators, arrays, blocks, messages and macros.
#include <cmath>

#include "expr/Ast.h"
#include "expr/Interp.h"
#include "expr/Numbers.h"
#include "expr/Object.h"

namespace exo {
namespace {

Failure undefinedFunction(std::string_view name) {
  Failure f;
  f.genCode = GenCode::NoFunc;
  f.subsystem = "BASE";
  f.subCode = 1001;
  f.description = "Funci\363n no definida";
  f.operation = std::string(name);
  return f;
}

Failure boundError(std::string_view op, const Value& a, const Value& i) {
  const Value pair[2] = {a, i};
  Failure f = argumentError(op, 1132, pair);
  f.genCode = GenCode::Bound;
  f.description = "Fuera de rango: acceso a un arreglo";
  return f;
}

// Calls a block: parameters on the value stack, captures from the block.
Value runBlock(Interp& ip, BlockData& block, std::span<const Value> args) {
  DepthGuard depth(ip);
  StackScope stack(ip);
  const BlockCode& code = block.code();
  for (std::size_t i = 0; i < code.params.size(); ++i)
    ip.push(i < args.size() ? Value(args[i]) : Value());
  const std::size_t savedBase = ip.frameBase;
  BlockData* savedBlock = ip.currentBlock;
  ip.frameBase = stack.base();
  ip.currentBlock = &block;
  struct Restore {
    Interp& ip;
    std::size_t base;
    BlockData* block;
    ~Restore() {
      ip.frameBase = base;
      ip.currentBlock = block;
    }
  } restore{ip, savedBase, savedBlock};
  Value result;
  for (const auto& node : code.body) result = node->eval(ip);
  return result;
}

}  // namespace

Value callBlockInPlace(Interp& ip, const Value& block, std::span<const Value> args) {
  Ref<BlockData> keep(&block.blockData());
  return runBlock(ip, *keep, args);
}

Value CallNode::eval(Interp& ip) const {
  ip.countStep();
  if (!def_) def_ = ip.functions().find(name_);
  if (!def_) return ip.raise(undefinedFunction(name_));
  StackScope stack(ip);
  for (const auto& a : args_) ip.push(a ? a->eval(ip) : Value());
  const std::size_t n = args_.size();
  std::span<Value> values(ip.stackBase() + stack.base(), n);
  Args args(ip, def_->name, values);
  if (static_cast<int>(n) < def_->minArgs ||
      (def_->maxArgs >= 0 && static_cast<int>(n) > def_->maxArgs)) [[unlikely]] {
    Failure f = argumentError(def_->name, 1099, values);
    f.description = "Error de argumento: n\372mero de argumentos incorrecto";
    return ip.raise(std::move(f));
  }
  DepthGuard depth(ip);
  try {
    return def_->fn(args);
  } catch (ArgSubstitute& s) {
    return std::move(s.value);
  }
}

Value IifNode::eval(Interp& ip) const {
  using namespace std::literals;
  const Value c = cond_->eval(ip);
  if (isTrue(ip, c, "IIF"sv)) return then_ ? then_->eval(ip) : Value();
  return else_ ? else_->eval(ip) : Value();
}

Value ArrayNode::eval(Interp& ip) const {
  Value arr = Value::newArray(items_.size());
  auto& items = arr.arrayData().items;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i]) items[i] = items_[i]->eval(ip).own();
  }
  return arr;
}

Value BlockNode::eval(Interp& ip) const {
  std::vector<Value> captured;
  captured.reserve(code_->captures.size());
  for (const Capture& c : code_->captures) {
    Value v = c.fromLocal ? ip.stackBase()[ip.frameBase + static_cast<std::size_t>(c.index)]
                          : ip.currentBlock->captured()[static_cast<std::size_t>(c.index)];
    captured.push_back(v.own());
  }
  return Value::block(Ref<BlockData>(new BlockData(code_, std::move(captured))));
}

Value* IndexNode::element(Interp& ip, Value& holder) const {
  holder = array_->eval(ip);
  const Value index = index_->eval(ip);
  if (!holder.isArray() || !index.isNumber()) {
    ip.raise(boundError("array access", holder, index));
    return nullptr;
  }
  auto& items = holder.arrayData().items;
  const auto i = integerIn(index.num(), 1, static_cast<std::int64_t>(items.size()));
  if (!i) {
    ip.raise(boundError("array access", holder, index));
    return nullptr;
  }
  return &items[static_cast<std::size_t>(*i) - 1];
}

Value IndexNode::eval(Interp& ip) const {
  Value holder;
  Value* e = element(ip, holder);
  return e ? *e : Value();
}

Value IndexNode::assign(Interp& ip, Value v) const {
  Value holder;
  if (Value* e = element(ip, holder)) *e = v.owned();
  return v;
}

Value IndexNode::assignFrom(Interp& ip, const Node& value) const {
  Value holder;
  Value* e = element(ip, holder);
  const auto pos = e ? static_cast<std::size_t>(e - holder.arrayData().items.data()) : 0;
  Value v = value.eval(ip).owned();
  if (e) {
    auto& items = holder.arrayData().items;  // the value's evaluation may have resized the array
    if (pos < items.size()) items[pos] = v;
  }
  return v;
}

Value IndexNode::update(Interp& ip, const std::function<Value(const Value&)>& fn) const {
  Value holder;
  Value* e = element(ip, holder);
  if (!e) return Value();
  const auto pos = static_cast<std::size_t>(e - holder.arrayData().items.data());
  Value v = fn(*e).owned();
  auto& items = holder.arrayData().items;  // fn may have resized the array
  if (pos < items.size()) items[pos] = v;
  return v;
}

Value SendNode::eval(Interp& ip) const {
  ip.countStep();
  Value target = target_->eval(ip);
  StackScope stack(ip);
  for (const auto& a : args_) ip.push(a ? a->eval(ip) : Value());
  std::span<Value> values(ip.stackBase() + stack.base(), ip.sp - stack.base());
  if (target.isObject()) {
    DepthGuard depth(ip);
    Ref<Object> keep = target.objectPtr();
    return keep->send(ip, message_, values, isCall_);
  }
  if (target.isBlock() && message_ == "EVAL") return callBlockInPlace(ip, target, values);
  Failure f = argumentError(":" + message_, 1004, std::span<const Value>(&target, 1));
  f.genCode = GenCode::NoMethod;
  f.description = "Mensaje no encontrado";
  return ip.raise(std::move(f));
}

Value SendNode::assign(Interp& ip, Value v) const {
  Value target = target_->eval(ip);
  if (!target.isObject())
    return messageNotFound(ip, std::string(1, target.typeLetter()), message_, true);
  Ref<Object> keep = target.objectPtr();
  v.own();
  return keep->assign(ip, message_, v);
}

Value SendNode::assignFrom(Interp& ip, const Node& value) const {
  Value target = target_->eval(ip);
  Value v = value.eval(ip);
  if (!target.isObject())
    return messageNotFound(ip, std::string(1, target.typeLetter()), message_, true);
  Ref<Object> keep = target.objectPtr();
  v.own();
  return keep->assign(ip, message_, v);
}

Value SendNode::update(Interp& ip, const std::function<Value(const Value&)>& fn) const {
  Value target = target_->eval(ip);
  if (!target.isObject())
    return messageNotFound(ip, std::string(1, target.typeLetter()), message_, true);
  Ref<Object> keep = target.objectPtr();
  Value v = fn(keep->send(ip, message_, {}, false));
  v.own();
  return keep->assign(ip, message_, v);
}

Value UnaryNode::eval(Interp& ip) const { return unaryOp(ip, op_, operand_->eval(ip)); }

Value BinaryNode::eval(Interp& ip) const {
  const Value a = l_->eval(ip);
  const Value b = r_->eval(ip);
  if (a.isNumber() && b.isNumber()) {
    const double x = a.num(), y = b.num();
    switch (op_) {
      case Op::Eq:
      case Op::ExactEq: return Value::logical(x == y);
      case Op::Ne: return Value::logical(x != y);
      case Op::Lt: return Value::logical(x < y);
      case Op::Le: return Value::logical(x <= y);
      case Op::Gt: return Value::logical(x > y);
      case Op::Ge: return Value::logical(x >= y);
      default: break;
    }
  } else if (op_ == Op::Eq && a.isText() && b.isText()) {
    return Value::logical(compareText(a.textView(), b.textView(), false) == 0);
  }
  return binaryOp(ip, op_, a, b);
}

Value LogicalNode::eval(Interp& ip) const {
  using namespace std::literals;
  const std::string_view op = isAnd_ ? ".AND."sv : ".OR."sv;
  const bool a = isTrue(ip, l_->eval(ip), op);
  if (isAnd_ ? !a : a) return Value::logical(a);
  return Value::logical(isTrue(ip, r_->eval(ip), op));
}

Value AssignNode::eval(Interp& ip) const {
  if (op_ == Op::None) return target_->assignFrom(ip, *value_);
  const Value rhs = value_->eval(ip);
  return target_->update(ip, [&](const Value& old) { return binaryOp(ip, op_, old, rhs); });
}

Value IncDecNode::eval(Interp& ip) const {
  Value before;
  const Value one = Value::number(1);
  const Value after = target_->update(ip, [&](const Value& old) {
    before = old;
    if (old.isDate()) return Value::date(old.julian() + (increment_ ? 1 : -1));
    return binaryOp(ip, increment_ ? Op::Add : Op::Sub, old, one);
  });
  return prefix_ ? after : before;
}

Value ListNode::eval(Interp& ip) const {
  Value last;
  for (const auto& item : items_) last = item->eval(ip);
  return last;
}

const Program* MacroNode::compiled(Interp& ip) const {
  const Value text = text_->eval(ip);
  if (!text.isText()) {
    ip.raise(argumentError("&", 1065, std::span<const Value>(&text, 1)));
    return nullptr;
  }
  if (!last_ || lastText_ != text.textView()) {
    lastText_ = std::string(text.textView());
    last_ = ip.compile(lastText_);
  }
  return last_.get();
}

Value MacroNode::eval(Interp& ip) const {
  DepthGuard depth(ip);
  const Program* p = compiled(ip);
  if (!p) return Value();
  std::shared_ptr<const Program> keep = last_;
  return keep->root().eval(ip);
}

Value MacroNode::assign(Interp& ip, Value v) const {
  const Program* p = compiled(ip);
  if (!p) return v;
  std::shared_ptr<const Program> keep = last_;
  if (!keep->root().isLValue()) return Node::assign(ip, v);
  return keep->root().assign(ip, std::move(v));
}

}  // namespace exo

// Nodes of compiled expressions. Each node evaluates itself; nodes that can be assigned to
// (variables, fields, array elements, properties) also store values.
// Nodes keep small caches (field positions per table layout, variable slots) so that a text
// compiled once evaluates quickly over many records.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "expr/Block.h"
#include "expr/Functions.h"
#include "expr/Memvars.h"
#include "expr/Ops.h"
#include "expr/Value.h"

namespace exo {

class Interp;
class Program;

class Node {
 public:
  explicit Node(int pos) : pos_(pos) {}
  virtual ~Node() = default;
  virtual Value eval(Interp& ip) const = 0;
  virtual bool isLValue() const { return false; }
  // REQUIRES: isLValue(). Stores the value and returns it.
  virtual Value assign(Interp& ip, Value v) const;
  // REQUIRES: isLValue(). Replaces the value with fn(old) and returns the new value; the target
  // (an array element, a property) is located once.
  virtual Value update(Interp& ip, const std::function<Value(const Value&)>& fn) const;
  // REQUIRES: isLValue(). Assignment of the value of another node; the target's container (an
  // object, an array and its index) is evaluated before the value, as the language orders it.
  virtual Value assignFrom(Interp& ip, const Node& value) const;
  int pos() const { return pos_; }

 private:
  int pos_;
};
using NodePtr = std::unique_ptr<Node>;

// A constant. Text constants are handed out as views of the node's own copy (no counting);
// whoever keeps one beyond the evaluation makes it owned, as with any temporary text.
class LiteralNode final : public Node {
 public:
  LiteralNode(int pos, Value v) : Node(pos), value_(std::move(v.own())) {
    if (value_.isText()) view_ = Value::temp(value_.textView());
  }
  Value eval(Interp&) const override { return value_.isText() ? view_ : value_; }

 private:
  Value value_;
  Value view_;
};

// A bare name: a field of the selected work area, else a memory variable.
class NameNode final : public Node {
 public:
  NameNode(int pos, std::string name) : Node(pos), name_(std::move(name)) {}
  Value eval(Interp& ip) const override;
  bool isLValue() const override { return true; }
  Value assign(Interp& ip, Value v) const override;
  const std::string& name() const { return name_; }

 private:
  int fieldOfSelected(Interp& ip, int& area) const;
  std::string name_;
  mutable int cachedLayout_ = -1;
  mutable int cachedField_ = -1;
  mutable Memvars::Slot* slot_ = nullptr;
  mutable const Interp* slotOwner_ = nullptr;
};

// M->NAME: a memory variable only.
class MemvarNode final : public Node {
 public:
  MemvarNode(int pos, std::string name) : Node(pos), name_(std::move(name)) {}
  Value eval(Interp& ip) const override;
  bool isLValue() const override { return true; }
  Value assign(Interp& ip, Value v) const override;

 private:
  std::string name_;
};

// alias->FIELD, (expr)->FIELD and FIELD->NAME (no alias: the selected area).
class FieldNode final : public Node {
 public:
  FieldNode(int pos, std::string alias, NodePtr aliasExpr, std::string field)
      : Node(pos),
        alias_(std::move(alias)),
        aliasExpr_(std::move(aliasExpr)),
        field_(std::move(field)) {}
  Value eval(Interp& ip) const override;
  bool isLValue() const override { return true; }
  Value assign(Interp& ip, Value v) const override;

 private:
  // Field index, after raising failures; -1 when none, with the handler's value in *reply.
  int locate(Interp& ip, int& area, Value* reply) const;
  std::string alias_;
  NodePtr aliasExpr_;
  std::string field_;
  mutable int cachedLayout_ = -1;
  mutable int cachedField_ = -1;
};

// alias->(expr list): evaluated with that alias selected.
class AliasExprNode final : public Node {
 public:
  AliasExprNode(int pos, std::string alias, NodePtr aliasExpr, NodePtr expr)
      : Node(pos),
        alias_(std::move(alias)),
        aliasExpr_(std::move(aliasExpr)),
        expr_(std::move(expr)) {}
  Value eval(Interp& ip) const override;

 private:
  std::string alias_;
  NodePtr aliasExpr_;
  NodePtr expr_;
};

// A parameter of the running block, or a value it captured.
class LocalNode final : public Node {
 public:
  LocalNode(int pos, int index, bool captured) : Node(pos), index_(index), captured_(captured) {}
  Value eval(Interp& ip) const override;
  bool isLValue() const override { return true; }
  Value assign(Interp& ip, Value v) const override;

 private:
  Value& ref(Interp& ip) const;
  int index_;
  bool captured_;
};

class CallNode final : public Node {
 public:
  CallNode(int pos, std::string name, const FunctionDef* def, std::vector<NodePtr> args)
      : Node(pos), name_(std::move(name)), def_(def), args_(std::move(args)) {}
  Value eval(Interp& ip) const override;

 private:
  std::string name_;
  mutable const FunctionDef* def_;
  std::vector<NodePtr> args_;  // null entries are omitted arguments
};

class IifNode final : public Node {
 public:
  IifNode(int pos, NodePtr c, NodePtr a, NodePtr b)
      : Node(pos), cond_(std::move(c)), then_(std::move(a)), else_(std::move(b)) {}
  Value eval(Interp& ip) const override;

 private:
  NodePtr cond_, then_, else_;
};

class ArrayNode final : public Node {
 public:
  ArrayNode(int pos, std::vector<NodePtr> items) : Node(pos), items_(std::move(items)) {}
  Value eval(Interp& ip) const override;

 private:
  std::vector<NodePtr> items_;
};

class BlockNode final : public Node {
 public:
  BlockNode(int pos, std::shared_ptr<const BlockCode> code) : Node(pos), code_(std::move(code)) {}
  Value eval(Interp& ip) const override;

 private:
  std::shared_ptr<const BlockCode> code_;
};

// a[i], a[i][j], a[i, j]
class IndexNode final : public Node {
 public:
  IndexNode(int pos, NodePtr array, NodePtr index)
      : Node(pos), array_(std::move(array)), index_(std::move(index)) {}
  Value eval(Interp& ip) const override;
  bool isLValue() const override { return true; }
  Value assign(Interp& ip, Value v) const override;
  Value update(Interp& ip, const std::function<Value(const Value&)>& fn) const override;
  Value assignFrom(Interp& ip, const Node& value) const override;

 private:
  Value* element(Interp& ip, Value& holder) const;  // nullptr after a handled failure
  NodePtr array_, index_;
};

// obj:name, obj:name(args)
class SendNode final : public Node {
 public:
  SendNode(int pos, NodePtr target, std::string message, std::vector<NodePtr> args, bool isCall)
      : Node(pos),
        target_(std::move(target)),
        message_(std::move(message)),
        args_(std::move(args)),
        isCall_(isCall) {}
  Value eval(Interp& ip) const override;
  bool isLValue() const override { return !isCall_; }
  Value assign(Interp& ip, Value v) const override;
  Value update(Interp& ip, const std::function<Value(const Value&)>& fn) const override;
  Value assignFrom(Interp& ip, const Node& value) const override;

 private:
  NodePtr target_;
  std::string message_;
  std::vector<NodePtr> args_;
  bool isCall_;
};

class UnaryNode final : public Node {
 public:
  UnaryNode(int pos, Op op, NodePtr operand) : Node(pos), op_(op), operand_(std::move(operand)) {}
  Value eval(Interp& ip) const override;

 private:
  Op op_;
  NodePtr operand_;
};

class BinaryNode final : public Node {
 public:
  BinaryNode(int pos, Op op, NodePtr l, NodePtr r)
      : Node(pos), op_(op), l_(std::move(l)), r_(std::move(r)) {}
  Value eval(Interp& ip) const override;

 private:
  Op op_;
  NodePtr l_, r_;
};

// .AND. / .OR., both short-circuit.
class LogicalNode final : public Node {
 public:
  LogicalNode(int pos, bool isAnd, NodePtr l, NodePtr r)
      : Node(pos), isAnd_(isAnd), l_(std::move(l)), r_(std::move(r)) {}
  Value eval(Interp& ip) const override;

 private:
  bool isAnd_;
  NodePtr l_, r_;
};

// := and the compound assignments (op = Op::None for plain assignment).
class AssignNode final : public Node {
 public:
  AssignNode(int pos, Op op, NodePtr target, NodePtr value)
      : Node(pos), op_(op), target_(std::move(target)), value_(std::move(value)) {}
  Value eval(Interp& ip) const override;

 private:
  Op op_;
  NodePtr target_, value_;
};

// ++x, --x, x++, x--
class IncDecNode final : public Node {
 public:
  IncDecNode(int pos, NodePtr target, bool increment, bool prefix)
      : Node(pos), target_(std::move(target)), increment_(increment), prefix_(prefix) {}
  Value eval(Interp& ip) const override;

 private:
  NodePtr target_;
  bool increment_, prefix_;
};

// (e1, e2, ...): the value of the last.
class ListNode final : public Node {
 public:
  ListNode(int pos, std::vector<NodePtr> items) : Node(pos), items_(std::move(items)) {}
  Value eval(Interp& ip) const override;

 private:
  std::vector<NodePtr> items_;
};

// &name or &(expr): compiles the text and evaluates it.
class MacroNode final : public Node {
 public:
  MacroNode(int pos, NodePtr text) : Node(pos), text_(std::move(text)) {}
  Value eval(Interp& ip) const override;
  bool isLValue() const override { return true; }
  Value assign(Interp& ip, Value v) const override;

 private:
  const Program* compiled(Interp& ip) const;
  NodePtr text_;
  mutable std::string lastText_;
  mutable std::shared_ptr<const Program> last_;
};

}  // namespace exo

// The interpreter: compilation entry points, evaluation, failures and the value stack.
#include "expr/Interp.h"

#include "expr/Ast.h"
#include "expr/Parser.h"

namespace exo {

Value callBlockInPlace(Interp& ip, const Value& block, std::span<const Value> args);

Program::Program(std::string source, std::unique_ptr<Node> root)
    : source_(std::move(source)), root_(std::move(root)) {}
Program::~Program() = default;

ErrorReply defaultErrorHandler(Interp&, const Failure& f) {
  if (f.genCode == GenCode::ZeroDiv) return ErrorReply::substitute(Value::number(0));
  return ErrorReply::abandon();
}

Interp::Interp() : handler_(defaultErrorHandler), stack_(new Value[kStackSize]) {
  registerStandardLibrary(functions_);
}

Interp::~Interp() = default;

void Interp::reset() {
  popTo(0);
  frameBase = 0;
  currentBlock = nullptr;
  depth = 0;
  steps_ = 0;
  memvars_ = Memvars();
  arena_ = TextArena();
  consoleOn = false;
  printerOn = false;
}

namespace {
// A limit of the evaluator was exceeded: the work is abandoned at once.
[[noreturn]] void throwLimit(int subCode, const char* description) {
  Failure f;
  f.genCode = GenCode::Limit;
  f.subsystem = "BASE";
  f.subCode = subCode;
  f.description = description;
  throw FailureError(std::move(f));
}
}  // namespace

void Interp::stackOverflow() { throwLimit(1997, "Desbordamiento de la pila de evaluaci\363n"); }

void Interp::popTo(std::size_t base) {
  while (sp > base) stack_[--sp].reset();
}

void Interp::tooDeep() {
  --depth;
  throwLimit(1998, "Anidamiento demasiado profundo (\277recursi\363n sin fin?)");
}

void Interp::stepLimit() {
  steps_ = 0;
  throwLimit(1999, "Se excedi\363 el l\355mite de pasos de evaluaci\363n");
}

Value Interp::raise(Failure f, bool* retry) {
  ++raised_;
  if (retry) *retry = false;
  ErrorReply reply = handler_ ? handler_(*this, f) : defaultErrorHandler(*this, f);
  switch (reply.kind) {
    case ErrorReply::Kind::Retry:
      if (retry && f.canRetry) {
        *retry = true;
        return Value();
      }
      return Value();
    case ErrorReply::Kind::Default: return Value();
    case ErrorReply::Kind::Substitute: return reply.value;
    case ErrorReply::Kind::Abandon: break;
  }
  throw FailureError(std::move(f));
}

ProgramPtr Interp::compile(std::string_view text) {
  ParseResult r = parseExpression(*this, text);
  if (r.root) return std::make_shared<Program>(std::string(text), std::move(r.root));
  Value v = raise(std::move(r.failure));
  return std::make_shared<Program>(std::string(text), std::make_unique<LiteralNode>(0, v));
}

Value Interp::eval(const Program& p) {
  const std::size_t savedSp = sp;
  const int savedDepth = depth;
  ArenaScope arena(arena_);
  try {
    DepthGuard guard(*this);
    Value v = p.root().eval(*this);
    return v.own();
  } catch (...) {
    popTo(savedSp);
    depth = savedDepth;
    throw;
  }
}

Value Interp::evalText(std::string_view text) { return eval(*compile(text)); }

Value Interp::evalBlock(const Value& block, std::span<const Value> args) {
  if (!block.isBlock()) {
    return raise(argumentError("EVAL", 1004, std::span<const Value>(&block, 1)));
  }
  ArenaScope arena(arena_);
  Value v = callBlockInPlace(*this, block, args);
  return v.own();
}

}  // namespace exo

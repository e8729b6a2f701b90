// The interpreter of the expression language: compiles texts once and evaluates them many times
// against the memory variables, the work areas and the registered functions and classes.
//
// One Interp serves the whole program (single-threaded). Failures are raised through raise(),
// which asks the installed handler what to do: retry, go on with a default or a substitute
// value, or abandon (a FailureError exception that unwinds to the caller of the work).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "expr/Arena.h"
#include "expr/Failure.h"
#include "expr/Functions.h"
#include "expr/Memvars.h"
#include "expr/Value.h"

namespace exo {

class Node;
class BlockData;
class WorkAreas;

// A compiled text.
class Program {
 public:
  Program(std::string source, std::unique_ptr<Node> root);
  ~Program();
  const std::string& source() const { return source_; }
  const Node& root() const { return *root_; }

 private:
  std::string source_;
  std::unique_ptr<Node> root_;
};
using ProgramPtr = std::shared_ptr<const Program>;

// What the error handler tells the failed operation to do.
struct ErrorReply {
  enum class Kind { Retry, Default, Substitute, Abandon };
  Kind kind = Kind::Abandon;
  Value value;  // for Substitute
  static ErrorReply retry() { return {Kind::Retry, {}}; }
  static ErrorReply byDefault() { return {Kind::Default, {}}; }
  static ErrorReply substitute(Value v) { return {Kind::Substitute, std::move(v)}; }
  static ErrorReply abandon() { return {Kind::Abandon, {}}; }
};
using ErrorHandler = std::function<ErrorReply(Interp&, const Failure&)>;

// The handler used when none is installed: division by zero gives 0, everything else abandons.
ErrorReply defaultErrorHandler(Interp& ip, const Failure& f);

class Interp {
 public:
  Interp();
  ~Interp();
  Interp(const Interp&) = delete;
  Interp& operator=(const Interp&) = delete;

  // Compiles a text. A syntax error is raised as a failure; when the handler does not abandon,
  // the program yields the handler's value (NIL by default).
  ProgramPtr compile(std::string_view text);
  // Evaluates a program; the result is owned (it may be kept).
  Value eval(const Program& p);
  // Compiles and evaluates a text.
  Value evalText(std::string_view text);
  // Evaluates a code block with arguments; the result is owned.
  Value evalBlock(const Value& block, std::span<const Value> args);

  // Back to the state of a new interpreter for the next untrusted text (a fuzzer's inputs one
  // after another): every variable, the value stack, the text arena, the nesting and the step
  // count go; the functions, the error handler, the work areas and the step budget stay. Only
  // between evaluations, never from inside one.
  void reset();

  // Raises a failure: returns the value the failed operation gives (substitute or NIL for
  // default), sets *retry when the handler asks to retry, or throws FailureError on abandon.
  Value raise(Failure f, bool* retry = nullptr);
  // How many failures have been raised so far (a caller that keeps results compares it before
  // and after, and keeps nothing built while a failure was raised).
  std::uint64_t raisedCount() const { return raised_; }
  void setErrorHandler(ErrorHandler h) { handler_ = std::move(h); }
  const ErrorHandler& errorHandler() const { return handler_; }

  Memvars& memvars() { return memvars_; }
  Functions& functions() { return functions_; }
  TextArena& arena() { return arena_; }
  WorkAreas* workAreas() const { return workAreas_; }
  void setWorkAreas(WorkAreas* w) { workAreas_ = w; }

  // Output switches read by the report runner (values are shown only when one is on).
  bool consoleOn = false;
  bool printerOn = false;

  // A limit on evaluation steps (0 = none), for untrusted texts; exceeding it is a failure.
  std::uint64_t stepBudget = 0;

  // --- used by the evaluator -------------------------------------------------------------------
  static constexpr int kMaxDepth = 200;
  static constexpr std::size_t kStackSize = 1u << 15;
  Value* stackBase() { return stack_.get(); }
  std::size_t sp = 0;
  void push(Value&& v) {
    if (sp >= kStackSize) stackOverflow();
    stack_[sp++] = std::move(v);
  }
  void popTo(std::size_t base);
  std::size_t frameBase = 0;          // first parameter of the running block
  BlockData* currentBlock = nullptr;  // the running block, for its captures
  int depth = 0;
  void enter() {  // raises a failure when nested too deep
    if (++depth > kMaxDepth) tooDeep();
  }
  void leave() { --depth; }
  void countStep() {
    if (stepBudget != 0 && ++steps_ > stepBudget) stepLimit();
  }

 private:
  Memvars memvars_;
  Functions functions_;
  TextArena arena_;
  WorkAreas* workAreas_ = nullptr;
  ErrorHandler handler_;
  std::uint64_t raised_ = 0;
  [[noreturn]] void stackOverflow();
  [[noreturn]] void tooDeep();
  [[noreturn]] void stepLimit();
  std::unique_ptr<Value[]> stack_;
  std::uint64_t steps_ = 0;
};

// Keeps the interpreter's nesting depth for a scope.
class DepthGuard {
 public:
  explicit DepthGuard(Interp& ip) : ip_(ip) { ip_.enter(); }
  ~DepthGuard() { ip_.leave(); }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  Interp& ip_;
};

// Pops the interpreter's value stack back to where it stood when the scope began.
class StackScope {
 public:
  explicit StackScope(Interp& ip) : ip_(ip), base_(ip.sp) {}
  ~StackScope() { ip_.popTo(base_); }
  StackScope(const StackScope&) = delete;
  StackScope& operator=(const StackScope&) = delete;
  std::size_t base() const { return base_; }

 private:
  Interp& ip_;
  std::size_t base_;
};

// Builds the failure of a wrong argument ("Error de argumento") of an operator or function.
Failure argumentError(std::string_view operation, int subCode, std::span<const Value> args);

// The display form of a value: text as is, numbers as Str() shows them, dates dd-mm-yyyy,
// logicals .T./.F., NIL, arrays {...}, blocks {||...}, objects by class.
std::string displayValue(const Value& v);

}  // namespace exo

// A run-time failure: everything the error handler needs to report it and to decide what the
// failed operation does next.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace exo {

class Value;

// General codes of failures (the classic run-time's numbering).
enum class GenCode : int {
  None = 0,
  Arg = 1,    // argument error (type mismatch of an operator or function)
  Bound = 2,  // array index out of bounds
  StrOverflow = 3,
  NumOverflow = 4,
  ZeroDiv = 5,  // division by zero
  NumErr = 6,
  Syntax = 7,  // syntax error in a compiled text
  CompileComplex = 8,
  Mem = 11,
  NoFunc = 12,    // undefined function
  NoMethod = 13,  // message not found
  NoVar = 14,     // variable does not exist
  NoAlias = 15,   // alias does not exist
  NoVarMethod = 16,
  BadAlias = 17,
  DupAlias = 18,
  Create = 20,  // file could not be created
  Open = 21,    // file could not be opened
  Close = 22,
  Read = 23,  // read error / damaged file
  Write = 24,
  Print = 25,
  Unsupported = 30,
  Limit = 31,       // a limit was exceeded (nesting depth, sizes)
  Corruption = 32,  // damaged file
  DataType = 33,
  DataWidth = 34,
  NoTable = 35,
  NoOrder = 36,
  Shared = 37,
  Unlocked = 38,
  ReadOnly = 39,
  AppendLock = 40,
  Lock = 41,
};

enum class Severity : int { Whocares = 0, Warning = 1, Error = 2, Catastrophic = 3 };

struct Failure {
  GenCode genCode = GenCode::None;
  int osCode = 0;         // operating-system error number, 0 when none
  std::string subsystem;  // "BASE", "DBFCDX", "TERM", ...
  int subCode = 0;
  Severity severity = Severity::Error;
  std::string description;  // short Spanish description of what failed
  std::string fileName;
  std::string operation;          // operator, function or method involved
  std::vector<std::string> args;  // the operation's arguments, in display form
  bool canRetry = false;
  bool canDefault = false;
  bool canSubstitute = false;
};

// Thrown when the handler abandons the failed operation; caught once by the page action or the
// command that started the work.
class FailureError : public std::runtime_error {
 public:
  explicit FailureError(Failure f);
  const Failure& failure() const { return failure_; }
  // The failure's one-line message (errorMessage), worked out the first time it is asked for:
  // most failures are handled from their fields and never shown as a line.
  const char* what() const noexcept override;

 private:
  Failure failure_;
  mutable std::string message_;
  mutable bool messageMade_ = false;
};

// The one-line message of a failure ("Error BASE/1003  La variable no existe: X").
std::string errorMessage(const Failure& f);

}  // namespace exo

// Failures raised by the shell's own routines. Internal to src/shell.
#pragma once

#include <string>
#include <utility>

#include "expr/Failure.h"

namespace exo::shell {

// A failure of subsystem SHELL with subcode 1000 + the general code; callers set what else
// applies (operating-system code, retry, default).
inline Failure shellFailure(GenCode code, std::string description, std::string fileName = {},
                            std::string operation = {}) {
  Failure f;
  f.genCode = code;
  f.subsystem = "SHELL";
  f.subCode = 1000 + static_cast<int>(code);
  f.description = std::move(description);
  f.fileName = std::move(fileName);
  f.operation = std::move(operation);
  return f;
}

}  // namespace exo::shell

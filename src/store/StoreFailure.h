// Failures raised by the table engine's file layer (tables, memo files, index files, locks).
// Internal to src/store: every report is built here so that it always carries the subsystem,
// the file name and, where there is one, the operating-system error number.
#pragma once

#include <string>

#include "expr/Failure.h"

namespace exo::store {

inline constexpr const char* kStoreSubsystem = "DBFCDX";
// Operating-system codes the error handler recognises (the classic DOS/Windows numbers).
inline constexpr int kOsSharingViolation = 32;
inline constexpr int kOsLockViolation = 33;

// Throws FailureError with subsystem DBFCDX and subCode 1000 + the general code.
[[noreturn]] void raise(GenCode code, std::string description, std::string fileName, int osCode = 0,
                        std::string operation = {});

// Throws the "damaged file" failure (GenCode::Corruption) naming what is wrong.
[[noreturn]] void raiseCorrupt(std::string description, std::string fileName);

// Maps errno to the nearest classic operating-system code (2 not found, 5 denied, ...).
int osCodeFromErrno(int err);

}  // namespace exo::store

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

inline constexpr int kOsDiskFull = 112;       // ERROR_DISK_FULL
inline constexpr int kOsHandleDiskFull = 39;  // ERROR_HANDLE_DISK_FULL
// What every failure of a full disk (or an exhausted quota) says, whatever the operation.
inline constexpr const char* kDiskFullText = "No hay espacio en el disco";

// Whether an operating-system code (as osCodeFromErrno gives it, or the system's own on
// Windows) says that the disk is full.
constexpr bool isDiskFull(int osCode) {
  return osCode == kOsDiskFull || osCode == kOsHandleDiskFull;
}

// Throws FailureError with subsystem DBFCDX and subCode 1000 + the general code. A full disk
// is described as such (kDiskFullText), the file named as usual.
[[noreturn]] void raise(GenCode code, std::string description, std::string fileName, int osCode = 0,
                        std::string operation = {});

// Throws the "damaged file" failure (GenCode::Corruption) naming what is wrong.
[[noreturn]] void raiseCorrupt(std::string description, std::string fileName);

// Maps errno to the nearest classic operating-system code (2 not found, 5 denied, 112 disk full
// or quota exhausted, ...).
int osCodeFromErrno(int err);
// The same for a Windows system error (GetLastError()): the codes are the classic ones already;
// a full disk reported on a handle (ERROR_HANDLE_DISK_FULL) becomes 112 like ERROR_DISK_FULL.
int osCodeFromSystemError(unsigned long err);

}  // namespace exo::store

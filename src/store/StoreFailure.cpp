// Construction of the file layer's failures.
#include "store/StoreFailure.h"

#include <cerrno>
#include <utility>

namespace exo::store {

void raise(GenCode code, std::string description, std::string fileName, int osCode,
           std::string operation) {
  Failure f;
  f.genCode = code;
  f.osCode = osCode;
  f.subsystem = kStoreSubsystem;
  f.subCode = 1000 + static_cast<int>(code);
  f.description = isDiskFull(osCode) ? std::string(kDiskFullText) : std::move(description);
  f.fileName = std::move(fileName);
  f.operation = std::move(operation);
  f.canRetry = code == GenCode::Open || code == GenCode::Lock || code == GenCode::AppendLock;
  f.canDefault = f.canRetry;
  throw FailureError(std::move(f));
}

void raiseCorrupt(std::string description, std::string fileName) {
  raise(GenCode::Corruption,
        "Archivo da\xF1"
        "ado: " +
            std::move(description),
        std::move(fileName));
}

int osCodeFromErrno(int err) {
  switch (err) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EROFS: return 5;
    case EAGAIN:
    case EBUSY: return kOsSharingViolation;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return kOsDiskFull;
    case EEXIST: return 80;
    default: return err == 0 ? 0 : 31;
  }
}

int osCodeFromSystemError(unsigned long err) {
  if (err == static_cast<unsigned long>(kOsHandleDiskFull)) return kOsDiskFull;
  return static_cast<int>(err);
}

}  // namespace exo::store

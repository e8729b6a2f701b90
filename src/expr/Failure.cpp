// Failure values and their one-line message.
#include "expr/Failure.h"

#include <utility>

namespace exo {

FailureError::FailureError(Failure f)
    : std::runtime_error(errorMessage(f)), failure_(std::move(f)) {}

std::string errorMessage(const Failure& f) {
  std::string text;
  if (f.osCode == 0) {
    text = static_cast<int>(f.severity) > 1 ? "Error " : "Atenci\xF3n ";
  } else {
    text = "(DOS Error " + std::to_string(f.osCode) + ") ";
  }
  text += f.subsystem.empty() ? "???" : f.subsystem;
  text += f.subCode != 0 ? "/" + std::to_string(f.subCode) : std::string("/???");
  if (!f.description.empty()) text += "  " + f.description;
  if (!f.fileName.empty()) {
    text += ": " + f.fileName;
  } else if (!f.operation.empty()) {
    text += ": " + f.operation;
  }
  return text;
}

}  // namespace exo

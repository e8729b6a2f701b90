// Failure values and their one-line message.
#include "expr/Failure.h"

#include <utility>

namespace exo {

FailureError::FailureError(Failure f) : std::runtime_error(std::string()), failure_(std::move(f)) {}

const char* FailureError::what() const noexcept {
  if (!messageMade_) {
    try {
      message_ = errorMessage(failure_);
      messageMade_ = true;
    } catch (...) {
      return "Error";  // no memory left for the line
    }
  }
  return message_.c_str();
}

std::string errorMessage(const Failure& f) {
  std::string text;
  if (f.osCode == 0) {
    text = static_cast<int>(f.severity) > 1 ? "Error " : "Atenci\xF3n ";
  } else {
    text = "(DOS Error ";
    text += std::to_string(f.osCode);
    text += ") ";
  }
  text += f.subsystem.empty() ? "???" : f.subsystem;
  text += '/';
  text += f.subCode != 0 ? std::to_string(f.subCode) : std::string("???");
  if (!f.description.empty()) {
    text += "  ";
    text += f.description;
  }
  if (!f.fileName.empty() || !f.operation.empty()) {
    text += ": ";
    text += !f.fileName.empty() ? f.fileName : f.operation;
  }
  return text;
}

}  // namespace exo

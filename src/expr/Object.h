// Objects of the expression language: instances of native classes registered from C++.
// A message is either a method call (obj:Name(args)), a property read (obj:name) or a property
// assignment (obj:name := value); each class decides what its names mean.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "expr/Value.h"

namespace exo {

class Interp;

class Object : public RefCounted {
 public:
  // The class name as the language shows it ("TPublic").
  virtual std::string_view className() const = 0;
  // A method call or property read; `name` is upper case and trimmed. `isCall` tells whether the
  // message was written with parentheses. An unknown name raises "Mensaje no encontrado".
  virtual Value send(Interp& ip, const std::string& name, std::span<Value> args, bool isCall) = 0;
  // A property assignment; returns the value assigned.
  virtual Value assign(Interp& ip, const std::string& name, const Value& value) = 0;
};

// Raises the run-time failure of a message the class does not know (subcode 1004 for a read or
// call, 1005 for an assignment). Returns the handler's substitute value.
Value messageNotFound(Interp& ip, std::string_view className, std::string_view name, bool assign);

}  // namespace exo

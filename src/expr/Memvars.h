// Memory variables: public (session-wide) and private (visible to the routine that declares them
// and to the routines it calls, released when that routine returns). Names are case-insensitive.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "expr/Text.h"
#include "expr/Value.h"

namespace exo {

class Memvars {
 public:
  // One name's declarations, innermost last. Slots are never removed, so a compiled expression
  // may keep a pointer to one.
  struct Slot {
    std::string name;
    struct Entry {
      Value value;
      int level;  // 0 public, n >= 1 the private frame that declared it
    };
    std::vector<Entry> stack;
    bool defined() const { return !stack.empty(); }
    Value& value() { return stack.back().value; }
  };

  Memvars();

  // The slot of a name (upper-cased), created empty when first asked for.
  Slot& slot(std::string_view name);
  // The slot of a name, or nullptr when it holds no variable.
  Slot* find(std::string_view name);

  // Declares a public variable; an existing public keeps its value when `value` is NIL and
  // `keepExisting` is set, as a second PUBLIC declaration does.
  void declarePublic(std::string_view name, Value value);
  // Declares a private variable of the innermost frame (hiding an outer one of the same name).
  void declarePrivate(std::string_view name, Value value);
  // Assigns to the visible variable, or creates a private one of the innermost frame.
  void assign(std::string_view name, Value value);
  // Removes every variable of that name declared by the innermost frame, or the public one.
  void release(std::string_view name);

  // Private frames.
  void pushFrame();
  void popFrame();
  int depth() const { return static_cast<int>(frames_.size()); }

  // Names of the public variables matching a mask ("MVAR*"; case-insensitive), in creation order.
  std::vector<std::string> visibleNames(std::string_view mask) const;

 private:
  std::unordered_map<std::string, std::unique_ptr<Slot>> slots_;
  std::vector<Slot*> order_;                // creation order, for masks
  std::vector<std::vector<Slot*>> frames_;  // names declared by each private frame
};

// True when the name matches a mask of the memory-file routines ("mVar*", "CCONSECUT"),
// ignoring case.
bool matchesMask(std::string_view name, std::string_view mask);

}  // namespace exo

// State of one work area of the engine: the open table, its record buffers, the attached index
// files with their orders, scopes, filter and relations. Internal to src/store.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Dbf.h"

namespace exo::store {

// A key made only of character fields joined by "+": built by copying the fields' bytes.
struct KeyPlan {
  struct Piece {
    std::uint32_t offset;
    std::uint16_t length;
  };
  std::vector<Piece> pieces;  // empty = the key must be evaluated
  std::size_t length = 0;
  // Writes the key of `rec` into `out` (length bytes). REQUIRES: !pieces.empty().
  void build(const char* rec, char* out) const {
    for (const Piece& p : pieces) {
      std::memcpy(out, rec + p.offset, p.length);
      out += p.length;
    }
  }
};
// The plan of a key expression over a table's fields (empty when it is not such a key).
KeyPlan planKey(const Dbf& table, std::string_view expression);

// A tag of an attached index file, as an order of the area.
struct Order {
  std::size_t bag = 0;  // index into Area::bags
  std::size_t tag = 0;  // index into the bag's tags()
  std::string name;
  ProgramPtr key;
  KeyPlan plan;             // how to build the key without evaluating it, when possible
  ProgramPtr condition;     // null when the tag has no FOR condition
  bool onlyActive = false;  // the condition is "!Deleted()": deleted records are not in the tag
  char keyType = 'C';       // type of the key expression's value: C, N, D or L
  std::uint16_t keyLength = 0;
  KeyKind kind = KeyKind::Character;
  bool descending = false;
  bool writable = true;  // keys in our order, so the tag can be kept current
  // Scope as key prefixes in the order's logical direction: keys from `top` to `bottom`.
  std::optional<std::string> scopeTop, scopeBottom;
  Value scopeTopValue, scopeBottomValue;
};

struct Relation {
  int child = 0;
  std::string childAlias;
  std::string keyText;
  ProgramPtr key;
};

struct Area {
  int number = 0;  // the area's number (1-based)
  std::string alias;
  std::unique_ptr<Dbf> dbf;
  int layout = 0;

  // The current record as the caller sees it, and as it stands in the file (for the keys
  // that must be replaced when the record is written).
  std::vector<char> record;
  std::vector<char> stored;
  std::vector<char> scratch;         // a record read while looking for the next visible one
  std::vector<char> blank;           // a blank record of the table
  const char* evalRecord = nullptr;  // the buffer fields are read from; null = `record`
  std::uint32_t evalRecno = 0;       // the record number of `evalRecord` (0: not known)
  const char* fieldSource() const { return evalRecord ? evalRecord : record.data(); }
  std::uint32_t recno = 0;  // recordCount() + 1 at end of file
  bool eof = true, bof = false, found = false;
  bool dirty = false;
  bool autoLocked = false;  // record lock taken for the current change only
  bool batch = false;       // the index files hold their changes until the batch ends

  // What the interpreter's path policy said of changing this table, at `policyEpoch`.
  std::uint64_t policyEpoch = 0;
  std::string writeRefusal;

  std::vector<std::unique_ptr<Cdx>> bags;
  std::vector<Order> orders;
  int current = -1;  // controlling order, -1 = natural order

  std::string filterText;
  ProgramPtr filter;

  std::vector<Relation> relations;

  // Cursor over the controlling order, valid while `cursorRecno` is the current record and no
  // key of the order has changed since it was placed.
  std::unique_ptr<CdxCursor> cursor;
  std::uint32_t cursorRecno = 0;
  std::uint64_t changes = 0;  // bumped by every key change, scope, filter or order change
  std::uint64_t cursorChanges = ~0ull;

  // Cached key count for `countChanges`.
  std::int64_t keyCount = -1;
  std::uint64_t countChanges = ~0ull;

  Order* order() { return current < 0 ? nullptr : &orders[std::size_t(current)]; }
  const Order* order() const { return current < 0 ? nullptr : &orders[std::size_t(current)]; }
};

}  // namespace exo::store

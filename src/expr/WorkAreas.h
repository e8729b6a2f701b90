// The work areas as the expression language sees them: fields read and written by name or
// position, aliases, the selected area, and the navigation and table operations behind the
// language's work-area functions. The table engine implements it; tests may use an in-memory
// implementation.
//
// Areas are numbered from 1; 0 means "none". Failures (a table that cannot be opened, a field
// that cannot hold a value...) are raised by the implementation through Interp::raise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "expr/Value.h"

namespace exo {

class Interp;
class TextArena;

struct FieldInfo {
  std::string name;
  char type;
  int width;
  int decimals;
};

struct OrderInfo {
  std::string tag;
  std::string key;
  std::string forCondition;
  std::string bag;  // index file name
};

class WorkAreas {
 public:
  virtual ~WorkAreas() = default;

  // --- selection and names -----------------------------------------------------------------
  virtual int selected() const = 0;
  // Selects an area by number (0 selects the lowest free area).
  virtual void select(int area) = 0;
  // Area of an alias (case-insensitive), 0 when no open table carries it.
  virtual int areaOf(std::string_view alias) const = 0;
  virtual std::string aliasOf(int area) const = 0;  // "" when the area is free
  virtual bool isUsed(int area) const = 0;

  // --- fields (hot path: no allocation) -------------------------------------------------------
  // A number that changes whenever the area's table (and so its field layout) changes.
  virtual int layoutId(int area) const = 0;
  // REQUIRES: isUsed(area). Position (0-based) of a field by upper-case name, -1 when none.
  virtual int fieldIndex(int area, std::string_view upperName) const = 0;
  // REQUIRES: a valid field. Reads the current record's field; text goes to the arena.
  virtual Value getField(Interp& ip, int area, int field) = 0;
  virtual void putField(Interp& ip, int area, int field, const Value& v) = 0;
  virtual std::vector<FieldInfo> fields(int area) const = 0;
  // The code-page mark of the area's table (byte 29 of its header; 0 when the table carries
  // none, or the area is free). Text of the ledger's tables is read through ledgerText()
  // (Codepage.h) with this mark.
  virtual std::uint8_t codePageMark(int /*area*/) const { return 0; }
  // The number of fields of the area's table (0 when the area is free), without listing them.
  virtual int fieldCount(int area) const { return static_cast<int>(fields(area).size()); }

  // --- navigation ----------------------------------------------------------------------------
  virtual std::int64_t recNo(int area) const = 0;
  virtual std::int64_t recCount(int area) const = 0;
  virtual bool eof(int area) const = 0;
  virtual bool bof(int area) const = 0;
  virtual bool found(int area) const = 0;
  virtual bool deleted(int area) const = 0;
  virtual void skip(Interp& ip, int area, std::int64_t n) = 0;
  virtual void goTop(Interp& ip, int area) = 0;
  virtual void goBottom(Interp& ip, int area) = 0;
  virtual void goTo(Interp& ip, int area, std::int64_t recno) = 0;
  virtual bool seek(Interp& ip, int area, const Value& key, bool softSeek, bool last) = 0;

  // --- changes -------------------------------------------------------------------------------
  virtual void append(Interp& ip, int area) = 0;
  virtual void deleteRecord(Interp& ip, int area) = 0;
  virtual void recall(Interp& ip, int area) = 0;
  virtual void commit(Interp& ip, int area) = 0;
  virtual bool lockRecord(Interp& ip, int area, std::int64_t recno) = 0;  // 0 = current
  virtual bool lockFile(Interp& ip, int area) = 0;
  virtual void unlock(Interp& ip, int area) = 0;
  virtual void zap(Interp& ip, int area) = 0;
  virtual void pack(Interp& ip, int area) = 0;

  // --- tables --------------------------------------------------------------------------------
  // Creates a table from a structure array ({name, type, width, decimals} rows).
  virtual void create(Interp& ip, const std::string& file,
                      const std::vector<FieldInfo>& fields) = 0;
  // Opens a table in the selected area (or the lowest free one when `newArea`).
  virtual void use(Interp& ip, bool newArea, const std::string& file, const std::string& alias,
                   bool shared, bool readOnly) = 0;
  virtual void close(Interp& ip, int area) = 0;
  virtual void closeAll(Interp& ip) = 0;

  // --- orders, scopes, filters ---------------------------------------------------------------
  virtual void orderCreate(Interp& ip, int area, const std::string& bag, const std::string& tag,
                           const std::string& key, const std::string& forCondition) = 0;
  virtual void orderListAdd(Interp& ip, int area, const std::string& bag) = 0;
  // Sets the controlling order by tag name or number (0 = natural order); returns the previous
  // tag name.
  virtual std::string orderSetFocus(Interp& ip, int area, const Value& order) = 0;
  virtual std::vector<OrderInfo> orders(int area) const = 0;
  virtual std::string orderKey(int area) const = 0;  // key of the controlling order, "" when none
  // Sets (or clears, with NIL) the top (0) or bottom (1) scope; returns the previous one.
  virtual Value orderScope(Interp& ip, int area, int which, const Value& key) = 0;
  virtual std::int64_t keyCount(Interp& ip, int area) = 0;
  virtual std::int64_t keyNo(Interp& ip, int area) = 0;
  virtual void setFilter(Interp& ip, int area, const std::string& condition) = 0;  // "" clears
  virtual std::string filter(int area) const = 0;
  virtual void setRelation(Interp& ip, int area, const std::string& childAlias,
                           const std::string& key) = 0;  // empty alias clears all
};

}  // namespace exo

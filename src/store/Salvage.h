// Reading what can still be read of a damaged table: the records of a table file whose header or
// body no longer opens as a table (truncated, a broken count or header length, stray bytes),
// taken with the field layout the program knows the table has. Used to list and to repair the
// program's own user tables, never to open the ledger's files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/Dbf.h"

namespace exo::store {

struct SalvagedTable {
  // The live records that could be read, in file order: one text per field of the layout
  // (character fields as stored, other fields as their raw bytes).
  std::vector<std::vector<std::string>> rows;
  std::uint64_t deleted = 0;  // records marked deleted (left out, as every read does)
  std::uint64_t lost = 0;     // records announced or present that could not be read
};

// Reads the table file at `path` with the layout `fields` (what tableFields() gives for it). The
// header's own lengths are used when they agree with the layout, else the layout's. A record is
// kept when its deletion mark is a blank and every character field holds text (no control
// bytes); the others count as lost, as do the records the header announces beyond the end of
// the file. Throws FailureError when the file cannot be read at all.
SalvagedTable salvageTable(const std::string& path, const std::vector<FieldDef>& fields);

}  // namespace exo::store

// The care of the company's assignment table "CodCont.dbf" with its index "CodContx.cdx": the
// compaction at start-up (deleted records removed, tags built again), the reading of a table
// that no longer opens, and its repair.
//
// None of them ever erases the index before the new one is complete, and none of them touches a
// table that another program holds open: the new files are built beside and renamed into place
// while the table is held exclusively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace exo::store {
class Engine;
}

namespace exo::shell {

class Session;

// What the compaction of the assignment table found.
enum class Compaction {
  Done,     // deleted records removed, the tags built again
  NoTable,  // there is no assignment table yet
  InUse,    // another program holds the table: left as it is, to be compacted another time
  Damaged,  // the table cannot be read: left as it is (see repairAssignments)
  Failed,   // a write failed (disk full, ...): table and index left as they were
};

// At start-up: removes the deleted records of the assignment table and builds its tags again,
// only when the table can be opened exclusively. The live records are copied to a table beside,
// its tags built in an index beside, and both renamed over the old pair while the old table is
// still held. Nothing is asked and nothing goes through the error handler; `problem` (when
// given) receives the failure's text for InUse, Damaged and Failed.
Compaction compactAssignments(Session& session, store::Engine& engine,
                              std::string* problem = nullptr);

// Tells the user what a compaction that did not happen means (nothing for Done and NoTable): a
// table in use or a failure is said; a damaged table is said with the way to repair it, and
// with `offerRepair` the user is asked whether to repair it now (repairAssignments()).
void explainCompaction(Session& session, store::Engine& engine, Compaction result,
                       const std::string& problem, bool offerRepair);

// A row of the assignment table as read.
struct AssignmentRow {
  std::string codCont, detalle, formato, concepto, naturalez;  // as stored (blanks kept)
};

// The assignments of the company in the order of format, concept and account (the order of the
// tag "CodiCont"), read without writing anything and without the index. When the table does not
// open as a table, the records that can be read are returned and `lost` receives how many could
// not (else 0). False when there is no table, or it cannot be read at all (`problem` says why).
bool readAssignments(Session& session, store::Engine& engine, std::vector<AssignmentRow>& rows,
                     std::uint64_t& lost, std::string* problem = nullptr);

struct RepairOutcome {
  bool done = false;       // the table was replaced
  std::uint64_t kept = 0;  // assignments kept
  std::uint64_t lost = 0;  // records that could not be read
  std::string asideFile;   // the name under which the old file was kept
};

// Repairs the assignment table: the records that can be read are written to a new table with
// its index, which replaces the old pair (the old table file is kept beside as "CodCont.dbf" +
// kDamagedSuffix). Says through the user interface what was kept and how many records were lost;
// a table held by another program, or a failure, changes nothing and is said too.
RepairOutcome repairAssignments(Session& session, store::Engine& engine);

// The ending of the name under which a damaged file is kept ("CodCont.dbf.danado").
inline constexpr const char* kDamagedSuffix = ".danado";

}  // namespace exo::shell

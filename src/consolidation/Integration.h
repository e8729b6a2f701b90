// The integration of the year's movements into the twelve format movement tables ("TrF1001.dbf"
// to "TrF1012.dbf"): every movement with a third party whose account is assigned to a concept of
// a format, and that passes the concept's filter, is copied into the format's table once per
// assignment that selects it, stamped with the format, the concept, the third party's
// identification and the concept's threshold, filter and nature. Format 1001 concept 5007 takes
// only inventory accounts ("1.4.") in vouchers of a type beginning with "C". Then the 1007 rows
// are totalled per voucher into "Trf1007B.dbf" and each 1006 row receives, in VLR_ADIC1, the
// income its voucher booked to format 1007 (as a positive number for income booked as credit).
//
// The year's table is read once: the assignments are grouped by account, so a movement finds
// the assignments of its account in one lookup, whatever the number of assignments. Each format
// table is then written in the order of its assignments ("FORMATO+CONCEPTO+COD_CONT"), each
// assignment's movements in record order.
//
// Every new table and index file is built beside under a temporary name and put in place only
// when all twelve tables, their indexes and the voucher totals are complete: a failure or an
// interruption leaves the previous tables as they were.
#pragma once

#include <array>
#include <cstdint>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::consolidation {

inline constexpr const char* kNoAssignments =
    "No ha inicializado Asignaci\363n Contable a los Conceptos";

struct IntegrationResult {
  bool done = false;
  std::int64_t movements = 0;           // records of the year's table (the final count)
  std::int64_t assignments = 0;         // assignments of all formats
  std::array<std::int64_t, 12> rows{};  // rows written per format, 1001 first
  std::int64_t vouchers1007 = 0;        // records of the 1007 voucher totals
  std::int64_t rows1006WithIncome = 0;  // 1006 rows whose voucher has format 1007 rows
  double seconds = 0;
};

// IMPORTACONTAB: the fourth step of the movement import page. Talks to the user through
// session.ui(): the messages of a missing precondition, "Procesando Formato " + code on the main
// line, the meter over the assignments (then over the 1006 rows), the final count, "Proceso
// terminado...." and the time line.
IntegrationResult IMPORTACONTAB(shell::Session& session, store::Engine& engine);

}  // namespace exo::consolidation

// The third parties of the ledger: the refresh of the company's copy of the ledger's directory
// of third parties, and the check of every third party of the directory against the rules of a
// well-formed DIAN third party, listing the faulty ones in the error table "ErrFDir.dbf".
//
// Both routines talk to the user only through the session's user-interface port; the page that
// calls them disables its buttons and the side bar around the call.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::import {

// IMPORTASOLOTERC: copies the ledger directory (3 files) into the working copy.
// The three files ("VRDIR.DBF", "VRDIR.FPT", "VRDIRX1.CDX" of the ledger's company folder, read
// shared and read-only) are first copied beside the working copy and checked (table header and
// index file readable); only then do they replace "VRDIREXO.DBF", "VRDIREXO.FPT" and
// "VRDIREXX.CDX", so a missing, unreadable or damaged source leaves the previous copy whole.
// Shows a meter of 3 steps (a repaint and a pause of 0.1 s after each copy) and "Proceso
// terminado." on the main status line. Returns false, after a message (a missing file) or after
// the error handler (a file that cannot be read or written) when nothing was replaced; throws
// FailureError when the handler abandons.
bool IMPORTASOLOTERC(shell::Session& session, store::Engine& engine);

// The check a copy of the ledger's directory passes before it replaces the company's copy: the
// table opens (header and size agree) with its memo file when it has memo fields, and the index
// file opens and its tags read. Throws FailureError naming the file at fault.
void checkDirectoryFiles(const std::string& table, const std::string& memo,
                         const std::string& index);

struct ValidationResult {
  bool done = false;
  std::int64_t records = 0;
  std::int64_t errors = 0;
};

// VALIDAFICHTERC: recreates "ErrFDir.dbf" in the company folder and fills it; shows
// "Fichas de Terceros correctamente definidas" when there is no error. Leaves the error table
// closed; the caller opens it (alias "Errores") for the error list.
// Reads the ledger's own directory (not the copy) in code order, shared and read-only, one
// error row per faulty third party (code, document, name, error text). Shows "Validando
// Estrutura de Fichas de Terceros....." and a meter over the directory's records (repaint every
// 20 records), then "Proceso terminado.....". The selected work area is kept and every table the
// routine opened is closed, also when the error handler abandons (FailureError). A ledger
// folder without its directory or index gives a message and done == false, the previous error
// table untouched.
ValidationResult VALIDAFICHTERC(shell::Session& session, store::Engine& engine);

// SETTXTERR: the display text of an ERROR value (lines joined with "\r\n").
std::string SETTXTERR(std::string_view error);

// The path (native) of "ErrFDir.dbf" for the session's company.
std::filesystem::path errorTablePath(const shell::Session& session);

}  // namespace exo::import

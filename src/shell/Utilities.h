// Small routines used across the system: the wait message shown during long processes, the
// lookup of a third party's name or identification in the directory (alias DIREC), the copy of
// another table's current record into a new record of the selected table, and the record and
// table locks around a change.
//
// The table routines work on the interpreter's work areas (the table engine, or in-memory tables
// in tests). Failures go through the interpreter's error handler.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "shell/UserInterface.h"

namespace exo {
class Interp;
}

namespace exo::shell {

class Session;

// The texts the lookups give for a key that is not in the directory: 40 and 39 characters.
inline constexpr std::string_view kNameNotRegistered = "** NO REGISTRADO **                     ";
inline constexpr std::string_view kNitNotRegistered = "** NO REGISTRADO **                    ";

// DLGMENSAJ: opens the wait message (centred when `where` is empty) with the text's trailing
// blanks removed, and marks it open in ODLGMSG1. An open wait message is closed first.
void DLGMENSAJ(Session& session, std::string_view text, std::optional<ScreenPos> where = {});
// MIMENSAJ: DLGMENSAJ, then lets pending window messages through so that it shows at once.
void MIMENSAJ(Session& session, std::string_view text, std::optional<ScreenPos> where = {});
// Closes the wait message opened by DLGMENSAJ (nothing when none is open).
void closeWaitMessage(Session& session);

// Keeps a wait message open for a scope.
class WaitMessage {
 public:
  WaitMessage(Session& session, std::string_view text) : m_session(session) {
    MIMENSAJ(session, text);
  }
  ~WaitMessage() { closeWaitMessage(m_session); }
  WaitMessage(const WaitMessage&) = delete;
  WaitMessage& operator=(const WaitMessage&) = delete;

 private:
  Session& m_session;
};

// BUSNOMDI / BUSNITDI: the NOMBRE (or DIREC4) field of the third party whose key is `key` in
// the directory open as DIREC, in Windows-1252 (converted by the directory's code-page mark),
// sought exactly in its active order; kNameNotRegistered (or kNitNotRegistered) when the key is not
// there. The selected area is kept; the directory stays where the seek left it. A directory that is
// not open is a failure (NoAlias); when the handler goes on, the not-registered text is returned.
std::string BUSNOMDI(Interp& ip, std::string_view key);
std::string BUSNITDI(Interp& ip, std::string_view key);

// AREG: appends a record to the selected table and copies into it, under a record lock, the
// fields of the current record of the table open as `sourceAlias` that the selected table also
// has (by name); other fields stay blank. The source's values are taken before the append, so
// copying a table's record into the same table works too. An unknown alias is a failure.
void AREG(Interp& ip, std::string_view sourceAlias);

// PROTEGER: locks the current record (mode 0) or the whole table (mode 1) of the selected area,
// asking again until the lock is granted; true at once when no table is open there.
bool PROTEGER(Interp& ip, int mode);
// DESPROTEGER: releases every lock of the selected table.
void DESPROTEGER(Interp& ip);

// Registers BUSNOMDI, BUSNITDI, AREG, PROTEGER and DESPROTEGER as functions of the language.
void registerUtilityFunctions(Interp& ip);

}  // namespace exo::shell

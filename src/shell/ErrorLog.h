// The error log: the table "Error.Dbf" in the sub-folder "Error" of the working folder, one
// record per failure reported by the error handler (date, time, message, whole report in a memo),
// with the index "Error.cdx" whose tag "Err_DDHH" puts the newest failure first.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/UserInterface.h"

namespace exo::store {
class Engine;
}

namespace exo::shell {

struct ErrorLogEntry {
  std::int32_t fecha = 0;  // Julian day
  std::string hora;        // "hh:mm:ss"
  std::string error;       // the error message, at most 50 characters
  std::string texto;       // the report
};

// The folder of the log: "Error" inside `working`, created when missing. When it cannot be
// created the notice "NO se pudo crear ..." goes through `ui` and `working` itself is used.
std::filesystem::path errorLogFolder(const std::filesystem::path& working, UserInterface& ui);

// ABREERROR: opens the log of `folder` shared under the alias ERROR in the lowest free area
// (selected), creating the table and its descending tag "Err_DDHH" when missing. Returns the
// area, or 0 when the handler let the caller go on without it.
int ABREERROR(store::Engine& engine, const std::filesystem::path& folder);

// Adds a failure to the log: appends a record under a record lock with `when`'s date and time,
// the message cut to 50 characters and the report, then closes the log and selects the area
// that was selected before. Failures go through the handler.
void appendErrorLog(store::Engine& engine, const std::filesystem::path& folder, std::time_t when,
                    const std::string& message, const std::string& report);

// The entries of the log, newest first (an empty list when there is no log yet). The log is
// closed again and the selected area kept.
std::vector<ErrorLogEntry> readErrorLog(store::Engine& engine, const std::filesystem::path& folder);

// The row the log browser shows first: the newest entry of `today` when there is one, else the
// last row (0 for an empty list).
std::size_t initialLogRow(const std::vector<ErrorLogEntry>& entries, std::int32_t today);

}  // namespace exo::shell

// Memory-variable files: the session file "VarMem01.mem" and the per-company files
// "Consecut.mem" and "Periodos.mem" keep named values of the language in this layout
// (little-endian):
//
//   per variable a 32-byte header
//     0..10  name, upper case, at most 10 characters, NUL padded (byte 10 always NUL)
//     11     type code with the high bit set: 0xC3 text, 0xCE number, 0xC4 date, 0xCC logical
//     16,17  text: stored length including the terminating NUL (16 bits);
//            number: display width (point and decimals included) and decimals;
//            date and logical: 1 and 0
//     other bytes zero
//   followed by the value: text bytes and a NUL; number and date (Julian day) as an 8-byte
//   IEEE double; logical as one byte 1 or 0;
//   and, after the last variable, one byte 0x1A.
//
// Reading checks the whole file before anything is used, so a damaged or truncated file fails
// (FailureError naming the file, Spanish description) without changing anything. Writing
// builds the new file beside the old one, flushes it to the device and renames it into place.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "expr/Value.h"

namespace exo {
class Interp;
}

namespace exo::shell {

// A saved variable: upper-case name and a value of type C, N, D or L.
struct MemVar {
  std::string name;
  Value value;
};

// The bytes of a memory file holding `vars` in order. Names are upper-cased and cut to 10
// characters. Fails (FailureError, GenCode::Write) for a name that is not an identifier, a
// value of another type, or a text longer than 65534 bytes.
std::string encodeMemFile(const std::vector<MemVar>& vars, const std::string& fileName = {});

// The variables held by the bytes of a memory file. `fileName` names the file in failures.
// Fails (FailureError, GenCode::Corruption) for a truncated or damaged file.
std::vector<MemVar> decodeMemFile(std::string_view bytes, const std::string& fileName);

// Reads a memory file. Fails with GenCode::Open when it cannot be read, else as decodeMemFile().
std::vector<MemVar> readMemFile(const std::filesystem::path& path);

// Writes a memory file atomically (beside, flushed, renamed), replacing any previous one.
// Fails with GenCode::Create or GenCode::Write, leaving the previous file as it was.
void writeMemFile(const std::filesystem::path& path, const std::vector<MemVar>& vars);

// Saves the visible memory variables whose name matches `mask` ("mVar*": a trailing asterisk
// matches any ending; case is ignored) in creation order. Variables holding other kinds of
// value (arrays, objects, NIL) are left out. A failure to write is raised through the
// interpreter's handler, which may retry; returns the number of variables written, or 0 when
// the handler chose to go on without the file.
std::size_t saveMemvars(Interp& ip, const std::filesystem::path& path, std::string_view mask);

// Restores a memory file: every variable in it is assigned to the visible variable of that name,
// or declared public when there is none; variables not in the file keep their values. A file
// that cannot be read or is damaged is raised through the handler and changes nothing.
// Returns true when the file was restored.
bool restoreMemvars(Interp& ip, const std::filesystem::path& path);

}  // namespace exo::shell

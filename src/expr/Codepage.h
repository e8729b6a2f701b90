// Conversions between the program's internal text (Windows-1252 bytes, as the tables store them)
// and the encodings met at the edges: UTF-8 (terminal, source literals, XML tools) and code
// page 850 (the OEM character set of the ledger's names).
#pragma once

#include <string>
#include <string_view>

namespace exo {

// Windows-1252 bytes to UTF-8. Bytes without a character (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 control of the same number.
std::string toUtf8(std::string_view cp1252);

// UTF-8 to Windows-1252. Characters outside the code page become '?'; malformed bytes are taken
// as Windows-1252 already, so a text that is already converted passes through unchanged.
std::string fromUtf8(std::string_view utf8);

// Code page 850 (OEM) to Windows-1252 ("OEM to ANSI"); characters without an equivalent become '?'.
std::string oemToAnsi(std::string_view cp850);
// Windows-1252 to code page 850.
std::string ansiToOem(std::string_view cp1252);

}  // namespace exo

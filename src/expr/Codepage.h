// Conversions between the program's internal text (Windows-1252 bytes, as the tables store them)
// and the encodings met at the edges: UTF-8 (terminal, source literals, XML tools) and code
// page 850 (the OEM character set of the ledger's names).
#pragma once

#include <cstdint>
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

// --- text of tables written by other programs (the ledger's) ---------------------------------
// The code page a DBF table's text is written in, from its code-page mark (byte 29 of the
// header), as the xBase family numbers them: 1252 for the Windows ANSI marks (0x03, 0x57, 0x58,
// 0x59), 437 for 0x01, 850 for 0x02 and so on; 0 when the table carries no mark or one the
// family does not define.
int codePageOfMark(std::uint8_t mark);

// The one reading of the ledger's text: a character field of a ledger table (or of a byte copy
// of one) in Windows-1252. A table marked Windows ANSI is taken as it stands; one marked with
// another code page is converted from it; a table without a mark, or with a mark of a page that
// has no byte table here (the double-byte pages), is taken as code page 850, the character set
// the ledger writes. Characters without a Windows-1252 equivalent become '?'.
std::string ledgerText(std::uint8_t mark, std::string_view text);
// The same conversion in place, on `size` bytes of a record.
void convertLedgerText(std::uint8_t mark, char* bytes, std::size_t size);

}  // namespace exo

// Byte tables of the single-byte code pages met in tables written by other programs, towards
// Windows-1252 (used by Codepage.cpp).
#pragma once

namespace exo {

// The 128 Windows-1252 bytes of the characters 0x80 to 0xFF of `codePage`, or null when the
// program has no table for that page.
const unsigned char* upperHalfTo1252(int codePage);

}  // namespace exo

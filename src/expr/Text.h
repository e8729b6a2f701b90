// The program's text helpers (Windows-1252 bytes in std::string): blanks trimmed, padding to a
// width and letter case. Every part of the program trims, pads and upper-cases through here, with
// the same rules the language's Trim(), AllTrim(), PadR(), PadL() and Upper() apply.
//
// Letter case has two rules, chosen here once:
// - Data texts (field contents, messages, keys of character data) use upper1252(): every letter
//   of Windows-1252, accented letters and Ñ included ("ñandú" -> "ÑANDÚ").
// - Names (field names, memory-variable names, aliases, index tag names, function and class
//   names) use upperName(): ASCII letters only. xBase names are made of ASCII letters, digits and
//   underscore; a byte outside ASCII in a name is kept as it is, so that a name means the same
//   whatever the machine's locale or code page, and the names written in DBF headers and CDX tag
//   directories compare exactly as other programs of the family compare them. "año" and "AÑO"
//   are therefore two different names ("AñO" and "AÑO").
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace exo {

// The longest text the language builds (joins, Replicate(), Space(), the Pad functions): a
// longer result is a "Texto demasiado largo" failure.
constexpr std::size_t kMaxTextLength = 64u * 1024 * 1024;

// --- blanks ---------------------------------------------------------------------------------
// "Blank" is the space alone, as in the language's Trim(). "White" also takes the tab and the
// line breaks, for texts typed or read as lines (report definitions, key expressions).

inline bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// --- characters of names --------------------------------------------------------------------

inline bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// A character that may stand in a name: ASCII letter, digit or underscore.
inline bool isNameChar(char c) { return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_'; }

// Without trailing blanks.
// Fields are padded with blanks to their width, often far beyond the value: eight blanks are
// skipped at a time.
inline std::string_view trimRight(std::string_view s) {
  constexpr std::uint64_t kEightBlanks = 0x2020202020202020ULL;
  std::size_t n = s.size();
  while (n >= 8) {
    std::uint64_t word;
    std::memcpy(&word, s.data() + n - 8, 8);
    if (word != kEightBlanks) break;
    n -= 8;
  }
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}

// Without leading blanks.
inline std::string_view trimLeft(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// Without leading and trailing blanks.
inline std::string_view trimBlanks(std::string_view s) { return trimLeft(trimRight(s)); }

// Without leading white space.
inline std::string_view trimLeftWhite(std::string_view s) {
  while (!s.empty() && isWhite(s.front())) s.remove_prefix(1);
  return s;
}

// Without leading and trailing white space.
inline std::string_view trimWhite(std::string_view s) {
  s = trimLeftWhite(s);
  while (!s.empty() && isWhite(s.back())) s.remove_suffix(1);
  return s;
}

// True when the text is empty or only white space (the language's Empty() of a text).
inline bool isWhiteText(std::string_view s) { return trimLeftWhite(s).empty(); }

// --- padding --------------------------------------------------------------------------------

// Exactly `width` characters: the text followed by `fill`, or its first `width` characters.
std::string padRight(std::string_view s, std::size_t width, char fill = ' ');
// Exactly `width` characters: `fill` followed by the text, or its first `width` characters.
std::string padLeft(std::string_view s, std::size_t width, char fill = ' ');
// Exactly `width` characters: the text centred between fills (the odd one after it), or its first
// `width` characters.
std::string padCentre(std::string_view s, std::size_t width, char fill = ' ');

// --- letter case ----------------------------------------------------------------------------

// One byte in upper / lower case under Windows-1252.
unsigned char toUpper1252(unsigned char c);
unsigned char toLower1252(unsigned char c);
// True for a letter of Windows-1252 (ß included).
bool isAlpha1252(unsigned char c);

// A data text in upper case under Windows-1252 (accented letters and Ñ included).
std::string upper1252(std::string_view s);
// A data text in lower case under Windows-1252.
std::string lower1252(std::string_view s);

// A name in upper case: ASCII letters only (see the rule above).
std::string upperName(std::string_view name);

}  // namespace exo

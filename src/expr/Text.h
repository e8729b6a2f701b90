// Small helpers on the program's text (Windows-1252 bytes): blanks trimmed and letter case, the
// same rules the language's Trim(), AllTrim() and Upper() apply.
#pragma once

#include <string>
#include <string_view>

namespace exo {

// Without trailing blanks.
inline std::string_view trimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Without leading and trailing blanks.
inline std::string_view trimBlanks(std::string_view s) {
  s = trimRight(s);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// In upper case under Windows-1252 (accented letters and Ñ included).
std::string upper1252(std::string_view s);

}  // namespace exo

// Text helpers: padding and Windows-1252 letter case.
#include "expr/Text.h"

namespace exo {

std::string padRight(std::string_view s, std::size_t width, char fill) {
  if (s.size() >= width) return std::string(s.substr(0, width));
  std::string out(s);
  out.append(width - s.size(), fill);
  return out;
}

std::string padLeft(std::string_view s, std::size_t width, char fill) {
  if (s.size() >= width) return std::string(s.substr(0, width));
  std::string out(width - s.size(), fill);
  out += s;
  return out;
}

std::string padCentre(std::string_view s, std::size_t width, char fill) {
  if (s.size() >= width) return std::string(s.substr(0, width));
  const std::size_t before = (width - s.size()) / 2;
  std::string out(before, fill);
  out += s;
  out.append(width - out.size(), fill);
  return out;
}

unsigned char toUpper1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 16);
  if (c == 0xFF) return 0x9F;
  return c;
}

unsigned char toLower1252(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 16);
  if (c == 0x9F) return 0xFF;
  return c;
}

bool isAlpha1252(unsigned char c) { return toUpper1252(c) != toLower1252(c) || c == 0xDF; }

std::string upper1252(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(toUpper1252(static_cast<unsigned char>(c)));
  return out;
}

std::string lower1252(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(toLower1252(static_cast<unsigned char>(c)));
  return out;
}

std::string upperName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace exo

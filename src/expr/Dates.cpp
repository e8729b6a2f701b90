// Date conversions.
#include "expr/Dates.h"

#include <cstdio>
#include <ctime>

#include "expr/Codepage.h"

namespace exo {

std::int32_t julianFromYmd(int y, int m, int d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return 0;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return 0;
  const int a = (14 - m) / 12;
  const int yy = y + 4800 - a;
  const int mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

void ymdFromJulian(std::int32_t jd, int& year, int& month, int& day) {
  const int a = jd + 32044;
  const int b = (4 * a + 3) / 146097;
  const int c = a - 146097 * b / 4;
  const int d = (4 * c + 3) / 1461;
  const int e = c - 1461 * d / 4;
  const int m = (5 * e + 2) / 153;
  day = e - (153 * m + 2) / 5 + 1;
  month = m + 3 - 12 * (m / 10);
  year = 100 * b + d - 4800 + m / 10;
}

std::string dateToText(std::int32_t jd) {
  if (jd <= 0) return "  -  -    ";
  int y, m, d;
  ymdFromJulian(jd, y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", d % 100, m % 100, y % 10000);
  return buf;
}

namespace {
// Reads up to `max` digits at s[i]; returns -1 when there is none.
int readInt(std::string_view s, std::size_t& i, int max) {
  while (i < s.size() && s[i] == ' ') ++i;
  int n = 0, count = 0;
  while (i < s.size() && count < max && s[i] >= '0' && s[i] <= '9') {
    n = n * 10 + (s[i++] - '0');
    ++count;
  }
  return count == 0 ? -1 : n;
}
}  // namespace

std::int32_t textToDate(std::string_view text) {
  std::size_t i = 0;
  const int d = readInt(text, i, 2);
  if (d < 0 || i >= text.size()) return 0;
  ++i;
  const int m = readInt(text, i, 2);
  if (m < 0 || i >= text.size()) return 0;
  ++i;
  const std::size_t yearStart = i;
  int y = readInt(text, i, 4);
  if (y < 0) return 0;
  if (y < 100 && i - yearStart <= 2) {
    const int century = kEpochYear / 100 * 100;
    y += century;
    if (y < kEpochYear) y += 100;
  }
  return julianFromYmd(y, m, d);
}

std::string dateToKey(std::int32_t jd) {
  if (jd <= 0) return std::string(8, ' ');
  int y, m, d;
  ymdFromJulian(jd, y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y % 10000, m % 100, d % 100);
  return buf;
}

std::int32_t keyToDate(std::string_view key) {
  if (key.size() < 8) return 0;
  int parts[3] = {0, 0, 0};
  const int lens[3] = {4, 2, 2};
  std::size_t pos = 0;
  for (int p = 0; p < 3; ++p) {
    for (int k = 0; k < lens[p]; ++k, ++pos) {
      const char c = key[pos];
      if (c < '0' || c > '9') return 0;
      parts[p] = parts[p] * 10 + (c - '0');
    }
  }
  return julianFromYmd(parts[0], parts[1], parts[2]);
}

int dayOfWeek(std::int32_t jd) { return jd <= 0 ? 0 : (jd + 1) % 7 + 1; }

std::string monthName(int month) {
  static const char* kNames[] = {"Enero",      "Febrero", "Marzo",     "Abril",
                                 "Mayo",       "Junio",   "Julio",     "Agosto",
                                 "Septiembre", "Octubre", "Noviembre", "Diciembre"};
  return month >= 1 && month <= 12 ? kNames[month - 1] : "";
}

std::string dayName(int dow) {
  static const char* kNames[] = {"Domingo", "Lunes",   "Martes",   "Mi\xE9rcoles",
                                 "Jueves",  "Viernes", "S\341bado"};
  return dow >= 1 && dow <= 7 ? kNames[dow - 1] : "";
}

std::int32_t today() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return julianFromYmd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

}  // namespace exo

// Dates of the language: Julian day numbers (0 = empty date), shown and read as dd-mm-yyyy;
// two-digit years fall in 1990-2089.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace exo {

constexpr int kEpochYear = 1990;

// Julian day of a civil date, or 0 when the date does not exist.
std::int32_t julianFromYmd(int year, int month, int day);
// Civil date of a Julian day. REQUIRES: jd > 0.
void ymdFromJulian(std::int32_t jd, int& year, int& month, int& day);

std::string dateToText(std::int32_t jd);         // "dd-mm-yyyy"; empty date "  -  -    "
std::int32_t textToDate(std::string_view text);  // CtoD: dd-mm-yy or dd-mm-yyyy, 0 when invalid
std::string dateToKey(std::int32_t jd);          // DtoS: "yyyymmdd"; empty date 8 blanks
std::int32_t keyToDate(std::string_view key);    // StoD
int dayOfWeek(std::int32_t jd);                  // 1 = Sunday ... 7 = Saturday, 0 for empty
std::string monthName(int month);                // Spanish, "Enero"...
std::string dayName(int dow);                    // Spanish, "Domingo"...
std::int32_t today();

}  // namespace exo

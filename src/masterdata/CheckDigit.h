// The DIAN check digit (dígito de verificación) of an identification number, shared by every
// third-party record of the system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace exo::masterdata {

// The most digits an identification may have and still carry a check digit: the weights of the
// DIAN method cover fifteen positions.
inline constexpr std::size_t kMaxIdentificationDigits = 15;

// The significant digits of an identification as the check digit reads them: dots and commas
// removed, only the part before the first hyphen, leading blanks skipped, the run of digits up
// to the first other character, without its leading zeros ("" stands for the value 0).
std::string identificationDigits(std::string_view identification);

// CALCULADIGV: the DIAN check digit ("0".."9") of an identification, read as
// identificationDigits() reads it; letters or blanks end the number and a text without digits
// counts as 0. Never throws. An identification of more than kMaxIdentificationDigits digits
// has no check digit of its own: the result is then the digit of its last fifteen digits, and
// callers that judge a record treat such an identification as not matching any written digit
// (see isCheckable()).
std::string CALCULADIGV(std::string_view identification);

// True when the identification has at most kMaxIdentificationDigits significant digits.
bool isCheckable(std::string_view identification);

}  // namespace exo::masterdata

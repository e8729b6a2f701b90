// The DIAN check digit: fifteen digits weighted by fixed primes, modulo 11.
#include "masterdata/CheckDigit.h"

#include <array>

namespace exo::masterdata {
namespace {

constexpr std::array<int, kMaxIdentificationDigits> kWeights = {71, 67, 59, 53, 47, 43, 41, 37,
                                                                29, 23, 19, 17, 13, 7,  3};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string identificationDigits(std::string_view identification) {
  std::string kept;
  kept.reserve(identification.size());
  for (char c : identification) {
    if (c == '-') break;
    if (c != '.' && c != ',') kept += c;
  }
  std::size_t i = kept.find_first_not_of(' ');
  if (i == std::string::npos) return {};
  std::size_t end = i;
  while (end < kept.size() && isDigit(kept[end])) ++end;
  while (i < end && kept[i] == '0') ++i;
  return kept.substr(i, end - i);
}

bool isCheckable(std::string_view identification) {
  return identificationDigits(identification).size() <= kMaxIdentificationDigits;
}

std::string CALCULADIGV(std::string_view identification) {
  std::string digits = identificationDigits(identification);
  if (digits.size() > kMaxIdentificationDigits)
    digits.erase(0, digits.size() - kMaxIdentificationDigits);
  const std::size_t offset = kMaxIdentificationDigits - digits.size();
  int sum = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) sum += (digits[i] - '0') * kWeights[offset + i];
  const int r = sum % 11;
  return std::string(1, static_cast<char>('0' + (r <= 1 ? r : 11 - r)));
}

}  // namespace exo::masterdata

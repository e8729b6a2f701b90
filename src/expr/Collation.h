// Spanish Windows-1252 collation: the one ordering of text used by the whole program
// (index keys, seeks, scopes, ASort, relational operators on text).
//
// Every byte has its own rank, so two texts collate equal only when their bytes are equal;
// the ranks put accented letters beside their base letter and Ñ after N.
#pragma once

#include <cstdint>
#include <string_view>

namespace exo {

// Rank of each byte in the Spanish collation (0..255, a permutation).
extern const std::uint8_t kCollationWeights[256];
inline std::uint8_t collationWeight(unsigned char byte) { return kCollationWeights[byte]; }

// Three-way comparison of two byte strings under the collation: negative, zero or positive.
// Strings are compared byte by byte; a proper prefix sorts first.
int collate(std::string_view a, std::string_view b);

// True when the two texts are in non-decreasing collation order.
inline bool collatesBefore(std::string_view a, std::string_view b) { return collate(a, b) < 0; }

}  // namespace exo

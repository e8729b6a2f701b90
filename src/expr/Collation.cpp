// Spanish Windows-1252 collation table and comparison.
#include "expr/Collation.h"

#include <algorithm>

namespace exo {
namespace {

// Rank of each byte value, from the Spanish sort table of the code page.
constexpr std::uint8_t kWeights[256] = {
      0,   1,   2,   3,   4,   5,   6,   7,   8,   9,  10,  11,  12,  13,  14,  15,
     16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  31,
     32,  33,  34,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,
     48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,
     64,  65,  69,  70,  72,  73,  77,  78,  79,  80,  84,  85,  86,  87,  88,  90,
     94,  95,  96,  97,  98,  99, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112,
    113, 114, 118, 119, 121, 122, 126, 127, 128, 129, 133, 134, 135, 136, 137, 139,
    143, 144, 145, 146, 147, 148, 152, 153, 154, 155, 156, 157, 158, 159, 160, 161,
    162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 177,
    178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 191, 192, 193,
    194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 206, 207, 208, 209,
    210, 211, 212, 213, 214, 215, 216, 217, 218, 219, 220, 221, 222, 223, 224, 225,
     67,  66, 226, 227,  68, 228, 229,  71,  75,  74, 230,  76,  82,  81, 231,  83,
    232,  89,  92,  91, 233, 234,  93, 235, 236, 101, 100, 237, 102, 238, 239, 240,
    116, 115, 241, 242, 117, 243, 244, 120, 124, 123, 245, 125, 131, 130, 246, 132,
    247, 138, 141, 140, 248, 249, 142, 250, 251, 150, 149, 252, 151, 253, 254, 255,
};

}  // namespace

std::uint8_t collationWeight(unsigned char byte) { return kWeights[byte]; }

int collate(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char ca = static_cast<unsigned char>(a[i]);
    const unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return int{kWeights[ca]} - int{kWeights[cb]};
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace exo

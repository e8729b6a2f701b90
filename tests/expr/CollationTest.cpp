#include "expr/Collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(Collation, RanksAreAPermutationMatchingThePeerTable) {
  std::ifstream in(EXOGENA_SHARED_DIR "/testdata/xbase-peer/collation-spanish-1252.txt");
  ASSERT_TRUE(in) << "missing peer collation table";
  std::string line;
  std::set<int> seen;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    int rank = 0;
    std::string hex;
    fields >> rank >> hex;
    const int byte = std::stoi(hex, nullptr, 16);
    EXPECT_EQ(exo::collationWeight(static_cast<unsigned char>(byte)), rank) << hex;
    seen.insert(byte);
  }
  EXPECT_EQ(seen.size(), 256u);
}

TEST(Collation, SpanishLettersSortBesideTheirBase) {
  // Windows-1252: \xD1 = Ñ, \xC1 = Á, \xE9 = é.
  std::vector<std::string> words = {"OSO", "\xD1U", "NUBE", "\xC1RBOL", "ZETA", "ARBOL", "B"};
  std::sort(words.begin(), words.end(),
            [](const std::string& a, const std::string& b) { return exo::collate(a, b) < 0; });
  const std::vector<std::string> expected = {"ARBOL", "\xC1RBOL", "B",   "NUBE",
                                             "\xD1U", "OSO",      "ZETA"};
  EXPECT_EQ(words, expected);
  EXPECT_LT(exo::collate("AB", "ABC"), 0);
  EXPECT_EQ(exo::collate("", ""), 0);
  EXPECT_GT(exo::collate("b", "B"), 0);
}

}  // namespace

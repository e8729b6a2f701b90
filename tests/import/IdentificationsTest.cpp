// The identifications of third-party codes looked up in the directory copy: many codes (the
// table of codes grows several times), codes longer than the directory's, blank and unknown
// codes, and codes noted during a scan and looked up together afterwards.
#include <gtest/gtest.h>

#include <cstdio>

#include "LedgerFixture.h"
#include "import/Identifications.h"
#include "import/LedgerImport.h"
#include "store/Dictionary.h"

namespace {

using exo::import::Identifications;
using namespace ledgertest;

std::string code(int i) {
  char text[8];
  std::snprintf(text, sizeof text, "%05d", i);
  return text;
}

class IdentificationsOfCodes : public ::testing::Test, public LedgerCompany {
 protected:
  static constexpr int kParties = 3000;
  void SetUp() override {
    std::vector<std::pair<std::string, std::string>> parties;
    // Every other code is registered, its identification made of the code.
    for (int i = 0; i < kParties; i += 2) parties.emplace_back(code(i), "NIT" + code(i));
    writeDirectory(parties);
    writePeriod(0, {});
    writePeriod(1, {{"FC", "0001", "1.3.05", "00002", 10, "", "x"}});
    ASSERT_TRUE(exo::import::IMPORTATRACON(*session, engine).done);
    area = engine.open((work() / exo::store::kDirectoryCopy).string(), "DIRID", true, true);
    ASSERT_NE(area, 0);
    engine.addIndex(area, exo::store::kDirectoryCopyIndex);
    engine.setOrder(area, engine.orders(area).front().tag);
  }
  void TearDown() override { engine.close(ip, area); }
  static std::string expected(int i) {
    return i % 2 == 0 ? "NIT" + code(i) : std::string(exo::store::kNotRegistered);
  }
  int area = 0;
};

TEST_F(IdentificationsOfCodes, ManyCodesAndLongOnes) {
  Identifications ids(engine, area);
  EXPECT_EQ(ids.find("00002"), nullptr);
  // In a scrambled order, each asked twice: the second answer comes from the table of codes.
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < kParties; ++k) {
      const int i = (k * 7919) % kParties;
      ASSERT_EQ(ids.of(code(i)), expected(i)) << code(i);
    }
  }
  for (int i = 0; i < kParties; ++i) {
    const std::string* found = ids.find(code(i));
    ASSERT_NE(found, nullptr) << code(i);
    EXPECT_EQ(*found, expected(i));
  }
  // A code with trailing blanks is its own entry with the same answer; a blank code, and codes
  // longer than a short key, that the directory does not hold, are not registered.
  EXPECT_EQ(ids.of("00004  "), "NIT00004");
  EXPECT_EQ(ids.of(""), exo::store::kNotRegistered);
  EXPECT_EQ(ids.of("     "), exo::store::kNotRegistered);
  EXPECT_EQ(ids.of("0000400000"), exo::store::kNotRegistered);
  EXPECT_EQ(ids.of("00004000"), exo::store::kNotRegistered);
  ASSERT_NE(ids.find("0000400000"), nullptr);
  EXPECT_EQ(ids.find("000040000"), nullptr);
  // Codes that differ only in a byte past the fifth, or in length, are different codes.
  EXPECT_EQ(ids.find("0000"), nullptr);
  EXPECT_EQ(ids.find(std::string("00004\0", 6)), nullptr);
}

TEST_F(IdentificationsOfCodes, NotedCodesAreLookedUpTogether) {
  Identifications ids(engine, area);
  EXPECT_EQ(ids.of("00010"), "NIT00010");
  for (int i = 0; i < 600; ++i) ids.note(code(i));
  ids.note("00010");
  ids.note(code(5));  // noted twice
  // The directory is not moved while codes are noted.
  const std::int64_t before = engine.recNo(area);
  ids.note(code(700));
  EXPECT_EQ(engine.recNo(area), before);
  ids.lookUpNoted();
  for (int i = 0; i < 600; ++i) {
    const std::string* found = ids.find(code(i));
    ASSERT_NE(found, nullptr) << code(i);
    EXPECT_EQ(*found, expected(i)) << code(i);
  }
  EXPECT_EQ(*ids.find(code(700)), expected(700));
  EXPECT_EQ(ids.of(code(601)), expected(601));
}

}  // namespace

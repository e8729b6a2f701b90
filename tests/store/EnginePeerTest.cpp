// Tables and index files written by another program, read through the work areas and through
// exogena-cli dbf: every tag walks in the order of its listing file (the work areas hide the
// deleted records, the tool shows every key), and seeks find every listed key.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "StoreTestSupport.h"
#include "expr/Interp.h"
#include "store/Engine.h"

namespace {

using exo::Interp;
using exo::Value;
using exo::store::Engine;

const char* const kTags[] = {"CODIGO", "NOMDESC", "MONTO", "FECHA", "MARCA"};

std::string run(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  char buf[4096];
  while (const std::size_t n = std::fread(buf, 1, sizeof buf, pipe.get())) out.append(buf, n);
  return out;
}

class PeerTables : public ::testing::TestWithParam<std::string> {
 protected:
  std::string dir() const { return storetest::kPeerDir + "/" + GetParam(); }
};

TEST_P(PeerTables, WorkAreasWalkEveryTagAsListedWithoutDeletedRecords) {
  Interp ip;
  Engine engine(ip);
  const int area = engine.open(dir() + "/VECTAB", "VEC", true, true);  // any letter case
  ASSERT_GT(area, 0);
  ASSERT_EQ(engine.orders(area).size(), 5u);  // the index file of its name opened with it
  for (const char* tag : kTags) {
    SCOPED_TRACE(tag);
    std::vector<std::uint32_t> expected;
    for (const auto& k : storetest::readListing(dir() + "/listing_" + tag + ".txt")) {
      if (!k.deleted) expected.push_back(k.recno);
    }
    engine.setOrder(area, tag);
    std::vector<std::uint32_t> walked;
    engine.forEach(area, [&] {
      walked.push_back(static_cast<std::uint32_t>(engine.recNo(area)));
      return true;
    });
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(engine.keyCount(ip, area), static_cast<std::int64_t>(expected.size()));

    // Backwards from the bottom gives the same records reversed.
    std::vector<std::uint32_t> back;
    engine.goBottom(ip, area);
    while (!engine.bof(area) && !engine.eof(area)) {
      back.push_back(static_cast<std::uint32_t>(engine.recNo(area)));
      engine.skip(ip, area, -1);
    }
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, expected);
  }

  // Seeks through the language land on the listed records.
  engine.setOrder(area, "CODIGO");
  for (const auto& k : storetest::readListing(dir() + "/listing_CODIGO.txt")) {
    if (k.deleted) continue;
    engine.goTo(ip, static_cast<int>(area), k.recno);
    const std::string code = engine.text(area, "CODIGO");
    ASSERT_TRUE(engine.seekKey(area, Value::text(code))) << code;
    EXPECT_EQ(engine.text(area, "CODIGO"), code);
  }
  engine.setOrder(area, "FECHA");
  EXPECT_TRUE(ip.evalText("dbSeek('2024')").logical());
  EXPECT_EQ(ip.evalText("Year(FECHA)").num(), 2024);
}

TEST_P(PeerTables, CliListsEveryKeyOfATagInItsOrder) {
  for (const char* tag : kTags) {
    SCOPED_TRACE(tag);
    std::string expected;
    for (const auto& k : storetest::readListing(dir() + "/listing_" + tag + ".txt")) {
      expected += std::to_string(k.recno) + "\n";
    }
    EXPECT_EQ(
        run(std::string(EXOGENA_CLI) + " dbf " + dir() + "/vectab.dbf --tag " + tag + " --recnos"),
        expected);
  }
  const std::string listing = run(std::string(EXOGENA_CLI) + " dbf " + dir() + "/vectab.dbf");
  EXPECT_NE(listing.find("NOMDESC  clave NOMBRE  descendente"), std::string::npos);
  EXPECT_NE(listing.find("\n3   \xC3\x91"
                         "AND\xC3\x9A-01 | "),
            std::string::npos)
      << listing;
  EXPECT_NE(run(std::string(EXOGENA_CLI) + " dbf /nonexistent/x.dbf 2>&1").find("exogena-cli:"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sets, PeerTables, ::testing::Values("spanish", "plain"));

}  // namespace

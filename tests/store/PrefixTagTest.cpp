// A tag whose key is the start of another's, built from that tag's sorted keys: the index file
// must be the one two separate builds write, whatever the keys (many records under one start,
// accented and lower-case letters that the Spanish order places apart from their bytes, deleted
// records), and keys that are not such a start are built the ordinary way.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "StoreTestSupport.h"
#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Engine.h"

namespace {

using exo::Interp;
using exo::Value;
using exo::store::Engine;

class PrefixTagTest : public ::testing::Test {
 protected:
  Interp ip;
  Engine engine{ip};
  storetest::TempDir dir;

  // A table of TIPO C2, NUMERO C6, TERCERO C5 and MONTO N10.2, the same in every file asked;
  // every seventh record deleted.
  void writeTable(const std::string& name, int rows) {
    const std::string path = dir.file(name);
    engine.createTable(path, {{"TIPO", 'C', 2, 0},
                              {"NUMERO", 'C', 6, 0},
                              {"TERCERO", 'C', 5, 0},
                              {"MONTO", 'N', 10, 2}});
    const int area = engine.open(path, "T", false);
    const std::vector<std::string> types = {"FC",
                                            "fc",
                                            "\xD1"
                                            "A",
                                            "NA",
                                            "CE",
                                            "\xC9"
                                            "X",
                                            "E "};
    for (int i = 0; i < rows; ++i) {
      engine.appendBlank(area);
      const int voucher = (i * 7919) % (rows / 4 + 1);
      engine.put(area, "TIPO",
                 Value::text(types[static_cast<std::size_t>(voucher) % types.size()]));
      engine.put(area, "NUMERO", Value::text(std::to_string(voucher % 997)));
      engine.put(area, "TERCERO", Value::text(std::to_string((i * 31) % 23)));
      engine.put(area, "MONTO", Value::number(i));
      if (i % 7 == 3) engine.deleteRecord(ip, area);
    }
    engine.close(ip, area);
  }

  // The index file of `table` with tags A on `whole` and B on `start`, built as asked.
  std::string build(const std::string& table, bool together, const std::string& whole,
                    const std::string& start, const std::string& condition = "!Deleted()") {
    const int area = engine.open(dir.file(table), "T", false);
    const std::string index = dir.file(table + ".cdx");
    if (together) {
      engine.buildIndexWithPrefix(area, index, "A", whole, "B", start, condition);
    } else {
      engine.buildIndex(area, index, "A", whole, condition);
      engine.buildIndex(area, index, "B", start, condition);
    }
    engine.close(ip, area);
    return storetest::readFile(index);
  }
};

TEST_F(PrefixTagTest, TheStartOfAKeyGivesTheFileOfTwoBuilds) {
  for (const int rows : {1, 40, 30000}) {
    SCOPED_TRACE(rows);
    writeTable("uno.dbf", rows);
    writeTable("dos.dbf", rows);
    const std::string together = build("uno.dbf", true, "TIPO+NUMERO+TERCERO", "TIPO+NUMERO");
    EXPECT_TRUE(together == build("dos.dbf", false, "TIPO+NUMERO+TERCERO", "TIPO+NUMERO"));
    // The tags describe the table, in the Spanish order.
    const int area = engine.open(dir.file("uno.dbf"), "T", true, true);
    engine.addIndex(area, dir.file("uno.dbf.cdx"));
    engine.setOrder(area, "B");
    std::string previous;
    std::int64_t previousRecord = 0;
    std::int64_t keys = 0;
    engine.forEach(area, [&] {
      const std::string key = engine.text(area, "TIPO") + engine.text(area, "NUMERO");
      const std::int64_t record = engine.recNo(area);
      if (keys > 0) {
        EXPECT_TRUE(ip.evalText("'" + previous + "' <= '" + key + "'").logical());
        if (previous == key) EXPECT_LT(previousRecord, record);
      }
      previous = key;
      previousRecord = record;
      ++keys;
      return true;
    });
    EXPECT_EQ(keys, rows - (rows + 3) / 7);
    engine.close(ip, area);
  }
}

TEST_F(PrefixTagTest, KeysThatAreNotTheStartAreBuiltOnTheirOwn) {
  writeTable("uno.dbf", 500);
  writeTable("dos.dbf", 500);
  // A key of the same fields in another order, one evaluated, and a condition that is read.
  for (const auto& [whole, start, condition] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"TIPO+NUMERO+TERCERO", "NUMERO+TIPO", "!Deleted()"},
           {"TIPO+NUMERO+TERCERO", "Upper(TIPO)", "!Deleted()"},
           {"TIPO+NUMERO+TERCERO", "TIPO+NUMERO", "MONTO > 100"},
           {"TIPO+NUMERO", "TIPO+NUMERO+TERCERO", ""}}) {
    SCOPED_TRACE(whole + " / " + start + " / " + condition);
    EXPECT_TRUE(build("uno.dbf", true, whole, start, condition) ==
                build("dos.dbf", false, whole, start, condition));
  }
}

}  // namespace

// Numeric fields whose text is not a number (the asterisks an xBase writer leaves when a value
// does not fit, or any other text): every read of the engine reports the file, the record and
// the field instead of taking the value as zero; a blank field still reads as zero.
#include <gtest/gtest.h>

#include <cstring>

#include "StoreTestSupport.h"
#include "expr/Interp.h"
#include "store/Dbf.h"
#include "store/Engine.h"

namespace {

using exo::ErrorReply;
using exo::Failure;
using exo::GenCode;
using exo::Interp;
using exo::Value;
using exo::store::Dbf;
using exo::store::Engine;

class UnreadableNumberTest : public ::testing::Test {
 protected:
  Interp ip;
  Engine engine{ip};
  storetest::TempDir dir;
  std::vector<Failure> seen;
  std::string table = dir.file("movs.dbf");

  void SetUp() override {
    ip.setErrorHandler([this](Interp&, const Failure& f) {
      seen.push_back(f);
      return ErrorReply::byDefault();
    });
  }

  // Records of CLAVE and MONTO (N 16,2) whose MONTO bytes are written as given: right-aligned
  // text, as another program would leave them.
  void writeTable(const std::vector<std::pair<std::string, std::string>>& rows) {
    Dbf t = Dbf::create(table, {{"CLAVE", 'C', 4, 0}, {"MONTO", 'N', 16, 2}});
    for (const auto& [key, monto] : rows) {
      std::vector<char> rec = t.blankRecord();
      t.setText(rec.data(), 0, key);
      const exo::store::Field& f = t.fields()[1];
      std::memset(rec.data() + f.offset, ' ', f.length);
      std::memcpy(rec.data() + f.offset + f.length - monto.size(), monto.data(), monto.size());
      t.append(rec.data());
    }
    t.close();
  }

  void expectNamed(const Failure& f, const std::string& record, const std::string& what) {
    EXPECT_EQ(f.fileName, table);
    EXPECT_EQ(f.genCode, GenCode::DataType);
    EXPECT_NE(f.description.find("MONTO del registro " + record), std::string::npos)
        << f.description;
    EXPECT_NE(f.description.find(what), std::string::npos) << f.description;
  }
};

TEST_F(UnreadableNumberTest, FieldReadsReportTheRecordAndFieldAndBlankIsZero) {
  writeTable({{"A", "1500.00"}, {"B", std::string(16, '*')}, {"C", ""}, {"D", "12,5"}});
  const int area = engine.open(table, "MOVS", true, true);
  EXPECT_EQ(engine.number(area, "MONTO"), 1500);
  engine.goTo(ip, area, 3);
  EXPECT_EQ(engine.number(area, "MONTO"), 0);  // blank: zero, as xBase reads it
  EXPECT_TRUE(seen.empty());

  engine.goTo(ip, area, 2);
  EXPECT_EQ(engine.number(area, "MONTO"), 0);  // the handler went on with the default
  ASSERT_EQ(seen.size(), 1u);
  expectNamed(seen[0], "2", "asteriscos");
  engine.goTo(ip, area, 4);
  EXPECT_EQ(ip.evalText("MONTO + 1").num(), 1);
  ASSERT_EQ(seen.size(), 2u);
  expectNamed(seen[1], "4", "12,5");

  // Abandoned, the failure goes on up instead of a zero.
  ip.setErrorHandler([](Interp&, const Failure&) { return ErrorReply::abandon(); });
  EXPECT_THROW(engine.number(area, "MONTO"), exo::FailureError);
  engine.close(ip, area);
}

TEST_F(UnreadableNumberTest, AFilterOverTheTableNamesTheRecordItReads) {
  writeTable({{"A", "1"}, {"B", "2"}, {"C", "-**"}});
  const int area = engine.open(table, "MOVS", true, true);
  engine.setFilter(ip, area, "MONTO > 0");
  EXPECT_EQ(engine.keyCount(ip, area), 2);
  ASSERT_FALSE(seen.empty());
  expectNamed(seen[0], "3", "-**");
  engine.close(ip, area);
}

TEST_F(UnreadableNumberTest, AppendFromStopsAtTheRecordInsteadOfCarryingZero) {
  writeTable({{"A", "10"}, {"B", "20"}, {"C", std::string(16, '*')}, {"D", "40"}});
  const std::string target = dir.file("target.dbf");
  engine.createTable(target, {{"CLAVE", 'C', 4, 0}, {"MONTO", 'N', 16, 2}});
  const int area = engine.open(target, "TARGET", false);
  // Both forms: the condition of the language and the test on the record's bytes.
  EXPECT_EQ(engine.appendFrom(area, table, ".T."), 2u);
  ASSERT_EQ(seen.size(), 1u);
  expectNamed(seen[0], "3", "asteriscos");
  EXPECT_EQ(engine.appendFrom(area, table, [](const Dbf&, const char*) { return true; }), 2u);
  ASSERT_EQ(seen.size(), 2u);
  expectNamed(seen[1], "3", "asteriscos");
  engine.close(ip, area);
}

TEST_F(UnreadableNumberTest, TotalsByKeyStopInsteadOfLeavingTheValueOut) {
  writeTable({{"A", "10"}, {"A", "20"}, {"B", "30"}, {"B", "4x"}});
  const int area = engine.open(table, "MOVS", true, true);
  engine.total(area, dir.file("totals.dbf"), "CLAVE", {"MONTO"});
  ASSERT_EQ(seen.size(), 1u);
  expectNamed(seen[0], "4", "4x");
  engine.close(ip, area);
  // What was written stops before the run that held the value: no total of B without it.
  const int totals = engine.open(dir.file("totals.dbf"), "TOT", true, true);
  EXPECT_EQ(engine.recCount(totals), 1);
  EXPECT_EQ(engine.number(totals, "MONTO"), 30);
  engine.close(ip, totals);
}

}  // namespace

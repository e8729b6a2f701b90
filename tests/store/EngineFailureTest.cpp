// Tables and their index files after failures: writes that the file refuses (the file turned
// read-only under the open), key changes that fail half way, appends that never reach the file,
// programs killed while appending, and stale index files that cannot be erased. In every case
// the tags must describe exactly the table's records afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <set>

#include "StoreTestSupport.h"
#include "TagCheck.h"
#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Engine.h"

namespace {

using storetest::expectTagsDescribeTable;

using exo::ErrorReply;
using exo::Failure;
using exo::GenCode;
using exo::Interp;
using exo::Value;
using exo::store::Cdx;
using exo::store::CdxCursor;
using exo::store::Dbf;
using exo::store::Engine;

const std::string kMissingKeys =
    "\315ndice desactualizado: faltan claves de los \372ltimos registros";

// Every descriptor of this process on `path` is reopened in place, read-only or writable again:
// writes through an open that had been allowed them fail as on a file whose permission is gone.
void reopenInPlace(const std::string& path, bool writable) {
  const auto wanted = std::filesystem::canonical(path);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(entry.path(), ec);
    if (ec || target != wanted) continue;
    const int fd = std::stoi(entry.path().filename().string());
    const int again = ::open(path.c_str(), writable ? O_RDWR : O_RDONLY);
    ASSERT_GE(again, 0);
    ASSERT_EQ(::dup2(again, fd), fd);
    ::close(again);
  }
}

class EngineFailureTest : public ::testing::Test {
 protected:
  Interp ip;
  Engine engine{ip};
  storetest::TempDir dir;
  std::vector<Failure> seen;
  std::string table = dir.file("movs.dbf");
  std::string index = dir.file("movs.cdx");
  std::string extra = dir.file("nombres.cdx");

  void SetUp() override {
    ip.setErrorHandler([this](Interp&, const Failure& f) {
      seen.push_back(f);
      return ErrorReply::byDefault();
    });
  }

  // A table of `n` records (NUMERO "00000001"..., NOMBRE "N1"...) with tag NUMERO in its own
  // index file and tag NOMBRE in a second one (when `twoFiles`) or in the same one.
  int makeTable(std::uint32_t n, bool shared, bool twoFiles) {
    engine.createTable(table, {{"NUMERO", 'C', 8, 0}, {"NOMBRE", 'C', 10, 0}});
    const int area = engine.open(table, "MOV", shared, false);
    for (std::uint32_t i = 1; i <= n; ++i) {
      engine.appendBlank(area);
      fill(area, i);
    }
    engine.buildIndex(area, "", "NUMERO", "NUMERO", "!Deleted()");
    engine.buildIndex(area, twoFiles ? extra : "", "NOMBRE", "NOMBRE", "!Deleted()");
    engine.commit(ip, area);
    return area;
  }
  void fill(int area, std::uint32_t i) {
    char numero[9];
    std::snprintf(numero, sizeof numero, "%08u", i);
    engine.put(area, "NUMERO", Value::text(numero));
    engine.put(area, "NOMBRE", Value::text("N" + std::to_string(i)));
  }
  void expectSound() {
    expectTagsDescribeTable(table, index);
    if (std::filesystem::exists(extra)) expectTagsDescribeTable(table, extra);
  }
};

// A record change the table file refuses: the change is given up (the area shows the stored
// record) and no tag takes the new keys.
TEST_F(EngineFailureTest, ARefusedRecordWriteLeavesTheKeysAsTheFileIs) {
  const int area = makeTable(20, false, false);
  engine.setOrder(area, "NUMERO");
  ASSERT_TRUE(engine.seekKey(area, Value::text("00000007")));
  engine.put(area, "NUMERO", Value::text("99999999"));
  engine.put(area, "NOMBRE", Value::text("CAMBIADO"));
  reopenInPlace(table, false);
  engine.commit(ip, area);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0].genCode, GenCode::Write);
  EXPECT_EQ(seen[0].fileName, table);
  EXPECT_EQ(engine.text(area, "NUMERO"), "00000007");
  EXPECT_FALSE(engine.seekKey(area, Value::text("99999999")));
  EXPECT_TRUE(engine.seekKey(area, Value::text("00000007")));
  reopenInPlace(table, true);
  engine.close(ip, area);
  expectSound();
}

// A key change that fails in the second index file: the first file's key and the record go
// back, so both files still describe the table.
TEST_F(EngineFailureTest, AFailedKeyChangeIsUndoneInEveryTagAndInTheRecord) {
  const int area = makeTable(600, false, true);
  engine.goTo(ip, area, 300);
  engine.put(area, "NUMERO", Value::text("AAAAAAAA"));
  engine.put(area, "NOMBRE", Value::text("BBBBBBBBBB"));
  reopenInPlace(extra, false);
  engine.goTo(ip, area, 1);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0].fileName, extra);
  engine.goTo(ip, area, 300);
  EXPECT_EQ(engine.text(area, "NUMERO"), "00000300");
  reopenInPlace(extra, true);
  EXPECT_EQ(seen.size(), 1u);  // the undo itself went through

  // The same when the handler abandons the operation: the failure goes on up, undone.
  ip.setErrorHandler([](Interp&, const Failure&) { return ErrorReply::abandon(); });
  engine.put(area, "NUMERO", Value::text("CCCCCCCC"));
  engine.put(area, "NOMBRE", Value::text("DDDDDDDDDD"));
  reopenInPlace(extra, false);
  EXPECT_THROW(engine.commit(ip, area), exo::FailureError);
  reopenInPlace(extra, true);
  EXPECT_EQ(engine.text(area, "NUMERO"), "00000300");
  engine.close(ip, area);
  expectSound();
}

// Appends that fail: a record whose keys cannot all be added is withdrawn (marked deleted, no
// keys), and buffered appends of an exclusive open that cannot be written when the table closes
// are given up with their keys.
TEST_F(EngineFailureTest, FailedAppendsLeaveNoKeysForRecordsThatAreNotThere) {
  int area = makeTable(10, false, true);
  reopenInPlace(extra, false);
  engine.appendBlank(area);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(engine.recCount(area), 11);
  reopenInPlace(extra, true);
  engine.close(ip, area);
  expectSound();

  seen.clear();
  area = engine.open(table, "MOV", false, false);
  engine.addIndex(area, extra);
  for (std::uint32_t i = 12; i <= 40; ++i) {
    engine.appendBlank(area);
    fill(area, i);
  }
  engine.goTop(ip, area);
  reopenInPlace(table, false);
  engine.close(ip, area);
  EXPECT_FALSE(seen.empty());
  expectSound();
  Dbf t = Dbf::open(table, {true, true, 0});
  EXPECT_EQ(t.recordCount(), 11u);
}

// Keys missing for the last records (a program killed between an append and its keys): an open
// that may write rebuilds the tags; a read-only open reports it naming the index file; a record
// that another user has locked is being written and is left alone.
TEST_F(EngineFailureTest, MissingKeysOfTheLastRecordsAreRebuiltOrReported) {
  engine.close(ip, makeTable(30, true, false));
  {
    Dbf t = Dbf::open(table, {true, false, 0});
    std::vector<char> rec = t.blankRecord();
    t.setText(rec.data(), 0, "00000031");
    t.setText(rec.data(), 1, "N31");
    t.append(rec.data());
  }
  int area = engine.open(table, "MOV", true, true);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].description, kMissingKeys);
  EXPECT_EQ(seen[0].fileName, index);
  engine.close(ip, area);

  seen.clear();
  {
    Dbf other = Dbf::open(table, {true, false, 0});
    ASSERT_TRUE(other.lockRecord(31));
    area = engine.open(table, "MOV", true, false);
    EXPECT_TRUE(seen.empty());
    engine.setOrder(area, "NUMERO");
    EXPECT_FALSE(engine.seekKey(area, Value::text("00000031")));  // not touched while locked
    engine.close(ip, area);
  }

  area = engine.open(table, "MOV", true, false);
  EXPECT_TRUE(seen.empty());
  engine.setOrder(area, "NOMBRE");
  EXPECT_TRUE(engine.seekKey(area, Value::text("N31")));
  EXPECT_EQ(engine.recNo(area), 31);
  engine.close(ip, area);
  expectSound();
}

// A tag of unique keys holds a repeated key once, for its first record: the later records with
// that key lack nothing.
TEST_F(EngineFailureTest, UniqueTagsDoNotCountRepeatedKeysAsMissing) {
  engine.close(ip, makeTable(3, false, false));
  {
    Dbf t = Dbf::open(table, {false, false, 0});
    std::vector<char> rec = t.blankRecord();
    t.setText(rec.data(), 0, "00000003");
    t.append(rec.data());
    t.append(rec.data());
    exo::store::KeyBatch keys(8, exo::store::KeyKind::Character);
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      keys.add(t.text(rec.data(), 0), r);
    }
    Cdx c = Cdx::open(index, {false, false, 0});
    c.buildTag({"UNICO", "NUMERO", "", 8, exo::store::KeyKind::Character, false, true}, keys);
    c.deleteTag("NOMBRE");
    c.deleteTag("NUMERO");
  }
  engine.close(ip, engine.open(table, "MOV", true, true));
  EXPECT_TRUE(seen.empty()) << seen.front().description;
}

// A program appending to a shared table with two tags, killed at random moments: each time the
// table is opened again every record is found by its key in every tag.
TEST_F(EngineFailureTest, AppendsKilledAtRandomMomentsLeaveEveryRecordInEveryTag) {
  engine.close(ip, makeTable(1, true, false));
  std::mt19937 rng(20111231);
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Interp childIp;
      Engine appender(childIp);
      const int area = appender.open(table, "MOV", true, false);
      for (;;) {
        appender.appendBlank(area);
        const auto n = static_cast<std::uint32_t>(appender.recNo(area));
        char numero[9];
        std::snprintf(numero, sizeof numero, "%08u", n);
        appender.put(area, "NUMERO", Value::text(numero));
        appender.put(area, "NOMBRE", Value::text("N" + std::to_string(n)));
      }
    }
    ::usleep(static_cast<useconds_t>(5000 + rng() % 60000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    const int area = engine.open(table, "MOV", true, false);
    ASSERT_GT(area, 0);
    engine.close(ip, area);
    EXPECT_TRUE(seen.empty()) << seen.front().description;
    expectSound();
    if (HasFailure()) break;
  }
}

// A stale index file that cannot be erased (here a folder of that name) is reported with the
// system's code, the file and the operation, and the old table is not replaced.
TEST_F(EngineFailureTest, AStaleIndexThatCannotBeErasedIsReported) {
  engine.close(ip, makeTable(3, false, false));
  const std::string before = storetest::readFile(table);
  std::filesystem::remove(index);
  std::filesystem::create_directory(index);
  storetest::writeFile(index + "/dentro", "x");
  engine.createTable(table, {{"OTRO", 'C', 4, 0}});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].genCode, GenCode::Write);
  EXPECT_EQ(seen[0].fileName, index);
  EXPECT_EQ(seen[0].operation, "erase");
  EXPECT_NE(seen[0].osCode, 0);
  EXPECT_EQ(storetest::readFile(table), before);
}

}  // namespace

// Batches of record changes under the table lock: the files they leave are those the same
// changes leave one by one, reads of the area see the batch, a failure inside it is undone as
// outside, and a program killed in the middle leaves a mark that the next open repairs. Files
// written through a batch are read by the independent tools.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <set>
#include <tuple>

#include "../interop/InteropSupport.h"
#include "StoreTestSupport.h"
#include "TagCheck.h"
#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Engine.h"
#include "store/FileFaults.h"

namespace {

using storetest::expectTagsDescribeTable;

using exo::ErrorReply;
using exo::Failure;
using exo::Interp;
using exo::Value;
using exo::store::Cdx;
using exo::store::CdxCursor;
using exo::store::Dbf;
using exo::store::Engine;

const std::string kBatchLeft =
    "\315ndice desactualizado: qued\363 a medio escribir un lote de cambios";

std::string numero(std::uint32_t n) {
  char text[9];
  std::snprintf(text, sizeof text, "%08u", n);
  return text;
}

// Every descriptor of this process on `path` is reopened in place read-only: writes through an
// open that had been allowed them fail as on a file whose permission is gone.
void reopenReadOnly(const std::string& path) {
  const auto wanted = std::filesystem::canonical(path);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec) != wanted || ec) continue;
    const int fd = std::stoi(entry.path().filename().string());
    const int again = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(again, 0);
    ASSERT_EQ(::dup2(again, fd), fd);
    ::close(again);
  }
}

// Bytes 28-31 of the index file's header: the mark of a batch in progress.
std::string markOf(const std::string& index) { return storetest::readFile(index).substr(28, 4); }

class BatchTest : public ::testing::Test {
 protected:
  Interp ip;
  Engine engine{ip};
  storetest::TempDir dir;
  std::vector<Failure> seen;
  std::string table = dir.file("movs.dbf");
  std::string index = dir.file("movs.cdx");

  void SetUp() override {
    ip.setErrorHandler([this](Interp&, const Failure& f) {
      seen.push_back(f);
      return ErrorReply::byDefault();
    });
  }

  // A shared table of `n` records (NUMERO "00000001"..., NOMBRE "N1"...) with both tags in one
  // index file, left closed.
  void makeTable(std::uint32_t n) {
    engine.createTable(table, {{"NUMERO", 'C', 8, 0}, {"NOMBRE", 'C', 10, 0}});
    const int area = engine.open(table, "MOV", false, false);
    for (std::uint32_t i = 1; i <= n; ++i) {
      engine.appendBlank(area);
      engine.put(area, "NUMERO", Value::text(numero(i)));
      engine.put(area, "NOMBRE", Value::text("N" + std::to_string(i)));
    }
    engine.buildIndex(area, "", "NUMERO", "NUMERO", "!Deleted()");
    engine.buildIndex(area, "", "NOMBRE", "NOMBRE", "!Deleted()");
    engine.close(ip, area);
  }
  int openShared(const std::string& file = {}) {
    const int area = engine.open(file.empty() ? table : file, "", true, false);
    engine.addIndex(area, replaceExtension(file.empty() ? table : file));
    return area;
  }
  static std::string replaceExtension(const std::string& path) {
    return path.substr(0, path.size() - 4) + ".cdx";
  }
  // One record changed as the system does it: record lock, fields, lock let go.
  void change(int area, std::uint32_t recno, const std::string& num, const std::string& name) {
    engine.goTo(ip, area, recno);
    ASSERT_TRUE(engine.lockRecord(ip, area, 0));
    engine.put(area, "NUMERO", Value::text(num));
    engine.put(area, "NOMBRE", Value::text(name));
    engine.unlockRecord(area);
  }
};

// A mix of changes on 3,000 records: keys moved inside their leaf, moved to the far end of the
// tag (leaves split there), a run of keys moved out until their leaves empty and are freed
// (their pages taken again by later splits). Done one by one on one copy and as a batch on
// another, the tables hold the same records and the index files the same bytes (the change
// counter aside), every tag sound and describing its table.
TEST_F(BatchTest, BatchedChangesLeaveTheFilesThatSingleChangesLeave) {
  makeTable(3000);
  const std::string copy = dir.file("copia.dbf"), copyIndex = dir.file("copia.cdx");
  std::filesystem::copy_file(table, copy);
  std::filesystem::copy_file(index, copyIndex);
  std::vector<std::tuple<std::uint32_t, std::string, std::string>> changes;
  for (std::uint32_t r = 1000; r <= 1400; ++r)
    changes.emplace_back(r, "Y" + numero(r).substr(1), "Y");
  std::mt19937 rng(7);
  for (int i = 0; i < 1500; ++i) {
    const std::uint32_t r = 1 + rng() % 3000;
    const bool far = rng() % 3 == 0;
    std::string num = numero(r);
    if (far) num = "Z" + numero(rng() % 10000000);
    else num.back() = num.back() == '9' ? '8' : static_cast<char>(num.back() + 1);
    changes.emplace_back(r, num, "M" + std::to_string(rng() % 100000));
  }

  const int single = openShared();
  for (const auto& [r, num, name] : changes) change(single, r, num, name);
  engine.close(ip, single);

  const int batched = openShared(copy);
  ASSERT_TRUE(engine.lockFile(ip, batched));
  ASSERT_TRUE(engine.beginBatch(batched));
  for (const auto& [r, num, name] : changes) change(batched, r, num, name);
  EXPECT_TRUE(engine.inBatch(batched));
  engine.endBatch(batched);
  EXPECT_FALSE(engine.inBatch(batched));
  engine.unlock(ip, batched);
  engine.close(ip, batched);
  EXPECT_TRUE(seen.empty());

  EXPECT_EQ(markOf(copyIndex), std::string(4, '\0'));
  std::string one = storetest::readFile(index), other = storetest::readFile(copyIndex);
  ASSERT_EQ(one.size(), other.size());
  EXPECT_NE(one.substr(8, 4), other.substr(8, 4));  // bumped once per change, and once
  one.replace(8, 4, 4, '\0');
  other.replace(8, 4, 4, '\0');
  EXPECT_TRUE(one == other) << "the index files differ";
  Dbf a = Dbf::open(table, {true, true, 0}), b = Dbf::open(copy, {true, true, 0});
  ASSERT_EQ(a.recordCount(), b.recordCount());
  std::vector<char> ra(a.recordLength()), rb(b.recordLength());
  for (std::uint32_t r = 1; r <= a.recordCount(); ++r) {
    a.read(r, ra.data());
    b.read(r, rb.data());
    ASSERT_EQ(ra, rb) << r;
  }
  expectTagsDescribeTable(copy, copyIndex);
}

// Keys moved inside their leaf to keys that pack worse (a key with trailing blanks given letters
// in their place) or better, again and again, until leaves overflow and split: the batch, which
// packs a leaf only when its bytes are needed and works out from the keys beside a moved one
// whether the leaf still fits, leaves the bytes the changes one by one leave.
TEST_F(BatchTest, KeysThatPackWorseSplitTheirLeavesAsSingleChangesDo) {
  engine.createTable(table, {{"NUMERO", 'C', 8, 0}, {"NOMBRE", 'C', 10, 0}});
  int area = engine.open(table, "MOV", false, false);
  for (std::uint32_t i = 1; i <= 2000; ++i) {
    engine.appendBlank(area);
    engine.put(area, "NUMERO", Value::text(numero(i).substr(4)));
    engine.put(area, "NOMBRE", Value::text("N" + std::to_string(i % 7)));
  }
  engine.buildIndex(area, "", "NUMERO", "NUMERO", "!Deleted()");
  engine.buildIndex(area, "", "NOMBRE", "NOMBRE", "!Deleted()");
  engine.close(ip, area);
  const std::string copy = dir.file("copia.dbf"), copyIndex = dir.file("copia.cdx");
  std::filesystem::copy_file(table, copy);
  std::filesystem::copy_file(index, copyIndex);
  std::vector<std::tuple<std::uint32_t, std::string, std::string>> changes;
  std::mt19937 rng(2010);
  for (int i = 0; i < 3000; ++i) {
    const std::uint32_t r = 1 + rng() % 2000;
    std::string num = numero(r).substr(4);
    if (rng() % 4 != 0) {
      for (int k = 0; k < 4; ++k) num += static_cast<char>('A' + rng() % 26);
    }
    changes.emplace_back(r, num, "N" + std::to_string(r % 7));
  }
  const int single = openShared();
  for (const auto& [r, num, name] : changes) change(single, r, num, name);
  engine.close(ip, single);
  const int batched = openShared(copy);
  ASSERT_TRUE(engine.lockFile(ip, batched));
  ASSERT_TRUE(engine.beginBatch(batched, exo::store::BatchCount::PerChange));
  for (const auto& [r, num, name] : changes) change(batched, r, num, name);
  engine.setOrder(batched, "NUMERO");
  const auto& [lastRecno, lastNum, lastName] = changes.back();
  EXPECT_TRUE(engine.seekKey(batched, Value::text(lastNum)));  // read inside the batch
  EXPECT_EQ(engine.recNo(batched), lastRecno);
  engine.endBatch(batched);
  engine.unlock(ip, batched);
  engine.close(ip, batched);
  EXPECT_TRUE(seen.empty());
  // Counted once per key change, the counter ends where the changes one by one leave it.
  EXPECT_TRUE(storetest::readFile(index) == storetest::readFile(copyIndex))
      << "the index files differ";
  expectTagsDescribeTable(copy, copyIndex);
}

// While the batch runs: seeks, counts and walks of the area see its keys, the file on disk still
// holds the old pages under the mark, record locks of the area are covered by the table lock
// (and letting one go keeps the table locked), and another open sees everything after the end.
TEST_F(BatchTest, TheAreaReadsItsBatchAndOthersSeeItAfterTheEnd) {
  makeTable(800);
  const int area = openShared();
  EXPECT_FALSE(engine.beginBatch(area));  // no table lock yet
  ASSERT_TRUE(engine.lockFile(ip, area));
  ASSERT_TRUE(engine.beginBatch(area));
  for (std::uint32_t r = 100; r < 300; ++r) change(area, r, "X" + numero(r).substr(1), "X");
  engine.setOrder(area, "NUMERO");
  EXPECT_TRUE(engine.seekKey(area, Value::text("X0000150")));
  EXPECT_EQ(engine.recNo(area), 150);
  EXPECT_FALSE(engine.seekKey(area, Value::text("00000150")));
  EXPECT_EQ(engine.keyCount(ip, area), 800);
  std::vector<std::int64_t> tail;
  engine.orderScope(ip, area, 0, Value::text("X"));
  engine.forEach(area, [&] {
    tail.push_back(engine.recNo(area));
    return true;
  });
  engine.orderScope(ip, area, 0, Value());
  ASSERT_EQ(tail.size(), 200u);
  EXPECT_EQ(tail.front(), 100);
  EXPECT_EQ(tail.back(), 299);

  EXPECT_EQ(markOf(index), "LOTE");
  {
    Cdx onDisk = Cdx::open(index, {true, true, 0});
    CdxCursor c(onDisk, *onDisk.findTag("NUMERO"));
    EXPECT_TRUE(c.seek("00000150"));
    EXPECT_FALSE(c.seek("X0000150"));
  }
  {
    Dbf other = Dbf::open(table, {true, false, 0});
    EXPECT_FALSE(other.lockRecord(5));
    EXPECT_FALSE(other.lockFile());
  }
  engine.unlock(ip, area);  // ends the batch before the table lock goes
  EXPECT_FALSE(engine.inBatch(area));
  EXPECT_EQ(markOf(index), std::string(4, '\0'));
  Interp otherIp;
  Engine other(otherIp);
  const int again = other.open(table, "OTRO", true, true);
  other.addIndex(again, index);
  other.setOrder(again, "NOMBRE");
  EXPECT_TRUE(other.seekKey(again, Value::text("X")));
  EXPECT_EQ(other.recNo(again), 100);
  other.close(otherIp, again);
  engine.close(ip, area);
  EXPECT_TRUE(seen.empty());
  expectTagsDescribeTable(table, index);
}

// A key that cannot be changed inside a batch (the index file refuses the mark that must precede
// the first held page) undoes the record's change as outside one; pages that cannot be written
// at the end leave the mark, are reported, and the next open that may write rebuilds the tags.
TEST_F(BatchTest, FailuresInsideABatchLeaveTagsThatDescribeTheTable) {
  makeTable(300);
  const int area = openShared();
  ASSERT_TRUE(engine.lockFile(ip, area));
  ASSERT_TRUE(engine.beginBatch(area));
  reopenReadOnly(index);
  change(area, 10, "ZZZZZZZZ", "CAMBIO");
  ASSERT_FALSE(seen.empty());
  engine.goTo(ip, area, 10);
  EXPECT_EQ(engine.text(area, "NUMERO"), numero(10));
  EXPECT_EQ(markOf(index), std::string(4, '\0'));
  engine.unlock(ip, area);
  engine.close(ip, area);
  expectTagsDescribeTable(table, index);

  // Pages that cannot be written at the end.
  seen.clear();
  const int next = openShared();
  ASSERT_TRUE(engine.lockFile(ip, next));
  ASSERT_TRUE(engine.beginBatch(next));
  for (std::uint32_t r = 1; r <= 50; ++r) change(next, r, "W" + numero(r).substr(1), "W");
  EXPECT_EQ(markOf(index), "LOTE");
  reopenReadOnly(index);
  engine.unlock(ip, next);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().fileName, index);
  engine.close(ip, next);
  EXPECT_EQ(markOf(index), "LOTE");

  seen.clear();
  const int repaired = openShared();
  EXPECT_TRUE(seen.empty());
  engine.close(ip, repaired);
  EXPECT_EQ(markOf(index), std::string(4, '\0'));
  expectTagsDescribeTable(table, index);
}

// A program killed in the middle of a batch: the mark is in the file and the tags do not follow
// the changed records. A read-only open reports the index; the next open that may write
// rebuilds its tags and clears the mark. Then programs killed at random moments of repeated
// batches: after each, every record is found by its key in every tag.
TEST_F(BatchTest, AProgramKilledInABatchLeavesAMarkThatTheNextOpenRepairs) {
  makeTable(2000);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Interp childIp;
    Engine writer(childIp);
    const int area = writer.open(table, "MOV", true, false);
    writer.addIndex(area, index);
    if (!writer.lockFile(childIp, area) || !writer.beginBatch(area)) ::_exit(1);
    for (std::uint32_t r = 1; r <= 1500; r += 3) {
      writer.goTo(childIp, area, r);
      writer.put(area, "NUMERO", Value::text("K" + numero(r).substr(1)));
      writer.unlockRecord(area);
    }
    (void)!::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  char got = 0;
  ASSERT_EQ(::read(ready[0], &got, 1), 1);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  ASSERT_EQ(markOf(index), "LOTE");
  {
    Cdx stale = Cdx::open(index, {true, true, 0});
    CdxCursor c(stale, *stale.findTag("NUMERO"));
    EXPECT_FALSE(c.seek("K0000001"));  // the record changed, its key did not
  }
  const int readOnly = engine.open(table, "MOV", true, true);
  engine.addIndex(readOnly, index);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].description, kBatchLeft);
  EXPECT_EQ(seen[0].fileName, index);
  engine.close(ip, readOnly);
  EXPECT_EQ(markOf(index), "LOTE");

  seen.clear();
  const int area = openShared();
  EXPECT_TRUE(seen.empty());
  engine.setOrder(area, "NUMERO");
  EXPECT_TRUE(engine.seekKey(area, Value::text("K0000001")));
  EXPECT_EQ(engine.recNo(area), 1);
  engine.close(ip, area);
  EXPECT_EQ(markOf(index), std::string(4, '\0'));
  expectTagsDescribeTable(table, index);

  std::mt19937 rng(20111231);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      Interp childIp;
      Engine e(childIp);
      const int a = e.open(table, "MOV", true, false);
      e.addIndex(a, index);
      std::mt19937 pick(static_cast<unsigned>(round));
      for (;;) {
        if (!e.lockFile(childIp, a) || !e.beginBatch(a)) continue;
        for (int i = 0; i < 40; ++i) {
          e.goTo(childIp, a, 1 + pick() % 2000);
          e.put(a, "NUMERO", Value::text(numero(pick() % 100000000)));
          e.put(a, "NOMBRE", Value::text("R" + std::to_string(pick() % 1000)));
          e.unlockRecord(a);
        }
        e.unlock(childIp, a);
      }
    }
    ::usleep(static_cast<useconds_t>(20000 + rng() % 150000));
    ::kill(writer, SIGKILL);
    ::waitpid(writer, &status, 0);
    engine.close(ip, openShared());
    EXPECT_TRUE(seen.empty()) << seen.front().description;
    EXPECT_EQ(markOf(index), std::string(4, '\0'));
    expectTagsDescribeTable(table, index);
    if (HasFailure()) break;
  }
}

// A batch whose pages were being written when its program stopped, at each write in turn: the
// file holds some of the batch's pages and not others (new pages named by old ones, the list
// of free pages changed or not). The next open rebuilds every tag without reading the old
// trees, and later changes, which split leaves and free pages, keep every tag sound.
TEST_F(BatchTest, ABatchStoppedWhileWritingItsPagesIsRebuiltWhateverItLeft) {
  using exo::store::FileOp;
  using exo::store::FileOpDecision;
  makeTable(3000);
  const std::string tableBytes = storetest::readFile(table);
  const std::string indexBytes = storetest::readFile(index);
  long points = 0;
  for (long stopAt = 1; stopAt < 400; ++stopAt) {
    SCOPED_TRACE("stop " + std::to_string(stopAt));
    storetest::writeFile(table, tableBytes);
    storetest::writeFile(index, indexBytes);
    long seen = 0;
    bool stopped = false;
    bool counting = false;  // only the writes of the index file at the end of the batch
    exo::store::setFileOpHook([&](FileOp op, const std::string& path) -> FileOpDecision {
      if (stopped)
        return {op == FileOp::Open ? FileOpDecision::Kind::Proceed : FileOpDecision::Kind::Skip, 0};
      if (!counting || op == FileOp::Open || path != index) return {};
      if (++seen == stopAt) {
        stopped = true;
        return {FileOpDecision::Kind::Stop, 0};
      }
      return {};
    });
    {
      Interp writerIp;
      auto writer = std::make_unique<Engine>(writerIp);
      try {
        const int area = writer->open(table, "MOV", true, false);
        writer->addIndex(area, index);
        ASSERT_TRUE(writer->lockFile(writerIp, area));
        ASSERT_TRUE(writer->beginBatch(area));
        std::mt19937 pick(5);
        for (int i = 0; i < 600; ++i) {
          writer->goTo(writerIp, area, 1 + pick() % 3000);
          const bool far = i % 3 == 0;
          writer->put(area, "NUMERO",
                      Value::text(far ? "Z" + numero(pick() % 10000000).substr(1)
                                      : "B" + numero(pick() % 10000000).substr(1)));
          writer->put(area, "NOMBRE", Value::text("X" + std::to_string(pick() % 100000)));
        }
        counting = true;
        writer->endBatch(area);
        writer->unlock(writerIp, area);
      } catch (const exo::store::RunStopped&) {
      }
      writer.reset();
    }
    exo::store::setFileOpHook({});
    if (!stopped) break;
    ++points;
    seen = 0;
    int area = openShared();
    EXPECT_TRUE(this->seen.empty()) << this->seen.front().description;
    std::mt19937 more(static_cast<unsigned>(stopAt));
    for (int i = 0; i < 300; ++i) {
      const auto r = static_cast<std::uint32_t>(1 + more() % 3000);
      change(area, r, "C" + numero(more() % 10000000).substr(1), "Y");
    }
    engine.close(ip, area);
    EXPECT_EQ(markOf(index), std::string(4, '\0'));
    expectTagsDescribeTable(table, index);
    if (HasFailure()) break;
  }
  EXPECT_GE(points, 2);
}

// The end of a batch puts the table's changed records on the disk before it takes the mark off
// its index file: a machine that stops in between finds the mark, never keys for records that
// did not reach the disk.
TEST_F(BatchTest, TheTableIsOnTheDiskBeforeTheIndexMarkGoes) {
  using exo::store::FileOp;
  using exo::store::FileOpDecision;
  makeTable(500);
  std::vector<std::pair<FileOp, std::string>> ops;
  bool watching = false;
  exo::store::setFileOpHook([&](FileOp op, const std::string& path) -> FileOpDecision {
    if (watching && op != FileOp::Open) ops.emplace_back(op, path);
    return {};
  });
  const int area = openShared();
  ASSERT_TRUE(engine.lockFile(ip, area));
  ASSERT_TRUE(engine.beginBatch(area));
  for (std::uint32_t r = 1; r <= 200; ++r) {
    engine.goTo(ip, area, r);
    engine.put(area, "NUMERO", Value::text("Z" + numero(r).substr(1)));
  }
  watching = true;
  engine.endBatch(area);
  watching = false;
  exo::store::setFileOpHook({});
  engine.unlock(ip, area);
  engine.close(ip, area);
  std::size_t tableSynced = ops.size(), markGone = ops.size();
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (ops[i].first == FileOp::Sync && ops[i].second == table && tableSynced == ops.size())
      tableSynced = i;
    if (ops[i].first == FileOp::Write && ops[i].second == index) markGone = i;  // the last one
  }
  ASSERT_LT(markGone, ops.size());
  EXPECT_LT(tableSynced, markGone);
  EXPECT_EQ(markOf(index), std::string(4, '\0'));
  expectTagsDescribeTable(table, index);
}

// A record changed outside a batch, far from the table's last records, by a program stopped at
// each file operation of the change in turn (among them: the record written and its keys not
// yet). The index file keeps a mark from before the record to after its keys, so the next open
// finds tags that describe the table, with the change made or not.
TEST_F(BatchTest, ASingleChangeStoppedAtAnyStepLeavesTagsTheNextOpenMakesAgree) {
  using exo::store::FileOp;
  using exo::store::FileOpDecision;
  makeTable(2000);
  const std::string tableBytes = storetest::readFile(table);
  const std::string indexBytes = storetest::readFile(index);
  long points = 0;
  for (long stopAt = 1; stopAt < 50; ++stopAt) {
    SCOPED_TRACE("stop " + std::to_string(stopAt));
    storetest::writeFile(table, tableBytes);
    storetest::writeFile(index, indexBytes);
    long seen = 0;
    bool stopped = false;
    exo::store::setFileOpHook([&](FileOp op, const std::string&) -> FileOpDecision {
      if (op == FileOp::Open) return {};
      if (stopped) return {FileOpDecision::Kind::Skip, 0};
      if (++seen == stopAt) {
        stopped = true;
        return {FileOpDecision::Kind::Stop, 0};
      }
      return {};
    });
    {
      Interp writerIp;
      auto writer = std::make_unique<Engine>(writerIp);
      try {
        const int area = writer->open(table, "MOV", true, false);
        writer->addIndex(area, index);
        writer->goTo(writerIp, area, 10);
        if (writer->lockRecord(writerIp, area, 0)) {
          writer->put(area, "NUMERO", Value::text("K0000010"));
          writer->put(area, "NOMBRE", Value::text("CAMBIADO"));
          writer->unlockRecord(area);
        }
      } catch (const exo::store::RunStopped&) {
      }
      writer.reset();  // a stopped program writes nothing more, not even when it closes
    }
    exo::store::setFileOpHook({});
    if (!stopped) break;
    ++points;
    const int area = openShared();
    engine.close(ip, area);
    EXPECT_EQ(markOf(index), std::string(4, '\0'));
    expectTagsDescribeTable(table, index);
  }
  EXPECT_GE(points, 4);  // the mark, the record, its keys, the mark taken away
}

// The independent tools read an index written through a batch, and one a killed batch left
// marked (the mark lies in bytes they ignore): index_dump walks each tag in the order of the
// keys python3-dbfread reads from the table.
TEST_F(BatchTest, PeerToolsReadIndexFilesWrittenThroughABatch) {
  REQUIRE_TOOL("which index_dump");
  REQUIRE_TOOL(std::string(interop::kPython) + " -c 'import dbfread'");
  makeTable(1500);
  const int area = openShared();
  ASSERT_TRUE(engine.lockFile(ip, area));
  ASSERT_TRUE(engine.beginBatch(area));
  for (std::uint32_t r = 1; r <= 1500; r += 2)
    change(area, r, "B" + numero(3000 - r).substr(1), "B" + std::to_string(r % 97));
  const auto expectPeersAgree = [&] {
    const std::string script =
        "import sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], encoding='cp1252')\n"
        "keys = [(r[sys.argv[2]], i + 1) for i, r in enumerate(t)]\n"
        "for k, n in sorted(keys): print(k.rstrip(), n)\n";
    storetest::writeFile(dir.file("keys.py"), script);
    for (const char* tag : {"NUMERO", "NOMBRE"}) {
      SCOPED_TRACE(tag);
      std::string want, out;
      ASSERT_EQ(storetest::runCommand(std::string(interop::kPython) + " " + dir.file("keys.py") +
                                          " " + table + " " + tag,
                                      want),
                0);
      ASSERT_EQ(storetest::runCommand("index_dump --type char " + index + " " + tag, out), 0);
      EXPECT_GT(out.size(), 1000u);
      EXPECT_EQ(out, want);
    }
  };
  engine.endBatch(area);
  engine.unlock(ip, area);
  engine.close(ip, area);
  expectPeersAgree();

  // The same file with the mark of an unfinished batch in its header.
  std::string bytes = storetest::readFile(index);
  bytes.replace(28, 4, "LOTE");
  storetest::writeFile(index, bytes);
  expectPeersAgree();
}

}  // namespace

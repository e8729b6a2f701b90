// The file layer's promises that differ most between systems, checked on each (on Windows under
// wine): byte-range locks at the offsets FoxPro-family programs use, sharing that lets another
// program keep a table open, exclusive opens and holds, and replacing a file that is open.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Dbf.h"
#include "store/File.h"
#include "store/FileFaults.h"
#include "store/FileLock.h"
#include "store/StoreFailure.h"

namespace {

using exo::store::Dbf;
using exo::store::File;
using exo::store::LockKind;

// Runs `work` with `folder` as the working folder and every `op` on a folder failing with
// `error`; the file the failure names ("" when nothing failed).
std::string failureNamedIn(const std::string& folder, exo::store::FileOp op, int error,
                           const std::function<void()>& work) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  exo::store::setFileOpHook([&](exo::store::FileOp seen, const std::string& path) {
    return seen == op && std::filesystem::is_directory(path)
               ? exo::store::FileOpDecision{exo::store::FileOpDecision::Kind::Fail, error}
               : exo::store::FileOpDecision{};
  });
  std::string named;
  try {
    work();
  } catch (const exo::FailureError& e) {
    named = e.failure().fileName;
  }
  exo::store::setFileOpHook({});
  std::filesystem::current_path(before);
  return named;
}

class PlatformFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Dbf t = Dbf::create(m_path, {{"A", 'C', 4, 0}});
    std::vector<char> rec = t.blankRecord();
    for (int i = 0; i < 5; ++i) t.append(rec.data());
  }
  storetest::TempDir m_dir;
  std::string m_path = m_dir.file("tabla.dbf");
};

TEST_F(PlatformFiles, RecordAndFileLocksSitOnTheFoxProOffsets) {
  Dbf mine = Dbf::open(m_path);
  // Another program's open of the same table, locking bytes itself.
  File other = File::open(m_path, true);
  const exo::store::TableLockLayout layout{false, mine.headerLength(), mine.recordLength()};
  ASSERT_TRUE(mine.lockRecord(3));
  EXPECT_FALSE(exo::store::tryLockRange(other.fd(), layout.recordByte(3), 1, LockKind::Exclusive));
  // Only that record's byte: the next record stays free to others.
  EXPECT_TRUE(exo::store::tryLockRange(other.fd(), layout.recordByte(4), 1, LockKind::Exclusive));
  exo::store::unlockRange(other.fd(), layout.recordByte(4), 1);
  mine.unlockRecord(3);
  EXPECT_TRUE(exo::store::tryLockRange(other.fd(), layout.recordByte(3), 1, LockKind::Exclusive));
  // The other program's record lock keeps our file lock out, and the other way round.
  EXPECT_FALSE(mine.lockFile());
  exo::store::unlockRange(other.fd(), layout.recordByte(3), 1);
  ASSERT_TRUE(mine.lockFile());
  EXPECT_FALSE(exo::store::tryLockRange(other.fd(), layout.fileRangeStart(), 1, LockKind::Shared));
  mine.unlockAll();
}

TEST_F(PlatformFiles, SharedOpensLetAnotherProgramKeepTheTableOpenForWriting) {
  File writer = File::open(m_path, true);  // the sibling product, writing
  Dbf reader = Dbf::open(m_path, {true, true, 0});
  EXPECT_EQ(reader.recordCount(), 5u);
  File second = File::open(m_path, true);  // and another of its opens, after ours
  const char data[4] = {'N', 'U', 'E', 'V'};
  second.writeAt(reader.headerLength() + 1, data, 4);
}

TEST_F(PlatformFiles, AnExclusiveOpenRefusesOthersAsTableInUse) {
  Dbf mine = Dbf::open(m_path, {false, false, 0});
  try {
    Dbf other = Dbf::open(m_path, {true, true, 0});
    FAIL() << "a second open of an exclusive table succeeded";
  } catch (const exo::FailureError& e) {
    EXPECT_EQ(e.failure().genCode, exo::GenCode::Open);
    EXPECT_EQ(e.failure().osCode, 32);
  }
  mine.close();
  Dbf again = Dbf::open(m_path, {false, false, 0});
}

TEST_F(PlatformFiles, ReplacingAFileWorksWhileItIsOpenAndLeavesNoSource) {
  File open = File::open(m_path, false);
  const std::string temp = exo::store::siblingTempName(m_path);
  {
    File fresh = File::create(temp);
    fresh.writeAt(0, "nuevo", 5);
    fresh.sync();
  }
  exo::store::replaceFile(temp, m_path);
  EXPECT_EQ(storetest::readFile(m_path), "nuevo");
  EXPECT_FALSE(std::filesystem::exists(temp));
  // A file that is not there is no failure to erase; one that is, is erased.
  exo::store::removeFile(temp);
  exo::store::removeFile(m_path);
  EXPECT_FALSE(std::filesystem::exists(m_path));
}

// A file of the working folder given by its bare name: a failed sync of its folder names the
// folder by its whole path, not as ".".
TEST_F(PlatformFiles, AFolderThatCannotBeSyncedIsNamedByItsWholePath) {
  const std::string folder = std::filesystem::path(m_path).parent_path().string();
  const std::string named = failureNamedIn(folder, exo::store::FileOp::Sync, EIO, [] {
    exo::store::writeWholeFile("VarMem01.mem", "variables");
  });
  EXPECT_EQ(std::filesystem::path(named), std::filesystem::path(folder));
}

// A process that ends while it creates a table (here at each write of the new files in turn)
// leaves no table and no memo file under their names without their whole header: an independent
// reader finds the table complete or not there.
TEST_F(PlatformFiles, ANewTableAppearsWithItsWholeHeaderOrNotAtAll) {
  using exo::store::FileOp;
  using exo::store::FileOpDecision;
  const std::string table = m_dir.file("NUEVA.DBF");
  const std::string memo = m_dir.file("NUEVA.FPT");
  for (int stopAt = 1; stopAt <= 2; ++stopAt) {
    SCOPED_TRACE(stopAt);
    std::filesystem::remove(table);
    std::filesystem::remove(memo);
    int writes = 0;
    exo::store::setFileOpHook([&](FileOp op, const std::string&) -> FileOpDecision {
      if (op == FileOp::Write && ++writes == stopAt) return {FileOpDecision::Kind::Stop, 0};
      return {};
    });
    bool stopped = false;
    try {
      Dbf::create(table, {{"A", 'C', 4, 0}, {"M", 'M', 4, 0}});
    } catch (const exo::store::RunStopped&) {
      stopped = true;
    }
    exo::store::setFileOpHook({});
    EXPECT_TRUE(stopped);
    for (const std::string& file : {table, memo}) {
      if (std::filesystem::exists(file)) {
        EXPECT_GE(std::filesystem::file_size(file), 32u) << file;
      }
    }
    EXPECT_FALSE(std::filesystem::exists(table));
  }
  Dbf made = Dbf::create(table, {{"A", 'C', 4, 0}, {"M", 'M', 4, 0}});
  EXPECT_EQ(made.recordCount(), 0u);
}

TEST_F(PlatformFiles, PackRewritesAnExclusiveTableInPlace) {
  Dbf t = Dbf::open(m_path, {false, false, 0});
  std::vector<char> rec(t.recordLength());
  t.read(2, rec.data());
  Dbf::setDeleted(rec.data(), true);
  t.write(2, rec.data());
  t.pack();
  EXPECT_EQ(t.recordCount(), 4u);
  t.close();
  EXPECT_EQ(Dbf::open(m_path, {true, true, 0}).recordCount(), 4u);
}

// A hold keeps every table open out, this program's too, while this program may still read the
// held file plainly (a salvage) and rename its successor over it; the successor is free.
TEST_F(PlatformFiles, AHoldKeepsTableOpensOutButLetsThisProgramReadAndReplaceTheFile) {
  using exo::store::FileHold;
  const std::string before = storetest::readFile(m_path);
  FileHold hold;
  ASSERT_EQ(hold.take(m_path, false), FileHold::Status::Held);
  EXPECT_EQ(FileHold().take(m_path, false), FileHold::Status::InUse);
  for (const bool readOnly : {true, false}) {
    try {
      Dbf other = Dbf::open(m_path, {readOnly, true, 0});
      ADD_FAILURE() << "a table open of a held file succeeded";
    } catch (const exo::FailureError& e) {
      EXPECT_EQ(e.failure().osCode, exo::store::kOsSharingViolation);
    }
  }
  {
    const File plain = File::open(m_path, false);
    std::string bytes(before.size(), '\0');
    plain.readAt(0, bytes.data(), bytes.size());
    EXPECT_EQ(bytes, before);
  }
  const std::string temp = exo::store::siblingTempName(m_path);
  { Dbf successor = Dbf::create(temp, {{"B", 'C', 2, 0}}); }
  exo::store::replaceFile(temp, m_path);
  EXPECT_FALSE(std::filesystem::exists(temp));
  EXPECT_EQ(Dbf::open(m_path, {true, true, 0}).fields().front().name, "B");
  hold.release();
  EXPECT_EQ(hold.take(m_path, false), FileHold::Status::Held);
  EXPECT_EQ(hold.take(m_dir.file("falta.dbf"), false), FileHold::Status::Missing);
}

// A table this program has open exclusively is synced and renamed by name (what a compaction
// does with the table it has just written), and read plainly, but opened as a table by nobody.
TEST_F(PlatformFiles, AFileOpenExclusivelyHereIsSyncedReadAndRenamedByName) {
  const std::string fresh = m_dir.file("~nueva.dbf");
  { Dbf made = Dbf::create(fresh, {{"N", 'C', 3, 0}}); }
  Dbf mine = Dbf::open(fresh, {false, false, 0});
  std::vector<char> rec = mine.blankRecord();
  std::memcpy(rec.data() + 1, "abc", 3);
  mine.append(rec.data());
  mine.commit();
  EXPECT_EQ(exo::store::systemSyncFile(fresh), 0);
  EXPECT_THROW(Dbf::open(fresh, {true, true, 0}), exo::FailureError);
  EXPECT_EQ(Dbf::open(m_path, {true, true, 0}).recordCount(), 5u);
  {
    const File plain = File::open(fresh, false);
    char head[4] = {};
    plain.readAt(4, head, 4);  // the record count
    EXPECT_EQ(head[0], 1);
  }
  exo::store::replaceFile(fresh, m_path);
  mine.close();
  Dbf replaced = Dbf::open(m_path, {true, true, 0});
  EXPECT_EQ(replaced.recordCount(), 1u);
  EXPECT_EQ(replaced.fields().front().name, "N");
}

// Names with accents are read as the rest of the store reads them (UTF-8), by holds too.
TEST_F(PlatformFiles, AHoldOfAnAccentedNameCreatesThatName) {
  const std::filesystem::path name = std::filesystem::path(m_dir.file("")) / u8"Compañía.lck";
  exo::store::FileHold hold;
  ASSERT_EQ(hold.take(name.string(), true), exo::store::FileHold::Status::Held);
  EXPECT_TRUE(std::filesystem::exists(name));
  hold.release();
  std::size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(m_dir.file(""))) {
    entries += e.path().filename() == name.filename();
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(PlatformFiles, CompanionFilesAreFoundWhateverTheCaseAndSeparator) {
  { Dbf memo = Dbf::create(m_dir.file("CON_MEMO.DBF"), {{"M", 'M', 4, 0}}); }
  const std::string found = exo::store::findCompanion(m_dir.file("con_memo.dbf"), ".fpt");
  ASSERT_FALSE(found.empty());
  EXPECT_TRUE(std::filesystem::exists(found));
  EXPECT_EQ(exo::store::replaceExtension("a/b.c/t.dbf", ".cdx"), "a/b.c/t.cdx");
  // A folder that cannot be listed (no descriptors left) is a failure, not a table without
  // companions: opened without its index, the table's changes would leave the index behind.
  // The table named as the program names the tables of its working folder, bare: the message
  // names the folder by its whole path.
  const std::string folder = std::filesystem::path(found).parent_path().string();
  const std::string failed = failureNamedIn(folder, exo::store::FileOp::Open, EMFILE, [] {
    exo::store::findCompanion("con_memo.dbf", ".fpt");
  });
  EXPECT_EQ(std::filesystem::path(failed), std::filesystem::path(folder));
}

}  // namespace

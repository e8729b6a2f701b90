// Two processes sharing a table: record, file and append locks exclude each other at the
// FoxPro-family offsets, exclusive opens refuse shared ones with a sharing violation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Dbf.h"
#include "store/FileLock.h"
#include "store/StoreFailure.h"

namespace {

using namespace exo::store;

// Runs `body` in a child process; returns its exit code (the body's result).
template <typename Body>
int inChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 99;
    try {
      code = body();
    } catch (...) {
      code = 98;
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Locks : public ::testing::Test {
 protected:
  void SetUp() override {
    Dbf t = Dbf::create(m_path, {{"A", 'C', 4, 0}});
    std::vector<char> rec = t.blankRecord();
    for (int i = 0; i < 10; ++i) t.append(rec.data());
  }
  storetest::TempDir m_dir;
  std::string m_path = m_dir.file("shared.dbf");
};

TEST_F(Locks, RecordAndFileLocksExcludeAnotherProcess) {
  Dbf mine = Dbf::open(m_path);
  ASSERT_TRUE(mine.lockRecord(5));
  EXPECT_EQ(inChild([&] {
              Dbf other = Dbf::open(m_path);
              const bool five = other.lockRecord(5), six = other.lockRecord(6),
                         file = other.lockFile();
              return (five ? 1 : 0) | (six ? 2 : 0) | (file ? 4 : 0);
            }),
            2);
  mine.unlockAll();
  ASSERT_TRUE(mine.lockFile());
  EXPECT_EQ(inChild([&] {
              Dbf other = Dbf::open(m_path);
              return other.lockRecord(9) ? 1 : 0;
            }),
            0);
  // Appends still pass a file lock: the append byte lies outside the file range.
  EXPECT_EQ(inChild([&] {
              Dbf other = Dbf::open(m_path);
              std::vector<char> rec = other.blankRecord();
              return other.append(rec.data()) == 11 ? 0 : 1;
            }),
            0);
  mine.refresh();
  EXPECT_EQ(mine.recordCount(), 11u);
}

TEST_F(Locks, TwoOpensInOneProcessExcludeEachOther) {
  Dbf a = Dbf::open(m_path);
  Dbf b = Dbf::open(m_path);
  ASSERT_TRUE(a.lockRecord(3));
  EXPECT_FALSE(b.lockRecord(3));
  a.close();  // closing one open releases only its own locks
  EXPECT_TRUE(b.lockRecord(3));
}

TEST_F(Locks, AppendWaitsForTheAppendLockAndFailsWithLockViolation) {
  Dbf mine = Dbf::open(m_path);
  const TableLockLayout layout{false, mine.headerLength(), mine.recordLength()};
  EXPECT_EQ(layout.recordByte(1), 0x40000000u + mine.headerLength());
  int fd = ::open(m_path.c_str(), O_RDWR);
  ASSERT_TRUE(tryLockRange(fd, layout.appendByte(), 1, LockKind::Exclusive));
  EXPECT_EQ(inChild([&] {
              Dbf other = Dbf::open(m_path, {true, false, 100});
              std::vector<char> rec = other.blankRecord();
              try {
                other.append(rec.data());
              } catch (const exo::FailureError& e) {
                return e.failure().genCode == exo::GenCode::AppendLock && e.failure().osCode == 33
                           ? 0
                           : 1;
              }
              return 2;
            }),
            0);
  ::close(fd);
}

TEST_F(Locks, ExclusiveOpenRefusesOthersWithSharingViolation) {
  Dbf mine = Dbf::open(m_path, {false, false, 0});
  EXPECT_EQ(inChild([&] {
              try {
                Dbf other = Dbf::open(m_path, {true, true, 0});
              } catch (const exo::FailureError& e) {
                return e.failure().osCode == 32 && e.failure().genCode == exo::GenCode::Open ? 0
                                                                                             : 1;
              }
              return 2;
            }),
            0);
  mine.close();
  EXPECT_EQ(inChild([&] {
              Dbf other = Dbf::open(m_path, {false, false, 0});
              return 0;
            }),
            0);
}

}  // namespace

namespace {

using exo::store::FileHold;

// A hold excludes every open of the table, in another process or in this one, and a table
// renamed over a held one is a new file that is free.
TEST_F(Locks, FileHoldExcludesOpensUntilReleased) {
  FileHold hold;
  ASSERT_EQ(hold.take(m_path, false), FileHold::Status::Held);
  EXPECT_EQ(inChild([&] {
              try {
                Dbf other = Dbf::open(m_path);
                return 1;
              } catch (const exo::FailureError& e) {
                return e.failure().osCode == kOsSharingViolation ? 2 : 3;
              }
            }),
            2);
  FileHold second;
  EXPECT_EQ(second.take(m_path, false), FileHold::Status::InUse);
  EXPECT_EQ(inChild([&] { return FileHold().take(m_path, false, 50) == FileHold::Status::InUse; }),
            1);
  hold.release();
  EXPECT_NO_THROW(Dbf::open(m_path));
  EXPECT_EQ(second.take(m_path, false), FileHold::Status::Held);
}

TEST_F(Locks, FileHoldOfAMissingFileCreatesItOnlyWhenAsked) {
  const std::string lock = m_dir.file("EnUso.lck");
  FileHold hold;
  EXPECT_EQ(hold.take(lock, false), FileHold::Status::Missing);
  EXPECT_FALSE(std::filesystem::exists(lock));
  EXPECT_EQ(hold.take(lock, true), FileHold::Status::Held);
  EXPECT_TRUE(std::filesystem::exists(lock));
  // A shared open held by another process is a conflict too.
  const int fd = ::open(m_path.c_str(), O_RDONLY);
  ASSERT_TRUE(tryLockOpen(fd, LockKind::Shared));
  EXPECT_EQ(inChild([&] { return FileHold().take(m_path, false) == FileHold::Status::InUse; }), 1);
  ::close(fd);
}

TEST_F(Locks, FileHoldWaitsForTheHolderToLetGo) {
  FileHold hold;
  ASSERT_EQ(hold.take(m_path, false), FileHold::Status::Held);
  const pid_t pid = ::fork();
  if (pid == 0) {
    hold.release();  // the child's copy of the parent's descriptor (the parent's own stays)
    ::_exit(FileHold().take(m_path, false, 5000) == FileHold::Status::Held ? 0 : 1);
  }
  ::usleep(100 * 1000);
  hold.release();
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

// Memory files of the store (the fuzz targets' inputs): a table, its memo and an index held in
// memory read exactly as the same files on disk, found whatever the case of their names, and
// nothing of them reaches a disk.
#include "store/MemoryFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/File.h"
#include "store/FileLock.h"
#include "store/MemoFile.h"

namespace {

using namespace exo::store;

// Every field of every record as text (memos read through the memo file).
std::vector<std::string> contents(Dbf& t) {
  std::vector<std::string> out;
  std::vector<char> rec(t.recordLength());
  for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
    t.read(r, rec.data());
    for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) {
      out.emplace_back(t.fields()[f].type == 'M' ? t.memo(rec.data(), f)
                                                 : std::string(t.text(rec.data(), f)));
    }
  }
  return out;
}

TEST(MemoryFiles, ATableWithItsMemoAndIndexReadsAsOnDisk) {
  const std::string disk = storetest::kVectorDir + "/external/vfp-foxprodb/contacts";
  const std::string mem = std::string(kMemoryFolder) + "contacts";
  ASSERT_TRUE(setMemoryFile(mem + ".dbf", storetest::readFile(disk + ".dbf")));
  ASSERT_TRUE(setMemoryFile(mem + ".FPT", storetest::readFile(disk + ".FPT")));
  ASSERT_TRUE(setMemoryFile(mem + ".CDX", storetest::readFile(disk + ".CDX")));
  EXPECT_EQ(findCompanion(mem + ".dbf", ".fpt"), mem + ".FPT");
  EXPECT_EQ(findCompanion(mem + ".dbf", ".dbt"), "");

  Dbf onDisk = Dbf::open(disk + ".dbf", {false, true, 0});
  Dbf inMemory = Dbf::open(mem + ".dbf", {false, true, 0});
  ASSERT_NE(inMemory.memoFile(), nullptr);
  EXPECT_GT(inMemory.recordCount(), 0u);
  EXPECT_EQ(contents(inMemory), contents(onDisk));

  Cdx a = Cdx::open(disk + ".CDX", {false, true, 0}), b = Cdx::open(mem + ".CDX", {false, true, 0});
  ASSERT_EQ(a.tags().size(), b.tags().size());
  for (std::size_t t = 0; t < a.tags().size(); ++t) {
    EXPECT_EQ(b.check(t), "");
    std::vector<std::string> ka, kb;
    CdxCursor ca(a, t), cb(b, t);
    for (bool ok = ca.first(); ok; ok = ca.next()) ka.emplace_back(ca.key());
    for (bool ok = cb.first(); ok; ok = cb.next()) kb.emplace_back(cb.key());
    EXPECT_EQ(ka, kb);
  }

  // New contents are seen by the next opening; a file made through the store starts empty.
  ASSERT_TRUE(setMemoryFile(mem + ".dbf", "no es una tabla"));
  EXPECT_THROW(Dbf::open(mem + ".dbf", {false, true, 0}), exo::FailureError);
  {
    File made = File::create(mem + ".nuevo");
    made.writeAt(0, "abc", 3);
    EXPECT_EQ(File::open(mem + ".nuevo", false).size(), 3u);
  }
  EXPECT_EQ(File::create(mem + ".nuevo").size(), 0u);
  for (const char* ext : {".dbf", ".FPT", ".CDX", ".nuevo"}) removeMemoryFile(mem + ext);
  EXPECT_THROW(File::open(mem + ".dbf", false), exo::FailureError);
  EXPECT_FALSE(setMemoryFile("/tmp/fuera.dbf", "x"));  // only under the memory folder
}

// The same steps on a disk file and on a memory file give the same answers: sizes, short reads,
// zeros left by a write past the end, truncation, and locks that belong to the open that took
// them (another open of the same file is refused; closing an open frees what it held).
TEST(MemoryFiles, AnswerAsADiskFileDoes) {
  storetest::TempDir dir;
  const std::string mem = std::string(kMemoryFolder) + "igual.bin";
  for (const std::string& path : {dir.file("igual.bin"), mem}) {
    SCOPED_TRACE(path);
    File a = File::create(path);
    a.writeAt(0, "abcdef", 6);
    a.writeAt(10, "XY", 2);  // past the end: zeros between
    EXPECT_EQ(a.size(), 12u);
    char buf[16] = {};
    EXPECT_EQ(a.readSome(4, buf, sizeof buf), 8u);
    EXPECT_EQ(std::string(buf, 8), std::string("ef\0\0\0\0XY", 8));
    EXPECT_EQ(a.readSome(12, buf, 4), 0u);
    EXPECT_THROW(a.readAt(8, buf, 8), exo::FailureError);
    a.truncate(3);
    EXPECT_EQ(a.size(), 3u);
    a.truncate(5);  // grown again: what was cut reads as zeros
    EXPECT_EQ(a.readSome(0, buf, sizeof buf), 5u);
    EXPECT_EQ(std::string(buf, 5), std::string("abc\0\0", 5));

    File b = File::open(path, true);
    EXPECT_TRUE(tryLockRange(a.fd(), 100, 10, LockKind::Exclusive));
    EXPECT_TRUE(tryLockRange(a.fd(), 100, 10, LockKind::Shared));  // its own lock, changed
    EXPECT_FALSE(tryLockRange(b.fd(), 105, 1, LockKind::Exclusive));
    EXPECT_TRUE(tryLockRange(b.fd(), 105, 1, LockKind::Shared));
    EXPECT_TRUE(tryLockRange(b.fd(), 110, 5, LockKind::Exclusive));  // beside, not over
    unlockRange(b.fd(), 105, 1);
    unlockRange(a.fd(), 100, 5);  // half of it: the other half stays locked
    EXPECT_TRUE(tryLockRange(b.fd(), 100, 5, LockKind::Exclusive));
    EXPECT_FALSE(tryLockRange(b.fd(), 107, 1, LockKind::Exclusive));
    EXPECT_TRUE(tryLockOpen(a.fd(), LockKind::Shared));
    EXPECT_TRUE(tryLockOpen(b.fd(), LockKind::Shared));
    EXPECT_FALSE(tryLockOpen(b.fd(), LockKind::Exclusive));
    a.close();  // its locks go with it
    EXPECT_TRUE(tryLockRange(b.fd(), 107, 1, LockKind::Exclusive));
    EXPECT_TRUE(tryLockOpen(b.fd(), LockKind::Exclusive));
  }
  removeMemoryFile(mem);
}

// A memory file given new bytes (as a fuzz target gives every input) holds them and nothing of
// the longer bytes it held before: a growth past the new end reads zeros, as on disk.
TEST(MemoryFiles, NewBytesLeaveNothingOfTheOldOnes) {
  const std::string mem = std::string(kMemoryFolder) + "nuevo.bin";
  ASSERT_TRUE(setMemoryFile(mem, std::string(70000, 'V')));
  ASSERT_TRUE(setMemoryFile(mem, "abc"));
  File f = File::open(mem, true);
  EXPECT_EQ(f.size(), 3u);
  char buf[8] = {};
  EXPECT_EQ(f.readSome(0, buf, sizeof buf), 3u);
  f.writeAt(6, "Z", 1);
  EXPECT_EQ(f.readSome(0, buf, sizeof buf), 7u);
  EXPECT_EQ(std::string(buf, 7), std::string("abc\0\0\0Z", 7));
  f.truncate(66000);
  std::string tail(66000 - 60000, 'x');
  EXPECT_EQ(f.readSome(60000, tail.data(), tail.size()), tail.size());
  EXPECT_EQ(tail, std::string(tail.size(), '\0'));
  f.close();
  ASSERT_TRUE(setMemoryFile(mem, ""));
  EXPECT_EQ(File::open(mem, false).size(), 0u);
  removeMemoryFile(mem);
}

// A view reads the file's bytes as they stand, written after it was made too; a memory file
// forgotten by name lives on for the opens and views of it; its bytes are handed out in place.
TEST(MemoryFiles, ViewsFollowWritesAndOutliveTheName) {
  const std::string mem = std::string(kMemoryFolder) + "vista.bin";
  ASSERT_TRUE(setMemoryFile(mem, std::string(100, 'a')));
  File f = File::open(mem, true);
  FileView view;
  ASSERT_TRUE(view.map(f, 100));
  f.writeAt(10, "ZZ", 2);
  EXPECT_EQ(std::string(view.data() + 9, 4), "aZZa");
  f.writeAt(5000, "fin", 3);  // growing the file moves no byte under the view
  EXPECT_EQ(std::string(view.data() + 10, 2), "ZZ");
  ASSERT_NE(f.inPlace(5000, 3), nullptr);
  EXPECT_EQ(std::string(f.inPlace(5000, 3), 3), "fin");
  EXPECT_EQ(f.inPlace(5000, 4), nullptr);  // past the end
  removeMemoryFile(mem);
  EXPECT_EQ(findMemoryFile(mem), "");
  f.writeAt(0, "b", 1);
  EXPECT_EQ(view.data()[0], 'b');
  EXPECT_EQ(f.size(), 5003u);
  EXPECT_THROW(File::open(mem, false), exo::FailureError);
  f.close();
  EXPECT_EQ(std::string(view.data() + 10, 2), "ZZ");  // the view keeps the bytes it reads
  File d = File::create(mem);
  EXPECT_EQ(d.size(), 0u);  // a new file of the same name starts empty
  d.close();
  removeMemoryFile(mem);
}

// Every block of a memo file reads the same from a memory file as from the disk: the same texts,
// and the same failure for a block out of the file or a length past its end, as FPT and as DBT.
TEST(MemoryFiles, MemosReadAsOnDisk) {
  storetest::TempDir dir;
  std::string bytes =
      storetest::readFile(storetest::kVectorDir + "/external/vfp-foxprodb/contacts.FPT");
  ASSERT_GT(bytes.size(), 576u);
  // A memo whose length runs past the end of the file, and a DBT text without its end marker.
  const std::size_t last = bytes.size() / 64 * 64 - 64;
  const char longer[8] = {0, 0, 0, 1, 0x7F, 0, 0, 0};
  std::memcpy(bytes.data() + last, longer, 8);
  bytes += std::string(40, 'x');
  const std::string disk = dir.file("m.fpt"), mem = std::string(kMemoryFolder) + "m.fpt";
  storetest::writeFile(disk, bytes);
  ASSERT_TRUE(setMemoryFile(mem, bytes));
  const auto readAll = [](const std::string& path, MemoKind kind) {
    std::vector<std::string> out;
    auto memo = MemoFile::open(path, kind, false, true);
    for (std::uint32_t b = 0; b < 200; ++b) {
      try {
        out.push_back(memo->read(b));
      } catch (const exo::FailureError& e) {
        out.push_back("fallo: " + e.failure().description);
      }
    }
    return out;
  };
  for (MemoKind kind : {MemoKind::Fpt, MemoKind::Dbt}) {
    const std::vector<std::string> a = readAll(disk, kind), b = readAll(mem, kind);
    EXPECT_EQ(a, b);
    EXPECT_NE(std::count_if(a.begin(), a.end(),
                            [](const std::string& t) { return t.starts_with("fallo: "); }),
              0);
  }
  removeMemoryFile(mem);
}

// A read that tells a damaged block instead of raising it finds what read() finds: the same text,
// or a fault described as read() raises it; one buffer serves every block. Disk and memory.
TEST(MemoryFiles, DamagedBlocksToldAsReadRaisesThem) {
  storetest::TempDir dir;
  std::string bytes =
      storetest::readFile(storetest::kVectorDir + "/external/vfp-foxprodb/contacts.FPT");
  ASSERT_GT(bytes.size(), 640u);
  const std::size_t last = bytes.size() / 64 * 64 - 64;
  const char longer[8] = {0, 0, 0, 1, 0x7F, 0, 0, 0};
  std::memcpy(bytes.data() + last, longer, 8);
  const char badDbt[8] = {'\xFF', '\xFF', 8, 0, 3, 0, 0, 0};  // a DBT block shorter than its head
  std::memcpy(bytes.data() + 512, badDbt, 8);
  bytes += std::string(5, 'x');  // the last block's head cut short
  bytes[20] = 64;                // read as DBT, 64-byte blocks too: texts one after another
  bytes[21] = 0;
  const std::string disk = dir.file("m.fpt"), mem = std::string(kMemoryFolder) + "m2.fpt";
  storetest::writeFile(disk, bytes);
  ASSERT_TRUE(setMemoryFile(mem, bytes));
  for (const std::string& path : {disk, mem}) {
    for (MemoKind kind : {MemoKind::Fpt, MemoKind::Dbt}) {
      SCOPED_TRACE(path + (kind == MemoKind::Fpt ? " fpt" : " dbt"));
      auto memo = MemoFile::open(path, kind, false, true);
      std::string text, told;  // `told` is used again from block to block
      MemoFault fault;
      std::set<MemoFault::Kind> kinds;
      for (std::uint32_t b = 0; b < 2 + bytes.size() / memo->blockSize(); ++b) {
        std::string raised;
        try {
          raised = memo->read(b);
        } catch (const exo::FailureError& e) {
          raised = "fallo: " + e.failure().description;
        }
        const bool read = memo->tryRead(b, text, fault);
        EXPECT_EQ(read, fault.kind == MemoFault::Kind::None) << b;
        kinds.insert(fault.kind);
        EXPECT_EQ(read ? text
                       : "fallo: Archivo da\xF1"
                         "ado: " +
                             MemoFile::faultText(fault),
                  raised)
            << b;
        if (!read) {
          MemoFile::faultText(fault, told);
          EXPECT_EQ(
              "fallo: Archivo da\xF1"
              "ado: " +
                  told,
              raised)
              << b;
        }
      }
      EXPECT_GE(kinds.size(), 3u);  // read, and damaged more than one way
    }
  }
  removeMemoryFile(mem);
}

// A table's memo fields read with the damaged blocks told: what memo() reads or raises, field by
// field, with the memo file cut short so that some pointers reach past its end.
TEST(MemoryFiles, MemoFieldsToldAsMemoRaisesThem) {
  const std::string from = storetest::kVectorDir + "/external/vfp-foxprodb/contacts";
  const std::string mem = std::string(kMemoryFolder) + "cortada";
  const std::string memo = storetest::readFile(from + ".FPT");
  ASSERT_TRUE(setMemoryFile(mem + ".dbf", storetest::readFile(from + ".dbf")));
  ASSERT_TRUE(setMemoryFile(mem + ".fpt", memo.substr(0, memo.size() * 2 / 3)));
  Dbf t = Dbf::open(mem + ".dbf", {true, true, 0});
  std::vector<char> rec(t.recordLength());
  std::string text;
  MemoFault fault;
  int told = 0, read = 0;
  for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
    t.read(r, rec.data());
    for (int f = 0; f < static_cast<int>(t.fields().size()); ++f) {
      if (t.fields()[f].type != 'M') continue;
      std::string raised;
      try {
        raised = t.memo(rec.data(), f);
      } catch (const exo::FailureError& e) {
        raised = "fallo: " + e.failure().description;
      }
      const bool ok = t.tryMemo(rec.data(), f, text, fault);
      (ok ? read : told) += 1;
      EXPECT_EQ(ok ? text
                   : "fallo: Archivo da\xF1"
                     "ado: " +
                         MemoFile::faultText(fault),
                raised)
          << r << " " << f;
    }
  }
  EXPECT_GT(told, 0);
  EXPECT_GT(read, 0);
  t.close();
  removeMemoryFile(mem + ".dbf");
  removeMemoryFile(mem + ".fpt");
}

// Memo fields whose pointer is no block number, and memo fields of a table that has no memo
// file, are told with the description memo() raises them with.
TEST(MemoryFiles, BadMemoPointersToldAsMemoRaisesThem) {
  const std::string mem = std::string(kMemoryFolder) + "punteros";
  {
    Dbf t = Dbf::create(mem + ".dbf", {{"A", 'C', 3, 0}, {"NOTA", 'M', 10, 0}});
    for (const char* pointer : {"12X", "9999999999", "4294967296", "7", "", "1 2", "-3"}) {
      std::vector<char> rec = t.blankRecord();
      std::memset(rec.data() + 4, ' ', 10);
      std::memcpy(rec.data() + 4, pointer, std::strlen(pointer));
      t.append(rec.data());
    }
  }
  // The second time round the memo field is one byte shorter: no memo file is opened for it.
  for (const bool withMemo : {true, false}) {
    SCOPED_TRACE(withMemo ? "con memos" : "sin memos");
    if (!withMemo) {
      File f = File::open(mem + ".dbf", false);
      std::string bytes(f.size(), '\0');
      f.readAt(0, bytes.data(), bytes.size());
      f.close();
      bytes[32 + 32 + 16] = 9;
      ASSERT_TRUE(setMemoryFile(mem + ".dbf", bytes));
    }
    Dbf t = Dbf::open(mem + ".dbf", {true, true, 0});
    std::vector<char> rec(t.recordLength());
    std::string text = "restos", told = "restos de otro texto";
    MemoFault fault;
    std::set<MemoFault::Kind> kinds;
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      std::string raised;
      try {
        raised = t.memo(rec.data(), 1);
      } catch (const exo::FailureError& e) {
        raised = "fallo: " + e.failure().description;
      }
      const bool ok = t.tryMemo(rec.data(), 1, text, fault);
      kinds.insert(fault.kind);
      EXPECT_EQ(ok, fault.kind == MemoFault::Kind::None) << r;
      MemoFile::faultText(fault, told);
      const std::string prefix = fault.kind == MemoFault::Kind::NoMemoFile ? "fallo: "
                                                                           : "fallo: Archivo da\xF1"
                                                                             "ado: ";
      EXPECT_EQ(ok ? text : prefix + told, raised) << r;
    }
    if (withMemo) {
      EXPECT_EQ(kinds, (std::set<MemoFault::Kind>{MemoFault::Kind::None, MemoFault::Kind::OutOfFile,
                                                  MemoFault::Kind::BadPointer}));
    } else {
      EXPECT_EQ(kinds,
                (std::set<MemoFault::Kind>{MemoFault::Kind::None, MemoFault::Kind::BadPointer,
                                           MemoFault::Kind::NoMemoFile}));
    }
  }
  removeMemoryFile(mem + ".dbf");
  removeMemoryFile(mem + ".fpt");
}

}  // namespace

// Memory files of the store (the fuzz targets' inputs): a table, its memo and an index held in
// memory read exactly as the same files on disk, found whatever the case of their names, and
// nothing of them reaches a disk.
#include "store/MemoryFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/File.h"

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

}  // namespace

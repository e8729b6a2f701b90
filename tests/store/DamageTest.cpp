// A full disk named as such, and the records that can still be read of a damaged table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Dbf.h"
#include "store/File.h"
#include "store/Salvage.h"
#include "store/StoreFailure.h"

namespace {

using namespace exo::store;

TEST(DiskFull, AWriteThatFindsNoSpaceSaysSoWithTheFile) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  File f = File::open("/dev/full", true);
  const char bytes[16] = {};
  try {
    f.writeAt(0, bytes, sizeof bytes);
    FAIL() << "the write succeeded";
  } catch (const exo::FailureError& e) {
    EXPECT_EQ(e.failure().osCode, kOsDiskFull);
    EXPECT_EQ(e.failure().description, "No hay espacio en el disco");
    EXPECT_EQ(exo::errorMessage(e.failure()),
              "(DOS Error 112) DBFCDX/1024  No hay espacio en el disco: /dev/full");
  }
  EXPECT_EQ(osCodeFromErrno(ENOSPC), kOsDiskFull);
  EXPECT_EQ(osCodeFromErrno(EDQUOT), kOsDiskFull);
  EXPECT_EQ(osCodeFromSystemError(39), kOsDiskFull);  // ERROR_HANDLE_DISK_FULL
  EXPECT_TRUE(isDiskFull(osCodeFromSystemError(112)));
}

class Salvage : public ::testing::Test {
 protected:
  void SetUp() override {
    Dbf t = Dbf::create(m_path, m_fields);
    for (int i = 0; i < 10; ++i) {
      std::vector<char> rec = t.blankRecord();
      const std::string code = "1.1.0" + std::to_string(i);
      std::copy(code.begin(), code.end(), rec.begin() + 1);
      std::copy(std::begin(kForm), std::end(kForm) - 1, rec.begin() + 21);
      t.append(rec.data());
    }
    t.close();
    m_header = Dbf::open(m_path).headerLength();
  }
  // Overwrites `n` bytes at `offset` with `byte`, then cuts the file to `size` (0: kept).
  void damage(std::uint64_t offset, std::size_t n, char byte, std::uint64_t size = 0) {
    {
      std::fstream f(m_path, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(static_cast<std::streamoff>(offset));
      const std::string bytes(n, byte);
      f.write(bytes.data(), static_cast<std::streamsize>(n));
    }
    if (size != 0) std::filesystem::resize_file(m_path, size);
  }
  static constexpr char kForm[] = "1001";
  static constexpr std::uint32_t kRecord = 1 + 20 + 4;
  storetest::TempDir m_dir;
  std::string m_path = m_dir.file("CodCont.dbf");
  std::vector<FieldDef> m_fields = {{"COD_CONT", 'C', 20, 0}, {"FORMATO", 'C', 4, 0}};
  std::uint32_t m_header = 0;
};

TEST_F(Salvage, ASoundTableGivesEveryLiveRecord) {
  damage(m_header + 3 * kRecord, 1, '*');  // one record marked deleted
  const SalvagedTable s = salvageTable(m_path, m_fields);
  EXPECT_EQ(s.rows.size(), 9u);
  EXPECT_EQ(s.deleted, 1u);
  EXPECT_EQ(s.lost, 0u);
  EXPECT_EQ(s.rows[0][0], "1.1.00              ");
  EXPECT_EQ(s.rows[0][1], "1001");
}

TEST_F(Salvage, ACutAndOverwrittenTableKeepsWhatCanBeRead) {
  // Record 2 overwritten with NUL bytes, the last two and a half records cut away.
  damage(m_header + 1 * kRecord, kRecord, '\0', m_header + 7 * kRecord + 12);
  EXPECT_THROW(Dbf::open(m_path), exo::FailureError);
  const SalvagedTable s = salvageTable(m_path, m_fields);
  EXPECT_EQ(s.rows.size(), 6u);
  EXPECT_EQ(s.lost, 4u);  // the overwritten one and the three the header announces past the end
  EXPECT_EQ(s.rows[1][0].substr(0, 6), "1.1.02");
}

TEST_F(Salvage, AHeaderWithWrongLengthsFallsBackOnTheLayout) {
  damage(8, 4, '\x7F');  // header and record lengths
  const SalvagedTable s = salvageTable(m_path, m_fields);
  EXPECT_EQ(s.rows.size(), 10u);
  EXPECT_EQ(s.lost, 0u);
  EXPECT_EQ(s.rows[9][0].substr(0, 6), "1.1.09");
}

}  // namespace

// Files replaced together: every staged file synced and put in place, or, when one of them
// cannot be synced, nothing replaced and the failure naming that file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/File.h"

namespace {

namespace fs = std::filesystem;
using exo::store::ReplaceStep;
using storetest::readFile;
using storetest::writeFile;

class ReplaceTogether : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::path(dir.file("x")).parent_path().string();
    for (int i = 0; i < kFiles; ++i) {
      writeFile(dir.file(target(i)), "viejo " + std::to_string(i));
      writeFile(dir.file(staged(i)), std::string(10000 + i, static_cast<char>('a' + i)));
    }
  }
  static std::string target(int i) { return "T" + std::to_string(i) + ".dbf"; }
  static std::string staged(int i) { return "~1~T" + std::to_string(i) + ".dbf"; }
  std::vector<ReplaceStep> steps() const {
    std::vector<ReplaceStep> out;
    for (int i = 0; i < kFiles; ++i) out.push_back({staged(i), target(i)});
    return out;
  }

  static constexpr int kFiles = 7;
  storetest::TempDir dir;
  std::string folder;
};

TEST_F(ReplaceTogether, EveryStagedFileTakesItsPlace) {
  exo::store::replaceTogether(folder, steps());
  for (int i = 0; i < kFiles; ++i) {
    EXPECT_EQ(readFile(dir.file(target(i))), std::string(10000 + i, static_cast<char>('a' + i)));
    EXPECT_FALSE(fs::exists(dir.file(staged(i))));
  }
  EXPECT_FALSE(fs::exists(dir.file("~Reemplazo.lst")));
}

TEST_F(ReplaceTogether, AStagedFileThatCannotBeSyncedReplacesNothing) {
  for (const int missing : {0, 3, kFiles - 1}) {
    SCOPED_TRACE(missing);
    SetUp();
    fs::remove(dir.file(staged(missing)));
    try {
      exo::store::replaceTogether(folder, steps());
      ADD_FAILURE() << "no failure";
    } catch (const exo::FailureError& e) {
      EXPECT_EQ(fs::path(e.failure().fileName).filename().string(), staged(missing));
      EXPECT_EQ(e.failure().genCode, exo::GenCode::Write);
    }
    for (int i = 0; i < kFiles; ++i)
      EXPECT_EQ(readFile(dir.file(target(i))), "viejo " + std::to_string(i)) << i;
    EXPECT_FALSE(fs::exists(dir.file("~Reemplazo.lst")));
  }
}

}  // namespace

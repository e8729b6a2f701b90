// Temporary files named after the process that writes them: the owner read back from the name,
// and a start erasing only those of processes that have ended.
#include "store/Leftovers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "StoreTestSupport.h"
#include "store/File.h"

namespace {

namespace fs = std::filesystem;
using exo::store::temporaryOwner;

// The number of a process that has ended (a child that exits at once, reaped).
long endedPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

TEST(Leftovers, TheOwnerIsReadFromTheTemporaryNamesOnly) {
  EXPECT_EQ(temporaryOwner("Dmuisca_01001.xml.tmp4321_7"), 4321);
  EXPECT_EQ(temporaryOwner("VarMem01.mem.tmp99"), 99);
  EXPECT_EQ(temporaryOwner("~4321~CodCont.dbf"), 4321);
  EXPECT_EQ(temporaryOwner("~CodCmpx.cdx.tmp6550_1"), 6550);  // written beside a staged file
  EXPECT_EQ(temporaryOwner(exo::store::stagedName("TrF1001.dbf")), ::getpid());
  EXPECT_EQ(temporaryOwner(fs::path(exo::store::siblingTempName("/x/a.dbf")).filename().string()),
            ::getpid());
  for (const char* name : {"CodCont.dbf", "~CodCont.dbf", "~Reemplazo.lst", "~Reemplazo.tmp",
                           "~12CodCont.dbf", "~12~", "a.tmp", "a.tmp12_", "a.tmp12_x", "a.tmpx",
                           ".tmp12", "Informe.tmp1.pdf", "~99999999999~x.dbf"}) {
    EXPECT_EQ(temporaryOwner(name), 0) << name;
  }
}

TEST(Leftovers, OnlyTheFilesOfEndedProcessesAreErased) {
  storetest::TempDir dir;
  const long ended = endedPid();
  ASSERT_FALSE(exo::store::processAlive(ended));
  ASSERT_TRUE(exo::store::processAlive(::getpid()));
  ASSERT_TRUE(exo::store::processAlive(1));  // another process that runs
  const std::string e = std::to_string(ended);
  const std::set<std::string> gone = {"a.dbf.tmp" + e + "_0", "~" + e + "~CodCont.dbf",
                                      "VarMem01.mem.tmp" + e};
  const std::set<std::string> kept = {
      "CodCont.dbf",
      "~CodCont.dbf",
      "~Reemplazo.lst",
      "b.dbf.tmp1_3",
      "~1~TrF1001.dbf",
      fs::path(exo::store::siblingTempName(dir.file("c.dbf"))).filename().string(),
      exo::store::stagedName("TrF1002.dbf")};
  for (const auto* names : {&gone, &kept})
    for (const std::string& n : *names) std::ofstream(dir.file(n)) << "x";
  fs::create_directory(dir.file("~" + e + "~carpeta"));

  EXPECT_EQ(exo::store::removeLeftovers(dir.file("")), static_cast<int>(gone.size()));
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.file("")))
    left.insert(entry.path().filename().string());
  std::set<std::string> want = kept;
  want.insert("~" + e + "~carpeta");  // folders are never erased
  EXPECT_EQ(left, want);
  EXPECT_EQ(exo::store::removeLeftovers(dir.file("no-such-folder")), 0);
}

}  // namespace

// Stored paths on each system (on Windows under wine): the drive root, separators and letter
// case, accented names, temporary and read-only files, and the console.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "ShellTestSupport.h"
#include "expr/Failure.h"
#include "shell/Console.h"
#include "shell/Paths.h"
#include "store/Dbf.h"

namespace {

namespace fs = std::filesystem;
using exo::shell::Folders;

TEST(PlatformPaths, TheDriveIsTheRootOfTheProgramFoldersDriveUnlessNamed) {
  ::putenv(const_cast<char*>("EXOGENA_DRIVE="));
  const Folders plain = Folders::fromEnvironment();
  EXPECT_EQ(plain.drive, fs::current_path().root_path());
  EXPECT_EQ(plain.drive, plain.drive.root_path());
  EXPECT_FALSE(plain.drive.empty());
  shelltest::TempDir dir;
  static std::string named;
  named = "EXOGENA_DRIVE=" + dir.path().string();
  ::putenv(named.data());
  EXPECT_EQ(Folders::fromEnvironment().drive, dir.path());
  ::putenv(const_cast<char*>("EXOGENA_DRIVE="));
}

TEST(PlatformPaths, StoredPathsTakeEitherSeparatorAndAnyLetterCase) {
  shelltest::TempDir dir;
  Folders folders{dir.file("programa"), dir.file("unidad")};
  shelltest::writeFile(dir.file("unidad") / "NRVVS" / "Andina10" / "VRMAEEXO.DBF", "x");
  shelltest::writeFile(dir.file("programa") / "FORMS" / "F1001.xlsx", "y");
  const fs::path table = folders.drive / "NRVVS" / "Andina10" / "VRMAEEXO.DBF";
  EXPECT_EQ(exo::shell::nativePath(folders, "\\NRVVS\\ANDINA10\\vrmaeexo.dbf"), table);
  EXPECT_EQ(exo::shell::nativePath(folders, "/nrvvs/andina10/VRMAEEXO.dbf"), table);
  EXPECT_EQ(exo::shell::nativePath(folders, "\\nrvvs/Andina10\\VrMaeExo.Dbf"), table);
  EXPECT_TRUE(exo::shell::fileExists(folders, "forms\\f1001.XLSX"));
  // A drive letter or a climb out of the folder never becomes a path.
  EXPECT_THROW(exo::shell::nativePath(folders, "C:\\NRVVS\\X.DBF"), exo::FailureError);
  EXPECT_THROW(exo::shell::nativePath(folders, "c:NRVVS"), exo::FailureError);
  EXPECT_THROW(exo::shell::nativePath(folders, "NRVVS\\..\\..\\X.DBF"), exo::FailureError);
}

TEST(PlatformPaths, AccentedNamesReachTheDiskAndAreFoundAgain) {
  shelltest::TempDir dir;
  Folders folders{dir.path(), dir.path()};
  // "COMPAÑÍA\AÑO.DBF" as the system's texts write it (Windows-1252).
  const fs::path table = exo::shell::nativePath(folders,
                                                "COMPA\xD1\xCD"
                                                "A\\A\xD1O.DBF");
  fs::create_directories(table.parent_path());
  { exo::store::Dbf t = exo::store::Dbf::create(table.string(), {{"A", 'C', 2, 0}}); }
  bool seen = false;
  for (const auto& e : fs::directory_iterator(table.parent_path()))
    seen = seen || exo::shell::textOfPath(e.path().filename()) == "A\xD1O.DBF";
  EXPECT_TRUE(seen);
  // Found again whatever the case of its (unaccented) letters.
  EXPECT_TRUE(fs::equivalent(exo::shell::nativePath(folders,
                                                    "compa\xD1\xCD"
                                                    "a\\a\xD1o.dbf"),
                             table));
  EXPECT_EQ(exo::store::Dbf::open(table.string(), {true, true, 0}).recordCount(), 0u);
}

TEST(PlatformPaths, TemporaryFilesAreNewAndReadOnlyFilesAreSeen) {
  const fs::path a = exo::shell::newTemporaryFile("libro", ".xlsx");
  const fs::path b = exo::shell::newTemporaryFile("libro", ".xlsx");
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::exists(a));
  EXPECT_EQ(a.extension(), ".xlsx");
  EXPECT_FALSE(exo::shell::isReadOnlyFile(a));
  fs::permissions(a, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  // A file that may not be opened for writing is read-only (root may write anyway).
  if (!std::ofstream(a, std::ios::app).is_open()) {
    EXPECT_TRUE(exo::shell::isReadOnlyFile(a));
  }
  fs::permissions(a, fs::perms::owner_write, fs::perm_options::add);
  fs::remove(a);
  fs::remove(b);
  EXPECT_FALSE(exo::shell::isReadOnlyFile(a));
}

TEST(PlatformPaths, AFileIsNoTerminal) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(exo::shell::isTerminal(f));
  std::fclose(f);
}

}  // namespace

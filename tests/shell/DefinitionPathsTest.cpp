#include "shell/DefinitionPaths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using exo::PathUse;
using exo::shell::DefinitionPathPolicy;

class DefinitionPathsTest : public ::testing::Test {
 protected:
  fs::path root;
  fs::path program;
  fs::path company;
  fs::path outside;

  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "exo-paths-XXXXXX").string();
    root = ::mkdtemp(templ.data());
    program = root / "prog";
    company = program / "NRVVS" / "EMPRESA1";
    outside = root / "fuera";
    fs::create_directories(company / "SALIDA");
    fs::create_directories(outside);
  }
  void TearDown() override { fs::remove_all(root); }

  std::string refusal(const fs::path& p, PathUse use = PathUse::Write) const {
    return DefinitionPathPolicy({program, company}).refusal(p.string(), use);
  }
};

TEST_F(DefinitionPathsTest, PathsInsideTheProgramAndCompanyFoldersAreAllowed) {
  EXPECT_EQ(refusal(company / "TmpXml.dbf"), "");
  EXPECT_EQ(refusal(company / "SALIDA" / "libro.xlsx"), "");
  EXPECT_EQ(refusal(program / "Informes" / "nuevo" / "x.pdf"), "");  // not made yet
  EXPECT_EQ(refusal(company / "." / "TmpXml.dbf"), "");
  // The program's temporary folder, once made.
  const fs::path temp = exo::shell::programTempFolder(true);
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(refusal(temp / "libro.xlsx"), "");
}

TEST_F(DefinitionPathsTest, ParentFoldersAbsolutePathsOutsideAndLinksOutAreRefused) {
  EXPECT_EQ(refusal(company / ".." / ".." / ".." / "fuera" / "x.dbf"),
            exo::shell::kParentFolderRefused);
  EXPECT_EQ(refusal("NRVVS\\EMPRESA1\\..\\..\\x.dbf"), exo::shell::kParentFolderRefused);
  EXPECT_EQ(refusal(outside / "x.dbf"), exo::shell::kOutsideRefused);
  EXPECT_EQ(refusal(outside / "x.dbf", PathUse::Read), exo::shell::kOutsideRefused);
  EXPECT_EQ(refusal("/etc/passwd", PathUse::Read), exo::shell::kOutsideRefused);
  // A folder whose name begins as the program folder's is another folder.
  fs::create_directories(root / "prog2");
  EXPECT_EQ(refusal(root / "prog2" / "x.dbf"), exo::shell::kOutsideRefused);
  // A link inside the company folder that leads outside is followed.
  fs::create_directory_symlink(outside, company / "atajo");
  EXPECT_EQ(refusal(company / "atajo" / "x.dbf"), exo::shell::kOutsideRefused);
  // A relative path is taken from the working folder, as the engine opens it.
  const fs::path before = fs::current_path();
  fs::current_path(outside);
  EXPECT_EQ(refusal("x.dbf"), exo::shell::kOutsideRefused);
  fs::current_path(program);
  EXPECT_EQ(refusal("x.dbf"), "");
  fs::current_path(before);
}

TEST_F(DefinitionPathsTest, OnePolicyAskedAgainFollowsLinksMadeInAFolderItHasSeen) {
  const DefinitionPathPolicy policy({program, company});
  EXPECT_EQ(policy.refusal((company / "TmpXml.dbf").string(), PathUse::Write), "");
  EXPECT_EQ(policy.refusal((company / "SALIDA" / "libro.xlsx").string(), PathUse::Write), "");
  // Links made afterwards in the folders already asked about: a file and a folder leading out.
  std::ofstream(outside / "secreto.dbf") << "x";
  fs::create_symlink(outside / "secreto.dbf", company / "enlace.dbf");
  fs::create_directory_symlink(outside, company / "SALIDA" / "atajo");
  EXPECT_EQ(policy.refusal((company / "enlace.dbf").string(), PathUse::Read),
            exo::shell::kOutsideRefused);
  EXPECT_EQ(policy.refusal((company / "SALIDA" / "atajo" / "x.xlsx").string(), PathUse::Write),
            exo::shell::kOutsideRefused);
  // A folder the policy has not met yet, made during the run, is followed when asked about.
  EXPECT_EQ(policy.refusal((company / "NUEVA" / "x.dbf").string(), PathUse::Write), "");
  fs::create_directory_symlink(outside, company / "NUEVA");
  EXPECT_EQ(policy.refusal((company / "NUEVA" / "x.dbf").string(), PathUse::Write),
            exo::shell::kOutsideRefused);
  // The user's files keep their protection when their folder is known.
  EXPECT_NE(policy.refusal((company / "CodCont.dbf").string(), PathUse::Write), "");
  EXPECT_EQ(policy.refusal((company / "CodCont.dbf").string(), PathUse::Read), "");
}

TEST_F(DefinitionPathsTest, TheUsersFilesMayBeReadButNeverWritten) {
  for (const char* name :
       {"CodCont.dbf", "CODCONTX.CDX", "~CodCont.dbf", "~4321~CodCont.dbf", "~77~CodContx.cdx",
        "codcont", "TrF1002B.dbf", "TRF1012B.FPT", "TrF1010z.cdx", "Trf1007y.cdx", "Consecut.mem",
        "Concepts.dbf", "CodPais.dbf", "VRFuente.dbt"}) {
    const std::string reason = refusal(company / name);
    EXPECT_NE(reason.find(exo::shell::kUserFileRefused), std::string::npos) << name;
    EXPECT_EQ(refusal(company / name, PathUse::Read), "") << name;
  }
  EXPECT_NE(refusal(program / "VarMem01.mem"), "");
  EXPECT_NE(refusal(program / "FORMS" / "MMG01XC.RPO"), "");
  // The spellings Windows reads as those same files: trailing dots and spaces, the file's
  // contents stream and other streams.
  for (const char* name : {"CodCont.dbf.", "Consecut.mem. .", "VarMem01.mem::$DATA",
                           "Concepts.dbf:x", "TrF1002B.dbf ", "CodContx.cdx:"}) {
    EXPECT_NE(refusal(company / name).find(exo::shell::kUserFileRefused), std::string::npos)
        << name;
  }
  EXPECT_NE(refusal(program / "FORMS." / "MMG01XC.RPO"), "");
  EXPECT_NE(refusal(program / "forms " / "nuevo.rpo"), "");
  // A link to a user file is the user file.
  std::ofstream(company / "CodCont.dbf") << "x";
  fs::create_symlink(company / "CodCont.dbf", company / "otra.dbf");
  EXPECT_NE(refusal(company / "otra.dbf"), "");
  // The format tables the integration rebuilds, and the scratch tables, are no user files.
  for (const char* name : {"TrF1001.dbf", "TrF1002.dbf", "TmpXml.dbf", "TotDat4.dbf"})
    EXPECT_EQ(refusal(company / name), "") << name;
}

}  // namespace

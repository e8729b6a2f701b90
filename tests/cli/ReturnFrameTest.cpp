// The frame of the return commands run through the real exogena-cli: the global options, the
// company chosen as the company selection chooses it (with or without the trailing backslash,
// in any letter case, or the last session's), the exit codes and the Spanish explanations of
// wrong arguments, and the installation of an empty program folder.
#include <gtest/gtest.h>

#include "CliSupport.h"

namespace {

using clitest::Demo;
namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ReturnFrame, ChoosesTheCompanyAsTheSelectionDoes) {
  Demo demo;
  ASSERT_TRUE(demo.ok());
  // Without --company: the company of the last session (the demo's first company).
  auto r = demo.cli("select-company");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "(NRVVS\\ANDINA10\\)")) << r.out;

  // The folder as the control file writes it, without its backslash and in lower case: the
  // working folder is laid out on this first choice and becomes the last session's company.
  EXPECT_FALSE(fs::exists(demo.program() / "NRVVS" / "ANDINA09"));
  r = demo.cli("select-company --company andina09");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "(NRVVS\\ANDINA09\\)")) << r.out;
  for (const char* file : {"CodCont.dbf", "VRMAEEXO.DBF", "VRDIREXO.DBF", "Consecut.mem"})
    EXPECT_TRUE(fs::exists(demo.program() / "NRVVS" / "ANDINA09" / file)) << file;
  r = demo.cli("select-company");
  EXPECT_TRUE(contains(r.out, "(NRVVS\\ANDINA09\\)")) << r.out;
  // With its backslash, and the option's value after "=".
  r = demo.cli("select-company '--company=ANDINA10\\'");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "(NRVVS\\ANDINA10\\)")) << r.out;

  // The global options stand before the command as well, the folders given explicitly.
  r = demo.cli("--program '" + demo.program().string() + "' --drive '" + demo.drive().string() +
               "' --company ANDINA09 --yes select-company");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "(NRVVS\\ANDINA09\\)")) << r.out;

  // The other product: its company, then its last session without --company.
  r = demo.cli("select-company --product nrvcontb --company 'Costa10\\'");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(demo.program() / "NRVCONTB" / "COSTA10" / "CodCont.dbf"));
  r = demo.cli("select-company --no");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "(NRVCONTB\\COSTA10\\)")) << r.out;

  // A company the control file does not have: exit 1, the choices on stderr, nothing changed.
  r = demo.cli("select-company --product NRVVS --company NOEXISTE");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, "NOEXISTE\\ no est\xC3\xA1")) << r.err;
  EXPECT_TRUE(contains(r.err, "ANDINA09\\")) << r.err;
  EXPECT_FALSE(fs::exists(demo.program() / "NRVVS" / "NOEXISTE"));
  // The last session's company belongs to the other product: it must be named.
  r = demo.cli("select-company --product NRVVS");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, "--company")) << r.err;
}

TEST(ReturnFrame, WrongArgumentsAndFoldersAreExplained) {
  Demo demo("--lines 500");
  ASSERT_TRUE(demo.ok());
  struct Case {
    const char* args;
    int exitCode;
    const char* says;
  } cases[] = {
      {"select-company --yes --no", 2, "--yes y --no no pueden ir juntas"},
      {"select-company --sin-esto", 2, "opci\xC3\xB3n no v\xC3\xA1lida: --sin-esto"},
      {"select-company --product ORBISAL", 2, "--product debe ser NRVVS o NRVCONTB"},
      {"select-company --company", 2, "falta el valor de --company"},
      {"select-company sobra", 2, "argumento de m\xC3\xA1s: sobra"},
      {"select-company --program /no/existe", 1, "la carpeta del programa no existe"},
      {"select-company --drive /", 1, "use --drive o EXOGENA_DRIVE"},
      {"select-company --program /", 1, "exogena-cli install /"},
      {"select-company --product NRVCONTB --company COSTA10", 1, "no est\xC3\xA1 instalado"},
  };
  for (const Case& c : cases) {
    const auto r = demo.cli(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.err;
    EXPECT_TRUE(contains(r.err, c.says)) << c.args << "\n" << r.err;
  }
}

TEST(ReturnFrame, InstallLaysOutAnEmptyProgramFolderOnce) {
  Demo demo("--lines 500");
  ASSERT_TRUE(demo.ok());
  const fs::path program = demo.root() / "real";
  auto r = demo.cli("install '" + program.string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* entry : {"Formatos.dbf", "Concepts.dbf", "CodDpto.dbf", "CodMunic.dbf",
                            "CodPais.dbf", "FORMS", "help", "PREVALIDADOR"})
    EXPECT_TRUE(fs::exists(program / entry)) << entry;
  EXPECT_FALSE(fs::exists(program / "VarMem01.mem"));
  EXPECT_FALSE(fs::exists(program / "NRVVS"));
  // An installation is never replaced.
  const auto before = fs::last_write_time(program / "Concepts.dbf");
  r = demo.cli("install '" + program.string() + "'");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(contains(r.err, "ya tiene una instalaci\xC3\xB3n")) << r.err;
  EXPECT_EQ(fs::last_write_time(program / "Concepts.dbf"), before);
  // The new folder works on the demo's ledger: a company is chosen and laid out there.
  r = demo.cli("select-company --program '" + program.string() + "' --drive '" +
               demo.drive().string() + "' --company ANDINA10");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(program / "NRVVS" / "ANDINA10" / "VRMAEEXO.DBF"));
  EXPECT_TRUE(fs::exists(program / "VarMem01.mem"));
}

}  // namespace

// Report definitions confined to the program's folders: hostile definitions are refused with the
// Spanish message of the error handler and change nothing; the program's own work is untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "expr/Interp.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "shell/DefinitionPaths.h"
#include "shell/ErrorHandler.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "store/Dbf.h"
#include "store/Engine.h"
#include "support/Portable.h"

namespace {

namespace fs = std::filesystem;
using exo::Value;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

class DefinitionConfinementTest : public ::testing::Test {
 protected:
  fs::path root = exotest::makeTempFolder("exo-confine-");
  fs::path program = root / "prog";
  fs::path drive = root / "drive";
  fs::path company = program / "NRVVS" / "EMPRESA1";
  fs::path outside = root / "fuera";
  exo::Interp ip;
  exo::store::Engine engine{ip};
  exo::shell::ScriptedUserInterface ui;
  exo::shell::ErrorHandler handler{ip, ui, &engine, root / "prog"};
  std::unique_ptr<exo::reports::Runner> runner;
  std::vector<int> exits;

  void SetUp() override {
    for (const char* f : {"VR.EXE", "VRNRVV32.DLL"}) {
      fs::create_directories(drive / "NRVVS");
      std::ofstream(drive / "NRVVS" / f) << "x";
    }
    fs::create_directories(company / "SALIDA");
    fs::create_directories(outside);
    exo::shell::ERRORSYS(handler, ip);
    handler.setExit([this](int code) { exits.push_back(code); });
    ASSERT_TRUE(exo::shell::VARIABLPUBLIC(ip, ui, {program, drive}));
    ip.memvars().assign("CELPATH", Value::text("NRVVS\\EMPRESA1\\"));
    exo::reports::registerWorkbookFunctions(ip, &ui, {program, drive});
    runner = std::make_unique<exo::reports::Runner>(ip, ui, program, &handler);
    table(company / "CodCont.dbf", {"1105", "2205", "2365"});
    table(company / "TrF1002B.dbf", {"900"});
    table(outside / "victima.dbf", {"A", "B"});
    std::ofstream(program / "VarMem01.mem", std::ios::app) << "";
    ui.clear();
  }
  void TearDown() override {
    engine.closeAll(ip);
    fs::remove_all(root);
  }

  void table(const fs::path& file, const std::vector<std::string>& codes) {
    engine.createTable(file.string(), {{"COD_CONT", 'C', 10, 0}});
    const int area = engine.open(file.string(), "NUEVA", false);
    for (const std::string& c : codes) {
      engine.appendBlank(area);
      engine.put(area, "COD_CONT", Value::text(c));
    }
    engine.close(ip, area);
  }
  static std::uint32_t records(const fs::path& file) {
    exo::store::Dbf t = exo::store::Dbf::open(file.string(), {true, true, 0});
    return t.recordCount();
  }
  static std::uintmax_t size(const fs::path& file) {
    std::error_code ec;
    return fs::file_size(file, ec);
  }
  // Runs a definition whose failures the user lets go one by one ("Omitir"): every refused
  // operation is skipped and the run goes on.
  void runLettingGo(const std::string& text, int failures) {
    std::ofstream(program / "FORMS" / "HOSTIL.RPO", std::ios::trunc) << text;
    // What the run tells the test (its own variables are private to it).
    for (const char* name : {"LFIN", "LABIERTA"}) ip.memvars().declarePublic(name, Value());
    ip.memvars().declarePublic("CLEIDO", Value());
    for (int i = 0; i < failures; ++i) ui.answer("&Omitir");
    runner->EJECUTAR("HOSTIL.RPO");
  }
  // The texts of the error handler's questions.
  std::vector<std::string> asked() {
    std::vector<std::string> out;
    for (const auto& c : ui.callsOf("ask")) out.push_back(c.text);
    return out;
  }
  static bool says(const std::string& text, std::string_view what) {
    return text.find(what) != std::string::npos;
  }
};

TEST_F(DefinitionConfinementTest, PathsOutsideTheProgramFoldersAreRefusedAndNothingChanges) {
  fs::create_directories(program / "FORMS");
  const std::uintmax_t victim = size(outside / "victima.dbf");
  runLettingGo(
      // a table created by an absolute path outside, and one reached by ".."
      "DbCreate(" + quoted(outside / "nueva.dbf") + ", {{'A', 'C', 5, 0}})\r\n" + "DbCreate(" +
          quoted(company / ".." / ".." / ".." / "fuera" / "victima.dbf") +
          ", {{'A', 'C', 5, 0}})\r\n" +
          // a table outside opened (and then the selected area emptied)
          "DbUseArea(.T., , " + quoted(outside / "victima.dbf") + ", 'VICTIMA', .F., .F.)\r\n" +
          "LABIERTA := Used() .AND. Alias() == 'VICTIMA'\r\n" +
          // an index file written outside
          "DbCreate(" + quoted(company / "TmpXml.dbf") + ", {{'A', 'C', 5, 0}})\r\n" +
          "DbUseArea(.T., , " + quoted(company / "TmpXml.dbf") + ", 'TMPXML', .F., .F.)\r\n" +
          "OrdCreate(" + quoted(outside / "indice.cdx") + ", 'A', 'A')\r\n" +
          // a workbook saved outside, and one read from there
          "oX := TExcelScript():New()\r\noX:Create(" + quoted(company / "SALIDA" / "bien.xlsx") +
          ")\r\n" + "oX:Say(1, 1, 'x')\r\noX:SaveAs(" + quoted(outside / "libro.xlsx") + ")\r\n" +
          "oX:SaveAs(" + quoted(company / "SALIDA" / ".." / ".." / "libro.xlsx") + ")\r\n" +
          "oX:Open('/etc/hostname')\r\n" + "LFIN := .T.",
      7);
  const auto questions = asked();
  ASSERT_EQ(questions.size(), 7u);
  EXPECT_TRUE(says(questions[0], exo::shell::kOutsideRefused)) << questions[0];
  EXPECT_TRUE(says(questions[1], exo::shell::kParentFolderRefused)) << questions[1];
  EXPECT_TRUE(says(questions[2], (outside / "victima.dbf").string())) << questions[2];
  EXPECT_TRUE(says(questions[3], (outside / "indice.cdx").string())) << questions[3];
  EXPECT_TRUE(says(questions[4], (outside / "libro.xlsx").string())) << questions[4];
  EXPECT_TRUE(says(questions[5], exo::shell::kParentFolderRefused)) << questions[5];
  // "/etc/hostname" as the system reads it: on Windows a root-relative name, on the drive root.
  EXPECT_TRUE(says(questions[6], exo::shell::kOutsideRefused)) << questions[6];
  EXPECT_TRUE(says(questions[6], (fs::path("etc") / "hostname").string())) << questions[6];
  EXPECT_TRUE(ip.evalText("LFIN").logical());  // every refusal was let go, the run went on
  EXPECT_FALSE(ip.evalText("LABIERTA").logical());
  EXPECT_FALSE(fs::exists(outside / "nueva.dbf"));
  EXPECT_FALSE(fs::exists(outside / "indice.cdx"));
  EXPECT_FALSE(fs::exists(outside / "libro.xlsx"));
  EXPECT_FALSE(fs::exists(root / "libro.xlsx"));
  EXPECT_EQ(size(outside / "victima.dbf"), victim);
  EXPECT_EQ(records(outside / "victima.dbf"), 2u);
  // What lies inside was allowed: the working table in the company folder.
  EXPECT_TRUE(fs::exists(company / "TmpXml.dbf"));
}

TEST_F(DefinitionConfinementTest, TheUsersTablesCannotBeEmptiedRecreatedOrWritten) {
  fs::create_directories(program / "FORMS");
  // The program holds the assignments open when the definition runs.
  const int held = engine.open((company / "CodCont.dbf").string(), "CODCONT");
  engine.select(held);
  runLettingGo(
      "__dbZap()\r\n"
      "DbSelectArea('CODCONT')\r\n__dbPack()\r\nDbDelete()\r\n"
      "FieldPut(1, 'XXXX')\r\nCOD_CONT := 'YYYY'\r\nDbAppend()\r\n"
      "DbCreate(" +
          quoted(company / "codcont.dbf") + ", {{'A', 'C', 5, 0}})\r\n" + "DbCreate(" +
          quoted(company / "TrF1002B") + ", {{'A', 'C', 5, 0}})\r\n" +
          // opened by the definition itself: read-only, its reads still work
          "DbUseArea(.T., , " + quoted(company / "TrF1002B.dbf") + ", 'BASES')\r\n" +
          "CLEIDO := BASES->COD_CONT\r\nBASES->(__dbZap())\r\n" +
          "oX := TExcelScript():New()\r\noX:Create(" + quoted(program / "VarMem01.mem") +
          ")\r\noX:Save()\r\nLFIN := .T.",
      10);
  const auto questions = asked();
  ASSERT_EQ(questions.size(), 10u);
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_TRUE(says(questions[i], exo::shell::kUserFileRefused)) << i << ": " << questions[i];
  }
  EXPECT_TRUE(says(questions[0], "CodCont.dbf")) << questions[0];
  EXPECT_TRUE(says(questions[0], "Lin.: 1")) << questions[0];
  EXPECT_TRUE(ip.evalText("LFIN").logical());
  EXPECT_EQ(std::string(ip.evalText("CLEIDO").textView()), "900       ");
  engine.goTop(ip, held);
  EXPECT_EQ(engine.text(held, "COD_CONT"), "1105      ");
  engine.close(ip, held);
  EXPECT_EQ(records(company / "CodCont.dbf"), 3u);
  EXPECT_EQ(records(company / "TrF1002B.dbf"), 1u);
  EXPECT_EQ(size(program / "VarMem01.mem"), 0u);

  // After the run the program's own work is free again.
  const int area = engine.open((company / "CodCont.dbf").string(), "CODCONT", false);
  engine.zap(ip, area);
  EXPECT_EQ(engine.recCount(area), 0);
}

TEST_F(DefinitionConfinementTest, ARefusalTheUserDoesNotLetGoStopsTheRun) {
  fs::create_directories(program / "FORMS");
  std::ofstream(program / "FORMS" / "HOSTIL.RPO") << "NPASO := 1\r\nDbCreate(" +
                                                         quoted(outside / "x.dbf") +
                                                         ", {{'A', 'C', 5, 0}})\r\nNPASO := 2";
  ip.memvars().declarePublic("NPASO", Value::number(0));
  ui.answer("&Salir");
  EXPECT_THROW(runner->EJECUTAR("HOSTIL.RPO"), exo::FailureError);
  EXPECT_EQ(ip.evalText("NPASO").num(), 1);
  EXPECT_FALSE(fs::exists(outside / "x.dbf"));
  const auto questions = asked();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_TRUE(says(questions[0], "HOSTIL.RPO - Lin.: 2")) << questions[0];
  // The policy ended with the run: the program may create the table itself.
  engine.createTable((outside / "x.dbf").string(), {{"A", 'C', 5, 0}});
  EXPECT_TRUE(fs::exists(outside / "x.dbf"));
}

TEST_F(DefinitionConfinementTest, TheSessionsCompanyIsTheSameAfterTheRun) {
  fs::create_directories(program / "FORMS");
  const std::string table(ip.evalText("CODCONTA").textView());
  ip.memvars().declarePublic("NPASO", Value::number(0));
  std::ofstream(program / "FORMS" / "OTRA.RPO")
      << "CELPATH := 'NRVVS\\OTRA\\'\r\nMVAR01 := CELPATH\r\nCODCONTA := CELPATH + 'CodCont.dbf'"
         "\r\nCDIRSALIDA := '..\\'\r\nNPASO := 1";
  runner->EJECUTAR("OTRA.RPO");
  EXPECT_EQ(ip.evalText("NPASO").num(), 1);  // the definition's own results stay
  EXPECT_EQ(std::string(ip.evalText("CELPATH").textView()), "NRVVS\\EMPRESA1\\");
  EXPECT_EQ(std::string(ip.evalText("CODCONTA").textView()), table);
  EXPECT_EQ(std::string(ip.evalText("CDIRSALIDA").textView()), "SALIDA\\");
  EXPECT_NE(std::string(ip.evalText("MVAR01").textView()), "NRVVS\\OTRA\\");
}

}  // namespace

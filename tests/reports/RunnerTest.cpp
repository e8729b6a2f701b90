#include "reports/Runner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "expr/Interp.h"
#include "expr/TPublic.h"
#include "shell/ErrorHandler.h"
#include "shell/ErrorLog.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "store/Dbf.h"
#include "store/Engine.h"

namespace {

namespace fs = std::filesystem;
using exo::Value;
using exo::reports::Runner;

class TempDir {
 public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "exo-runner-XXXXXX").string();
    m_path = ::mkdtemp(templ.data());
  }
  ~TempDir() { fs::remove_all(m_path); }
  const fs::path& path() const { return m_path; }

 private:
  fs::path m_path;
};

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class RunnerTest : public ::testing::Test {
 protected:
  TempDir dir;
  fs::path program = dir.path() / "prog";
  fs::path drive = dir.path() / "drive";
  exo::Interp ip;
  exo::store::Engine engine{ip};
  exo::shell::ScriptedUserInterface ui;
  exo::shell::ErrorHandler handler{ip, ui, &engine, dir.path() / "prog"};
  std::unique_ptr<Runner> runner;
  std::vector<int> exits;

  void SetUp() override {
    writeFile(drive / "NRVVS" / "VR.EXE", "x");
    writeFile(drive / "NRVVS" / "VRNRVV32.DLL", "x");
    fs::create_directories(program);
    exo::shell::ERRORSYS(handler, ip);
    handler.setExit([this](int code) { exits.push_back(code); });
    ASSERT_TRUE(exo::shell::VARIABLPUBLIC(ip, ui, {program, drive}));
    runner = std::make_unique<Runner>(ip, ui, program, &handler);
    runner->busyPauseMs = 1;
    ui.clear();
  }

  void form(const std::string& name, const std::string& text) {
    writeFile(program / "FORMS" / name, text);
  }
  // The report-source store: the table of names, offsets and lengths and the text file.
  void store(const std::map<std::string, std::string>& definitions) {
    engine.createTable((program / "VRFuente.dbf").string(),
                       {{"NOMBRE", 'C', 12, 0}, {"BEGIN", 'N', 10, 0}, {"LENGTH", 'N', 10, 0}});
    const int area = engine.open((program / "VRFuente.dbf").string(), "FUENTE", false);
    std::string text = "cabecera del almacen\r\n";
    for (const auto& [name, body] : definitions) {
      engine.appendBlank(area);
      engine.put(area, "NOMBRE", Value::text(name));
      engine.put(area, "BEGIN", Value::number(static_cast<double>(text.size())));
      engine.put(area, "LENGTH", Value::number(static_cast<double>(body.size())));
      text += body;
    }
    engine.close(ip, area);
    writeFile(program / "VRFuente.dbt", text);
  }
  // A table of amounts, left selected.
  int amounts(const std::vector<double>& values, const std::string& alias = "MONTOS") {
    const std::string file = (dir.path() / (alias + ".dbf")).string();
    engine.createTable(file, {{"VALOR", 'N', 10, 0}});
    const int area = engine.open(file, alias);
    for (double v : values) {
      engine.appendBlank(area);
      engine.put(area, "VALOR", Value::number(v));
    }
    engine.goTop(ip, area);
    return area;
  }
  double number(const std::string& expr) { return ip.evalText(expr).num(); }
  int lineRun() { return static_cast<int>(number("OAPEJEC:nLinEjec")); }
  std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const auto& c : ui.callsOf("message")) out.push_back(c.text);
    return out;
  }
};

TEST(DefinitionName, GivesTheFileTheStoreKeyAndTheKeepKey) {
  auto d = exo::reports::resolveDefinitionName("  mmg01xc.rpo ");
  EXPECT_EQ(d.name, "MMG01XC.RPO");
  EXPECT_EQ(d.fileName, "MMG01XC.RPO");
  EXPECT_EQ(d.storeKey, "MMG01XC.RPO ");
  EXPECT_EQ(d.keepKey, "MMGR");

  d = exo::reports::resolveDefinitionName("extra");  // no extension: a dot is appended
  EXPECT_EQ(d.name, "EXTRA.");
  EXPECT_EQ(d.fileName, "EXTRA");
  EXPECT_EQ(d.storeKey, "EXTRA       ");  // the bare name
  EXPECT_EQ(d.keepKey, "EXT");

  EXPECT_EQ(exo::reports::resolveDefinitionName("ab.vrx").fileName, "");  // store only
  EXPECT_EQ(exo::reports::resolveDefinitionName("ab.vrx").storeKey, "AB.VRX      ");
  EXPECT_EQ(exo::reports::resolveDefinitionName(" . ").fileName, "");  // never in FORMS
  EXPECT_EQ(exo::reports::resolveDefinitionName("..\\x.rpo").fileName, "");
  EXPECT_EQ(exo::reports::resolveDefinitionName("ABCDEFGHIJ.RPO").storeKey, "");  // too long
}

TEST(KeptLines, DropEmptyLinesAndCommentsAndKeepTheRest) {
  const auto lines = exo::reports::keptLines(
      "// cabecera\r\n\r\n   \r\n  // indentado\r\nX := 1\r\n[Titulo]\nY / 2");
  EXPECT_EQ(lines, (std::vector<std::string>{"X := 1", "[Titulo]", "Y / 2"}));
  EXPECT_TRUE(exo::reports::keptLines("// solo\r\n//comentarios\r\n").empty());
}

TEST_F(RunnerTest, EachKindOfLine) {
  ip.memvars().declarePublic("NTOTAL", Value::number(0));
  ip.memvars().declarePublic("NVISTO", Value::number(0));
  ip.memvars().declarePublic("CLINEA", Value::text(""));
  ip.memvars().declarePublic("ATIPOS", Value::newArray(0));
  amounts({10, 20, 30});
  form("KINDS.RPO",
       "// assignments run for their effect\r\n"
       "NTOTAL := 1\r\n"
       "[NTOTAL := 99]\r\n"  // a text line with := is ignored
       "CLINEA := G_REP\r\n"
       "[Texto que no se muestra]\r\n"
       "2 + 3\r\n"
       "NVISTO := G_REP\r\n"
       "{|| NTOTAL += VALOR, AAdd(ATIPOS, ValType(G_REP)) }\r\n"
       "{|| NTOTAL := -1000 }\r\n"  // with := it is an assignment line: the block is not run
       "{'no', 'se', 'muestra'}\r\n"
       "'ni esto'");
  runner->EJECUTAR("kinds.rpo");
  EXPECT_EQ(number("NTOTAL"), 61);  // 1 + 10 + 20 + 30, once per record
  EXPECT_EQ(ip.evalText("CLINEA").textView(), "CLINEA := G_REP");
  // G_REP holds each line as it starts, and the line's value once it has one.
  EXPECT_EQ(ip.evalText("NVISTO").textView(), "NVISTO := G_REP");
  EXPECT_EQ(number("Len(ATIPOS)"), 3);
  EXPECT_EQ(ip.evalText("ATIPOS[1]").textView(), "B");
  EXPECT_EQ(lineRun(), 10);                        // the last kept line
  EXPECT_TRUE(ui.calls().empty());                 // output is off: nothing shown
  EXPECT_EQ(ip.memvars().find("G_REP"), nullptr);  // the run's variables are gone
  EXPECT_EQ(ip.memvars().find("_EXIT"), nullptr);
}

TEST_F(RunnerTest, ValuesAreShownOnlyWithOutputOn) {
  form("SHOW.RPO",
       "SET(17, .T.)\r\n"
       "[Titulo del informe]\r\n"
       "{'uno', 2, .T.}\r\n"
       "40 + 2\r\n"
       ".F.\r\n"
       "NIL\r\n"
       "SET(17, 'OFF')\r\n"
       "'callado'\r\n"
       "SET(18, 'ON')\r\n"  // alternate output shows values too
       "'alterno'\r\n"
       "SET(18, .F.)\r\n"
       "'otra vez callado'");
  runner->EJECUTAR("SHOW.RPO");
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"[Titulo del informe]", "uno\r\n2\r\n.T.", "42", "alterno"}));
  EXPECT_FALSE(ip.consoleOn);
}

TEST_F(RunnerTest, ExitOnLineThreeStopsTheRun) {
  ip.memvars().declarePublic("NCUENTA", Value::number(0));
  std::string text;
  for (int i = 1; i <= 10; ++i)
    text += (i == 3 ? "_EXIT := .T." : "NCUENTA := NCUENTA + 1") + std::string("\r\n");
  form("SALIDA.RPO", "// no cuenta\r\n" + text);
  runner->EJECUTAR("SALIDA.RPO");
  EXPECT_EQ(number("NCUENTA"), 2);
  EXPECT_EQ(lineRun(), 3);
}

TEST_F(RunnerTest, CommentsOnlyRunNothingAndABlockWithoutAreaIsSkipped) {
  form("VACIO.RPO", "// uno\r\n// dos\r\n");
  ip.evalText("OAPEJEC:nLinEjec := 7");
  runner->EJECUTAR("VACIO.RPO");
  EXPECT_EQ(lineRun(), 0);  // reset at the start, no line run

  ip.memvars().declarePublic("NVECES", Value::number(0));
  engine.select(5);  // a free area
  form("BLOQUE.RPO", "{|| NVECES := NVECES + 1 }\r\nNVECES := NVECES + 10");
  runner->EJECUTAR("BLOQUE.RPO");
  EXPECT_EQ(number("NVECES"), 10);
  EXPECT_TRUE(ui.calls().empty());
}

TEST_F(RunnerTest, ANestedRunGivesTheOuterLineItsNumberBack) {
  ip.memvars().declarePublic("NDENTRO", Value::number(0));
  form("INTERNO.RPO", "NDENTRO := OAPEJEC:nLinEjec\r\n1\r\n2\r\n3");
  form("EXTERNO.RPO", "// inicio\r\n1\r\nEJECUTAR('INTERNO.RPO')\r\nNFUERA := OAPEJEC:nLinEjec");
  ip.memvars().declarePublic("NFUERA", Value::number(0));
  runner->EJECUTAR("EXTERNO.RPO");
  EXPECT_EQ(number("NDENTRO"), 1);
  EXPECT_EQ(number("NFUERA"), 3);
  EXPECT_EQ(lineRun(), 3);
}

TEST_F(RunnerTest, TheAreaSelectedAtTheStartIsSelectedAgain) {
  const int first = amounts({1}, "PRIMERA");
  amounts({2}, "OTRA");
  engine.select(first);
  ip.memvars().declarePublic("NAP", Value::number(0));
  form("AREAS.RPO", "NAP := A_P\r\nDBSELECTAREA('OTRA')\r\nSELECT()");
  runner->EJECUTAR("AREAS.RPO");
  EXPECT_EQ(number("NAP"), first);
  EXPECT_EQ(engine.selected(), first);
}

TEST_F(RunnerTest, ADefinitionNotInFormsComesFromTheStoreWhoseIndexIsBuiltWhenMissing) {
  ip.memvars().declarePublic("NDE", Value::number(0));
  store({{"MMG01XC.RPO", "// del almacen\r\nNDE := NDE + 1\r\nNDE := NDE * 10"},
         {"EXTRA", "NDE := 500"}});
  runner->EJECUTAR("mmg01xc.rpo");
  EXPECT_EQ(number("NDE"), 10);
  EXPECT_TRUE(exo::shell::findEntry(program, "vrfuente.cdx").has_value());
  EXPECT_EQ(engine.areaOf("VRFUENTE"), 0);  // closed again

  runner->EJECUTAR("Extra");  // looked up by the bare name
  EXPECT_EQ(number("NDE"), 500);

  // FORMS comes first.
  form("MMG01XC.RPO", "NDE := 3");
  runner->EJECUTAR("MMG01XC.RPO");
  EXPECT_EQ(number("NDE"), 3);

  // Neither there nor in the store: nothing runs, nothing is said.
  ui.clear();
  runner->EJECUTAR("NOESTA.RPO");
  EXPECT_EQ(number("NDE"), 3);
  EXPECT_TRUE(ui.calls().empty());
  EXPECT_TRUE(exits.empty());
}

TEST_F(RunnerTest, AGivenTextTakesThePlaceOfTheStoredOne) {
  ip.memvars().declarePublic("NDE", Value::number(0));
  ip.evalText("EJECUTAR('NUEVO.RPU', 'NDE := 7')");  // no store needed
  EXPECT_EQ(number("NDE"), 7);
  form("NUEVO.RPU", "NDE := 8");
  ip.evalText("EJECUTAR('NUEVO.RPU', 'NDE := 7')");  // the file wins
  EXPECT_EQ(number("NDE"), 8);
}

TEST_F(RunnerTest, KeptListIsReadOnceAndThenRunFromMemory) {
  ip.memvars().declarePublic("NVEZ", Value::number(0));
  form("EXTRA", "NVEZ := NVEZ + 1\r\n// nota\r\nNVEZ := NVEZ * 2");
  runner->EJECUTAR("extra");
  EXPECT_EQ(number("NVEZ"), 2);
  EXPECT_EQ(number("Len(VEXT)"), 2);  // "EXT" of _FORM: kept under V + EXT
  fs::remove(program / "FORMS" / "EXTRA");
  runner->EJECUTAR("EXTRAS");  // the same key: the kept list runs, nothing is read
  EXPECT_EQ(number("NVEZ"), 6);

  // With an extension the key is "EXTR", which _FORM does not hold: read at every run.
  form("EXTRA.RPO", "NVEZ := 0");
  runner->EJECUTAR("EXTRA.RPO");
  EXPECT_EQ(number("NVEZ"), 0);
  EXPECT_EQ(ip.memvars().find("VEXTR"), nullptr);
}

TEST_F(RunnerTest, AFailingLineIsReportedWithTheDefinitionAndItsLine) {
  ip.memvars().declarePublic("NPASO", Value::number(0));
  form("FALLA.RPO", "// cabecera\r\nNPASO := 1\r\nNOEXISTE()\r\nNPASO := NPASO + 5");
  const int area = amounts({1});
  ui.answer("&Salir");
  EXPECT_THROW(runner->EJECUTAR("FALLA.RPO"), exo::FailureError);
  EXPECT_EQ(exits, std::vector<int>{1});
  EXPECT_EQ(number("NPASO"), 1);  // line 3 never ran
  const auto asks = ui.callsOf("ask");
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_NE(asks[0].text.find("Llamado por EJECUTAR(0)  : FALLA.RPO - Lin.: 2"), std::string::npos)
      << asks[0].text;
  const auto log = exo::shell::readErrorLog(engine, program / "Error");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].error.find("NOEXISTE"), std::string::npos);
  EXPECT_NE(log[0].texto.find("FALLA.RPO - Lin.: 2"), std::string::npos);
  // The failure unwound through the run: its variables are released, its area selected again.
  EXPECT_EQ(ip.memvars().find("G_REP"), nullptr);
  EXPECT_EQ(engine.selected(), area);
  EXPECT_TRUE(handler.callStack().frames().empty());
}

TEST_F(RunnerTest, AMissingStoreIsAReportedFailure) {
  ui.answer("&Omitir");
  runner->EJECUTAR("NOESTA.RPO");
  const auto asks = ui.callsOf("ask");
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_NE(asks[0].text.find("VRFuente.dbf"), std::string::npos) << asks[0].text;
}

TEST_F(RunnerTest, ARecordPointingPastTheStoredTextIsAFailureNotACrash) {
  store({{"ROTO.RPO", "NADA := 1"}});
  fs::resize_file(program / "VRFuente.dbt", 10);
  ui.answer("&Omitir");
  runner->EJECUTAR("ROTO.RPO");
  const auto asks = ui.callsOf("ask");
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_NE(asks[0].text.find("fuera del texto"), std::string::npos) << asks[0].text;
  EXPECT_EQ(ip.memvars().find("NADA"), nullptr);
}

TEST_F(RunnerTest, AStoreHeldByAnotherStationIsWaitedForUntilTheUserGivesUp) {
  ip.memvars().declarePublic("NDE", Value::number(0));
  store({{"OCUPA.RPO", "NDE := 1"}});
  runner->EJECUTAR("OCUPA.RPO");  // builds the index
  ASSERT_EQ(number("NDE"), 1);
  ip.evalText("NDE := 0");
  const std::string table = (program / "VRFuente.dbf").string();
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    int code = 1;
    try {
      auto held = exo::store::Dbf::open(table, {false, false, 0});
      char c = 'x';
      if (::write(ready[1], &c, 1) == 1 && ::read(done[0], &c, 1) == 1) code = 0;
    } catch (...) {
    }
    ::_exit(code);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ui.answer("&Continuar");
  ui.answer("Ca&ncelar");
  runner->EJECUTAR("OCUPA.RPO");
  ASSERT_EQ(::write(done[1], &c, 1), 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  const auto asks = ui.callsOf("ask");
  ASSERT_EQ(asks.size(), 2u);
  EXPECT_EQ(asks[0].text, exo::reports::kStoreBusy);
  EXPECT_EQ(number("NDE"), 0);
  runner->EJECUTAR("OCUPA.RPO");  // free again
  EXPECT_EQ(number("NDE"), 1);
}

}  // namespace

namespace {

std::string shellOutput(const std::string& command) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  out += "\nrc=" + std::to_string(WEXITSTATUS(::pclose(p)));
  return out;
}

// exogena-cli run: a definition run headless in a demo installation, its values on the
// terminal, a failing line reported with the definition and the line and kept in the error log.
TEST(RunCommand, RunsADefinitionInAnInstallation) {
  TempDir dir;
  const std::string cli = EXOGENA_CLI;
  ASSERT_NE(shellOutput("'" + cli + "' demo '" + (dir.path() / "demo").string() +
                        "' --lines 100 --companies 1")
                .find("rc=0"),
            std::string::npos);
  const fs::path program = dir.path() / "demo" / "program";
  writeFile(program / "FORMS" / "BIEN.RPO", "SET(17, .T.)\r\n'Empresa: ' + AllTrim(CEMPRESA)");
  writeFile(program / "FORMS" / "MAL.RPO", "NUNO := 1\r\nNUNO + NOEXISTE");
  const std::string run = "cd '" + program.string() + "' && '" + cli + "' run ";
  const std::string ok = shellOutput(run + "bien.rpo --drive ../drive");
  EXPECT_NE(ok.find("Empresa: "), std::string::npos) << ok;
  EXPECT_NE(ok.find("rc=0"), std::string::npos) << ok;
  const std::string bad = shellOutput(run + "MAL.RPO --drive ../drive");
  EXPECT_NE(bad.find("Llamado por EJECUTAR(0)  : MAL.RPO - Lin.: 2"), std::string::npos) << bad;
  EXPECT_NE(bad.find("rc=1"), std::string::npos) << bad;
  EXPECT_TRUE(fs::exists(program / "Error" / "Error.Dbf"));
  // Definitions reach the workbook class headless too, inside the program's folders only.
  const auto workbook = [&](const fs::path& file) {
    writeFile(program / "FORMS" / "LIBRO.RPO",
              "PUBLICA('oX', TExcelScript():New())\r\noX:Create('" + file.string() +
                  "')\r\noX:Say(1, 1, 'Nit')\r\noX:Save()\r\noX:End()");
    return shellOutput(run + "LIBRO.RPO --drive ../drive");
  };
  const std::string book = workbook(program / "libro.xlsx");
  EXPECT_NE(book.find("rc=0"), std::string::npos) << book;
  EXPECT_TRUE(fs::exists(program / "libro.xlsx"));
  const std::string outside = workbook(dir.path() / "libro.xlsx");
  EXPECT_NE(outside.find("solo puede usar archivos"), std::string::npos) << outside;
  EXPECT_NE(outside.find("rc=1"), std::string::npos) << outside;
  EXPECT_FALSE(fs::exists(dir.path() / "libro.xlsx"));
  // A definition that empties the user's assignments is stopped and changes nothing.
  fs::path codcont;
  for (const auto& e : fs::recursive_directory_iterator(program))
    if (e.path().filename() == "CodCont.dbf") codcont = e.path();
  ASSERT_FALSE(codcont.empty());
  const auto before = fs::file_size(codcont);
  writeFile(program / "FORMS" / "VACIA.RPO",
            "DbUseArea(.T., , '" + codcont.string() + "', 'C', .F., .F.)\r\n__dbZap()");
  const std::string zap = shellOutput(run + "VACIA.RPO --drive ../drive");
  EXPECT_NE(zap.find("rc=1"), std::string::npos) << zap;
  EXPECT_NE(zap.find("CodCont.dbf"), std::string::npos) << zap;
  EXPECT_EQ(fs::file_size(codcont), before);
  // A text given on the command line runs when the definition is not in FORMS.
  const std::string given = shellOutput(run + "OTRA.RPU 'SET(17, .T.)' --drive ../drive");
  EXPECT_NE(given.find("rc=0"), std::string::npos) << given;
}

}  // namespace

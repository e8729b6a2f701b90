#include "shell/ErrorHandler.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ShellTestSupport.h"
#include "expr/Dates.h"
#include "expr/TPublic.h"
#include "shell/ErrorLog.h"
#include "shell/ScriptedUserInterface.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Engine.h"

namespace {

using exo::Failure;
using exo::GenCode;
using exo::Value;
using exo::shell::ScriptedUserInterface;
using shelltest::readFile;

Failure failure(GenCode code, bool retry, bool skip) {
  Failure f;
  f.genCode = code;
  f.subsystem = "DBFCDX";
  f.subCode = 1000 + static_cast<int>(code);
  f.description = "Open error";
  f.fileName = "CodCont.dbf";
  f.operation = "USE";
  f.args = {"\"CodCont.dbf\"", "         1"};
  f.canRetry = retry;
  f.canDefault = skip;
  return f;
}

class ErrorHandlerTest : public ::testing::Test {
 protected:
  shelltest::TempDir dir;
  exo::Interp ip;
  exo::store::Engine engine{ip};
  ScriptedUserInterface ui;
  exo::shell::ErrorHandler handler{ip, ui, &engine, dir.path()};
  std::vector<int> exits;
  std::time_t clock = 1300000000;  // 13-03-2011

  void SetUp() override {
    exo::shell::ERRORSYS(handler, ip);
    handler.setExit([this](int code) { exits.push_back(code); });
    handler.setClock([this] { return clock; });
  }
  std::vector<exo::shell::ErrorLogEntry> log() {
    return exo::shell::readErrorLog(engine, dir.path() / "Error");
  }
};

TEST(ErrorMessage, IsBuiltFromTheFailureFields) {
  Failure f = failure(GenCode::Open, false, false);
  EXPECT_EQ(exo::shell::ERRORMESSAGE(f), "Error DBFCDX/1021  Open error: CodCont.dbf");
  f.osCode = 32;
  EXPECT_EQ(exo::shell::ERRORMESSAGE(f), "(DOS Error 32) DBFCDX/1021  Open error: CodCont.dbf");
  f = Failure();
  f.severity = exo::Severity::Warning;
  f.operation = "TPublic:ANO";
  EXPECT_EQ(exo::shell::ERRORMESSAGE(f),
            "Atenci\363n ???"
            "/???: TPublic:ANO");
  f.severity = exo::Severity::Catastrophic;
  f.operation.clear();
  f.description = "x";
  EXPECT_EQ(exo::shell::ERRORMESSAGE(f),
            "Error ???"
            "/???  x");
}

TEST_F(ErrorHandlerTest, DivisionByZeroAndSharingConflictsAreSettledSilently) {
  EXPECT_EQ(exo::displayValue(ip.evalText("Str(150 / 0 + 1, 3)")), "  1");

  engine.createTable(dir.file("CodCont.dbf").string(), {{"COD_CONT", 'C', 20, 0}});
  auto holder = exo::store::Dbf::open(dir.file("CodCont.dbf").string(), {false, false, 0});
  EXPECT_FALSE(handler.networkError());
  EXPECT_EQ(engine.open(dir.file("CodCont.dbf").string(), "CODICONT"), 0);
  EXPECT_TRUE(handler.networkError());
  handler.resetNetworkError();
  Failure append = failure(GenCode::AppendLock, true, true);
  append.osCode = 33;
  ip.raise(append);
  EXPECT_TRUE(handler.networkError());

  EXPECT_TRUE(ui.calls().empty());
  EXPECT_TRUE(exits.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Error"));
  const std::string trace = readFile(dir.file("TRACE.LOG"));
  EXPECT_NE(trace.find("13-03-2011"), std::string::npos) << trace;
  EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 3) << trace;
}

// Another program holding the table exclusively: the open fails without a word and leaves the
// network-error flag set.
TEST_F(ErrorHandlerTest, ATableHeldByAnotherProcessFailsQuietly) {
  const std::string table = dir.file("Ocupada.dbf").string();
  engine.createTable(table, {{"COD_CONT", 'C', 20, 0}});
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
  EXPECT_EQ(engine.open(table, "OCUPADA"), 0);
  EXPECT_TRUE(handler.networkError());
  EXPECT_TRUE(ui.calls().empty());
  ASSERT_EQ(::write(done[1], &c, 1), 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  handler.resetNetworkError();
  EXPECT_GT(engine.open(table, "OCUPADA"), 0);  // free again
  EXPECT_FALSE(handler.networkError());
}

TEST_F(ErrorHandlerTest, ReportedFailureIsLoggedAndTheUserMaySkipOrRetry) {
  exo::shell::CallFrame outer(handler.callStack(), "GENERADORAZO", 120);
  ip.memvars().declarePublic("OAPEJEC", Value::object(exo::Ref<exo::Object>(new exo::TPublic())));
  ip.evalText("OAPEJEC:nLinEjec := 14");
  exo::shell::CallFrame runner(handler.callStack(), "EJECUTAR", 33, "Audi08.rpo");
  std::vector<std::string> printed;
  handler.setPrinter([&](const std::string& title, const std::string& text) {
    printed = {title, text};
  });

  ui.answer("&Imprimir");
  ui.answer("&Mas...");
  ui.answer("&Omitir");
  bool retry = true;
  EXPECT_TRUE(ip.raise(failure(GenCode::Open, true, true), &retry).isNil());
  EXPECT_FALSE(retry);
  EXPECT_TRUE(exits.empty());

  const auto asks = ui.callsOf("ask");
  ASSERT_EQ(asks.size(), 3u);
  EXPECT_EQ(asks[0].title, "LISTA DE ERRORES PRODUCIDOS POR EL PROGAMA");
  EXPECT_EQ(asks[0].buttons,
            (std::vector<std::string>{"&Reintentar", "&Omitir", "&Imprimir", "&Mas...", "&Salir"}));
  const std::string& text = asks[0].text;
  EXPECT_EQ(text.find("Nombre del error: Error DBFCDX/1021  Open error: CodCont.dbf\r\n"), 0u)
      << text;
  const std::size_t runnerLine =
      text.find("   Llamado por EJECUTAR(33)  : Audi08.rpo - Lin.: 14\r\n");
  EXPECT_NE(runnerLine, std::string::npos) << text;
  EXPECT_LT(runnerLine, text.find("   Llamado por GENERADORAZO(120)"));  // innermost first

  ASSERT_EQ(printed.size(), 2u);
  EXPECT_NE(printed[1].find("Aplicaci\363n:"), std::string::npos);
  EXPECT_NE(printed[1].find("Error ocurrido el d\355a: 13-03-2011, a la hora: "),
            std::string::npos);
  EXPECT_NE(printed[1].find("Argumento    1: Tipo C  Valor: \"CodCont.dbf\""), std::string::npos)
      << printed[1];
  EXPECT_NE(printed[1].find("Llamadas a funciones"), std::string::npos);
  const auto shown = ui.callsOf("message");
  ASSERT_EQ(shown.size(), 1u);  // "&Mas..." listed the log
  EXPECT_NE(shown[0].text.find("13-03-2011"), std::string::npos);

  const auto entries = log();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].error, "Error DBFCDX/1021  Open error: CodCont.dbf");
  for (const char* section :
       {"Aplicaci\363n:", "Llamadas a funciones", "Sistema", "Procesador: ", "Variables en uso",
        "OAPEJEC (p\372blica)  Tipo: O  Valor: Class: TPublic", "Linked RDDs", "Ficheros en uso",
        "Clases en uso:", "An\341lisis de Memoria"}) {
    EXPECT_NE(entries[0].texto.find(section), std::string::npos) << section;
  }

  ui.answer("&Reintentar");
  ip.raise(failure(GenCode::Open, true, true), &retry);
  EXPECT_TRUE(retry);
}

TEST_F(ErrorHandlerTest, LeavingEndsTheProgramWithCodeOneAndTheLogIsNewestFirst) {
  engine.createTable(dir.file("t.dbf").string(), {{"A", 'C', 1, 0}});
  engine.open(dir.file("t.dbf").string(), "T");
  Failure f = failure(GenCode::NoVar, false, false);
  f.description = std::string(60, 'x');
  ui.answer("&Salir");
  EXPECT_THROW(ip.raise(f), exo::FailureError);
  EXPECT_EQ(exits, std::vector<int>{1});
  EXPECT_EQ(ui.callsOf("ask")[0].buttons,
            (std::vector<std::string>{"&Imprimir", "&Mas...", "&Salir"}));
  EXPECT_FALSE(engine.isUsed(1));  // every table closed

  clock += 3600;
  ui.answerIndex(-1);  // the dialog closed without a choice
  EXPECT_THROW(ip.raise(failure(GenCode::Open, true, true)), exo::FailureError);
  clock += 60;
  handler.setMainLoopRunning(false);
  ui.answer("&Omitir");  // once the main loop has ended any failure ends the program
  EXPECT_THROW(ip.raise(failure(GenCode::Read, true, true)), exo::FailureError);
  EXPECT_EQ(exits, (std::vector<int>{1, 1, 1}));

  const auto entries = log();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].error, "Error DBFCDX/1023  Open error: CodCont.dbf");
  EXPECT_EQ(entries[2].error.size(), 50u);
  EXPECT_EQ(entries[0].fecha, exo::julianFromYmd(2011, 3, 13));
  EXPECT_GT(entries[0].hora, entries[1].hora);
  EXPECT_EQ(exo::shell::initialLogRow(entries, entries[0].fecha), 0u);
  EXPECT_EQ(exo::shell::initialLogRow(entries, entries[0].fecha + 1), 2u);

  exo::store::Cdx index = exo::store::Cdx::open((dir.path() / "Error" / "Error.cdx").string());
  ASSERT_EQ(index.tags().size(), 1u);
  EXPECT_EQ(index.tags()[0].name, "ERR_DDHH");
  EXPECT_TRUE(index.tags()[0].descending);
}

TEST_F(ErrorHandlerTest, LoggingProblemsNeverStopTheDialog) {
  shelltest::writeFile(dir.file("Error"), "a file where the folder should be");
  ui.answer("&Omitir");
  ip.raise(failure(GenCode::Open, false, true));
  const auto notices = ui.callsOf("message");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text.find("NO se pudo crear "), 0u);
  EXPECT_NE(notices[0].text.find("\r\nse usar\341 el directorio "), std::string::npos);
  EXPECT_EQ(exo::shell::readErrorLog(engine, dir.path()).size(), 1u);

  shelltest::writeFile(dir.file("Error.Dbf"), "damaged table");
  ui.clear();
  ui.answer("&Omitir");
  ip.raise(failure(GenCode::Open, false, true));
  EXPECT_EQ(ui.callsOf("ask").size(), 1u);
  EXPECT_TRUE(exits.empty());
}

// A trace log that cannot be written (a folder stands where the file goes) costs nothing but
// the entry, which goes to the standard error stream; the handler answers as ever.
TEST_F(ErrorHandlerTest, ATraceThatCannotBeWrittenGoesToTheErrorStream) {
  std::filesystem::create_directory(dir.file("TRACE.LOG"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(exo::displayValue(ip.evalText("Str(150 / 0 + 1, 3)")), "  1");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("TRACE.LOG: 13-03-2011"), std::string::npos) << err;
  EXPECT_TRUE(exits.empty());
}

TEST_F(ErrorHandlerTest, AFailureInsideTheDialogEndsTheProgram) {
  handler.setLogBrowser([this] { ip.raise(failure(GenCode::Read, true, true)); });
  ui.answer("&Mas...");
  EXPECT_THROW(ip.raise(failure(GenCode::Open, true, true)), exo::FailureError);
  ASSERT_FALSE(exits.empty());
  EXPECT_EQ(exits.front(), 1);
  EXPECT_EQ(ui.callsOf("ask").size(), 1u);
}

TEST(ImpError, PrintsTheTextInLinesOf65Characters) {
  const std::string page = exo::shell::IMPERROR(std::string(70, 'a') + "\r\nfin", 1300000000);
  EXPECT_EQ(page.find("ERROR DEL PROGRAMA "), 0u);
  EXPECT_NE(page.find("Fecha :13-03-2011"), std::string::npos);
  EXPECT_NE(page.find("Descripci\363n del error"), std::string::npos);
  EXPECT_NE(page.find("\r\n" + std::string(65, 'a') + "\r\naaaaa\r\nfin\r\n"), std::string::npos)
      << page;
  EXPECT_NE(page.find("P\341gina 1"), std::string::npos);
}

}  // namespace

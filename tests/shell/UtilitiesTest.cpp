#include "shell/Utilities.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ShellTestSupport.h"
#include "expr/Interp.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "store/Dbf.h"
#include "store/Engine.h"

namespace {

using exo::Value;
using exo::shell::ScriptedUserInterface;

class UtilitiesTest : public ::testing::Test {
 protected:
  exo::Interp ip;
  exo::store::Engine engine{ip};
  shelltest::TempDir dir;

  std::string file(const char* name) { return dir.file(name).string(); }
  std::string shown(const std::string& expr) { return exo::displayValue(ip.evalText(expr)); }

  // The directory of third parties open as DIREC, ordered by CLAVE.
  int openDirectory() {
    engine.createTable(file("VRDIREXO.DBF"),
                       {{"CLAVE", 'C', 5, 0}, {"NOMBRE", 'C', 40, 0}, {"DIREC4", 'C', 20, 0}});
    const int area = engine.open(file("VRDIREXO.DBF"), "DIREC");
    for (const auto& [key, name, nit] : {std::tuple{"00012", "ACME LTDA", "800123456"},
                                         std::tuple{"00007", "JUAN PEREZ", "79555111"},
                                         std::tuple{"00030", "BORRADO SA", "900000001"}}) {
      engine.appendBlank(area);
      engine.put(area, "CLAVE", Value::text(key));
      engine.put(area, "NOMBRE", Value::text(name));
      engine.put(area, "DIREC4", Value::text(nit));
    }
    engine.buildIndex(area, file("VRDIREXX.CDX"), "CLAVE", "CLAVE", "!Deleted()");
    engine.seekKey(area, Value::text("00030"));
    engine.deleteRecord(ip, area);
    return area;
  }
};

TEST_F(UtilitiesTest, DirectoryLookupsGiveTheFieldOrThePaddedNotRegisteredText) {
  const int direc = openDirectory();
  engine.createTable(file("mov.dbf"), {{"CTA_DIR", 'C', 5, 0}});
  const int movements = engine.open(file("mov.dbf"), "MOV");
  ASSERT_EQ(engine.selected(), movements);

  EXPECT_EQ(exo::shell::BUSNOMDI(ip, "00012"), "ACME LTDA" + std::string(31, ' '));
  EXPECT_EQ(exo::shell::BUSNITDI(ip, "00007"), "79555111" + std::string(12, ' '));
  EXPECT_EQ(engine.selected(), movements);
  EXPECT_EQ(engine.text(direc, "CLAVE"), "00007");  // the directory stays where the seek left it

  const std::string name = exo::shell::BUSNOMDI(ip, "99999");
  const std::string nit = exo::shell::BUSNITDI(ip, "00030");  // deleted: not there
  EXPECT_EQ(name.size(), 40u);
  EXPECT_EQ(nit.size(), 39u);
  EXPECT_EQ(name.substr(0, 19), "** NO REGISTRADO **");
  EXPECT_EQ(name.find_first_not_of(' ', 19), std::string::npos);
  EXPECT_EQ(nit.substr(0, 19), "** NO REGISTRADO **");
  EXPECT_EQ(engine.selected(), movements);

  exo::shell::registerUtilityFunctions(ip);
  EXPECT_EQ(shown("Trim(BUSNOMDI('00012')) + '|' + Trim(BUSNITDI('00012'))"),
            "ACME LTDA|800123456");
}

TEST_F(UtilitiesTest, LookupWithoutTheDirectoryOpenIsAFailure) {
  EXPECT_THROW(exo::shell::BUSNOMDI(ip, "00012"), exo::FailureError);
  ip.setErrorHandler([](exo::Interp&, const exo::Failure& f) {
    EXPECT_EQ(f.genCode, exo::GenCode::NoAlias);
    return exo::ErrorReply::byDefault();
  });
  EXPECT_EQ(exo::shell::BUSNITDI(ip, "00012"), exo::shell::kNitNotRegistered);
}

TEST_F(UtilitiesTest, AregCopiesTheSameNamedFieldsIntoANewRecord) {
  engine.createTable(file("src.dbf"),
                     {{"CODIGO", 'C', 10, 0}, {"MONTO", 'N', 17, 2}, {"EXTRA", 'C', 5, 0}});
  const int source = engine.open(file("src.dbf"), "ORIGEN");
  engine.appendBlank(source);
  engine.put(source, "CODIGO", Value::text("5105"));
  engine.put(source, "MONTO", Value::number(-1500.25, 2));
  engine.put(source, "EXTRA", Value::text("xx"));
  engine.createTable(file("TrF1001.dbf"),
                     {{"CODIGO", 'C', 10, 0}, {"MONTO", 'N', 17, 2}, {"FORM", 'C', 4, 0}});
  const int target = engine.open(file("TrF1001.dbf"), "TRACON");

  exo::shell::AREG(ip, "origen");
  exo::shell::AREG(ip, "ORIGEN");
  EXPECT_EQ(engine.recCount(target), 2);
  EXPECT_EQ(shown("Trim(CODIGO) + Str(MONTO, 10, 2) + '[' + FORM + ']'"), "5105  -1500.25[    ]");

  // Copying a table's current record into the same table copies its values, not a blank.
  engine.put(target, "FORM", Value::text("1001"));
  exo::shell::AREG(ip, "TRACON");
  EXPECT_EQ(engine.recNo(target), 3);
  EXPECT_EQ(shown("Trim(CODIGO) + FORM"), "51051001");

  EXPECT_THROW(exo::shell::AREG(ip, "NOEXISTE"), exo::FailureError);
  EXPECT_EQ(engine.recCount(target), 3);
}

TEST_F(UtilitiesTest, ProtegerWaitsUntilTheLockIsGranted) {
  EXPECT_TRUE(exo::shell::PROTEGER(ip, 0));  // no table in the selected area
  engine.createTable(file("t.dbf"), {{"CODIGO", 'C', 10, 0}});
  const int area = engine.open(file("t.dbf"), "T");
  engine.appendBlank(area);
  engine.commit(ip, area);
  engine.unlock(ip, area);

  for (int mode : {0, 1}) {
    exo::store::Dbf other = exo::store::Dbf::open(file("t.dbf"));
    ASSERT_TRUE(other.lockRecord(1));
    std::thread releaser([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      other.unlockAll();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(exo::shell::PROTEGER(ip, mode));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250)) << mode;
    releaser.join();
    exo::shell::DESPROTEGER(ip);
    EXPECT_TRUE(other.lockFile()) << "DESPROTEGER released every lock";
    other.unlockAll();
  }
}

// A record lock past the last record (an empty table, the end after a skip) has nothing to wait
// for; the table lock is still taken.
TEST_F(UtilitiesTest, ProtegerPastTheLastRecordDoesNotWaitForever) {
  engine.createTable(file("vacia.dbf"), {{"CODIGO", 'C', 10, 0}});
  const int area = engine.open(file("vacia.dbf"), "VACIA");
  std::atomic<bool> done{false};
  std::thread caller([&] {
    EXPECT_TRUE(exo::shell::PROTEGER(ip, 0));
    engine.appendBlank(area);
    engine.commit(ip, area);
    engine.skip(ip, area, 1);
    EXPECT_TRUE(engine.eof(area));
    EXPECT_TRUE(exo::shell::PROTEGER(ip, 0));
    EXPECT_TRUE(exo::shell::PROTEGER(ip, 1));
    exo::shell::DESPROTEGER(ip);
    done = true;
  });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!done) {
    ADD_FAILURE() << "PROTEGER still waiting past the last record";
    caller.detach();
    std::_Exit(1);
  }
  caller.join();
}

TEST(WaitMessage, OneWaitMessageAtATimeThroughThePort) {
  exo::Interp ip;
  ScriptedUserInterface ui;
  exo::shell::Session session(ip, ui, {});
  ip.memvars().declarePublic("ODLGMSG1", Value());
  exo::shell::closeWaitMessage(session);
  EXPECT_TRUE(ui.calls().empty());

  exo::shell::MIMENSAJ(session, "Procesando datos. Por favor espere......   ");
  exo::shell::DLGMENSAJ(session, "Procesando Informe......", exo::shell::ScreenPos{5, 7});
  {
    exo::shell::WaitMessage wait(session, "Procesando copia. Por favor espere......");
    EXPECT_TRUE(ui.waitIsOpen());
  }
  EXPECT_FALSE(ui.waitIsOpen());
  EXPECT_EQ(exo::displayValue(ip.evalText("ODLGMSG1")), "NIL");
  std::vector<std::string> seen;
  for (const auto& c : ui.calls()) seen.push_back(c.what + ":" + c.text);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "waitOpen:Procesando datos. Por favor espere......",
                      "pumpEvents:", "waitClose:", "waitOpen:Procesando Informe......",
                      "waitClose:", "waitOpen:Procesando copia. Por favor espere......",
                      "pumpEvents:", "waitClose:"}));
  EXPECT_FALSE(ui.calls()[0].where.has_value());
  EXPECT_EQ(ui.calls()[3].where->left, 7);
}

}  // namespace

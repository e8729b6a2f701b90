// The check of the ledger's directory of third parties into "ErrFDir.dbf" and the display text
// of its rows, over directories written on disk and over the demo ledger; the refresh of the
// company's copy of the directory, with damaged and missing sources.
#include <gtest/gtest.h>

#include <set>

#include "ThirdPartyTestSupport.h"
#include "demo/Demo.h"
#include "import/ThirdPartyCheck.h"

namespace {

using namespace exo;
using namespace terceros;
using shell::ScriptedUserInterface;

TEST(SetTxtErr, LinesFollowTheSlotsWithoutALeadingBreak) {
  using import::SETTXTERR;
  EXPECT_EQ(SETTXTERR("Error 1  -  Datos incompletos  ;    ;  Error 2  -  Digito verificador no "
                      "corresponde  ;    ;    ;  " +
                      std::string(40, ' ')),
            "Error 1  -  Datos incompletos\r\n\r\nError 2  -  Digito verificador no "
            "corresponde\r\n\r\n\r\n");
  EXPECT_EQ(SETTXTERR("  ;    ;  Error 2  -  Digito verificador no corresponde  ;    ;    ;  "),
            "Error 2  -  Digito verificador no corresponde\r\n\r\n\r\n");
  EXPECT_EQ(SETTXTERR("  ;    ;    ;    ;    ;  Error 6  -  Persona natural no puede tener "
                      "estructura de nombre '0000'"),
            "Error 6  -  Persona natural no puede tener estructura de nombre '0000'");
  EXPECT_EQ(SETTXTERR("  ;    ;    ;    ;    ;  "), "");
  EXPECT_EQ(SETTXTERR(""), "");
  // The sixth piece is the rest of the text, semicolons and all.
  EXPECT_EQ(SETTXTERR("A;B;C;D;E;F;G"), "A\r\nB\r\nC\r\nD\r\nE\r\nF;G");
  EXPECT_EQ(SETTXTERR("A;B"), "A\r\nB\r\n\r\n\r\n\r\n");
}

std::vector<const ScriptedUserInterface::Call*> callsOf(const ScriptedUserInterface& ui,
                                                        const std::string& what) {
  std::vector<const ScriptedUserInterface::Call*> out;
  for (const auto& c : ui.calls())
    if (c.what == what) out.push_back(&c);
  return out;
}

TEST(ValidaFichTerc, ASoundDirectoryGivesTheMessageAndAnEmptyErrorTable) {
  std::vector<Row> rows;
  for (int i = 1; i <= 45; ++i) rows.push_back(sound("0" + std::to_string(1000 + i)));
  Installation inst(rows);
  const int before = inst.engine.open((inst.ledger() / "VRDIR.DBF").string(), "MIO", true, true);
  const auto r = import::VALIDAFICHTERC(inst.session(), inst.engine);
  EXPECT_TRUE(r.done);
  EXPECT_EQ(r.records, 45);
  EXPECT_EQ(r.errors, 0);

  const auto messages = callsOf(inst.ui, "message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]->kind, shell::MessageKind::Info);
  EXPECT_EQ(messages[0]->text, "Fichas de Terceros correctamente definidas");
  const auto meter = callsOf(inst.ui, "meterBegin");
  ASSERT_EQ(meter.size(), 1u);
  EXPECT_EQ(meter[0]->number, 45);
  EXPECT_EQ(callsOf(inst.ui, "meterAdvance").size(), 45u);
  EXPECT_EQ(callsOf(inst.ui, "pumpEvents").size(), 2u);  // after records 20 and 40
  const auto status = callsOf(inst.ui, "status");
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.front()->text, "Validando Estrutura de Fichas de Terceros.....");
  EXPECT_EQ(status.back()->text, "Proceso terminado.....");

  // The error table is there, empty, with its four fields; every table opened is closed again.
  const fs::path table = import::errorTablePath(inst.session());
  EXPECT_EQ(table, inst.work() / "ErrFDir.dbf");
  store::Dbf t = store::Dbf::open(table.string(), {true, true, 0});
  EXPECT_EQ(t.recordCount(), 0u);
  ASSERT_EQ(t.fields().size(), 4u);
  const std::pair<const char*, int> fields[] = {
      {"CODIGO", 8}, {"DOCUMENTO", 25}, {"NOMBRE", 100}, {"ERROR", 150}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(t.fields()[i].name, fields[i].first);
    EXPECT_EQ(t.fields()[i].type, 'C');
    EXPECT_EQ(t.fields()[i].length, fields[i].second);
  }
  EXPECT_EQ(inst.engine.selected(), before);
  EXPECT_EQ(inst.engine.areaOf("ERRORES"), 0);
  EXPECT_EQ(inst.engine.areaOf("DIRORIGEN"), 0);
}

TEST(ValidaFichTerc, FaultyThirdPartiesBecomeRowsInCodeOrder) {
  Row wrongDigit = sound("00030");
  wrongDigit[6] = "800.197.268-5";
  Row incompleteWrongDigit = wrongDigit;
  incompleteWrongDigit[0] = "00010";
  incompleteWrongDigit[5] = "";
  Row naturalBusiness = {
      "00020", "MU\321OZ PE\321A JOS\311", "0000", "N", "13", "CL 5", "79123456", "05", "001",
      "0169"};
  Row bareNit = sound("00040", "SIN DIRECCION LTDA");
  bareNit[6] = "800197268";
  bareNit[8] = "";
  Row legalCard = sound("00050");
  legalCard[2] = "1111";
  legalCard[4] = "13";
  legalCard[6] = "79123456";
  Installation inst({sound("00001"), wrongDigit, naturalBusiness, incompleteWrongDigit, bareNit,
                     legalCard, sound("00060")});
  // A stale error table of an earlier check is replaced.
  store::Dbf::create((inst.work() / "ErrFDir.dbf").string(), {{"VIEJO", 'C', 3, 0}}).close();

  const auto r = import::VALIDAFICHTERC(inst.session(), inst.engine);
  EXPECT_TRUE(r.done);
  EXPECT_EQ(r.records, 7);
  EXPECT_EQ(r.errors, 5);
  EXPECT_TRUE(callsOf(inst.ui, "message").empty());

  const auto rows = readRows(import::errorTablePath(inst.session()));
  const std::vector<std::vector<std::string>> want = {
      {"00010", "800.197.268-5", "DISTRIBUIDORA ANDINA S.A.",
       "Error 1  -  Datos incompletos  ;    ;  Error 2  -  Digito verificador no corresponde  ;  "
       "  ;    ;"},
      {"00020", "79123456", "",
       "  ;    ;    ;    ;    ;  Error 6  -  Persona natural no puede tener estructura de nombre "
       "'0000'"},
      {"00030", "800.197.268-5", "DISTRIBUIDORA ANDINA S.A.",
       "  ;    ;  Error 2  -  Digito verificador no corresponde  ;    ;    ;"},
      {"00040", "", "SIN DIRECCION LTDA", "Error 1  -  Datos incompletos  ;    ;    ;    ;    ;"},
      {"00050", "79123456", "Error en la estrucura del nombre",
       "  ;  Error 4  -  Jur\355dico nacional no puede tener Doc. dif. a 31  ;    ;    ;    ;"},
  };
  EXPECT_EQ(rows, want);
  // The display text of a wrong digit begins with its error and ends with three line breaks.
  EXPECT_EQ(import::SETTXTERR(rows[2][3]),
            "Error 2  -  Digito verificador no corresponde\r\n\r\n\r\n");
  EXPECT_EQ(import::SETTXTERR(rows[0][3]),
            "Error 1  -  Datos incompletos\r\n\r\nError 2  -  Digito verificador no "
            "corresponde\r\n\r\n\r\n");
}

TEST(ValidaFichTerc, AMissingLedgerIndexStopsBeforeTheErrorTableIsTouched) {
  Installation inst({sound("00001")});
  const std::string stale = "estado anterior";
  storetest::writeFile((inst.work() / "ErrFDir.dbf").string(), stale);
  fs::remove(inst.ledger() / "VRDIRX1.CDX");
  const auto r = import::VALIDAFICHTERC(inst.session(), inst.engine);
  EXPECT_FALSE(r.done);
  const auto messages = callsOf(inst.ui, "message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]->kind, shell::MessageKind::Stop);
  EXPECT_NE(messages[0]->text.find("VRDIRX1.CDX"), std::string::npos);
  EXPECT_EQ(storetest::readFile((inst.work() / "ErrFDir.dbf").string()), stale);
}

// The demo's ledger carries defects of every kind the check reports, each record so spoiled
// with a note in its memo: the error rows are exactly those records.
TEST(ValidaFichTerc, FindsExactlyTheDemoLedgersSpoiledThirdParties) {
  storetest::TempDir dir;
  demo::DemoOptions o;
  o.folder = dir.file("demo");
  o.lines = 12000;
  o.seed = 5;
  o.sourceFolder = EXOGENA_SOURCE_DIR;
  const auto installed = demo::installDemo(o);
  Interp ip;
  store::Engine engine(ip);
  ScriptedUserInterface ui;
  shell::Folders folders{installed.programFolder, installed.driveFolder};
  ASSERT_TRUE(shell::VARIABLPUBLIC(ip, ui, folders));
  shell::Session session(ip, ui, folders);
  session.setPathOrigen("\\NRVVS\\");
  session.setCelPath("NRVVS\\" + installed.companies[0].folder + "\\");
  session.formPaths();

  const auto r = import::VALIDAFICHTERC(session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.records, static_cast<std::int64_t>(installed.companies[0].thirdParties));

  std::set<std::string> spoiled;
  {
    const fs::path ledger =
        fs::path(installed.driveFolder) / "NRVVS" / installed.companies[0].folder;
    store::Dbf t = store::Dbf::open((ledger / "VRDIR.DBF").string(), {true, true, 0});
    std::vector<char> rec(t.recordLength());
    const int memo = *t.fieldIndex("OBSERVA");
    for (std::uint32_t n = 1; n <= t.recordCount(); ++n) {
      t.read(n, rec.data());
      if (!t.memo(rec.data(), memo).empty()) spoiled.insert(std::string(t.text(rec.data(), 0)));
    }
  }
  std::set<std::string> listed;
  std::set<int> rules;
  for (const auto& row : readRows(import::errorTablePath(session))) {
    listed.insert(row[0]);
    for (int rule = 1; rule <= 6; ++rule)
      if (row[3].find("Error " + std::to_string(rule) + " ") != std::string::npos)
        rules.insert(rule);
  }
  EXPECT_EQ(listed, spoiled);
  EXPECT_EQ(r.errors, static_cast<std::int64_t>(spoiled.size()));
  EXPECT_EQ(rules, (std::set<int>{1, 2, 3, 4, 5, 6}));
}

// --- the refresh of the directory copy ---------------------------------------------------------

TEST(ImportaSoloTerc, CopiesTheThreeFilesOverThePreviousCopy) {
  Installation inst({sound("00001"), sound("00002")});
  storetest::writeFile((inst.work() / "vrdirexo.dbf").string(), "copia vieja");
  ASSERT_TRUE(import::IMPORTASOLOTERC(inst.session(), inst.engine));
  for (const auto& [from, to] :
       {std::pair{"VRDIR.DBF", "vrdirexo.dbf"}, std::pair{"VRDIR.FPT", "VRDIREXO.FPT"},
        std::pair{"VRDIRX1.CDX", "VRDIREXX.CDX"}}) {
    EXPECT_EQ(storetest::readFile((inst.work() / to).string()),
              storetest::readFile((inst.ledger() / from).string()))
        << to;
  }
  // The existing copy was replaced under its own name; nothing else is left in the folder.
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(inst.work()))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"vrdirexo.dbf", "VRDIREXO.FPT", "VRDIREXX.CDX"}));
  std::vector<std::int64_t> steps;
  for (const auto* c : callsOf(inst.ui, "meterAdvance")) steps.push_back(c->number);
  EXPECT_EQ(steps, (std::vector<std::int64_t>{1, 2, 3}));
  EXPECT_EQ(callsOf(inst.ui, "meterBegin").at(0)->number, 3);
  EXPECT_EQ(callsOf(inst.ui, "pumpEvents").size(), 3u);
  EXPECT_EQ(callsOf(inst.ui, "status").back()->text, "Proceso terminado.");
  EXPECT_TRUE(callsOf(inst.ui, "message").empty());
}

TEST(ImportaSoloTerc, ADamagedOrMissingSourceLeavesThePreviousCopyWhole) {
  Installation inst({sound("00001"), sound("00002")});
  ASSERT_TRUE(import::IMPORTASOLOTERC(inst.session(), inst.engine));
  const std::string copy = storetest::readFile((inst.work() / "VRDIREXO.DBF").string());
  const std::string memo = storetest::readFile((inst.work() / "VRDIREXO.FPT").string());
  const std::string index = storetest::readFile((inst.work() / "VRDIREXX.CDX").string());
  auto unchanged = [&] {
    EXPECT_EQ(storetest::readFile((inst.work() / "VRDIREXO.DBF").string()), copy);
    EXPECT_EQ(storetest::readFile((inst.work() / "VRDIREXO.FPT").string()), memo);
    EXPECT_EQ(storetest::readFile((inst.work() / "VRDIREXX.CDX").string()), index);
    EXPECT_EQ(std::distance(fs::directory_iterator(inst.work()), fs::directory_iterator()), 3);
  };

  // A table shorter than its record count says: the handler abandons, nothing is replaced.
  const std::string full = storetest::readFile((inst.ledger() / "VRDIR.DBF").string());
  storetest::writeFile((inst.ledger() / "VRDIR.DBF").string(), full.substr(0, full.size() - 40));
  EXPECT_THROW(import::IMPORTASOLOTERC(inst.session(), inst.engine), FailureError);
  unchanged();

  // The handler lets the routine go on: it says in Spanish that the copy was left as it was.
  inst.ip.setErrorHandler([](Interp&, const Failure&) { return ErrorReply::byDefault(); });
  inst.ui.clear();
  EXPECT_FALSE(import::IMPORTASOLOTERC(inst.session(), inst.engine));
  unchanged();
  auto messages = callsOf(inst.ui, "message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0]->text.find("da\361ado"), std::string::npos);
  EXPECT_NE(messages[0]->text.find("no se modific\363"), std::string::npos);

  // A missing memo file.
  storetest::writeFile((inst.ledger() / "VRDIR.DBF").string(), full);
  fs::remove(inst.ledger() / "VRDIR.FPT");
  inst.ui.clear();
  EXPECT_FALSE(import::IMPORTASOLOTERC(inst.session(), inst.engine));
  unchanged();
  messages = callsOf(inst.ui, "message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0]->text.find("VRDIR.FPT"), std::string::npos);
}

}  // namespace

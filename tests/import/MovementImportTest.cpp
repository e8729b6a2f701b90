// The movement import over ledger files written by the test: which periods and lines reach the
// year's table, the month range, the status texts, month files of another structure, missing
// periods, and the previous files kept whole when the import fails or is killed half-way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstring>
#include <regex>

#include "LedgerFixture.h"
#include "import/LedgerImport.h"
#include "shell/MemFile.h"

namespace {

using namespace ledgertest;
using exo::import::IMPORTATRACON;

class MovementImport : public ::testing::Test, public LedgerCompany {
 protected:
  void SetUp() override { writeDirectory({{"00005", "800100200"}, {"00017", "900300400"}}); }

  // A line of a purchase voucher with a third party.
  static Line line(const std::string& comproba, const std::string& party, double amount) {
    return {"CC", comproba, "5.1.05", party, amount, "", "compra"};
  }
};

TEST_F(MovementImport, MarchToJuneTakesPeriodZeroAndTheMonthsFound) {
  writePeriod(0, {{"AP", "INICIO  ", "1.1.05", "00005", 100, "", "saldo"},
                  {"AP", "INICIO  ", "1.1.05", "", 50, "", "sin tercero"},
                  {"AP", "0001    ", "1.1.05", "00005", 70, "", "no es apertura"},
                  {"AP", "INICIO  ", "1.1.05", "00017", 0, "", "en cero"}});
  std::vector<Line> march;
  for (int i = 0; i < 1200; ++i) march.push_back(line("M" + std::to_string(i), "00017", i + 1));
  march.push_back(line("M0", "", 5));  // counted, not taken: no third party
  writePeriod(3, march);
  writePeriod(4, {line("A1", "00005", 10), line("A2", "00005", 0)});
  writePeriod(5, {line("Y1", "00005", -10)});
  writePeriod(6, {line("J1", "00017", 3)});
  // The ledger program holds a month open while the import reads it.
  exo::store::Dbf held =
      exo::store::Dbf::open((ledger() / "VRTRACON.04").string(), exo::store::OpenOptions{});
  ASSERT_TRUE(held.lockRecord(1));

  const auto r = IMPORTATRACON(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.firstMonth, 3);
  EXPECT_EQ(r.lastMonth, 6);
  ASSERT_EQ(r.periods.size(), 5u);
  const int expected[][3] = {{0, 2, 1}, {3, 1201, 1200}, {4, 1, 1}, {5, 1, 1}, {6, 1, 1}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(r.periods[i].period, expected[i][0]);
    EXPECT_EQ(r.periods[i].read, expected[i][1]) << "period " << expected[i][0];
    EXPECT_EQ(r.periods[i].imported, expected[i][2]) << "period " << expected[i][0];
  }
  EXPECT_EQ(r.counted, 1206);
  EXPECT_TRUE(r.notCarried.empty());
  EXPECT_EQ(column("vrTraCon.99", "CTA_DIR").size(), 1204u);

  // The month range, in the session and in Periodos.mem.
  EXPECT_EQ(session->mesPrim(), 3);
  EXPECT_EQ(session->mesUlti(), 6);
  const auto vars = exo::shell::readMemFile(work() / "Periodos.mem");
  ASSERT_EQ(vars.size(), 2u);
  EXPECT_EQ(vars[0].name, "NMESTRPRIM");
  EXPECT_EQ(vars[0].value.num(), 3);
  EXPECT_EQ(vars[1].name, "NMESTRULTI");
  EXPECT_EQ(vars[1].value.num(), 6);

  // The structure: the month's fields, then the four of the year's table; the two tags.
  exo::store::Dbf year = exo::store::Dbf::open((work() / "vrTraCon.99").string());
  std::vector<std::string> names;
  for (const auto& f : year.fields()) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"TIPO_COMP", "COMPROBA", "FECHA", "CODIGO", "CTA_DIR",
                                             "DETALLE", "MONTO", "TIPO", "CEN_COS", "FORM", "CONC",
                                             "BASE", "NIT"}));
  const auto& base = year.fields()[11];
  EXPECT_EQ(base.type, 'N');
  EXPECT_EQ(base.length, 20);
  EXPECT_EQ(base.decimals, 2);
  const int area = engine.open((work() / "vrTraCon.99").string(), "Y", true, true);
  engine.addIndex(area, "vrTraCox.cdx");
  const auto orders = engine.orders(area);
  ASSERT_EQ(orders.size(), 2u);
  EXPECT_EQ(orders[0].tag, "CMPCTADIR");
  EXPECT_EQ(orders[0].key, "TIPO_COMP+COMPROBA+CTA_DIR");
  EXPECT_EQ(orders[1].tag, "SOLOCMP");
  EXPECT_EQ(orders[1].key, "TIPO_COMP+COMPROBA");
  for (const auto& o : orders) EXPECT_EQ(o.forCondition, "!Deleted()");
  engine.close(ip, area);

  // The directory copy is the ledger's, byte for byte.
  for (const auto& [from, to] : {std::pair{"VRDIR.DBF", "VRDIREXO.DBF"},
                                 {"VRDIR.FPT", "VRDIREXO.FPT"},
                                 {"VRDIRX1.CDX", "VRDIREXX.CDX"}}) {
    EXPECT_EQ(readBytes(work() / to), readBytes(ledger() / from)) << to;
  }
  EXPECT_TRUE(leftovers().empty());

  // The status texts, the meter and the time line.
  const auto main = statusTexts(0);
  EXPECT_NE(std::find(main.begin(), main.end(), "Importando movimientos de  per\355odo 00....."),
            main.end());
  EXPECT_NE(std::find(main.begin(), main.end(), "Importando movimientos de  Marzo....."),
            main.end());
  EXPECT_EQ(std::find(main.begin(), main.end(), "Importando movimientos de  Febrero....."),
            main.end());
  EXPECT_EQ(main.back(), "Procesados  1,206  registros");
  const auto second = statusTexts(1);
  ASSERT_GE(second.size(), 2u);
  EXPECT_EQ(second[second.size() - 2], "Organizando archivos. Por favor espere...");
  EXPECT_EQ(second.back(), "Proceso terminado....");
  EXPECT_TRUE(
      std::regex_match(statusTexts(2).back(), std::regex("Tiempo:  [0-9]+\\.[0-9]{2} segundos")));
  const auto meter = ui.callsOf("meterBegin");
  ASSERT_EQ(meter.size(), 1u);
  EXPECT_EQ(meter[0].number, 5);
  EXPECT_TRUE(ui.callsOf("message").empty());
}

TEST_F(MovementImport, ClosingVouchersAreLeftOutOfDecemberOnly) {
  writePeriod(0, {});
  writePeriod(11, {line("CIERRE  ", "00005", 10), line("CIERRE01", "00005", 1)});
  writePeriod(12, {line("CIERRE  ", "00005", 10), line("CIERRE01", "00005", 2),
                   line("0001    ", "00017", 3)});
  const auto r = IMPORTATRACON(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.periods[1].imported, 2);
  EXPECT_EQ(r.periods[2].read, 3);  // the count is of lines read, closing lines included
  EXPECT_EQ(r.periods[2].imported, 2);
  const auto numbers = column("vrTraCon.99", "COMPROBA");
  EXPECT_EQ(numbers, (std::vector<std::string>{"CIERRE  ", "CIERRE01", "CIERRE01", "0001    "}));
  EXPECT_EQ(r.counted, 5);
}

TEST_F(MovementImport, NoMonthStopsAfterTheDirectoryCopy) {
  writePeriod(0, {line("INICIO", "00005", 1)});
  const auto r = IMPORTATRACON(*session, engine);
  EXPECT_FALSE(r.done);
  const auto messages = ui.callsOf("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Atenci\363n.....");
  EXPECT_EQ(messages[0].text, "Por favor verifique los per\355odos en su programa Norvasta.");
  EXPECT_TRUE(fs::exists(work() / "VRDIREXO.DBF"));
  EXPECT_FALSE(fs::exists(work() / "vrTraCon.99"));
  EXPECT_FALSE(fs::exists(work() / "Periodos.mem"));
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(MovementImport, MissingPeriodsAreSkippedAndNamed) {
  // No opening period and no April between March and May.
  writePeriod(3, {line("1", "00005", 1)});
  writePeriod(5, {line("2", "00005", 2)});
  // The missing month is a question that names it, "No" first: nothing is done.
  const auto refused = IMPORTATRACON(*session, engine);
  EXPECT_FALSE(refused.done);
  EXPECT_EQ(refused.missingMonths, std::vector<int>{4});
  const auto asked = ui.callsOf("ask");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].buttons, (std::vector<std::string>{"   &No   ", "   &Si   "}));
  EXPECT_EQ(asked[0].number, 0);
  EXPECT_NE(asked[0].text.find("Falta el mes Abril (VRTRACON.04) entre Marzo y Mayo"),
            std::string::npos)
      << asked[0].text;
  EXPECT_FALSE(fs::exists(work() / "vrTraCon.99"));
  EXPECT_FALSE(fs::exists(work() / "VRDIREXO.DBF"));
  EXPECT_FALSE(fs::exists(work() / "Periodos.mem"));
  EXPECT_TRUE(leftovers().empty());

  // Told to go on, the other months are imported and the missing one named.
  ui.answer("   &Si   ");
  const auto r = IMPORTATRACON(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.missingMonths, std::vector<int>{4});
  ASSERT_EQ(r.periods.size(), 4u);
  EXPECT_EQ(r.periods[0].read, 0);
  EXPECT_EQ(r.periods[2].period, 4);
  EXPECT_EQ(r.periods[2].imported, 0);
  EXPECT_EQ(column("vrTraCon.99", "MONTO").size(), 2u);
  EXPECT_EQ(statusTexts(1).back(),
            "Proceso terminado....  ;  No existe VRTRACON.00; per\355odo omitido  ;  "
            "No existe VRTRACON.04; per\355odo omitido");
  EXPECT_EQ(session->mesPrim(), 3);
  EXPECT_EQ(session->mesUlti(), 5);
}

TEST_F(MovementImport, MonthsOfAnotherStructureAreCarriedByName) {
  writePeriod(0, {});
  writePeriod(1, {line("1", "00005", 1)});
  // February: fields in another order, DETALLE wider, TIPO missing, CEN_COS numeric, one more.
  writePeriod(2, {{"CC", "2", "5.1", "00017", 2, "CO", std::string(50, 'd')}},
              {{"MONTO", 'N', 14, 2},
               {"CTA_DIR", 'C', 5, 0},
               {"COMPROBA", 'C', 8, 0},
               {"TIPO_COMP", 'C', 2, 0},
               {"CODIGO", 'C', 20, 0},
               {"DETALLE", 'C', 50, 0},
               {"CEN_COS", 'N', 4, 0},
               {"FECHA", 'D', 8, 0},
               {"EXTRA", 'C', 3, 0}});
  const auto r = IMPORTATRACON(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.notCarried,
            (std::vector<std::string>{"VRTRACON.02: DETALLE es C(50) y se recorta a C(40)",
                                      "VRTRACON.02: TIPO no existe (queda en blanco)",
                                      "VRTRACON.02: CEN_COS es N(4) y no C(4) (queda en blanco)",
                                      "VRTRACON.02: EXTRA no existe en la tabla del a\361o"}));
  EXPECT_EQ(column("vrTraCon.99", "CTA_DIR"), (std::vector<std::string>{"00005", "00017"}));
  EXPECT_EQ(column("vrTraCon.99", "COMPROBA")[1], "2       ");
  EXPECT_EQ(column("vrTraCon.99", "DETALLE")[1], std::string(40, 'd'));
  EXPECT_EQ(column("vrTraCon.99", "TIPO")[1], "  ");
  const std::string second = statusTexts(1).back();
  EXPECT_NE(second.find("Campos no trasladados: 4"), std::string::npos);
  EXPECT_NE(second.find("VRTRACON.02: TIPO no existe"), std::string::npos);
}

// The files an import replaces, as bytes.
std::map<std::string, std::string> snapshot(const fs::path& work) {
  std::map<std::string, std::string> out;
  for (const char* name : {"vrTraCon.99", "vrTraCox.cdx", "VRDIREXO.DBF", "VRDIREXO.FPT",
                           "VRDIREXX.CDX", "Periodos.mem"}) {
    out[name] = readBytes(work / name);
  }
  return out;
}

TEST_F(MovementImport, ADamagedPeriodFileLeavesThePreviousImportWhole) {
  writePeriod(0, {});
  writePeriod(1, {line("1", "00005", 1), line("2", "00017", 2)});
  ASSERT_TRUE(IMPORTATRACON(*session, engine).done);
  const auto before = snapshot(work());

  // The ledger changes: a new directory, and February cut short of the records its header counts.
  writeDirectory({{"00005", "1"}, {"00099", "2"}});
  std::vector<Line> february(50, line("3", "00005", 3));
  writePeriod(2, february);
  fs::resize_file(ledger() / "VRTRACON.02", fs::file_size(ledger() / "VRTRACON.02") - 500);

  // The handler abandons the import ...
  EXPECT_THROW(IMPORTATRACON(*session, engine), exo::FailureError);
  EXPECT_EQ(snapshot(work()), before);
  EXPECT_TRUE(leftovers().empty());
  EXPECT_EQ(session->mesUlti(), 1);
  // ... or lets the failure go: the import stops all the same.
  std::vector<exo::Failure> reported;
  ip.setErrorHandler([&](exo::Interp&, const exo::Failure& f) {
    reported.push_back(f);
    return exo::ErrorReply::byDefault();
  });
  const auto r = IMPORTATRACON(*session, engine);
  EXPECT_FALSE(r.done);
  ASSERT_FALSE(reported.empty());
  EXPECT_NE(reported[0].fileName.find("VRTRACON.02"), std::string::npos);
  EXPECT_EQ(snapshot(work()), before);
  EXPECT_TRUE(leftovers().empty());
  EXPECT_FALSE(engine.isUsed(1));  // every table of the import is closed again
}

// Writes `text` right-aligned into numeric field `field` of record `recno` of a table, as
// another program leaves it (asterisks of a value that did not fit, or any other text).
void spoilNumber(const fs::path& table, std::uint32_t recno, const std::string& field,
                 const std::string& text) {
  exo::store::Dbf t = exo::store::Dbf::open(table.string(), {false, false, 0});
  std::vector<char> rec(t.recordLength());
  t.read(recno, rec.data());
  const exo::store::Field& f = t.fields()[static_cast<std::size_t>(*t.fieldIndex(field))];
  std::memset(rec.data() + f.offset, ' ', f.length);
  std::memcpy(rec.data() + f.offset + f.length - text.size(), text.data(), text.size());
  t.write(recno, rec.data());
  t.close();
}

TEST_F(MovementImport, AnAmountThatIsNotANumberStopsTheImportAndNamesIt) {
  writePeriod(0, {});
  writePeriod(1, {line("1", "00005", 1), line("2", "00017", 2)});
  ASSERT_TRUE(IMPORTATRACON(*session, engine).done);
  const auto before = snapshot(work());

  // March's second line overflowed its field in the ledger: its amount is lost, not zero.
  writeDirectory({{"00005", "1"}, {"00099", "2"}});
  writePeriod(2, {line("3", "00005", 3)});
  writePeriod(3, {line("4", "00005", 4), line("5", "00099", 5), line("6", "00005", 6)});
  spoilNumber(ledger() / "VRTRACON.03", 2, "MONTO", std::string(16, '*'));
  std::vector<exo::Failure> reported;
  ip.setErrorHandler([&](exo::Interp&, const exo::Failure& f) {
    reported.push_back(f);
    return exo::ErrorReply::byDefault();
  });
  const auto r = IMPORTATRACON(*session, engine);
  EXPECT_FALSE(r.done);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].fileName.find("VRTRACON.03"), std::string::npos);
  EXPECT_NE(reported[0].description.find("MONTO del registro 2"), std::string::npos)
      << reported[0].description;
  EXPECT_EQ(snapshot(work()), before);
  EXPECT_EQ(session->mesUlti(), 1);
  EXPECT_TRUE(leftovers().empty());

  // Any other text that is not a number, in any numeric field, the same; abandoned, the failure
  // goes on up.
  writePeriod(3, {line("4", "00005", 4)}, [] {
    auto fields = kPeriodFields;
    fields.push_back({"BASE_RET", 'N', 12, 2});
    return fields;
  }());
  spoilNumber(ledger() / "VRTRACON.03", 1, "BASE_RET", "1.200,50");
  ip.setErrorHandler([](exo::Interp&, const exo::Failure&) { return exo::ErrorReply::abandon(); });
  try {
    IMPORTATRACON(*session, engine);
    ADD_FAILURE() << "the import went on";
  } catch (const exo::FailureError& e) {
    EXPECT_NE(e.failure().description.find("BASE_RET del registro 1"), std::string::npos);
  }
  EXPECT_EQ(snapshot(work()), before);
  EXPECT_TRUE(leftovers().empty());
}

TEST_F(MovementImport, ADamagedDirectoryReplacesNothing) {
  writePeriod(0, {});
  writePeriod(1, {line("1", "00005", 1), line("2", "00017", 2)});
  ASSERT_TRUE(IMPORTATRACON(*session, engine).done);
  const auto before = snapshot(work());

  // The ledger's directory cut short of the records its header counts.
  std::vector<std::pair<std::string, std::string>> parties;
  for (int i = 0; i < 40; ++i) parties.emplace_back(std::to_string(10000 + i), "9");
  writeDirectory(parties);
  fs::resize_file(ledger() / "VRDIR.DBF", fs::file_size(ledger() / "VRDIR.DBF") - 300);
  writePeriod(2, {line("3", "00005", 3)});
  std::vector<exo::Failure> reported;
  ip.setErrorHandler([&](exo::Interp&, const exo::Failure& f) {
    reported.push_back(f);
    return exo::ErrorReply::byDefault();
  });
  ui.clear();
  const auto r = IMPORTATRACON(*session, engine);
  EXPECT_FALSE(r.done);
  ASSERT_FALSE(reported.empty());
  EXPECT_NE(reported[0].fileName.find("VRDIREXO.DBF"), std::string::npos);
  const auto messages = ui.callsOf("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("directorio de terceros del programa Norvasta est\341 da\361ado"),
            std::string::npos);
  EXPECT_EQ(snapshot(work()), before);
  EXPECT_TRUE(leftovers().empty());
}

// A user interface that kills its own process when the import reaches a given status text.
class KillingInterface : public exo::shell::UserInterface {
 public:
  explicit KillingInterface(std::string when) : m_when(std::move(when)) {}
  void status(int, std::string_view text) override {
    if (text == m_when) ::kill(::getpid(), SIGKILL);
  }
  void message(exo::shell::MessageKind, std::string_view, std::string_view) override {}
  int ask(std::string_view, std::string_view, const std::vector<std::string>&, int d) override {
    return d;
  }
  void meterBegin(std::string_view, std::int64_t, bool) override {}
  void meterAdvance(std::int64_t) override {}
  void meterEnd() override {}
  void waitOpen(std::string_view, std::optional<exo::shell::ScreenPos>) override {}
  void waitClose() override {}
  void pumpEvents() override {}
  bool openWithShell(const std::string&) override { return false; }

 private:
  std::string m_when;
};

TEST_F(MovementImport, KilledHalfWayTheOldFilesStayAndTheNextRunWorks) {
  writePeriod(0, {});
  writePeriod(1, {line("1", "00005", 1), line("2", "00017", 2)});
  ASSERT_TRUE(IMPORTATRACON(*session, engine).done);
  const auto before = snapshot(work());

  writeDirectory({{"00005", "1"}, {"00099", "2"}});
  for (int m = 2; m <= 6; ++m) writePeriod(m, std::vector<Line>(2000, line("9", "00099", m)));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child imports the new ledger and dies while reading April.
    exo::Interp childIp;
    exo::store::Engine childEngine{childIp};
    KillingInterface killer("Importando movimientos de  Abril.....");
    if (!exo::shell::VARIABLPUBLIC(childIp, killer, folders)) ::_exit(3);
    exo::shell::Session s(childIp, killer, folders);
    s.setCelPath("NRVVS\\EMP1\\");
    s.formPaths();
    IMPORTATRACON(s, childEngine);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);

  EXPECT_EQ(snapshot(work()), before);
  const int area = engine.open((work() / "vrTraCon.99").string(), "OLD", true, true);
  engine.addIndex(area, "vrTraCox.cdx");
  engine.setOrder(area, "SoloCmp");
  EXPECT_EQ(engine.keyCount(ip, area), 2);
  engine.close(ip, area);

  // The next run replaces the old files and leaves no temporary file behind.
  const auto r = IMPORTATRACON(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(column("vrTraCon.99", "CTA_DIR").size(), 2u + 5 * 2000);
  EXPECT_EQ(readBytes(work() / "VRDIREXO.DBF"), readBytes(ledger() / "VRDIR.DBF"));
  EXPECT_TRUE(leftovers().empty());
}

}  // namespace

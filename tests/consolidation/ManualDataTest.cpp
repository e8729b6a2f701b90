// The manual-data tables of formats 1004, 1010, 1011 and 1012 over real tables: preparation on
// first use, the partners picked from the directory, deletion and compaction, the 1012 rows per
// account and concept, its rebuild keeping the holders, a rebuild interrupted half-way, and the
// picker's search.
#include <gtest/gtest.h>

#include <fstream>

#include "BasesFixture.h"
#include "consolidation/ManualData.h"
#include "consolidation/Partners.h"
#include "shell/ScriptedUserInterface.h"

namespace {

namespace fs = std::filesystem;
using basestest::Company;
using namespace exo;

// Third parties of the directory: a company, two natural persons, a mixed-case name.
std::vector<terceros::Row> directoryRows() {
  return {terceros::sound("A0001", "ALFA LTDA"),
          {"B0002", "PEREZ GOMEZ JUAN CARLOS", "1111", "N", "13", "CALLE 1", "79555111", "05",
           "001", "0169"},
          {"C0003", "RUIZ  ANA", "1010", "N", "13", "CALLE 2", "52111222", "76", "001", "0169"},
          {"D0004", "Abc Ltda", "0000", "J", "31", "CRA 3", "800197268-4", "11", "001", "0169"}};
}

int conceptsOf(const std::string& code) {
  int n = 0;
  for (const auto& c : store::loadRefData(EXOGENA_SOURCE_DIR "/data/refdata").concepts)
    n += c.format == code;
  return n;
}

TEST(ManualData, Formats1004And1011GetOneRowPerConceptOnFirstUseOnly) {
  Company c;
  c.formatTable("1004", {{"A0001", "2408", "8303", 500}});
  c.formatTable("1011", {{"A0001", "2408", "8303", 500}});
  auto r = consolidation::prepareManualData(*c.session, c.engine, 4);
  ASSERT_TRUE(r.done);
  EXPECT_TRUE(r.created);
  const int concepts = conceptsOf("1004");
  ASSERT_GT(concepts, 0);
  // The movement row copied with the table, then the concepts in order with their description.
  EXPECT_EQ(r.rows, 1 + concepts);
  const auto rows = c.rows(r.area, {"FORM", "CONC", "MONTO"});
  EXPECT_EQ(rows.front(), "1004|8303|500");
  c.engine.skip(c.ip, r.area, 1);
  EXPECT_FALSE(trimBlanks(c.engine.text(r.area, "FILTRO")).empty());
  c.engine.put(r.area, "VLR_ADIC1", Value::number(1234));
  c.engine.commit(c.ip, r.area);
  // Later openings keep the table and the user's value.
  r = consolidation::prepareManualData(*c.session, c.engine, 4);
  EXPECT_FALSE(r.created);
  EXPECT_EQ(r.rows, 1 + concepts);
  EXPECT_EQ(c.rows(r.area, {"VLR_ADIC1"})[1], "1234");

  r = consolidation::prepareManualData(*c.session, c.engine, 11);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.rows, conceptsOf("1011"));
  EXPECT_EQ(c.rows(r.area, {"FORM"}).front(), "1011");
  c.engine.closeAll(c.ip);
}

TEST(ManualData, PickingAnExistingPartnerRefreshesItsIdentificationAndKeepsItsValues) {
  Company c;
  c.directory(directoryRows());
  auto r = consolidation::prepareManualData(*c.session, c.engine, 10);
  ASSERT_TRUE(r.done && r.created);
  const int direc = consolidation::openPickerDirectory(*c.session, c.engine);
  ASSERT_NE(direc, 0);
  auto picked =
      consolidation::importPartners(*c.session, c.engine, r.area, 10, direc, {"C0003", "A0001"});
  EXPECT_EQ(picked.added, 2);
  // In the order of full names.
  EXPECT_EQ(c.rows(r.area, {"CLAVE", "TDOC", "NID", "DV", "RAZ", "APL1", "NOM1", "FULLNOMB", "DIR",
                            "DPTO", "MUN", "PAIS"}),
            (std::vector<std::string>{
                "A0001|31|800197268|4|ALFA LTDA|||ALFA LTDA|CRA 8 # 6C-38|11|001|169",
                "C0003|13|52111222|||RUIZ|ANA|RUIZ ANA|CALLE 2|76|001|169"}));
  // The user enters the values of ALFA.
  ASSERT_TRUE(c.engine.seekKey(r.area, Value::text("ALFA")));
  c.engine.put(r.area, "VAL", Value::number(5000000));
  c.engine.put(r.area, "VPAR", Value::number(1000));
  c.engine.put(r.area, "POR", Value::number(12.5));
  c.engine.commit(c.ip, r.area);
  // The directory changes (a new name and identification) and ALFA is picked again.
  c.engine.closeAll(c.ip);
  auto rows = directoryRows();
  rows[0] = terceros::sound("A0001", "ALFA Y CIA LTDA");
  rows[0][6] = "900123456-1";
  c.directory(rows);
  r = consolidation::prepareManualData(*c.session, c.engine, 10);
  const int again = consolidation::openPickerDirectory(*c.session, c.engine);
  picked = consolidation::importPartners(*c.session, c.engine, r.area, 10, again, {"A0001"});
  EXPECT_EQ(picked.added, 0);
  EXPECT_EQ(picked.refreshed, 1);
  EXPECT_EQ(c.rows(r.area, {"CLAVE", "NID", "DV", "FULLNOMB", "VAL", "VPAR", "POR"}),
            (std::vector<std::string>{"A0001|900123456|1|ALFA Y CIA LTDA|5000000|1000|12.50",
                                      "C0003|52111222||RUIZ ANA|0|0|0"}));
  c.engine.closeAll(c.ip);
}

TEST(ManualData, DeletedPartnersAreRemovedWhenTheDialogIsNextOpened) {
  Company c;
  c.directory(directoryRows());
  auto r = consolidation::prepareManualData(*c.session, c.engine, 10);
  const int direc = consolidation::openPickerDirectory(*c.session, c.engine);
  consolidation::importPartners(*c.session, c.engine, r.area, 10, direc,
                                {"A0001", "B0002", "C0003"});
  c.engine.goTop(c.ip, r.area);
  // "No" (the default) keeps the row.
  EXPECT_FALSE(consolidation::BORRASOCIO(*c.session, c.engine, r.area));
  EXPECT_EQ(c.ui.callsOf("ask").back().text, "Seguro desea borrar ficha ?");
  EXPECT_EQ(c.ui.callsOf("ask").back().title, "Atenci\363n.....");
  c.ui.answer("   &Si   ");
  EXPECT_TRUE(consolidation::BORRASOCIO(*c.session, c.engine, r.area));
  // The area stands on the neighbouring row.
  EXPECT_EQ(trimBlanks(c.engine.text(r.area, "CLAVE")), "B0002");
  EXPECT_EQ(c.engine.recCount(r.area), 3);
  r = consolidation::prepareManualData(*c.session, c.engine, 10);
  EXPECT_EQ(r.removed, 1);
  EXPECT_EQ(c.engine.recCount(r.area), 2);
  EXPECT_EQ(c.rows(r.area, {"CLAVE"}), (std::vector<std::string>{"B0002", "C0003"}));
  c.engine.closeAll(c.ip);
}

// Format 1012: an account assigned to two concepts, one without movements, and a holder.
void setUp1012(Company& c) {
  c.chart({{"1205050001", 0, "ACCIONES ALFA"}, {"1110050001", 0, "BANCO DE BOGOTA"}});
  c.directory(directoryRows());
  c.assign({{"1012", "8201", "1205050001"},
            {"1012", "8202", "1205050001"},
            {"1012", "8203", "1110050001"},
            {"1001", "5001", "1110050001"}});
  c.formatTable("1012", {{"A0001", "1205050001", "8201", 700},
                         {"A0001", "1205050001", "8201", 300},
                         {"A0001", "1205050001", "8202", -50},
                         {"B0002", "1205050001", "8202", 20}});
}

TEST(ManualData, Format1012HasOneRowPerAssignmentWithTheAccountsBalance) {
  Company c;
  setUp1012(c);
  const auto r = consolidation::prepareManualData(*c.session, c.engine, 12);
  ASSERT_TRUE(r.done && r.created);
  EXPECT_EQ(c.rows(r.area, {"CPT", "CODI_CONT", "NOMB_CONT", "VAL", "FULLNOMB"}),
            (std::vector<std::string>{"8201|1205050001|ACCIONES ALFA|1000|",
                                      "8202|1205050001|ACCIONES ALFA|-30|",
                                      "8203|1110050001|BANCO DE BOGOTA|0|"}));
  c.engine.closeAll(c.ip);
}

TEST(ManualData, RebuildOf1012KeepsTheHoldersOfRowsThatStay) {
  Company c;
  setUp1012(c);
  auto r = consolidation::prepareManualData(*c.session, c.engine, 12);
  const int direc = consolidation::openPickerDirectory(*c.session, c.engine);
  ASSERT_TRUE(c.engine.seekKey(direc, Value::text("D0004")));
  c.engine.goTop(c.ip, r.area);  // 8201
  consolidation::fillHolder(c.engine, r.area, 12, direc);
  const auto holder = consolidation::TBaseSocios::New(c.engine, r.area, 12);
  EXPECT_EQ(trimBlanks(holder.clave), "D0004");
  EXPECT_EQ(holder.nSaldo, 1000);
  EXPECT_TRUE(holder.dir.empty());
  c.engine.close(c.ip, direc);

  // A new assignment and new movements; "No" leaves everything as it was.
  c.assign({{"1012", "8200", "1110050001"}});
  c.formatTable("1012", {{"A0001", "1205050001", "8201", 4000}});
  auto declined = consolidation::REHACEBASE12(*c.session, c.engine, r.area);
  EXPECT_FALSE(declined.done);
  EXPECT_EQ(c.ui.callsOf("ask").back().text, "Seguro desea rehacer tabla para Formato 1012 ?");
  c.ui.answer("   &Si   ");
  const auto rebuilt = consolidation::REHACEBASE12(*c.session, c.engine, r.area);
  ASSERT_TRUE(rebuilt.done);
  EXPECT_EQ(rebuilt.kept, 1);
  EXPECT_EQ(c.engine.areaOf("BaseDatos"), rebuilt.area);
  EXPECT_EQ(c.rows(rebuilt.area, {"CPT", "CODI_CONT", "VAL", "CLAVE", "NID", "DV", "FULLNOMB"}),
            (std::vector<std::string>{"8200|1110050001|0||||",
                                      "8201|1205050001|4000|D0004|800197268|4|Abc Ltda",
                                      "8202|1205050001|0||||", "8203|1110050001|0||||"}));
  c.engine.closeAll(c.ip);
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ManualData, RebuildOf1012LeavesATableInUseElsewhereAlone) {
  Company c;
  setUp1012(c);
  const auto r = consolidation::prepareManualData(*c.session, c.engine, 12);
  const auto before = c.rows(r.area, {"CPT", "CODI_CONT", "VAL"});
  c.formatTable("1012", {{"A0001", "1205050001", "8201", 4000}});
  // Another program (an open of its own) has the table open.
  const fs::path table = c.session->companyFile("TrF1012B.dbf");
  Interp otherIp;
  store::Engine other(otherIp);
  ASSERT_NE(other.open(table.string(), "OTRA"), 0);
  const std::string bytes = readFile(table);
  c.ui.answer("   &Si   ");
  const auto refused = consolidation::REHACEBASE12(*c.session, c.engine, r.area);
  EXPECT_FALSE(refused.done);
  EXPECT_NE(c.ui.callsOf("message").back().text.find("TrF1012B.dbf est\341 en uso"),
            std::string::npos);
  EXPECT_EQ(readFile(table), bytes);
  EXPECT_EQ(c.rows(refused.area, {"CPT", "CODI_CONT", "VAL"}), before);
  other.closeAll(otherIp);
  c.ui.answer("   &Si   ");
  EXPECT_TRUE(consolidation::REHACEBASE12(*c.session, c.engine, refused.area).done);
  c.engine.closeAll(c.ip);
}

// A user interface that breaks off the run at the n-th step of the meter, as an abandoned
// failure does.
class Interrupting final : public shell::UserInterface {
 public:
  explicit Interrupting(shell::ScriptedUserInterface& inner, int at) : m_inner(inner), m_at(at) {}
  void message(shell::MessageKind k, std::string_view t, std::string_view x) override {
    m_inner.message(k, t, x);
  }
  int ask(std::string_view t, std::string_view x, const std::vector<std::string>& b,
          int d) override {
    return m_inner.ask(t, x, b, d);
  }
  void meterBegin(std::string_view, std::int64_t, bool) override {}
  void meterAdvance(std::int64_t done) override {
    if (done == m_at) throw FailureError(Failure{});
  }
  void meterEnd() override {}
  void status(int, std::string_view) override {}
  void waitOpen(std::string_view, std::optional<shell::ScreenPos>) override {}
  void waitClose() override {}
  void pumpEvents() override {}
  bool openWithShell(const std::string&) override { return false; }

 private:
  shell::ScriptedUserInterface& m_inner;
  int m_at;
};

TEST(ManualData, RebuildOf1012FailingHalfWayLeavesThePreviousTable) {
  Company c;
  setUp1012(c);
  auto r = consolidation::prepareManualData(*c.session, c.engine, 12);
  const int direc = consolidation::openPickerDirectory(*c.session, c.engine);
  ASSERT_TRUE(c.engine.seekKey(direc, Value::text("A0001")));
  c.engine.skip(c.ip, r.area, 1);  // 8202
  consolidation::fillHolder(c.engine, r.area, 12, direc);
  const auto before = c.rows(r.area, {"CPT", "CODI_CONT", "VAL", "CLAVE", "NID", "FULLNOMB"});
  c.formatTable("1012", {{"A0001", "1205050001", "8202", 999}});

  Interrupting ui(c.ui, 2);
  shell::Session interrupted(c.ip, ui, c.folders);
  c.ui.answer("   &Si   ");
  EXPECT_THROW(consolidation::REHACEBASE12(interrupted, c.engine, r.area), FailureError);
  // The table in use is still the old one, with its holder; no temporary file is left.
  EXPECT_EQ(c.engine.areaOf("BaseDatos"), r.area);
  EXPECT_EQ(c.rows(r.area, {"CPT", "CODI_CONT", "VAL", "CLAVE", "NID", "FULLNOMB"}), before);
  EXPECT_TRUE(c.leftovers().empty());
  c.engine.closeAll(c.ip);
  // And on disk, opened afresh.
  r = consolidation::prepareManualData(*c.session, c.engine, 12);
  EXPECT_EQ(c.rows(r.area, {"CPT", "CODI_CONT", "VAL", "CLAVE", "NID", "FULLNOMB"}), before);
  c.engine.closeAll(c.ip);
}

TEST(ManualData, PickerSearchByButtonAndByF3) {
  Company c;
  c.directory(directoryRows());
  const int direc = consolidation::openPickerDirectory(*c.session, c.engine);
  ASSERT_NE(direc, 0);
  auto code = [&] { return std::string(trimBlanks(c.engine.text(direc, "CLAVE"))); };
  c.engine.goTop(c.ip, direc);
  // The button looks in the field as stored: the upper-cased text misses "Abc Ltda".
  EXPECT_FALSE(consolidation::BUSCATERCERO(c.engine, direc, consolidation::SearchField::Name,
                                           "ABC                 "));
  EXPECT_EQ(code(), "A0001");
  EXPECT_TRUE(
      consolidation::BUSCATERCERO(c.engine, direc, consolidation::SearchField::Nit, "52111"));
  EXPECT_EQ(code(), "C0003");
  // F3 upper-cases the field, and wraps to the top.
  EXPECT_TRUE(consolidation::BUSCASIG3O(*c.session, c.engine, direc,
                                        consolidation::SearchField::Name, "ABC"));
  EXPECT_EQ(code(), "D0004");
  EXPECT_TRUE(consolidation::BUSCASIG3O(*c.session, c.engine, direc,
                                        consolidation::SearchField::Name, "LTDA"));
  EXPECT_EQ(code(), "A0001");
  // Nothing found: back where it was, and asked whether to go to the top.
  c.engine.skip(c.ip, direc, 1);
  c.ui.answer("   &No   ");
  EXPECT_FALSE(consolidation::BUSCASIG3O(*c.session, c.engine, direc,
                                         consolidation::SearchField::Code, "X9"));
  EXPECT_EQ(code(), "B0002");
  EXPECT_EQ(c.ui.callsOf("ask").back().text,
            "Norvasta termin\363 de buscar la cadena \"X9\".\r\nDesea regrezar al inicio ?");
  c.ui.answer("   &Si   ");
  consolidation::BUSCASIG3O(*c.session, c.engine, direc, consolidation::SearchField::Code, "X9");
  EXPECT_EQ(code(), "A0001");
  c.engine.closeAll(c.ip);
}

TEST(ManualData, PartnerRecordHasNoRuleSix) {
  masterdata::DirectoryEntry e{"B0002",    "PEREZ JUAN", "0000", "N",   "13",
                               "79555111", "CALLE 1",    "05",   "001", "0169"};
  const auto t = consolidation::TDatosSocios::New(e);
  EXPECT_FALSE(t.record().lError);
  EXPECT_TRUE(t.record().priApell.empty() && t.record().razonSoc.empty());
  EXPECT_EQ(t.record().cError, "  ;    ;    ;    ;    ;  ");
}

}  // namespace

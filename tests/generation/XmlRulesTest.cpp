// The check of a written file against its format's field rules, with the repository's
// reference data.
#include <gtest/gtest.h>

#include "generation/XmlRules.h"
#include "generation/XmlTestSupport.h"
#include "store/Dbf.h"
#include "store/RefTables.h"

namespace {

using namespace exo::generation;
namespace fs = std::filesystem;

class XmlRules : public xmltest::XmlCompany, public ::testing::Test {
 protected:
  std::vector<XmlFinding> check(int format, const std::vector<XmlRecord>& records) {
    std::string name;
    const std::string doc =
        xmlDocument(format, exo::generation::headerFrom(session->cabez()), records, name);
    const fs::path file = root() / name;
    std::ofstream(file, std::ios::binary) << doc;
    return checkXmlFile(file, format, tables);
  }
  // "record field" of every finding.
  static std::vector<std::string> keys(const std::vector<XmlFinding>& findings) {
    std::vector<std::string> out;
    for (const XmlFinding& f : findings) out.push_back(std::to_string(f.record) + " " + f.field);
    return out;
  }
  XmlRuleTables tables =
      ruleTablesFrom(exo::store::loadRefData(EXOGENA_SOURCE_DIR "/data/refdata"));
};

using V = std::vector<std::string>;

TEST_F(XmlRules, SoundRecordsPassAndEachBrokenRuleIsNamed) {
  // 800197268 has check digit 4.
  const std::vector<XmlRecord> records = {
      {"5001", "31", "800197268", "4", "", "", "", "", "EMPRESA S.A.", "CRA 1", "05", "001", "169",
       "1500000", "0"},
      {"5001", "43", "222222222", "", "", "", "", "", "CUANTIAS MENORES", "", "", "", "169",
       "300000"},
      {"5001", "42", "X-77", "", "SMITH", "", "JOHN", "", "", "MAIN ST", "", "", "249", "10"},
      {"5001", "31", "800197268", "5", "", "", "", "", "EMPRESA S.A.", "CRA 1", "05", "999", "169",
       "100.5", "-3"},
      {"9999", "13", "79.123", "7", "PEREZ", "", "ANA", "", "PEREZ LTDA", "", "98", "001", "169",
       "x"},
  };
  const auto findings = check(1, records);
  EXPECT_EQ(keys(findings), (V{"3 nid", "4 dv", "4 mun", "4 pag", "4 ded", "5 cpt", "5 nid", "5 dv",
                               "5 raz", "5 dir", "5 dpto", "5 mun", "5 pag"}));
  ASSERT_FALSE(findings.empty());
  EXPECT_EQ(findings[1].thirdParty, "31 800197268");
  EXPECT_EQ(findings[1].value, "5");
  EXPECT_NE(findings[1].rule.find("(debe ser 4)"), std::string::npos);
  // The third party is named as the record writes it; its code comes from the run.
  EXPECT_EQ(describe(findings[1]),
            "Registro 4, tercero EMPRESA S.A. (31 800197268): dv - d\xEDgito de verificaci\xF3n "
            "errado (debe ser 4): 5");
  EXPECT_EQ(findings[0].partyName, "SMITH JOHN");
}

TEST_F(XmlRules, FormatsWithoutCountryOrPartyAndTheRecordLimit) {
  // 1003 has no country: its agents are Colombian, so the location is required.
  EXPECT_EQ(keys(check(3, {{"1301", "31", "800197268", "4", "", "", "", "", "AGENTE S.A.", "CL 2",
                            "", "", "1000", "100"}})),
            (V{"1 dpto", "1 mcpo"}));
  EXPECT_TRUE(check(11, {{"1105", "200"}}).empty());
  EXPECT_EQ(keys(check(11, {{"1001", "-5"}})), (V{"1 cpt", "1 sal", "0 ValorTotal"}));
  std::vector<XmlRecord> many(kMaxRecordsPerFile + 1, XmlRecord{"1105", "1"});
  EXPECT_EQ(keys(check(11, many)), (V{"0 CantReg"}));
}

TEST_F(XmlRules, FileNotWellFormedOrFromTheProgramFolder) {
  const fs::path file = root() / "roto.xml";
  std::ofstream(file, std::ios::binary) << "<mas><Cab></mas>";
  const auto findings = checkXmlFile(file, 1, tables);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_NE(findings[0].rule.find("no es XML bien formado"), std::string::npos);
  // The tables of an installed program folder give the same codes as the CSV files.
  exo::store::writeRefTables(exo::store::loadRefData(EXOGENA_SOURCE_DIR "/data/refdata"),
                             folders.program.string());
  const XmlRuleTables installed = ruleTablesFromFolder(folders.program);
  EXPECT_EQ(installed.concepts, tables.concepts);
  EXPECT_EQ(installed.municipalities, tables.municipalities);
  EXPECT_EQ(installed.countries, tables.countries);
  EXPECT_TRUE(installed.departments.count("05"));
}

TEST_F(XmlRules, TablesKeptBetweenFilesAreReadAgainWhenOneChanges) {
  exo::store::writeRefTables(exo::store::loadRefData(EXOGENA_SOURCE_DIR "/data/refdata"),
                             folders.program.string());
  const auto first = keptRuleTables(folders.program);
  EXPECT_EQ(first->countries, tables.countries);
  EXPECT_EQ(first->municipalities, tables.municipalities);
  EXPECT_EQ(keptRuleTables(folders.program), first);  // nothing changed: not read again
  EXPECT_FALSE(first->countries.count("998"));
  {
    exo::store::Dbf countries =
        exo::store::Dbf::open((folders.program / exo::store::kCountriesFile).string());
    std::vector<char> record = countries.blankRecord();
    countries.setText(record.data(), *countries.fieldIndex("CODIGO"), "0998");
    countries.append(record.data());
  }
  // The country added is known to the check of the next file.
  const auto second = keptRuleTables(folders.program);
  EXPECT_TRUE(second->countries.count("998"));
  EXPECT_EQ(second->concepts, first->concepts);
}

TEST_F(XmlRules, EveryObservationNamesTheThirdPartyByCodeAndName) {
  const std::vector<XmlRecord> records = {
      {"5001", "31", "800197268", "5", "", "", "", "", "EMPRESA S.A.", "CRA 1", "05", "001", "169",
       "10"},
      {"5001", "43", "222222222", "", "", "", "", "", "CUANTIAS MENORES", "", "", "", "169", "-3"},
      {"5002", "13", "79123456", "", "GOMEZ", "", "ANA", "MARIA", "", "", "05", "001", "169", "7"},
  };
  std::string name;
  const std::string doc =
      xmlDocument(1, exo::generation::headerFrom(session->cabez()), records, name);
  const fs::path file = root() / name;
  std::ofstream(file, std::ios::binary) << doc;
  // The run wrote these records after two others of an earlier file: codes by position.
  XmlParties parties{{"00001", "00002", "00417", "", "00952"}, 2};
  const auto findings = checkXmlFile(file, 1, tables, parties);
  ASSERT_EQ(keys(findings), (V{"1 dv", "2 pag", "3 dir"}));
  EXPECT_EQ(findings[0].partyCode, "00417");
  EXPECT_EQ(describe(findings[0]),
            "Registro 1, tercero 00417 EMPRESA S.A. (31 800197268): dv - d\xEDgito de "
            "verificaci\xF3n errado (debe ser 4): 5");
  EXPECT_EQ(findings[1].partyCode, "");
  EXPECT_EQ(findings[1].partyName, "CUANTIAS MENORES");
  EXPECT_EQ(describe(findings[2]).substr(0, 50),
            "Registro 3, tercero 00952 GOMEZ ANA MARIA (13 7912");
  // Positions that disagree with the record (a third party where the file has the minor
  // amounts) give no code; the name stays.
  const auto shifted = checkXmlFile(file, 1, tables, XmlParties{{"00417", "00952", "00003"}, 0});
  ASSERT_EQ(shifted.size(), 3u);
  EXPECT_EQ(shifted[0].partyCode, "00417");
  EXPECT_EQ(shifted[1].partyCode, "");
  EXPECT_EQ(shifted[2].partyCode, "00003");
}

TEST_F(XmlRules, WithholdingWithoutABaseOrAboveIt) {
  // 1002: vabo is the base, vret what was withheld; 1003: valor and ret.
  const auto party = [](const std::string& base, const std::string& withheld) {
    return XmlRecord{"2304",         "31",    "800197268", "4",   "",    "",   "",      "",
                     "EMPRESA S.A.", "CRA 1", "05",        "001", "169", base, withheld};
  };
  const auto findings = check(2, {party("1000", "100"), party("0", "100"), party("", "35"),
                                  party("50", "100"), party("0", "0"), party("100", "100")});
  EXPECT_EQ(keys(findings), (V{"2 vabo", "3 vabo", "4 vabo"}));
  ASSERT_EQ(findings.size(), 3u);
  EXPECT_NE(findings[0].rule.find("en cero"), std::string::npos);
  EXPECT_NE(findings[0].rule.find("100"), std::string::npos);
  EXPECT_NE(findings[2].rule.find("menor que la retenci\xF3n"), std::string::npos);
  EXPECT_EQ(findings[2].partyName, "EMPRESA S.A.");
  const auto agents = check(3, {{"1301", "31", "800197268", "4", "", "", "", "", "AGENTE S.A.",
                                 "CL 2", "05", "001", "0", "250"}});
  EXPECT_EQ(keys(agents), (V{"1 valor"}));
}

TEST_F(XmlRules, ThePeriodIsOneCalendarYearBeforeTheYearOfSending) {
  const XmlRecord sound{"1105", "1"};
  auto period = [&](const std::string& ano, const std::string& first, const std::string& last) {
    exo::TPublic& c = session->cabez();
    c.set("ano", exo::Value::text(ano));
    c.set("FecIni", exo::Value::text(first));
    c.set("FecFin", exo::Value::text(last));
    return keys(check(11, {sound}));
  };
  EXPECT_EQ(period("2011", "2010-01-01", "2010-12-31"), V{});
  EXPECT_EQ(period("2011", "2010-03-01", "2010-06-30"), V{});  // part of the year
  // The year of sending carried into the period (the old defaults of the dialog).
  EXPECT_EQ(period("2010", "2026-01-01", "2026-12-31"), (V{"0 Ano"}));
  EXPECT_EQ(period("2010", "2010-01-01", "2010-12-31"), (V{"0 Ano"}));
  EXPECT_EQ(period("2011", "2010-07-01", "2011-06-30"), (V{"0 FecFinal"}));
  EXPECT_EQ(period("2011", "2010-12-31", "2010-01-01"), (V{"0 FecFinal"}));
  EXPECT_EQ(period("2011", "2010-02-30", "2010-12-31"), (V{"0 FecInicial"}));
  EXPECT_EQ(period("2011", "2010-01-01", ""), (V{"0 FecFinal"}));
  EXPECT_EQ(period("20x1", "2010-01-01", "2010-12-31"), (V{"0 Ano"}));
  EXPECT_EQ(period("", "2010-01-01", "2010-12-31"), (V{"0 Ano"}));
}

// The sending number becomes the eight digits of the file's name: zero, text or nine digits
// would give a name and a header the authority does not take.
TEST_F(XmlRules, TheSendingNumberIsAWholeNumberFromOne) {
  const XmlRecord sound{"1105", "1"};
  auto sending = [&](const std::string& number) {
    session->cabez().set("NumEnv", exo::Value::text(number));
    return keys(check(11, {sound}));
  };
  EXPECT_EQ(sending("1"), V{});
  EXPECT_EQ(sending("99999999"), V{});
  EXPECT_EQ(sending("0"), (V{"0 NumEnvio"}));
  EXPECT_EQ(sending("00000000"), (V{"0 NumEnvio"}));
  EXPECT_EQ(sending("123456789"), (V{"0 NumEnvio"}));
  EXPECT_EQ(sending("1a"), (V{"0 NumEnvio"}));
  EXPECT_EQ(sending(""), (V{"0 NumEnvio"}));
}

}  // namespace

// The check of a written file against its format's field rules, with the repository's
// reference data.
#include <gtest/gtest.h>

#include "generation/XmlRules.h"
#include "generation/XmlTestSupport.h"
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
  EXPECT_EQ(describe(findings[1]),
            "Registro 4 (31 800197268): dv - d\xEDgito de verificaci\xF3n errado (debe ser 4): 5");
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

}  // namespace

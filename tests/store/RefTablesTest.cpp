// The reference tables built from data/refdata: every CSV row lands in its table, in order, in
// Windows-1252, and malformed data is refused instead of being cut or skipped.
#include <gtest/gtest.h>

#include <fstream>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Dbf.h"
#include "store/RefTables.h"

namespace {

using namespace exo::store;

const std::string kRefData = EXOGENA_SOURCE_DIR "/data/refdata";

// Trimmed text of field `name` of every record of a table.
std::vector<std::string> column(const std::string& path, const char* name) {
  Dbf t = Dbf::open(path, {true, true, 0});
  const int f = *t.fieldIndex(name);
  std::vector<std::string> out;
  std::vector<char> rec(t.recordLength());
  for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
    t.read(r, rec.data());
    std::string s(t.text(rec.data(), f));
    out.push_back(s.erase(s.find_last_not_of(' ') + 1));
  }
  return out;
}

// Data rows of a CSV file (lines after the header; no field of these files spans lines).
std::size_t csvRows(const char* name) {
  std::ifstream in(kRefData + "/" + name);
  std::string line;
  std::size_t n = 0;
  while (std::getline(in, line)) n += !line.empty();
  return n - 1;
}

class RefTablesBuilt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new storetest::TempDir;
    writeRefTables(loadRefData(kRefData), s_dir->file(""));
  }
  static void TearDownTestSuite() { delete s_dir; }
  static std::string file(const char* name) { return s_dir->file(name); }
  static storetest::TempDir* s_dir;
};
storetest::TempDir* RefTablesBuilt::s_dir = nullptr;

TEST_F(RefTablesBuilt, FormatsAreTheTwelveInOrderWithTheirLayout) {
  Dbf t = Dbf::open(file(kFormatosFile), {true, true, 0});
  ASSERT_EQ(t.fields().size(), 4u);
  EXPECT_EQ(t.fields()[1].name, "DETALLE");
  EXPECT_EQ(t.fields()[1].length, 150);
  const std::vector<std::string> codes = column(file(kFormatosFile), "FORMATO");
  ASSERT_EQ(codes.size(), 12u);
  for (int n = 0; n < 12; ++n) EXPECT_EQ(codes[n], std::to_string(1001 + n));
  EXPECT_EQ(column(file(kFormatosFile), "DETALLE")[6], "Ingresos recibidos");
  EXPECT_EQ(column(file(kFormatosFile), "VERSION")[3], "06");
  EXPECT_EQ(column(file(kFormatosFile), "ANEXO")[9], "01");
  // Accented text is stored as Windows-1252 bytes.
  EXPECT_EQ(column(file(kFormatosFile), "DETALLE")[11].substr(0, 47),
            "Informaci\363n de declaraciones tributarias, accio");
}

TEST_F(RefTablesBuilt, ConceptsKeepEveryRowWithItsBaseAndNature) {
  ASSERT_EQ(column(file(kConceptsFile), "CONCEPTO").size(), csvRows("concepts.csv"));
  Dbf t = Dbf::open(file(kConceptsFile), {true, true, 0});
  std::vector<char> rec(t.recordLength());
  int seen = 0;
  for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
    t.read(r, rec.data());
    const std::string code(t.text(rec.data(), 0)), format(t.text(rec.data(), 2));
    if (format == "1001" && code == "5028") {  // the one 1001 concept of credit nature
      EXPECT_EQ(t.number(rec.data(), 3).value, 500000);
      EXPECT_EQ(t.text(rec.data(), 4), "2");
      ++seen;
    }
    if (format == "1002" && code == "2318") {
      EXPECT_EQ(t.number(rec.data(), 3).value, 0);
      EXPECT_EQ(t.text(rec.data(), 4), "2");
      EXPECT_EQ(t.text(rec.data(), 1).substr(0, 23), "Retenci\363n de IVA practi");
      ++seen;
    }
    EXPECT_EQ(t.text(rec.data(), 5), std::string(250, ' '));  // no filter in the data
  }
  EXPECT_EQ(seen, 2);
}

TEST_F(RefTablesBuilt, CodeTablesHoldEveryRowInWindows1252) {
  const auto depts = column(file(kDepartmentsFile), "DEPARTAMEN");
  ASSERT_EQ(depts.size(), csvRows("departments.csv"));
  EXPECT_NE(std::find(depts.begin(), depts.end(), "BOGOT\301, D.C."), depts.end());
  EXPECT_EQ(column(file(kMunicipalitiesFile), "MUNICIPIO").size(), csvRows("municipalities.csv"));
  EXPECT_EQ(column(file(kMunicipalitiesFile), "MUNICIPIO")[0], "MEDELL\315N");
  EXPECT_EQ(column(file(kMunicipalitiesFile), "COD_MN")[0], "001");
  EXPECT_EQ(column(file(kMunicipalitiesFile), "COD_DP")[0], "05");
  const auto countries = column(file(kCountriesFile), "PAIS");
  ASSERT_EQ(countries.size(), csvRows("countries.csv"));
  const auto codes = column(file(kCountriesFile), "CODIGO");
  const auto spain = std::find(codes.begin(), codes.end(), "0245");
  ASSERT_NE(spain, codes.end());
  EXPECT_EQ(countries[spain - codes.begin()], "ESPA\321A");
}

TEST_F(RefTablesBuilt, RewritingRemovesStaleIndexFiles) {
  storetest::writeFile(file(kConceptsIndex), "stale");
  storetest::writeFile(file(kCountriesIndex), "stale");
  writeRefTables(loadRefData(kRefData), s_dir->file(""));
  EXPECT_FALSE(std::filesystem::exists(file(kConceptsIndex)));
  EXPECT_FALSE(std::filesystem::exists(file(kCountriesIndex)));
}

// A copy of the reference data with one file replaced.
void expectRefused(const char* name, const std::string& content, const std::string& what) {
  storetest::TempDir dir;
  for (const char* f :
       {"formats.csv", "concepts.csv", "departments.csv", "municipalities.csv", "countries.csv"})
    dir.copy(kRefData + "/" + f, f);
  storetest::writeFile(dir.file(name), content);
  try {
    loadRefData(dir.file(""));
    ADD_FAILURE() << "accepted: " << what;
  } catch (const exo::FailureError& e) {
    EXPECT_EQ(e.failure().genCode, exo::GenCode::Corruption) << what;
  }
}

TEST(RefData, MalformedRowsAreRefused) {
  const auto formatsOf = [](std::vector<int> order) {
    std::string text = "formato,detalle,version,anexo\n";
    for (int n : order)
      text += std::to_string(1000 + n) + ",\"Formato, " + std::to_string(n) + "\",07,02\n";
    return text;
  };
  const std::string formats = formatsOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  const std::string concepts = "formato,concepto,detalle,base,tipo,filtro\n";
  // The well-formed variant is accepted (quoted commas included).
  {
    storetest::TempDir dir;
    for (const char* f : {"departments.csv", "municipalities.csv", "countries.csv"})
      dir.copy(kRefData + "/" + f, f);
    storetest::writeFile(dir.file("formats.csv"), formats);
    storetest::writeFile(dir.file("concepts.csv"),
                         concepts + "1001,5001,\"A, \"\"B\"\"\",500000,1,\n");
    const RefData d = loadRefData(dir.file(""));
    EXPECT_EQ(d.formats[4].name, "Formato, 5");
    EXPECT_EQ(d.concepts[0].name, "A, \"B\"");
  }
  expectRefused("formats.csv", formatsOf({1, 2, 4, 3, 5, 6, 7, 8, 9, 10, 11, 12}), "out of order");
  expectRefused("formats.csv", formatsOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), "eleven formats");
  expectRefused("concepts.csv", concepts + "1001,5001,x,500000,5,\n", "nature 5");
  expectRefused("concepts.csv", concepts + "1013,5001,x,0,1,\n", "unknown format");
  expectRefused("concepts.csv", concepts + "1001,5001,x,12.5,1,\n", "base with cents");
  expectRefused("concepts.csv", concepts + "1001,5001,x,0,1,\n1001,5001,y,0,1,\n", "duplicate");
  expectRefused("concepts.csv", concepts + "1001,501,x,0,1,\n", "short concept code");
  expectRefused("concepts.csv", concepts + "1001,5001,x,0,1\n", "missing column");
  expectRefused("concepts.csv", concepts + "1001,5001," + std::string(171, 'x') + ",0,1,\n",
                "name wider than DETALLE");
  expectRefused("countries.csv", "codigo,pais\n169,COLOMBIA\n", "3-digit country code");
  expectRefused("municipalities.csv", "cod_dp,cod_mn,municipio,departamen\n02,001,X,Y\n",
                "unknown department");
}

}  // namespace

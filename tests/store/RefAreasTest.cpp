// CREATABLAS over the reference tables built from the CSV data, and the dictionary's routines
// that create, index and open company tables through the engine.
#include <gtest/gtest.h>

#include <filesystem>

#include "StoreTestSupport.h"
#include "expr/Collation.h"
#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"

namespace {

namespace fs = std::filesystem;
using namespace exo::store;
using exo::Failure;
using exo::FailureError;
using exo::GenCode;
using exo::Interp;
using exo::Value;

const std::string kRefData = EXOGENA_SOURCE_DIR "/data/refdata";

std::vector<std::string> texts(Interp& ip, const char* name) {
  std::vector<std::string> out;
  const Value& v = ip.memvars().slot(name).value();
  if (!v.isArray()) return out;
  for (const Value& item : v.arrayData().items) out.emplace_back(item.textView());
  return out;
}

std::vector<std::string> tagsOf(const std::string& path) {
  Cdx cdx = Cdx::open(path, {true, true, 0});
  std::vector<std::string> out;
  for (const TagInfo& t : cdx.tags()) {
    EXPECT_EQ(t.forExpression, "!Deleted()") << t.name;
    out.push_back(t.name);
  }
  return out;
}

class RefAreas : public ::testing::Test {
 protected:
  void SetUp() override { writeRefTables(loadRefData(kRefData), dir.file("")); }
  Interp ip;
  storetest::TempDir dir;
};

TEST_F(RefAreas, OpensTheEightAliasesWithTheirOrdersAndBuildsTheLists) {
  {
    Engine e(ip);
    openReferenceTables(e, dir.file(""));
    // Alias and the key of its controlling order.
    const std::pair<const char*, const char*> aliases[] = {{"Formatos", ""},
                                                           {"Formatos2", ""},
                                                           {"Conceptos", "FORMATO+CONCEPTO"},
                                                           {"Conceptos3", "FORMATO+CONCEPTO"},
                                                           {"Conceptos2", "FORMATO+CONCEPTO"},
                                                           {"Deptos", "DEPARTAMEN"},
                                                           {"Municipios", "DEPARTAMEN+MUNICIPIO"},
                                                           {"Paises", "PAIS"}};
    for (const auto& [alias, key] : aliases) {
      const int area = e.areaOf(exo::upperName(alias));
      ASSERT_GT(area, 0) << alias;
      EXPECT_FALSE(e.eof(area)) << alias;
      EXPECT_EQ(e.orderKey(area), key) << alias;
    }
    EXPECT_EQ(e.recNo(e.areaOf("FORMATOS2")), 1);
    // Seeking the format and concept finds that concept of that format only.
    const int c3 = e.areaOf("CONCEPTOS3");
    ASSERT_TRUE(e.seekKey(c3, Value::text("10025001")) == false);
    ASSERT_TRUE(e.seekKey(c3, Value::text("10022318")));
    EXPECT_EQ(e.text(c3, "FORMATO"), "1002");
    EXPECT_EQ(e.text(c3, "TIPO"), "2");
  }
  const auto names = texts(ip, "ANAMEFORMS");
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(names[0].substr(0, 24), "Pagos o abonos en cuenta");
  EXPECT_EQ(names[6].substr(0, 18), "Ingresos recibidos");
  const auto depts = texts(ip, "ADEPTOS");
  ASSERT_EQ(depts.size(), 34u);
  EXPECT_EQ(depts[0], kAllDepartments);
  for (std::size_t i = 2; i < depts.size(); ++i) EXPECT_LT(exo::collate(depts[i - 1], depts[i]), 0);
  EXPECT_EQ(depts[1].substr(0, 8), "AMAZONAS");
  EXPECT_EQ(tagsOf(dir.file(kConceptsIndex)), (std::vector<std::string>{"FORMCONC"}));
  EXPECT_EQ(tagsOf(dir.file(kDepartmentsIndex)), (std::vector<std::string>{"DEPTO", "CODDEPTO"}));
  EXPECT_EQ(tagsOf(dir.file(kMunicipalitiesIndex)), (std::vector<std::string>{"DPTONUNIC"}));
  EXPECT_EQ(tagsOf(dir.file(kCountriesIndex)), (std::vector<std::string>{"CODIGO", "PAIS"}));
}

TEST_F(RefAreas, DeletedRecordsAreLeftOutAndAMissingIndexIsRebuilt) {
  {
    Engine e(ip);
    openReferenceTables(e, dir.file(""));
  }
  // Mark concept 1002/2318 deleted and erase the concepts' index file.
  {
    Dbf t = Dbf::open(dir.file(kConceptsFile), {false, false, 0});
    std::vector<char> rec(t.recordLength());
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      if (t.text(rec.data(), 2) == "1002" && t.text(rec.data(), 0) == "2318") {
        Dbf::setDeleted(rec.data(), true);
        t.write(r, rec.data());
      }
    }
  }
  fs::remove(dir.file(kConceptsIndex));
  Engine e(ip);
  openReferenceTables(e, dir.file(""));
  EXPECT_EQ(tagsOf(dir.file(kConceptsIndex)), (std::vector<std::string>{"FORMCONC"}));
  for (const char* alias : {"CONCEPTOS", "CONCEPTOS2", "CONCEPTOS3"}) {
    const int area = e.areaOf(alias);
    EXPECT_FALSE(e.seekKey(area, Value::text("10022318"))) << alias;
    EXPECT_TRUE(e.seekKey(area, Value::text("10022319"))) << alias;
  }
}

// A start that ended while it built the index files of the code tables left one with no tag and
// one with the first of its two: the next start builds each whole again (under a staged name,
// put in place in one step, nothing left beside it), without a failure, and every order works.
TEST_F(RefAreas, IndexFilesLeftHalfMadeAreBuiltWholeAgain) {
  {
    Engine e(ip);
    openReferenceTables(e, dir.file(""));
  }
  fs::remove(dir.file(kCountriesIndex));
  Cdx::create(dir.file(kCountriesIndex), {false, false, 0});
  fs::remove(dir.file(kDepartmentsIndex));
  {
    Engine e(ip);
    const int area = e.open(dir.file(kDepartmentsFile), "D", false, false);
    e.buildIndex(area, kDepartmentsIndex, "Depto", "DEPARTAMEN", "!Deleted()");
  }
  std::vector<Failure> seen;
  ip.setErrorHandler([&](Interp&, const Failure& failure) {
    seen.push_back(failure);
    return exo::ErrorReply::abandon();
  });
  {
    Engine e(ip);
    openReferenceTables(e, dir.file(""));
    EXPECT_EQ(e.orderKey(e.areaOf("PAISES")), "PAIS");
    EXPECT_EQ(e.orderKey(e.areaOf("DEPTOS")), "DEPARTAMEN");
    const int paises = e.areaOf("PAISES");
    e.setOrder(paises, "Codigo");
    EXPECT_TRUE(e.seekKey(paises, Value::text("0169")));
  }
  EXPECT_TRUE(seen.empty()) << seen.front().description;
  EXPECT_EQ(tagsOf(dir.file(kCountriesIndex)), (std::vector<std::string>{"CODIGO", "PAIS"}));
  EXPECT_EQ(tagsOf(dir.file(kDepartmentsIndex)), (std::vector<std::string>{"DEPTO", "CODDEPTO"}));
  for (const auto& entry : fs::directory_iterator(dir.file("")))
    EXPECT_EQ(entry.path().filename().string().find('~'), std::string::npos) << entry.path();
}

TEST_F(RefAreas, MissingFormatsAndConceptsAreCreatedEmptyButCodeTablesAreRequired) {
  fs::remove(dir.file(kFormatosFile));
  fs::remove(dir.file(kConceptsFile));
  {
    Engine e(ip);
    openReferenceTables(e, dir.file(""));
    EXPECT_EQ(e.recCount(e.areaOf("FORMATOS")), 0);
    EXPECT_EQ(e.recCount(e.areaOf("CONCEPTOS")), 0);
  }
  EXPECT_TRUE(texts(ip, "ANAMEFORMS").empty());
  Dbf f = Dbf::open(dir.file(kConceptsFile), {true, true, 0});
  EXPECT_EQ(f.fields().size(), conceptsFields().size());

  fs::remove(dir.file(kMunicipalitiesFile));
  std::vector<Failure> seen;
  ip.setErrorHandler([&](Interp&, const Failure& failure) {
    seen.push_back(failure);
    return exo::ErrorReply::abandon();
  });
  Engine e(ip);
  EXPECT_THROW(openReferenceTables(e, dir.file("")), FailureError);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].genCode, GenCode::Open);
  EXPECT_EQ(e.areaOf("MUNICIPIOS"), 0);
  EXPECT_FALSE(fs::exists(dir.file(kMunicipalitiesFile)));
}

// A ledger month file with fields the program does not know, three movements.
void makeMonth(const std::string& path) {
  Dbf t = Dbf::create(path, {{"TIPO_COMP", 'C', 2, 0},
                             {"COMPROBA", 'C', 8, 0},
                             {"CODIGO", 'C', 20, 0},
                             {"CTA_DIR", 'C', 5, 0},
                             {"MONTO", 'N', 16, 2},
                             {"CEN_COS", 'C', 4, 0}});
  const char* rows[][4] = {{"FC", "00000002", "4.1.35.05", "00017"},
                           {"FC", "00000001", "2.4.08.01", "IVA01"},
                           {"CC", "00000001", "1.4.35.05", "00005"}};
  for (const auto& row : rows) {
    std::vector<char> rec = t.blankRecord();
    for (int f = 0; f < 4; ++f) t.setText(rec.data(), f, row[f]);
    t.setNumber(rec.data(), 4, 1000);
    t.append(rec.data());
  }
}

TEST(CompanyTables, CreatedFromTheLedgerStructureIndexedAndReopened) {
  Interp ip;
  Engine e(ip);
  storetest::TempDir dir;
  const std::string folder = dir.file("");
  makeMonth(dir.file("VRTRACON.03"));
  storetest::writeFile(dir.file("vrTraCox.cdx"), "stale");
  createCompanyTable(e, folder, kYearMovements, folder, "VRTRACON.03");
  EXPECT_FALSE(fs::exists(dir.file("vrTraCox.cdx")));
  int area = openCompanyTable(e, folder, kYearMovements, "TRACON", false);
  ASSERT_GT(area, 0);
  EXPECT_EQ(e.appendFrom(area, dir.file("VRTRACON.03")), 3u);
  buildCompanyIndexes(e, area, folder, kYearMovements);
  e.setOrder(area, "SoloCmp");
  EXPECT_EQ(e.text(area, "TIPO_COMP") + e.text(area, "COMPROBA"), "CC00000001");
  e.close(ip, area);
  EXPECT_EQ(tagsOf(dir.file("vrTraCox.cdx")), (std::vector<std::string>{"CMPCTADIR", "SOLOCMP"}));

  // The format table takes the year's structure; reopening attaches its index.
  createCompanyTable(e, folder, formatTableFile("1007"));
  area = openCompanyTable(e, folder, formatTableFile("1007"), "TRF", false);
  ASSERT_GT(area, 0);
  const auto fields = e.fields(area);
  ASSERT_EQ(fields.size(), 6u + 4 + 3);
  EXPECT_EQ(fields[5].name, "CEN_COS");
  EXPECT_EQ(fields[9].name, "NIT");
  EXPECT_EQ(fields.back().name, "VLR_ADIC1");
  buildCompanyIndexes(e, area, folder, formatTableFile("1007"));
  e.close(ip, area);
  EXPECT_EQ(tagsOf(dir.file("TrF1007x.cdx")),
            (std::vector<std::string>{"FRMCONCOD", "TERCCONC", "TIPOCOMP"}));
  area = openCompanyTable(e, folder, "trf1007.DBF", "TRF");
  EXPECT_EQ(e.orders(area).size(), 3u);

  // A byte copy brings its companion files.
  makeMonth(dir.file("VRDIR.DBF"));
  storetest::writeFile(dir.file("VRDIRX1.CDX"), storetest::readFile(dir.file("TrF1007x.cdx")));
  createCompanyTable(e, folder, kDirectoryCopy, folder);
  EXPECT_EQ(storetest::readFile(dir.file(kDirectoryCopy)),
            storetest::readFile(dir.file("VRDIR.DBF")));
  EXPECT_TRUE(fs::exists(dir.file(kDirectoryCopyIndex)));
  EXPECT_FALSE(fs::exists(dir.file(kDirectoryCopyMemo)));  // the source has none

  // A missing source reaches the error handler.
  std::vector<Failure> seen;
  ip.setErrorHandler([&](Interp&, const Failure& f) {
    seen.push_back(f);
    return exo::ErrorReply::byDefault();
  });
  createCompanyTable(e, folder, baseTableFile("1011"));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].genCode, GenCode::Open);
  EXPECT_FALSE(fs::exists(dir.file(baseTableFile("1011"))));
}

// An old index file of a company table that cannot be erased (a folder stands in its place):
// the failure names the file and the operation, and the table is not replaced beside it; the
// rebuild of the indexes reports it too.
TEST(CompanyTables, AnIndexThatCannotBeErasedIsReportedAndTheTableKept) {
  Interp ip;
  Engine e(ip);
  storetest::TempDir dir;
  const std::string folder = dir.file("");
  makeMonth(dir.file("VRTRACON.03"));
  std::vector<Failure> seen;
  ip.setErrorHandler([&](Interp&, const Failure& f) {
    seen.push_back(f);
    return exo::ErrorReply::byDefault();
  });
  fs::create_directory(dir.file("vrTraCox.cdx"));
  storetest::writeFile(dir.file("vrTraCox.cdx/dentro"), "x");
  createCompanyTable(e, folder, kYearMovements, folder, "VRTRACON.03");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].genCode, GenCode::Write);
  EXPECT_EQ(seen[0].operation, "erase");
  EXPECT_NE(seen[0].osCode, 0);
  EXPECT_NE(seen[0].fileName.find("vrTraCox.cdx"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.file(kYearMovements)));

  fs::remove_all(dir.file("vrTraCox.cdx"));
  createCompanyTable(e, folder, kYearMovements, folder, "VRTRACON.03");
  const int area = openCompanyTable(e, folder, kYearMovements, "TRACON", false);
  ASSERT_GT(area, 0);
  fs::create_directory(dir.file("vrTraCox.cdx"));
  storetest::writeFile(dir.file("vrTraCox.cdx/dentro"), "x");
  seen.clear();
  buildCompanyIndexes(e, area, folder, kYearMovements);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0].operation, "erase");
}

}  // namespace

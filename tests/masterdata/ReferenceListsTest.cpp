// The concept and municipality filters over real reference tables: the row count comes from the
// key count of the limited order, a format or department without rows gives zero, the first
// choice shows everything again; and the nature display.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "expr/Interp.h"
#include "expr/Text.h"
#include "masterdata/ReferenceLists.h"
#include "store/Engine.h"
#include "store/RefTables.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;

class Filters : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("exo-filters-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    data = store::loadRefData(std::string(EXOGENA_SOURCE_DIR) + "/data/refdata");
    // Format 1006 without concepts and the last department without municipalities.
    std::erase_if(data.concepts, [](const auto& c) { return c.format == "1006"; });
    const std::string lastDepartment = data.departments.back().name;
    std::erase_if(data.municipalities,
                  [&](const auto& m) { return m.departmentName == lastDepartment; });
    store::writeRefTables(data, folder.string());
    store::openReferenceTables(engine, folder.string() + "/");
  }
  void TearDown() override {
    engine.closeAll(ip);
    fs::remove_all(folder);
  }
  // The rows a walk of the area finds, to check the count against.
  std::vector<std::string> walk(int area, const char* field) {
    std::vector<std::string> out;
    engine.forEach(area, [&] {
      out.emplace_back(trimBlanks(engine.text(area, field)));
      return true;
    });
    return out;
  }

  fs::path folder;
  store::RefData data;
  Interp ip;
  store::Engine engine{ip};
};

TEST_F(Filters, ConceptFilterLimitsTheOrderToOneFormat) {
  const int area = engine.areaOf("Conceptos");
  const auto all = static_cast<std::int64_t>(data.concepts.size());
  EXPECT_EQ(masterdata::filterConcepts(engine, area, 1), all);
  // Choice 8 is "Formato 1007   (Anexo 06)".
  EXPECT_EQ(masterdata::formatFilterChoices().at(7), "Formato 1007   (Anexo 06)");
  const std::int64_t n = masterdata::filterConcepts(engine, area, 8);
  EXPECT_EQ(engine.text(area, "FORMATO"), "1007");  // on the first row in range
  const auto formats = walk(area, "FORMATO");
  EXPECT_EQ(static_cast<std::int64_t>(formats.size()), n);
  EXPECT_GT(n, 0);
  for (const auto& f : formats) EXPECT_EQ(f, "1007");
  // A format without concepts: an empty range and a zero count.
  EXPECT_EQ(masterdata::filterConcepts(engine, area, 7), 0);
  EXPECT_TRUE(walk(area, "FORMATO").empty());
  EXPECT_EQ(masterdata::filterConcepts(engine, area, 1), all);
}

TEST_F(Filters, DepartmentFilterShowsOneDepartmentByName) {
  const int area = engine.areaOf("Municipios");
  const auto choices = masterdata::departmentChoices(ip);
  ASSERT_EQ(choices.size(), data.departments.size() + 1);
  EXPECT_EQ(choices[0], "Todos los departamentos.....");
  const auto all = static_cast<std::int64_t>(data.municipalities.size());
  EXPECT_EQ(masterdata::FILTRADPTOS(engine, area, 1), all);
  // ANTIOQUIA: its municipalities only, sorted by name.
  int antioquia = 0;
  for (std::size_t i = 1; i < choices.size(); ++i)
    if (trimBlanks(choices[i]) == "ANTIOQUIA") antioquia = static_cast<int>(i) + 1;
  ASSERT_GT(antioquia, 0);
  const std::int64_t n = masterdata::FILTRADPTOS(engine, area, antioquia);
  std::int64_t expected = 0;
  for (const auto& m : data.municipalities) expected += m.departmentName == "ANTIOQUIA";
  EXPECT_EQ(n, expected);
  const auto departments = walk(area, "DEPARTAMEN");
  EXPECT_EQ(static_cast<std::int64_t>(departments.size()), n);
  for (const auto& d : departments) EXPECT_EQ(d, "ANTIOQUIA");
  // The department left without municipalities.
  for (std::size_t i = 1; i < choices.size(); ++i) {
    if (trimBlanks(choices[i]) == data.departments.back().name) {
      EXPECT_EQ(masterdata::FILTRADPTOS(engine, area, static_cast<int>(i) + 1), 0);
    }
  }
  EXPECT_EQ(masterdata::FILTRADPTOS(engine, area, 1), all);
}

TEST(NatureDisplay, CodesAndBalance) {
  EXPECT_EQ(masterdata::natureDisplay("1"), "D");
  EXPECT_EQ(masterdata::natureDisplay("2"), "C");
  EXPECT_EQ(masterdata::natureDisplay("3"), "D-C");
  EXPECT_EQ(masterdata::natureDisplay("4"), "C-D");
  EXPECT_EQ(masterdata::natureDisplay("5"), "S");
  EXPECT_EQ(masterdata::natureDisplay(" "), "S");
  EXPECT_EQ(masterdata::natureDisplay(""), "S");
}

}  // namespace

// The stamp of the integration's inputs and the accounts assigned to two concepts of a format.
#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "../store/StoreTestSupport.h"
#include "consolidation/IntegrationState.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;

void writeAssignments(const fs::path& folder,
                      const std::vector<std::array<const char*, 3>>& rows, bool withDeleted) {
  store::Dbf t = store::Dbf::create((folder / store::kAssignments).string(),
                                    store::tableDef(store::kAssignments).fields);
  for (const auto& [format, conc, account] : rows) {
    std::vector<char> rec = t.blankRecord();
    t.setText(rec.data(), 0, account);
    t.setText(rec.data(), 2, format);
    t.setText(rec.data(), 3, conc);
    t.append(rec.data());
  }
  if (withDeleted) {
    std::vector<char> rec = t.blankRecord();
    rec[0] = '*';
    t.setText(rec.data(), 0, "9.9.99");
    t.append(rec.data());
  }
  t.close();
}

TEST(IntegrationState, AccountsTwiceInAFormatOf1001To1009AndAStaleIntegration) {
  storetest::TempDir dir;
  const fs::path folder(dir.file(""));
  const std::vector<std::array<const char*, 3>> rows = {{"1001", "5002", "5.1.05.06"},
                                                         {"1001", "5023", "5.1.05.06"},
                                                         {"1001", "5004", "5.1.10.10"},
                                                         {"1012", "1110", "1.1.10.05.01"},
                                                         {"1012", "1115", "1.1.10.05.01"}};
  writeAssignments(folder, rows, true);
  const auto doubles = consolidation::doubleAssignments(folder);
  ASSERT_EQ(doubles.size(), 1u);  // 1012 reports balances: one account may serve two concepts
  EXPECT_EQ(doubles[0].format, "1001");
  EXPECT_EQ(doubles[0].account, "5.1.05.06");
  EXPECT_EQ(doubles[0].concepts, (std::vector<std::string>{"5002", "5023"}));
  EXPECT_EQ(consolidation::doubleAssignmentQuestion("5.1.05.06", "5023", "1001"),
            "La cuenta 5.1.05.06 ya est\341 asignada al concepto 5023 del formato 1001; sus "
            "movimientos se informar\341n en los dos conceptos. \277Continuar?");

  // No integration yet: nothing to say.
  EXPECT_TRUE(consolidation::changedSinceIntegration(folder).empty());
  std::ofstream(folder / store::kYearMovements) << "movimientos";
  consolidation::writeIntegrationStamp(folder, consolidation::integrationInputs(folder));
  EXPECT_TRUE(consolidation::changedSinceIntegration(folder).empty());
  // The assignments written again without the deleted record (a compaction): the same state.
  writeAssignments(folder, rows, false);
  EXPECT_TRUE(consolidation::changedSinceIntegration(folder).empty());
  // One assignment more, and the movements rewritten by a fix.
  auto more = rows;
  more.push_back({"1001", "5004", "5.1.10.15"});
  writeAssignments(folder, more, false);
  std::ofstream(folder / store::kYearMovements, std::ios::app) << " arreglados";
  EXPECT_EQ(consolidation::changedSinceIntegration(folder),
            (std::vector<std::string>{store::kAssignments, store::kYearMovements}));
}

}  // namespace

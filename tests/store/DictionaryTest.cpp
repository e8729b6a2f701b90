// The dictionary of company tables: naming rules, lookups, conditions of the tags, and field lists
// resolved from a ledger's structures, against which every tag key must name real fields.
#include <gtest/gtest.h>

#include <set>

#include "StoreTestSupport.h"
#include "expr/Failure.h"
#include "store/Dictionary.h"

namespace {

using namespace exo::store;

TEST(Dictionary, NamingRules) {
  EXPECT_EQ(formatCode(1), "1001");
  EXPECT_EQ(formatCode(12), "1012");
  EXPECT_EQ(formatNumberOf("1007"), 7);
  EXPECT_EQ(formatNumberOf("1013"), std::nullopt);
  EXPECT_EQ(formatNumberOf("100"), std::nullopt);
  EXPECT_EQ(formatTableFile("1007"), "TrF1007.dbf");
  EXPECT_EQ(formatIndexFile("1001"), "TrF1001x.cdx");
  EXPECT_EQ(baseTableFile("1002"), "TrF1002B.dbf");
  EXPECT_EQ(baseIndexFile("1010"), "TrF1010z.cdx");
  EXPECT_EQ(ledgerPeriodFile(0), "VRTRACON.00");
  EXPECT_EQ(ledgerPeriodFile(12), "VRTRACON.12");
}

TEST(Dictionary, LookupIgnoresCaseAndKnowsEveryFormatTable) {
  ASSERT_NE(findTable("codcont.DBF"), nullptr);
  EXPECT_EQ(findTable("codcont.DBF")->file, kAssignments);
  EXPECT_EQ(findTable("nothing.dbf"), nullptr);
  EXPECT_EQ(findTable(""), nullptr);
  EXPECT_THROW(tableDef("nothing.dbf"), exo::FailureError);
  for (int n = 1; n <= 12; ++n) {
    const TableDef& t = tableDef(formatTableFile(formatCode(n)));
    ASSERT_EQ(t.indexes.size(), 1u);
    EXPECT_EQ(t.indexes[0].file, formatIndexFile(formatCode(n)));
    EXPECT_EQ(t.indexes[0].tags.size(), n == 7 ? 3u : 2u) << n;
  }
  EXPECT_EQ(tableDef("TRF1010B.DBF").indexes[0].tags[0].name, "FullNomb");
  EXPECT_TRUE(tableDef("Tempor01.dbf").scratch);
  EXPECT_FALSE(tableDef("ErrFDir.dbf").scratch);
}

TEST(Dictionary, EveryTagLeavesOutDeletedRecordsAndFileNamesAreUnique) {
  std::set<std::string> files;
  for (const auto* list : {&companyTables(), &scratchTables()}) {
    for (const TableDef& t : *list) {
      if (!t.file.empty()) {
        EXPECT_TRUE(files.insert(t.file).second) << t.file;
      }
      for (const IndexDef& i : t.indexes) {
        EXPECT_TRUE(files.insert(i.file).second) << i.file;
        for (const TagDef& tag : i.tags) {
          EXPECT_LE(tag.name.size(), 10u) << tag.name;
          EXPECT_EQ(tag.forCondition.rfind("!Deleted()", 0), 0u) << t.file << " " << tag.name;
        }
      }
    }
  }
  EXPECT_EQ(auditTotalsCondition("1008"), "!Deleted() .AND. MONTO <> 0.00");
  EXPECT_EQ(auditTotalsCondition("1009"), "");
}

// A ledger month file and chart with fields the program does not use, and a memo.
class LedgerStructures : public ::testing::Test {
 protected:
  void SetUp() override {
    Dbf::create(m_dir.file("VRTRACON.03"), {{"TIPO_COMP", 'C', 2, 0},
                                            {"COMPROBA", 'C', 8, 0},
                                            {"FECHA", 'D', 8, 0},
                                            {"CODIGO", 'C', 20, 0},
                                            {"CTA_DIR", 'C', 5, 0},
                                            {"DETALLE", 'C', 40, 0},
                                            {"MONTO", 'N', 16, 2},
                                            {"TIPO", 'C', 2, 0},
                                            {"NOTA", 'M', 10, 0}})
        .close();
    Dbf::create(m_dir.file(kLedgerChart), {{"CODIGO", 'C', 20, 0},
                                           {"APU_NOM", 'N', 5, 0},
                                           {"APLICA", 'C', 1, 0},
                                           {"POR_RET", 'N', 6, 2}})
        .close();
  }
  // Creates `file` from its resolved field list (what the engine's creation does).
  std::vector<FieldDef> make(const std::string& file, const std::string& source = {}) {
    std::vector<FieldDef> f = tableFields(tableDef(file), m_dir.file(""), m_dir.file(""), source);
    if (!f.empty()) Dbf::create(m_dir.file(file), f).close();
    return f;
  }
  static std::vector<std::string> names(const std::vector<FieldDef>& f) {
    std::vector<std::string> out;
    for (const FieldDef& d : f) out.push_back(d.name);
    return out;
  }
  storetest::TempDir m_dir;
};

TEST_F(LedgerStructures, MovementTablesExtendTheLedgerStructureInOrder) {
  const auto year = make(kYearMovements, "VRTRACON.03");
  EXPECT_EQ(names(year), (std::vector<std::string>{"TIPO_COMP", "COMPROBA", "FECHA", "CODIGO",
                                                   "CTA_DIR", "DETALLE", "MONTO", "TIPO", "NOTA",
                                                   "FORM", "CONC", "BASE", "NIT"}));
  EXPECT_EQ(year[11].length, 20);
  EXPECT_EQ(year[11].decimals, 2);
  const auto f1007 = make("TrF1007.dbf");
  ASSERT_EQ(f1007.size(), year.size() + 3);
  EXPECT_EQ(f1007[year.size()].name, "FILTRO");
  EXPECT_EQ(f1007[year.size()].length, 170);
  EXPECT_EQ(f1007.back().name, "VLR_ADIC1");
  // The voucher totals drop the memo field.
  const auto totals = make(kVoucherTotals1007);
  EXPECT_EQ(totals.size(), f1007.size() - 1);
  for (const FieldDef& d : totals) EXPECT_NE(d.type, 'M');
  // A source that varies must be named.
  EXPECT_THROW(tableFields(tableDef(kYearMovements), m_dir.file(""), m_dir.file("")),
               exo::FailureError);
}

// Every part of every tag key is a field of its table.
TEST_F(LedgerStructures, EveryTagKeyNamesFieldsOfItsTable) {
  make(kYearMovements, "VRTRACON.03");
  for (int n = 1; n <= 12; ++n) make(formatTableFile(formatCode(n)));
  make(baseTableFile("1012"));
  int checked = 0;
  for (const auto* list : {&companyTables(), &scratchTables()}) {
    for (const TableDef& t : *list) {
      if (t.layout == Layout::ByteCopy || t.indexes.empty()) continue;
      // Sources that vary with the run: the first month file, or a format table.
      std::string source;
      if (t.source.empty()) source = t.file == kYearMovements ? "VRTRACON.03" : "TrF1008.dbf";
      const TableDef& def = t.file.empty() ? tableDef("TrF1008.dbf") : t;
      const std::vector<FieldDef> fields =
          tableFields(def, m_dir.file(""), m_dir.file(""), t.file.empty() ? "" : source);
      std::set<std::string> have;
      for (const FieldDef& d : fields) have.insert(d.name);
      for (const IndexDef& i : t.indexes) {
        for (const TagDef& tag : i.tags) {
          std::size_t start = 0;
          while (start <= tag.key.size()) {
            const std::size_t plus = std::min(tag.key.find('+', start), tag.key.size());
            EXPECT_EQ(have.count(tag.key.substr(start, plus - start)), 1u)
                << t.file << " " << tag.name << " " << tag.key;
            start = plus + 1;
          }
          ++checked;
        }
      }
    }
  }
  EXPECT_GE(checked, 30);
}

}  // namespace

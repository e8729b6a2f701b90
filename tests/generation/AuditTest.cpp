// The analysis workbooks of 1008 and 1009 written from real format movement tables by the
// definitions of the repository and read back: third parties whose balances net to zero (left
// out for 1008, kept for 1009), concept balances under one peso (left out of the concept sheet,
// kept in the third party's total), subtotals and totals, names from the directory, and no work
// table left behind.
#include <gtest/gtest.h>

#include <cstdio>

#include "consolidation/BasesFixture.h"
#include "generation/Audit.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "reports/XlsxFile.h"
#include "shell/Utilities.h"

namespace {

namespace fs = std::filesystem;
using basestest::Company;
using namespace exo;

struct AuditCompany : Company {
  AuditCompany() {
    shell::registerUtilityFunctions(ip);
    reports::registerWorkbookFunctions(ip, &ui, folders);
    fs::create_directories(folders.program / "FORMS");
    for (const char* f : {"Audi08.rpo", "Audi09.rpo"})
      fs::copy_file(fs::path(EXOGENA_SOURCE_DIR) / "forms" / f, folders.program / "FORMS" / f);
    directory({terceros::sound("A0001", "GONZ\301LEZ PE\321A ANA"), terceros::sound("B0002")});
  }

  generation::AuditResult run(int choice) {
    reports::Runner runner(ip, ui, folders.program);
    return generation::AUDITORIA(*session, engine, runner, choice);
  }

  // The rows of a sheet from the first under the headings to the first blank one, cells joined
  // by "|": texts trimmed, numbers with two decimals, empty cells blank.
  static std::vector<std::string> sheet(const reports::Workbook& book, const std::string& name,
                                        int firstRow = 6) {
    std::vector<std::string> out;
    const auto index = book.findSheet(name);
    if (!index) return {"no sheet " + name};
    const reports::Sheet& sh = book.sheets()[*index];
    for (int r = firstRow; r <= sh.lastRow(); ++r) {
      std::string line;
      bool any = false;
      for (int c = 1; c <= sh.lastCol(); ++c) {
        if (c > 1) line += "|";
        const reports::Cell* cell = sh.find(r, c);
        if (cell == nullptr || cell->kind == reports::CellKind::Empty) continue;
        any = true;
        if (cell->kind == reports::CellKind::Text) {
          line += trimBlanks(book.text(cell->text));
        } else {
          char buf[64];
          std::snprintf(buf, sizeof buf, "%.2f", cell->num);
          line += buf;
        }
      }
      if (!any) break;
      out.push_back(line);
    }
    return out;
  }

  reports::Workbook read(const fs::path& file) {
    reports::XlsxRead r = reports::openXlsx(file);
    EXPECT_TRUE(r.book.has_value()) << r.error;
    return r.book ? *r.book : reports::Workbook();
  }

  void noWorkTablesLeft() {
    for (const auto& e : fs::directory_iterator(work())) {
      const std::string name = e.path().filename().string();
      EXPECT_TRUE(name.find("TotDat") == std::string::npos &&
                  name.find("TotDa6") == std::string::npos && name != "vrTraCx2.cdx")
          << name;
    }
  }
};

TEST(AuditWorkbooks, ThirdPartyNettingToZeroIsLeftOutOf1008ButKeptIn1009) {
  AuditCompany c;
  c.formatTable("1008", {{"A0001", "1305", "1315", 500},
                         {"A0001", "1305", "1315", -500},
                         {"B0002", "1305", "1315", 1000}});
  c.formatTable("1009", {{"A0001", "2205", "2201", -700, "2"},
                         {"A0001", "2205", "2201", 700, "2"},
                         {"B0002", "2205", "2201", -1000, "2"}});

  const generation::AuditResult r8 = c.run(1);
  ASSERT_TRUE(r8.done);
  EXPECT_EQ(r8.thirdParties, 1);
  EXPECT_EQ(r8.workbook.filename().string(), "EMP1-Analisis1008.xlsx");
  const reports::Workbook b8 = c.read(r8.workbook);
  ASSERT_EQ(b8.sheets().size(), 2u);
  EXPECT_EQ(b8.sheets()[0].name, "Saldos por tercero");
  EXPECT_EQ(AuditCompany::sheet(b8, "Saldos por tercero"),
            (std::vector<std::string>{"B0002|NIT-B0002|DISTRIBUIDORA ANDINA S.A.|1000.00"}));
  EXPECT_EQ(
      AuditCompany::sheet(b8, "Por concepto y tercero"),
      (std::vector<std::string>{"1315|B0002|NIT-B0002|DISTRIBUIDORA ANDINA S.A.|1000.00|Tercero",
                                "1315|||Subtotal concepto 1315|1000.00|Subtotal"}));
  c.noWorkTablesLeft();

  const generation::AuditResult r9 = c.run(2);
  ASSERT_TRUE(r9.done);
  EXPECT_EQ(r9.thirdParties, 2);
  const reports::Workbook b9 = c.read(r9.workbook);
  // The name comes from the directory in the ledger's code page, shown in Windows-1252.
  EXPECT_EQ(AuditCompany::sheet(b9, "Saldos por tercero"),
            (std::vector<std::string>{"A0001|NIT-A0001|GONZ\301LEZ PE\321A ANA|0.00",
                                      "B0002|NIT-B0002|DISTRIBUIDORA ANDINA S.A.|-1000.00"}));
  // Two rows below the data, outside the filtered range: the total over the third parties.
  EXPECT_EQ(AuditCompany::sheet(b9, "Saldos por tercero", 9),
            (std::vector<std::string>{"||Total general (2 terceros)|-1000.00"}));
  c.noWorkTablesLeft();
}

TEST(AuditWorkbooks, ConceptBalanceUnderOnePesoIsLeftOutWhileItsThirdPartyTotalKeepsIt) {
  AuditCompany c;
  c.formatTable("1008", {{"A0001", "1305", "1315", 0.4},
                         {"A0001", "1330", "1316", 1000},
                         {"B0002", "1305", "1315", 250}});
  const generation::AuditResult r = c.run(1);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.conceptRows, 2);
  const reports::Workbook b = c.read(r.workbook);
  EXPECT_EQ(AuditCompany::sheet(b, "Saldos por tercero"),
            (std::vector<std::string>{"A0001|NIT-A0001|GONZ\301LEZ PE\321A ANA|1000.40",
                                      "B0002|NIT-B0002|DISTRIBUIDORA ANDINA S.A.|250.00"}));
  EXPECT_EQ(
      AuditCompany::sheet(b, "Por concepto y tercero"),
      (std::vector<std::string>{"1315|B0002|NIT-B0002|DISTRIBUIDORA ANDINA S.A.|250.00|Tercero",
                                "1315|||Subtotal concepto 1315|250.00|Subtotal",
                                "1316|A0001|NIT-A0001|GONZ\301LEZ PE\321A ANA|1000.00|Tercero",
                                "1316|||Subtotal concepto 1316|1000.00|Subtotal"}));
  EXPECT_EQ(AuditCompany::sheet(b, "Por concepto y tercero", 11),
            (std::vector<std::string>{"|||Total general (2 saldos)|1250.00|"}));
}

TEST(AuditWorkbooks, MissingFormatTableStopsOnTheReadinessMessage) {
  AuditCompany c;
  const generation::AuditResult r = c.run(2);
  EXPECT_FALSE(r.done);
  EXPECT_FALSE(fs::exists(r.workbook));
  EXPECT_FALSE(c.ui.callsOf("message").empty());
  c.noWorkTablesLeft();
}

}  // namespace

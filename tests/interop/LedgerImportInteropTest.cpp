// The year's movement table written by the movement import, read by python3-dbfread: the same
// record count and the same third parties. Skips when the tool is not installed (fails under
// CI).
#include <gtest/gtest.h>

#include "../import/LedgerFixture.h"
#include "../store/StoreTestSupport.h"
#include "InteropSupport.h"
#include "import/LedgerImport.h"

namespace {

using namespace ledgertest;

TEST(LedgerImportPeers, DbfreadReadsTheYearsMovements) {
  REQUIRE_TOOL(std::string(interop::kPython) + " -c 'import dbfread'");
  std::string out;
  LedgerCompany company;
  company.writeDirectory({{"00005", "1"}});
  company.writePeriod(0, {{"AP", "INICIO", "1.1.05", "00005", 10, "", "saldo"}});
  std::vector<Line> lines;
  for (int i = 0; i < 3000; ++i) {
    lines.push_back(
        {"CC", std::to_string(i), "5.1", i % 7 == 0 ? "" : "00005", double(i), "", "x"});
  }
  company.writePeriod(1, lines);
  company.writePeriod(2, lines);
  const auto r = exo::import::IMPORTATRACON(*company.session, company.engine);
  ASSERT_TRUE(r.done);
  std::int64_t imported = 0;
  for (const auto& p : r.periods) imported += p.imported;

  const std::string script =
      "import sys, dbfread\n"
      "t = dbfread.DBF(sys.argv[1], encoding='cp1252')\n"
      "rows = list(t)\n"
      "print(len(rows), sum(1 for r in rows if r['CTA_DIR'] == '00005'), len(t.field_names))\n";
  ASSERT_EQ(storetest::runCommand("/usr/bin/python3 -c \"" + script + "\" '" +
                                      (company.work() / "vrTraCon.99").string() + "' 2>&1",
                                  out),
            0)
      << out;
  const std::string expected = std::to_string(imported) + " " + std::to_string(imported) + " 13\n";
  EXPECT_EQ(out, expected);
  EXPECT_EQ(imported, 1 + 2 * (3000 - 3000 / 7 - 1));
}

}  // namespace

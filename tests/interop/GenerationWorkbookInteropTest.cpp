// The whole return of the demo company through the real exogena-cli up to the workbooks of the
// twelve formats, read back by python3-openpyxl: rows 1 to 4 the title and the headings, from row
// 5 one row per output record with the amounts as numbers; the minor-amounts rows under the
// generic identification.
#include <gtest/gtest.h>

#include <regex>

#include "../cli/CliSupport.h"
#include "InteropSupport.h"

namespace {

using interop::kPython;

const char* kReadBack =
    "import sys, openpyxl\n"
    "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
    "rows = list(ws.iter_rows(values_only=True))\n"
    "print('title', rows[0][0])\n"
    "print('heads', ','.join(str(c) for c in rows[3] if c is not None))\n"
    "data = rows[4:]\n"
    "print('records', len(data))\n"
    "amount = rows[3].index(sys.argv[2])\n"
    "print('numbers', all(isinstance(r[amount], (int, float)) for r in data))\n"
    "print('total', round(sum(r[amount] for r in data)))\n"
    "print('minor', sum(1 for r in data if '222222222' in r))\n";

TEST(GenerationWorkbooks, EveryFormatReadBackByOpenpyxl) {
  REQUIRE_TOOL(std::string(kPython) + " -c 'import openpyxl'");
  clitest::Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  const std::string company = "--company ANDINA10 ";
  for (const char* step : {"import-chart", "import-movements", "integrate"})
    ASSERT_EQ(demo.cli(company + step).exitCode, 0) << step;
  for (const char* f : {"1002", "1003", "1004", "1010", "1011", "1012"})
    ASSERT_EQ(demo.cli(company + "bases --format " + f + " --yes").exitCode, 0) << f;

  const clitest::Run r = demo.cli(company + "generate --format all --excel --yes");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // A second run asks before replacing the workbooks; --no keeps them.
  const clitest::Run kept = demo.cli(company + "generate --format 1001 --excel --no");
  EXPECT_EQ(kept.exitCode, 1);
  EXPECT_NE(kept.out.find("no generado"), std::string::npos);

  const std::regex line("Formato (\\d{4}): (\\d+) registros, total (-?\\d+)\\n  (\\S+)");
  int formats = 0;
  std::string firstHeads;
  for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), line);
       it != std::sregex_iterator(); ++it) {
    const std::string code = (*it)[1], records = (*it)[2], total = (*it)[3], file = (*it)[4];
    ++formats;
    const std::string amount = code == "1001"                     ? "pag"
                               : code == "1002"                   ? "vret"
                               : code == "1003"                   ? "ret"
                               : code == "1004"                   ? "vpag"
                               : code == "1005" || code == "1006" ? "vimp"
                               : code == "1007"                   ? "ing"
                               : code == "1010" || code == "1012" ? "val"
                                                                  : "sal";
    std::string out;
    ASSERT_EQ(storetest::runCommand(std::string(kPython) + " -c \"" + kReadBack + "\" '" + file +
                                        "' " + amount + " 2>&1",
                                    out),
              0)
        << out;
    EXPECT_NE(out.find("title Medios Magn\xC3\xA9ticos - Formato " + code), std::string::npos)
        << out;
    EXPECT_NE(out.find("records " + records + "\n"), std::string::npos) << code << "\n" << out;
    EXPECT_NE(out.find("numbers True"), std::string::npos) << code << "\n" << out;
    EXPECT_NE(out.find("total " + total + "\n"), std::string::npos) << code << "\n" << out;
    if (code == "1001") {
      EXPECT_NE(out.find("heads cpt,tdoc,nid,dv,apl1,apl2,nom1,nom2,raz,dir,dpto,mun,pais,pag,ded"),
                std::string::npos)
          << out;
      EXPECT_EQ(out.find("minor 0\n"), std::string::npos) << "the demo has minor amounts";
    }
    if (code == "1011") EXPECT_NE(out.find("heads cpt,sal\n"), std::string::npos) << out;
  }
  EXPECT_EQ(formats, 12) << r.out;
}

}  // namespace

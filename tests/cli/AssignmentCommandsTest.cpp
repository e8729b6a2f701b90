// The assignment commands through the real exogena-cli on a demo: the table listed in its order,
// the previous year's copy asked and answered, the copy from the current company refused, and
// a damaged source leaving the current pair as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "CliSupport.h"

namespace {

using clitest::Demo;
using clitest::readAll;
namespace fs = std::filesystem;

int lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(AssignmentCommands, ListAndCopyFromThePreviousYear) {
  Demo demo;
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  auto r = demo.cli("assignments");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // One line per assignment in the order of format, concept and account, then the count.
  std::istringstream rows(r.out);
  std::string line, previous;
  int n = 0;
  std::getline(rows, line);  // the company
  while (std::getline(rows, line) && line.rfind("Asignaciones: ", 0) != 0) {
    const std::string key = line.substr(0, line.find('\t', 5 + 1 + 4));
    EXPECT_LE(previous, key) << line;
    previous = key;
    ++n;
  }
  EXPECT_GT(n, 50);
  EXPECT_EQ(line, "Asignaciones: " + std::to_string(n));
  EXPECT_NE(r.out.find("1011\t1105\t1.1.05.05           \tD\tCAJA GENERAL\n"), std::string::npos)
      << r.out;

  const std::string before = readAll(work / "CodCont.dbf");  // as the listing left it
  r = demo.cli("copy-assignments --previous-year");
  EXPECT_EQ(r.exitCode, 3);  // a question without --yes or --no
  r = demo.cli("copy-assignments --previous-year --no");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readAll(work / "CodCont.dbf"), before);
  r = demo.cli("copy-assignments --previous-year --yes");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Importar Movimientos Contables"), std::string::npos) << r.err;
  const fs::path previousYear = demo.drive() / "NRVEXO10" / "NRVVS" / "ANDINA10";
  EXPECT_EQ(readAll(work / "CodCont.dbf"), readAll(previousYear / "CodCont.dbf"));
  EXPECT_EQ(readAll(work / "CodContx.cdx"), readAll(previousYear / "CodContx.cdx"));
  r = demo.cli("assignments");
  EXPECT_LT(lines(r.out), n + 2);  // the previous year lacks a concept

  // The current company as source copies nothing; an unknown one is refused.
  r = demo.cli("copy-assignments --from-company andina10");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("no se copi"), std::string::npos) << r.out;
  r = demo.cli("copy-assignments --from-company NOEXISTE");
  EXPECT_EQ(r.exitCode, 1);
  r = demo.cli("copy-assignments");
  EXPECT_EQ(r.exitCode, 2);
}

TEST(AssignmentCommands, ADamagedSourceLeavesThePairAsItWas) {
  Demo demo;
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  const fs::path previousYear = demo.drive() / "NRVEXO10" / "NRVVS" / "ANDINA10";
  // An index that is not an index.
  std::ofstream(previousYear / "CodContx.cdx", std::ios::binary | std::ios::trunc)
      << std::string(1024, 'x');
  // A writing command compacts the table at its start; a table without deleted records stays
  // byte for byte as it is, its index built again alike.
  ASSERT_EQ(demo.cli("assignments").exitCode, 0);
  const std::string table = readAll(work / "CodCont.dbf"), index = readAll(work / "CodContx.cdx");
  const auto r = demo.cli("copy-assignments --previous-year --yes");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("da\xC3\xB1"
                       "ada"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(readAll(work / "CodCont.dbf"), table);
  EXPECT_EQ(readAll(work / "CodContx.cdx"), index);
}

}  // namespace

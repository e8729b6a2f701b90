// The demo's ledger read by independent tools: python3-dbfread reads every table and memo as we
// wrote them, and Perl's index_dump walks the chart's, names', directory's and assignments'
// tags in the order the records' keys give. Tests skip when a tool is not
// installed (and fail under CI, where every tool is installed).
#include <gtest/gtest.h>

#include <filesystem>

#include "InteropSupport.h"
#include "demo/Demo.h"

namespace {

namespace fs = std::filesystem;
using storetest::runCommand;

using interop::kPython;

class DemoPeers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new storetest::TempDir;
    exo::demo::DemoOptions o;
    o.folder = s_dir->file("demo");
    o.lines = 4000;
    o.seed = 3;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    exo::demo::installDemo(o);
  }
  static void TearDownTestSuite() { delete s_dir; }
  static std::string ledger(const std::string& name) {
    return s_dir->file("demo/drive/NRVVS/ANDINA10/" + name);
  }
  static std::string python(const std::string& script, const std::string& args) {
    std::string out;
    EXPECT_EQ(runCommand(std::string(kPython) + " -c \"" + script + "\" " + args + " 2>&1", out), 0)
        << out;
    return out;
  }
  static storetest::TempDir* s_dir;
};
storetest::TempDir* DemoPeers::s_dir = nullptr;

// Python lists the keys of a table's records sorted by key and record number, as index_dump
// prints a tag: the key without its trailing blanks, a blank, the record number.
const char* kSortedKeys =
    "import sys, dbfread\n"
    "t = dbfread.DBF(sys.argv[1], encoding='cp850')\n"
    "keys = [(eval(sys.argv[2]), i + 1) for i, r in enumerate(t)]\n"
    "for k, n in sorted(keys): print(k.rstrip(), n)\n";

TEST_F(DemoPeers, IndexDumpWalksTheLedgerTagsInKeyOrder) {
  REQUIRE_TOOL("which index_dump");
  REQUIRE_TOOL(std::string(kPython) + " -c 'import dbfread'");
  struct Case {
    std::string table, index, tag, key;
  };
  const std::string work = s_dir->file("demo/program/NRVVS/ANDINA10/");
  const Case cases[] = {
      {ledger("VRMAE.DBF"), ledger("VRMAEX1.CDX"), "CUENTA", "' ' + r['CODIGO'].ljust(20)"},
      {ledger("VRNOM.DBF"), ledger("VRNOMX1.CDX"), "APU_NOM", "'%5d' % r['APU_NOM']"},
      {ledger("VRDIR.DBF"), ledger("VRDIRX1.CDX"), "CLAVE", "r['CLAVE']"},
      {work + "CodCont.dbf", work + "CodContx.cdx", "CODICONT",
       "r['FORMATO'] + r['CONCEPTO'] + r['COD_CONT'].ljust(20)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    const std::string want = python(kSortedKeys, c.table + " \"" + c.key + "\"");
    std::string out;
    ASSERT_EQ(runCommand("index_dump --type char " + c.index + " " + c.tag, out), 0);
    EXPECT_GT(out.size(), 100u);
    EXPECT_EQ(out, want);
  }
}

TEST_F(DemoPeers, DbfreadReadsBalancedVouchersAndTheDirectoryMemos) {
  REQUIRE_TOOL(std::string(kPython) + " -c 'import dbfread'");
  const std::string script =
      "import sys, dbfread, collections\n"
      "lines, vouchers = 0, collections.Counter()\n"
      "for p in range(13):\n"
      "  for r in dbfread.DBF(sys.argv[1] + 'VRTRACON.%02d' % p, encoding='cp850'):\n"
      "    lines += 1\n"
      "    vouchers[(p, r['TIPO_COMP'], r['COMPROBA'])] += int(round(r['MONTO']))\n"
      "print(lines, sum(1 for v in vouchers.values() if v != 0))\n"
      "d = list(dbfread.DBF(sys.argv[1] + 'VRDIR.DBF', encoding='cp850'))\n"
      "print(sum(1 for r in d if r['OBSERVA']), sum(1 for r in d if 'MU\\u00d1OZ' in r['NOMBRE'] "
      "or "
      "'PE\\u00d1A' in r['NOMBRE'] or 'CASTA\\u00d1O' in r['NOMBRE'] or 'NU\\u00d1EZ' in "
      "r['NOMBRE']))\n";
  const std::string out = python(script, ledger(""));
  const auto inst = exo::demo::describeDemo(s_dir->file("demo"));
  ASSERT_FALSE(inst.companies.empty());
  std::istringstream in(out);
  std::uint64_t lines = 0, unbalanced = 1, notes = 0, enie = 0;
  in >> lines >> unbalanced >> notes >> enie;
  EXPECT_EQ(lines, inst.companies[0].totalLines()) << out;
  EXPECT_EQ(unbalanced, 0u) << out;
  EXPECT_GE(notes, 6u) << out;  // the defective records carry a note in the memo
  EXPECT_GE(enie, 1u) << out;   // names with Ñ survive the OEM code page
}

}  // namespace

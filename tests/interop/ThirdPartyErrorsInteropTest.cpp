// The error table of the directory check read by an independent tool: python3-dbfread reads
// "ErrFDir.dbf" with its four fields and the rows the check wrote, accented names included.
// Skips when the tool is not installed (and fails under CI, where every tool is installed).
#include <gtest/gtest.h>

#include "../import/ThirdPartyTestSupport.h"
#include "InteropSupport.h"
#include "import/ThirdPartyCheck.h"

namespace {

using namespace terceros;

TEST(ThirdPartyErrorsPeers, DbfreadReadsTheErrorTable) {
  REQUIRE_TOOL(std::string(interop::kPython) + " -c 'import dbfread'");
  Row natural = {
      "00020", "MU\321OZ PE\321A JOS\311", "1110", "N", "42", "CL 5", "79123456", "05", "001",
      "0169"};
  Row wrongDigit = sound("00030");
  wrongDigit[6] = "800197268-5";
  Installation inst({sound("00001"), natural, wrongDigit});
  const auto r = exo::import::VALIDAFICHTERC(inst.session(), inst.engine);
  ASSERT_TRUE(r.done);
  ASSERT_EQ(r.errors, 2);

  const std::string script =
      "import sys, dbfread\n"
      "t = dbfread.DBF(sys.argv[1], encoding='cp1252')\n"
      "print(' '.join('%s:%s:%d' % (f.name, f.type, f.length) for f in t.fields))\n"
      "for r in t: print('|'.join(ascii(r[f]) for f in t.field_names))\n";
  std::string out;
  ASSERT_EQ(
      storetest::runCommand(std::string(interop::kPython) + " -c \"" + script + "\" '" +
                                exo::import::errorTablePath(inst.session()).string() + "' 2>&1",
                            out),
      0)
      << out;
  EXPECT_EQ(out,
            "CODIGO:C:8 DOCUMENTO:C:25 NOMBRE:C:100 ERROR:C:150\n"
            "'00020'|'79123456'|'MU\\xd1OZ PE\\xd1A JOS\\xc9'|'  ;    ;    ;    ;  Error 5  -  "
            "Informado nacional no puede tener Doc. 42 \\xf3 43  ;'\n"
            "'00030'|'800197268-5'|'DISTRIBUIDORA ANDINA S.A.'|'  ;    ;  Error 2  -  Digito "
            "verificador no corresponde  ;    ;    ;'\n");
}

}  // namespace

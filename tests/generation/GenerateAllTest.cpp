// The summary of a run over several formats: amounts as the program shows them, and one block
// per format with its files, its observations and what its run had to say.
#include <gtest/gtest.h>

#include "generation/GenerateAll.h"

namespace {

using namespace exo::generation;

TEST(GenerateAll, AmountsAreWholeUnitsGroupedWithCommas) {
  EXPECT_EQ(amountText(0), "0");
  EXPECT_EQ(amountText(999), "999");
  EXPECT_EQ(amountText(1000), "1,000");
  EXPECT_EQ(amountText(7899199485.0), "7,899,199,485");
  EXPECT_EQ(amountText(-1234567), "-1,234,567");
  EXPECT_EQ(amountText(1999.5), "2,000");  // half away from zero
  EXPECT_EQ(amountText(-0.4), "0");
}

TEST(GenerateAll, SummaryListsEachFormatsFilesObservationsAndNotes) {
  AllFormatsResult r;
  r.started = true;
  FormatOutcome done;
  done.format = 1;
  done.done = true;
  done.records = 28;
  done.total = 649028416;
  done.files = {"SALIDA/A-MMgmExc01.xlsx", "SALIDA/Dmuisca_01.xml"};
  XmlFinding finding;
  finding.record = 3;
  finding.field = "nid";
  finding.rule = "vac\355o";
  done.findings = {finding};
  FormatOutcome missing;
  missing.format = 2;
  missing.notes = {"Debe regularizar Base en Retenciones"};
  r.formats = {done, missing};
  EXPECT_EQ(r.generated(), 1u);
  EXPECT_EQ(r.findings(), 1u);
  const std::string text = summaryText(r, true);
  EXPECT_EQ(text.rfind("Formato 1001: 28 registros, total 649,028,416\r\n"
                       "  SALIDA/A-MMgmExc01.xlsx\r\n"
                       "  SALIDA/Dmuisca_01.xml\r\n"
                       "  Observaciones del archivo XML: 1\r\n"
                       "    " +
                           describe(finding) + "\r\n",
                       0),
            0u)
      << text;
  EXPECT_NE(
      text.find("\r\nFormato 1002: no generado\r\n  Debe regularizar Base en Retenciones\r\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("Observaciones de los archivos XML: 1"), std::string::npos);
  // Without XML files there are no observations to count.
  EXPECT_EQ(summaryText(r, false).find("Observaciones"), std::string::npos);
}

}  // namespace

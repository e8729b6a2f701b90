// The minor amounts the coverage workbook reports are those the builders write: on format
// movement tables with third parties above and below their threshold over several concepts,
// natures that differ from one movement to the next, concept 5001 apart, the returns of 1007 and
// the balances of 1008 and 1009. Also the third parties and concepts a 1002 lacks bases for, and
// the period the header proposes.
#include <gtest/gtest.h>

#include <map>

#include "consolidation/Bases.h"
#include "consolidation/BasesFixture.h"
#include "consolidation/BasesSupport.h"
#include "generation/Builders.h"
#include "generation/Generation.h"
#include "generation/MinorAmounts.h"
#include "shell/RunFiles.h"
#include "store/Dictionary.h"

namespace {

using basestest::Company;
using basestest::Movement;
using namespace exo;

// Concept -> MONTO of its minor-amounts record in the output table the builder makes.
std::map<std::string, double> built(Company& c, int format) {
  std::map<std::string, double> minor;
  consolidation::ScratchFiles scratch(c.work());
  shell::OpenAreas areas(c.engine);
  const generation::BuildResult r =
      generation::buildRecords(*c.session, c.engine, areas, scratch, format);
  EXPECT_TRUE(r.built);
  if (!r.built) return minor;
  c.engine.forEach(r.area, [&] {
    if (trimBlanks(c.engine.text(r.area, "FORM")) == generation::kMinorForm)
      minor[std::string(trimBlanks(c.engine.text(r.area, "CONC")))] +=
          c.engine.number(r.area, "MONTO");
    return true;
  });
  return minor;
}

std::map<std::string, double> counted(Company& c, int format) {
  const std::string code = store::formatCode(format);
  const int area =
      c.engine.open((c.work() / store::formatTableFile(code)).string(), "CUENTA", true);
  auto minor = generation::minorAmountsByConcept(c.engine, area, format);
  c.engine.close(c.ip, area);
  return minor;
}

// Thirty third parties over three concepts, amounts of both signs, the nature of the first
// movement of a third party not always that of the others, thresholds that vary.
std::vector<Movement> ledger(const std::vector<std::string>& concepts) {
  std::vector<Movement> rows;
  unsigned seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % 1000;
  };
  for (int party = 1; party <= 30; ++party) {
    char code[8];
    std::snprintf(code, sizeof code, "%05d", party);
    const int lines = 1 + static_cast<int>(next() % 5);
    for (int l = 0; l < lines; ++l) {
      const std::string& conc = concepts[next() % concepts.size()];
      const double amount = (static_cast<double>(next()) - 300) * 10;
      const std::string nat = next() % 3 == 0 ? "1" : "2";
      rows.push_back({code, "5105", conc, amount, nat, static_cast<double>(500 + next() * 3)});
    }
  }
  return rows;
}

TEST(MinorAmounts, TheCoverageCountsWhatTheBuilderGathers) {
  const std::map<std::string, std::vector<std::string>> formats = {
      {"1001", {"5001", "5002", "5004"}},
      {"1005", {"2408", "2409"}},
      {"1007", {"4001", "4002"}},
      {"1008", {"1315", "1316", "1318"}},
      {"1009", {"2201", "2202"}}};
  for (const auto& [code, concepts] : formats) {
    SCOPED_TRACE(code);
    Company c;
    c.formatTable(code, ledger(concepts));
    const int n = std::stoi(code) - 1000;
    const auto fromBuilder = built(c, n);
    c.engine.closeAll(c.ip);
    const auto fromCoverage = counted(c, n);
    EXPECT_EQ(fromCoverage, fromBuilder);
    // The ledger is chosen so that the rule has something to gather (1008 and 1009 keep a
    // concept's minor amounts only when they add up to more than zero).
    if (code != "1008" && code != "1009") EXPECT_FALSE(fromBuilder.empty());
  }
}

TEST(MinorAmounts, OneThresholdPerThirdPartyOverTheFormatSignedByNature) {
  Company c;
  // A0001 totals 1200 over both concepts, at its threshold: nothing of it is minor, although
  // each concept alone is under 1000. B0002 totals 700 credit: minor, reported positive.
  c.formatTable("1005", {{"A0001", "2408", "2408", -700, "2", 1000},
                         {"A0001", "2409", "2409", -500, "2", 1000},
                         {"B0002", "2408", "2408", -600, "2", 1000},
                         {"B0002", "2409", "2409", -100, "2", 1000}});
  EXPECT_EQ(counted(c, 5), (std::map<std::string, double>{{"2408", 600}, {"2409", 100}}));
  EXPECT_EQ(counted(c, 5), built(c, 5));
  // Formats of manual data have no thresholds.
  c.engine.closeAll(c.ip);
  c.formatTable("1011", {{"A0001", "2408", "1101", 5, "1", 1000}});
  EXPECT_TRUE(counted(c, 11).empty());
}

TEST(MissingBases, TheThirdPartiesAndConceptsAreListed) {
  Company c;
  c.chart({{"2365050001", 0, "RETENCION"}});
  c.directory({terceros::sound("A0001"), terceros::sound("B0002")});
  c.formatTable("1002", {{"A0001", "2365050001", "2304", -5000, "2", 1000},
                         {"A0001", "2365050001", "2306", -3000, "2", 1000},
                         {"B0002", "2365050001", "2304", -9000, "2", 1000}});
  ASSERT_TRUE(consolidation::RESUMEN1002(*c.session, c.engine, true).done);
  c.engine.closeAll(c.ip);
  consolidation::ScratchFiles scratch(c.work());
  shell::OpenAreas areas(c.engine);
  const generation::BuildResult r =
      generation::buildRecords(*c.session, c.engine, areas, scratch, 2);
  ASSERT_TRUE(r.missingBases);
  std::vector<std::string> listed;
  for (const generation::MissingBase& m : r.withoutBase)
    listed.push_back(std::string(trimBlanks(m.party)) + " " + m.conceptCode);
  EXPECT_EQ(listed, (std::vector<std::string>{"A0001 2304", "A0001 2306", "B0002 2304"}));
}

TEST(HeaderPeriod, TheTaxYearNotTheYearOfSending) {
  // Sent in 2026 for the company-year 2010.
  const generation::Header h = generation::defaultHeader(1, "7", "3  ", "20260310081500", "2010");
  EXPECT_EQ(h.ano, "2026");
  EXPECT_EQ(h.fecIni, "2010-01-01");
  EXPECT_EQ(h.fecFin, "2010-12-31");
  EXPECT_EQ(generation::xmlFileName(h), "Dmuisca_010100107202600000003.xml");
  // Without a year of the company the clock's year stands for it.
  EXPECT_EQ(generation::defaultHeader(1, "7", "1", "20260310081500", "  ").fecIni, "2026-01-01");
  // A year typed in one date of the period moves the other to it.
  std::string first = "2009-01-01", last = "2010-12-31";
  generation::keepPeriodInOneYear(first, last);
  EXPECT_EQ(last, "2009-12-31");
  first = "2010-01-01";
  last = "2011-06-30";
  generation::keepPeriodInOneYear(last, first);
  EXPECT_EQ(first, "2011-01-01");
  // A date half typed moves nothing.
  std::string half = "20", other = "2010-12-31";
  generation::keepPeriodInOneYear(half, other);
  EXPECT_EQ(other, "2010-12-31");
}

}  // namespace

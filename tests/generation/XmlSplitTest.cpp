// A format of more than 5,000 records goes to DIAN as several files: the cut in record order
// with the minor-amounts record kept beside its concept, the sending number of each file, the
// conversion of a real workbook of more than 5,000 rows, and the submission number of the company
// moved past the numbers used.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "generation/XmlRules.h"
#include "generation/XmlTestSupport.h"
#include "reports/Workbook.h"
#include "reports/XlsxFile.h"
#include "shell/MemFile.h"
#include "store/RefTables.h"

namespace {

using namespace exo::generation;
using xmltest::XmlCompany;
namespace fs = std::filesystem;

// A 1001 record of concept `cpt` for identification `nid`.
XmlRecord pago(const std::string& cpt, const std::string& nid, const std::string& amount) {
  return {cpt,   nid == "222222222" ? "43" : "13", nid, "", "", "", "", "", "X", "", "", "", "169",
          amount};
}

std::vector<XmlRun> runs(const std::vector<XmlRecord>& records, std::size_t limit) {
  return xmlFileRuns(1, records, limit);
}

TEST(XmlFileRuns, CutInOrderAndTheMinorAmountsStayWithTheirConcept) {
  // No records: one file, with its header.
  EXPECT_EQ(runs({}, 5), (std::vector<XmlRun>{{0, 0}}));
  std::vector<XmlRecord> r;
  for (int i = 0; i < 7; ++i) r.push_back(pago("5001", std::to_string(100 + i), "10"));
  // Exactly the limit: one file; one more: two.
  EXPECT_EQ(runs({r.begin(), r.begin() + 5}, 5), (std::vector<XmlRun>{{0, 5}}));
  EXPECT_EQ(runs(r, 5), (std::vector<XmlRun>{{0, 5}, {5, 7}}));
  EXPECT_EQ(runs(r, 3), (std::vector<XmlRun>{{0, 3}, {3, 6}, {6, 7}}));

  // 5001: four records and its minor amounts; 5002: two and its minor amounts.
  std::vector<XmlRecord> m = {pago("5001", "1", "9"),         pago("5001", "2", "9"),
                              pago("5001", "3", "9"),         pago("5001", "4", "9"),
                              pago("5001", "222222222", "5"), pago("5002", "5", "9"),
                              pago("5002", "6", "9"),         pago("5002", "222222222", "5")};
  // The cut after four would leave 5001's minor amounts alone at the head of the second file:
  // the concept's last record goes with it.
  // The same at the next cut: 5002's minor amounts go with 5002's last record.
  EXPECT_EQ(runs(m, 4), (std::vector<XmlRun>{{0, 3}, {3, 6}, {6, 8}}));
  // Where the cut does not fall before a minor-amounts record nothing moves.
  EXPECT_EQ(runs(m, 5), (std::vector<XmlRun>{{0, 5}, {5, 8}}));
  // A minor-amounts record after another concept (the workbook reordered) is not moved.
  std::vector<XmlRecord> alone = {pago("5001", "1", "9"), pago("5002", "222222222", "5")};
  EXPECT_EQ(runs(alone, 1), (std::vector<XmlRun>{{0, 1}, {1, 2}}));

  // The second file of a submission numbered 7 is 8; a number typed with blanks counts.
  const XmlHeader h{"2011", "1", "1001", "7", "7  ", "", "2010-01-01", "2010-12-31"};
  EXPECT_EQ(headerOfPart(h, 0).numEnv, "7  ");
  EXPECT_EQ(headerOfPart(h, 1).numEnv, "8");
  EXPECT_EQ(xmlFileName(headerOfPart(h, 2), 1), "Dmuisca_010100107201100000009.xml");
}

class XmlSplit : public XmlCompany, public ::testing::Test {};

// The header values and the record count of a file written.
struct Written {
  std::string numEnvio, cantReg, valorTotal, formato;
  std::size_t records = 0;
  double sum = 0;
};

Written readBack(const fs::path& file) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_file(file.c_str());
  EXPECT_TRUE(parsed) << file << ": " << parsed.description();
  const pugi::xml_node cab = doc.child("mas").child("Cab");
  Written w{cab.child("NumEnvio").text().get(), cab.child("CantReg").text().get(),
            cab.child("ValorTotal").text().get(), cab.child("Formato").text().get()};
  for (const pugi::xml_node& n : doc.child("mas").children("decl")) {
    ++w.records;
    w.sum += n.attribute("sal").as_double();
  }
  return w;
}

TEST_F(XmlSplit, AWorkbookOfMoreThanFiveThousandRowsBecomesSeveralFiles) {
  header("1.- Inserci\xF3n", "4");
  session->setConsecut("4  ");
  const int rows = static_cast<int>(kMaxRecordsPerFile) * 2 + 3;
  // The review workbook written through the workbook layer (the spreadsheet script would take a
  // minute over ten thousand rows): titles above, one record per row from row 5.
  exo::reports::Workbook book;
  exo::reports::Sheet& sheet = book.active();
  book.setText(sheet, 1, 1, "EMPRESA DE PRUEBA");
  double all = 0;
  for (int i = 1; i <= rows; ++i) {
    book.setText(sheet, i + 4, 1, i % 2 == 0 ? "1105" : "1110");
    book.setNumber(sheet, i + 4, 2, i);
    all += i;
  }
  fs::create_directories(output());
  ASSERT_EQ(exo::reports::saveXlsx(book, excelWorkbookPath(*session, 11)), "");
  const XmlResult r = CONVIERTE2XML(*session, 11, [] { return true; });
  ASSERT_TRUE(r.written) << r.error;
  EXPECT_EQ(r.records, rows);
  EXPECT_DOUBLE_EQ(r.total, all);
  ASSERT_EQ(r.files.size(), 3u);
  const std::vector<std::string> names = {"Dmuisca_010101107201100000004.xml",
                                          "Dmuisca_010101107201100000005.xml",
                                          "Dmuisca_010101107201100000006.xml"};
  const std::vector<std::size_t> counts = {5000, 5000, 3};
  std::size_t records = 0;
  double sum = 0;
  const XmlRuleTables tables =
      ruleTablesFrom(exo::store::loadRefData(EXOGENA_SOURCE_DIR "/data/refdata"));
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.files[i].file, output() / names[i]);
    EXPECT_EQ(r.files[i].numEnv, std::to_string(4 + i));
    const Written w = readBack(r.files[i].file);
    EXPECT_EQ(w.numEnvio, std::to_string(4 + i));
    EXPECT_EQ(w.records, counts[i]);
    EXPECT_EQ(w.cantReg, std::to_string(counts[i]));
    EXPECT_DOUBLE_EQ(std::stod(w.valorTotal), w.sum);
    EXPECT_DOUBLE_EQ(r.files[i].total, w.sum);
    EXPECT_EQ(w.formato, "1011");
    // Each file passes the record limit of the check.
    for (const XmlFinding& f : checkXmlFile(r.files[i].file, 11, tables))
      EXPECT_NE(f.field, "CantReg") << describe(f);
    records += w.records;
    sum += w.sum;
  }
  EXPECT_EQ(records, static_cast<std::size_t>(rows));
  EXPECT_DOUBLE_EQ(sum, all);
  // The workbook's first rows are in the first file, its last in the last one.
  EXPECT_NE(ledgertest::readBytes(r.files[0].file).find("<decl cpt=\"1110\" sal=\"1\" />"),
            std::string::npos);
  EXPECT_NE(ledgertest::readBytes(r.files[2].file)
                .find("<decl cpt=\"1110\" sal=\"" + std::to_string(rows) + "\" />"),
            std::string::npos);

  // The company's next submission number is past the three used, in the session and on disk.
  EXPECT_EQ(session->consecut(), "7  ");
  const auto saved = exo::shell::readMemFile(work() / "Consecut.mem");
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(std::string(saved[0].value.textView()), "7  ");
}

TEST_F(XmlSplit, TheSubmissionNumberOnlyMovesForward) {
  // A file written with a number below the company's next one leaves it alone.
  session->setConsecut("9  ");
  header("1.- Inserci\xF3n", "2");
  workbook(11, {{"1105", "10"}});
  const XmlResult r = CONVIERTE2XML(*session, 11, [] { return true; });
  ASSERT_TRUE(r.written) << r.error;
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_EQ(r.files[0].numEnv, "2");
  EXPECT_EQ(session->consecut(), "9  ");
  // At the company's number it moves to the next.
  header("1.- Inserci\xF3n", "9");
  ASSERT_TRUE(CONVIERTE2XML(*session, 11, [] { return true; }).written);
  EXPECT_EQ(session->consecut(), "10 ");
  // Past 999 it cannot be kept in its three digits and stays.
  header("1.- Inserci\xF3n", "999");
  ASSERT_TRUE(CONVIERTE2XML(*session, 11, [] { return true; }).written);
  EXPECT_EQ(session->consecut(), "10 ");
}

}  // namespace

// The XML file each format's definition writes straight from its output records, against the
// file the conversion makes from the workbook the same run wrote: the whole return of a demo
// company through the real exogena-cli, then every workbook converted in a company folder of its
// own under the header the generated file carries. The two must agree byte for byte, and
// xmllint must accept every file.
#include <gtest/gtest.h>

#include <regex>

#include "../cli/CliSupport.h"
#include "../generation/XmlTestSupport.h"
#include "InteropSupport.h"

namespace {

namespace fs = std::filesystem;

// The text of <tag>...</tag> in the header of `doc` ("" when absent).
std::string headerValue(const std::string& doc, const std::string& tag) {
  const std::size_t at = doc.find("<" + tag + ">");
  if (at == std::string::npos) return {};
  const std::size_t start = at + tag.size() + 2;
  return doc.substr(start, doc.find("</" + tag + ">", start) - start);
}

TEST(XmlDefinitions, EveryFormatsFileEqualsItsConvertedWorkbookAndIsWellFormed) {
  REQUIRE_TOOL("xmllint --version");
  clitest::Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  const std::string company = "--company ANDINA10 ";
  for (const char* step : {"import-chart", "import-movements", "integrate"})
    ASSERT_EQ(demo.cli(company + step).exitCode, 0) << step;
  for (const char* f : {"1002", "1003", "1004", "1010", "1011", "1012"})
    ASSERT_EQ(demo.cli(company + "bases --format " + f + " --yes").exitCode, 0) << f;

  const clitest::Run r = demo.cli(company + "generate --format all --both --yes --envio 7");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;

  const std::regex done("Formato (\\d{4}): (\\d+) registros, total (-?\\d+)\\n  (\\S+)\\n  (\\S+)");
  int formats = 0, withRecords = 0;
  for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), done);
       it != std::sregex_iterator(); ++it) {
    const int format = std::stoi((*it)[1]) - 1000;
    const std::string records = (*it)[2], total = (*it)[3];
    const fs::path workbook = std::string((*it)[4]), xml = std::string((*it)[5]);
    SCOPED_TRACE("format " + std::to_string(1000 + format));
    ++formats;
    ASSERT_TRUE(fs::is_regular_file(xml)) << xml;
    ASSERT_EQ(xml.filename().string().substr(0, 9), "Dmuisca_0");
    EXPECT_NE(xml.filename().string().find("00000007.xml"), std::string::npos) << xml;

    std::string lint;
    EXPECT_EQ(storetest::runCommand("xmllint --noout '" + xml.string() + "' 2>&1", lint), 0)
        << lint;
    const std::string written = clitest::readAll(xml);
    EXPECT_EQ(headerValue(written, "CantReg"), records);
    EXPECT_EQ(headerValue(written, "ValorTotal"), total);
    if (records != "0") ++withRecords;
    if (format == 1) {
      // The minor amounts go under the generic identification.
      EXPECT_NE(written.find("tdoc=\"43\" nid=\"222222222\""), std::string::npos);
    }

    // The same workbook converted under the same header.
    xmltest::XmlCompany converter;
    auto& cab = converter.session->cabez();
    cab.set("ano", exo::Value::text(headerValue(written, "Ano")));
    cab.set("CodCpt", exo::Value::text(headerValue(written, "CodCpt") == "2" ? "2.- Reemplazo"
                                                                             : "1.- Inserci\xF3n"));
    cab.set("Format", exo::Value::text(headerValue(written, "Formato")));
    cab.set("Versi", exo::Value::text(headerValue(written, "Version")));
    cab.set("NumEnv", exo::Value::text(headerValue(written, "NumEnvio")));
    cab.set("FecEnv", exo::Value::text(headerValue(written, "FecEnvio")));
    cab.set("FecIni", exo::Value::text(headerValue(written, "FecInicial")));
    cab.set("FecFin", exo::Value::text(headerValue(written, "FecFinal")));
    const fs::path copy = exo::generation::excelWorkbookPath(*converter.session, format);
    fs::create_directories(copy.parent_path());
    fs::copy_file(workbook, copy);
    const exo::generation::XmlResult converted =
        exo::generation::CONVIERTE2XML(*converter.session, format, [] { return true; });
    ASSERT_TRUE(converted.written) << converted.error;
    EXPECT_EQ(converted.file.filename(), xml.filename());
    EXPECT_EQ(clitest::readAll(converted.file), written);
  }
  EXPECT_EQ(formats, 12) << r.out;
  EXPECT_GE(withRecords, 8) << r.out;
  // The definitions leave no working table behind.
  for (const auto& e : fs::recursive_directory_iterator(demo.program()))
    EXPECT_EQ(e.path().filename().string().find("TmpXml"), std::string::npos) << e.path();
}

}  // namespace

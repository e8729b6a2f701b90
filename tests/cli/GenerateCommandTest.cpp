// exogena-cli generate on a demo company: the findings of each XML file's check listed after the
// file, --strict turning them into a failed command while the file stays written, and a format
// whose XML definition writes nothing reported as not generated.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <regex>
#include <set>

#include "CliSupport.h"
#include "generation/XmlRules.h"
#include "shell/MemFile.h"
#include "store/Engine.h"

namespace {

namespace fs = std::filesystem;
using clitest::Demo;

// The tests that read the files with xmllint skip without it (and fail when CI is set).
#define REQUIRE_XMLLINT()                                                     \
  do {                                                                        \
    if (std::system("xmllint --version >/dev/null 2>&1") != 0) {              \
      if (std::getenv("CI") != nullptr) FAIL() << "xmllint is not installed"; \
      GTEST_SKIP() << "xmllint is not installed";                             \
    }                                                                         \
  } while (0)

const std::string kCompany = "--company ANDINA10 ";

void prepare(const Demo& demo) {
  for (const char* step : {"import-chart", "import-movements", "integrate"})
    ASSERT_EQ(demo.cli(kCompany + step).exitCode, 0) << step;
  for (const char* f : {"1002", "1003", "1004", "1010", "1011", "1012"})
    ASSERT_EQ(demo.cli(kCompany + "bases --format " + f + " --yes").exitCode, 0) << f;
}

struct Listed {
  fs::path file;
  std::size_t count = 0;
  std::vector<std::string> lines;
};

// Format code -> the XML file and the findings the command listed after it.
std::map<std::string, Listed> listed(const std::string& out) {
  std::map<std::string, Listed> m;
  const std::regex head(
      "Formato (\\d{4}): \\d+ registros, total -?\\d+\\n  (\\S+\\.xml)\\n  Observaciones del "
      "archivo XML: (\\d+)\\n((?:    .*\\n)*)");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), head); it != std::sregex_iterator();
       ++it) {
    Listed l;
    l.file = std::string((*it)[2]);
    l.count = std::stoul((*it)[3]);
    const std::string body = (*it)[4];
    for (std::size_t s = 0; s < body.size();) {
      const std::size_t e = body.find('\n', s);
      l.lines.push_back(body.substr(s + 4, e - s - 4));
      s = e + 1;
    }
    m[(*it)[1]] = l;
  }
  return m;
}

TEST(GenerateCommand, ListsTheFindingsOfEveryXmlFileAndStrictFailsOnThem) {
  Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  prepare(demo);
  const clitest::Run r = demo.cli(kCompany + "generate --format all --xml --yes --envio 3");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  const auto files = listed(r.out);
  ASSERT_EQ(files.size(), 12u) << r.out;

  const auto tables = exo::generation::ruleTablesFromFolder(demo.program());
  std::size_t total = 0;
  std::string withFindings, without;
  for (const auto& [code, l] : files) {
    SCOPED_TRACE(code);
    // What is listed is the check of the file that was written, one line per finding.
    const auto findings = exo::generation::checkXmlFile(l.file, std::stoi(code) - 1000, tables);
    EXPECT_EQ(l.count, findings.size());
    ASSERT_EQ(l.lines.size(), findings.size()) << r.out;
    for (std::size_t i = 0; i < findings.size(); ++i) {
      EXPECT_NE(l.lines[i].find(": " + findings[i].field + " - "), std::string::npos) << l.lines[i];
      if (!findings[i].thirdParty.empty()) {
        EXPECT_NE(l.lines[i].find("(" + findings[i].thirdParty + ")"), std::string::npos);
      }
    }
    total += findings.size();
    (findings.empty() ? without : withFindings) = code;
  }
  EXPECT_NE(r.out.find("Observaciones de los archivos XML: " + std::to_string(total) + "\n"),
            std::string::npos);
  // The demo's directory carries defective third parties on purpose.
  ASSERT_FALSE(withFindings.empty()) << r.out;
  ASSERT_FALSE(without.empty()) << r.out;
  // The user is told too (the terminal shows the message on stderr).
  EXPECT_NE(r.err.find("observaciones de las reglas de su formato"), std::string::npos) << r.err;
  // The demo's 1002 has records without their withholding base: the message says which third
  // parties (code and name) and concepts.
  EXPECT_TRUE(std::regex_search(
      r.err,
      std::regex("Sin base de retenci\xC3\xB3n:\r?\n\\d{5} [A-Z\xC3][^\n]* - concepto 23\\d\\d")))
      << r.err;
  // The names are the directory's, converted once from the ledger's character set: only
  // Spanish capitals, never a character lost ("?") or converted twice.
  {
    const std::size_t from = r.err.find("Sin base de retenci\xC3\xB3n:");
    const std::string block = r.err.substr(from, r.err.find("\n\n", from) - from);
    int accented = 0;
    for (std::size_t i = 0; i < block.size(); ++i) {
      const auto c = static_cast<unsigned char>(block[i]);
      EXPECT_NE(c, '?') << block;
      if (c < 0x80) continue;
      ASSERT_EQ(c, 0xC3) << block;
      const auto next = static_cast<unsigned char>(block[++i]);
      EXPECT_NE(std::string("\x81\x89\x8D\x93\x9A\x91\x9C\xB3").find(static_cast<char>(next)),
                std::string::npos)
          << block;
      ++accented;
    }
    EXPECT_GT(accented, 1) << block;  // the heading's "ó" and some name's letter
  }

  // --strict: the file is written again all the same, and the command fails on its findings.
  const fs::path file = files.at(withFindings).file;
  fs::remove(file);
  const clitest::Run strict =
      demo.cli(kCompany + "generate --format " + withFindings + " --xml --yes --envio 3 --strict");
  EXPECT_EQ(strict.exitCode, 1) << strict.out << strict.err;
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_EQ(demo.cli(kCompany + "generate --format " + without + " --xml --yes --strict").exitCode,
            0);
}

// A name in the directory with a byte XML does not allow: the file is still well formed, the
// changed value is listed with its third party, and the command says the file needs attention.
TEST(GenerateCommand, AValueChangedToKeepTheFileWellFormedFailsTheCommand) {
  if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint missing";
  Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  prepare(demo);
  {
    // Through the engine, so that the directory's index follows its names.
    const fs::path folder = demo.program() / "NRVVS" / "ANDINA10";
    exo::Interp ip;
    exo::store::Engine engine{ip};
    const int area = engine.open((folder / "VRDIREXO.DBF").string(), "DIREC", false);
    engine.addIndex(area, (folder / "VRDIREXX.CDX").string());
    engine.setOrder(area, "");
    engine.forEach(area, [&] {
      std::string name = engine.text(area, "NOMBRE");
      name[1] = '\x07';
      engine.put(area, "NOMBRE", exo::Value::text(name));
      return true;
    });
    engine.close(ip, area);
  }
  const clitest::Run r = demo.cli(kCompany + "generate --format 1001 --xml --yes");
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  const auto files = listed(r.out);
  ASSERT_EQ(files.count("1001"), 1u) << r.out << r.err;
  const Listed& l = files.at("1001");
  EXPECT_EQ(std::system(("xmllint --noout '" + l.file.string() + "'").c_str()), 0);
  ASSERT_FALSE(l.lines.empty());
  EXPECT_NE(l.lines[0].find("reemplazado"), std::string::npos) << l.lines[0];
  EXPECT_NE(r.out.find("Se cambiaron valores del archivo XML"), std::string::npos) << r.out;
}

TEST(GenerateCommand, AFormatWhoseDefinitionWritesNoFileIsNotGenerated) {
  Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  prepare(demo);
  // A definition that runs but never writes the file.
  std::ofstream(demo.program() / "FORMS" / "MMG05XC.RPO", std::ios::trunc)
      << "// sin archivo\r\nnX := 1\r\n";
  const clitest::Run r = demo.cli(kCompany + "generate --format 1005 --xml --yes");
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("Formato 1005: no generado"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("MMG05XC.RPO"), std::string::npos) << r.err;

  // The summary a batch reads the figures from: a line that does not reach it (a full disk, a
  // folder that is not there) fails the command; the format's files stay written.
  for (const std::string& summary :
       {std::string("/dev/full"), (demo.root() / "no-hay" / "r.txt").string()}) {
    const clitest::Run s =
        demo.cli(kCompany + "generate --format 1011 --xml --yes --resumen " + summary);
    EXPECT_EQ(s.exitCode, 1) << summary << s.out << s.err;
    EXPECT_NE(s.err.find("No se pudo escribir el resumen: " + summary), std::string::npos) << s.err;
    EXPECT_NE(s.out.find("Formato 1011: "), std::string::npos) << s.out;
  }
  const fs::path summary = demo.root() / "resumen.txt";
  EXPECT_EQ(demo.cli(kCompany + "generate --format 1011 --xml --yes --resumen " + summary.string())
                .exitCode,
            0);
  EXPECT_EQ(clitest::readAll(summary).rfind("1011\tgenerado\t", 0), 0u);
}

// The text of <tag>...</tag> in `doc` ("" when absent).
std::string headerValue(const std::string& doc, const std::string& tag) {
  const std::size_t at = doc.find("<" + tag + ">");
  if (at == std::string::npos) return {};
  const std::size_t start = at + tag.size() + 2;
  return doc.substr(start, doc.find("</" + tag + ">", start) - start);
}

TEST(GenerateCommand, ThePeriodIsTheTaxYearAndTheOptionsMoveIt) {
  Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  prepare(demo);
  const std::regex file("\\n  (\\S+\\.xml)\\n");
  std::smatch m;
  // The defaults: the company-year 2010 as the period, the clock's year as the year of sending.
  const clitest::Run byDefault = demo.cli(kCompany + "generate --format 1011 --xml --yes");
  ASSERT_EQ(byDefault.exitCode, 0) << byDefault.out << byDefault.err;
  ASSERT_TRUE(std::regex_search(byDefault.out, m, file)) << byDefault.out;
  std::string doc = clitest::readAll(std::string(m[1]));
  EXPECT_EQ(headerValue(doc, "FecInicial"), "2010-01-01");
  EXPECT_EQ(headerValue(doc, "FecFinal"), "2010-12-31");
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(headerValue(doc, "Ano"), std::to_string(1900 + local.tm_year));
  // --anio is the year of sending only; --desde and --hasta give the period.
  const clitest::Run moved =
      demo.cli(kCompany +
               "generate --format 1011 --xml --yes --anio 2011 --desde 2010-07-01 --hasta "
               "2010-12-31 --envio 4");
  ASSERT_EQ(moved.exitCode, 0) << moved.out << moved.err;
  ASSERT_TRUE(std::regex_search(moved.out, m, file)) << moved.out;
  EXPECT_EQ(fs::path(std::string(m[1])).filename().string(), "Dmuisca_010101106201100000004.xml");
  doc = clitest::readAll(std::string(m[1]));
  EXPECT_EQ(headerValue(doc, "Ano"), "2011");
  EXPECT_EQ(headerValue(doc, "FecInicial"), "2010-07-01");
  EXPECT_EQ(headerValue(doc, "FecFinal"), "2010-12-31");
  EXPECT_EQ(moved.out.find("Ano - "), std::string::npos) << moved.out;
  // A year of sending that is not after the period is observed, the file written all the same.
  const clitest::Run early = demo.cli(kCompany + "generate --format 1011 --xml --yes --anio 2010");
  EXPECT_EQ(early.exitCode, 0);
  EXPECT_NE(early.out.find("Archivo: Ano - el a\xC3\xB1o de env\xC3\xADo debe ser posterior"),
            std::string::npos)
      << early.out;
  // A date that does not exist is refused before anything is done.
  EXPECT_EQ(demo.cli(kCompany + "generate --format 1011 --xml --desde 2010-02-30").exitCode, 2);
  // So is a sending number the file's name cannot carry.
  for (const std::string envio : {"0", "000", "123456789", "-3"})
    EXPECT_EQ(demo.cli(kCompany + "generate --format 1011 --xml --yes --envio " + envio).exitCode,
              2)
        << envio;
}

TEST(GenerateCommand, AFormatOfMoreThanFiveThousandRecordsGoesAsSeveralFiles) {
  REQUIRE_XMLLINT();
  // A ledger large enough for more than 5,000 records of 1001.
  Demo demo("--lines 450000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  for (const char* step : {"import-chart", "import-movements", "integrate"})
    ASSERT_EQ(demo.cli(kCompany + step).exitCode, 0) << step;
  const clitest::Run r =
      demo.cli(kCompany + "generate --format 1001 --both --yes --anio 2011 --envio 5");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      r.out, m, std::regex("Formato 1001: (\\d+) registros, total (-?\\d+)\\n  (\\S+\\.xlsx)\\n")))
      << r.out;
  const long long records = std::stoll(m[1]);
  const long long total = std::stoll(m[2]);
  ASSERT_GT(records, 5000) << r.out;
  // The workbook stays one file.
  EXPECT_TRUE(fs::is_regular_file(std::string(m[3])));

  const std::regex listedFile(
      "\\n  (\\S+\\.xml)\\n  Env\xC3\xADo (\\d+): (\\d+) registros, total (-?\\d+)\\n");
  std::vector<fs::path> files;
  long long count = 0, sum = 0;
  int number = 5;
  std::map<std::string, std::set<std::size_t>> conceptFiles;      // concept -> files holding it
  std::vector<std::pair<std::string, std::size_t>> minorRecords;  // concept, file
  for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), listedFile);
       it != std::sregex_iterator(); ++it) {
    const fs::path file = std::string((*it)[1]);
    SCOPED_TRACE(file.string());
    files.push_back(file);
    std::string lint;
    EXPECT_EQ(std::system(("xmllint --noout '" + file.string() + "'").c_str()), 0);
    const std::string doc = clitest::readAll(file);
    const long long cantReg = std::stoll(headerValue(doc, "CantReg"));
    const long long valor = std::stoll(headerValue(doc, "ValorTotal"));
    EXPECT_LE(cantReg, 5000);
    EXPECT_EQ(std::to_string(cantReg), std::string((*it)[3]));
    EXPECT_EQ(std::to_string(valor), std::string((*it)[4]));
    EXPECT_EQ(headerValue(doc, "NumEnvio"), std::to_string(number));
    EXPECT_EQ(std::string((*it)[2]), std::to_string(number));
    char name[16];
    std::snprintf(name, sizeof name, "%08d.xml", number);
    EXPECT_EQ(file.filename().string(), "Dmuisca_01010010720110" + std::string(name).substr(1));
    EXPECT_EQ(headerValue(doc, "Ano"), "2011");
    EXPECT_EQ(headerValue(doc, "FecInicial"), "2010-01-01");
    EXPECT_EQ(headerValue(doc, "FecFinal"), "2010-12-31");
    // The records of the file add up to its header.
    pugi::xml_document xml;
    ASSERT_TRUE(
        xml.load_buffer(doc.data(), doc.size(), pugi::parse_default, pugi::encoding_latin1));
    long long inFile = 0, amounts = 0;
    for (const pugi::xml_node& pago : xml.child("mas").children("pagos")) {
      ++inFile;
      amounts += pago.attribute("pag").as_llong();
      const std::string cpt = pago.attribute("cpt").value();
      if (std::string(pago.attribute("nid").value()) == "222222222")
        minorRecords.emplace_back(cpt, files.size());
      else conceptFiles[cpt].insert(files.size());
    }
    EXPECT_EQ(inFile, cantReg);
    EXPECT_EQ(amounts, valor);
    count += cantReg;
    sum += valor;
    ++number;
  }
  ASSERT_GE(files.size(), 2u) << r.out;
  EXPECT_EQ(count, records);
  EXPECT_EQ(sum, total);
  // Every minor-amounts record is in a file with records of its own concept.
  ASSERT_FALSE(minorRecords.empty());
  for (const auto& [cpt, file] : minorRecords) EXPECT_TRUE(conceptFiles[cpt].count(file)) << cpt;
  // The user is told of every file.
  EXPECT_NE(r.err.find("archivos, cada uno con su n\xC3\xBAmero de env\xC3\xADo"),
            std::string::npos)
      << r.err;
}

}  // namespace

// exogena-cli generate on a demo company: the findings of each XML file's check listed after the
// file, --strict turning them into a failed command while the file stays written, and a format
// whose XML definition writes nothing reported as not generated.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>

#include "CliSupport.h"
#include "generation/XmlRules.h"
#include "store/Engine.h"

namespace {

namespace fs = std::filesystem;
using clitest::Demo;

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
}

}  // namespace

// A run over several formats on two workers, against the same run on one thread: the same files
// and outcomes; a failure at the first format while the second is being generated leaves the
// files of the formats after it as they were; a header cancelled at the first format leaves
// nothing generated and is asked once.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "consolidation/Bases.h"
#include "consolidation/Integration.h"
#include "consolidation/ManualData.h"
#include "demo/Demo.h"
#include "expr/Text.h"
#include "generation/DemoProgram.h"
#include "generation/FormatRun.h"
#include "generation/GenerateAll.h"
#include "generation/XmlWriter.h"
#include "import/LedgerImport.h"
#include "masterdata/ThirdParty.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "shell/Company.h"
#include "shell/ErrorHandler.h"
#include "shell/Runtime.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;

using demoprogram::Program;

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The files of the output folder by name: the XML files with their sending time blanked (the
// clock's); the workbooks only by name (their package holds the time they were made).
std::map<std::string, std::string> outputFiles(const fs::path& folder, bool exact = false) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    std::string bytes = readFile(e.path());
    if (!exact && name.ends_with(".xml")) {
      const std::size_t at = bytes.find("<FecEnvio>");
      const std::size_t end = bytes.find("</FecEnvio>");
      if (at != std::string::npos && end != std::string::npos) bytes.erase(at, end - at);
    } else if (!exact) {
      bytes.clear();
    }
    files[name] = bytes;
  }
  return files;
}

// The environment variable that forces one thread, set or taken away.
void forceOneThread(bool one) {
#ifdef _WIN32
  _putenv_s("EXOGENA_HILOS_FORMATOS", one ? "1" : "");
#else
  if (one) ::setenv("EXOGENA_HILOS_FORMATOS", "1", 1);
  else ::unsetenv("EXOGENA_HILOS_FORMATOS");
#endif
}

const generation::HeaderEditor kHeader = [](generation::Header& h) {
  h.ano = "2010";
  h.numEnv = "7";
  return true;
};

std::vector<int> allFormats() {
  std::vector<int> all;
  for (int n = 1; n <= 12; ++n) all.push_back(n);
  return all;
}

class FormatRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root = fs::temp_directory_path() / ("exo-formatrun-" + std::to_string(::getpid()));
    fs::remove_all(root);
    demo::DemoOptions o;
    o.folder = (root / "demo").string();
    o.lines = 3000;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    installation = demo::installDemo(o);
    Program p(installation);
    ASSERT_TRUE(import::IMPORTAPUC(p.session(), p.engine()).done);
    ASSERT_TRUE(import::IMPORTATRACON(p.session(), p.engine()).done);
    ASSERT_TRUE(import::ARREGLAIVA(p.session(), p.engine()).done);
    ASSERT_TRUE(import::ARREGLACOMIS(p.session(), p.engine()).done);
    ASSERT_TRUE(consolidation::IMPORTACONTAB(p.session(), p.engine()).done);
    for (const int n : {2, 3}) {
      const auto r = consolidation::prepareWithholdingBases(p.session(), p.engine(), n);
      ASSERT_TRUE(r.done);
      if (r.area != 0 && p.engine().isUsed(r.area)) p.engine().close(p.runtime.interp(), r.area);
    }
    for (const int n : {4, 10, 11, 12}) {
      const auto r = consolidation::prepareManualData(p.session(), p.engine(), n);
      ASSERT_TRUE(r.done);
      if (r.area != 0 && p.engine().isUsed(r.area)) p.engine().close(p.runtime.interp(), r.area);
    }
  }
  static void TearDownTestSuite() {
    fs::current_path(fs::temp_directory_path());
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  void SetUp() override {
    if (generation::formatRunThreads(12) < 2) GTEST_SKIP() << "una sola CPU: sin segundo hilo";
  }
  static fs::path companyFolder() {
    const demo::DemoCompany& c = installation.companies.front();
    return fs::path(installation.programFolder) / c.product / c.folder;
  }
  static fs::path outputFolder() { return companyFolder() / store::kOutputFolder; }
  static fs::path formsFolder() { return fs::path(installation.programFolder) / "FORMS"; }

  // One run over all formats through the one-run generation, on one thread or on two.
  static generation::AllFormatsResult generateAll(bool oneThread,
                                                  const generation::HeaderEditor& header) {
    if (oneThread) forceOneThread(true);
    Program p(installation);
    generation::AllFormatsResult r = generation::generateFormats(p.session(), p.engine(), *p.runner,
                                                                 allFormats(), true, true, header);
    forceOneThread(false);
    return r;
  }

  static inline fs::path root;
  static inline demo::DemoInstallation installation;
};

TEST_F(FormatRunTest, TwoWorkersWriteTheFilesAndOutcomesOfOneThread) {
  const generation::AllFormatsResult one = generateAll(true, kHeader);
  ASSERT_EQ(one.generated(), 12u);
  const auto oneFiles = outputFiles(outputFolder());
  const generation::AllFormatsResult two = generateAll(false, kHeader);
  ASSERT_EQ(two.formats.size(), 12u);
  for (std::size_t i = 0; i < 12; ++i) {
    SCOPED_TRACE(store::formatCode(one.formats[i].format));
    EXPECT_EQ(two.formats[i].format, one.formats[i].format);
    EXPECT_EQ(two.formats[i].done, one.formats[i].done);
    EXPECT_EQ(two.formats[i].records, one.formats[i].records);
    EXPECT_EQ(two.formats[i].total, one.formats[i].total);
    EXPECT_EQ(two.formats[i].files, one.formats[i].files);
    EXPECT_EQ(two.formats[i].findings.size(), one.formats[i].findings.size());
    EXPECT_EQ(two.formats[i].notes, one.formats[i].notes);
  }
  EXPECT_EQ(generation::summaryText(two, true), generation::summaryText(one, true));
  EXPECT_EQ(outputFiles(outputFolder()), oneFiles);
  // The second worker's scratch folder goes with the run; nothing staged is left.
  EXPECT_FALSE(fs::exists(companyFolder() / shell::kWorkerScratchFolder));
  for (const auto& e : fs::directory_iterator(outputFolder()))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

// Format 1001 fails (its XML definition opens a table that does not exist) only once format
// 1002, on the other worker, has written its workbook: 1002 and the formats after it keep the
// files of the earlier run, and are "not generated".
TEST_F(FormatRunTest, AFailureAtOneFormatLeavesTheFilesOfTheLaterOnesAsTheyWere) {
  ASSERT_EQ(generateAll(false, kHeader).generated(), 12u);
  // Every earlier file marked, so that any file written over it shows.
  for (const auto& e : fs::directory_iterator(outputFolder()))
    std::ofstream(e.path(), std::ios::binary | std::ios::trunc) << "previo " << e.path().filename();
  const auto before = outputFiles(outputFolder(), true);
  const fs::path definition = formsFolder() / generation::xmlDefinition(1);
  const std::string kept = readFile(definition);
  {
    std::ofstream(definition, std::ios::binary | std::ios::trunc)
        << "DbUseArea(.T., , \"NoExiste.dbf\", \"NoExiste\", .T., .F.)\r\n";
  }
  Program p(installation);
  const std::string secondWorkbook = generation::workbookPath(p.session(), 2).filename().string();
  // The second format's workbook written: staged beside its place, or (without the wait for
  // the earlier formats) already under its name.
  const auto secondWritten = [&] {
    for (const auto& e : fs::directory_iterator(outputFolder())) {
      const std::string name = e.path().filename().string();
      if (name.starts_with(secondWorkbook + ".tmp")) return true;
      if (name == secondWorkbook && readFile(e.path()) != before.at(name)) return true;
    }
    return false;
  };
  generation::FormatRunOptions options;
  options.excel = options.xml = true;
  options.editHeader = kHeader;
  bool waited = false;
  options.setUpHandler = [&](shell::ErrorHandler& handler,
                             const std::function<void(std::function<void()>)>&) {
    // The failure is let go ("&Omitir"): the format's run ends as failed, as the command
    // line's and the desktop's handlers leave a failure of a definition.
    handler.setDialog([&](const std::string&, const std::vector<std::string>&,
                          const std::vector<std::string>& buttons) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!secondWritten() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      waited = secondWritten();
      for (std::size_t b = 0; b < buttons.size(); ++b)
        if (buttons[b] == shell::kSkipButton) return static_cast<int>(b);
      return -1;
    });
  };
  std::vector<generation::FormatRunItem> items;
  options.end = [&](generation::FormatRunItem& item) { items.push_back(std::move(item)); };
  generation::runFormatList(p.session(), p.engine(), *p.runner, allFormats(), options);
  { std::ofstream(definition, std::ios::binary | std::ios::trunc) << kept; }

  EXPECT_TRUE(waited);
  ASSERT_EQ(items.size(), 12u);
  EXPECT_EQ(items[0].fate, generation::FormatFate::Ran);
  EXPECT_TRUE(items[0].result.failed);
  EXPECT_FALSE(items[0].result.done);
  for (std::size_t i = 1; i < 12; ++i) {
    EXPECT_EQ(items[i].fate, generation::FormatFate::StoppedByFailure) << i;
    EXPECT_EQ(items[i].index, i);
  }
  const auto after = outputFiles(outputFolder(), true);
  for (const auto& [name, bytes] : before) {
    SCOPED_TRACE(name);
    // The workbook the failed format wrote goes with its run, as on one thread (its XML
    // definition failed before writing: the earlier XML file stays).
    if (name.find("MMgmExc01") != std::string::npos) {
      EXPECT_FALSE(after.count(name));
      continue;
    }
    ASSERT_TRUE(after.count(name));
    EXPECT_EQ(after.at(name), bytes);
  }
  for (const auto& [name, bytes] : after) EXPECT_TRUE(before.count(name)) << name;
}

// The header asked at the first format and cancelled there, while the second format has been
// taken by the other worker: asked once, for 1001; no format generated, no file replaced.
TEST_F(FormatRunTest, AHeaderCancelledAtTheFirstFormatPublishesNothing) {
  ASSERT_EQ(generateAll(false, kHeader).generated(), 12u);
  const auto before = outputFiles(outputFolder(), true);
  std::vector<std::string> asked;
  const generation::HeaderEditor cancel = [&](generation::Header& h) {
    asked.push_back(h.format);
    // The other worker goes on meanwhile with the next format, up to its header.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return false;
  };
  const generation::AllFormatsResult r = generateAll(false, cancel);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(asked, std::vector<std::string>{"1001"});
  ASSERT_EQ(r.formats.size(), 12u);
  EXPECT_EQ(r.generated(), 0u);
  for (const generation::FormatOutcome& f : r.formats) {
    SCOPED_TRACE(f.format);
    ASSERT_FALSE(f.notes.empty());
    EXPECT_EQ(f.notes.back(), "No generado: se cancel\363 el encabezado.");
  }
  EXPECT_EQ(outputFiles(outputFolder(), true), before);
}

// A run stopped with the process (killed, a power cut) leaves the second worker's scratch
// folder behind: the next selection of the company, which holds the company, erases it.
TEST_F(FormatRunTest, AScratchFolderLeftByAStoppedRunGoesWhenTheCompanyIsSelected) {
  const fs::path left = companyFolder() / shell::kWorkerScratchFolder;
  fs::create_directories(left);
  { std::ofstream(left / "TotDat1.dbf", std::ios::binary) << "resto"; }
  Program p(installation);
  EXPECT_FALSE(fs::exists(left));
}

}  // namespace

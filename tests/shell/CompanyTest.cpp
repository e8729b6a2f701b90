// Choosing the company-year over a demo installation: the list read from the control file, the
// first selection laying out exactly the working folder, a later selection creating nothing, the
// session files, unsafe folder names refused, and the start-up compaction of the assignments.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ShellTestSupport.h"
#include "demo/Demo.h"
#include "expr/Interp.h"
#include "shell/Company.h"
#include "shell/MemFile.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "store/Engine.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;
using namespace exo::shell;

// Every file and folder under `root`, relative, sorted.
std::set<std::string> listing(const fs::path& root) {
  std::set<std::string> out;
  if (!fs::exists(root)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    out.insert(fs::relative(e.path(), root).string() + (e.is_directory() ? "/" : ""));
  }
  return out;
}

class CompanyChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    demo::DemoOptions o;
    o.folder = (dir.path() / "demo").string();
    o.lines = 600;
    o.companies = 3;
    o.bothProducts = true;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    demo = demo::installDemo(o);
    folders.program = demo.programFolder;
    folders.drive = demo.driveFolder;
    ASSERT_TRUE(VARIABLPUBLIC(ip, ui, folders));
  }

  shelltest::TempDir dir;
  demo::DemoInstallation demo;
  Folders folders;
  Interp ip;
  store::Engine engine{ip};
  ScriptedUserInterface ui;
  std::string infoBar;
  std::function<void(const std::string&)> show = [this](const std::string& t) { infoBar = t; };
};

TEST_F(CompanyChoice, ListsTheControlFileAndOffersTheLastCompany) {
  Session session(ip, ui, folders);
  EXPECT_EQ(companyListLabel(session), "Seleccione programa");  // both products installed
  const auto list = CARGAVRCTL(session, engine, 1);
  EXPECT_EQ(session.pathOrigen(), "\\NRVVS\\");
  std::vector<const demo::DemoCompany*> orbisal;
  for (const auto& c : demo.companies) {
    if (c.product == "NRVVS") orbisal.push_back(&c);
  }
  ASSERT_EQ(list.size(), orbisal.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].camino.substr(0, list[i].camino.find(' ')), orbisal[i]->folder + "\\");
    EXPECT_EQ(list[i].anio, std::to_string(orbisal[i]->year));
  }
  // The demo's session file names its first company.
  const auto row = rowOfCompany(list, lastCompanyFolder(session));
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(*row, 0u);
  EXPECT_FALSE(rowOfCompany(list, "OTRA\\").has_value());
  EXPECT_EQ(initialProduct(session, "\\nrvcontb\\"), 2);
  EXPECT_EQ(initialProduct(session, ""), 1);
  const auto other = CARGAVRCTL(session, engine, 2);
  EXPECT_EQ(session.pathOrigen(), "\\NRVCONTB\\");
  ASSERT_FALSE(other.empty());
  EXPECT_EQ(engine.selected(), 1);  // the control file is closed again
  EXPECT_FALSE(engine.isUsed(1));
}

TEST_F(CompanyChoice, FirstSelectionLaysOutTheWorkingFolderOnce) {
  Session session(ip, ui, folders);
  const auto list = CARGAVRCTL(session, engine, 2);  // a company the demo has not set up
  ASSERT_FALSE(list.empty());
  const CompanyEntry entry = list.front();
  const std::string folder = entry.camino.substr(0, entry.camino.find('\\'));
  ASSERT_FALSE(fs::exists(fs::path(demo.programFolder) / "NRVCONTB" / folder));

  ASSERT_TRUE(chooseCompany(session, engine, entry, show));
  const fs::path work = fs::path(demo.programFolder) / "NRVCONTB" / folder;
  EXPECT_EQ(listing(work),
            (std::set<std::string>{"CodCont.dbf", "CodContx.cdx", "Consecut.mem", "Periodos.mem",
                                   "SALIDA/", "VRDIREXO.DBF", "VRDIREXO.FPT", "VRDIREXX.CDX",
                                   "VRMAEEXO.DBF", "VRMAEEXX.CDX"}));
  EXPECT_EQ(session.celPath(), "NRVCONTB\\" + folder + "\\");
  const std::string name = entry.empresa.substr(0, entry.empresa.find_last_not_of(' ') + 1);
  EXPECT_EQ(session.empresa(), name + " - " + entry.anio);
  EXPECT_EQ(infoBar, session.empresa() + "     ");
  // The directory is a byte copy of the ledger's; the chart copy is empty with its structure.
  const fs::path ledger = fs::path(demo.driveFolder) / "NRVCONTB" / folder;
  EXPECT_EQ(shelltest::readFile(work / "VRDIREXO.DBF"), shelltest::readFile(ledger / "VRDIR.DBF"));
  const int chart = engine.open((work / "VRMAEEXO.DBF").string(), "M2");
  engine.addIndex(chart, "VRMAEEXX.CDX");
  EXPECT_EQ(engine.recCount(chart), 0);
  EXPECT_EQ(engine.orders(chart).at(0).tag, "CODIGO");
  engine.close(ip, chart);
  // Session files.
  const auto consecut = readMemFile(work / "Consecut.mem");
  ASSERT_EQ(consecut.size(), 1u);
  EXPECT_EQ(consecut[0].value.textView(), "1  ");
  const auto periods = readMemFile(work / "Periodos.mem");
  ASSERT_EQ(periods.size(), 2u);
  EXPECT_EQ(periods[0].value.num() + periods[1].value.num(), 0);
  bool sawFolder = false;
  for (const auto& v : readMemFile(session.sessionFile())) {
    if (v.name == "MVAR01") sawFolder = v.value.textView() == folder + "\\";
  }
  EXPECT_TRUE(sawFolder);

  // An assignment made, then the same company chosen again: nothing is created or copied.
  const int codes = engine.open((work / "CodCont.dbf").string(), "CC");
  engine.appendBlank(codes);
  engine.put(codes, "COD_CONT", Value::text("5.1.05.06"));
  engine.close(ip, codes);
  const auto before = fs::last_write_time(work / "VRDIREXO.DBF");
  ASSERT_TRUE(chooseCompany(session, engine, entry, show));
  EXPECT_EQ(fs::last_write_time(work / "VRDIREXO.DBF"), before);
  const int again = engine.open((work / "CodCont.dbf").string(), "CC");
  EXPECT_EQ(engine.recCount(again), 1);
  engine.close(ip, again);
  EXPECT_TRUE(ui.callsOf("message").empty());
}

TEST_F(CompanyChoice, UnsafeFolderNamesAreRefused) {
  Session session(ip, ui, folders);
  for (const char* bad : {"..\\", "A\\B\\", "..\\..\\ETC\\", "SIN_BARRA"}) {
    SCOPED_TRACE(bad);
    ui.clear();
    EXPECT_FALSE(chooseCompany(session, engine, {"EMPRESA MALA", bad, "12", "2011"}, show));
    ASSERT_EQ(ui.callsOf("message").size(), 1u);
  }
  EXPECT_FALSE(fs::exists(fs::path(demo.programFolder).parent_path() / "ETC"));
}

TEST_F(CompanyChoice, StartUpCompactsTheAssignments) {
  Session session(ip, ui, folders);
  const auto list = CARGAVRCTL(session, engine, 1);
  ASSERT_TRUE(chooseCompany(session, engine, list.front(), show));
  const fs::path table = session.companyFile("CodCont.dbf");
  int area = engine.open(table.string(), "CC");
  const auto count = engine.recCount(area);
  ASSERT_GT(count, 1);  // the demo's first company has its assignments
  engine.goTop(ip, area);
  engine.deleteRecord(ip, area);
  engine.close(ip, area);
  compactAssignments(session, engine);
  area = engine.open(table.string(), "CC");
  engine.addIndex(area, "CodContx.cdx");
  EXPECT_EQ(engine.recCount(area), count - 1);
  std::vector<std::string> tags;
  for (const auto& o : engine.orders(area)) tags.push_back(o.tag);
  EXPECT_EQ(tags, (std::vector<std::string>{"CODIGO", "CODICONT"}));
  engine.close(ip, area);
}

}  // namespace

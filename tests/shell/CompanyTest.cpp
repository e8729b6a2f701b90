// Choosing the company-year over a demo installation: the list read from the control file, the
// first selection laying out exactly the working folder, a later selection creating nothing, the
// session files, unsafe folder names refused, and the start-up compaction of the assignments.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "ShellTestSupport.h"
#include "demo/Demo.h"
#include "expr/Interp.h"
#include "shell/AssignmentTable.h"
#include "shell/Company.h"
#include "shell/MemFile.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "store/Engine.h"
#include "store/FileLock.h"

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
  // The tables, the session files, the output folder, and the lock file of the company, now
  // held by the program.
  EXPECT_EQ(listing(work),
            (std::set<std::string>{"CodCont.dbf", "CodContx.cdx", "Consecut.mem", "EnUso.lck",
                                   "Periodos.mem", "SALIDA/", "VRDIREXO.DBF", "VRDIREXO.FPT",
                                   "VRDIREXX.CDX", "VRMAEEXO.DBF", "VRMAEEXX.CDX"}));
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
  std::string problem;
  EXPECT_EQ(compactAssignments(session, engine, &problem), Compaction::Done) << problem;
  area = engine.open(table.string(), "CC");
  engine.addIndex(area, "CodContx.cdx");
  EXPECT_EQ(engine.recCount(area), count - 1);
  std::vector<std::string> tags;
  for (const auto& o : engine.orders(area)) tags.push_back(o.tag);
  EXPECT_EQ(tags, (std::vector<std::string>{"CODIGO", "CODICONT"}));
  engine.close(ip, area);
}

namespace {

std::string bytesOf(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_F(CompanyChoice, ATableHeldElsewhereIsNeitherCompactedNorStrippedOfItsIndex) {
  Session session(ip, ui, folders);
  ASSERT_TRUE(chooseCompany(session, engine, CARGAVRCTL(session, engine, 1).front(), show));
  const fs::path table = session.companyFile("CodCont.dbf");
  const std::string index = bytesOf(session.companyFile("CodContx.cdx"));
  ASSERT_FALSE(index.empty());
  // Another open (another engine: its own open of the file) holds the table.
  Interp otherIp;
  store::Engine other(otherIp);
  ASSERT_NE(other.open(table.string(), "OTRA"), 0);
  std::string problem;
  EXPECT_EQ(compactAssignments(session, engine, &problem), Compaction::InUse);
  EXPECT_NE(problem.find("en uso"), std::string::npos) << problem;
  EXPECT_EQ(bytesOf(session.companyFile("CodContx.cdx")), index);
  EXPECT_TRUE(ui.callsOf("message").empty());  // nothing asked, nothing through the handler
  other.closeAll(otherIp);
  problem.clear();
  EXPECT_EQ(compactAssignments(session, engine, &problem), Compaction::Done) << problem;
}

TEST_F(CompanyChoice, ADamagedTableIsOfferedForRepairAndKeepsWhatCanBeRead) {
  Session session(ip, ui, folders);
  ASSERT_TRUE(chooseCompany(session, engine, CARGAVRCTL(session, engine, 1).front(), show));
  const fs::path table = session.companyFile("CodCont.dbf");
  std::vector<AssignmentRow> sound;
  std::uint64_t lost = 0;
  ASSERT_TRUE(readAssignments(session, engine, sound, lost));
  ASSERT_GT(sound.size(), 3u);
  // The last record cut in half: the header announces one more than the file holds.
  fs::resize_file(table, fs::file_size(table) - 40);
  const std::string damaged = bytesOf(table);
  const std::string index = bytesOf(session.companyFile("CodContx.cdx"));
  std::string problem;
  const Compaction c = compactAssignments(session, engine, &problem);
  EXPECT_EQ(c, Compaction::Damaged);
  EXPECT_EQ(bytesOf(table), damaged);
  EXPECT_EQ(bytesOf(session.companyFile("CodContx.cdx")), index);
  std::vector<AssignmentRow> read;
  ASSERT_TRUE(readAssignments(session, engine, read, lost));
  EXPECT_EQ(read.size(), sound.size() - 1);
  EXPECT_EQ(lost, 1u);

  // Where the damage is reported the user is asked; "No" changes nothing, "Si" repairs.
  ui.clear();
  ui.answer("   &No   ");
  explainCompaction(session, engine, c, problem, true);
  EXPECT_EQ(bytesOf(table), damaged);
  ui.answer("   &Si   ");
  explainCompaction(session, engine, c, problem, true);
  const auto messages = ui.callsOf("message");
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.back().text.find("se conservaron " + std::to_string(sound.size() - 1)),
            std::string::npos)
      << messages.back().text;
  EXPECT_NE(messages.back().text.find("1 registro no se pudo leer"), std::string::npos);
  EXPECT_EQ(bytesOf(session.companyFile("CodCont.dbf.danado")), damaged);
  ASSERT_TRUE(readAssignments(session, engine, read, lost));
  EXPECT_EQ(read.size(), sound.size() - 1);
  EXPECT_EQ(lost, 0u);
  // The repaired pair is sound: its tags describe it.
  const int area = engine.open(table.string(), "CC");
  engine.addIndex(area, "CodContx.cdx");
  engine.setOrder(area, "CodiCont");
  std::size_t keys = 0;
  engine.forEach(area, [&] {
    ++keys;
    return true;
  });
  EXPECT_EQ(keys, read.size());
  engine.close(ip, area);
}

TEST_F(CompanyChoice, ASecondWriterOfTheCompanyIsRefused) {
  Session session(ip, ui, folders);
  const auto list = CARGAVRCTL(session, engine, 1);
  ASSERT_TRUE(chooseCompany(session, engine, list.front(), show));
  EXPECT_TRUE(session.companyLock().held());
  // Another session (here in the same process: the lock belongs to the open, not the process).
  Interp otherIp;
  store::Engine otherEngine(otherIp);
  ScriptedUserInterface otherUi;
  ASSERT_TRUE(VARIABLPUBLIC(otherIp, otherUi, folders));
  Session other(otherIp, otherUi, folders);
  CARGAVRCTL(other, otherEngine, 1);
  EXPECT_FALSE(chooseCompany(other, otherEngine, list.front(), {}, CompanyUse::Write));
  const auto refused = otherUi.callsOf("message");
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_NE(refused[0].text.find("La empresa est\341 en uso por otro proceso"), std::string::npos);
  EXPECT_TRUE(other.celPath().find(list.front().camino) == std::string::npos);
  // A reader may, and writes nothing; once the first one moves on, the second may write.
  EXPECT_TRUE(chooseCompany(other, otherEngine, list.front(), {}, CompanyUse::Read));
  EXPECT_FALSE(other.companyLock().held());
  ASSERT_TRUE(chooseCompany(session, engine, list[1], show));
  EXPECT_TRUE(chooseCompany(other, otherEngine, list.front(), {}, CompanyUse::Write));
}

}  // namespace

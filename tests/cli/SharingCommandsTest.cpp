// The real exogena-cli beside other processes and on damaged or unwritable files: a table held
// open elsewhere is never replaced under its holder, a second writer on a company is stopped
// with a message (listings run beside it), a listing writes nothing, a damaged assignment table
// or session file does not block the program, and a read-only program folder still lists.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>

#include "CliSupport.h"
#include "expr/Interp.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/FileLock.h"

namespace {

using clitest::Demo;
using clitest::readAll;
using CliRun = clitest::Run;
namespace fs = std::filesystem;

const std::string kCompany = " --company ANDINA10";

// Every file under `root` with its bytes and time of change.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    struct stat st {};
    ::stat(e.path().c_str(), &st);
    files[e.path().string()] = readAll(e.path()) + "@" + std::to_string(st.st_mtim.tv_sec) + "." +
                               std::to_string(st.st_mtim.tv_nsec);
  }
  return files;
}

// A format table of 1002 with three rows of one third party.
void writeFormatTable(const fs::path& company) {
  exo::Interp ip;
  exo::store::Engine e(ip);
  exo::store::createCompanyTable(e, company.string(), exo::store::formatTableFile("1002"));
  const int f = e.open((company / "TrF1002.dbf").string(), "F", false);
  const char* rows[][2] = {{"2318", "-800"}, {"2320", "-1600"}, {"2302", "-90"}};
  for (const auto& r : rows) {
    e.appendBlank(f);
    e.put(f, "CTA_DIR", exo::Value::text("T0001"));
    e.put(f, "CODIGO", exo::Value::text("2367050001"));
    e.put(f, "CONC", exo::Value::text(r[0]));
    e.put(f, "MONTO", exo::Value::number(std::stod(r[1])));
    e.put(f, "NAT", exo::Value::text("2"));
    e.put(f, "NIT", exo::Value::text("800100200"));
  }
  e.closeAll(ip);
}

TEST(SharingCommands, ARestoreLeavesABaseTableInUseAlone) {
  Demo demo("--lines 1000 --companies 1");
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  ASSERT_EQ(demo.cli("import-chart" + kCompany).exitCode, 0);
  ASSERT_EQ(demo.cli("import-movements --yes").exitCode, 0);
  writeFormatTable(work);
  ASSERT_EQ(demo.cli("bases --format 1002" + kCompany).exitCode, 0);
  // Another program has the table open and writes a corrected base into it.
  exo::Interp ip;
  exo::store::Engine other(ip);
  const int area = other.open((work / "TrF1002B.dbf").string(), "OTRO", true);
  ASSERT_NE(area, 0);
  other.put(area, "BASE_RET", exo::Value::number(123456));
  other.commit(ip, area);
  const CliRun r = demo.cli("bases --format 1002 --restore --yes" + kCompany);
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.err.find("TrF1002B.dbf est\xC3\xA1 en uso"), std::string::npos) << r.err;
  // The holder's value is still in the table it has open, and in the file under that name.
  other.put(area, "POR_RET", exo::Value::number(7));
  other.commit(ip, area);
  other.closeAll(ip);
  const int again = other.open((work / "TrF1002B.dbf").string(), "OTRO", true, true);
  EXPECT_EQ(other.number(again, "BASE_RET"), 123456);
  EXPECT_EQ(other.number(again, "POR_RET"), 7);
  other.closeAll(ip);
  // Once it is let go the restore runs.
  const CliRun done = demo.cli("bases --format 1002 --restore --yes" + kCompany);
  EXPECT_EQ(done.exitCode, 0) << done.err;
  EXPECT_NE(done.out.find("(construida)"), std::string::npos) << done.out;
}

TEST(SharingCommands, TheStartNeverErasesTheIndexOfAnAssignmentTableInUse) {
  Demo demo("--lines 1000 --companies 1");
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  const std::string index = readAll(work / "CodContx.cdx");
  ASSERT_FALSE(index.empty());
  exo::Interp ip;
  exo::store::Engine other(ip);
  ASSERT_NE(other.open((work / "CodCont.dbf").string(), "OTRO", true), 0);
  const CliRun r = demo.cli("select-company" + kCompany);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("en uso por otro programa"), std::string::npos) << r.err;
  EXPECT_EQ(readAll(work / "CodContx.cdx"), index);
  other.closeAll(ip);
  // Let go, the table is compacted: same records, index built anew beside and put in place.
  EXPECT_EQ(demo.cli("select-company" + kCompany).exitCode, 0);
  EXPECT_TRUE(fs::exists(work / "CodContx.cdx"));
  EXPECT_FALSE(fs::exists(work / "~CodCmp.dbf"));
  const CliRun list = demo.cli("assignments");
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_NE(list.out.find("1011\t1105\t1.1.05.05           \tD\tCAJA GENERAL\n"),
            std::string::npos);
}

TEST(SharingCommands, ListingsWriteNothing) {
  Demo demo("--lines 1000 --companies 1");
  ASSERT_TRUE(demo.ok());
  // The first run builds the reference tables' indexes (not installed by the demo).
  ASSERT_EQ(demo.cli("assignments" + kCompany).exitCode, 0);
  const auto before = snapshot(demo.root() / "demo");
  for (const char* listing : {"assignments", "check", "check 1002"}) {
    const CliRun r = demo.cli(std::string(listing) + kCompany);
    EXPECT_NE(r.out.find("Empresa:"), std::string::npos) << listing << r.err;
  }
  const auto after = snapshot(demo.root() / "demo");
  EXPECT_EQ(before.size(), after.size());
  for (const auto& [file, content] : before) {
    const auto it = after.find(file);
    ASSERT_NE(it, after.end()) << file;
    EXPECT_TRUE(it->second == content) << file << " changed";
  }
}

TEST(SharingCommands, ASecondWriterIsStoppedAndListingsRunBeside) {
  Demo demo("--lines 1000 --companies 1");
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  ASSERT_EQ(demo.cli("import-chart" + kCompany).exitCode, 0);
  {
    // This process writes in the company: it holds the company's lock file.
    exo::store::FileHold lock;
    ASSERT_EQ(lock.take((work / "EnUso.lck").string(), true), exo::store::FileHold::Status::Held);
    const CliRun r = demo.cli("import-chart");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("La empresa est\xC3\xA1 en uso por otro proceso"), std::string::npos)
        << r.err;
    const CliRun list = demo.cli("assignments");
    EXPECT_EQ(list.exitCode, 0) << list.err;
  }
  // Two writers started together: the second waits for the first or is told; neither meets the
  // other's scratch tables.
  const fs::path root = demo.root();
  const std::string run = "cd '" + demo.program().string() + "' && EXOGENA_DRIVE='" +
                          demo.drive().string() + "' '" + EXOGENA_CLI + "' integrate --yes";
  const std::string both =
      "(" + run + " >'" + (root / "o1").string() + "' 2>'" + (root / "e1").string() +
      "'; echo $? >'" + (root / "c1").string() + "') & (" + run + " >'" + (root / "o2").string() +
      "' 2>'" + (root / "e2").string() + "'; echo $? >'" + (root / "c2").string() + "') & wait";
  ASSERT_EQ(demo.cli("import-movements --yes").exitCode, 0);
  ASSERT_EQ(std::system(("bash -c \"" + both + "\"").c_str()), 0);
  for (const char* n : {"1", "2"}) {
    const std::string code = readAll(root / ("c" + std::string(n)));
    const std::string err = readAll(root / ("e" + std::string(n)));
    EXPECT_EQ(err.find("DOS Error"), std::string::npos) << err;
    if (code != "0\n") {
      EXPECT_NE(err.find("en uso por otro proceso"), std::string::npos) << err;
    }
  }
  EXPECT_TRUE(readAll(root / "c1") == "0\n" || readAll(root / "c2") == "0\n");
}

TEST(SharingCommands, ADamagedAssignmentTableIsListedCopiedOverOrRepaired) {
  Demo demo("--lines 1000 --companies 2");
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  const CliRun sound = demo.cli("assignments" + kCompany);
  ASSERT_EQ(sound.exitCode, 0);
  const std::string table = readAll(work / "CodCont.dbf");
  // One record overwritten, the file cut two records short of what its header announces.
  std::string damaged = table;
  const std::size_t header = 193, record = 70;
  std::fill_n(damaged.begin() + header + 4 * record, record, '\0');
  damaged.resize(damaged.size() - 1 - 2 * record);
  std::ofstream(work / "CodCont.dbf", std::ios::binary | std::ios::trunc) << damaged;

  CliRun r = demo.cli("assignments");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("3 registros no se pudieron leer"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("1011\t1105\t1.1.05.05           \tD\tCAJA GENERAL\n"), std::string::npos);
  // A writing command still runs (the start only warns), and leaves the table as it is.
  r = demo.cli("select-company");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("repair-assignments"), std::string::npos) << r.err;
  EXPECT_EQ(readAll(work / "CodCont.dbf"), damaged);

  r = demo.cli("repair-assignments");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Registros perdidos: 3\n"), std::string::npos) << r.out;
  EXPECT_EQ(readAll(work / "CodCont.dbf.danado"), damaged);
  const CliRun repaired = demo.cli("assignments");
  EXPECT_EQ(repaired.exitCode, 0) << repaired.err;
  const auto count = [](const std::string& out) {
    return std::stoi(out.substr(out.rfind("Asignaciones: ") + 14));
  };
  EXPECT_EQ(count(repaired.out), count(sound.out) - 3);

  // Damaged again, the table can be replaced by another company's.
  std::ofstream(work / "CodCont.dbf", std::ios::binary | std::ios::trunc) << damaged;
  ASSERT_EQ(demo.cli("select-company --company ANDINA09").exitCode, 0);
  ASSERT_EQ(demo.cli("select-company" + kCompany).exitCode, 0);
  r = demo.cli("copy-assignments --from-company ANDINA09 --yes");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(demo.cli("assignments").exitCode, 0);
}

TEST(SharingCommands, ADamagedSessionFileIsSetAsideAndRebuilt) {
  Demo demo("--lines 1000 --companies 1");
  ASSERT_TRUE(demo.ok());
  const fs::path session = demo.program() / "VarMem01.mem";
  const std::string garbage = "MVAR01\0\0\0\0\0\xC3garbage";
  std::ofstream(session, std::ios::binary | std::ios::trunc) << garbage;
  // A listing says so and writes nothing.
  CliRun r = demo.cli("assignments" + kCompany);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("no se puede leer"), std::string::npos) << r.err;
  EXPECT_EQ(readAll(session), garbage);
  // A writer sets it aside and writes it anew.
  r = demo.cli("select-company" + kCompany);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readAll(demo.program() / "VarMem01.mem.danado"), garbage);
  EXPECT_NE(readAll(session), garbage);
  EXPECT_EQ(demo.cli("assignments").exitCode, 0);  // the company of the session again
}

TEST(SharingCommands, AReadOnlyProgramFolderStillLists) {
  Demo demo("--lines 1000 --companies 1");
  ASSERT_TRUE(demo.ok());
  ASSERT_EQ(demo.cli("assignments" + kCompany).exitCode, 0);
  const auto before = snapshot(demo.root() / "demo");
  // Everything readable, nothing writable; as root the listing runs as another user.
  ASSERT_EQ(std::system(("chmod -R a+rX,a-w '" + demo.root().string() + "'").c_str()), 0);
  std::string prefix;
  if (::geteuid() == 0) {
    if (std::system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "no setpriv";
    prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  const fs::path out = fs::temp_directory_path() / ("exo-ro-" + std::to_string(::getpid()));
  for (const char* listing : {"assignments", "check"}) {
    const std::string command = "cd '" + demo.program().string() + "' && " + prefix +
                                "env EXOGENA_DRIVE='" + demo.drive().string() + "' '" +
                                EXOGENA_CLI + "' " + listing + " >'" + out.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string text = readAll(out);
    // "check" ends with 1 on a company whose formats are not integrated yet.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << listing << ": " << text;
    EXPECT_EQ(text.find("DOS Error"), std::string::npos) << text;
    EXPECT_NE(text.find("Empresa:"), std::string::npos) << text;
  }
  fs::remove(out);
  std::system(("chmod -R u+w '" + demo.root().string() + "'").c_str());
  EXPECT_EQ(snapshot(demo.root() / "demo").size(), before.size());
}

}  // namespace

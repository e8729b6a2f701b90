// The real exogena-cli killed or starved by the system under a tracer (strace): the assignment
// copy killed at each of its renames in turn, and the generation of a format failing on a full
// disk at its writes. The next command must find the user's files whole, old or new, and a failed
// write must say so and leave no file under the official name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "CliSupport.h"
#include "expr/Failure.h"
#include "store/Cdx.h"
#include "store/Dbf.h"

namespace {

using clitest::Demo;
using clitest::readAll;
namespace fs = std::filesystem;

const std::string kCompany = "--company ANDINA10 ";

void restoreFolder(const fs::path& folder, const fs::path& saved) {
  fs::remove_all(folder);
  fs::copy(saved, folder, fs::copy_options::recursive);
}

// The pair of the assignments, the listing the next command gives, and what stays beside them.
struct Assignments {
  std::string table, index, listing;
  bool operator==(const Assignments&) const = default;
};

Assignments listed(const Demo& demo, const fs::path& work, std::string& trouble) {
  const clitest::Run r = demo.cli(kCompany + "assignments");
  if (r.exitCode != 0 || r.err.find("No ha inicializado") != std::string::npos)
    trouble = "assignments: " + std::to_string(r.exitCode) + " " + r.err;
  return {readAll(work / "CodCont.dbf"), readAll(work / "CodContx.cdx"), r.out};
}

// Empty when every tag of the assignments' index holds one key per record of the table.
std::string indexDisagrees(const fs::path& work) {
  try {
    exo::store::Dbf table =
        exo::store::Dbf::open((work / "CodCont.dbf").string(), {false, true, 0});
    exo::store::Cdx index =
        exo::store::Cdx::open((work / "CodContx.cdx").string(), {false, true, 0});
    for (std::size_t t = 0; t < index.tags().size(); ++t) {
      if (const std::string fault = index.check(t); !fault.empty()) return fault;
      std::uint32_t keys = 0;
      exo::store::CdxCursor c(index, t);
      for (bool ok = c.first(); ok; ok = c.next()) ++keys;
      if (keys != table.recordCount())
        return index.tags()[t].name + ": " + std::to_string(keys) + " claves, " +
               std::to_string(table.recordCount()) + " registros";
    }
  } catch (const exo::FailureError& e) {
    return e.failure().description;
  }
  return {};
}

// The tracer before the program; the leak check of a sanitized build cannot run under it.
const std::string kTracer = "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 strace -f -qq ";

// Calls that strace stops the command at, counted over the whole process tree.
int syscallCount(const Demo& demo, const std::string& syscalls, const std::string& args) {
  const fs::path log = demo.root() / "strace-count.txt";
  demo.cli(args, kTracer + "-e trace=" + syscalls + " -o '" + log.string() + "'");
  const std::string text = readAll(log);
  int n = 0;
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at) ++n;
  return n;
}

TEST(KilledCommands, TheAssignmentCopyKilledAtEveryRenameLeavesTheOldPairOrTheNew) {
  REQUIRE_STRACE();
  Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  const fs::path saved = demo.root() / "saved";
  const std::string copy = kCompany + "copy-assignments --previous-year --yes";

  // The pair before the copy (once compacted by a start) and after an uninterrupted copy.
  std::string trouble;
  const Assignments before = listed(demo, work, trouble);
  ASSERT_EQ(trouble, "");
  fs::copy(work, saved, fs::copy_options::recursive);
  ASSERT_EQ(demo.cli(copy).exitCode, 0);
  const Assignments after = listed(demo, work, trouble);
  ASSERT_EQ(trouble, "");
  ASSERT_NE(before.table, after.table);  // the previous year's table differs
  const int renames = syscallCount(demo, "rename,renameat,renameat2", copy);
  ASSERT_GE(renames, 2);

  int sawBefore = 0, sawAfter = 0;
  for (int n = 1; n <= renames + 1; ++n) {
    SCOPED_TRACE("rename " + std::to_string(n));
    restoreFolder(work, saved);
    const clitest::Run killed =
        demo.cli(copy, kTracer +
                           "-o /dev/null -e trace=rename,renameat,renameat2 -e inject="
                           "rename,renameat,renameat2:signal=SIGKILL:when=" +
                           std::to_string(n) + "+");
    if (n <= renames) {
      EXPECT_NE(killed.exitCode, 0) << "not killed";
    }
    // The listing (which writes nothing) reads the old table or the new one, whole.
    const Assignments next = listed(demo, work, trouble);
    EXPECT_EQ(trouble, "");
    const bool old = next.table == before.table && next.listing == before.listing;
    EXPECT_TRUE(old || (next.table == after.table && next.listing == after.listing))
        << "neither the old table nor the new";
    (old ? sawBefore : sawAfter) += 1;
    // The next command that writes in the company finishes what the killed run left (a
    // replacement already decided goes forward): the old table or the new, its index agreeing
    // with it, and nothing else beside.
    EXPECT_EQ(demo.cli(kCompany + "copy-assignments --previous-year --no").exitCode, 0);
    const std::string table = readAll(work / "CodCont.dbf");
    EXPECT_TRUE(table == before.table || table == after.table);
    EXPECT_EQ(indexDisagrees(work), "");
    for (const auto& e : fs::directory_iterator(work)) {
      const std::string name = e.path().filename().string();
      EXPECT_TRUE(name.front() != '~' && name.find(".tmp") == std::string::npos) << name;
    }
  }
  // Killed early the copy leaves the old pair, killed late the new one.
  EXPECT_GT(sawBefore, 0);
  EXPECT_GT(sawAfter, 0);
  std::printf("copy-assignments: %d renames, %d veces el par anterior, %d el nuevo\n", renames,
              sawBefore, sawAfter);
}

// An XML file without its moment of sending (FecEnvio), which changes from run to run.
std::string withoutMoment(std::string text) {
  const std::size_t from = text.find("<FecEnvio>"), to = text.find("</FecEnvio>");
  if (from != std::string::npos && to != std::string::npos && to > from)
    text.erase(from, to - from);
  return text;
}

TEST(KilledCommands, GenerationOnAFullDiskLeavesNoFileUnderItsNameAndFails) {
  REQUIRE_STRACE();
  Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  for (const char* step : {"import-chart", "import-movements", "integrate"})
    ASSERT_EQ(demo.cli(kCompany + step).exitCode, 0) << step;
  const std::string generate = kCompany + "generate --format 1001 --xml --yes --envio 7";
  const fs::path output = demo.program() / "NRVVS" / "ANDINA10" / "SALIDA";
  // The names of the files the format gives, and their contents after a whole run.
  ASSERT_EQ(demo.cli(generate).exitCode, 0);
  auto xmlFiles = [&] {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(output))
      if (e.path().extension() == ".xml") names.insert(e.path().string());
    return names;
  };
  const std::set<std::string> written = xmlFiles();
  ASSERT_EQ(written.size(), 1u);
  const fs::path xml = *written.begin();
  const std::string whole = readAll(xml);

  // Every write of the run to a file of the store, failed in turn as a full disk fails it.
  const int writes = syscallCount(demo, "pwrite64", generate);
  ASSERT_GE(writes, 1);
  std::vector<int> points;
  for (int n = 1; n <= writes; n += std::max(1, writes / 12)) points.push_back(n);
  points.push_back(writes);
  for (const bool previous : {false, true}) {
    for (const int n : points) {
      SCOPED_TRACE((previous ? "with a previous file, write " : "write ") + std::to_string(n));
      if (previous) {
        std::ofstream(xml, std::ios::binary | std::ios::trunc) << "anterior";
      } else {
        fs::remove(xml);
      }
      const clitest::Run r = demo.cli(
          generate, kTracer +
                        "-o /dev/null -e trace=pwrite64 -e inject=pwrite64:error=ENOSPC:when=" +
                        std::to_string(n) + "+");
      EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
      // The message names the failed write (or the full disk).
      EXPECT_TRUE(r.err.find("escrib") != std::string::npos ||
                  r.err.find("escritura") != std::string::npos ||
                  r.err.find("espacio") != std::string::npos)
          << r.err;
      // No file under the official name, or the previous one untouched; only a disk that filled
      // after the file was put in place (at the closing of the scratch tables) leaves it whole.
      if (fs::exists(xml) && withoutMoment(readAll(xml)) != withoutMoment(whole)) {
        EXPECT_TRUE(previous);
        EXPECT_EQ(readAll(xml), "anterior");
      }
      EXPECT_EQ(xmlFiles().size(), fs::exists(xml) ? 1u : 0u);
      for (const auto& e : fs::directory_iterator(xml.parent_path()))
        EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
    }
  }
  // A run that succeeds afterwards writes the same file as the first.
  ASSERT_EQ(demo.cli(generate).exitCode, 0);
  EXPECT_EQ(withoutMoment(readAll(xml)), withoutMoment(whole));
}

// A write that fails when a format's scratch table is closed, after that format's files were
// put in place (the disk filled at that moment): that format is not generated and leaves no file,
// the formats after it are not generated, the command fails, and the formats before it keep their
// files. Before, the run went on with the program's tables closed and wrote broken files.
TEST(KilledCommands, AFailureInOneFormatStopsARunOverAllFormats) {
  REQUIRE_STRACE();
  Demo demo("--lines 3000 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  for (const char* step :
       {"import-chart", "import-movements", "fix-iva", "fix-comisiones", "integrate"})
    ASSERT_EQ(demo.cli(kCompany + step).exitCode, 0) << step;
  for (const char* f : {"1002", "1003", "1004", "1010", "1011", "1012"})
    ASSERT_EQ(demo.cli(kCompany + "bases --format " + f + " --yes").exitCode, 0) << f;
  const fs::path work = demo.program() / "NRVVS" / "ANDINA10";
  const fs::path output = work / "SALIDA";
  const std::string generate = kCompany + "generate --format all --both --yes --envio 7";
  auto outputFiles = [&] {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(output)) {
      const std::string name = e.path().filename().string();
      if (e.path().extension() == ".xml") files[name] = withoutMoment(readAll(e.path()));
      else if (e.path().extension() == ".xlsx") files[name] = "";
    }
    return files;
  };
  const clitest::Run clean = demo.cli(generate);
  const auto whole = outputFiles();
  ASSERT_GE(whole.size(), 20u) << clean.out << clean.err;

  // The last write of the run into the scratch table TotDat4.dbf: the update of its header when
  // its format closes it. The formats go on one thread here: on two, which worker takes which
  // format (and so which of the two scratch tables a write goes to, and how many writes each
  // gets) changes from run to run, and no count would name the same moment twice. The rule on
  // two workers is tested with the run itself (FormatRunTest).
  const std::string table = (work / "TotDat4.dbf").string();
  const std::string tracer = "EXOGENA_HILOS_FORMATOS=1 " + kTracer;
  const fs::path log = demo.root() / "totdat4.txt";
  demo.cli(generate, tracer + "-P '" + table + "' -e trace=pwrite64 -o '" + log.string() + "'");
  const std::string traced = readAll(log);
  const auto writes = std::count(traced.begin(), traced.end(), '\n');
  ASSERT_GE(writes, 1);

  fs::remove_all(output);
  const clitest::Run failed = demo.cli(
      generate,
      tracer + "-o /dev/null -P '" + table +
          "' -e trace=pwrite64 -e inject=pwrite64:error=ENOSPC:when=" + std::to_string(writes));
  EXPECT_EQ(failed.exitCode, 1) << failed.out << failed.err;
  EXPECT_NE(failed.err.find("No hay espacio en el disco"), std::string::npos) << failed.err;
  // Every file left is one of the clean run, as it was there; the formats said generated are
  // exactly those with files.
  const auto left = outputFiles();
  EXPECT_LT(left.size(), whole.size());
  for (const auto& [name, text] : left) {
    ASSERT_TRUE(whole.count(name)) << name;
    EXPECT_EQ(text, whole.at(name)) << name;
  }
  int generated = 0, stopped = 0;
  bool failing = false;
  for (int n = 1; n <= 12; ++n) {
    const std::string code = std::to_string(1000 + n);
    const bool done = failed.out.find("Formato " + code + ": no generado") == std::string::npos;
    const bool hasFiles = std::any_of(left.begin(), left.end(), [&](const auto& f) {
      return f.first.rfind("Dmuisca_010" + code, 0) == 0 ||
             f.first.find("MMgmExc" + code.substr(2) + ".") != std::string::npos;
    });
    EXPECT_EQ(done, hasFiles) << code;
    // The formats after the failed one are not run at all.
    if (!done && failing) ++stopped;
    if (!done) failing = true;
    if (done) {
      EXPECT_FALSE(failing) << code << " generado tras el formato fallido";
      ++generated;
    }
  }
  EXPECT_TRUE(failing);
  EXPECT_GT(generated, 0);
  if (stopped > 0) {
    EXPECT_NE(failed.out.find("un error en un formato anterior detuvo la generaci\xC3\xB3n"),
              std::string::npos)
        << failed.out;
  }

  // The run again gives the clean run's files.
  demo.cli(generate);
  EXPECT_EQ(outputFiles(), whole);
}

// Each read of an index file failing in turn (an I/O error of the disk): the command fails and
// names the file. A read whose failure was taken for "nothing there" would let the program trust
// an index that may be behind its table.
TEST(KilledCommands, EveryFailedReadOfAnIndexFailsTheCommand) {
  REQUIRE_STRACE();
  Demo demo("--lines 300 --companies 1 --products both");
  ASSERT_TRUE(demo.ok());
  const std::string index = (demo.program() / "Conceptx.cdx").string();
  const std::string listing = kCompany + "assignments";
  ASSERT_EQ(demo.cli(listing).exitCode, 0);
  const fs::path log = demo.root() / "reads.txt";
  demo.cli(listing, kTracer + "-P '" + index + "' -e trace=pread64 -o '" + log.string() + "'");
  const std::string traced = readAll(log);
  const auto reads = std::count(traced.begin(), traced.end(), '\n');
  ASSERT_GE(reads, 2);
  for (long n = 1; n <= reads; ++n) {
    SCOPED_TRACE("read " + std::to_string(n));
    const clitest::Run r = demo.cli(
        listing, kTracer + "-o /dev/null -P '" + index +
                     "' -e trace=pread64 -e inject=pread64:error=EIO:when=" + std::to_string(n));
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("Error de lectura: Conceptx.cdx"), std::string::npos) << r.err;
  }
}

}  // namespace

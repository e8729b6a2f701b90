// Every step of the return stopped at each of its file operations in turn, as if the process had
// been killed there (the store's file-operation hook stops the run and lets nothing more reach
// the disk). After each stop the program starts again on the company, and then:
//   - every table of the company opens, and every tag of every index holds exactly the keys a
//     fresh build over the table gives;
//   - every file of the company equals its contents before the step or after it, and the
//     tables (with their indexes and memos) are all of before or all of after;
//   - the step run again gives the same files as the run never interrupted.
// The stop points of each step are counted and printed.
#include <gtest/gtest.h>
#include <cctype>
#include <cerrno>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "assignment/AssignmentCopy.h"
#include "consolidation/Bases.h"
#include "consolidation/Integration.h"
#include "consolidation/ManualData.h"
#include "demo/Demo.h"
#include "expr/Text.h"
#include "generation/DemoProgram.h"
#include "generation/GenerateAll.h"
#include "generation/Generation.h"
#include "generation/XmlWriter.h"
#include "import/LedgerImport.h"
#include "import/ThirdPartyCheck.h"
#include "masterdata/ThirdParty.h"
#include "reports/Runner.h"
#include "reports/WorkbookScript.h"
#include "shell/Company.h"
#include "shell/ErrorHandler.h"
#include "shell/Paths.h"
#include "shell/Runtime.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/File.h"
#include "store/FileFaults.h"
#include "store/RefTables.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;
using store::FileOp;
using store::FileOpDecision;

using demoprogram::Program;

struct Step {
  std::string name;
  std::function<bool(Program&)> run;  // true when the step ran to its end
};

std::vector<Step> returnSteps() {
  std::vector<Step> steps = {
      {"importar cuentas",
       [](Program& p) { return import::IMPORTAPUC(p.session(), p.engine()).done; }},
      {"importar movimientos",
       [](Program& p) { return import::IMPORTATRACON(p.session(), p.engine()).done; }},
      {"regularizar IVA",
       [](Program& p) { return import::ARREGLAIVA(p.session(), p.engine()).done; }},
      {"regularizar comisiones",
       [](Program& p) { return import::ARREGLACOMIS(p.session(), p.engine()).done; }},
      {"integrar",
       [](Program& p) { return consolidation::IMPORTACONTAB(p.session(), p.engine()).done; }},
  };
  for (const int n : {2, 3}) {
    steps.push_back(
        {"bases " + store::formatCode(n), [n](Program& p) {
           return consolidation::withholdingBases(p.session(), p.engine(), n, true, false).done;
         }});
  }
  for (const int n : {4, 10, 11, 12}) {
    steps.push_back({"datos manuales " + store::formatCode(n), [n](Program& p) {
                       return consolidation::prepareManualData(p.session(), p.engine(), n).done;
                     }});
  }
  for (int n = 1; n <= 12; ++n) {
    steps.push_back(
        {"generar " + store::formatCode(n), [n](Program& p) {
           const generation::HeaderEditor header = [](generation::Header&) { return true; };
           const auto r = generation::GENERADORAZO(p.session(), p.engine(), *p.runner, n,
                                                   generation::kAllConcepts, true, true, header);
           return r.done && r.xmlWritten;
         }});
  }
  steps.push_back({"copiar terceros",
                   [](Program& p) { return import::IMPORTASOLOTERC(p.session(), p.engine()); }});
  steps.push_back({"copiar asignaciones", [](Program& p) {
                     return assignment::copyAssignmentsFromPreviousYear(p.session(), p.engine()) ==
                            assignment::CopyOutcome::Copied;
                   }});
  return steps;
}

// --- the company folder's files ------------------------------------------------------------

using Files = std::map<std::string, std::string>;  // path relative to the folder -> bytes

std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Files allFiles(const fs::path& folder) {
  Files files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (e.is_regular_file())
      files[fs::relative(e.path(), folder).generic_string()] = readBytes(e.path());
  }
  return files;
}

void restore(const fs::path& folder, const Files& files) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const auto& [name, bytes] : files) {
    const fs::path p = folder / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
}

// A file of the run's own making, not of the company: a staged or temporary file, a scratch
// table of the dictionary or of the generation, the error log.
bool isScratch(const std::string& name) {
  const std::string base = upper1252(fs::path(name).filename().string());
  if (base.front() == '~' || base.find(".TMP") != std::string::npos ||
      base.find("-TEMPEXC") != std::string::npos || base == "ERROR.LOG" || base == "TRACE.LOG" ||
      base.rfind("TMPXML", 0) == 0)
    return true;
  for (const store::TableDef& t : store::scratchTables()) {
    if (!t.file.empty() &&
        upper1252(fs::path(t.file).stem().string()) == upper1252(fs::path(base).stem().string()))
      return true;
    for (const store::IndexDef& i : t.indexes)
      if (upper1252(i.file) == base) return true;
  }
  return false;
}

bool isTableFile(const std::string& name) {
  const std::string ext = upper1252(fs::path(name).extension().string());
  return ext == ".DBF" || ext == ".CDX" || ext == ".FPT";
}

std::string comparable(const std::string& name, const std::string& bytes);

Files official(const Files& files) {
  Files out;
  for (const auto& [name, bytes] : files)
    if (!isScratch(name)) out.emplace(name, comparable(name, bytes));
  return out;
}

// Empty when every table of the company opens and every index of it describes its table
// exactly (each tag holds the keys a fresh build over the table gives), else what is wrong.
std::string indexesDisagree(const fs::path& folder, const fs::path& scratch) {
  for (const store::TableDef& def : store::companyTables()) {
    const auto table = shell::findEntry(folder, def.file);
    for (const store::IndexDef& index : def.indexes) {
      const auto bag = shell::findEntry(folder, index.file);
      if (!bag) continue;
      if (!table) return index.file + ": \355ndice sin tabla";
      try {
        store::Cdx stored = store::Cdx::open(bag->string(), {true, true, 0});
        for (std::size_t t = 0; t < stored.tags().size(); ++t) {
          const store::TagInfo& tag = stored.tags()[t];
          if (const std::string fault = stored.check(t); !fault.empty())
            return index.file + " " + tag.name + ": " + fault;
          Interp ip;
          store::Engine engine(ip);
          // A copy of the table, so that the check writes nothing of the company's.
          const fs::path copy = scratch / "chk.dbf";
          fs::copy_file(*table, copy, fs::copy_options::overwrite_existing);
          if (const std::string memo = store::findCompanion(table->string(), ".fpt"); !memo.empty())
            fs::copy_file(memo, scratch / "chk.fpt", fs::copy_options::overwrite_existing);
          else fs::remove(scratch / "chk.fpt");
          const int area = engine.open(copy.string(), "CHK", false);
          if (area == 0) return def.file + ": no abre";
          const fs::path fresh = scratch / "fresh.cdx";
          fs::remove(fresh);
          engine.buildIndex(area, fresh.string(), tag.name, tag.keyExpression, tag.forExpression,
                            tag.descending);
          engine.closeAll(ip);
          store::Cdx built = store::Cdx::open(fresh.string(), {true, true, 0});
          std::vector<std::pair<std::string, std::uint32_t>> want, held;
          store::CdxCursor a(built, 0), b(stored, t);
          for (bool ok = a.first(); ok; ok = a.next()) want.emplace_back(a.key(), a.recno());
          for (bool ok = b.first(); ok; ok = b.next()) held.emplace_back(b.key(), b.recno());
          if (want != held)
            return index.file + " " + tag.name + ": " + std::to_string(held.size()) +
                   " claves, la tabla da " + std::to_string(want.size());
        }
      } catch (const FailureError& f) {
        return index.file + ": " + f.failure().description;
      }
    }
    if (table) {
      try {
        store::Dbf::open(table->string(), {true, true, 0}).close();
      } catch (const FailureError& f) {
        return def.file + ": " + f.failure().description;
      }
    }
  }
  return {};
}

// Stops the run at the `stopAt`-th operation that changes a file (0: never), counting them.
struct StopHook {
  long stopAt = 0;
  long seen = 0;
  bool stopped = false;
  FileOpDecision operator()(FileOp op, const std::string& path) {
    if (op == FileOp::Open) return {};
    if (stopped) return {FileOpDecision::Kind::Skip, 0};
    // Writes into a staged or scratch file are not stop points of their own: nothing reads that
    // file until a later operation (its sync, its rename) does, and a stop there covers them.
    if (op == FileOp::Write && isScratch(path)) return {};
    if (++seen == stopAt) {
      stopped = true;
      return {FileOpDecision::Kind::Stop, 0};
    }
    return {};
  }
};

// Runs the step on a program started afresh, with the hook installed from the step's start
// until the program has ended (a stopped program writes nothing more, not even when it closes
// its tables); true when the step was stopped.
bool runStopped(const demo::DemoInstallation& inst, const Step& step, StopHook& hook, bool& done) {
  auto program = std::make_unique<Program>(inst);
  bool stopped = false;
  store::setFileOpHook([&hook](FileOp op, const std::string& path) { return hook(op, path); });
  try {
    done = step.run(*program);
  } catch (const store::RunStopped&) {
    stopped = true;
  }
  program.reset();
  store::setFileOpHook({});
  return stopped || hook.stopped;
}

std::string describeDifference(const Files& got, const Files& want) {
  for (const auto& [name, bytes] : want) {
    const auto it = got.find(name);
    if (it == got.end()) return "falta " + name;
    if (it->second != bytes) return "difiere " + name;
  }
  for (const auto& [name, bytes] : got)
    if (!want.count(name)) return "sobra " + name;
  return {};
}

// The stop points tried: every one with EXOGENA_CRASH_ALL set (a few minutes under the
// sanitizers); else the first ones, the last ones (where the new files are put in place) and
// an even spread between them, so that the suite stays quick.
std::vector<long> stopPoints(long points) {
  std::vector<long> chosen;
  const bool all = std::getenv("EXOGENA_CRASH_ALL") != nullptr;
  const long stride = all ? 1 : std::max(1L, points / 8);
  for (long k = 1; k <= points; ++k) {
    if (all || k <= 3 || k > points - 12 || k % stride == 0) chosen.push_back(k);
  }
  return chosen;
}

// Workbooks carry the moment they were written: compared as complete files (their zip
// directory's end record present), not byte by byte.
// XML files carry the moment of sending (FecEnvio), taken out of the comparison.
std::string comparable(const std::string& name, const std::string& bytes) {
  // The integration's stamp records the moments of the tables it read, which a restore changes.
  if (upper1252(fs::path(name).filename().string()) == "INTEGRA.STA") return "sello";
  const std::string ext = upper1252(fs::path(name).extension().string());
  if (ext == ".XML") {
    std::string text = bytes;
    const std::size_t from = text.find("<FecEnvio>"), to = text.find("</FecEnvio>");
    if (from != std::string::npos && to != std::string::npos && to > from)
      text.erase(from, to - from);
    return text;
  }
  if (ext != ".XLSX") return bytes;
  const bool complete =
      bytes.size() >= 22 && bytes.rfind(std::string("PK\x05\x06", 4)) != std::string::npos;
  return complete ? "libro completo" : "libro incompleto";
}

class CrashTest : public ::testing::TestWithParam<std::size_t> {
 protected:
  static void SetUpTestSuite() {
    root = fs::temp_directory_path() / ("exo-crash-" + std::to_string(::getpid()));
    fs::remove_all(root);
    demo::DemoOptions o;
    o.folder = (root / "demo").string();
    o.lines = 150;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    installation = demo::installDemo(o);
    fs::create_directories(root / "scratch");
  }
  static void TearDownTestSuite() {
    fs::current_path(fs::temp_directory_path());
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  static fs::path companyFolder() {
    const demo::DemoCompany& c = installation.companies.front();
    return fs::path(installation.programFolder) / c.product / c.folder;
  }
  static inline fs::path root;
  static inline demo::DemoInstallation installation;
};

// One test per step of the return, so that they run side by side: the steps before it run
// uninterrupted, then the step is stopped at each of its file operations in turn.
TEST_P(CrashTest, StoppedAtEachFileOperationLeavesTheCompanySound) {
  const fs::path work = companyFolder();
  const fs::path scratch = root / "scratch";
  const std::vector<Step> steps = returnSteps();
  for (std::size_t i = 0; i < GetParam(); ++i) {
    StopHook none;
    bool done = false;
    ASSERT_FALSE(runStopped(installation, steps[i], none, done));
    ASSERT_TRUE(done) << steps[i].name;
  }
  const Step& step = steps[GetParam()];
  {
    SCOPED_TRACE(step.name);
    const Files before = allFiles(work);
    // The run never interrupted: its files and the number of its stop points.
    StopHook counting;
    bool done = false;
    ASSERT_FALSE(runStopped(installation, step, counting, done));
    ASSERT_TRUE(done) << "el paso no termina sin interrupci\363n";
    const long points = counting.seen;
    const Files after = allFiles(work);
    const Files beforeOfficial = official(before), afterOfficial = official(after);
    // A second run from the same files gives the same files (what the comparison below needs).
    restore(work, before);
    {
      StopHook again;
      bool doneAgain = false;
      runStopped(installation, step, again, doneAgain);
      ASSERT_TRUE(doneAgain);
      ASSERT_EQ(describeDifference(official(allFiles(work)), afterOfficial), "")
          << "dos corridas sin interrupci\363n dan archivos distintos";
    }
    for (const long k : stopPoints(points)) {
      SCOPED_TRACE("detenido en la operaci\363n " + std::to_string(k) + " de " +
                   std::to_string(points));
      restore(work, before);
      StopHook hook;
      hook.stopAt = k;
      bool stepDone = false;
      ASSERT_TRUE(runStopped(installation, step, hook, stepDone));
      // The next start finishes or drops what the stopped run left.
      { Program next(installation); }
      const Files now = official(allFiles(work));
      ASSERT_EQ(indexesDisagree(work, scratch), "");
      bool tablesBefore = true, tablesAfter = true;
      std::set<std::string> names;
      for (const Files* f : {&now, &beforeOfficial, &afterOfficial})
        for (const auto& [name, bytes] : *f) names.insert(name);
      for (const std::string& name : names) {
        const auto value = [&](const Files& f) -> std::optional<std::string> {
          const auto it = f.find(name);
          return it == f.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        const auto v = value(now);
        const bool isBefore = v == value(beforeOfficial), isAfter = v == value(afterOfficial);
        ASSERT_TRUE(isBefore || isAfter) << name << " no es el de antes ni el de despu\351s";
        if (isTableFile(name)) {
          tablesBefore = tablesBefore && isBefore;
          tablesAfter = tablesAfter && isAfter;
        }
      }
      ASSERT_TRUE(tablesBefore || tablesAfter) << "tablas de antes y de despu\351s mezcladas";
      // The step run again ends as the run never interrupted.
      StopHook none;
      bool doneAgain = false;
      runStopped(installation, step, none, doneAgain);
      ASSERT_TRUE(doneAgain);
      ASSERT_EQ(describeDifference(official(allFiles(work)), afterOfficial), "");
    }
    std::printf("%-26s %ld puntos de detenci\363n\n", step.name.c_str(), points);
  }
}

// A full disk at each write of the generation of a format in turn: the step fails, and no XML
// file stands under its official name (a file written before stays as it was).
TEST_F(CrashTest, AFullDiskAtAnyWriteOfTheGenerationLeavesNoFileUnderItsName) {
  const fs::path work = companyFolder();
  const std::vector<Step> steps = returnSteps();
  std::size_t generate = 0;
  for (std::size_t i = 0; steps[i].name != "generar 1001"; ++i) {
    StopHook none;
    bool done = false;
    ASSERT_FALSE(runStopped(installation, steps[i], none, done));
    ASSERT_TRUE(done) << steps[i].name;
    generate = i + 1;
  }
  const Step& step = steps[generate];
  const Files before = allFiles(work);
  auto xmlFiles = [&] {
    Files xml;
    for (const auto& [name, bytes] : allFiles(work))
      if (upper1252(fs::path(name).extension().string()) == ".XML") xml.emplace(name, bytes);
    return xml;
  };
  StopHook counting;
  bool done = false;
  ASSERT_FALSE(runStopped(installation, step, counting, done));
  ASSERT_TRUE(done);
  const Files written = xmlFiles();
  ASSERT_EQ(written.size(), 1u);
  long writes = 0;
  for (const bool previous : {false, true}) {
    for (long n = 1;; ++n) {
      SCOPED_TRACE((previous ? "con archivo anterior, escritura " : "escritura ") +
                   std::to_string(n));
      restore(work, before);
      if (previous) {
        const fs::path xml = work / written.begin()->first;
        fs::create_directories(xml.parent_path());
        std::ofstream(xml, std::ios::binary) << "anterior";
      }
      long seen = 0;
      bool failed = false;
      store::setFileOpHook([&](FileOp op, const std::string&) -> FileOpDecision {
        if (op != FileOp::Write || ++seen < n) return {};  // full from the n-th write on
        failed = true;
        return {FileOpDecision::Kind::Fail, ENOSPC};
      });
      bool stepDone = false;
      try {
        Program program(installation);
        stepDone = step.run(program);
      } catch (const store::RunStopped&) {
        ADD_FAILURE() << "detenido";
      } catch (const FailureError&) {
        stepDone = false;
      }
      store::setFileOpHook({});
      if (!failed) {
        writes = n - 1;
        EXPECT_TRUE(stepDone);
        break;
      }
      // No file under the official name, or the previous one as it was; only a disk that filled
      // after the file was put in place (or a failure retried) leaves the whole file.
      const Files xml = xmlFiles();
      ASSERT_LE(xml.size(), 1u);
      const bool whole =
          !xml.empty() && comparable(xml.begin()->first, xml.begin()->second) ==
                              comparable(written.begin()->first, written.begin()->second);
      // A failure after the file was put in place leaves no file either: nothing of a failed
      // run stands under the official name.
      if (stepDone) {
        EXPECT_TRUE(whole);
      } else {
        EXPECT_FALSE(whole);
        if (!xml.empty()) {
          EXPECT_TRUE(previous);
          EXPECT_EQ(xml.begin()->second, "anterior");
        }
      }
    }
  }
  EXPECT_GT(writes, 0);
  std::printf("generar 1001 con el disco lleno: %ld escrituras\n", writes);
}

// The run over all formats, failing one write when a format's scratch table is closed after its
// files are in place, with the error handler as the command line answers it (the program does
// not end): that format is not generated and leaves no file, and the formats after it are not
// run. Before, they ran on with the program's tables closed and wrote broken files.
TEST_F(CrashTest, AFailureInOneFormatStopsTheRunOverAllFormats) {
  const fs::path work = companyFolder();
  const std::vector<Step> steps = returnSteps();
  for (std::size_t i = 0; steps[i].name != "generar 1001"; ++i) {
    StopHook none;
    bool done = false;
    ASSERT_FALSE(runStopped(installation, steps[i], none, done));
    ASSERT_TRUE(done) << steps[i].name;
  }
  const Files before = allFiles(work);
  std::vector<int> all;
  for (int n = 1; n <= 12; ++n) all.push_back(n);
  // One run with the handler of the command line; `failAt` the write into TotDat4.dbf to fail.
  auto run = [&](long failAt, long& writes) {
    restore(work, before);
    Program program(installation);
    shell::ErrorHandler handler(program.runtime.interp(), program.ui, &program.engine(),
                                fs::current_path());
    handler.setDialog([](const std::string&, const std::vector<std::string>&,
                         const std::vector<std::string>&) { return -1; });
    handler.setExit([](int) {});
    handler.setMainLoopRunning(true);
    shell::ERRORSYS(handler, program.runtime.interp());
    writes = 0;
    store::setFileOpHook([&](FileOp op, const std::string& path) -> FileOpDecision {
      if (op != FileOp::Write || upper1252(fs::path(path).filename().string()) != "TOTDAT4.DBF")
        return {};
      return ++writes == failAt ? FileOpDecision{FileOpDecision::Kind::Fail, ENOSPC}
                                : FileOpDecision{};
    });
    const generation::HeaderEditor header = [](generation::Header&) { return true; };
    generation::AllFormatsResult r = generation::generateFormats(
        program.session(), program.engine(), *program.runner, all, true, true, header);
    store::setFileOpHook({});
    program.runtime.interp().setErrorHandler(defaultErrorHandler);
    return r;
  };
  long writes = 0;
  const generation::AllFormatsResult clean = run(0, writes);
  ASSERT_EQ(clean.generated(), 12u);
  ASSERT_GT(writes, 0);
  const Files cleanFiles = official(allFiles(work));

  long again = 0;
  const generation::AllFormatsResult failed = run(writes, again);
  ASSERT_EQ(failed.formats.size(), 12u);
  std::size_t at = 0;
  while (at < 12 && failed.formats[at].done) ++at;
  ASSERT_LT(at, 12u);
  ASSERT_GT(at, 0u);
  // The formats before keep their files as the clean run wrote them; the failed one and the
  // ones after it have none.
  const Files left = official(allFiles(work));
  for (std::size_t i = 0; i < 12; ++i) {
    SCOPED_TRACE(store::formatCode(failed.formats[i].format));
    if (i > at) {
      EXPECT_FALSE(failed.formats[i].done);
      ASSERT_EQ(failed.formats[i].notes.size(), 1u);
      EXPECT_EQ(failed.formats[i].notes[0], generation::kStoppedByFailure);
    }
    for (const fs::path& file : clean.formats[i].files) {
      const std::string name = fs::relative(file, work).generic_string();
      ASSERT_TRUE(cleanFiles.count(name)) << name;
      if (i < at) {
        ASSERT_TRUE(left.count(name)) << name;
        if (upper1252(file.extension().string()) == ".XML") {
          EXPECT_EQ(left.at(name), cleanFiles.at(name)) << name;
        }
      } else {
        EXPECT_FALSE(left.count(name)) << name;
      }
    }
  }
  for (const auto& [name, bytes] : left) EXPECT_TRUE(cleanFiles.count(name)) << name;
}

std::string stepTestName(const ::testing::TestParamInfo<std::size_t>& info) {
  std::string name;
  const std::vector<Step> steps = returnSteps();
  for (const char c : steps[info.param].name)
    name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Pasos, CrashTest, ::testing::Range<std::size_t>(0, returnSteps().size()),
                         stepTestName);

}  // namespace

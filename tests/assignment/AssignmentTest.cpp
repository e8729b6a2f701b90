// The assignment rules and the copies of the assignment table on a demo company, through the
// real table files: adding, changing and deleting assignments of a concept with a scripted
// picker, the picker's search, and the pair of files that the copies replace or leave alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "assignment/Assignment.h"
#include "assignment/AssignmentCopy.h"
#include "demo/Demo.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "shell/Company.h"
#include "shell/Runtime.h"
#include "shell/ScriptedUserInterface.h"
#include "store/Dictionary.h"
#include "store/Engine.h"
#include "store/RefTables.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;
using assignment::AssignmentSession;
using assignment::Mode;

std::string bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A picker whose user is a function: it marks and searches through the session, then saves
// (the row returned) or cancels (nothing).
class ScriptedPicker final : public assignment::AccountPicker {
 public:
  using Script = std::function<std::optional<int>(AssignmentSession&, int startRow)>;
  explicit ScriptedPicker(Script s) : m_script(std::move(s)) {}
  std::optional<int> pick(AssignmentSession& s, Mode mode, int startRow) override {
    modes.push_back(mode);
    starts.push_back(startRow);
    return m_script(s, startRow);
  }
  std::vector<Mode> modes;
  std::vector<int> starts;

 private:
  Script m_script;
};

class Assignments : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("exo-assign-" + std::to_string(::getpid()));
    fs::remove_all(root);
    demo::DemoOptions o;
    o.folder = root.string();
    o.lines = 300;
    o.companies = 2;
    o.sourceFolder = EXOGENA_SOURCE_DIR;
    const auto inst = demo::installDemo(o);
    folders.program = inst.programFolder;
    folders.drive = inst.driveFolder;
    work = folders.program / "NRVVS" / "ANDINA10";
    ASSERT_TRUE(runtime.openSession(ui, folders));
    store::openReferenceTables(engine(), folders.program.string() + "/");
    shell::Session& s = runtime.session();
    for (const auto& e : shell::CARGAVRCTL(s, engine(), 1))
      if (trimBlanks(e.camino) == "ANDINA10\\") {
        ASSERT_TRUE(shell::chooseCompany(s, engine(), e, {}));
      }
  }
  void TearDown() override {
    engine().closeAll(runtime.interp());
    // The company lock let go first: Windows removes no folder with a file still open in it.
    runtime.session().companyLock().release();
    fs::remove_all(root);
  }
  store::Engine& engine() { return runtime.engine(); }

  assignment::ConceptRef concept_(const std::string& format, const std::string& code) {
    const int area = engine().areaOf("Conceptos3");
    EXPECT_TRUE(engine().seekKey(area, Value::text(format + code))) << format << code;
    return {format, code, engine().text(area, "DETALLE"), engine().text(area, "TIPO")};
  }
  // The accounts assigned to the concept, in the table's order, with their natures.
  std::vector<std::pair<std::string, std::string>> assigned(const std::string& key) {
    std::vector<std::pair<std::string, std::string>> out;
    const int area = store::openCompanyTable(engine(), work.string(), store::kAssignments, "CHK");
    engine().setOrder(area, "CodiCont");
    engine().forEach(area, [&] {
      if (key.empty() || engine().text(area, "FORMATO") + engine().text(area, "CONCEPTO") == key)
        out.emplace_back(trimBlanks(engine().text(area, "COD_CONT")),
                         engine().text(area, "NATURALEZ"));
      return true;
    });
    engine().close(runtime.interp(), area);
    return out;
  }
  static int rowOf(AssignmentSession& s, const std::string& code) {
    for (std::size_t i = 0; i < s.chart().size(); ++i)
      if (trimBlanks(s.chart()[i].code) == code) return static_cast<int>(i);
    ADD_FAILURE() << code << " no est\341 en el plan";
    return -1;
  }

  fs::path root, work;
  shell::Folders folders;
  shell::ScriptedUserInterface ui;
  shell::Runtime runtime;
};

TEST_F(Assignments, AddingSkipsWhatIsAssignedAndCancellingLeavesNothingMarked) {
  const auto c = concept_("1011", "1105");
  ASSERT_EQ(assigned("10111105").size(), 2u);  // 1.1.05.05 and 1.1.05.10
  AssignmentSession s(runtime.session(), engine(), c);
  ASSERT_TRUE(s.isOpen());
  EXPECT_EQ(s.rowCount(), 2);
  EXPECT_TRUE(ui.callsOf("message").empty());
  ASSERT_TRUE(s.chartShowsRows());

  // Cancelled after marking: nothing added, and no mark left for the next opening.
  ScriptedPicker cancel([&](AssignmentSession& p, int) -> std::optional<int> {
    p.toggle(rowOf(p, "1.1.10.10"));
    EXPECT_TRUE(p.chart()[static_cast<std::size_t>(rowOf(p, "1.1.10.10"))].selected);
    return std::nullopt;
  });
  s.INCLCODCON(Mode::Add, 0, cancel);
  EXPECT_EQ(s.rowCount(), 2);
  for (const auto& e : s.chart()) EXPECT_FALSE(e.selected) << e.code;

  // A summary account cannot be marked: the stop box, and the mark stays off.
  ScriptedPicker add([&](AssignmentSession& p, int start) -> std::optional<int> {
    EXPECT_EQ(start, 0);
    p.toggle(rowOf(p, "1.1.05."));
    EXPECT_FALSE(p.chart()[static_cast<std::size_t>(rowOf(p, "1.1.05."))].selected);
    for (const char* code : {"1.1.05.05", "1.1.10.05.01", "1.1.10.10"}) p.toggle(rowOf(p, code));
    return 0;
  });
  const int row = s.INCLCODCON(Mode::Add, 1, add);
  const auto stops = ui.callsOf("message");
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].title, "Error.....");
  EXPECT_EQ(stops[0].text, assignment::kInvalidCode);
  EXPECT_EQ(s.rowCount(), 4);
  // The cursor goes to the first account added: 1.1.10.05.01, after the two assigned before.
  EXPECT_EQ(row, 2);
  const auto now = assigned("10111105");
  ASSERT_EQ(now.size(), 4u);
  int added = 0;
  for (const auto& [code, nature] : now) {
    EXPECT_EQ(nature, c.nature) << code;
    added += code == "1.1.10.05.01" || code == "1.1.10.10";
  }
  EXPECT_EQ(added, 2);
  for (const auto& e : s.chart()) EXPECT_FALSE(e.selected) << e.code;
}

TEST_F(Assignments, DeletingAsksNoFirstAndMovesToTheNeighbour) {
  AssignmentSession s(runtime.session(), engine(), concept_("1001", "5001"));
  ASSERT_TRUE(s.isOpen());
  const std::int64_t rows = s.rowCount();
  ASSERT_GE(rows, 3) << "the demo assigns several accounts to 1001/5001";
  ScriptedPicker unused([](AssignmentSession&, int) -> std::optional<int> {
    ADD_FAILURE() << "no picker when deleting";
    return std::nullopt;
  });
  // "No" is the first and default choice: nothing goes.
  EXPECT_EQ(s.INCLCODCON(Mode::Delete, 1, unused), 1);
  auto asks = ui.callsOf("ask");
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_EQ(asks[0].text, "Seguro desea borrar registro.....?");
  EXPECT_EQ(asks[0].buttons, (std::vector<std::string>{"   &No   ", "   &Si   "}));
  EXPECT_EQ(s.rowCount(), rows);

  // A middle row: the grid stands on the row that followed it (now at the same position).
  engine().goToKeyNo(s.area(), 3);
  const std::string third = engine().text(s.area(), "COD_CONT");
  ui.answer("   &Si   ");
  EXPECT_EQ(s.INCLCODCON(Mode::Delete, 1, unused), 1);
  EXPECT_EQ(s.rowCount(), rows - 1);
  EXPECT_EQ(engine().text(s.area(), "COD_CONT"), third);
  // The last row: the grid moves up to the new last row.
  ui.answer("   &Si   ");
  EXPECT_EQ(s.INCLCODCON(Mode::Delete, static_cast<int>(rows) - 2, unused),
            static_cast<int>(rows) - 3);
  EXPECT_EQ(s.rowCount(), rows - 2);
  // Nothing current: nothing asked.
  const std::size_t before = ui.callsOf("ask").size();
  EXPECT_EQ(s.INCLCODCON(Mode::Delete, -1, unused), -1);
  EXPECT_EQ(ui.callsOf("ask").size(), before);
}

TEST_F(Assignments, ChangingChecksTheAccountAndStartsOnIt) {
  AssignmentSession s(runtime.session(), engine(), concept_("1011", "1105"));
  ASSERT_TRUE(s.isOpen());
  engine().goToKeyNo(s.area(), 1);
  const std::string nature = engine().text(s.area(), "NATURALEZ");
  // The picker opens on the assignment's account; a summary account changes nothing.
  ScriptedPicker summary([&](AssignmentSession& p, int start) -> std::optional<int> {
    EXPECT_EQ(trimBlanks(p.chart()[static_cast<std::size_t>(start)].code), "1.1.05.05");
    return rowOf(p, "1.1.05.");
  });
  s.INCLCODCON(Mode::Change, 0, summary);
  EXPECT_EQ(ui.callsOf("message").size(), 1u);
  EXPECT_EQ(assigned("10111105")[0].first, "1.1.05.05");
  // A detail account replaces the code; the nature stays.
  ScriptedPicker detail(
      [&](AssignmentSession& p, int) -> std::optional<int> { return rowOf(p, "1.1.10.10"); });
  s.INCLCODCON(Mode::Change, 0, detail);
  const auto now = assigned("10111105");
  ASSERT_EQ(now.size(), 2u);
  EXPECT_EQ(now[1].first, "1.1.10.10");
  EXPECT_EQ(now[1].second, nature);

  // An account gone from the ledger's chart is reported and the picker starts at the top.
  engine().goToKeyNo(s.area(), 1);
  engine().put(s.area(), "COD_CONT", Value::text("0.9.99"));
  engine().commit(runtime.interp(), s.area());
  ui.clear();
  ScriptedPicker cancel([](AssignmentSession&, int) -> std::optional<int> { return std::nullopt; });
  s.INCLCODCON(Mode::Change, 0, cancel);
  ASSERT_EQ(ui.callsOf("message").size(), 1u);
  EXPECT_EQ(ui.callsOf("message")[0].text,
            "C\363digo Contable 0.9.99 no existente en el PUC origen  ");
  EXPECT_EQ(cancel.starts, std::vector<int>{0});
}

TEST_F(Assignments, SearchFindsInAnyCaseAndAsksBeforeGoingBackToTheTop) {
  AssignmentSession s(runtime.session(), engine(), concept_("1011", "1105"));
  const auto first = s.find("caja", true);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(trimBlanks(s.chart()[static_cast<std::size_t>(*first)].name), "CAJA");
  EXPECT_EQ(trimBlanks(s.search().text), "CAJA");
  EXPECT_EQ(s.search().text.size(), 40u);
  std::vector<int> rows{*first};
  ui.answer("   &No   ");  // at the end: stay
  while (const auto next = s.findNext(rows.back())) rows.push_back(*next);
  ASSERT_GE(rows.size(), 3u);  // CAJA, CAJA GENERAL, CAJAS MENORES...
  for (int r : rows) {
    EXPECT_NE(upper1252(s.chart()[static_cast<std::size_t>(r)].name).find("CAJA"),
              std::string::npos);
  }
  const auto asks = ui.callsOf("ask");
  ASSERT_EQ(asks.size(), 1u);
  EXPECT_EQ(asks[0].text,
            "Norvasta termin\363 de buscar la cadena \"CAJA\".\r\nDesea regrezar al inicio ?");
  EXPECT_EQ(asks[0].buttons, (std::vector<std::string>{"   &Si   ", "   &No   "}));
  ui.answer("   &Si   ");
  EXPECT_EQ(s.findNext(rows.back()), 0);
  // By code, from the first row: no next match and no question on the first row.
  ui.clear();
  ASSERT_EQ(s.find("zzz-no-existe", false), std::nullopt);
  EXPECT_EQ(s.findNext(0), std::nullopt);
  EXPECT_TRUE(ui.callsOf("ask").empty());
}

TEST_F(Assignments, CopiesKeepTheCurrentPairUnlessTheNewOneIsSound) {
  const fs::path table = work / store::kAssignments, index = work / store::kAssignmentsIndex;
  const std::string oldTable = bytes(table), oldIndex = bytes(index);
  const std::size_t oldCount = assigned("").size();
  shell::Session& s = runtime.session();

  // The current company as its own source: nothing copied, nothing said.
  const auto choice = assignment::companiesForCopy(s, engine());
  ASSERT_TRUE(choice.has_value());
  ASSERT_GE(choice->companies.size(), 2u);
  EXPECT_EQ(assignment::copyAssignmentsFromCompany(s, engine(), choice->companies[0]),
            assignment::CopyOutcome::SameCompany);
  EXPECT_TRUE(ui.callsOf("message").empty());

  // "No" to the previous year's question changes nothing.
  ui.answer("   &No   ");
  EXPECT_EQ(assignment::copyAssignmentsFromPreviousYear(s, engine()),
            assignment::CopyOutcome::Declined);
  EXPECT_EQ(bytes(table), oldTable);
  EXPECT_EQ(bytes(index), oldIndex);

  // A damaged source (its table cut short) leaves the current pair exactly as it was.
  const fs::path previous = folders.drive / "NRVEXO10" / "NRVVS" / "ANDINA10";
  const std::string good = bytes(previous / store::kAssignments);
  std::ofstream(previous / store::kAssignments, std::ios::binary | std::ios::trunc)
      << good.substr(0, good.size() - 200);
  ui.answer("   &Si   ");
  EXPECT_EQ(assignment::copyAssignmentsFromPreviousYear(s, engine()),
            assignment::CopyOutcome::Stopped);
  EXPECT_EQ(bytes(table), oldTable);
  EXPECT_EQ(bytes(index), oldIndex);
  EXPECT_NE(ui.callsOf("message").back().text.find("da\361ada"), std::string::npos);
  for (const auto& e : fs::directory_iterator(work))
    EXPECT_NE(e.path().filename().string().front(), '~') << e.path();

  // A sound source replaces the pair, and an area of the program open on the table is open
  // again afterwards, on the new table.
  std::ofstream(previous / store::kAssignments, std::ios::binary | std::ios::trunc) << good;
  const int open =
      store::openCompanyTable(engine(), work.string(), store::kAssignments, "CODICONT");
  engine().setOrder(open, "CodiCont");
  ui.answer("   &Si   ");
  EXPECT_EQ(assignment::copyAssignmentsFromPreviousYear(s, engine()),
            assignment::CopyOutcome::Copied);
  EXPECT_EQ(bytes(table), good);
  EXPECT_EQ(bytes(index), bytes(previous / store::kAssignmentsIndex));
  ASSERT_TRUE(engine().isUsed(open));
  EXPECT_EQ(engine().aliasOf(open), "CODICONT");
  EXPECT_EQ(engine().keyCount(runtime.interp(), open),
            static_cast<std::int64_t>(assigned("").size()));
  EXPECT_NE(assigned("").size(), oldCount);  // the previous year lacks a concept
  EXPECT_NE(ui.callsOf("message").back().text.find("Importar Movimientos Contables"),
            std::string::npos);

  // A source company without the pair: a message, nothing replaced.
  const std::string copied = bytes(table);
  EXPECT_EQ(assignment::copyAssignmentsFromCompany(s, engine(), choice->companies[1]),
            assignment::CopyOutcome::Stopped);
  EXPECT_EQ(bytes(table), copied);
}

TEST_F(Assignments, ACopyLeavesATableInUseElsewhereAlone) {
  const fs::path table = work / store::kAssignments, index = work / store::kAssignmentsIndex;
  const std::string oldTable = bytes(table), oldIndex = bytes(index);
  // Another program (an open of its own) has the table open.
  Interp otherIp;
  store::Engine other(otherIp);
  ASSERT_NE(other.open(table.string(), "OTRA"), 0);
  ui.answer("   &Si   ");
  EXPECT_EQ(assignment::copyAssignmentsFromPreviousYear(runtime.session(), engine()),
            assignment::CopyOutcome::Stopped);
  EXPECT_NE(ui.callsOf("message").back().text.find("en uso por otro programa"), std::string::npos);
  EXPECT_EQ(bytes(table), oldTable);
  EXPECT_EQ(bytes(index), oldIndex);
  other.closeAll(otherIp);
  ui.answer("   &Si   ");
  EXPECT_EQ(assignment::copyAssignmentsFromPreviousYear(runtime.session(), engine()),
            assignment::CopyOutcome::Copied);
}

}  // namespace

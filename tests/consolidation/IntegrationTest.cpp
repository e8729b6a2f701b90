// The integration of the year's movements into the format tables, on a small ledger written as
// real files: the one-pass integration is compared, table by table and tag by tag, with a plain
// reading that scans the year's table once per assignment; then the rules that can break are
// checked one by one, with the readiness check around them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "consolidation/Integration.h"
#include "consolidation/Readiness.h"
#include "import/LedgerFixture.h"
#include "import/LedgerImport.h"
#include "shell/Evalua.h"
#include "shell/Utilities.h"
#include "store/RefTables.h"

namespace {

using exo::Value;
using exo::store::Dbf;
using ledgertest::LedgerCompany;
using ledgertest::Line;
namespace fs = std::filesystem;
namespace store = exo::store;

const std::string kLongFilter =
    "MONTO > 0 .AND. !Empty(CTA_DIR)" + std::string(180, ' ') + ".AND. .T.";

struct Assignment {
  std::string account, format, conc_;
};

class Integration : public ::testing::Test {
 protected:
  void SetUp() override {
    c.writeDirectory({{"00005", "800100200"}, {"00017", "900300400"}, {"00020", "71222333"}});
    c.writeChart({{"1.4.05", "", 0}});
    // Period 00 is the opening; the year runs from January to February.
    c.writePeriod(0, {});
    c.writePeriod(1, {
                         {"CE", "00000001", "5.1.05.06", "00005", 1000},
                         {"CE", "00000001", "5.1.05.06", "00017", -250},
                         {"CE", "00000002", "5.1.05.06", "", 777},  // no third party
                         {"CE", "00000003", "1.4.05", "00005", 5000},
                         {"FC", "00000004", "1.4.05", "00017", 6000},
                         {"CC", "00000005", "1.4.05.10", "00020", 7000},
                         {"CE", "00000006", "1.5.05", "00005", 8000},
                         {"FC", "00000010", "4.1.35.05", "00005", -20000},
                         {"FC", "00000010", "4.1.35.05", "00005", -5000},
                         {"FC", "00000010", "2.4.08.01", "00005", -4000},
                         {"FC", "00000011", "2.4.08.01", "00017", -1600},  // no 1007 row
                     });
    c.writePeriod(2, {
                         {"CE", "00000020", "5.1.05.06", "99999", 300},  // unknown party
                         {"FC", "00000021", "4.1.35.05", "00020", -9000},
                         {"FC", "00000021", "2.4.08.01", "00020", -1440},
                         {"NC", "00000022", "5.1.05.06", "00020", 450},
                     });
    writeConcepts();
    ASSERT_TRUE(exo::import::IMPORTATRACON(*c.session, c.engine).done);
  }

  void writeConcepts() {
    store::RefData ref;
    auto addConcept = [&](const char* format, const char* code, double base, const char* nature,
                          std::string filter) {
      ref.concepts.push_back(
          {format, code, "Concepto " + std::string(code), base, nature, std::move(filter)});
    };
    addConcept("1001", "5001", 500000, "1", "");
    addConcept("1001", "5002", 100000, "1", "MONTO > 0");
    addConcept("1001", "5007", 0, "1", "");
    addConcept("1001", "5008", 0, "1", "TIPO_COMP = 'C'");
    addConcept("1006", "1006", 0, "2", "");
    addConcept("1007", "4001", 0, "2", "");
    addConcept("1009", "2201", 0, "3", kLongFilter);
    store::writeRefTables(ref, c.folders.program.string());
  }

  void assign(const std::vector<Assignment>& list) {
    const std::string work = c.work().string();
    store::createCompanyTable(c.engine, work, store::kAssignments);
    const int area = store::openCompanyTable(c.engine, work, store::kAssignments, "ASIG", false);
    for (const Assignment& a : list) {
      c.engine.appendBlank(area);
      c.engine.put(area, "COD_CONT", Value::text(a.account));
      c.engine.put(area, "FORMATO", Value::text(a.format));
      c.engine.put(area, "CONCEPTO", Value::text(a.conc_));
    }
    store::buildCompanyIndexes(c.engine, area, work, store::kAssignments);
    c.engine.close(c.ip, area);
  }

  // The step read literally: for each format, for each assignment in key order, every movement
  // of the year in record order, tested and copied one by one; the results go to `out`.
  void literalIntegration(const fs::path& out) {
    fs::create_directories(out);
    exo::Interp& ip = c.ip;
    auto& e = c.engine;
    const std::string work = c.work().string();
    const int year = e.open((c.work() / store::kYearMovements).string(), "LITYEAR", true, true);
    const int codes = store::openCompanyTable(e, work, store::kAssignments, "LITCODES");
    e.setOrder(codes, "CodiCont");
    const int concepts =
        e.open((c.folders.program / store::kConceptsFile).string(), "LITCONC", false);
    e.buildIndex(concepts, (out / "conc.cdx").string(), "FormConc", "FORMATO+CONCEPTO");
    const int direc = e.open((c.work() / store::kDirectoryCopy).string(), "DIREC", true, true);
    e.addIndex(direc, store::kDirectoryCopyIndex);
    e.setOrder(direc, e.orders(direc).front().tag);
    for (int n = 1; n <= 12; ++n) {
      const std::string code = store::formatCode(n);
      const store::TableDef& def = store::tableDef(store::formatTableFile(code));
      const std::string table = (out / def.file).string();
      e.createTable(table, store::tableFields(def, work));
      const int rows = e.open(table, "LITROWS", false);
      e.orderScope(ip, codes, 0, Value::text(code));
      e.orderScope(ip, codes, 1, Value::text(code));
      e.forEach(codes, [&] {
        const std::string account = e.text(codes, "COD_CONT");
        const std::string conc_ = e.text(codes, "CONCEPTO");
        const bool found = e.seekKey(concepts, Value::text(code + conc_));
        const std::string filter = found ? e.text(concepts, "FILTRO") : std::string();
        e.setOrder(year, "");
        e.forEach(year, [&] {
          if (exo::isWhiteText(e.text(year, "CTA_DIR"))) return true;
          if (exo::trimRight(e.text(year, "CODIGO")) != exo::trimRight(account)) return true;
          if (code == "1001" && conc_ == "5007" &&
              !(e.text(year, "CODIGO").rfind("1.4.", 0) == 0 &&
                e.text(year, "TIPO_COMP").rfind("C", 0) == 0)) {
            return true;
          }
          e.select(year);
          if (!exo::EVALUA(ip, filter)) return true;
          e.select(rows);
          exo::shell::AREG(ip, "LITYEAR");
          e.put(rows, "FORM", Value::text(code));
          e.put(rows, "CONC", Value::text(conc_));
          e.put(rows, "NIT", Value::text(exo::shell::BUSNITDI(ip, e.text(year, "CTA_DIR"))));
          if (found) {
            e.put(rows, "BASE", e.get(concepts, "BASE"));
            e.put(rows, "FILTRO", Value::text(filter.substr(0, 170)));
            e.put(rows, "NAT", e.get(concepts, "TIPO"));
          }
          e.put(rows, "VLR_ADIC1", Value::number(0));
          return true;
        });
        return true;
      });
      for (const store::TagDef& tag : def.indexes.front().tags)
        e.buildIndex(rows, (out / def.indexes.front().file).string(), tag.name, tag.key);
      e.close(ip, rows);
    }
    const int r1007 = e.open((out / "TrF1007.dbf").string(), "LIT1007", true, true);
    e.addIndex(r1007, "TrF1007x.cdx");
    e.setOrder(r1007, "TipoComp");
    e.total(r1007, (out / store::kVoucherTotals1007).string(), "TIPO_COMP+COMPROBA",
            {"MONTO", "VLR_ADIC1"});
    e.close(ip, r1007);
    const int totals = e.open((out / store::kVoucherTotals1007).string(), "LITTOT", false);
    for (const store::TagDef& tag : store::tableDef(store::kVoucherTotals1007).indexes[0].tags)
      e.buildIndex(totals, (out / "Trf1007y.cdx").string(), tag.name, tag.key);
    e.setOrder(totals, "TipoComp");
    const int r1006 = e.open((out / "TrF1006.dbf").string(), "LIT1006", false);
    e.forEach(r1006, [&] {
      if (e.seekKey(totals, Value::text(e.text(r1006, "TIPO_COMP") + e.text(r1006, "COMPROBA"))))
        e.put(r1006, "VLR_ADIC1", Value::number(e.number(totals, "MONTO") * -1));
      return true;
    });
    for (int area : {r1006, totals, direc, concepts, codes, year}) e.close(ip, area);
  }

  // Every record of a table, as bytes.
  static std::vector<std::string> records(const fs::path& path) {
    Dbf t = Dbf::open(path.string(), {true, true, 0});
    std::vector<std::string> out;
    std::vector<char> rec(t.recordLength());
    for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
      t.read(r, rec.data());
      out.emplace_back(rec.begin(), rec.end());
    }
    return out;
  }
  // The record numbers in the order of a tag.
  std::vector<std::int64_t> tagOrder(const fs::path& table, const std::string& bag,
                                     const std::string& tag) {
    const int area = c.engine.open(table.string(), "TAGS", true, true);
    c.engine.addIndex(area, bag);
    c.engine.setOrder(area, tag);
    std::vector<std::int64_t> out;
    c.engine.forEach(area, [&] {
      out.push_back(c.engine.recNo(area));
      return true;
    });
    c.engine.close(c.ip, area);
    return out;
  }
  // A field of every row of a format table, trailing blanks removed.
  std::vector<std::string> fieldOf(const std::string& code, const std::string& field) {
    std::vector<std::string> out;
    for (std::string v : c.column("TrF" + code + ".dbf", field))
      out.emplace_back(exo::trimRight(v));
    return out;
  }

  LedgerCompany c;
};

// Overlapping assignments: one account in two concepts of one format and in another format,
// filters that keep and drop rows, a concept missing from the reference table, duplicates.
const std::vector<Assignment> kAssignments = {
    {"5.1.05.06", "1001", "5001"}, {"5.1.05.06", "1001", "5002"}, {"5.1.05.06", "1009", "2201"},
    {"1.4.05", "1001", "5007"},    {"1.4.05.10", "1001", "5007"}, {"1.5.05", "1001", "5007"},
    {"1.4.05", "1001", "5008"},    {"4.1.35.05", "1007", "4001"}, {"2.4.08.01", "1006", "1006"},
    {"5.1.05.06", "1012", "9999"}, {"0.0.00", "1002", "2301"},    {"5.1.05.06", "1001", "5001"},
};

TEST_F(Integration, OnePassGivesTheTablesOfThePlainReading) {
  assign(kAssignments);
  const auto r = exo::consolidation::IMPORTACONTAB(*c.session, c.engine);
  ASSERT_TRUE(r.done);
  const fs::path literal = c.root() / "literal";
  literalIntegration(literal);
  for (int n = 1; n <= 12; ++n) {
    const std::string code = store::formatCode(n);
    const std::string file = store::formatTableFile(code);
    const auto ours = records(c.work() / file);
    EXPECT_EQ(ours, records(literal / file)) << file;
    EXPECT_EQ(static_cast<std::int64_t>(ours.size()), r.rows[static_cast<std::size_t>(n - 1)]);
    for (const store::TagDef& tag : store::tableDef(file).indexes.front().tags) {
      EXPECT_EQ(tagOrder(c.work() / file, store::formatIndexFile(code), tag.name),
                tagOrder(literal / file, store::formatIndexFile(code), tag.name))
          << file << " " << tag.name;
    }
  }
  EXPECT_EQ(records(c.work() / store::kVoucherTotals1007),
            records(literal / store::kVoucherTotals1007));
  EXPECT_EQ(
      tagOrder(c.work() / store::kVoucherTotals1007, store::kVoucherTotals1007Index, "TipoComp"),
      tagOrder(literal / store::kVoucherTotals1007, "Trf1007y.cdx", "TipoComp"));
  EXPECT_TRUE(c.leftovers().empty());
  EXPECT_GT(r.rows[0], 0);
}

// Thousands of 1006 rows, changed block by block with the income of their vouchers (some
// vouchers have none), as the plain reading changes them one by one.
TEST_F(Integration, ManyRowsOf1006CarryTheirIncomeAsThePlainReading) {
  std::vector<Line> lines;
  char voucher[16];
  for (int v = 1; v <= 9000; ++v) {
    std::snprintf(voucher, sizeof voucher, "%08d", v);
    lines.push_back({"FC", voucher, "2.4.08.01", v % 5 == 0 ? "00017" : "00005", -16.0 * v});
    if (v % 3 != 0) lines.push_back({"FC", voucher, "4.1.35.05", "00020", -100.0 * v});
  }
  c.writePeriod(3, lines);
  ASSERT_TRUE(exo::import::IMPORTATRACON(*c.session, c.engine).done);
  assign({{"4.1.35.05", "1007", "4001"}, {"2.4.08.01", "1006", "1006"}});
  const auto r = exo::consolidation::IMPORTACONTAB(*c.session, c.engine);
  ASSERT_TRUE(r.done);
  EXPECT_GT(r.rows[5], 9000);
  EXPECT_GE(r.rows1006WithIncome, 6000);
  EXPECT_LT(r.rows1006WithIncome, r.rows[5]);
  const fs::path literal = c.root() / "literal";
  literalIntegration(literal);
  EXPECT_EQ(records(c.work() / "TrF1006.dbf"), records(literal / "TrF1006.dbf"));
  EXPECT_EQ(records(c.work() / "TrF1007.dbf"), records(literal / "TrF1007.dbf"));
}

TEST_F(Integration, TheRulesOfSelection) {
  assign(kAssignments);
  ASSERT_TRUE(exo::consolidation::IMPORTACONTAB(*c.session, c.engine).done);

  // An account in two concepts gives a row in each (the duplicate assignment of 5001 twice);
  // the filter "MONTO > 0" of 5002 drops the negative line; nothing without a third party.
  std::map<std::string, int> perConcept;
  for (const std::string& conc : fieldOf("1001", "CONC")) ++perConcept[conc];
  EXPECT_EQ(perConcept["5001"], 2 * 4);  // four lines of 5.1.05.06 with a third party
  EXPECT_EQ(perConcept["5002"], 3);
  for (const std::string& party : fieldOf("1001", "CTA_DIR")) EXPECT_FALSE(party.empty());
  for (const std::string& comproba : fieldOf("1001", "COMPROBA")) EXPECT_NE(comproba, "00000002");
  EXPECT_EQ(fieldOf("1009", "CONC").size(), 3u);

  // 5007: inventory accounts ("1.4.") in vouchers of a type beginning with "C" only.
  std::vector<std::string> inventory;
  const auto conc = fieldOf("1001", "CONC"), comp = fieldOf("1001", "COMPROBA");
  for (std::size_t i = 0; i < conc.size(); ++i)
    if (conc[i] == "5007") inventory.push_back(comp[i]);
  EXPECT_EQ(inventory, (std::vector<std::string>{"00000003", "00000005"}));
  // The same account under 5008 follows its own filter, not the 5007 rule.
  EXPECT_EQ(perConcept["5008"], 1);

  // Identification, threshold, nature; unknown third party; concept missing from the table.
  const auto nit = fieldOf("1001", "NIT"), party = fieldOf("1001", "CTA_DIR");
  for (std::size_t i = 0; i < nit.size(); ++i) {
    if (party[i] == "00005") EXPECT_EQ(nit[i], "800100200");
    if (party[i] == "99999") EXPECT_EQ(nit[i], "** NO REGISTRADO **");
  }
  EXPECT_EQ(c.column("TrF1001.dbf", "BASE").front(), std::to_string(500000.0));
  EXPECT_EQ(fieldOf("1009", "FILTRO").front(), exo::trimRight(kLongFilter.substr(0, 170)));
  EXPECT_EQ(fieldOf("1009", "NAT").front(), "3");
  for (const std::string& nat : fieldOf("1012", "NAT")) EXPECT_EQ(nat, "");
  EXPECT_EQ(fieldOf("1012", "FORM").size(), 4u);
  EXPECT_TRUE(fieldOf("1002", "FORM").empty());

  // 1006 rows carry the income of their voucher's 1007 rows, as a positive figure; a 1006 row
  // whose voucher has no 1007 row keeps 0.
  const auto adic = c.column("TrF1006.dbf", "VLR_ADIC1");
  const auto voucher = fieldOf("1006", "COMPROBA");
  ASSERT_EQ(voucher.size(), 3u);
  EXPECT_EQ(voucher[0], "00000010");
  EXPECT_EQ(adic[0], std::to_string(25000.0));
  EXPECT_EQ(voucher[1], "00000011");
  EXPECT_EQ(adic[1], std::to_string(0.0));
  EXPECT_EQ(adic[2], std::to_string(9000.0));
  EXPECT_EQ(c.column(store::kVoucherTotals1007, "MONTO"),
            (std::vector<std::string>{std::to_string(-25000.0), std::to_string(-9000.0)}));
}

TEST_F(Integration, ReadinessAndRepeatedRuns) {
  using exo::consolidation::CHEQUEATODO;
  // After the movement import alone every format is refused, with the message.
  for (int n = 1; n <= 12; ++n) EXPECT_FALSE(CHEQUEATODO(*c.session, n));
  auto messages = c.ui.callsOf("message");
  ASSERT_EQ(messages.size(), 12u);
  EXPECT_EQ(messages[0].title, "Atenci\363n, Sistema no inicializado.....");
  EXPECT_EQ(messages[0].text,
            "Sistema no inicializado adecuadamente.\r\n\r\nVaya a secci\363n \"General\", "
            "acci\363n \"Importar Cuentas P.U.C.\" e importe el correspondiente PUC,\r\nluego, "
            "vaya a acci\363n \"Importar Movimientos Contables\" y ejecute todos los procesos "
            "indicados.");

  // Without assignments nothing is built.
  assign({});
  EXPECT_FALSE(exo::consolidation::IMPORTACONTAB(*c.session, c.engine).done);
  messages = c.ui.callsOf("message");
  EXPECT_EQ(messages.back().text, "No ha inicializado Asignaci\363n Contable a los Conceptos");
  EXPECT_FALSE(fs::exists(c.work() / "TrF1001.dbf"));

  // Assignments of format 1001 only: every format passes afterwards.
  assign({{"5.1.05.06", "1001", "5001"}});
  ASSERT_TRUE(exo::consolidation::IMPORTACONTAB(*c.session, c.engine).done);
  const std::size_t before = c.ui.callsOf("message").size();
  for (int n = 1; n <= 12; ++n) EXPECT_TRUE(CHEQUEATODO(*c.session, n));
  EXPECT_EQ(c.ui.callsOf("message").size(), before);
  EXPECT_EQ(c.statusTexts(0).back(), "Procesados  14  registros");
  EXPECT_EQ(c.statusTexts(1).back(), "Proceso terminado....");

  // A second run gives the same tables; the index of 1012 indexes the new 1012 table.
  const auto first = records(c.work() / "TrF1001.dbf");
  assign(kAssignments);
  ASSERT_TRUE(exo::consolidation::IMPORTACONTAB(*c.session, c.engine).done);
  const auto second = records(c.work() / "TrF1012.dbf");
  ASSERT_TRUE(exo::consolidation::IMPORTACONTAB(*c.session, c.engine).done);
  EXPECT_EQ(records(c.work() / "TrF1012.dbf"), second);
  EXPECT_NE(records(c.work() / "TrF1001.dbf"), first);
  EXPECT_EQ(tagOrder(c.work() / "TrF1012.dbf", "TrF1012x.cdx", "TercConc").size(), second.size());
}

TEST_F(Integration, MissingDirectoryCopyStopsBeforeAnything) {
  assign(kAssignments);
  fs::remove(c.work() / store::kDirectoryCopy);
  EXPECT_FALSE(exo::consolidation::IMPORTACONTAB(*c.session, c.engine).done);
  EXPECT_EQ(c.ui.callsOf("message").back().text, "Debe Importar Movimientos Contables primero");
  EXPECT_FALSE(fs::exists(c.work() / "TrF1001.dbf"));
}

}  // namespace

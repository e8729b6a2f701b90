// The demo installation read back with the table engine's file layer: the ledger looks like a
// real company's year (balanced vouchers, opening and closing entries, VAT and commission lines,
// withholdings, defective third parties), its indexes walk in order, the first company's working
// folder is laid out as a first selection leaves it, and the same seed gives the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "../store/StoreTestSupport.h"
#include "demo/Demo.h"
#include "demo/DemoLedger.h"
#include "expr/Failure.h"
#include "expr/Interp.h"
#include "store/Cdx.h"
#include "store/Dbf.h"
#include "store/Engine.h"

namespace {

namespace fs = std::filesystem;
using namespace exo::store;
using Row = std::map<std::string, std::string>;

// Every record of a table: field name to trimmed text (numbers as stored, dates YYYYMMDD).
struct Table {
  std::vector<Row> rows;
  std::vector<bool> deleted;
};

Table readTable(const fs::path& path) {
  Dbf t = Dbf::open(path.string(), {true, true, 0});
  Table out;
  std::vector<char> rec(t.recordLength());
  for (std::uint32_t r = 1; r <= t.recordCount(); ++r) {
    t.read(r, rec.data());
    Row row;
    for (std::size_t f = 0; f < t.fields().size(); ++f) {
      std::string s(t.fields()[f].type == 'M'
                        ? t.memo(rec.data(), static_cast<int>(f))
                        : std::string(t.text(rec.data(), static_cast<int>(f))));
      s.erase(s.find_last_not_of(' ') + 1);
      s.erase(0, std::min(s.find_first_not_of(' '), s.size()));
      row[t.fields()[f].name] = s;
    }
    out.rows.push_back(std::move(row));
    out.deleted.push_back(Dbf::isDeleted(rec.data()));
  }
  return out;
}

// Keys and records of a tag, walked in order.
std::vector<std::pair<std::string, std::uint32_t>> walk(const fs::path& cdxPath, const char* tag) {
  Cdx cdx = Cdx::open(cdxPath.string(), {true, true, 0});
  const auto t = cdx.findTag(tag);
  EXPECT_TRUE(t.has_value()) << tag;
  std::vector<std::pair<std::string, std::uint32_t>> out;
  if (!t) return out;
  EXPECT_EQ(cdx.check(*t), "");
  CdxCursor c(cdx, *t);
  for (bool ok = c.first(); ok; ok = c.next()) out.emplace_back(std::string(c.key()), c.recno());
  return out;
}

exo::demo::DemoOptions options(const std::string& folder, std::uint64_t seed = 7) {
  exo::demo::DemoOptions o;
  o.folder = folder;
  o.lines = 6000;
  o.seed = seed;
  o.companies = 3;
  o.bothProducts = true;
  o.sourceFolder = EXOGENA_SOURCE_DIR;
  return o;
}

class Demo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new storetest::TempDir;
    s_inst = new exo::demo::DemoInstallation(exo::demo::installDemo(options(s_dir->file("a"))));
  }
  static void TearDownTestSuite() {
    delete s_inst;
    delete s_dir;
  }
  static fs::path ledger() { return fs::path(s_inst->driveFolder) / "NRVVS" / "ANDINA10"; }
  static fs::path work() { return fs::path(s_inst->programFolder) / "NRVVS" / "ANDINA10"; }
  static storetest::TempDir* s_dir;
  static exo::demo::DemoInstallation* s_inst;
};
storetest::TempDir* Demo::s_dir = nullptr;
exo::demo::DemoInstallation* Demo::s_inst = nullptr;

std::map<std::string, std::string> filesUnder(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file())
      out[fs::relative(e.path(), root).string()] = storetest::readFile(e.path().string());
  return out;
}

TEST_F(Demo, SameSeedGivesTheSameBytesAndAnotherSeedAnotherLedger) {
  const auto again = exo::demo::installDemo(options(s_dir->file("b")));
  const auto first = filesUnder(s_dir->file("a")), second = filesUnder(s_dir->file("b"));
  ASSERT_EQ(first.size(), second.size());
  for (const auto& [name, bytes] : first) {
    ASSERT_EQ(second.count(name), 1u) << name;
    EXPECT_TRUE(bytes == second.at(name)) << name;
  }
  exo::demo::installDemo(options(s_dir->file("c"), 8));
  const std::string month = "drive/NRVVS/ANDINA10/VRTRACON.05";
  EXPECT_NE(storetest::readFile(s_dir->file("a/" + month)),
            storetest::readFile(s_dir->file("c/" + month)));
  // A folder that already holds something is left alone.
  EXPECT_THROW(exo::demo::installDemo(options(s_dir->file("a"))), exo::FailureError);
}

TEST_F(Demo, ControlFilesListTheCompaniesThatWereLaidOut) {
  const auto read = exo::demo::describeDemo(s_dir->file("a"));
  ASSERT_EQ(read.companies.size(), 4u);
  ASSERT_EQ(read.companies.size(), s_inst->companies.size());
  for (std::size_t i = 0; i < read.companies.size(); ++i) {
    const auto& a = read.companies[i];
    const auto& b = s_inst->companies[i];
    EXPECT_EQ(a.product, b.product);
    EXPECT_EQ(a.name, b.name);  // stored in the OEM code page, read back as Windows-1252
    EXPECT_EQ(a.folder, b.folder);
    EXPECT_EQ(a.year, b.year);
    EXPECT_EQ(a.lastPeriod, b.lastPeriod);
    EXPECT_EQ(a.lines, b.lines) << a.folder;
  }
  EXPECT_EQ(read.companies[1].year, 2009);  // the first company's previous year
  EXPECT_EQ(read.companies[2].lastPeriod, 6);
  EXPECT_EQ(read.companies[2].lines[7], 0u);
  EXPECT_EQ(read.companies[3].product, "NRVCONTB");
  EXPECT_NEAR(static_cast<double>(read.companies[0].totalLines()), 6000, 1500);
  for (const char* f :
       {"NRVVS/VR.EXE", "NRVVS/VRNRVV32.DLL", "NRVCONTB/VRCONTAB.EXE", "NRVCONTB/NRVCNT32.DLL"})
    EXPECT_TRUE(fs::exists(fs::path(s_inst->driveFolder) / f)) << f;
}

TEST_F(Demo, ChartNamesAndDirectoryTagsWalkInOrderOverTheirRecords) {
  const Table chart = readTable(ledger() / "VRMAE.DBF");
  const auto codes = walk(ledger() / "VRMAEX1.CDX", "CUENTA");
  ASSERT_EQ(codes.size(), chart.rows.size());
  std::set<std::uint32_t> seen;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const Row& r = chart.rows[codes[i].second - 1];
    EXPECT_EQ(codes[i].first.substr(0, 1 + r.at("CODIGO").size()), " " + r.at("CODIGO"));
    if (i > 0) {
      EXPECT_LE(codes[i - 1].first, codes[i].first);
    }
    seen.insert(codes[i].second);
  }
  EXPECT_EQ(seen.size(), chart.rows.size());
  // The physical order is not the key order, so the tag matters.
  bool shuffled = false;
  for (std::size_t i = 0; i < codes.size(); ++i) shuffled |= codes[i].second != i + 1;
  EXPECT_TRUE(shuffled);

  const Table names = readTable(ledger() / "VRNOM.DBF");
  Cdx nameIndex = Cdx::open((ledger() / "VRNOMX1.CDX").string(), {true, true, 0});
  CdxCursor pointer(nameIndex, *nameIndex.findTag("APU_NOM"));
  for (const Row& account : chart.rows) {
    char key[8];
    std::snprintf(key, sizeof key, "%5d", std::stoi(account.at("APU_NOM")));
    ASSERT_TRUE(pointer.seek(key)) << account.at("CODIGO");
    EXPECT_EQ(names.rows[pointer.recno() - 1].at("APU_NOM"), account.at("APU_NOM"));
  }
  const Table dir = readTable(ledger() / "VRDIR.DBF");
  const auto keys = walk(ledger() / "VRDIRX1.CDX", "CLAVE");
  ASSERT_EQ(keys.size(), dir.rows.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i].first, dir.rows[keys[i].second - 1].at("CLAVE"));
    if (i > 0) {
      EXPECT_LT(keys[i - 1].first, keys[i].first);
    }
  }
}

TEST_F(Demo, ChartIsAColombianPucWithAccountsToIgnore) {
  const Table chart = readTable(ledger() / "VRMAE.DBF");
  int summary = 0, ignored = 0, withholding = 0, inventory = 0;
  std::map<std::string, int> occurrences;
  for (const Row& r : chart.rows) {
    const std::string& code = r.at("CODIGO");
    ASSERT_TRUE(code.find_first_not_of("0123456789.") == std::string::npos) << code;
    summary += code.back() == '.';
    ignored += !r.at("APLICA").empty();
    inventory += code.rfind("1.4.", 0) == 0 && code.back() != '.';
    if (code.rfind("2.3.65.", 0) == 0 && code.back() != '.')
      withholding += std::stod(r.at("POR_RET")) > 0;
    ++occurrences[code];
  }
  EXPECT_GE(summary, 40);
  EXPECT_GE(ignored, 2);
  EXPECT_GE(withholding, 6);
  EXPECT_GE(inventory, 1);
  EXPECT_EQ(occurrences["5.1.95.95"], 2);  // a repeated code: only the first counts
}

TEST_F(Demo, DirectoryHoldsEveryKindOfThirdPartyAndTheDefectsToFind) {
  EXPECT_EQ(exo::demo::checkDigit("12345678"), '8');
  EXPECT_EQ(exo::demo::checkDigit("800197268"), '4');
  const Table dir = readTable(ledger() / "VRDIR.DBF");
  std::map<std::string, int> count;
  for (const Row& r : dir.rows) {
    const std::string& id = r.at("DIREC4");
    const bool national = r.at("PAIS") == "0169";
    if (r.at("CLAVE").rfind("IVA", 0) == 0) ++count["vat"];
    if (r.at("TP_P") == "N" && r.at("ESTR_NOMB") != "0000") ++count["natural " + r.at("ESTR_NOMB")];
    if (!national) ++count[r.at("TP_N") == "31" ? "foreign with NIT" : "foreign"];
    if (r.at("TP_P") == "J" && r.at("TP_N") == "31" && id.find('-') != std::string::npos) {
      std::string digits;
      for (char c : id.substr(0, id.find('-')))
        if (c != '.') digits += c;
      ++count[exo::demo::checkDigit(digits) == id.back() ? "good digit" : "wrong digit"];
      if (id.find('.') != std::string::npos) ++count["dotted"];
    }
    if (r.at("DIREC1").empty()) ++count["no address"];
    if (r.at("C_MNCP").empty()) ++count["no municipality"];
    if (r.at("TP_P") == "N" && r.at("ESTR_NOMB") == "0000") ++count["natural 0000"];
    if (national && r.at("TP_P") == "J" && r.at("TP_N") != "31") ++count["legal without 31"];
    if (national && r.at("TP_P") != "J" && (r.at("TP_N") == "42" || r.at("TP_N") == "43"))
      ++count["national with 42"];
  }
  for (const char* kind :
       {"vat", "natural 1111", "natural 1110", "natural 1011", "natural 1010", "foreign",
        "foreign with NIT", "good digit", "wrong digit", "dotted", "no address", "no municipality",
        "natural 0000", "legal without 31", "national with 42"})
    EXPECT_GE(count[kind], 1) << kind;
  EXPECT_EQ(count["vat"], 2);
  EXPECT_GT(count["good digit"], 10 * count["wrong digit"]);
}

// Lines of the period files.
struct Movement {
  int period;
  Row row;
  double amount;
};

std::vector<Movement> movements(const fs::path& ledgerFolder) {
  std::vector<Movement> out;
  for (int p = 0; p <= 12; ++p) {
    char name[16];
    std::snprintf(name, sizeof name, "VRTRACON.%02d", p);
    for (Row& r : readTable(ledgerFolder / name).rows) {
      const double a = std::stod(r.at("MONTO"));
      out.push_back({p, std::move(r), a});
    }
  }
  return out;
}

TEST_F(Demo, EveryVoucherBalancesInWholePesos) {
  std::map<std::string, double> balance;
  for (const Movement& m : movements(ledger())) {
    EXPECT_EQ(m.amount, std::round(m.amount));
    balance[std::to_string(m.period) + m.row.at("TIPO_COMP") + m.row.at("COMPROBA")] += m.amount;
  }
  EXPECT_GT(balance.size(), 500u);
  for (const auto& [voucher, sum] : balance) EXPECT_EQ(sum, 0) << voucher;
}

TEST_F(Demo, MovementsCarryWhatTheImportAndItsFixesLookFor) {
  const std::vector<Movement> all = movements(ledger());
  std::set<std::string> directory;
  for (const Row& r : readTable(ledger() / "VRDIR.DBF").rows) directory.insert(r.at("CLAVE"));
  std::map<std::string, std::vector<const Movement*>> vouchers;
  std::map<std::string, int> count;
  for (const Movement& m : all) {
    const Row& r = m.row;
    const std::string& party = r.at("CTA_DIR");
    if (!party.empty()) {
      EXPECT_EQ(directory.count(party), 1u) << party;
    }
    vouchers[std::to_string(m.period) + r.at("TIPO_COMP") + r.at("COMPROBA")].push_back(&m);
    if (party.empty()) ++count["no party"];
    if (m.period == 0)
      ++count[r.at("COMPROBA").find("INICIO") != std::string::npos ? "opening" : "other 00"];
    if (m.period == 0 && m.amount == 0) ++count["zero"];
    if (m.period == 12 && r.at("COMPROBA") == "CIERRE" && !party.empty()) ++count["closing"];
    if (m.period != 12 && r.at("COMPROBA") == "CIERRE") ++count["closing elsewhere"];
    if (party.rfind("IVA", 0) == 0) ++count["vat " + r.at("TIPO_COMP")];
    if (r.at("CODIGO").rfind("2.3.65.", 0) == 0 && m.amount < 0)
      ++count["withheld " + r.at("TIPO_COMP")];
    if (r.at("CODIGO").rfind("1.4.", 0) == 0 && !party.empty()) ++count["inventory purchase"];
  }
  for (const char* kind :
       {"no party", "opening", "other 00", "zero", "closing", "vat FC", "vat FE", "vat CC",
        "vat CE", "withheld CC", "withheld CE", "withheld CD", "withheld NO", "inventory purchase"})
    EXPECT_GE(count[kind], 1) << kind;
  EXPECT_EQ(count["closing elsewhere"], 0);
  // Each commission line has its expense line in the same invoice: an account "5.", the opposite
  // amount and a description beginning "COMISI".
  int commissions = 0, misplaced = 0;
  for (const auto& [key, lines] : vouchers) {
    for (const Movement* co : lines) {
      if (co->row.at("TIPO") != "CO") continue;
      ++commissions;
      EXPECT_NE(std::string("FC FE FL FH FT FD").find(co->row.at("TIPO_COMP")), std::string::npos);
      int matches = 0;
      for (const Movement* l : lines) {
        if (l->row.at("CODIGO").rfind("5.", 0) == 0 && l->amount == -co->amount &&
            l->row.at("DETALLE").rfind("COMISI", 0) == 0) {
          ++matches;
          misplaced += l->row.at("CTA_DIR") != co->row.at("CTA_DIR");
        }
      }
      EXPECT_EQ(matches, 1) << key;
    }
  }
  EXPECT_GE(commissions, 5);
  EXPECT_GE(misplaced, 1);
}

// Third parties of the concepts of format 1001 fall on both sides of the reporting threshold.
TEST_F(Demo, SomeThirdPartiesAreUnderAndSomeOverTheThreshold) {
  std::map<std::string, std::string> concepts;  // account -> concept of 1001
  for (const Row& r : readTable(work() / "CodCont.dbf").rows)
    if (r.at("FORMATO") == "1001") concepts[r.at("COD_CONT")] = r.at("CONCEPTO");
  std::map<std::string, double> totals;  // party -> total of 1001 accounts
  for (const Movement& m : movements(ledger())) {
    if (m.period == 0 || m.row.at("CTA_DIR").empty() || m.row.at("COMPROBA") == "CIERRE") continue;
    if (concepts.count(m.row.at("CODIGO"))) totals[m.row.at("CTA_DIR")] += m.amount;
  }
  int under = 0, over = 0;
  for (const auto& [party, total] : totals) (total > 0 && total < 500000 ? under : over)++;
  EXPECT_GE(under, 3);
  EXPECT_GE(over, 20);
}

TEST_F(Demo, WorkingFolderIsLaidOutAsAFirstSelection) {
  for (const char* f : {"VRDIREXO.DBF", "VRDIREXO.FPT", "VRDIREXX.CDX"})
    EXPECT_TRUE(fs::exists(work() / f)) << f;
  EXPECT_EQ(storetest::readFile((work() / "VRDIREXO.DBF").string()),
            storetest::readFile((ledger() / "VRDIR.DBF").string()));
  EXPECT_EQ(storetest::readFile((work() / "VRDIREXX.CDX").string()),
            storetest::readFile((ledger() / "VRDIRX1.CDX").string()));
  EXPECT_TRUE(fs::is_directory(work() / "SALIDA"));
  {
    Dbf chart = Dbf::open((work() / "VRMAEEXO.DBF").string(), {true, true, 0});
    Dbf source = Dbf::open((ledger() / "VRMAE.DBF").string(), {true, true, 0});
    EXPECT_EQ(chart.recordCount(), 0u);
    ASSERT_EQ(chart.fields().size(), source.fields().size());
    for (std::size_t i = 0; i < chart.fields().size(); ++i) {
      EXPECT_EQ(chart.fields()[i].name, source.fields()[i].name);
      EXPECT_EQ(chart.fields()[i].length, source.fields()[i].length);
    }
    Cdx index = Cdx::open((work() / "VRMAEEXX.CDX").string(), {true, true, 0});
    ASSERT_EQ(index.tags().size(), 1u);
    EXPECT_EQ(index.tags()[0].name, "CODIGO");
    EXPECT_EQ(index.tags()[0].forExpression, "!Deleted()");
  }
  // The session files, byte for byte.
  EXPECT_EQ(storetest::readFile((work() / "Consecut.mem").string()),
            std::string("CCONSECUT\0\0\xC3\0\0\0\0\4\0", 18) + std::string(14, '\0') +
                std::string("1  \0\x1A", 5));
  const std::string periods = storetest::readFile((work() / "Periodos.mem").string());
  ASSERT_EQ(periods.size(), 2 * 40 + 1u);
  EXPECT_EQ(periods.substr(0, 10), "NMESTRPRIM");
  EXPECT_EQ(static_cast<unsigned char>(periods[11]), 0xCE);
  EXPECT_EQ(periods.substr(32, 8), std::string(8, '\0'));  // 0.0
  EXPECT_EQ(periods.substr(40, 10), "NMESTRULTI");
  const std::string session = storetest::readFile(s_inst->programFolder + "/VarMem01.mem");
  EXPECT_EQ(session.substr(32, 10), std::string("ANDINA10\\\0", 10));
  EXPECT_NE(session.find(std::string("\\NRVVS\\\0\x1A", 9)), std::string::npos);
  // The manual sits in the program folder's help folder.
  EXPECT_TRUE(fs::exists(fs::path(s_inst->programFolder) / "help" / "DorAzo.html"));
}

// The assignments, in the working folder and in the previous year's installation, name accounts
// of the chart that are in use and concepts of the reference tables with their nature.
TEST_F(Demo, AssignmentTablesNameRealAccountsAndConcepts) {
  std::map<std::string, std::string> natures;
  for (const Row& r : readTable(fs::path(s_inst->programFolder) / "Concepts.dbf").rows)
    natures[r.at("FORMATO") + r.at("CONCEPTO")] = r.at("TIPO");
  std::set<std::string> inUse;
  for (const Row& r : readTable(ledger() / "VRMAE.DBF").rows)
    if (r.at("APLICA").empty() && r.at("CODIGO").back() != '.') inUse.insert(r.at("CODIGO"));
  const fs::path previous = fs::path(s_inst->driveFolder) / "NRVEXO10/NRVVS/ANDINA10";
  std::size_t sizes[2] = {};
  int n = 0;
  for (const fs::path& folder : {work(), previous}) {
    const Table t = readTable(folder / "CodCont.dbf");
    sizes[n++] = t.rows.size();
    std::set<std::string> formats;
    for (const Row& r : t.rows) {
      EXPECT_EQ(inUse.count(r.at("COD_CONT")), 1u) << r.at("COD_CONT");
      ASSERT_EQ(natures.count(r.at("FORMATO") + r.at("CONCEPTO")), 1u) << r.at("CONCEPTO");
      EXPECT_EQ(r.at("NATURALEZ"), natures[r.at("FORMATO") + r.at("CONCEPTO")]);
      formats.insert(r.at("FORMATO"));
    }
    EXPECT_GE(formats.size(), 10u);
    const auto byConcept = walk(folder / "CodContx.cdx", "CodiCont");
    ASSERT_EQ(byConcept.size(), t.rows.size());
    for (std::size_t i = 0; i < byConcept.size(); ++i) {
      const Row& r = t.rows[byConcept[i].second - 1];
      std::string code = r.at("COD_CONT");
      code.resize(20, ' ');
      EXPECT_EQ(byConcept[i].first, r.at("FORMATO") + r.at("CONCEPTO") + code);
      if (i > 0) {
        EXPECT_LE(byConcept[i - 1].first, byConcept[i].first);
      }
    }
    EXPECT_EQ(walk(folder / "CodContx.cdx", "Codigo").size(), t.rows.size());
  }
  EXPECT_LT(sizes[1], sizes[0]);  // last year some accounts had not been assigned yet
}

TEST(DemoControlFile, AFolderNameThatLeavesTheDriveIsRefused) {
  storetest::TempDir dir;
  fs::create_directories(dir.file("drive/NRVVS"));
  Dbf ctl = Dbf::create(dir.file("drive/NRVVS/vrCtl.org"), {{"EMPRESA", 'C', 40, 0},
                                                            {"CAMINO", 'C', 30, 0},
                                                            {"ULT_PER", 'C', 2, 0},
                                                            {"FECHA_INI", 'D', 8, 0}});
  std::vector<char> rec = ctl.blankRecord();
  ctl.setText(rec.data(), 0, "EMPRESA");
  ctl.setText(rec.data(), 1, "..\\..\\WINDOWS\\");
  ctl.append(rec.data());
  ctl.close();
  EXPECT_THROW(exo::demo::describeDemo(dir.file("")), exo::FailureError);
}

}  // namespace

namespace {

// The ledger read through the work areas as the imports read it: the chart related to its
// names through Str(APU_NOM,5,0), and the directory's name tag, written in plain byte order as
// another program writes it, walked as stored and searched all the same.
TEST_F(Demo, LedgerThroughTheWorkAreas) {
  exo::Interp ip;
  exo::store::Engine engine(ip);
  const int names = engine.open((ledger() / "VRNOM.DBF").string(), "NOMBRES", true, true);
  engine.addIndex(names, "VRNOMX1.CDX");
  engine.setOrder(names, "APU_NOM");
  const int chart = engine.open((ledger() / "VRMAE.DBF").string(), "MAESTRO", true, true);
  engine.addIndex(chart, "VRMAEX1.CDX");
  engine.setOrder(chart, engine.orders(chart).at(0).tag);
  ip.evalText("dbSetRelation('NOMBRES', {|| Str(APU_NOM,5,0)}, 'Str(APU_NOM,5,0)')");
  int related = 0, accounts = 0;
  engine.forEach(chart, [&] {
    ++accounts;
    if (engine.number(chart, "APU_NOM") > 0) {
      EXPECT_FALSE(engine.eof(names)) << engine.text(chart, "CODIGO");
      EXPECT_EQ(engine.number(names, "APU_NOM"), engine.number(chart, "APU_NOM"));
      ++related;
    }
    return true;
  });
  EXPECT_GT(related, accounts / 2);

  const int dir = engine.open((ledger() / "VRDIR.DBF").string(), "DIREC", true, true);
  engine.addIndex(dir, "VRDIRX1.CDX");
  engine.setOrder(dir, "NOMBRE");
  std::string previous;
  std::vector<std::string> walked;
  engine.forEach(dir, [&] {
    walked.push_back(engine.text(dir, "NOMBRE"));
    EXPECT_LE(previous, walked.back());  // plain byte order, as stored
    previous = walked.back();
    return true;
  });
  EXPECT_EQ(static_cast<std::int64_t>(walked.size()), engine.keyCount(ip, dir));
  ASSERT_FALSE(walked.empty());
  const std::string wanted = walked[walked.size() / 2];
  ASSERT_TRUE(engine.seekKey(dir, exo::Value::text(wanted)));
  EXPECT_EQ(engine.text(dir, "NOMBRE"), wanted);
  engine.setOrder(dir, "CLAVE");
  const std::string key = engine.text(dir, "CLAVE");
  engine.goBottom(ip, dir);
  ASSERT_TRUE(engine.seekKey(dir, exo::Value::text(key)));
}

}  // namespace

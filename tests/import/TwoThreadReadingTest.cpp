// The movement import and the two fixes read their tables on a second thread where they can (the
// import makes the lines of a period ready while it appends the ones before; the fixes read
// each half of the year's table on a thread of its own). Their files must be those of a reading
// on one thread, which is what they do while a hook watches the file operations.
#include <gtest/gtest.h>

#include "LedgerFixture.h"
#include "import/LedgerImport.h"
#include "store/FileFaults.h"

namespace {

using namespace ledgertest;
using exo::import::ARREGLACOMIS;
using exo::import::ARREGLAIVA;
using exo::import::IMPORTATRACON;
using exo::store::FileOp;
using exo::store::FileOpDecision;

// A hook that lets every operation through: the work stays on the calling thread.
struct WatchedFiles {
  WatchedFiles() {
    exo::store::setFileOpHook([](FileOp, const std::string&) { return FileOpDecision{}; });
  }
  ~WatchedFiles() { exo::store::setFileOpHook({}); }
};

// A ledger of several thousand lines (more than one block of prepared records): vouchers whose
// lines lie at both ends of the year's table, VAT and commission lines, lines without a third
// party and a closing voucher in December.
void writeLedger(LedgerCompany& c) {
  c.writeDirectory({{"00005", "800100200"}, {"00017", "900300400"}, {"00030", "71222333"}});
  c.writePeriod(0, {{"FC", "INICIO01", "1.1.05", "00005", 100, "", "saldo"},
                    {"FC", "VARIOS", "1.1.05", "00005", 50, "", "no es saldo inicial"}});
  std::vector<Line> january;
  // The first lines of two vouchers whose other lines come last in the table.
  january.push_back({"FC", "9000", "2.4.08", "IVA01", -16, "", "iva"});
  january.push_back({"FE", "9001", "2.3.35", "00030", -300, "CO", "comision"});
  // 600 vouchers of five lines each, their lines scattered over the month.
  for (int i = 0; i < 3000; ++i) {
    const int place = (i * 7919) % 3000;
    const std::string number = std::to_string(1000 + place / 5);
    const std::string type = place / 5 % 3 == 0 ? "FC" : place / 5 % 3 == 1 ? "CE" : "NC";
    switch (place % 5) {
      case 0: january.push_back({type, number, "2.4.08", "IVA01", -19, "", "iva"}); break;
      case 1:
        january.push_back({type, number, "1.3.05", i % 2 ? "00017" : "00005", 19, "", "x"});
        break;
      case 2: january.push_back({type, number, "2.3.35", "00030", -7, "CO", "comision"}); break;
      case 3: january.push_back({type, number, "5.2.95", "00017", 7, "", "Comisi\363n"}); break;
      default: january.push_back({type, number, "1.1.05", "", 3, "", "sin tercero"}); break;
    }
  }
  c.writePeriod(1, january);
  for (int m = 2; m <= 11; ++m) c.writePeriod(m, {});
  std::vector<Line> december;
  for (int i = 0; i < 1500; ++i) {
    december.push_back(
        {"FD", std::to_string(2000 + i / 3), "4.1.35", i % 2 ? "00005" : "00017", -5, "", "venta"});
    december.push_back({"CD", "CIERRE  ", "3.6.05", "00005", 1, "", "cierre"});
  }
  december.push_back({"FC", "9000", "4.1.35", "00017", 16, "", "venta"});
  december.push_back({"FE", "9001", "5.2.95", "00005", 300, "", "COMISION"});
  c.writePeriod(12, december);
}

std::vector<std::string> yearFiles(const LedgerCompany& c) {
  return {readBytes(c.work() / "vrTraCon.99"), readBytes(c.work() / "vrTraCox.cdx"),
          readBytes(c.work() / "vrSinTer.99")};
}

TEST(TwoThreadReading, ImportAndFixesWriteTheFilesOfAReadingOnOneThread) {
  LedgerCompany two, one;
  writeLedger(two);
  writeLedger(one);
  const auto run = [](LedgerCompany& c, int& moved) {
    ASSERT_TRUE(IMPORTATRACON(*c.session, c.engine).done);
    const auto vat = ARREGLAIVA(*c.session, c.engine);
    ASSERT_TRUE(vat.done);
    const auto commissions = ARREGLACOMIS(*c.session, c.engine);
    ASSERT_TRUE(commissions.done);
    moved = static_cast<int>(vat.moved + commissions.moved);
  };
  int movedTwo = 0, movedOne = 0;
  run(two, movedTwo);
  {
    const WatchedFiles watched;
    run(one, movedOne);
  }
  EXPECT_GT(movedTwo, 100);
  EXPECT_EQ(movedTwo, movedOne);
  const auto a = yearFiles(two), b = yearFiles(one);
  EXPECT_TRUE(a[0] == b[0]) << "vrTraCon.99";
  EXPECT_TRUE(a[1] == b[1]) << "vrTraCox.cdx";
  EXPECT_TRUE(a[2] == b[2]) << "vrSinTer.99";

  // The vouchers split between the two ends of the table are fixed as one voucher each: the
  // VAT line goes to the sale's third party, the commission expense to the salesperson.
  const auto parties = two.column("vrTraCon.99", "CTA_DIR");
  const auto comproba = two.column("vrTraCon.99", "COMPROBA");
  const auto codigo = two.column("vrTraCon.99", "CODIGO");
  int seen = 0;
  for (std::size_t i = 0; i < parties.size(); ++i) {
    if (comproba[i].rfind("9000", 0) == 0 && codigo[i].rfind("2.4.08", 0) == 0) {
      EXPECT_EQ(parties[i], "00017");
      ++seen;
    }
    if (comproba[i].rfind("9001", 0) == 0 && codigo[i].rfind("5.2.95", 0) == 0) {
      EXPECT_EQ(parties[i], "00030");
      ++seen;
    }
  }
  EXPECT_EQ(seen, 2);
}

}  // namespace

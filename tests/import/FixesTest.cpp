// The VAT and commission fixes on a year's table made by the movement import from ledger files
// written by the test.
#include <gtest/gtest.h>

#include "LedgerFixture.h"
#include "import/LedgerImport.h"
#include "store/Cdx.h"
#include "store/Dbf.h"

namespace {

using namespace ledgertest;
using exo::import::ARREGLACOMIS;
using exo::import::ARREGLAIVA;
using exo::import::IMPORTATRACON;

class Fixes : public ::testing::Test, public LedgerCompany {
 protected:
  void SetUp() override {
    writeDirectory({{"00005", "800100200"},
                    {"00017", "900300400"},
                    {"00030", "71222333"},
                    {"00040", "43111222"},
                    {"IVA01", "0"}});
    writePeriod(0, {});
    writePeriod(
        1,
        {
            // Two VAT lines and two counterparts: both go to 00005, the lower code.
            {"FC", "0001", "2.4.08", "IVA01", -160, "", "iva"},
            {"FC", "0001", "2.4.08", "IVA01", -40, "", "iva"},
            {"FC", "0001", "1.3.05", "00017", 600, "", "cliente"},
            {"FC", "0001", "4.1.35", "00005", -400, "", "venta"},
            // Only VAT lines: they stay.
            {"CC", "0002", "2.4.08", "IVA01", 10, "", "iva"},
            {"CC", "0002", "2.4.08", "IVA02", -10, "", "iva"},
            // The lowest code is a commission line: the VAT goes to the next, one not registered.
            {"FE", "0003", "2.4.08", "IVA01", -16, "", "iva"},
            {"FE", "0003", "2.3.35", "00001", -5, "CO", "comision"},
            {"FE", "0003", "1.3.05", "00077", 21, "", "cliente"},
            // A voucher type the fix leaves alone.
            {"NC", "0004", "2.4.08", "IVA01", 5, "", "iva"},
            {"NC", "0004", "1.3.05", "00005", -5, "", "cliente"},
            // Commission of 1,000 and its expense line: the expense goes to the salesperson.
            {"FC", "0005", "2.3.35", "00030", -1000, "CO", "comision vendedor"},
            {"FC", "0005", "5.2.95", "00005", 999, "", "Comisi\363n en ventas"},
            {"FC", "0005", "5.2.95", "00040", 1000, "", "Comisi\363n en ventas"},
            {"FC", "0005", "1.3.05", "00005", 1, "", "cliente"},
            // An expense of 999 against a commission of 1,000 does not match.
            {"FD", "0006", "2.3.35", "00030", -1000, "CO", "comision vendedor"},
            {"FD", "0006", "5.2.95", "00040", 999, "", "COMISION"},
            // A matching line that is not an expense account, then one already on the salesperson.
            {"FT", "0007", "2.3.35", "00030", -300, "CO", "comision"},
            {"FT", "0007", "4.1.35", "00001", 300, "", "Comisi\363n"},
            {"FT", "0007", "5.2.95", "00030", 300, "", "comision"},
            // Commissions of a purchase voucher are not sales commissions.
            {"CC", "0008", "2.3.35", "00030", -50, "CO", "comision"},
            {"CC", "0008", "5.2.95", "00040", 50, "", "comision"},
        });
    ASSERT_TRUE(IMPORTATRACON(*session, engine).done);
    ui.clear();
  }

  // CTA_DIR (and NIT) of every line, in file order.
  std::vector<std::string> parties() { return column("vrTraCon.99", "CTA_DIR"); }
  std::vector<std::string> nits() { return column("vrTraCon.99", "NIT"); }
};

TEST_F(Fixes, VatLinesMoveToTheLowestRealThirdPartyOfTheirVoucher) {
  const auto r = ARREGLAIVA(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.moved, 3);
  EXPECT_EQ(r.scanned, 20);  // the lines of FC, FE, FD, FT and CC vouchers
  const auto p = parties();
  const auto n = nits();
  EXPECT_EQ(p[0], "00005");
  EXPECT_EQ(p[1], "00005");
  EXPECT_EQ(n[0], "800100200           ");
  EXPECT_EQ(n[1], "800100200           ");
  EXPECT_EQ(p[2], "00017");
  EXPECT_EQ(n[2], std::string(20, ' '));
  EXPECT_EQ(p[4], "IVA01");  // a voucher of VAT lines only
  EXPECT_EQ(p[5], "IVA02");
  EXPECT_EQ(p[6], "00077");
  EXPECT_EQ(n[6], "** NO REGISTRADO ** ");
  EXPECT_EQ(p[9], "IVA01");  // NC is not fixed

  const auto main = statusTexts(0);
  EXPECT_EQ(main.front(), "Procesando, por favor espere.....");
  EXPECT_EQ(main.back(), "Proceso terminado....");
  EXPECT_EQ(statusTexts(1), std::vector<std::string>{""});
  EXPECT_EQ(statusTexts(2).front(), "");
  EXPECT_EQ(statusTexts(2).back().rfind("Tiempo:  ", 0), 0u);
  const auto meter = ui.callsOf("meterBegin");
  ASSERT_EQ(meter.size(), 1u);
  EXPECT_EQ(meter[0].number, 20);

  // The tags follow the change: the voucher's lines in third-party order.
  const int area = engine.open((work() / "vrTraCon.99").string(), "Y", true, true);
  engine.addIndex(area, "vrTraCox.cdx");
  engine.setOrder(area, "CmpCtaDir");
  ASSERT_TRUE(engine.seekKey(area, Value::text("FC0001    00005")));
  engine.close(ip, area);

  // A second run finds nothing left to move.
  const auto again = ARREGLAIVA(*session, engine);
  ASSERT_TRUE(again.done);
  EXPECT_EQ(again.moved, 0);
  EXPECT_EQ(parties(), p);
}

// The VAT lines are changed under the table lock as one batch: afterwards the index file carries
// no mark and both tags are sound. When another user holds a line of the table the lock cannot
// be had, and the lines are changed one by one under their own locks, with the same result.
TEST_F(Fixes, VatFixLeavesSoundTagsWithTheTableLockOrWithoutIt) {
  const fs::path year = work() / "vrTraCon.99", index = work() / "vrTraCox.cdx";
  const auto checkIndex = [&] {
    EXPECT_EQ(readBytes(index).substr(28, 4), std::string(4, '\0'));
    exo::store::Cdx cdx = exo::store::Cdx::open(index.string(), {true, true, 0});
    for (std::size_t tag = 0; tag < cdx.tags().size(); ++tag) EXPECT_EQ(cdx.check(tag), "");
  };
  std::vector<std::string> batched;
  {
    const auto r = ARREGLAIVA(*session, engine);
    ASSERT_TRUE(r.done);
    EXPECT_EQ(r.moved, 3);
    batched = parties();
    checkIndex();
  }
  ASSERT_TRUE(IMPORTATRACON(*session, engine).done);
  exo::store::Dbf other = exo::store::Dbf::open(year.string(), {true, false, 0});
  ASSERT_TRUE(other.lockRecord(3));  // a line that is not moved
  const auto r = ARREGLAIVA(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.moved, 3);
  EXPECT_EQ(parties(), batched);
  other.close();
  checkIndex();
  const int area = engine.open(year.string(), "Y", true, true);
  engine.addIndex(area, "vrTraCox.cdx");
  engine.setOrder(area, "CmpCtaDir");
  EXPECT_TRUE(engine.seekKey(area, Value::text("FE0003    00077")));
  EXPECT_EQ(engine.recNo(area), 7);
  engine.close(ip, area);
}

TEST_F(Fixes, CommissionExpenseMovesToTheSalespersonOnlyOnAnExactMatch) {
  const auto before = parties();
  const auto r = ARREGLACOMIS(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.scanned, 16);  // FC, FE, FD and FT lines
  EXPECT_EQ(r.moved, 1);
  auto expected = before;
  expected[13] = "00030";  // the 1,000 expense
  EXPECT_EQ(parties(), expected);
  EXPECT_EQ(statusTexts(0).back(), "Proceso terminado....");

  const auto again = ARREGLACOMIS(*session, engine);
  ASSERT_TRUE(again.done);
  EXPECT_EQ(again.moved, 0);
  EXPECT_EQ(parties(), expected);
}

TEST_F(Fixes, BeforeTheMovementImportTheFixesStopWithAMessage) {
  fs::remove(work() / "vrTraCon.99");
  for (const auto& fix : {ARREGLAIVA, ARREGLACOMIS}) {
    ui.clear();
    EXPECT_FALSE(fix(*session, engine).done);
    const auto m = ui.callsOf("message");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].title, "Atenci\363n.....");
    EXPECT_EQ(m[0].text, "Debe Importar Movimientos Contables primero");
    EXPECT_TRUE(ui.callsOf("status").empty());
  }
  EXPECT_FALSE(fs::exists(work() / "vrTraCon.99"));
}

// Vouchers where the order of the third parties is not the order of their bytes, where a line
// is deleted, and where one commission change decides what the next commission line finds.
class FixesOrder : public ::testing::Test, public LedgerCompany {
 protected:
  void SetUp() override {
    writeDirectory({{"00005", "800100200"}, {"\321ANDU", "900900900"}});
    writePeriod(0, {});
    writePeriod(1, {
                       // Ñ comes after N and before O: the VAT goes to the Ñ code.
                       {"FC", "0010", "2.4.08", "IVA01", -16, "", "iva"},
                       {"FC", "0010", "1.3.05", "OSCAR", 50, "", "cliente"},
                       {"FC", "0010", "4.1.35", "\321ANDU", -34, "", "venta"},
                       // The lowest code is deleted below: the VAT goes to the next one.
                       {"CE", "0011", "2.4.08", "IVA01", 8, "", "iva"},
                       {"CE", "0011", "1.1.05", "00003", -20, "", "caja"},
                       {"CE", "0011", "5.1.35", "00009", 12, "", "gasto"},
                       // Two commission lines of 100 and two expense lines of 100: the first
                       // takes 00001's line, which then sorts after 00003, so the second
                       // commission takes 00003's line.
                       {"FE", "0012", "2.3.35", "00040", -100, "CO", "comision"},
                       {"FE", "0012", "2.3.35", "00002", -100, "CO", "comision"},
                       {"FE", "0012", "5.2.95", "00001", 100, "", "Comisi\363n"},
                       {"FE", "0012", "5.2.95", "00003", 100, "", "Comisi\363n"},
                   });
    ASSERT_TRUE(IMPORTATRACON(*session, engine).done);
    const int area = engine.open((work() / "vrTraCon.99").string(), "BORRAR", true, false);
    engine.addIndex(area, "vrTraCox.cdx");
    engine.goTo(ip, area, 5);
    ASSERT_EQ(engine.text(area, "CTA_DIR"), "00003");
    engine.deleteRecord(ip, area);
    engine.close(ip, area);
    ui.clear();
  }

  // CTA_DIR of every record, deleted ones too, in file order.
  std::vector<std::string> parties() {
    exo::store::Dbf table =
        exo::store::Dbf::open((work() / "vrTraCon.99").string(), {true, true, 0});
    const int field = *table.fieldIndex("CTA_DIR");
    std::vector<char> rec(table.recordLength());
    std::vector<std::string> out;
    for (std::uint32_t r = 1; r <= table.recordCount(); ++r) {
      table.read(r, rec.data());
      out.emplace_back(table.text(rec.data(), field));
    }
    return out;
  }
};

TEST_F(FixesOrder, VatFollowsTheSpanishOrderAndPassesOverDeletedLines) {
  const auto r = ARREGLAIVA(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.scanned, 9);  // the deleted line is not counted
  EXPECT_EQ(r.moved, 2);
  const auto p = parties();
  EXPECT_EQ(p[0], "\321ANDU");
  EXPECT_EQ(p[3], "00009");
  EXPECT_EQ(column("vrTraCon.99", "NIT").front(), "900900900           ");
  const int area = engine.open((work() / "vrTraCon.99").string(), "Y", true, true);
  engine.addIndex(area, "vrTraCox.cdx");
  engine.setOrder(area, "CmpCtaDir");
  EXPECT_TRUE(engine.seekKey(area, Value::text("CE0011    00009")));
  EXPECT_EQ(engine.recNo(area), 4);
  engine.close(ip, area);
}

TEST_F(FixesOrder, EachCommissionLineSeesTheChangesOfTheOnesBefore) {
  const auto r = ARREGLACOMIS(*session, engine);
  ASSERT_TRUE(r.done);
  EXPECT_EQ(r.scanned, 7);
  EXPECT_EQ(r.moved, 2);
  const auto p = parties();
  EXPECT_EQ(p[8], "00040");
  EXPECT_EQ(p[9], "00002");
  exo::store::Cdx cdx = exo::store::Cdx::open((work() / "vrTraCox.cdx").string(), {true, true, 0});
  for (std::size_t tag = 0; tag < cdx.tags().size(); ++tag) EXPECT_EQ(cdx.check(tag), "");
}

}  // namespace

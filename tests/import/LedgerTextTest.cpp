// The ledger's texts read by each table's code-page mark, and the lines without a third party
// kept per account, on demo ledgers of the same seed written in each character set.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "../store/StoreTestSupport.h"
#include "demo/Demo.h"
#include "expr/Codepage.h"
#include "expr/Interp.h"
#include "expr/Text.h"
#include "import/LedgerImport.h"
#include "masterdata/ThirdParty.h"
#include "shell/Company.h"
#include "shell/ScriptedUserInterface.h"
#include "shell/Session.h"
#include "shell/Utilities.h"
#include "store/Dictionary.h"
#include "store/Engine.h"

namespace {

namespace fs = std::filesystem;
using namespace exo;

// What the program took from one ledger: names of the directory, details of the movements,
// the company names of the control file, the lines without a third party per account.
struct Taken {
  std::uint8_t directoryMark = 0xFF;
  std::map<std::string, std::string> names;      // CLAVE -> NOMBRE (DirectoryReader)
  std::map<std::string, std::string> busnomdi;   // CLAVE -> BUSNOMDI
  std::map<std::string, std::string> addresses;  // CLAVE -> DIREC1
  std::vector<std::string> details;              // DETALLE of "vrTraCon.99", record order
  std::vector<std::string> companies;            // CARGAVRCTL
  std::map<std::string, std::pair<double, double>> withoutParty;        // CODIGO -> lines, balance
  std::map<std::string, std::pair<double, double>> ledgerWithoutParty;  // read here
};

// The lines without a third party of the ledger's period files as the import reads them.
void readLedgerWithoutParty(const fs::path& ledger, int lastMonth, Taken& t) {
  for (int p = 0; p <= lastMonth; ++p) {
    store::Dbf f =
        store::Dbf::open((ledger / store::ledgerPeriodFile(p)).string(), {true, true, 0});
    const int cta = *f.fieldIndex("CTA_DIR"), monto = *f.fieldIndex("MONTO"),
              comp = *f.fieldIndex("COMPROBA"), code = *f.fieldIndex("CODIGO");
    std::vector<char> rec(f.recordLength());
    for (std::uint32_t r = 1; r <= f.recordCount(); ++r) {
      f.read(r, rec.data());
      if (store::Dbf::isDeleted(rec.data())) continue;
      const double m = f.number(rec.data(), monto).value;
      const std::string_view c = f.text(rec.data(), comp);
      if (m == 0 || !trimBlanks(f.text(rec.data(), cta)).empty()) continue;
      if (p == 0 && c.find("INICIO") == std::string_view::npos) continue;
      if (p == 12 && c.substr(0, 8) == "CIERRE  ") continue;
      auto& a = t.ledgerWithoutParty[std::string(trimRight(f.text(rec.data(), code)))];
      a.first += 1;
      a.second += m;
    }
  }
}

Taken importLedger(demo::LedgerCharset charset) {
  storetest::TempDir dir;
  demo::DemoOptions o;
  o.folder = dir.file("demo");
  o.lines = 4000;
  o.seed = 11;
  o.sourceFolder = EXOGENA_SOURCE_DIR;
  o.ledgerCharset = charset;
  const auto installed = demo::installDemo(o);
  Interp ip;
  store::Engine engine(ip);
  shell::ScriptedUserInterface ui;
  shell::Folders folders{installed.programFolder, installed.driveFolder};
  EXPECT_TRUE(shell::VARIABLPUBLIC(ip, ui, folders));
  shell::Session session(ip, ui, folders);
  Taken t;
  for (const auto& c : shell::CARGAVRCTL(session, engine, 1)) t.companies.push_back(c.empresa);
  session.setPathOrigen("\\NRVVS\\");
  session.setCelPath("NRVVS\\" + installed.companies[0].folder + "\\");
  session.formPaths();
  fs::create_directories(session.companyFolder());
  const auto r = import::IMPORTATRACON(session, engine);
  EXPECT_TRUE(r.done);
  const std::string work = session.companyFolder().string();

  const int direc = store::openCompanyTable(engine, work, store::kDirectoryCopy, "DIREC");
  t.directoryMark = engine.codePageMark(direc);
  masterdata::DirectoryReader reader(ip);
  engine.forEach(direc, [&] {
    const auto e = reader.read(direc);
    t.names[e.clave] = e.nombre;
    t.addresses[e.clave] = e.direc1;
    return true;
  });
  engine.setOrder(direc, engine.orders(direc).front().tag);
  for (const auto& [key, name] : t.names) t.busnomdi[key] = shell::BUSNOMDI(ip, key);
  engine.close(ip, direc);

  const int year =
      engine.open((fs::path(work) / store::kYearMovements).string(), "TRACON", true, true);
  engine.forEach(year, [&] {
    t.details.push_back(engine.text(year, "DETALLE"));
    return true;
  });
  engine.close(ip, year);
  const int lines = store::openCompanyTable(engine, work, store::kLinesWithoutParty, "SINTER");
  EXPECT_NE(lines, 0);
  engine.forEach(lines, [&] {
    t.withoutParty[std::string(trimRight(engine.text(lines, "CODIGO")))] = {
        engine.number(lines, "LINEAS"), engine.number(lines, "MONTO")};
    return true;
  });
  engine.close(ip, lines);
  readLedgerWithoutParty(fs::path(installed.driveFolder) / "NRVVS" / installed.companies[0].folder,
                         installed.companies[0].lastPeriod, t);
  return t;
}

bool hasLetter(const std::map<std::string, std::string>& names, char letter) {
  for (const auto& [k, n] : names)
    if (n.find(letter) != std::string::npos) return true;
  return false;
}

TEST(LedgerText, EveryMarkGivesTheSameWindowsTextAndTheLinesWithoutThirdParty) {
  const Taken oem = importLedger(demo::LedgerCharset::Oem850);
  const Taken ansi = importLedger(demo::LedgerCharset::WindowsAnsi);
  const Taken unmarked = importLedger(demo::LedgerCharset::Unmarked);
  EXPECT_EQ(oem.directoryMark, 0x02);
  EXPECT_EQ(ansi.directoryMark, 0x03);
  EXPECT_EQ(unmarked.directoryMark, 0x00);
  // The same seed: the same names whatever the character set the ledger wrote them in.
  ASSERT_FALSE(oem.names.empty());
  EXPECT_TRUE(hasLetter(oem.names, '\321'));  // Ñ in Windows-1252
  EXPECT_TRUE(hasLetter(oem.names, '\315'));  // Í
  for (const Taken* t : {&ansi, &unmarked}) {
    EXPECT_EQ(t->names, oem.names);
    EXPECT_EQ(t->busnomdi, oem.names);
    EXPECT_EQ(t->addresses, oem.addresses);
    EXPECT_EQ(t->details, oem.details);
    EXPECT_EQ(t->companies, oem.companies);
  }
  EXPECT_EQ(oem.busnomdi, oem.names);
  // Details of the movements reach the year's table in Windows-1252.
  bool accented = false;
  for (const std::string& d : oem.details)
    accented =
        accented || d.find_first_of("\301\311\315\323\332\321\341\351\355\363\372\361") != d.npos;
  EXPECT_TRUE(accented);  // the accented letters of the account names, in Windows-1252

  // The lines without a third party, per account, as the ledger holds them.
  ASSERT_FALSE(oem.ledgerWithoutParty.empty());
  EXPECT_EQ(oem.withoutParty, oem.ledgerWithoutParty);
  EXPECT_EQ(ansi.withoutParty, oem.withoutParty);
}

TEST(LedgerText, MarksNameTheirCodePages) {
  const std::string oem = "MAR\326N ESPA\245OLA";  // code page 850 bytes of Í and Ñ
  EXPECT_EQ(ledgerText(0x02, oem), "MAR\315N ESPA\321OLA");
  EXPECT_EQ(ledgerText(0x00, oem), "MAR\315N ESPA\321OLA");  // no mark: 850
  EXPECT_EQ(ledgerText(0x14, oem), "MAR\315N ESPA\321OLA");  // Spanish OEM: 850
  for (std::uint8_t mark : {0x03, 0x57, 0x58, 0x59})
    EXPECT_EQ(ledgerText(mark, "MAR\315N ESPA\321OLA"), "MAR\315N ESPA\321OLA") << int(mark);
  // 437 has Ñ where 850 has it but no Í: the byte 0xD6 is a box corner there.
  EXPECT_EQ(ledgerText(0x01, "ESPA\245OLA \326"), "ESPA\321OLA ?");
  EXPECT_EQ(codePageOfMark(0x01), 437);
  EXPECT_EQ(codePageOfMark(0x64), 852);
  EXPECT_EQ(codePageOfMark(0xC8), 1250);
  EXPECT_EQ(codePageOfMark(0x00), 0);
  // Every byte of 850 as oemToAnsi converts it.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(ledgerText(0x02, all), oemToAnsi(all));
}

}  // namespace

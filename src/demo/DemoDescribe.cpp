// Reads back a demo installation: the products' control files and the size of each ledger.
#include <filesystem>

#include "demo/Demo.h"
#include "expr/Codepage.h"
#include "expr/Dates.h"
#include "expr/Text.h"
#include "store/Dbf.h"
#include "store/Dictionary.h"
#include "store/StoreFailure.h"

namespace exo::demo {
namespace {

namespace fs = std::filesystem;
using store::Dbf;

std::uint32_t records(const fs::path& table) {
  if (!fs::exists(table)) return 0;
  return Dbf::open(table.string(), {true, true, 0}).recordCount();
}

// A company folder named by a control file: one plain folder name and its backslash.
std::string companyFolder(const std::string& camino, const fs::path& controlFile) {
  std::string name = camino;
  if (!name.empty() && name.back() == '\\') name.pop_back();
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("\\/:") != std::string::npos)
    store::raise(GenCode::Corruption, "Carpeta de empresa no v\341lida: " + camino,
                 controlFile.string(), 0, "vrCtl");
  return name;
}

void describeProduct(const fs::path& drive, const char* product, DemoInstallation& inst) {
  const fs::path control = drive / product / store::kLedgerControl;
  if (!fs::exists(control)) return;
  Dbf ctl = Dbf::open(control.string(), {true, true, 0});
  std::vector<char> rec(ctl.recordLength());
  const int empresa = *ctl.fieldIndex("EMPRESA"), camino = *ctl.fieldIndex("CAMINO");
  const int ultPer = *ctl.fieldIndex("ULT_PER"), fechaIni = *ctl.fieldIndex("FECHA_INI");
  for (std::uint32_t r = 1; r <= ctl.recordCount(); ++r) {
    ctl.read(r, rec.data());
    if (Dbf::isDeleted(rec.data())) continue;
    DemoCompany c;
    c.product = product;
    c.name = ledgerText(ctl.codePageMark(), trimRight(ctl.text(rec.data(), empresa)));
    c.folder = companyFolder(std::string(trimRight(ctl.text(rec.data(), camino))), control);
    c.lastPeriod = std::atoi(std::string(ctl.text(rec.data(), ultPer)).c_str());
    const std::int32_t start = ctl.date(rec.data(), fechaIni);
    int month = 0, day = 0;
    if (start > 0) ymdFromJulian(start, c.year, month, day);
    const fs::path ledger = drive / product / c.folder;
    for (int p = 0; p <= 12; ++p)
      c.lines[static_cast<std::size_t>(p)] = records(ledger / store::ledgerPeriodFile(p));
    c.accounts = records(ledger / store::kLedgerChart);
    c.thirdParties = records(ledger / store::kLedgerDirectory);
    inst.companies.push_back(std::move(c));
  }
}

}  // namespace

DemoInstallation describeDemo(const std::string& folder) {
  const fs::path root(folder);
  DemoInstallation inst{(root / "program").string(), (root / "drive").string(), {}};
  describeProduct(inst.driveFolder, "NRVVS", inst);
  describeProduct(inst.driveFolder, "NRVCONTB", inst);
  return inst;
}

}  // namespace exo::demo

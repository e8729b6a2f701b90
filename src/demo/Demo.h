// The demo installation: a complete, realistic setting for running and testing the program
// without the sibling accounting product. Lays out a program folder (reference tables, report
// definitions, session file, the first company's working folder) and a drive folder holding the
// sibling products with their control files and a year of ledger files per company, and the
// previous year's installation with an assignment table.
//
// The layout is a function of the options alone: the same options give byte-identical files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace exo::demo {

// The character set the ledger's tables are written in, with the code-page mark that says so.
enum class LedgerCharset : std::uint8_t {
  Oem850,       // code page 850, marked 0x02 (as the ledger product writes them)
  WindowsAnsi,  // Windows-1252, marked 0x03
  Unmarked,     // code page 850 without a mark (0x00)
};

struct DemoOptions {
  std::string folder;           // created; must not exist or be empty
  std::uint64_t lines = 20000;  // approximate movement lines of each company-year
  std::uint64_t seed = 1;
  int companies = 1;          // company-years of the first product, 1 to 40 (the second is the
                              // first company's previous year)
  bool bothProducts = false;  // also lay out the second sibling product with one company
  LedgerCharset ledgerCharset = LedgerCharset::Oem850;  // of every ledger table
  std::string sourceFolder;  // the repository: data/refdata, forms/ and help/ are taken from it
};

struct DemoCompany {
  std::string product;  // "NRVVS" or "NRVCONTB"
  std::string name;     // Windows-1252
  std::string folder;   // the company-year's folder, e.g. "ANDINA10"
  int year = 0;
  int lastPeriod = 0;
  std::array<std::uint64_t, 13> lines{};  // movement lines per period file (0 = opening)
  std::size_t accounts = 0, thirdParties = 0;
  std::uint64_t totalLines() const;
};

struct DemoInstallation {
  std::string programFolder;  // folder/program
  std::string driveFolder;    // folder/drive: the root of the drive for EXOGENA_DRIVE
  std::vector<DemoCompany> companies;
};

// Lays out the demo. Fails (FailureError) when the folder is not empty (GenCode::Create), when
// the reference data cannot be read, or with the file layer's failures.
DemoInstallation installDemo(const DemoOptions& options);

// Lays out a program folder without session or companies, as a real ledger needs it: the
// reference tables built from the data of `sourceFolder` (the repository: data/refdata), the
// report definitions in "FORMS", the help, and an empty "PREVALIDADOR". Existing reference
// tables are replaced. Fails (FailureError) like installDemo().
void installProgramFolder(const std::string& sourceFolder, const std::string& programFolder);

// Reads back what an installation holds: the companies of each product's control file, and per
// company the lines of each period file and the size of chart and directory.
DemoInstallation describeDemo(const std::string& folder);

}  // namespace exo::demo

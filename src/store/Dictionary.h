// The dictionary of a company-year's working folder: every table the program keeps there and the
// scratch tables its processes build and erase, with their fields, index files and tags; the
// naming rules of the per-format tables; the ledger files read from the sibling product; and the
// routines that create, index and open those tables by name.
//
// Every tag the program builds has the condition "!Deleted()" unless its entry says otherwise.
// File names are written as the program creates them; lookups ignore case.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/Dbf.h"

namespace exo::store {

class Engine;

inline constexpr const char* kNotDeleted = "!Deleted()";

// --- Company folder -----------------------------------------------------------------------------
inline constexpr const char* kChartCopy = "VRMAEEXO.DBF";
inline constexpr const char* kChartCopyIndex = "VRMAEEXX.CDX";
inline constexpr const char* kAssignments = "CodCont.dbf";
inline constexpr const char* kAssignmentsIndex = "CodContx.cdx";
inline constexpr const char* kDirectoryCopy = "VRDIREXO.DBF";
inline constexpr const char* kDirectoryCopyMemo = "VRDIREXO.FPT";
inline constexpr const char* kDirectoryCopyIndex = "VRDIREXX.CDX";
inline constexpr const char* kYearMovements = "vrTraCon.99";
inline constexpr const char* kYearMovementsIndex = "vrTraCox.cdx";
// The year's lines without a third party, totalled per account (never in "vrTraCon.99").
inline constexpr const char* kLinesWithoutParty = "vrSinTer.99";
inline constexpr const char* kLinesWithoutPartyIndex = "vrSinTex.cdx";
inline constexpr const char* kVoucherTotals1007 = "Trf1007B.dbf";
inline constexpr const char* kVoucherTotals1007Index = "Trf1007y.cdx";
inline constexpr const char* kDirectoryErrors = "ErrFDir.dbf";
inline constexpr const char* kScratchIndex = "vrTraCx2.cdx";
inline constexpr const char* kConsecutFile = "Consecut.mem";
inline constexpr const char* kPeriodosFile = "Periodos.mem";
inline constexpr const char* kOutputFolder = "SALIDA";
// Text that stands for the identification of a third party missing from the directory.
inline constexpr const char* kNotRegistered = "** NO REGISTRADO **";

// --- Ledger of the sibling product (read only) --------------------------------------------------
inline constexpr const char* kLedgerControl = "vrCtl.org";
inline constexpr const char* kLedgerChart = "VRMAE.DBF";
inline constexpr const char* kLedgerChartIndex = "VRMAEX1.CDX";
inline constexpr const char* kLedgerNames = "VRNOM.DBF";
inline constexpr const char* kLedgerNamesMemo = "VRNOM.FPT";
inline constexpr const char* kLedgerNamesIndex = "VRNOMX1.CDX";
inline constexpr const char* kLedgerDirectory = "VRDIR.DBF";
inline constexpr const char* kLedgerDirectoryMemo = "VRDIR.FPT";
inline constexpr const char* kLedgerDirectoryIndex = "VRDIRX1.CDX";
// "VRTRACON.00" (opening period) to "VRTRACON.12". REQUIRES: 0 <= period <= 12.
std::string ledgerPeriodFile(int period);

// --- Formats ------------------------------------------------------------------------------------
// "1001" for 1 ... "1012" for 12. REQUIRES: 1 <= number <= 12.
std::string formatCode(int number);
// 1 for "1001" ... 12 for "1012"; nothing for any other text.
std::optional<int> formatNumberOf(std::string_view code);
std::string formatTableFile(std::string_view code);  // "TrF1007.dbf"
std::string formatIndexFile(std::string_view code);  // "TrF1007x.cdx"
std::string baseTableFile(std::string_view code);    // "TrF1002B.dbf"
std::string baseIndexFile(std::string_view code);    // "TrF1010z.cdx"

// --- Table entries ------------------------------------------------------------------------------
struct TagDef {
  std::string name;
  std::string key;
  std::string forCondition = kNotDeleted;
};

struct IndexDef {
  std::string file;
  std::vector<TagDef> tags;  // built in this order
};

// Where a table's fields come from.
enum class Layout {
  Own,          // exactly `fields`
  StructureOf,  // every field of `source`, in its order, then `fields`
  TotalsOf,     // the fields of `source` without its memo fields (a totals target)
  ByteCopy,     // a byte copy of `source` and of its memo and index files (`copies`)
};

struct TableDef {
  std::string file;
  std::string content;  // what a record is, in a few words
  Layout layout = Layout::Own;
  // The file the layout takes from. Empty when it varies with the run (the caller names it).
  std::string source;
  bool sourceInLedger = false;  // `source` is in the ledger's company folder
  std::vector<FieldDef> fields;
  std::vector<IndexDef> indexes;
  // For ByteCopy: the companion files, as pairs of source and target names.
  std::vector<std::pair<std::string, std::string>> copies;
  bool scratch = false;  // built and erased by one process
};

// The tables kept in a company folder from one run to the next, in dictionary order.
const std::vector<TableDef>& companyTables();
// The scratch tables (and the scratch index file vrTraCx2.cdx, listed as a table without file).
const std::vector<TableDef>& scratchTables();
// The entry of a table file of either list, ignoring case; null when unknown.
const TableDef* findTable(std::string_view file);
// The entry of a table file; fails (GenCode::Arg) when unknown.
const TableDef& tableDef(std::string_view file);

// The condition of tag "TotTerc" of the audit totals of format `code`: none for 1009, else
// "!Deleted() .AND. MONTO <> 0.00".
std::string auditTotalsCondition(std::string_view code);

// The complete field list of a table: for StructureOf and TotalsOf the source's structure is read
// from `folder` (or `ledgerFolder` when the source is the ledger's), from `source` when given.
// Fails with the file layer's failures when the source cannot be opened, GenCode::Arg when a
// varying source is not named.
std::vector<FieldDef> tableFields(const TableDef& def, const std::string& folder,
                                  const std::string& ledgerFolder = {},
                                  const std::string& source = {});

// --- Creation and opening through the engine ----------------------------------------------------
// Creates table `file` in `folder` as its entry says (replacing it, and erasing its index files
// first so that no stale index describes the new table); ByteCopy entries copy their files from
// `ledgerFolder` or `folder`. `source` names the source of entries whose source varies. The new
// table is left closed. Failures go through the interpreter's error handler.
void createCompanyTable(Engine& engine, const std::string& folder, std::string_view file,
                        const std::string& ledgerFolder = {}, const std::string& source = {});
// Erases the index files of the table open in `area` and builds their tags in order; the last
// tag built is left as the controlling order. REQUIRES: the area has none of these index files
// attached (open the table without them, or with openCompanyTable before they exist).
void buildCompanyIndexes(Engine& engine, int area, const std::string& folder,
                         std::string_view file);
// Opens table `file` of `folder` under `alias` (the file's base name when empty) with every
// index file of its entry that exists, and returns the area. No order is made active.
int openCompanyTable(Engine& engine, const std::string& folder, std::string_view file,
                     const std::string& alias = {}, bool shared = true);

}  // namespace exo::store

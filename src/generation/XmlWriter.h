// The DIAN XML file of a format: the per-format attribute list, the header and document text,
// the writing of the file from a table of records (the format's XML definition, or the working
// table loaded from a reviewed workbook), and the conversion of the format's review workbook
// into that file.
//
// Layout of the document (Windows-1252 bytes, lines ended by CR LF, nothing after "</mas>"):
//   <?xml version="1.0" encoding="ISO-8859-1"?><mas xmlns:xsi="..."
//   xsi:noNamespaceSchemaLocation="1001.xsd"> <Cab> ...
//   <ValorTotal>n</ValorTotal><CantReg>n</CantReg></Cab> (one element per line) <pagos cpt="5001"
//   tdoc="31" ... /> (one per record, empty values left out)
//   </mas>
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "generation/XmlRules.h"

namespace exo {
class Interp;
class TPublic;
}  // namespace exo

namespace exo::shell {
class Session;
}

namespace exo::generation {

// One attribute of a format's record element: the character field of the working table (upper
// case) whose lower-cased name is the attribute's name, and its width.
struct XmlField {
  std::string name;
  int width = 0;
};

// The record element of a format, the attribute whose values the header totals, and the
// attributes in the order they are written (and in the order of the review workbook's columns).
struct XmlLayout {
  std::string element;
  std::string sumField;  // lower case, as in the document
  std::vector<XmlField> fields;
};

// LOSCAMPOSXML: the layout of format 1 to 12 (1001 to 1012). REQUIRES: 1 <= formatNumber <= 12.
const XmlLayout& LOSCAMPOSXML(int formatNumber);
bool isFormatNumber(int formatNumber);

// The header of the file as the header dialog leaves it in OCABEZ: texts as they stand.
struct XmlHeader {
  std::string ano, codCpt, format, versi, numEnv, fecEnv, fecIni, fecFin;
};
XmlHeader headerFrom(TPublic& cabez);

// "Dmuisca_0" + concept + "0" + format code + "0" + version + year + sending number in eight
// digits + ".xml" (concept 1, format 1001, version 7, year 2008, sending 1 give
// "Dmuisca_010100107200800000001.xml").
// A version of two digits ("10") fills the name's two places itself, with no "0" before it.
std::string xmlFileName(const XmlHeader& header, int formatNumber);
// The two places of the file's name that carry the format's version: "0" + a version of one
// character ("7" gives "07"), a longer version as it stands ("10").
std::string versionInFileName(std::string_view versi);

// TEXTO4CABEZAXML: declaration, root start tag and the header element, each line ended by CR LF;
// `fileName` receives the file's name. Header values are made safe (xmlSafeText) and & and <
// written as character references. `total` is rounded to whole units half away from zero.
std::string TEXTO4CABEZAXML(int formatNumber, const XmlHeader& header, double total,
                            std::int64_t count, std::string& fileName);

// A text as the file may hold it: the control characters XML 1.0 does not allow (0x00 to 0x1F
// other than tab, CR and LF) become blanks, and the characters of Windows-1252 that ISO-8859-1
// lacks (0x80 to 0x9F: curly quotes, dashes, the euro sign, S and Z with caron...) become their
// nearest Latin-1 letters ("\x93A\x94" gives "\"A\"", "\x80" gives "EUR"); a byte without a
// character there becomes a blank. Every other byte stays.
std::string xmlSafeText(std::string_view value);

// An attribute value as written: blanks trimmed, made safe (xmlSafeText), & < and " written as
// character references.
std::string xmlAttributeValue(std::string_view value);

// One record: the values of the layout's fields in order (missing trailing values are empty).
using XmlRecord = std::vector<std::string>;

// The header total: the sum of the sum field's values read as numbers (an empty value is 0).
double xmlTotal(int formatNumber, const std::vector<XmlRecord>& records);

// The whole document of `records`; `fileName` receives the file's name. The document is always
// well formed: every value that had to be changed for it (xmlSafeText) is added to `changed`,
// when given, as a finding that names the record, its third party (document type, number and
// name) and the attribute, with the value as written.
std::string xmlDocument(int formatNumber, const XmlHeader& header,
                        const std::vector<XmlRecord>& records, std::string& fileName,
                        std::vector<XmlFinding>* changed = nullptr);

// The tax authority takes at most `limit` records in one file (kMaxRecordsPerFile), so a format
// with more is sent as several files. The records are cut in their order into runs of at most
// `limit`: [first, last) positions, one run per file. A minor-amounts record (identification
// 222222222) stays in the file of its concept's records: when a cut would leave it as the first
// record of a file, right after records of its concept, the cut moves one record back so that
// the concept's last record goes with it. No records give one empty run (the file still goes,
// with its header).
using XmlRun = std::pair<std::size_t, std::size_t>;
std::vector<XmlRun> xmlFileRuns(int formatNumber, const std::vector<XmlRecord>& records,
                                std::size_t limit);
// The header of the file `index` (0 the first) of a format sent as several files: the sending
// number asked plus `index`; the rest as asked.
XmlHeader headerOfPart(const XmlHeader& header, std::size_t index);

// One file of a format, as written.
struct XmlFilePart {
  std::filesystem::path file;
  std::string numEnv;  // its sending number, as in its header
  std::int64_t records = 0;
  double total = 0;  // its ValorTotal (whole units)
  // The values changed so that the file is well formed (the file then needs the user's look).
  std::vector<XmlFinding> changed;
};

// What writing a format's file (or files) gave.
struct XmlResult {
  bool written = false;
  std::filesystem::path file;      // the first file written (or the one that could not be written)
  std::int64_t records = 0;        // of every file
  double total = 0;                // of every file, rounded to whole units
  std::string error;               // Spanish, when something could not be written
  std::vector<XmlFilePart> files;  // every file written, in sending order
  // The values changed so that the files are well formed (the files then need the user's look).
  std::vector<XmlFinding> changed;
};

// The records of the selected work area, from its first record to its last in its current
// order (filters respected), as the layout's fields (a field the table lacks reads empty,
// a number is written with the decimals it needs, a date as YYYYMMDD). The work area is left
// on its first record.
std::vector<XmlRecord> recordsOfArea(Interp& ip, int formatNumber);

// GENERAXML: writes the file of the selected work area's records into the company folder's
// output folder (CELPATH + CDIRSALIDA), header from OCABEZ; more than `limit` records are
// written as several files (xmlFileRuns), each with its own sending number, CantReg, ValorTotal
// and name. Shows the wait message while it works; a file that cannot be written is reported to
// the user as an error (the files before it stay written).
XmlResult GENERAXML(shell::Session& session, int formatNumber,
                    std::size_t limit = kMaxRecordsPerFile);

// The review workbook of a format: company code + "-MMgmExc" + two-digit format + ".xlsx" in the
// company folder's output folder.
std::filesystem::path excelWorkbookPath(const shell::Session& session, int formatNumber);

// CARGAXLS2XLM: loads the first sheet of the workbook `copy` from row 5 down into the working
// table "TmpTraC.dbf" of the company folder (open as "TraCon" while it is filled; erased at the
// end, the previously selected work area selected again), one record per row and one field per
// column in the layout's order, then writes the file with GENERAXML. `progress`, when given, is
// called with (rows done, rows in all).
XmlResult CARGAXLS2XLM(shell::Session& session, int formatNumber, const std::filesystem::path& copy,
                       const std::function<void(std::int64_t, std::int64_t)>& progress = {});

// CONVIERTE2XML: the conversion button. A missing workbook is told to the user and nothing else
// happens; `askHeader` (the header dialog) returning false stops before anything is copied;
// otherwise the workbook is copied beside itself ("-TempExc"), loaded and written, and the
// copy erased.
XmlResult CONVIERTE2XML(shell::Session& session, int formatNumber,
                        const std::function<bool()>& askHeader);

// The file the last GENERAXML of this interpreter wrote (empty before any), and every file it
// wrote; forgetXmlFiles clears them before a run.
std::filesystem::path lastXmlFile(const Interp& ip);
std::vector<XmlFilePart> lastXmlFiles(const Interp& ip);
void forgetXmlFiles(const Interp& ip);

// Registers LOSCAMPOSXML, CONVIERTEXVALUE, NUMGETDECIMALS, TEXTO4CABEZAXML, GENERAXML,
// CARGAXLS2XLM and CONVIERTE2XML on the interpreter of `session` for the report definitions.
// CONVIERTE2XML asks for the header through the language function PONECABEZA when one is
// registered. `session` must outlive the interpreter's use of them.
void registerXmlFunctions(Interp& ip, shell::Session& session);

}  // namespace exo::generation

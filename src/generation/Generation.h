// The generation of a format's output files: the driver GENERADORAZO behind the two generate
// buttons, the file names of the workbook and of the XML file, the XML header record OCABEZ with
// its defaults, the overwrite questions and the opening of the workbook for review.
//
// A run checks that the format's data are ready, asks for the XML header when the XML file is
// wanted (through the header editor the caller gives: the desktop's dialog, or the command's
// options), has the format's builder fill the output table "TraCon" (Builders.h) and runs the
// format's report definitions over it: "MMG" + NN + "EC.RPO" writes the workbook, "MMG" + NN +
// "XC.RPO" the XML file. Every scratch file of the run is erased when it ends, however it ends.
// The XML file written is then checked against the field rules of its format (XmlRules.h) and
// the findings shown to the user, with the values the writer had to change so that the file is
// well formed; the file stays written either way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "generation/XmlRules.h"
#include "generation/XmlWriter.h"

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}
namespace exo::reports {
class Runner;
}

namespace exo::generation {

inline constexpr std::string_view kAttention = "Atenci\363n.....";
inline constexpr std::string_view kAllConcepts = "Todos...";
inline constexpr std::string_view kInsertion = "1.- Inserci\363n";
inline constexpr std::string_view kReplacement = "2.- Reemplazo";

// "01" for 1 ... "12" for 12.
std::string twoDigits(int formatNumber);
// The company code: CELPATH between its first and its second backslash.
std::string companyCode(std::string_view celPath);
// The workbook of a format: program folder + CELPATH + "SALIDA\" + company code + "-MMgmExc" +
// NN + ".xlsx".
std::filesystem::path workbookPath(const shell::Session& session, int formatNumber);
// The native folder the XML file is written in (CELPATH + CDIRSALIDA).
std::filesystem::path outputFolder(const shell::Session& session);
std::string excelDefinition(int formatNumber);  // "MMG01EC.RPO"
std::string xmlDefinition(int formatNumber);    // "MMG01XC.RPO"

// The eight values of the XML header, as the dialog edits them.
struct Header {
  std::string ano, codCpt, format, versi, numEnv, fecEnv, fecIni, fecFin;
};
// "Dmuisca_0" + first character of CodCpt + "0" + format code + "0" + Versi + ano + NumEnv as a
// number in eight digits with leading zeros + ".xml" (a version of two digits without the "0").
std::string xmlFileName(const Header& h);
// The defaults of the header of `formatNumber`: `version` is the VERSION of the formats table
// ("" when the format is not there), `consecut` CCONSECUT, `now` the clock as "YYYYMMDDHHMMSS",
// `taxYear` the company-year's year (CANIOINI). The year of sending is the clock's; the period
// reported is the tax year, 1 January to 31 December (the clock's year when `taxYear` is not a
// year of four digits).
Header defaultHeader(int formatNumber, std::string_view version, std::string_view consecut,
                     std::string_view now, std::string_view taxYear = {});
// The period of a header moved to another year as one edits it: the first and last dates keep
// their month and day and take the year just typed in `edited` (the other date follows), so that
// the period stays inside one calendar year. `edited` is the date the user changed.
void keepPeriodInOneYear(std::string& edited, std::string& other);
// The VERSION of a format in the formats table of the session (FORMATOS2), "" when not found.
std::string formatVersion(shell::Session& session, store::Engine& engine, int formatNumber);
// Reads and writes OCABEZ (keys ano, CodCpt, Format, Versi, NumEnv, FecEnv, FecIni, FecFin).
Header headerOf(const shell::Session& session);
void storeHeader(shell::Session& session, const Header& h);

// Edits the header in place; false when the user cancelled.
using HeaderEditor = std::function<bool(Header& header)>;

// PONECABEZA: copies the format's version into CVERSION, fills OCABEZ with the defaults, lets
// `edit` change them and stores the result in OCABEZ. Returns what the editor returned.
bool PONECABEZA(shell::Session& session, store::Engine& engine, int formatNumber,
                const HeaderEditor& edit);

// HAYELARCHXLS: true when `file` exists and the user did not choose "&Continuar" on the
// overwrite question.
bool HAYELARCHXLS(shell::Session& session, const std::filesystem::path& file);

// CARGAARCHEXCEL: hands the format's workbook to the desktop to open, or says it was not made.
// True when it was handed over.
bool CARGAARCHEXCEL(shell::Session& session, int formatNumber);

// One XML file of a run and the findings of its check.
struct XmlFileOutcome {
  XmlFilePart part;
  std::vector<XmlFinding> findings;
};

struct GenerationResult {
  bool done = false;               // the definitions asked for ran to their end
  std::int64_t records = 0;        // records of TraCon handed to the definitions
  double total = 0;                // sum of the format's main amount over those records
  bool missingBases = false;       // 1002/1003: some record lacks its retention base
  std::filesystem::path workbook;  // written when asked for
  std::filesystem::path xmlFile;   // written when asked for (the first, when there are several)
  bool xmlWritten = false;         // the XML definition wrote the file in this run
  // The rule findings of the XML files written (empty when they passed, or none was written).
  std::vector<XmlFinding> findings;
  // Every XML file written, in sending order: a format of more than 5,000 records is several.
  std::vector<XmlFileOutcome> xmlFiles;
  // 1002/1003: the third parties and concepts copied without their retention base.
  std::vector<std::string> withoutBase;  // "code name - concepto cccc"
  // Some value of an XML file had to be changed to be written (a character XML does not allow,
  // or one that ISO-8859-1 lacks): the file needs the user's look before it is filed. Those
  // changes come first among the findings of their file.
  bool xmlAltered = false;
  // A failure was let go during the run (the user was shown it): the format is not generated,
  // the files the run wrote were removed, and a run over several formats stops there.
  bool failed = false;
};

// The message that tells the user the format went as several files: each file with its sending
// number, records and total.
std::string splitFilesText(int formatNumber, const std::vector<XmlFileOutcome>& files);

// The findings of the file just written, as the driver shows them: how many, then one line per
// finding (at most `maxLines`, then how many more).
std::string findingsText(const std::filesystem::path& file, const std::vector<XmlFinding>& findings,
                         std::size_t maxLines = 100);

// The builders of the twelve formats, each the frame of a run for its format: the prepared data
// checked, the overwrite question, the header, the output table and the definitions.
#define EXO_DECLARE_BUILDER(N)                                                                   \
  GenerationResult DORAZOF##N(shell::Session& session, store::Engine& engine,                    \
                              reports::Runner& runner, std::string_view conceptCode, bool excel, \
                              bool xml, const HeaderEditor& editHeader);
EXO_DECLARE_BUILDER(1001)
EXO_DECLARE_BUILDER(1002)
EXO_DECLARE_BUILDER(1003)
EXO_DECLARE_BUILDER(1004)
EXO_DECLARE_BUILDER(1005)
EXO_DECLARE_BUILDER(1006)
EXO_DECLARE_BUILDER(1007)
EXO_DECLARE_BUILDER(1008)
EXO_DECLARE_BUILDER(1009)
EXO_DECLARE_BUILDER(1010)
EXO_DECLARE_BUILDER(1011)
EXO_DECLARE_BUILDER(1012)
#undef EXO_DECLARE_BUILDER

// GENERADORAZO: one run for format `formatNumber` (1 to 12; any other number does nothing).
// `conceptCode` is the page's selection; every concept of the format is generated whatever it is.
GenerationResult GENERADORAZO(shell::Session& session, store::Engine& engine,
                              reports::Runner& runner, int formatNumber,
                              std::string_view conceptCode, bool excel, bool xml,
                              const HeaderEditor& editHeader);

}  // namespace exo::generation

// The check of a written DIAN XML file against the field rules of its format, before the user
// files it: lengths, document types, the check digit of a NIT, whole non-negative amounts,
// department and municipality codes that exist (for residents of Colombia), the concepts of the
// format and the most records one file may hold. The file is left as it is; the findings are a
// list the user can act on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace exo::store {
struct RefData;
}

namespace exo::generation {

// The most record elements one file may hold.
inline constexpr std::int64_t kMaxRecordsPerFile = 5000;

// The codes the check looks codes up in (Windows-1252 texts, as in the reference tables).
struct XmlRuleTables {
  std::set<std::string> concepts;        // format code + concept code ("10015001")
  std::set<std::string> departments;     // "05"
  std::set<std::string> municipalities;  // department + municipality ("05001")
  std::set<std::string> countries;       // without leading zeros ("169")
};

// From the reference data read from CSV files.
XmlRuleTables ruleTablesFrom(const store::RefData& data);
// From the reference tables of a program folder ("Concepts.dbf", "CodDpto.dbf",
// "CodMunic.dbf", "CodPais.dbf"); a missing table leaves its set empty, and an empty set is not
// checked against.
XmlRuleTables ruleTablesFromFolder(const std::filesystem::path& programFolder);
// The same, kept between calls: read again only when one of the four tables changed (its size or
// the time of its last change), appeared or went since the last reading of that folder.
std::shared_ptr<const XmlRuleTables> keptRuleTables(const std::filesystem::path& programFolder);

// One rule a record (or the file) fails.
struct XmlFinding {
  std::int64_t record = 0;  // 1-based record element; 0 for the file or its header
  std::string thirdParty;   // "tdoc nid" of the record ("" when it has neither)
  std::string field;        // the attribute or header element
  std::string rule;         // what is wrong, in Spanish
  std::string value;        // the value as written
  std::string partyCode;    // the third party's code in the directory, when the run knows it
  std::string partyName;    // its name as the record writes it (business name, or surnames
                            // and names)
};

// The third parties of the records a run wrote, in the order it wrote them (over all the files
// of the format): the code in the directory of each record's third party, "" for the
// minor-amounts records. `offset` is the position of the file's first record in that order.
struct XmlParties {
  std::vector<std::string> codes;
  std::size_t offset = 0;
};

// checkXmlFile: the findings of the file `path` of format 1 to 12, in document order. A file
// that cannot be read or is not well formed gives a single finding saying so. `parties`, when
// it covers the file's records, gives each finding its third party's code.
std::vector<XmlFinding> checkXmlFile(const std::filesystem::path& path, int formatNumber,
                                     const XmlRuleTables& tables, const XmlParties& parties = {});

// One line per finding: "Registro 3, tercero A0001 EMPRESA S.A. (31 800123456): dv - dígito de
// verificación errado (esperado 7): 5".
std::string describe(const XmlFinding& finding);

}  // namespace exo::generation

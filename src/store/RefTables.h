// The reference tables of the program folder: the DIAN formats and their concepts, and the DANE
// and DIAN code tables of departments, municipalities and countries. They are the same for every
// company, are built at installation from the CSV files of data/refdata/, and are opened once for
// the whole run by CREATABLAS under fixed aliases.
#pragma once

#include <string>
#include <vector>

#include "store/Dbf.h"

namespace exo::store {

class Engine;

// Table and index file names of the program folder.
inline constexpr const char* kFormatosFile = "Formatos.dbf";
inline constexpr const char* kConceptsFile = "Concepts.dbf";
inline constexpr const char* kConceptsIndex = "Conceptx.cdx";
inline constexpr const char* kDepartmentsFile = "CodDpto.dbf";
inline constexpr const char* kDepartmentsIndex = "CodDptox.cdx";
inline constexpr const char* kMunicipalitiesFile = "CodMunic.dbf";
inline constexpr const char* kMunicipalitiesIndex = "CodMunix.cdx";
inline constexpr const char* kCountriesFile = "CodPais.dbf";
inline constexpr const char* kCountriesIndex = "CodPaix.cdx";

// Text that heads ADEPTOS, before the department names.
inline constexpr const char* kAllDepartments = "Todos los departamentos.....";

// Field lists of the five tables.
const std::vector<FieldDef>& formatosFields();
const std::vector<FieldDef>& conceptsFields();
const std::vector<FieldDef>& departmentsFields();
const std::vector<FieldDef>& municipalitiesFields();
const std::vector<FieldDef>& countriesFields();

// The reference data, text in Windows-1252.
struct RefData {
  struct Format {
    std::string code, name, version, annex;
  };
  struct Concept {
    std::string format, code, name;
    double base = 0;
    std::string nature, filter;
  };
  struct Department {
    std::string code, name;
  };
  struct Municipality {
    std::string department, code, name, departmentName;
  };
  struct Country {
    std::string code, name;
  };
  std::vector<Format> formats;  // 1001 to 1012, in that order
  std::vector<Concept> concepts;
  std::vector<Department> departments;
  std::vector<Municipality> municipalities;
  std::vector<Country> countries;
};

// Reads formats.csv, concepts.csv, departments.csv, municipalities.csv and countries.csv (UTF-8,
// one header line) from `csvFolder`. Fails (FailureError) with GenCode::Open for a missing file
// and GenCode::Corruption, naming file and line, for a malformed row: wrong column count, a value
// wider than its field, formats other than 1001..1012 in order, a concept of an unknown format or
// with a nature outside "1".."4", a base that is not a whole number, duplicate codes.
RefData loadRefData(const std::string& csvFolder);

// Writes "Formatos.dbf", "Concepts.dbf", "CodDpto.dbf", "CodMunic.dbf" and "CodPais.dbf" into
// `programFolder` (which must exist), records in the data's order, replacing existing tables and
// removing their index files so that CREATABLAS builds them afresh.
void writeRefTables(const RefData& data, const std::string& programFolder);

// Opens the reference tables of the current folder under their aliases for the whole run:
// creates an empty "Formatos.dbf" or "Concepts.dbf" when missing, builds missing index files with
// their tags, makes the documented orders active and fills the public arrays ANAMEFORMS (format
// names in record order) and ADEPTOS (kAllDepartments, then the departments in name order).
// A missing code table fails through the interpreter's error handler.
void CREATABLAS(Engine& engine);
// The same over the tables of `folder` (a path ending in '/' or empty for the current folder).
void openReferenceTables(Engine& engine, const std::string& folder);

}  // namespace exo::store

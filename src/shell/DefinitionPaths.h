// The files a report definition may use. A definition is a text the user can change (a file of
// "FORMS\" or a record of the report-source store), so while it runs every path it names is
// confined to the program's folders, and the user's own files are out of its reach:
//
// - a path must lie inside one of the allowed folders (the program folder, which holds the
//   company folders with their "SALIDA\" and the "Informes\" of the listings, the company
//   folder, and the program's temporary folder) once its links are followed, and may not name
//   a parent folder ("..");
// - the user's files may be read but never created, emptied, overwritten or erased: the
//   assignment table CodCont (with its index and staged copies), the "B" tables of the formats
//   (TrF1002B.dbf ... with their index and memo files), the session files (".mem"), the
//   reference tables of the program folder, and the definitions themselves (the files of
//   "FORMS\" and the report-source store VRFuente).
//
// The runner installs a policy for each run (see expr/PathPolicy.h); the program's own routines
// run without one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "expr/Memvars.h"
#include "expr/PathPolicy.h"
#include "expr/Value.h"

namespace exo::shell {

// Refusals, as the error handler shows them.
inline constexpr std::string_view kParentFolderRefused =
    "Un informe no puede nombrar la carpeta superior (\"..\") en una ruta";
inline constexpr std::string_view kOutsideRefused =
    "Un informe solo puede usar archivos de las carpetas del programa y de la empresa";
inline constexpr std::string_view kUserFileRefused =
    "Un informe no puede crear, vaciar, reemplazar ni borrar el archivo del usuario ";

class DefinitionPathPolicy final : public PathPolicy {
 public:
  // `folders` are the folders paths may lie in (missing ones are ignored); the program's
  // temporary folder is allowed too, once made.
  explicit DefinitionPathPolicy(const std::vector<std::filesystem::path>& folders);
  std::string refusal(std::string_view path, PathUse use) const override;

 private:
  // Where `path` really is, as the engine would reach it (its links followed).
  std::string placeOf(const std::filesystem::path& path) const;

  std::vector<std::string> m_roots;  // followed to their real place, without a final '/'
  // The real place of each folder asked about while the policy is in force.
  mutable std::unordered_map<std::string, std::string> m_folders;
};

// True when `path` names one of the user's files a definition may only read (see above).
bool isUserFile(const std::filesystem::path& path);

// The company the session works on, kept while a definition runs and put back when it ends: the
// company folder and name, its year and ledger root, the session-file copies of them (MVAR01 ...
// MVAR04) and the working-table paths formed from the folder. A definition works inside the
// company it was started on; it cannot leave the session pointing at another folder, which the
// program's later steps, or the session file, would then use.
class KeptCompany {
 public:
  explicit KeptCompany(Memvars& vars);
  ~KeptCompany();
  KeptCompany(const KeptCompany&) = delete;
  KeptCompany& operator=(const KeptCompany&) = delete;

 private:
  Memvars& m_vars;
  std::vector<std::pair<std::string, Value>> m_saved;  // the public values when the run began
};

// The program's temporary folder (workbooks shown before they were given a name), made on the
// first request with `make`; an empty path when it has not been made (or cannot be).
std::filesystem::path programTempFolder(bool make);

}  // namespace exo::shell

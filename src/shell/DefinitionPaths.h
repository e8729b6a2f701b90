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
#include <vector>

#include "expr/PathPolicy.h"

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
  std::vector<std::string> m_roots;  // followed to their real place, without a final '/'
};

// True when `path` names one of the user's files a definition may only read (see above).
bool isUserFile(const std::filesystem::path& path);

// The program's temporary folder (workbooks shown before they were given a name), made on the
// first request with `make`; an empty path when it has not been made (or cannot be).
std::filesystem::path programTempFolder(bool make);

}  // namespace exo::shell

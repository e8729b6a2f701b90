// The session state: the session-wide variables of the language that hold the working context
// (installed sibling products, current company and year, the paths of its working tables, the
// header of the XML file being prepared...), their declaration at start-up with the detection of
// the sibling products and the restore of the last session, and typed access for the core.
//
// The values live in the interpreter's public variables, so report definitions and stored
// conditions see the same values the core reads and writes through Session.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "expr/TPublic.h"
#include "shell/Paths.h"
#include "shell/UserInterface.h"
#include "store/FileLock.h"

namespace exo {
class Interp;
}

namespace exo::shell {

// The session file of the program folder and the two per-company files.
inline constexpr std::string_view kSessionFile = "VarMem01.mem";
inline constexpr std::string_view kConsecutFile = "Consecut.mem";
inline constexpr std::string_view kPeriodosFile = "Periodos.mem";

// The folder of the company folder that holds the scratch tables of the second worker of a run
// over several formats while it runs (erased at its end, and at the company's selection when a
// stopped run left it).
inline constexpr std::string_view kWorkerScratchFolder = "TmpHilo2";

// Roots of the two sibling ledger products on the drive.
inline constexpr std::string_view kOrbisalRoot = "\\NRVVS\\";
inline constexpr std::string_view kContableRoot = "\\NRVCONTB\\";

struct SiblingProducts {
  bool orbisal = false;   // "\NRVVS\VR.EXE" and "\NRVVS\VRNRVV32.DLL" exist
  bool contable = false;  // "\NRVCONTB\VRCONTAB.EXE" and "\NRVCONTB\NRVCNT32.DLL" exist
};

// Which sibling products are installed under the drive root (names found whatever their case).
SiblingProducts detectSiblingProducts(const Folders& folders);

// VARIABLPUBLIC: declares every session variable as a public variable with its initial value,
// detects the sibling products and restores the last session from "VarMem01.mem" (company
// folder, name, year and product root; the path variables are formed from it provisionally).
// Returns false when no sibling product is installed: the stop message has been shown, the
// session file deleted, and the program must end.
//
// A session file that cannot be read (damaged, truncated) does not stop the program: it is set
// aside as "VarMem01.mem" + kSetAsideSuffix, the defaults stand (the next choice of a company
// writes the file anew) and a warning says so. Without `mayWrite` (a listing) nothing is
// renamed or deleted: the warning is given and the defaults stand.
bool VARIABLPUBLIC(Interp& ip, UserInterface& ui, const Folders& folders, bool mayWrite = true);

// The ending of the name under which a damaged session file is kept.
inline constexpr std::string_view kSetAsideSuffix = ".danado";

// Typed access to the session variables. REQUIRES: VARIABLPUBLIC has run on `ip`.
class Session {
 public:
  Session(Interp& ip, UserInterface& ui, Folders folders);

  Interp& interp() const { return m_ip; }
  UserInterface& ui() const { return m_ui; }
  const Folders& folders() const { return m_folders; }

  bool hayOrbisal() const;
  bool hayContable() const;
  std::string celPath() const;  // CELPATH: company folder, relative, ending in a backslash
  void setCelPath(std::string_view path);
  std::string pathOrigen() const;  // CPATHORIGEN: "\NRVVS\" or "\NRVCONTB\"
  void setPathOrigen(std::string_view root);
  std::string anioIni() const;  // CANIOINI: the year, 4 characters
  void setAnioIni(std::string_view year);
  std::string empresa() const;  // CEMPRESA: company name, " - ", year
  void setEmpresa(std::string_view name);
  std::string periodo() const;  // CPERIODO: last period closed in the ledger
  void setPeriodo(std::string_view period);
  std::string consecut() const;  // CCONSECUT: submission number, 3 characters
  void setConsecut(std::string_view number);
  int mesPrim() const;  // NMESTRPRIM / NMESTRULTI: imported month range
  int mesUlti() const;
  void setMeses(int first, int last);
  std::string dirSalida() const;  // CDIRSALIDA: "SALIDA\"

  // The company's working-table paths (VRMAEEXO ... VRDIREXX), stored form.
  std::string tablePath(std::string_view variable) const;
  // Forms the path variables again from CELPATH.
  void formPaths();

  // The named-value containers of the session.
  TPublic& cabez() const;   // OCABEZ: header of the XML file
  TPublic& impre() const;   // OIMPRE: report context
  TPublic& forXml() const;  // OFORXML: XML element names
  TPublic& apEjec() const;  // OAPEJEC: line of the report script being run
  TPublic& aCoors() const;  // OACOORS: main window position

  // Native path of a stored path, of the company folder, of a file in the company folder.
  std::filesystem::path native(std::string_view storedPath) const;
  std::filesystem::path companyFolder() const;
  std::filesystem::path companyFile(std::string_view name) const;
  // The folder of a run's scratch tables: the company folder, unless the session is the second
  // worker's of a run over several formats, whose scratch tables keep to a folder of their own.
  std::filesystem::path scratchFolder() const;
  void setScratchFolder(std::filesystem::path folder) { m_scratchFolder = std::move(folder); }
  // Native path of the session file "VarMem01.mem" in the program folder.
  std::filesystem::path sessionFile() const;
  // Writes MVAR01 ... MVAR04 to the session file (mask "mVar*").
  void saveSessionFile();
  // The lock of the company folder the program writes in (taken by lockCompany(), Company.h);
  // not held while the program only reads.
  store::FileHold& companyLock() { return m_companyLock; }

 private:
  const Value* variable(std::string_view name) const;
  std::string text(std::string_view name) const;
  bool flag(std::string_view name) const;
  int integer(std::string_view name) const;
  void setText(std::string_view name, std::string_view value);
  TPublic& container(std::string_view name) const;

  Interp& m_ip;
  UserInterface& m_ui;
  Folders m_folders;
  store::FileHold m_companyLock;
  std::filesystem::path m_scratchFolder;
};

}  // namespace exo::shell

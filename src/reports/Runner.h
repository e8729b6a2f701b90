// The report-definition runner EJECUTAR: a definition is a text of one expression per line that
// is evaluated line by line against the open work areas and the session values. Printed
// reports, workbooks and XML files are all written by definitions, so a report can change
// without rebuilding the program.
//
// A definition is read from the folder "FORMS" of the program folder, or else from the
// report-source store (the table "VRFuente" with its index "vrfuente.cdx" and the raw text file
// "VRFuente.dbt"). Definitions whose key appears in the session list _FORM are read once and
// kept in a public variable for later runs. While a line runs, OAPEJEC:nLinEjec holds its
// number, so that the error handler's report names the definition and the line.
//
// A definition is a text the user can change: while it runs, the files it names are confined to
// the program's folders and the user's own tables are out of its reach (shell/DefinitionPaths.h).
//
// One runner per interpreter, bound to it for the runner's lifetime; single-threaded.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/UserInterface.h"

namespace exo {
class Interp;
class PathPolicy;
class Value;
}  // namespace exo

namespace exo::shell {
class ErrorHandler;
}

namespace exo::reports {

// The report-source store of the program folder.
inline constexpr std::string_view kStoreTable = "VRFuente.dbf";
inline constexpr std::string_view kStoreText = "VRFuente.dbt";
inline constexpr std::string_view kStoreIndex = "vrfuente.cdx";
inline constexpr std::string_view kStoreAlias = "VRFUENTE";
// Shown while another station holds the store.
inline constexpr std::string_view kStoreBusy =
    "Sistema en uso en otra terminal. Por favor espere un momento y digite <Enter>";

// Where a definition is looked for, derived from the name it is run by.
struct DefinitionName {
  std::string name;      // trimmed, upper case, with a dot appended when it had none
  std::string fileName;  // the name looked for in "FORMS" ("" when it is never looked for there)
  std::string storeKey;  // the name sought in the store, padded to 12 ("" when it cannot be there)
  std::string keepKey;   // the key K of the kept line list "V" + K
};
DefinitionName resolveDefinitionName(std::string_view name);

// The kept lines of a definition text: lines separated by CR LF (a bare LF is accepted too),
// without the empty ones and the comments ("//" as the first non-blank characters).
std::vector<std::string> keptLines(std::string_view text);

class Runner {
 public:
  // `folder` is the program folder (the one holding "FORMS" and the store); `ui` shows the
  // values of lines while console, printer or alternate output is on and the waiting message of
  // a busy store; `handler`, when given, is the installed error handler: a run keeps its frame on
  // the handler's list of running routines, and its network-error flag tells a busy store from
  // a broken one. Registers EJECUTAR and SET on `ip`. All must outlive the runner.
  Runner(Interp& ip, shell::UserInterface& ui, std::filesystem::path folder,
         shell::ErrorHandler* handler = nullptr);
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // EJECUTAR: runs a definition. `text`, when given, takes the place of a definition that is
  // not in "FORMS". A failure the handler abandons propagates (FailureError) after the run's
  // private variables are released and the work area selected at the start is selected again.
  void EJECUTAR(std::string_view name, const std::optional<std::string>& text = {});

  // Alternate output (the interpreter keeps console and printer output).
  bool alternateOn() const { return m_alternate; }
  void setAlternate(bool on) { m_alternate = on; }

  // The runner bound to an interpreter, or nullptr.
  static Runner* of(Interp& ip);

  // Pause between two tries to open a busy store.
  int busyPauseMs = 300;

 private:
  std::optional<std::vector<std::string>> loadLines(const DefinitionName& def,
                                                    const std::optional<std::string>& text,
                                                    bool& nothingToRun);
  std::optional<std::string> readFromForms(const DefinitionName& def);
  std::string readFromStore(const DefinitionName& def);
  int openStore(bool shared);
  void runLines(const std::vector<std::string>& lines, const std::string& name);
  void showValue(const Value& v);
  bool outputOn() const;
  void setLineNumber(int n);
  // The folders a run may use: the program folder, the company folder and the program's
  // temporary folder (shell/DefinitionPaths.h).
  std::unique_ptr<PathPolicy> folderPolicy() const;

  Interp& m_ip;
  shell::UserInterface& m_ui;
  std::filesystem::path m_folder;
  shell::ErrorHandler* m_handler;
  bool m_alternate = false;
  int m_depth = 0;  // runs in progress
  int m_line = 0;   // the line number last set
};

}  // namespace exo::reports

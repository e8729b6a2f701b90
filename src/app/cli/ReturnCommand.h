// The frame shared by the exogena-cli commands that work on a company's return (import,
// validation, maintenance and the later steps): the global options, the interpreter, table
// engine and session over the terminal, the reference tables, the company chosen as the
// company selection chooses it, and the exit code.
//
// Global options (anywhere among the command's arguments):
//   --program DIR                the program folder (default: the current folder)
//   --drive DIR                  the drive root holding \NRVVS\ or \NRVCONTB\ (default:
//                                EXOGENA_DRIVE, else the system root)
//   --product NRVVS|NRVCONTB     the sibling product (default: the last session's)
//   --company FOLDER             the company-year folder as the control file writes it
//                                (CAMINO; trailing backslash and letter case do not matter)
//   --yes / --no                 the answer to every question the command asks
//
// Exit codes: 0 done; 1 the action stopped on a message or failed (the message is on stderr);
// 2 wrong arguments; 3 a question came without --yes or --no.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "shell/Company.h"
#include "shell/ErrorHandler.h"
#include "shell/Runtime.h"
#include "shell/TerminalUserInterface.h"

namespace exo::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitStopped = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnanswered = 3;

struct GlobalOptions {
  std::string program;  // empty: the current folder
  std::string drive;    // empty: EXOGENA_DRIVE, else "/"
  int product = 0;      // 0: the last session's, 1 "\NRVVS\", 2 "\NRVCONTB\"
  std::string company;  // empty: the last session's
  shell::TerminalAnswer answer = shell::TerminalAnswer::Refuse;
};

// Takes the global options out of `args` (the command's arguments after its name), leaving the
// others in order. `own` names the command's own options, which are left among the others.
// Returns an error text (UTF-8) for a wrong or incomplete option, else empty.
std::string parseGlobalOptions(std::vector<std::string>& args, GlobalOptions& options,
                               const std::vector<std::string>& own = {});

// The set-up a return command works in.
class ReturnContext {
 public:
  ReturnContext() = default;
  shell::Session& session() { return m_runtime.session(); }
  store::Engine& engine() { return m_runtime.engine(); }
  Interp& interp() { return m_runtime.interp(); }
  shell::TerminalUserInterface& ui() { return m_ui; }

  // Prepares everything for `options`: folders, session, reference tables, company. A listing
  // writes nothing and takes no lock; any other command holds the company lock (a company in
  // use by another process stops it) and compacts the assignment table first. Returns 0, or the
  // exit code after an explanation on stderr.
  int open(const GlobalOptions& options, bool listing = false);
  // The same without choosing a company: for commands that work on several. `product` receives
  // the product the options name (or the last session's), `companies` its control file's list.
  int openWithoutCompany(const GlobalOptions& options, int& product,
                         std::vector<shell::CompanyEntry>& companies);

 private:
  int prepare(const GlobalOptions& options, bool listing);
  int productOf(const GlobalOptions& options, int& product);
  int chooseCompany(const GlobalOptions& options, bool listing);

  shell::TerminalUserInterface m_ui;
  shell::Runtime m_runtime;
};

// The program's error handler for a command that runs report definitions, installed for the
// object's lifetime (the previous one comes back at its end): a failure's report goes to stderr
// and into the program folder's error log, and the operation is abandoned (exit code 1), since
// there is no one to ask.
class CommandErrorHandler {
 public:
  explicit CommandErrorHandler(ReturnContext& context);
  ~CommandErrorHandler();
  CommandErrorHandler(const CommandErrorHandler&) = delete;
  CommandErrorHandler& operator=(const CommandErrorHandler&) = delete;
  shell::ErrorHandler& handler() { return m_handler; }

 private:
  Interp& m_ip;
  shell::ErrorHandler m_handler;
  ErrorHandler m_previous;
};

// The report of a failure as the command's error handler writes it on stderr (message, then the
// routines that were running), Windows-1252 texts shown in UTF-8.
void printFailure(const std::string& message, const std::vector<std::string>& calls);

// What a return command states about itself.
struct ReturnCommandInfo {
  const char* name;         // "import-chart"
  const char* arguments;    // its own arguments for the usage line ("" when none)
  std::size_t minArgs = 0;  // bounds on its own arguments
  std::size_t maxArgs = 0;
  std::vector<std::string> options = {};  // its own options ("--excel"), counted as arguments
  bool listing = false;  // only reads: runs beside a writer and in a folder it cannot write
};

// Runs a return command: parses the options, opens the context and calls `body` with the
// command's own arguments. `body` returns the exit code (kExitStopped when the core routine
// stopped on a message, which the terminal has already shown). Failures, questions without an
// answer and other exceptions become their exit codes with the explanation on stderr; every
// table is committed and closed at the end.
int runReturnCommand(
    int argc, char** argv, const ReturnCommandInfo& command,
    const std::function<int(ReturnContext& context, const std::vector<std::string>& args)>& body);

// The usage text of the global options (UTF-8), for the command list.
const char* globalOptionsUsage();

}  // namespace exo::cli

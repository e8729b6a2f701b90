// The run-time error handler: every failure that no routine settles itself reaches it through
// Interp::raise. It appends a trace entry to "TRACE.LOG", settles division by zero (0) and
// sharing conflicts on open and append (the network-error flag is set and the operation fails
// quietly) without a word, and for any other failure builds the diagnostic report, stores it in
// the error log and asks the user, through the user-interface port, to retry, skip, print, look
// at the log, or leave the program (exit code 1).
//
// One handler per interpreter, installed with ERRORSYS; single-threaded.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "expr/Interp.h"
#include "shell/ErrorReport.h"
#include "shell/UserInterface.h"

namespace exo::store {
class Engine;
}

namespace exo::shell {

// The dialog of the handler and its buttons.
inline constexpr std::string_view kErrorDialogTitle = "LISTA DE ERRORES PRODUCIDOS POR EL PROGAMA";
inline constexpr std::string_view kRetryButton = "&Reintentar";
inline constexpr std::string_view kSkipButton = "&Omitir";
inline constexpr std::string_view kPrintButton = "&Imprimir";
inline constexpr std::string_view kMoreButton = "&Mas...";
inline constexpr std::string_view kQuitButton = "&Salir";

class ErrorHandler {
 public:
  // `engine` keeps the error log (none: failures are not logged); `working` is the working
  // folder of "TRACE.LOG" and of the log's "Error" sub-folder. All must outlive the handler.
  ErrorHandler(Interp& ip, UserInterface& ui, store::Engine* engine, std::filesystem::path working);

  // ERRORDIALOG: what the failed operation does next.
  ErrorReply handle(Interp& ip, const Failure& f);

  // The network-error flag: set when an open or append failed quietly on a sharing conflict.
  bool networkError() const { return m_networkError; }
  void resetNetworkError() { m_networkError = false; }

  // The routines running now, for the report (core routines keep CallFrames on it).
  CallStack& callStack() { return m_calls; }

  // Whether the application's main loop runs; once it has ended every reported failure ends
  // the program.
  void setMainLoopRunning(bool running) { m_mainLoopRunning = running; }

  // How the program ends (default: std::exit). Tests record the code instead; when the function
  // returns, the failed operation is abandoned.
  void setExit(std::function<void(int)> exit) { m_exit = std::move(exit); }
  // The clock (default: std::time).
  void setClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }
  // "&Imprimir": prints a report text under a title (default: IMPERROR's page text written to
  // "Error/Imprime.txt" and opened with the shell).
  void setPrinter(std::function<void(const std::string&, const std::string&)> print) {
    m_print = std::move(print);
  }
  // "&Mas...": shows the error log (default: the log listed newest first in a message box).
  void setLogBrowser(std::function<void()> browse) { m_browse = std::move(browse); }

  // The handler's dialog (default: a question through the port): shows the message, the list
  // of calls and the buttons, and returns the index of the button chosen (-1: closed).
  using Dialog =
      std::function<int(const std::string& message, const std::vector<std::string>& calls,
                        const std::vector<std::string>& buttons)>;
  void setDialog(Dialog dialog) { m_dialog = std::move(dialog); }
  const std::filesystem::path& workingFolder() const { return m_working; }

  // The report text last built (empty before the first reported failure).
  const std::string& lastReport() const { return m_lastReport; }

 private:
  enum class State { Idle, Reporting, Dialog, Closing };

  void trace(const Failure& f, std::time_t when);
  bool settlesSilently(const Failure& f, ErrorReply& reply);
  std::string buildReport(const Failure& f, std::time_t when,
                          const std::vector<std::string>& calls);
  void log(const Failure& f, std::time_t when, const std::string& report);
  ErrorReply dialog(const Failure& f, const std::string& application,
                    const std::vector<std::string>& calls);
  void commitTables(bool close);
  ErrorReply endProgram();
  void printReport(const std::string& title, const std::string& text);
  void showLog();

  Interp& m_ip;
  UserInterface& m_ui;
  store::Engine* m_engine;
  std::filesystem::path m_working;
  CallStack m_calls;
  State m_state = State::Idle;
  bool m_networkError = false;
  bool m_mainLoopRunning = true;
  std::function<void(int)> m_exit;
  std::function<std::time_t()> m_clock;
  std::function<void(const std::string&, const std::string&)> m_print;
  std::function<void()> m_browse;
  Dialog m_dialog;
  std::string m_lastReport;
};

// ERRORSYS: installs the handler on its interpreter. The handler must stay alive while it is
// installed.
void ERRORSYS(ErrorHandler& handler, Interp& ip);

// IMPERROR: the printed page text of a report: title "ERROR DEL PROGRAMA " + program path, the
// date and time, the column "Descripción del error" and the text in lines of 65 characters.
std::string IMPERROR(const std::string& text, std::time_t when);

}  // namespace exo::shell

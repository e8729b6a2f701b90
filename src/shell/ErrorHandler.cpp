// The run-time error handler.
#include "shell/ErrorHandler.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "expr/Dates.h"
#include "expr/PathPolicy.h"
#include "shell/ErrorLog.h"
#include "shell/Paths.h"
#include "store/Engine.h"
#include "store/StoreFailure.h"

namespace exo::shell {
namespace {

constexpr const char* kEol = "\r\n";
constexpr int kMaxAreas = 250;
constexpr std::size_t kPrintWidth = 65;
constexpr std::size_t kPrintLinesPerPage = 55;
constexpr int kOsAccessDenied = 5;

std::string programPath() {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

// Sets a state for a scope and puts the previous one back at its end.
template <class S>
class StateScope {
 public:
  StateScope(S& state, S value) : m_state(state), m_previous(state) { state = value; }
  ~StateScope() { m_state = m_previous; }
  StateScope(const StateScope&) = delete;
  StateScope& operator=(const StateScope&) = delete;

 private:
  S& m_state;
  S m_previous;
};

}  // namespace

ErrorHandler::ErrorHandler(Interp& ip, UserInterface& ui, store::Engine* engine,
                           std::filesystem::path working)
    : m_ip(ip),
      m_ui(ui),
      m_engine(engine),
      m_working(std::move(working)),
      m_exit([](int code) { std::exit(code); }),
      m_clock([] { return std::time(nullptr); }) {}

void ERRORSYS(ErrorHandler& handler, Interp& ip) {
  ip.setErrorHandler([&handler](Interp& i, const Failure& f) { return handler.handle(i, f); });
}

ErrorReply ErrorHandler::handle(Interp&, const Failure& f) {
  if (m_state == State::Dialog) return endProgram();         // a failure inside the dialog
  if (m_state != State::Idle) return ErrorReply::abandon();  // while reporting: ignored there
  const std::time_t when = m_clock();
  trace(f, when);
  ErrorReply silent;
  if (settlesSilently(f, silent)) return silent;

  std::vector<std::string> calls;
  std::string application;
  {
    StateScope<State> reporting(m_state, State::Reporting);
    calls = callLines(m_ip, m_calls);
    application = applicationSection(f, when);
    m_lastReport = buildReport(f, when, calls);
    log(f, when, m_lastReport);
  }
  StateScope<State> dialogOpen(m_state, State::Dialog);
  return dialog(f, application, calls);
}

void ErrorHandler::trace(const Failure& f, std::time_t when) {
  const std::string entry = dateOf(when) + ' ' + timeOf(when) + "  " +
                            (f.operation.empty() ? "???" : f.operation) + "  " + f.description +
                            kEol;
  std::ofstream out(entryPath(m_working, "TRACE.LOG"), std::ios::binary | std::ios::app);
  out << entry;
  out.flush();
  // A trace that cannot be written (no room, no permission on the working folder) goes to the
  // standard error stream instead; the handler carries on with the failure it was called for.
  if (!out) std::cerr << "TRACE.LOG: " << entry << std::flush;
}

bool ErrorHandler::settlesSilently(const Failure& f, ErrorReply& reply) {
  if (f.genCode == GenCode::ZeroDiv) {
    reply = ErrorReply::substitute(Value::number(0));
    return true;
  }
  const bool sharing = f.osCode == store::kOsSharingViolation || f.osCode == kOsAccessDenied;
  if (f.canDefault &&
      ((f.genCode == GenCode::Open && sharing) || f.genCode == GenCode::AppendLock)) {
    m_networkError = true;
    reply = ErrorReply::byDefault();
    return true;
  }
  return false;
}

std::string ErrorHandler::buildReport(const Failure& f, std::time_t when,
                                      const std::vector<std::string>& calls) {
  std::string report =
      applicationSection(f, when) + kEol + callSection(calls) + kEol + systemSection() + kEol;
  try {
    report += variablesSection(m_ip) + kEol;
    report += std::string("Linked RDDs") + kEol + "===========" + kEol + "   DBFCDX" + kEol + kEol;
    report += filesSection(m_ip) + kEol;
    report += classesSection(m_ip) + kEol;
  } catch (const FailureError&) {
    report += std::string("(estado del programa no disponible)") + kEol + kEol;
  }
  return report + memorySection();
}

void ErrorHandler::log(const Failure& f, std::time_t when, const std::string& report) {
  if (m_engine == nullptr) return;
  // The log is the program's own file: a definition's path policy does not apply to it.
  PathPolicyScope programWork(m_ip, nullptr);
  try {
    appendErrorLog(*m_engine, errorLogFolder(m_working, m_ui), when, ERRORMESSAGE(f), report);
  } catch (...) {
    // A failure while logging is ignored: the user still gets the dialog.
  }
}

ErrorReply ErrorHandler::dialog(const Failure& f, const std::string& application,
                                const std::vector<std::string>& calls) {
  std::vector<std::string> buttons;
  if (f.canRetry) buttons.emplace_back(kRetryButton);
  if (f.canDefault) buttons.emplace_back(kSkipButton);
  buttons.emplace_back(kPrintButton);
  buttons.emplace_back(kMoreButton);
  buttons.emplace_back(kQuitButton);
  std::string text = "Nombre del error: " + ERRORMESSAGE(f) + kEol + kEol + "Stack List:" + kEol;
  for (const std::string& c : calls) text += c + kEol;
  text += std::string(kEol) + "\"Mas...\" visualiza el Registro de Errores";

  std::string chosen;
  try {
    for (;;) {
      const int i = m_dialog ? m_dialog(ERRORMESSAGE(f), calls, buttons)
                             : m_ui.ask(kErrorDialogTitle, text, buttons,
                                        static_cast<int>(buttons.size()) - 1);
      chosen = i >= 0 && i < static_cast<int>(buttons.size()) ? buttons[static_cast<std::size_t>(i)]
                                                              : "";
      if (chosen == kPrintButton)
        printReport("ERROR DEL PROGRAMA", application + kEol + callSection(calls));
      else if (chosen == kMoreButton) showLog();
      else break;
    }
  } catch (...) {
    return endProgram();
  }
  const bool goesOn = m_mainLoopRunning && (chosen == kRetryButton || chosen == kSkipButton);
  if (!goesOn) return endProgram();
  commitTables(false);
  return chosen == kRetryButton ? ErrorReply::retry() : ErrorReply::byDefault();
}

void ErrorHandler::commitTables(bool close) {
  WorkAreas* w = m_ip.workAreas();
  if (w == nullptr) return;
  StateScope<State> closing(m_state, State::Closing);
  for (int area = 1; area <= kMaxAreas; ++area) {
    if (!w->isUsed(area)) continue;
    try {
      w->commit(m_ip, area);
      if (close) w->close(m_ip, area);
    } catch (...) {
      // Ending after a failure: a table that cannot be written now is left as it is.
    }
  }
}

ErrorReply ErrorHandler::endProgram() {
  commitTables(true);
  m_exit(1);
  return ErrorReply::abandon();
}

void ErrorHandler::printReport(const std::string& title, const std::string& text) {
  if (m_print) {
    m_print(title, text);
    return;
  }
  const std::filesystem::path file = entryPath(errorLogFolder(m_working, m_ui), "Imprime.txt");
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << IMPERROR(text, m_clock());
  out.close();
  // A page that cannot be written is not opened half written; the user is told and the
  // handler's dialog stays open.
  if (!out) {
    m_ui.message(MessageKind::Error, "Error.....", "No se pudo escribir " + file.string());
    return;
  }
  m_ui.openWithShell(file.string());
}

void ErrorHandler::showLog() {
  if (m_browse) {
    m_browse();
    return;
  }
  std::string listing;
  if (m_engine != nullptr) {
    for (const ErrorLogEntry& e : readErrorLog(*m_engine, errorLogFolder(m_working, m_ui))) {
      listing += dateToText(e.fecha) + "  " + e.hora + "  " + e.error + kEol;
    }
  }
  m_ui.message(MessageKind::Info, "Registro de Errores del Programa",
               listing.empty() ? std::string("No hay errores registrados.") : listing);
}

// --- printed report --------------------------------------------------------------------------

std::string IMPERROR(const std::string& text, std::time_t when) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string l = text.substr(start, end - start);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    do {
      lines.push_back(l.substr(0, kPrintWidth));
      l.erase(0, std::min(l.size(), kPrintWidth));
    } while (!l.empty());
    start = end + 1;
  }
  std::string page;
  const std::string header = "ERROR DEL PROGRAMA " + programPath() + kEol +
                             "Fecha :" + dateOf(when) + "   Hora :" + timeOf(when) + kEol + kEol +
                             "Descripci\363n del error" + kEol + std::string(kPrintWidth, '-') +
                             kEol;
  for (std::size_t i = 0, pageNo = 1; i < lines.size(); i += kPrintLinesPerPage, ++pageNo) {
    page += header;
    for (std::size_t j = i; j < std::min(lines.size(), i + kPrintLinesPerPage); ++j)
      page += lines[j] + kEol;
    page += std::string(kEol) + "P\341gina " + std::to_string(pageNo) + kEol + "\f";
  }
  return page;
}

}  // namespace exo::shell

// The diagnostic report of a run-time failure: the one-line error message (ERRORMESSAGE), the
// list of active routines, and the sections of the report text that the error handler stores in
// the error log and shows to the user ("Aplicación:", "Llamadas a funciones", "Sistema",
// "Variables en uso", "Linked RDDs", "Ficheros en uso", "Clases en uso:", "Análisis de
// Memoria"). Texts are Windows-1252, lines separated by carriage return and line feed.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "expr/Failure.h"

namespace exo {
class Interp;
}

namespace exo::shell {

// ERRORMESSAGE: "Error " (severity above warning) or "Atención " (warning), or "(DOS Error n) "
// when the failure has an operating-system code; the subsystem or "???"; "/" and the subcode or
// "/???"; two blanks and the description when there is one; ": " and the file name, or else the
// operation, when there is one.
std::string ERRORMESSAGE(const Failure& f);

// The routines running now, innermost last. Core routines that want to appear in the report
// keep a CallFrame for their duration.
class CallStack {
 public:
  struct Frame {
    std::string routine;
    int line = 0;
    std::string script;  // for the report runner: the report definition being run
  };
  static constexpr std::size_t kMaxShown = 72;

  void push(Frame f) { m_frames.push_back(std::move(f)); }
  void pop() {
    if (!m_frames.empty()) m_frames.pop_back();
  }
  const std::vector<Frame>& frames() const { return m_frames; }

 private:
  std::vector<Frame> m_frames;
};

class CallFrame {
 public:
  CallFrame(CallStack& stack, std::string routine, int line = 0, std::string script = {})
      : m_stack(stack) {
    stack.push({std::move(routine), line, std::move(script)});
  }
  ~CallFrame() { m_stack.pop(); }
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;

 private:
  CallStack& m_stack;
};

// The call lines, innermost first, at most 72: "   Llamado por NAME(LINE)"; the line of the
// report runner EJECUTAR carries "  : " + script + " - Lin.: " + n when OAPEJEC:nLinEjec > 0.
std::vector<std::string> callLines(Interp& ip, const CallStack& stack);

// The report sections. `when` is the moment of the failure.
std::string applicationSection(const Failure& f, std::time_t when);
std::string callSection(const std::vector<std::string>& calls);
std::string systemSection();
std::string variablesSection(Interp& ip);
std::string filesSection(Interp& ip);
std::string classesSection(Interp& ip);
std::string memorySection();

// The local date of a moment as a Julian day and as "dd-mm-yyyy", and its time "hh:mm:ss".
std::int32_t julianOf(std::time_t when);
std::string dateOf(std::time_t when);
std::string timeOf(std::time_t when);

// "9,999,999": digits grouped by thousands.
std::string groupThousands(std::uint64_t n);

}  // namespace exo::shell

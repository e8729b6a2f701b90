// The user interface of exogena-cli: messages, questions and progress go to the standard error
// stream as UTF-8 text. By default every question is answered with its default button, so batch
// runs never wait for the user; a front end may instead answer yes or no to every question, or
// refuse to answer (the question then ends the run with UnansweredQuestion). Status lines may go
// to another stream (the standard output of a command), each printed when its text changes, and
// on a terminal the meter is drawn as a bar that redraws itself on one line.
#pragma once

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "shell/UserInterface.h"

namespace exo::shell {

// How questions are answered.
enum class TerminalAnswer {
  Default,  // the question's default button
  Yes,      // the affirmative button ("   &Si   ", "&Continuar", "&Aceptar"...), else the first
  No,       // the negative button ("   &No   ", "Ca&ncelar"...), else the last
  Refuse,   // no answer: ask() throws UnansweredQuestion
};

// A question came while the front end had no answer for it. what() holds the question's text
// (UTF-8, lines joined by blanks).
class UnansweredQuestion : public std::runtime_error {
 public:
  explicit UnansweredQuestion(const std::string& question) : std::runtime_error(question) {}
};

class TerminalUserInterface final : public UserInterface {
 public:
  explicit TerminalUserInterface(std::FILE* out = stderr) : m_out(out), m_statusOut(out) {}
  ~TerminalUserInterface() override;

  void setAnswer(TerminalAnswer answer) { m_answer = answer; }
  TerminalAnswer answer() const { return m_answer; }
  // Status lines go to `out` (messages stay on the stream given at construction).
  void setStatusStream(std::FILE* out) { m_statusOut = out; }
  // `bar`: the meter is a bar redrawn on one line of the message stream (for a terminal);
  // otherwise a meter with percentage prints a line at every tenth. `quiet`: no meter output.
  void setMeterStyle(bool bar, bool quiet = false) {
    m_bar = bar;
    m_quietMeter = quiet;
  }

  void message(MessageKind kind, std::string_view title, std::string_view text) override;
  int ask(std::string_view title, std::string_view text, const std::vector<std::string>& buttons,
          int defaultButton) override;
  std::optional<int> answerAhead(std::string_view title, std::string_view text,
                                 const std::vector<std::string>& buttons,
                                 int defaultButton) const override;
  void meterBegin(std::string_view caption, std::int64_t total, bool showPercent) override;
  void meterAdvance(std::int64_t done) override;
  void meterEnd() override;
  void status(int line, std::string_view text) override;
  void waitOpen(std::string_view text, std::optional<ScreenPos> where) override;
  void waitClose() override {}
  void pumpEvents() override {}
  // Prints the path; nothing is started from the terminal (returns false).
  bool openWithShell(const std::string& path) override;

 private:
  void line(std::string_view cp1252, std::FILE* to = nullptr);
  void drawBar();
  void clearBar();

  std::FILE* m_out;
  std::FILE* m_statusOut;
  TerminalAnswer m_answer = TerminalAnswer::Default;
  bool m_bar = false;
  bool m_quietMeter = false;
  bool m_barShown = false;
  std::int64_t m_total = 0;
  std::int64_t m_done = 0;
  int m_lastTenth = -1;
  int m_lastDrawn = -1;
  bool m_percent = false;
  bool m_meterOn = false;
  std::array<std::string, 3> m_status;
};

}  // namespace exo::shell

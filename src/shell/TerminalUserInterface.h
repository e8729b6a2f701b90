// The user interface of exogena-cli: messages, questions and progress go to the standard error
// stream as UTF-8 text; every question is answered with its default button, so batch runs never
// wait for the user.
#pragma once

#include <cstdio>

#include "shell/UserInterface.h"

namespace exo::shell {

class TerminalUserInterface final : public UserInterface {
 public:
  explicit TerminalUserInterface(std::FILE* out = stderr) : m_out(out) {}

  void message(MessageKind kind, std::string_view title, std::string_view text) override;
  int ask(std::string_view title, std::string_view text, const std::vector<std::string>& buttons,
          int defaultButton) override;
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
  void line(std::string_view cp1252);

  std::FILE* m_out;
  std::int64_t m_total = 0;
  int m_lastTenth = -1;
  bool m_percent = false;
};

}  // namespace exo::shell

// The terminal user interface.
#include "shell/TerminalUserInterface.h"

#include <string>

#include "expr/Codepage.h"
#include "expr/Text.h"

namespace exo::shell {
namespace {

// Line breaks as the terminal wants them.
std::string plainLines(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i] == '\r' ? '\n' : text[i]);
  }
  while (!out.empty() && out.front() == '\n') out.erase(out.begin());
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string caption(std::string_view button) {
  std::string out;
  for (char c : button) {
    if (c != '&') out.push_back(c);
  }
  return std::string(trimBlanks(out));
}

const char* kindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::Info: return "";
    case MessageKind::Alert: return "aviso: ";
    case MessageKind::Stop: return "alto: ";
    case MessageKind::Error: return "error: ";
  }
  return "";
}

}  // namespace

void TerminalUserInterface::line(std::string_view cp1252) {
  std::fprintf(m_out, "%s\n", toUtf8(cp1252).c_str());
  std::fflush(m_out);
}

void TerminalUserInterface::message(MessageKind kind, std::string_view title,
                                    std::string_view text) {
  line(std::string(kindName(kind)) + "[" + std::string(title) + "] " + plainLines(text));
}

int TerminalUserInterface::ask(std::string_view title, std::string_view text,
                               const std::vector<std::string>& buttons, int defaultButton) {
  std::string choices;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (i) choices += " / ";
    const bool isDefault = static_cast<int>(i) == defaultButton;
    choices += (isDefault ? "*" : "") + caption(buttons[i]);
  }
  line("[" + std::string(title) + "] " + plainLines(text));
  line("  (" + choices + ") -> " +
       (defaultButton >= 0 && defaultButton < static_cast<int>(buttons.size())
            ? caption(buttons[static_cast<std::size_t>(defaultButton)])
            : std::string("-")));
  return defaultButton;
}

void TerminalUserInterface::meterBegin(std::string_view title, std::int64_t total,
                                       bool showPercent) {
  m_total = total;
  m_percent = showPercent;
  m_lastTenth = -1;
  if (!title.empty()) line(title);
}

void TerminalUserInterface::meterAdvance(std::int64_t done) {
  if (!m_percent || m_total <= 0) return;
  const int tenth = static_cast<int>(done * 10 / m_total);
  if (tenth == m_lastTenth) return;
  m_lastTenth = tenth;
  line("  " + std::to_string(tenth * 10) + "%");
}

void TerminalUserInterface::meterEnd() {
  m_total = 0;
  m_lastTenth = -1;
}

void TerminalUserInterface::status(int, std::string_view text) {
  if (!text.empty()) line(text);
}

void TerminalUserInterface::waitOpen(std::string_view text, std::optional<ScreenPos>) {
  line(trimRight(text));
}

bool TerminalUserInterface::openWithShell(const std::string& path) {
  line("abrir: " + path);
  return false;
}

}  // namespace exo::shell

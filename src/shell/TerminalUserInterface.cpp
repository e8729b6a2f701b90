// The terminal user interface.
#include "shell/TerminalUserInterface.h"

#include <algorithm>
#include <span>
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

// A button caption reduced for comparison: no accelerator, no blanks, upper case, no accent.
std::string plainCaption(std::string_view button) {
  std::string out = upper1252(caption(button));
  for (char& c : out) {
    if (c == '\315') c = 'I';
  }
  return out;
}

// The button that answers yes (or no) to a question: one with an affirmative (or negative)
// caption, else the first (or last) one.
int answerButton(const std::vector<std::string>& buttons, bool yes) {
  static const char* const kYes[] = {"SI", "CONTINUAR", "ACEPTAR", "OK"};
  static const char* const kNo[] = {"NO", "CANCELAR"};
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const std::string c = plainCaption(buttons[i]);
    for (const char* w :
         yes ? std::span<const char* const>(kYes) : std::span<const char* const>(kNo))
      if (c == w) return static_cast<int>(i);
  }
  if (buttons.empty()) return -1;
  return yes ? 0 : static_cast<int>(buttons.size()) - 1;
}

// One line of text for an error message: the lines of a question joined by blanks.
std::string oneLine(std::string_view text) {
  std::string out;
  for (char c : plainLines(text)) out.push_back(c == '\n' ? ' ' : c);
  return out;
}

constexpr int kBarWidth = 40;

}  // namespace

TerminalUserInterface::~TerminalUserInterface() { clearBar(); }

void TerminalUserInterface::line(std::string_view cp1252, std::FILE* to) {
  clearBar();
  std::FILE* out = to != nullptr ? to : m_out;
  std::fprintf(out, "%s\n", toUtf8(cp1252).c_str());
  std::fflush(out);
  if (m_meterOn) drawBar();
}

void TerminalUserInterface::drawBar() {
  if (!m_bar || m_quietMeter || m_total <= 0) return;
  const std::int64_t done = std::min(m_done, m_total);
  const int filled = static_cast<int>(done * kBarWidth / m_total);
  const int percent = static_cast<int>(done * 100 / m_total);
  std::string bar = "\r  [";
  bar.append(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
  bar += "] " + std::to_string(percent) + "%";
  std::fputs(bar.c_str(), m_out);
  std::fflush(m_out);
  m_barShown = true;
  m_lastDrawn = percent;
}

void TerminalUserInterface::clearBar() {
  if (!m_barShown) return;
  std::fputs("\r\033[K", m_out);
  std::fflush(m_out);
  m_barShown = false;
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
  if (m_answer == TerminalAnswer::Refuse) {
    throw UnansweredQuestion(toUtf8(oneLine(text)) + " (" + toUtf8(choices) + ")");
  }
  int chosen = defaultButton;
  if (m_answer != TerminalAnswer::Default) {
    chosen = answerButton(buttons, m_answer == TerminalAnswer::Yes);
  }
  line("  (" + choices + ") -> " +
       (chosen >= 0 && chosen < static_cast<int>(buttons.size())
            ? caption(buttons[static_cast<std::size_t>(chosen)])
            : std::string("-")));
  return chosen;
}

std::optional<int> TerminalUserInterface::answerAhead(std::string_view, std::string_view,
                                                      const std::vector<std::string>& buttons,
                                                      int defaultButton) const {
  if (m_answer == TerminalAnswer::Refuse) return std::nullopt;
  if (m_answer == TerminalAnswer::Default) return defaultButton;
  return answerButton(buttons, m_answer == TerminalAnswer::Yes);
}

void TerminalUserInterface::meterBegin(std::string_view title, std::int64_t total,
                                       bool showPercent) {
  m_meterOn = false;
  clearBar();
  m_total = total;
  m_done = 0;
  m_percent = showPercent;
  m_lastTenth = -1;
  m_lastDrawn = -1;
  if (!title.empty() && !m_quietMeter) line(title);
  m_meterOn = true;
  drawBar();
}

void TerminalUserInterface::meterAdvance(std::int64_t done) {
  m_done = done;
  if (m_quietMeter || m_total <= 0) return;
  if (m_bar) {
    if (static_cast<int>(std::min(done, m_total) * 100 / m_total) != m_lastDrawn) drawBar();
    return;
  }
  if (!m_percent) return;
  const int tenth = static_cast<int>(done * 10 / m_total);
  if (tenth == m_lastTenth) return;
  m_lastTenth = tenth;
  line("  " + std::to_string(tenth * 10) + "%");
}

void TerminalUserInterface::meterEnd() {
  m_meterOn = false;
  clearBar();
  m_total = 0;
  m_done = 0;
  m_lastTenth = -1;
}

void TerminalUserInterface::status(int line, std::string_view text) {
  if (line < 0 || line >= static_cast<int>(m_status.size())) line = 0;
  std::string& last = m_status[static_cast<std::size_t>(line)];
  if (text == last) return;
  last = std::string(text);
  const std::size_t end = text.find_last_not_of(' ');
  if (end != std::string_view::npos) this->line(text.substr(0, end + 1), m_statusOut);
}

void TerminalUserInterface::waitOpen(std::string_view text, std::optional<ScreenPos>) {
  line(trimRight(text));
}

bool TerminalUserInterface::openWithShell(const std::string& path) {
  line("abrir: " + path);
  return false;
}

}  // namespace exo::shell

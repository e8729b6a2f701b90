// The scripted user interface of the tests.
#include "shell/ScriptedUserInterface.h"

#include <algorithm>

namespace exo::shell {

ScriptedUserInterface::Call& ScriptedUserInterface::record(std::string what, std::string_view title,
                                                           std::string_view text) {
  Call c;
  c.what = std::move(what);
  c.title = std::string(title);
  c.text = std::string(text);
  m_calls.push_back(std::move(c));
  return m_calls.back();
}

std::vector<ScriptedUserInterface::Call> ScriptedUserInterface::callsOf(
    std::string_view what) const {
  std::vector<Call> out;
  std::copy_if(m_calls.begin(), m_calls.end(), std::back_inserter(out),
               [&](const Call& c) { return c.what == what; });
  return out;
}

void ScriptedUserInterface::message(MessageKind kind, std::string_view title,
                                    std::string_view text) {
  record("message", title, text).kind = kind;
}

int ScriptedUserInterface::ask(std::string_view title, std::string_view text,
                               const std::vector<std::string>& buttons, int defaultButton) {
  int chosen = defaultButton;
  if (!m_answers.empty()) {
    const Answer a = m_answers.front();
    m_answers.pop_front();
    chosen = a.index;
    if (a.byCaption) {
      const auto it = std::find(buttons.begin(), buttons.end(), a.caption);
      chosen = it == buttons.end() ? -1 : static_cast<int>(it - buttons.begin());
    }
  }
  Call& c = record("ask", title, text);
  c.buttons = buttons;
  c.number = chosen;
  return chosen;
}

void ScriptedUserInterface::meterBegin(std::string_view caption, std::int64_t total,
                                       bool showPercent) {
  Call& c = record("meterBegin", caption, showPercent ? "%" : "");
  c.number = total;
}

void ScriptedUserInterface::meterAdvance(std::int64_t done) {
  record("meterAdvance").number = done;
}

void ScriptedUserInterface::meterEnd() { record("meterEnd"); }

void ScriptedUserInterface::status(int line, std::string_view text) {
  record("status", {}, text).number = line;
}

void ScriptedUserInterface::waitOpen(std::string_view text, std::optional<ScreenPos> where) {
  record("waitOpen", {}, text).where = where;
  m_waitOpen = true;
}

void ScriptedUserInterface::waitClose() {
  record("waitClose");
  m_waitOpen = false;
}

void ScriptedUserInterface::pumpEvents() { record("pumpEvents"); }

bool ScriptedUserInterface::openWithShell(const std::string& path) {
  record("openWithShell", {}, path);
  return shellOpens;
}

}  // namespace exo::shell

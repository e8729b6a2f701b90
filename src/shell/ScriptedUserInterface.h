// A user interface for tests: records every call in order and answers questions from a queue
// of button captions (or indexes) prepared by the test.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "shell/UserInterface.h"

namespace exo::shell {

class ScriptedUserInterface final : public UserInterface {
 public:
  // One recorded call: what ("message", "ask", "meterBegin", "meterAdvance", "meterEnd",
  // "status", "waitOpen", "waitClose", "pumpEvents", "openWithShell"), its texts and numbers.
  struct Call {
    std::string what;
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
    MessageKind kind = MessageKind::Info;
    std::int64_t number = 0;         // meter total/advance, status line, ask's answer
    std::optional<ScreenPos> where;  // waitOpen's position
  };

  // Queues the answer to the next unanswered question by caption (the button whose caption
  // equals `caption`; -1 when no button has it) ...
  void answer(std::string caption) { m_answers.push_back(Answer{std::move(caption), 0, true}); }
  // ... or by index.
  void answerIndex(int index) { m_answers.push_back(Answer{{}, index, false}); }
  // When the queue is empty a question gets its default button.
  std::size_t pendingAnswers() const { return m_answers.size(); }

  const std::vector<Call>& calls() const { return m_calls; }
  // The calls of one kind ("message", "ask"...).
  std::vector<Call> callsOf(std::string_view what) const;
  void clear() { m_calls.clear(); }

  // Result of openWithShell().
  bool shellOpens = true;
  // Whether a wait message is open now.
  bool waitIsOpen() const { return m_waitOpen; }

  void message(MessageKind kind, std::string_view title, std::string_view text) override;
  int ask(std::string_view title, std::string_view text, const std::vector<std::string>& buttons,
          int defaultButton) override;
  void meterBegin(std::string_view caption, std::int64_t total, bool showPercent) override;
  void meterAdvance(std::int64_t done) override;
  void meterEnd() override;
  void status(int line, std::string_view text) override;
  void waitOpen(std::string_view text, std::optional<ScreenPos> where) override;
  void waitClose() override;
  void pumpEvents() override;
  bool openWithShell(const std::string& path) override;

 private:
  struct Answer {
    std::string caption;
    int index;
    bool byCaption;
  };
  Call& record(std::string what, std::string_view title = {}, std::string_view text = {});

  std::vector<Call> m_calls;
  std::deque<Answer> m_answers;
  bool m_waitOpen = false;
};

}  // namespace exo::shell

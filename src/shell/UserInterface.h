// The user-interface port: the only way core routines talk to the user. The desktop program
// implements it with dialogs, exogena-cli with the terminal, tests with a script
// (ScriptedUserInterface).
//
// Texts are Windows-1252 bytes; lines are separated by carriage return and line feed. Button
// captions are the system's own ("&Continuar", "Ca&ncelar", "   &Si   "...), with '&' before
// the accelerator letter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exo::shell {

enum class MessageKind { Info, Alert, Stop, Error };

// A screen position in dialog units (top, left).
struct ScreenPos {
  int top = 0;
  int left = 0;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A modal message box of the given kind; returns when the user has closed it.
  virtual void message(MessageKind kind, std::string_view title, std::string_view text) = 0;
  // A modal question; returns the index (0-based) of the button chosen, or -1 when the box
  // was closed without choosing. REQUIRES: 0 <= defaultButton < buttons.size().
  virtual int ask(std::string_view title, std::string_view text,
                  const std::vector<std::string>& buttons, int defaultButton) = 0;
  // The answer ask() would give to this question without anyone to ask (the command line's
  // --yes or --no, a question already answered for the whole run), or nothing when a person
  // must answer. Shows nothing and changes nothing: work on another thread calls it to go on
  // at once, its question still shown in its turn.
  virtual std::optional<int> answerAhead(std::string_view title, std::string_view text,
                                         const std::vector<std::string>& buttons,
                                         int defaultButton) const {
    (void)title;
    (void)text;
    (void)buttons;
    (void)defaultButton;
    return std::nullopt;
  }

  // Progress meter: begin with the number of steps (0 = unknown), advance to `done` steps,
  // end. `showPercent` shows the percentage beside the bar.
  virtual void meterBegin(std::string_view caption, std::int64_t total, bool showPercent) = 0;
  virtual void meterAdvance(std::int64_t done) = 0;
  virtual void meterEnd() = 0;
  // Status line `line` (0-based) of the running operation; an empty text clears it.
  virtual void status(int line, std::string_view text) = 0;

  // The wait message: a non-modal box with one line of text, centred when `where` is empty.
  // Only one is open at a time; opening another replaces it.
  virtual void waitOpen(std::string_view text, std::optional<ScreenPos> where) = 0;
  virtual void waitClose() = 0;

  // Lets pending window messages through (repaints, the cancel button).
  virtual void pumpEvents() = 0;

  // Opens a file (or a "ms-its:" help topic) with the program the system associates with it.
  // Returns false when nothing could be started.
  virtual bool openWithShell(const std::string& path) = 0;
};

}  // namespace exo::shell

// One action of a page (a button that runs a core routine to its end on the user-interface
// thread), and what surrounds it:
//
// - the page's controls are disabled, the selector bar hidden and "&Terminar" disabled while it
//   runs, and all restored when it ends, whether it finishes, stops on a message or is
//   abandoned by an exception;
// - the core routine talks through a session whose port shows the meter and the status lines
//   on the page's own controls; messages, questions, wait messages and event pumping go on to
//   the program's port;
// - a failure abandoned in the error handler (already shown and logged by it) ends the action
//   quietly; any other exception is shown as an error message.
#pragma once

#include <QPointer>
#include <functional>
#include <vector>

#include "shell/Session.h"
#include "shell/UserInterface.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace exo::ui {

// The port of a running action: meter and status lines on the page, the rest to `outer`.
class PageUserInterface final : public shell::UserInterface {
 public:
  // Status line n goes to statusLines[n] (lines without a label are dropped); the meter moves
  // `meter` within its own range (null: no meter).
  PageUserInterface(shell::UserInterface& outer, std::vector<QLabel*> statusLines,
                    QProgressBar* meter);

  void message(shell::MessageKind kind, std::string_view title, std::string_view text) override;
  int ask(std::string_view title, std::string_view text, const std::vector<std::string>& buttons,
          int defaultButton) override;
  void meterBegin(std::string_view caption, std::int64_t total, bool showPercent) override;
  void meterAdvance(std::int64_t done) override;
  void meterEnd() override;
  void status(int line, std::string_view text) override;
  void waitOpen(std::string_view text, std::optional<shell::ScreenPos> where) override;
  void waitClose() override;
  void pumpEvents() override;
  bool openWithShell(const std::string& path) override;

 private:
  shell::UserInterface& m_outer;
  std::vector<QPointer<QLabel>> m_lines;
  QPointer<QProgressBar> m_meter;
  std::int64_t m_total = 0;
};

// The controls an action works with.
struct PageControls {
  QWidget* page = nullptr;           // its main window is found from it
  std::vector<QWidget*> disabled;    // controls disabled while the action runs
  std::vector<QLabel*> statusLines;  // status lines 0, 1, 2...
  QProgressBar* meter = nullptr;
};

// Disables the controls and the main window's bar and "&Terminar" for a scope.
class ActionGuard {
 public:
  explicit ActionGuard(const PageControls& controls);
  ~ActionGuard();
  ActionGuard(const ActionGuard&) = delete;
  ActionGuard& operator=(const ActionGuard&) = delete;

 private:
  std::vector<std::pair<QPointer<QWidget>, bool>> m_controls;  // control, was enabled
  QPointer<QWidget> m_window;
};

// Runs `work` as an action of the page with a session over the page's port (same variables and
// folders as `session`). Returns false when the action was abandoned by an exception.
bool runPageAction(const PageControls& controls, shell::Session& session,
                   const std::function<void(shell::Session&)>& work);

}  // namespace exo::ui

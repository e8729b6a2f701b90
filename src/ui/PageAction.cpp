// Actions of pages.
#include "ui/PageAction.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>
#include <exception>

#include "expr/Codepage.h"
#include "expr/Failure.h"
#include "ui/MainWindow.h"
#include "ui/Text.h"

namespace exo::ui {

PageUserInterface::PageUserInterface(shell::UserInterface& outer, std::vector<QLabel*> statusLines,
                                     QProgressBar* meter)
    : m_outer(outer), m_meter(meter) {
  for (QLabel* l : statusLines) m_lines.emplace_back(l);
}

void PageUserInterface::message(shell::MessageKind kind, std::string_view title,
                                std::string_view text) {
  m_outer.message(kind, title, text);
}

int PageUserInterface::ask(std::string_view title, std::string_view text,
                           const std::vector<std::string>& buttons, int defaultButton) {
  return m_outer.ask(title, text, buttons, defaultButton);
}

void PageUserInterface::meterBegin(std::string_view, std::int64_t total, bool) {
  m_total = total;
  if (m_meter) m_meter->setValue(m_meter->minimum());
  pumpEvents();
}

void PageUserInterface::meterAdvance(std::int64_t done) {
  if (!m_meter || m_total <= 0) return;
  const std::int64_t span = m_meter->maximum() - m_meter->minimum();
  const std::int64_t value = m_meter->minimum() + std::min(done, m_total) * span / m_total;
  if (value != m_meter->value()) {
    m_meter->setValue(static_cast<int>(value));
    pumpEvents();
  }
}

void PageUserInterface::meterEnd() { m_total = 0; }

void PageUserInterface::status(int line, std::string_view text) {
  if (line < 0 || line >= static_cast<int>(m_lines.size()) ||
      !m_lines[static_cast<std::size_t>(line)])
    return;
  m_lines[static_cast<std::size_t>(line)]->setText(qt(text));
}

void PageUserInterface::waitOpen(std::string_view text, std::optional<shell::ScreenPos> where) {
  m_outer.waitOpen(text, where);
}

void PageUserInterface::waitClose() { m_outer.waitClose(); }

void PageUserInterface::pumpEvents() { m_outer.pumpEvents(); }

bool PageUserInterface::openWithShell(const std::string& path) {
  return m_outer.openWithShell(path);
}

ActionGuard::ActionGuard(const PageControls& controls) {
  for (QWidget* w : controls.disabled) {
    if (w == nullptr) continue;
    m_controls.emplace_back(w, w->isEnabled());
    w->setEnabled(false);
  }
  if (controls.page != nullptr) {
    if (auto* window = qobject_cast<MainWindow*>(controls.page->window())) {
      window->beginAction();
      m_window = window;
    }
  }
}

ActionGuard::~ActionGuard() {
  for (auto& [w, enabled] : m_controls) {
    if (w) w->setEnabled(enabled);
  }
  if (auto* window = qobject_cast<MainWindow*>(m_window.data())) window->endAction();
}

bool runPageAction(const PageControls& controls, shell::Session& session,
                   const std::function<void(shell::Session&)>& work) {
  ActionGuard guard(controls);
  PageUserInterface port(session.ui(), controls.statusLines, controls.meter);
  shell::Session pageSession(session.interp(), port, session.folders());
  try {
    work(pageSession);
    return true;
  } catch (const FailureError&) {
    // Abandoned in the error handler, which has shown and logged the failure.
  } catch (const std::exception& e) {
    session.ui().message(shell::MessageKind::Error, "Error.....",
                         "La operaci\363n se interrumpi\363:\r\n" + fromUtf8(e.what()));
  }
  return false;
}

}  // namespace exo::ui

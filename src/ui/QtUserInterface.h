// The user-interface port implemented with Qt: message boxes with the system's titles and
// button captions, the wait message, the progress box with its meter and status lines, event
// pumping during long work, and opening files with the desktop's program for them.
#pragma once

#include <QPointer>
#include <QWidget>

#include "shell/UserInterface.h"

class QDialog;
class QLabel;
class QProgressBar;

namespace exo::ui {

class QtUserInterface final : public shell::UserInterface {
 public:
  // `parent` owns the boxes (the main window; null before it exists).
  explicit QtUserInterface(QWidget* parent = nullptr) : m_parent(parent) {}
  ~QtUserInterface() override;
  void setParent(QWidget* parent) { m_parent = parent; }

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

  // For tests: the boxes currently open.
  QDialog* progressBox() const { return m_progress; }
  QDialog* waitBox() const { return m_wait; }

 private:
  void ensureProgress();

  QPointer<QWidget> m_parent;
  QPointer<QDialog> m_progress;
  QLabel* m_caption = nullptr;
  std::vector<QLabel*> m_statusLines;
  QProgressBar* m_bar = nullptr;
  QPointer<QDialog> m_wait;
  std::int64_t m_total = 0;
};

// Text of the core (Windows-1252, lines separated by CR LF) as Qt shows it.
QString messageText(std::string_view text);

}  // namespace exo::ui

// The page "Importar Movimientos Contables" of the group "General": the movement import, the VAT
// and commission fixes, the integration into formats, the directory-only import and the
// directory validation, with the working year in its corner, two status lines, the time line
// and a meter with its percentage.
#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QProgressBar;
class QPushButton;

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}

namespace exo::import {

struct FixResult;
struct MovementImportResult;

class MovementImportPage : public QWidget {
  Q_OBJECT
 public:
  MovementImportPage(shell::Session& session, store::Engine& engine, QWidget* parent = nullptr);

  // Button n (1 to 6) of the page.
  QPushButton* button(int n) const { return m_buttons.at(static_cast<std::size_t>(n) - 1); }
  // Status line 0 (main), 1 (second), 2 (time).
  QLabel* statusLine(int line) const { return m_lines.at(static_cast<std::size_t>(line)); }
  QLabel* yearLabel() const { return m_year; }
  QProgressBar* meter() const { return m_meter; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  template <class Work>
  void run(Work work);
  void validate();
  void showCounts(const MovementImportResult& r);
  void showMoved(const FixResult& r);

  shell::Session& m_session;
  store::Engine& m_engine;
  std::array<QPushButton*, 6> m_buttons{};
  std::array<QLabel*, 3> m_lines{};
  QLabel* m_year;
  QProgressBar* m_meter;
};

}  // namespace exo::import
